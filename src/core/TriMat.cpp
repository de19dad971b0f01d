#include "core/TriMat.h"

#include <iomanip>
#include <new>

#include "core/Errors.h"

namespace quintle {

TriMat::TriMat(int const& n) : dim(n > 0 ? n : 0) {
    allocate("TriMat::TriMat(const int& dim");
}

bool TriMat::allocate(char const* where) {
    if (dim <= 0) {
        dim = 0;
        release();
        return true;
    }
    try {
        values_.assign(row_start(dim), 0.0);
        stored_dim_ = dim;
        return true;
    } catch (std::bad_alloc const&) {
        release();
        dim = 0;
        E.error(MEMORY, where, Msg::m0_not_enough_memory);
        return false;
    }
}

void TriMat::release() {
    std::vector<double>().swap(values_);
    stored_dim_ = 0;
}

void TriMat::create(int const& n) {
    release();
    dim = n > 0 ? n : 0;
    allocate("TriMat::allocate_matrix()");
}

void TriMat::allocate_matrix() { allocate("TriMat::allocate_matrix()"); }

void TriMat::destroy() {
    release();
    dim = 0;
}

void TriMat::delete_matrix() { destroy(); }

void TriMat::initialize() {
    for (double& v : values_) v = 0.0;
}

double& TriMat::out_of_range() const {
    E.error(WARNING, "TriMat::operator()", Msg::m1_array_out_of_bounds);
    scratch_ = diagonalValue;
    return scratch_;
}

TriMat& TriMat::operator=(TriMat const& other) {
    if (this == &other) return *this;
    release();
    dim = other.dim;
    if (!allocate("TriMat::allocate_matrix()")) return *this;
    for (int i = 0; i < stored_dim_; ++i)
        for (int j = 0; j <= i; ++j) values_[offset(i, j)] = other(i, j);
    return *this;
}

TriMat& TriMat::operator+=(TriMat const& other) {
    if (dim != other.dim) {
        E.error(ERROR, "TriMat::operator+=()", Msg::m44_matrix_size_mismatch);
        return *this;
    }
    for (int i = 0; i < stored_dim_; ++i)
        for (int j = 0; j <= i; ++j) values_[offset(i, j)] += other(i, j);
    return *this;
}

TriMat& TriMat::operator*=(TriMat const& other) {
    if (dim != other.dim) {
        E.error(ERROR, "TriMat::operator*=()", Msg::m44_matrix_size_mismatch);
        return *this;
    }
    for (int i = 0; i < stored_dim_; ++i)
        for (int j = 0; j <= i; ++j) values_[offset(i, j)] *= other(i, j);
    return *this;
}

void TriMat::print_data(std::ostream& os) {
    // Leave the caller's stream formatting as it was found.
    std::ios::fmtflags const flags = os.flags();
    std::streamsize const precision = os.precision();
    os << std::fixed << std::showpoint << std::setprecision(5) << std::right;
    for (int i = 0; i < stored_dim_; ++i) {
        if (i > 0) os << '\n';
        for (int j = 0; j <= i; ++j) os << std::setw(10) << values_[offset(i, j)];
    }
    os.flags(flags);
    os.precision(precision);
}

}  // namespace quintle
