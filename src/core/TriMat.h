#pragma once

#include <cstddef>
#include <memory>
#include <ostream>
#include <vector>

namespace quintle {

// Symmetric square matrix of doubles kept as its lower triangle with the
// diagonal: element (i, j) and (j, i) are one stored value, at row max(i, j)
// and column min(i, j). Base of the project's given distance matrix.
//
// The triangle is packed into one contiguous block, row i starting at
// i (i + 1) / 2, so element access is a range check and one load. The block
// comes zeroed from the system and is not written to zero it: a large
// dimension (a project's MatrixSize) costs memory only as far as rows are
// filled, and a file that promises a large matrix but gives a few rows
// costs a few rows.
class TriMat {
public:
    explicit TriMat(int const& n = 0);
    TriMat(TriMat const& other);
    ~TriMat() = default;

    // Frees the storage and allocates a zero-filled triangle of dimension n.
    void create(int const& n);
    // Allocates zero-filled storage for the current `dim` (none for 0).
    void allocate_matrix();
    // The two release the storage and set `dim` to 0.
    void destroy();
    void delete_matrix();
    // Every element 0.0; the dimension stays.
    void initialize();

    // Element access. In constant mode the two constants are answered for
    // any indices. Out-of-range indices are reported and answered with a
    // scratch cell holding the diagonal constant's value, so that a stray
    // write cannot alter the constant itself.
    double& operator()(int const& i, int const& j);
    double const& operator()(int const& i, int const& j) const;

    // Whether every element (i, j) with i and j below `rows` is answered
    // without an out-of-range report.
    bool answers_within(int rows) const {
        if (constantMode || rows <= stored_dim_) return true;
        return classed_ && static_cast<std::size_t>(rows) <= classOf_.size();
    }

    // Copies the other's dimension and every element as read through its
    // element access; this matrix keeps its own constants and mode.
    TriMat& operator=(TriMat const& other);
    TriMat& operator+=(TriMat const& other);
    TriMat& operator*=(TriMat const& other);  // element by element

    void print_data(std::ostream& os);

    // --- class mode ---------------------------------------------------------
    // A matrix whose rows fall into classes of alike rows (the haplotypes
    // that carry one text): element (i, j), i != j, depends only on the
    // classes of i and j, element (i, i) only on the class of i. Stored: one
    // value per unordered pair of classes (a class with itself included: two
    // rows of one class) and one diagonal value per class, so about G^2 / 2
    // values for G classes whatever the dimension. Element access reads and
    // writes those shared values. A copy keeps the class mode; += and *=
    // first turn this matrix into the plain form.
    //
    // Makes this a class-mode matrix of dimension classOf.size(), every
    // value 0.0; each classOf[i] must lie in 0 .. classes - 1. False, after
    // a MEMORY report, when the storage cannot be had (the matrix is then
    // empty).
    bool make_classed(std::vector<int> classOf, int classes);
    bool classed() const { return classed_; }
    int num_classes() const { return numClasses_; }
    int row_class(int i) const { return classOf_[static_cast<std::size_t>(i)]; }
    std::vector<int> const& row_classes() const { return classOf_; }
    // The shared value of two rows of classes a and b (either order), and
    // class a's diagonal value.
    double& between(int a, int b) { return classValues_[class_pair(a, b)]; }
    double between(int a, int b) const { return classValues_[class_pair(a, b)]; }
    double& on_diagonal(int a) { return classValues_[classPairs_ + static_cast<std::size_t>(a)]; }
    double on_diagonal(int a) const { return classValues_[classPairs_ + static_cast<std::size_t>(a)]; }

    // No matrix read from a file is larger: its triangle alone would pass
    // 4 GiB, and no project file carries half a billion distances.
    static constexpr int max_read_dim = 32768;

    int dim = 0;
    double diagonalValue = 0.0;
    double offDiagonalValue = 1.0;
    int constantMode = 0;

private:
    static std::size_t row_start(int r) {
        return static_cast<std::size_t>(r) * static_cast<std::size_t>(r + 1) / 2;
    }
    bool in_range(int i, int j) const {
        // Checked against the allocated triangle, not `dim`, so that a
        // caller who changes `dim` by hand can never reach past the storage.
        return static_cast<unsigned>(i) < static_cast<unsigned>(stored_dim_) &&
               static_cast<unsigned>(j) < static_cast<unsigned>(stored_dim_);
    }
    std::size_t offset(int i, int j) const {
        return i >= j ? row_start(i) + static_cast<std::size_t>(j)
                      : row_start(j) + static_cast<std::size_t>(i);
    }
    bool allocate(char const* where);
    void release();
    // Takes the class layout and shared values of a class-mode matrix.
    void copy_classes(TriMat const& other);
    double& out_of_range() const;
    // The plain form of a class-mode matrix (same values); false after a
    // MEMORY report.
    bool expand_classes();
    std::size_t class_pair(int a, int b) const { return a >= b ? row_start(a) + b : row_start(b) + a; }
    // The offset in classValues_ of element (i, j), or npos out of range.
    std::size_t class_offset(int i, int j) const {
        std::size_t const n = classOf_.size();
        if (static_cast<std::size_t>(static_cast<unsigned>(i)) >= n ||
            static_cast<std::size_t>(static_cast<unsigned>(j)) >= n)
            return static_cast<std::size_t>(-1);
        int const a = classOf_[static_cast<std::size_t>(i)];
        if (i == j) return classPairs_ + static_cast<std::size_t>(a);
        return class_pair(a, classOf_[static_cast<std::size_t>(j)]);
    }

    struct FreeValues {
        void operator()(double* p) const noexcept;
    };
    // row_start(stored_dim_) values.
    std::unique_ptr<double[], FreeValues> values_;
    int stored_dim_ = 0;
    mutable double scratch_ = 0.0;
    // Class mode: the class of each row and the shared values (classPairs_
    // pairs of classes, then the diagonals).
    bool classed_ = false;
    std::vector<int> classOf_;
    int numClasses_ = 0;
    std::size_t classPairs_ = 0;
    std::vector<double> classValues_;
};

inline double& TriMat::operator()(int const& i, int const& j) {
    if (constantMode) return i == j ? diagonalValue : offDiagonalValue;
    if (in_range(i, j)) return values_[offset(i, j)];
    if (classed_) {
        std::size_t const k = class_offset(i, j);
        if (k != static_cast<std::size_t>(-1)) return classValues_[k];
    }
    return out_of_range();
}

inline double const& TriMat::operator()(int const& i, int const& j) const {
    if (constantMode) return i == j ? diagonalValue : offDiagonalValue;
    if (in_range(i, j)) return values_[offset(i, j)];
    if (classed_) {
        std::size_t const k = class_offset(i, j);
        if (k != static_cast<std::size_t>(-1)) return classValues_[k];
    }
    return out_of_range();
}

}  // namespace quintle
