#pragma once

// Matrices and records for the matrix-correlation tests: square matrices
// from lower triangles, a Mantel record filled by hand, the generator
// reseeded, and values read back from a printed report.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "core/RectMat.h"
#include "core/TriMat.h"
#include "core/random.h"
#include "mantel/Mantel.h"

namespace quintle::mantel_testing {

// Rows of a lower triangle without the diagonal: row i holds columns 0..i-1.
using Triangle = std::vector<std::vector<double>>;

inline int size_of(Triangle const& t) { return static_cast<int>(t.size()) + 1; }

inline RectMat square(Triangle const& t) {
    int const n = size_of(t);
    RectMat m(n, n);
    for (int i = 1; i < n; ++i)
        for (int j = 0; j < i; ++j) m(i, j) = m(j, i) = t[static_cast<std::size_t>(i - 1)][static_cast<std::size_t>(j)];
    return m;
}

inline void fill(TriMat& m, Triangle const& t) {
    int const n = size_of(t);
    m.create(n);
    for (int i = 1; i < n; ++i)
        for (int j = 0; j < i; ++j) m(i, j) = t[static_cast<std::size_t>(i - 1)][static_cast<std::size_t>(j)];
}

// A record as the section reader leaves it: the row labels, every label
// used, and the user matrices (Y only for a custom Y).
inline void set_section(Mantel& m, std::vector<std::string> const& labels, char const* ymatrix, Triangle const* y,
                        Triangle const& x1, Triangle const* x2) {
    m.MatrixSize = static_cast<int>(labels.size());
    m.MatrixNumber = x2 != nullptr ? 3 : 2;
    m.YMatrix = ymatrix;
    m.YMatrixLabels.clear();
    m.UsedYMatrixLabels.count = 0;
    for (auto const& l : labels) {
        m.YMatrixLabels.emplace_back(l.c_str());
        m.UsedYMatrixLabels.Add(my_string(l.c_str()));
    }
    fill(m.X1, x1);
    if (x2 != nullptr)
        fill(m.X2, *x2);
    else
        m.X2.create(m.MatrixSize);
    if (y != nullptr)
        fill(m.UserYMatrix, *y);
    else
        m.UserYMatrix.create(m.MatrixSize);
}

inline void reseed(long seed) {
    long s = -seed;
    ran3(&s);
}

// The number written after the first occurrence of `label`.
inline double value_after(std::string const& text, std::string const& label) {
    std::size_t const at = text.find(label);
    EXPECT_NE(at, std::string::npos) << label;
    if (at == std::string::npos) return 0.0;
    return std::strtod(text.c_str() + at + label.size(), nullptr);
}

}  // namespace quintle::mantel_testing
