#include "mantel/Mantel.h"

#include <new>

#include "core/Errors.h"

namespace quintle {

namespace {

char const* const kYTypeNames[Mantel::kNbYTypes] = {"fst", "log_fst", "slatkinlinearfst", "log_slatkinlinearfst",
                                                    "nm", "custom"};

void empty_matrix_values(TriMat& m) {
    m.initialize();
    m.constantMode = 0;
}

}  // namespace

Mantel::Mantel() {
    try {
        init_YTypes();
    } catch (std::bad_alloc const&) {
        E.error(MEMORY, "Mantel::Mantel()", Msg::m0_not_enough_memory);
        throw NOT_ENOUGH_MEMORY;
    }
}

Mantel::Mantel(int const& n) : Mantel() {
    X1.create(n);
    X2.create(n);
    UserYMatrix.create(n);
}

Mantel::~Mantel() = default;

void Mantel::init_YTypes() {
    for (int i = 0; i < kNbYTypes; ++i) YTypes[static_cast<std::size_t>(i)] = kYTypeNames[i];
}

void Mantel::reset() {
    MatrixSize = 0;
    YMatrix = "fst";
    YMatrixLabels.clear();
    empty_matrix_values(X1);
    empty_matrix_values(X2);
    empty_matrix_values(UserYMatrix);
    MatrixNumber = 0;
    NbMatricesRead = 0;
}

void Mantel::clear() {
    reset();
    X1.destroy();
    X2.destroy();
    UserYMatrix.destroy();
    UsedYMatrixLabels.count = 0;
    UsedYMatrixLabels.auxCount = 0;
    profile = ProfileSettings();
    static_cast<CorrelationResults&>(*this) = CorrelationResults{};
    undefined_ = {};
}

Mantel& Mantel::operator=(Mantel const& other) {
    // reset() would wipe the very values to be copied.
    if (this == &other) return *this;
    reset();
    profile = other.profile;
    YMatrix = other.YMatrix;
    MatrixSize = other.MatrixSize;
    YMatrixLabels = other.YMatrixLabels;
    X1 = other.X1;
    X2 = other.X2;
    UserYMatrix = other.UserYMatrix;
    MatrixNumber = other.MatrixNumber;
    NbMatricesRead = other.NbMatricesRead;
    return *this;
}

std::ostream& operator<<(std::ostream& os, Mantel& DM) {
    if (DM.MatrixSize == 0) return os;
    os << "\t[[DistanceMatrix]]\n\n";
    os << "\t\tYMatrix= \"" << DM.YMatrix << "\"\n";
    os << "\t\tMatrixSize= " << DM.MatrixSize << "\n";
    os << "\t\tLabelPosition=" << "LINE" << "\n";
    os << "\t\tMatrixData={";
    if (DM.YMatrixLabels.empty()) {
        E.error(INFO, "operator <<(ostream& os, Mantel& DM)", Msg::m11_missing_haplotype_labels);
    } else {
        for (my_string const& label : DM.YMatrixLabels) os << '"' << label << "\" ";
    }
    if (DM.X1.constantMode)
        os << "\nConventional FST Matrix: Dij=1 if i!=j and O else:\n";
    else
        DM.X1.print_data(os);
    os << "\n\t\t}";
    return os;
}

}  // namespace quintle
