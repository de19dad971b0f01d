#pragma once

// A holder of matrix-correlation statistics and permutation tests without
// labels or matrices of its own, with printers for the comparison of a
// genetic distance matrix ("d_gen") with a geographic one ("d_geo"),
// including two-stream forms that also feed a simulation summary.
//
// Its owner sets MatrixNumber (2: Y and X1; 3: Y, X1 and X2) before the
// printers are used. Nearly collinear X1 and X2 (r12 within 1e-5 of 1) give
// the plain correlations in place of the partial ones.

#include <ostream>

#include "core/RectMat.h"
#include "mantel/correlation.h"

namespace quintle {

class TCorrelMat : public CorrelationResults {
public:
    int MatrixNumber = 2;

    void compute_correlation(RectMat& Y, RectMat& X1);
    void compute_correlation(RectMat& Y, RectMat& X1, RectMat& X2);
    // The permutation tests, against the stored observed values; nothing is
    // logged. The number of permutations done: nperm, also when it is below
    // 1 and nothing was done.
    int test_correlation(RectMat& Y, RectMat& X1, int const& nperm);
    int test_correlation(RectMat& Y, RectMat& X1, RectMat& X2, int const& nperm);

    void print_correlations(std::ostream& os);
    void print_correlations_2(std::ostream& os);
    void print_correlations_2sim(std::ostream& out, std::ostream& sim);
    // The printers of P values write nothing before a permutation test.
    void print_p_values(std::ostream& os);
    void print_p_values_2(std::ostream& os);
    void print_p_values_2sim(std::ostream& out, std::ostream& sim);
    // mode 1: markup text; mode 2: plain text with "modified" matrices.
    void print_p_values_new(std::ostream& out, std::ostream& sim, int mode);
};

}  // namespace quintle
