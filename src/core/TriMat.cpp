#include "core/TriMat.h"

#include <algorithm>
#include <cstdlib>
#include <iomanip>

#include "core/Errors.h"

namespace quintle {

TriMat::TriMat(int const& n) : dim(n > 0 ? n : 0) {
    allocate("TriMat::TriMat(const int& dim");
}

TriMat::TriMat(TriMat const& other)
    : dim(other.dim),
      diagonalValue(other.diagonalValue),
      offDiagonalValue(other.offDiagonalValue),
      constantMode(other.constantMode) {
    if (other.classed_) {
        copy_classes(other);
        return;
    }
    dim = other.stored_dim_;
    if (!allocate("TriMat::TriMat(const TriMat&)")) return;
    std::copy_n(other.values_.get(), row_start(stored_dim_), values_.get());
    dim = other.dim;
}

void TriMat::copy_classes(TriMat const& other) {
    classed_ = true;
    classOf_ = other.classOf_;
    numClasses_ = other.numClasses_;
    classPairs_ = other.classPairs_;
    classValues_ = other.classValues_;
}

void TriMat::FreeValues::operator()(double* p) const noexcept { std::free(p); }

bool TriMat::allocate(char const* where) {
    release();
    if (dim <= 0) {
        dim = 0;
        return true;
    }
    // calloc: zeroed pages from the system are not touched until written.
    values_.reset(static_cast<double*>(std::calloc(row_start(dim), sizeof(double))));
    if (values_) {
        stored_dim_ = dim;
        return true;
    }
    dim = 0;
    E.error(MEMORY, where, Msg::m0_not_enough_memory);
    return false;
}

void TriMat::release() {
    values_.reset();
    stored_dim_ = 0;
    classed_ = false;
    std::vector<int>().swap(classOf_);
    std::vector<double>().swap(classValues_);
    numClasses_ = 0;
    classPairs_ = 0;
}

bool TriMat::make_classed(std::vector<int> classOf, int classes) {
    release();
    dim = 0;
    if (classes < 0) classes = 0;
    try {
        std::size_t const G = static_cast<std::size_t>(classes);
        classPairs_ = G * (G + 1) / 2;
        classValues_.assign(classPairs_ + G, 0.0);
    } catch (std::exception const&) {  // bad_alloc, or a size beyond max_size
        release();
        E.error(MEMORY, "TriMat::make_classed()", Msg::m0_not_enough_memory);
        return false;
    }
    classOf_ = std::move(classOf);
    numClasses_ = classes;
    dim = static_cast<int>(classOf_.size());
    classed_ = true;
    return true;
}

bool TriMat::expand_classes() {
    if (!classed_) return true;
    TriMat plain(static_cast<int>(classOf_.size()));
    if (plain.stored_dim_ != static_cast<int>(classOf_.size())) return false;
    for (int i = 0; i < plain.stored_dim_; ++i)
        for (int j = 0; j <= i; ++j) plain.values_[offset(i, j)] = (*this)(i, j);
    release();
    values_ = std::move(plain.values_);
    stored_dim_ = plain.stored_dim_;
    dim = stored_dim_;
    return true;
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
    if (classed_) std::fill(classValues_.begin(), classValues_.end(), 0.0);
    if (stored_dim_ == 0) return;
    std::size_t const count = row_start(stored_dim_);
    // Fresh zeroed storage rather than writing zeros over the old: the rows
    // never filled stay free. Zeros in place when none can be had.
    if (double* fresh = static_cast<double*>(std::calloc(count, sizeof(double)))) {
        values_.reset(fresh);
    } else {
        std::fill_n(values_.get(), count, 0.0);
    }
}

double& TriMat::out_of_range() const {
    E.error(WARNING, "TriMat::operator()", Msg::m1_array_out_of_bounds);
    scratch_ = diagonalValue;
    return scratch_;
}

TriMat& TriMat::operator=(TriMat const& other) {
    if (this == &other) return *this;
    release();
    if (other.classed_) {
        copy_classes(other);
        dim = other.dim;
        return *this;
    }
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
    if (!expand_classes()) return *this;
    for (int i = 0; i < stored_dim_; ++i)
        for (int j = 0; j <= i; ++j) values_[offset(i, j)] += other(i, j);
    return *this;
}

TriMat& TriMat::operator*=(TriMat const& other) {
    if (dim != other.dim) {
        E.error(ERROR, "TriMat::operator*=()", Msg::m44_matrix_size_mismatch);
        return *this;
    }
    if (!expand_classes()) return *this;
    for (int i = 0; i < stored_dim_; ++i)
        for (int j = 0; j <= i; ++j) values_[offset(i, j)] *= other(i, j);
    return *this;
}

void TriMat::print_data(std::ostream& os) {
    // Leave the caller's stream formatting as it was found.
    std::ios::fmtflags const flags = os.flags();
    std::streamsize const precision = os.precision();
    os << std::fixed << std::showpoint << std::setprecision(5) << std::right;
    TriMat const& self = *this;
    int const rows = classed_ ? dim : stored_dim_;
    for (int i = 0; i < rows; ++i) {
        if (i > 0) os << '\n';
        for (int j = 0; j <= i; ++j) os << std::setw(10) << (classed_ ? self(i, j) : values_[offset(i, j)]);
    }
    os.flags(flags);
    os.precision(precision);
}

}  // namespace quintle
