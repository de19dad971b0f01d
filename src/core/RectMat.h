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

    std::vector<double> values_;
    int stored_rows_ = 0;
    int stored_cols_ = 0;
    bool allocated_ = false;
    std::vector<int> index_;
    bool has_index_ = false;
    mutable double scratch_ = 0.0;
};

// Reads the binary matrix format: two host-order 32-bit counts (rows, then
// columns, columns not exceeding rows) followed by rows x columns 8-byte
// doubles, row after row. A refused or failed read leaves the matrix empty.
std::istream& operator>>(std::istream& is, RectMat& S);

inline double& RectMat::operator()(int const& i, int const& j) {
    if (constantMode) return i == j ? diagonalValue : offDiagonalValue;
    if (in_range(i, j)) return values_[offset(i, j)];
    return out_of_range();
}

inline double const& RectMat::operator()(int const& i, int const& j) const {
    if (constantMode) return i == j ? diagonalValue : offDiagonalValue;
    if (in_range(i, j)) return values_[offset(i, j)];
    return out_of_range();
}

}  // namespace quintle
