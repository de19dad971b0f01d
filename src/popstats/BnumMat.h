#pragma once

// The table B(n, j) = |s(n, j)| j! / n! of normalised unsigned Stirling
// numbers of the first kind, on which the Ewens probabilities of the number
// of distinct alleles rest. One table serves the whole run; it is rebuilt
// whole whenever a sample needs a row or column it lacks.

#include <cstddef>
#include <istream>
#include <vector>

#include "core/my_string.h"

namespace quintle {

class BnumMat {
public:
    // Largest table that re_allocate_matrix computes and the reader accepts.
    static constexpr int max_rows = 5000;
    static constexpr int max_cols = 1000;

    BnumMat() = default;
    // Stores the sizes and allocates zero-filled rows; the recurrence is not run.
    BnumMat(int const& rows, int const& cols);
    // Stores the name and reads that table file.
    explicit BnumMat(my_string const& fileName);
    BnumMat(BnumMat const&) = delete;
    BnumMat& operator=(BnumMat const&) = delete;
    ~BnumMat() = default;

    // Reads the table file named by fileName(); 1 when the file opened, 0 when not.
    int read_from_file();
    int read_from_file(my_string const& fileName);

    // When no rows are held, allocates numRows() rows of min(r, numCols())
    // zeros; when rows are held, does nothing. Sizes outside the computed
    // table's limits empty the table instead. Returns 1 when rows are held.
    int allocate_matrix();

    // Discards the held rows and computes a rows x cols table by the
    // recurrence; 0 (and an empty table of size 0 x 0) when the size is refused.
    int re_allocate_matrix(int const& rows, int const& cols);

    int numRows() const noexcept { return numRows_; }
    int numCols() const noexcept { return numCols_; }
    my_string const& fileName() const noexcept { return fileName_; }

    // True when B(r, j) is held: 1 <= r <= numRows(), 1 <= j <= min(r, numCols()).
    bool holds(int r, int j) const noexcept {
        return r >= 1 && r <= numRows_ && static_cast<std::size_t>(r) <= rowStart_.size() && j >= 1 &&
               j <= r && j <= numCols_;
    }

    // B(r, j), 1-based. Callers make sure the entry is held; an entry outside
    // the table is reported (array out of bounds) and reads as NaN so that no
    // plausible-looking number comes out of it.
    double operator()(int r, int j) const;

    friend std::istream& operator>>(std::istream& is, BnumMat& M);

private:
    void release() noexcept;  // frees the rows and sets both sizes to 0
    std::size_t row_start(int r) const noexcept { return rowStart_[static_cast<std::size_t>(r - 1)]; }
    double& at(int r, int j) noexcept { return mat_[row_start(r) + static_cast<std::size_t>(j - 1)]; }

    // Row r occupies mat_[rowStart_[r-1]] .. its min(r, numCols_) entries.
    std::vector<double> mat_;
    std::vector<std::size_t> rowStart_;
    my_string fileName_;
    int numRows_ = 0;
    int numCols_ = 0;
};

// Reads a binary table: int32 rows, int32 cols (native byte order), then for
// r = 1 .. rows the min(r, cols) doubles of row r.
std::istream& operator>>(std::istream& is, BnumMat& M);

// When tableExists is set, returns 1 at once whatever the table's size;
// otherwise builds a first, small table (get_B_first_rows x get_B_first_cols)
// and sets tableExists to 1 (1 returned), or clears it when that fails (0
// returned). Every reader grows the table to the sample it reads it for, and
// an entry does not depend on the table's size: a small project no longer
// computes (and touches the memory of) thousands of entries it never reads.
inline constexpr int get_B_first_rows = 20;
inline constexpr int get_B_first_cols = 20;
int get_B_num_mat(BnumMat& table, int& tableExists);

// The run's one table (built empty on first use, destroyed at exit) and its
// ready flag (0 at start).
BnumMat& shared_B_num_mat();
int& shared_B_num_exist();

}  // namespace quintle
