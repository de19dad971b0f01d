#pragma once

// Matrix correlation between a response distance matrix Y and one or two
// explanatory matrices X1, X2, and their permutation tests: the statistics
// and loops shared by the Mantel record and TCorrelMat.
//
// Every sum runs over the strict lower triangle of square matrices of equal
// size. A permutation shuffles Y's row/column index in place (n draws of the
// shared generator) and recomputes Z through it; nothing is allocated in the
// loop.

#include "core/RectMat.h"

namespace quintle {

// The results of the last matrix correlation and its test.
struct CorrelationResults {
    // Observed Z(Y,X1), Z(Y,X2), Z(X1,X2).
    double ZY1 = 0.0, ZY2 = 0.0, Z12 = 0.0;
    // Observed sums of products SP(Y,X1), SP(Y,X2), SP(X1,X2).
    double SPY1 = 0.0, SPY2 = 0.0, SP12 = 0.0;
    // Regression and partial regression coefficients.
    double bY1 = 0.0, bY2 = 0.0, bY1_2 = 0.0, bY2_1 = 0.0;
    // Correlation and partial correlation coefficients.
    double rY1 = 0.0, rY2 = 0.0, r12 = 0.0, rY1_2 = 0.0, rY2_1 = 0.0;
    // P values of rY1, rY2, rY1_2, rY2_1: the fraction of permutations whose
    // statistic is at least the observed one.
    double P_rY1 = 0.0, P_rY2 = 0.0, P_rY1_2 = 0.0, P_rY2_1 = 0.0;
    // Standardized partial regression coefficients (simple test: beta1 = rY1).
    double beta1 = 0.0, beta2 = 0.0;
    // Total determination of Y and the unexplained variance (1 - R2).
    double R2 = 0.0, unexplained = 0.0;
    // Mean and sum of squares of the working matrices.
    double meanY = 0.0, SSY = 0.0, meanX1 = 0.0, SSX1 = 0.0, meanX2 = 0.0, SSX2 = 0.0;
    // Permutation counters of rY1, rY2, rY1_2, rY2_1: equal, larger, smaller.
    int equal_rY1 = 0, larger_rY1 = 0, smaller_rY1 = 0;
    int equal_rY2 = 0, larger_rY2 = 0, smaller_rY2 = 0;
    int equal_rY1_2 = 0, larger_rY1_2 = 0, smaller_rY1_2 = 0;
    int equal_rY2_1 = 0, larger_rY2_1 = 0, smaller_rY2_1 = 0;
    // Permutations of the last test; 0 until a test has run.
    int NbPermutations = 0;
};

// How partial correlations are taken when X1 and X2 are (nearly) collinear.
enum class CollinearRule {
    // Divide as the formula says: r12 = 1 gives non-finite values.
    Divide,
    // r12 within 1e-5 of 1: the partial correlations are the plain ones.
    PlainWhenNearOne,
};

// Z(Y,X): the sum over the strict lower triangle of Y, read through its
// permutation index, times X. Leaves the value in Y.Z. All Z of the tests
// come from here, so that equal arrangements give equal sums.
double mantel_z(RectMat& Y, RectMat const& X);

// Identity index, mean and sum of squares of Y and X1, Z(Y,X1) and SP(Y,X1),
// bY1, rY1, beta1 = rY1, R2 = rY1^2 and 1 - R2.
void simple_correlation(CorrelationResults& r, RectMat& Y, RectMat& X1);

// The same for Y, X1 and X2, with the partial regressions and correlations.
// When 1 - r12^2 is not positive the standardized coefficients, R2 and
// 1 - R2 are not numbers.
void partial_correlation(CorrelationResults& r, RectMat& Y, RectMat& X1, RectMat& X2, CollinearRule rule);

// nperm permutations of Y against X1: the rY1 counters (a Z tied with, or
// not comparable to, zObserved counts as equal), P_rY1 and NbPermutations.
// Nothing is done for nperm < 1.
void simple_permutations(CorrelationResults& r, RectMat& Y, RectMat& X1, int nperm, double zObserved);

// nperm permutations of Y against X1 and X2, comparing Z(Y,X1) with ZY1,
// Z(Y,X2) with ZY2 and the partial correlations with rY1_2 and rY2_1 (all
// as stored by partial_correlation; r12 stays the observed one). Nothing is
// done for nperm < 1.
void partial_permutations(CorrelationResults& r, RectMat& Y, RectMat& X1, RectMat& X2, int nperm,
                          CollinearRule rule);

}  // namespace quintle
