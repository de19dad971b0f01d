#pragma once

#include <cstddef>
#include <istream>
#include <ostream>
#include <vector>

#include "core/my_string.h"

namespace quintle {

// Full rows x columns matrix of doubles. Besides storage it carries what the
// Mantel matrix-correlation test needs: mean and sum of squares of the strict
// lower triangle, a permutation of the row/column labels and the
// cross-product statistic Z under that permutation.
//
// Elements live in one contiguous row-major block.
class RectMat {
public:
    RectMat(int const& r, int const& c);
    // Reads the matrix from the named binary file.
    explicit RectMat(char const* file_name);
    RectMat(RectMat const& other) = default;
    RectMat& operator=(RectMat const& other) = default;
    ~RectMat() = default;

    int read_from_file(my_string name);
    int read_from_file();
    int allocate_matrix();
    int de_allocate_matrix();

    // Element access. In constant mode the two constants are answered for
    // any indices. Out-of-range indices are reported and answered with a
    // scratch cell holding the diagonal constant's value, so that a stray
    // write cannot alter the constant itself.
    double& operator()(int const& i, int const& j);
    double const& operator()(int const& i, int const& j) const;

    int display_matrix(std::ostream& os);

    // --- class mode ---------------------------------------------------------
    // An n x n matrix whose rows fall into classes of alike rows (the
    // haplotypes of a sample that carry one text): element (i, j) depends
    // only on the classes of i and j and on where it lies, below the
    // diagonal, on it or above it, and each triangle is symmetric in the two
    // classes. Stored: one value per unordered pair of classes (a class with
    // itself included: two rows of one class) for each triangle, and one
    // diagonal value per class, so about G^2 values for G classes whatever
    // n is. Element access reads and writes those shared values; rows are
    // not contiguous (holds() is false), so the Mantel sums read the
    // elements one by one.
    //
    // Makes this an n x n class-mode matrix, n = classOf.size(), every
    // value 0.0; each classOf[i] must lie in 0 .. classes - 1. False, after
    // a MEMORY report, when the storage cannot be had (the matrix is then
    // empty).
    bool make_classed(std::vector<int> classOf, int classes);
    bool classed() const { return classed_; }
    // Number of classes, and the class of row i (both only in class mode).
    int num_classes() const { return numClasses_; }
    int row_class(int i) const { return classOf_[static_cast<std::size_t>(i)]; }
    std::vector<int> const& row_classes() const { return classOf_; }
    // The shared values of classes a and b (either order): below the
    // diagonal, above it, and class a's diagonal value.
    double& below(int a, int b) { return classValues_[class_pair(a, b)]; }
    double below(int a, int b) const { return classValues_[class_pair(a, b)]; }
    double& above(int a, int b) { return classValues_[classPairs_ + class_pair(a, b)]; }
    double above(int a, int b) const { return classValues_[classPairs_ + class_pair(a, b)]; }
    double& on_diagonal(int a) { return classValues_[2 * classPairs_ + static_cast<std::size_t>(a)]; }
    double on_diagonal(int a) const { return classValues_[2 * classPairs_ + static_cast<std::size_t>(a)]; }
    // Values held: n x n in the plain form, about G^2 in class mode.
    std::size_t stored_values() const { return classed_ ? classValues_.size() : values_.size(); }

    // Mantel sums; messages go straight to the log stream.
    double compute_SSX();
    int create_index();
    int permute_index();
    double computeZ(RectMat const& M);
    double sum_of_products(RectMat const& M);

    bool has_storage() const { return allocated_; }
    // True when the stored block has at least rows x cols elements, row after
    // row, so that &m(i, 0) starts a row of at least cols values.
    bool holds(int rows, int cols) const { return allocated_ && stored_rows_ >= rows && stored_cols_ >= cols; }
    // The current label permutation (nRows entries), or null before
    // create_index.
    int const* index() const { return has_index_ ? index_.data() : nullptr; }

    int nRows = 0;
    int nCols = 0;
    int constantMode = 0;
    double diagonalValue = 0.0;
    double offDiagonalValue = 1.0;
    my_string fileName;
    double mean = 0.0;
    double SSX = 0.0;
    double Z = 0.0;

private:
    friend std::istream& operator>>(std::istream& is, RectMat& S);

    bool in_range(int i, int j) const {
        // Checked against the allocated block, not `nRows`/`nCols`, so that
        // a caller who changes the counts by hand cannot reach past it.
        return static_cast<unsigned>(i) < static_cast<unsigned>(stored_rows_) &&
               static_cast<unsigned>(j) < static_cast<unsigned>(stored_cols_);
    }
    std::size_t offset(int i, int j) const {
        return static_cast<std::size_t>(i) * static_cast<std::size_t>(stored_cols_) +
               static_cast<std::size_t>(j);
    }
    bool index_usable() const {
        return has_index_ && index_.size() == static_cast<std::size_t>(nRows);
    }
    double& out_of_range() const;
    void release_index();
    void release_classes();
    std::size_t class_pair(int a, int b) const {
        std::size_t const hi = static_cast<std::size_t>(a > b ? a : b);
        return hi * (hi + 1) / 2 + static_cast<std::size_t>(a > b ? b : a);
    }
    // The offset in classValues_ of element (i, j), or npos out of range.
    std::size_t class_offset(int i, int j) const {
        std::size_t const n = classOf_.size();
        if (static_cast<std::size_t>(static_cast<unsigned>(i)) >= n ||
            static_cast<std::size_t>(static_cast<unsigned>(j)) >= n)
            return static_cast<std::size_t>(-1);
        int const a = classOf_[static_cast<std::size_t>(i)];
        if (i == j) return 2 * classPairs_ + static_cast<std::size_t>(a);
        std::size_t const pair = class_pair(a, classOf_[static_cast<std::size_t>(j)]);
        return i > j ? pair : classPairs_ + pair;
    }

    std::vector<double> values_;
    int stored_rows_ = 0;
    int stored_cols_ = 0;
    bool allocated_ = false;
    std::vector<int> index_;
    bool has_index_ = false;
    mutable double scratch_ = 0.0;
    // Class mode: the class of each row, and the shared values (the lower
    // triangle's classPairs_ pairs, the upper triangle's, the diagonals).
    bool classed_ = false;
    std::vector<int> classOf_;
    int numClasses_ = 0;
    std::size_t classPairs_ = 0;
    std::vector<double> classValues_;
};

// Reads the binary matrix format: two host-order 32-bit counts (rows, then
// columns, columns not exceeding rows) followed by rows x columns 8-byte
// doubles, row after row. A refused or failed read leaves the matrix empty.
std::istream& operator>>(std::istream& is, RectMat& S);

inline double& RectMat::operator()(int const& i, int const& j) {
    if (constantMode) return i == j ? diagonalValue : offDiagonalValue;
    if (in_range(i, j)) return values_[offset(i, j)];
    if (classed_) {
        std::size_t const k = class_offset(i, j);
        if (k != static_cast<std::size_t>(-1)) return classValues_[k];
    }
    return out_of_range();
}

inline double const& RectMat::operator()(int const& i, int const& j) const {
    if (constantMode) return i == j ? diagonalValue : offDiagonalValue;
    if (in_range(i, j)) return values_[offset(i, j)];
    if (classed_) {
        std::size_t const k = class_offset(i, j);
        if (k != static_cast<std::size_t>(-1)) return classValues_[k];
    }
    return out_of_range();
}

}  // namespace quintle
