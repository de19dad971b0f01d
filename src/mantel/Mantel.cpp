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
        E.error(MEMORY, "Mantel::Mantel()", 0);
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
    ZY1 = ZY2 = Z12 = 0.0;
    SPY1 = SPY2 = SP12 = 0.0;
    bY1 = bY2 = bY1_2 = bY2_1 = 0.0;
    rY1 = rY2 = r12 = rY1_2 = rY2_1 = 0.0;
    P_rY1 = P_rY2 = P_rY1_2 = P_rY2_1 = 0.0;
    beta1 = beta2 = 0.0;
    R2 = unexplained = 0.0;
    meanY = SSY = meanX1 = SSX1 = meanX2 = SSX2 = 0.0;
    equal_rY1 = larger_rY1 = smaller_rY1 = 0;
    equal_rY2 = larger_rY2 = smaller_rY2 = 0;
    equal_rY1_2 = larger_rY1_2 = smaller_rY1_2 = 0;
    equal_rY2_1 = larger_rY2_1 = smaller_rY2_1 = 0;
    NbPermutations = 0;
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
        E.error(INFO, "operator <<(ostream& os, Mantel& DM)", 11);
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
