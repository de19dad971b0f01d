#include "popstats/BnumMat.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <limits>
#include <new>

#include "core/Errors.h"

namespace quintle {

namespace {

bool size_allowed(int rows, int cols) {
    return rows >= 0 && cols >= 0 && rows <= BnumMat::max_rows && cols <= BnumMat::max_cols;
}

}  // namespace

BnumMat::BnumMat(int const& rows, int const& cols) : numRows_(rows), numCols_(cols) {
    allocate_matrix();
}

BnumMat::BnumMat(my_string const& fileName) : fileName_(fileName) {
    read_from_file();
}

void BnumMat::release() noexcept {
    // Both sizes go with the rows: a table without rows must never claim a
    // size, or the next reader would take entries that are not there.
    std::vector<double>().swap(mat_);
    std::vector<std::size_t>().swap(rowStart_);
    numRows_ = 0;
    numCols_ = 0;
}

int BnumMat::allocate_matrix() {
    if (!rowStart_.empty()) return 1;
    if (!size_allowed(numRows_, numCols_)) {
        release();
        return 0;
    }
    try {
        rowStart_.resize(static_cast<std::size_t>(numRows_));
        std::size_t total = 0;
        for (int r = 1; r <= numRows_; ++r) {
            rowStart_[static_cast<std::size_t>(r - 1)] = total;
            total += static_cast<std::size_t>(std::min(r, numCols_));
        }
        mat_.assign(total, 0.0);
    } catch (std::bad_alloc const&) {
        release();
        E.error(MEMORY, "BnumMat::allocate_matrix()", Msg::m0_not_enough_memory);
        return 0;
    }
    return 1;
}

int BnumMat::re_allocate_matrix(int const& rows, int const& cols) {
    release();
    if (!size_allowed(rows, cols)) return 0;
    numRows_ = rows;
    numCols_ = cols;
    if (allocate_matrix() == 0) return 0;
    for (int r = 1; r <= numRows_; ++r) {
        const int last = std::min(r, numCols_);
        for (int j = 1; j <= last; ++j) {
            if (j == r)
                at(r, j) = 1.0;
            else if (j == 1)
                at(r, j) = 1.0 / r;
            else
                at(r, j) = ((r - 1) * at(r - 1, j) + j * at(r - 1, j - 1)) / r;
        }
    }
    return 1;
}

double BnumMat::operator()(int r, int j) const {
    if (!holds(r, j)) {
        E.error(ERROR, "BnumMat::operator()", Msg::m1_array_out_of_bounds);
        return std::numeric_limits<double>::quiet_NaN();
    }
    return mat_[row_start(r) + static_cast<std::size_t>(j - 1)];
}

int BnumMat::read_from_file(my_string const& fileName) {
    fileName_ = fileName;
    return read_from_file();
}

int BnumMat::read_from_file() {
    std::ifstream in(fileName_.c_str(), std::ios::in | std::ios::binary);
    if (!in.is_open()) {
        E.error(WARNING, "BnumMat::read_from_file()", Msg::m8_missing_bnummat_file);
        return 0;
    }
    in >> *this;
    return 1;
}

std::istream& operator>>(std::istream& is, BnumMat& M) {
    if (!is) {
        E.error(ERROR, "operator>>(ifstream& is, BnumMat& S)", Msg::m9_invalid_stream);
        return is;
    }
    std::int32_t rows = 0;
    std::int32_t cols = 0;
    is.read(reinterpret_cast<char*>(&rows), sizeof rows);
    is.read(reinterpret_cast<char*>(&cols), sizeof cols);
    if (!is) {
        E.error(ERROR, "operator>>(ifstream& is, BnumMat& S)", Msg::m9_invalid_stream);
        return is;
    }
    // Only shapes the recurrence could have produced are taken; anything
    // else would make the table claim rows it cannot hold.
    if (cols > rows || !size_allowed(rows, cols)) {
        E.error(ERROR, "operator>>(istream& is, BnumMat& S)", Msg::m10_invalid_bnummat_file);
        return is;
    }
    M.release();
    M.numRows_ = rows;
    M.numCols_ = cols;
    if (M.allocate_matrix() == 0) return is;

    bool failed = false;
    for (int r = 1; r <= M.numRows_; ++r) {
        const int last = std::min(r, M.numCols_);
        for (int j = 1; j <= last; ++j) {
            double value = 0.0;
            if (!is.read(reinterpret_cast<char*>(&value), sizeof value)) {
                failed = true;
                break;  // the rest of this row stays 0.0
            }
            M.at(r, j) = value;
        }
    }
    if (failed) E.error(ERROR, "operator>>(istream& is, BnumMat& M)", Msg::m9_invalid_stream);
    return is;
}

int get_B_num_mat(BnumMat& table, int& tableExists) {
    if (tableExists) return 1;
    if (table.re_allocate_matrix(get_B_first_rows, get_B_first_cols)) {
        tableExists = 1;
        return 1;
    }
    tableExists = 0;
    return 0;
}

BnumMat& shared_B_num_mat() {
    static BnumMat table;
    return table;
}

int& shared_B_num_exist() {
    static int exists = 0;
    return exists;
}

}  // namespace quintle
