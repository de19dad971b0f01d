#include "core/RectMat.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <new>
#include <stdexcept>
#include <utility>

#include "core/Errors.h"
#include "core/random.h"

namespace quintle {

namespace {

void log_text(char const* text) {
    if (_AOS_) *_AOS_ << text;
}

}  // namespace

RectMat::RectMat(int const& r, int const& c) : nRows(r > 0 ? r : 0), nCols(c > 0 ? c : 0) {
    allocate_matrix();
}

RectMat::RectMat(char const* file_name) : fileName(file_name) {
    read_from_file();
    constantMode = 0;
    diagonalValue = 0.0;
    offDiagonalValue = 1.0;
}

int RectMat::read_from_file(my_string name) {
    fileName = name;
    read_from_file();
    return 1;
}

int RectMat::read_from_file() {
    std::ifstream is(fileName.c_str(), std::ios::in | std::ios::binary);
    if (!is.is_open()) {
        E.error(ERROR, "RectMat::read_from_file()", Msg::m42_cannot_open_matrix_file);
        return 0;
    }
    is >> *this;
    return 1;
}

int RectMat::allocate_matrix() {
    if (allocated_) return 1;
    int const r = nRows > 0 ? nRows : 0;
    int const c = nCols > 0 ? nCols : 0;
    try {
        values_.assign(static_cast<std::size_t>(r) * static_cast<std::size_t>(c), 0.0);
    } catch (std::exception const&) {  // bad_alloc, or a size beyond max_size
        std::vector<double>().swap(values_);
        stored_rows_ = stored_cols_ = 0;
        nRows = nCols = 0;
        E.error(MEMORY, "RectMat::allocate_matrix()", Msg::m0_not_enough_memory);
        return 0;
    }
    stored_rows_ = r;
    stored_cols_ = c;
    allocated_ = true;
    return 1;
}

int RectMat::de_allocate_matrix() {
    std::vector<double>().swap(values_);
    stored_rows_ = stored_cols_ = 0;
    allocated_ = false;
    nRows = nCols = 0;
    release_classes();
    return 1;
}

void RectMat::release_classes() {
    classed_ = false;
    std::vector<int>().swap(classOf_);
    std::vector<double>().swap(classValues_);
    numClasses_ = 0;
    classPairs_ = 0;
}

bool RectMat::make_classed(std::vector<int> classOf, int classes) {
    de_allocate_matrix();
    release_index();
    if (classes < 0) classes = 0;
    try {
        std::size_t const G = static_cast<std::size_t>(classes);
        classPairs_ = G * (G + 1) / 2;
        classValues_.assign(2 * classPairs_ + G, 0.0);
    } catch (std::exception const&) {  // bad_alloc, or a size beyond max_size
        release_classes();
        E.error(MEMORY, "RectMat::make_classed()", Msg::m0_not_enough_memory);
        return false;
    }
    classOf_ = std::move(classOf);
    numClasses_ = classes;
    nRows = nCols = static_cast<int>(classOf_.size());
    classed_ = true;
    allocated_ = true;
    return true;
}

void RectMat::release_index() {
    std::vector<int>().swap(index_);
    has_index_ = false;
}

double& RectMat::out_of_range() const {
    E.error(ERROR, "RectMat::operator()", Msg::m1_array_out_of_bounds);
    scratch_ = diagonalValue;
    return scratch_;
}

int RectMat::display_matrix(std::ostream& os) {
    if (!allocated_) {
        os << "Matrix contains no data" << '\n';
        return 1;
    }
    RectMat const& self = *this;
    int const rows = classed_ ? nRows : stored_rows_;
    int const cols = classed_ ? nCols : stored_cols_;
    for (int i = 0; i < rows; ++i) {
        os << "   ";
        for (int j = 0; j < cols; ++j) os << self(i, j) << " ";
        os << '\n';
    }
    return 1;
}

double RectMat::compute_SSX() {
    if (nRows != nCols) {
        log_text("RectMat::compute_SSX() : unable to proceed on non-square matrix\n");
        return 0.0;
    }
    RectMat const& self = *this;
    int const n = nRows;
    double sum = 0.0;
    for (int i = 1; i < n; ++i)
        for (int j = 0; j < i; ++j) sum += self(i, j);
    // One row gives 0 / 0: the mean is then not a number, as it should be.
    mean = sum / (static_cast<double>(n) * (n - 1) / 2.0);
    double ss = 0.0;
    for (int i = 1; i < n; ++i)
        for (int j = 0; j < i; ++j) {
            double const d = self(i, j) - mean;
            ss += d * d;
        }
    SSX = ss;
    return SSX;
}

int RectMat::create_index() {
    release_index();
    try {
        index_.resize(static_cast<std::size_t>(nRows > 0 ? nRows : 0));
    } catch (std::exception const&) {
        release_index();
        log_text("RectMat::RectMat::create_index() : not enough memory\n");
        return 0;
    }
    for (std::size_t i = 0; i < index_.size(); ++i) index_[i] = static_cast<int>(i);
    has_index_ = true;
    return 1;
}

int RectMat::permute_index() {
    if (!has_index_) return 0;  // nothing to shuffle before create_index
    for (long m = static_cast<long>(index_.size()); m >= 1; --m) {
        long bound = m;
        long const r = rand_long(&bound);
        std::swap(index_[static_cast<std::size_t>(r)], index_[static_cast<std::size_t>(m - 1)]);
    }
    return 1;
}

double RectMat::computeZ(RectMat const& M) {
    if (nRows != nCols) {
        log_text("RectMat::Z(const RectMat& M) : unable to proceed on non-square matrix\n");
        return 0.0;
    }
    if (!index_usable()) {
        log_text(
            "RectMat::Z(const RectMat& M) : index matrix not available, Z value cannot be "
            "computed\n");
        return 0.0;
    }
    int const n = nRows;
    int const* const idx = index_.data();
    double z = 0.0;
    bool const direct = !constantMode && !M.constantMode && stored_rows_ >= n &&
                        stored_cols_ >= n && M.stored_rows_ >= n && M.stored_cols_ >= n;
    if (direct) {
        // Called once per permutation: read the blocks directly.
        for (int i = 1; i < n; ++i) {
            double const* const mrow = &M.values_[M.offset(i, 0)];
            double const* const trow = &values_[offset(idx[i], 0)];
            for (int j = 0; j < i; ++j) z += trow[idx[j]] * mrow[j];
        }
    } else {
        RectMat const& self = *this;
        for (int i = 1; i < n; ++i)
            for (int j = 0; j < i; ++j) z += self(idx[i], idx[j]) * M(i, j);
    }
    Z = z;
    return Z;
}

double RectMat::sum_of_products(RectMat const& M) {
    if (nRows != nCols) {
        log_text(
            "RectMat::sum_of_products(const RectMat& M) : unable to proceed on non-square "
            "matrix\n");
        return 0.0;
    }
    if (M.nRows != nRows) {
        log_text(
            "RectMat::sum_of_products(const RectMat& M) : unable to compute correlation "
            "between matrices of different size\n");
        return 0.0;
    }
    long long const n = nRows;
    long long const pairs = n * (n - 1) / 2;
    computeZ(M);
    return Z - static_cast<double>(pairs) * mean * M.mean;
}

std::istream& operator>>(std::istream& is, RectMat& S) {
    if (is.fail()) E.error(ERROR, "operator>>(ifstream& is, RectMat& S)", Msg::m42_cannot_open_matrix_file);

    auto refuse = [&](char const* where) -> std::istream& {
        S.de_allocate_matrix();
        S.release_index();
        E.error(ERROR, where, Msg::m43_bad_matrix);
        return is;
    };

    std::int32_t counts[2] = {0, 0};
    is.read(reinterpret_cast<char*>(counts), sizeof counts);
    std::int32_t const r = counts[0];
    std::int32_t const c = counts[1];
    if (!is || r < 0 || c < 0 || c > r) return refuse("operator>>(istream& is, RectMat& S)");

    std::uint64_t const bytes =
        static_cast<std::uint64_t>(r) * static_cast<std::uint64_t>(c) * sizeof(double);
    // Check the values are really there before allocating: a corrupt header
    // must not make us reserve gigabytes. Streams that cannot seek are
    // checked by the read itself.
    std::istream::pos_type const here = is.tellg();
    if (here != std::istream::pos_type(-1)) {
        is.seekg(0, std::ios::end);
        std::istream::pos_type const end = is.tellg();
        is.seekg(here);
        if (!is || end == std::istream::pos_type(-1) ||
            static_cast<std::uint64_t>(end - here) < bytes)
            return refuse("operator>>(istream& is, RectMat& S)");
    }

    if (!S.allocated_ || S.classed_ || S.stored_rows_ != r || S.stored_cols_ != c) {
        bool const reshaped = S.nRows != r || S.nCols != c;
        S.de_allocate_matrix();
        if (reshaped) S.release_index();
        S.nRows = r;
        S.nCols = c;
        if (!S.allocate_matrix()) return is;
    } else {
        S.nRows = r;
        S.nCols = c;
    }

    std::streamsize const row_bytes = static_cast<std::streamsize>(c) * sizeof(double);
    for (int i = 0; i < r && is; ++i)
        is.read(reinterpret_cast<char*>(S.values_.data() + S.offset(i, 0)), row_bytes);
    if (is.fail()) return refuse("operator>>(istream& is, RectMat& M)");
    return is;
}

}  // namespace quintle
