#include "mantel/correlation.h"

#include <cmath>
#include <limits>

namespace quintle {

namespace {

double partial(double ra, double rb, double r12) {
    return (ra - r12 * rb) / std::sqrt((1.0 - rb * rb) * (1.0 - r12 * r12));
}

bool near_one(double r12) { return std::fabs(1.0 - r12) < 1e-5; }

// One comparison of a permuted statistic with the observed one; a NaN on
// either side counts as a tie.
void count(double observed, double permuted, int& smaller, int& larger, int& equal) {
    if (observed > permuted)
        ++smaller;
    else if (permuted > observed)
        ++larger;
    else
        ++equal;
}

double p_value(int smaller, int nperm) { return 1.0 - static_cast<double>(smaller) / static_cast<double>(nperm); }

}  // namespace

void simple_correlation(CorrelationResults& r, RectMat& Y, RectMat& X1) {
    Y.create_index();
    X1.create_index();
    r.SSY = Y.compute_SSX();
    r.meanY = Y.mean;
    r.SSX1 = X1.compute_SSX();
    r.meanX1 = X1.mean;
    r.SPY1 = Y.sum_of_products(X1);
    r.ZY1 = Y.Z;
    r.bY1 = r.SPY1 / r.SSX1;
    r.rY1 = r.SPY1 / std::sqrt(r.SSX1 * r.SSY);
    r.beta1 = r.rY1;
    r.R2 = r.rY1 * r.rY1;
    r.unexplained = 1.0 - r.R2;
}

void partial_correlation(CorrelationResults& r, RectMat& Y, RectMat& X1, RectMat& X2, CollinearRule rule) {
    Y.create_index();
    X1.create_index();
    X2.create_index();
    r.SSY = Y.compute_SSX();
    r.meanY = Y.mean;
    r.SSX1 = X1.compute_SSX();
    r.meanX1 = X1.mean;
    r.SSX2 = X2.compute_SSX();
    r.meanX2 = X2.mean;

    r.SPY1 = Y.sum_of_products(X1);
    r.ZY1 = Y.Z;
    r.SPY2 = Y.sum_of_products(X2);
    r.ZY2 = Y.Z;
    r.SP12 = X1.sum_of_products(X2);
    r.Z12 = X1.Z;

    r.bY1 = r.SPY1 / r.SSX1;
    r.bY2 = r.SPY2 / r.SSX2;
    r.bY1_2 = (r.SPY1 - r.bY2 * r.SP12) / (r.SSX1 - r.SP12 * r.SP12 / r.SSX2);
    r.bY2_1 = (r.SPY2 - r.bY1 * r.SP12) / (r.SSX2 - r.SP12 * r.SP12 / r.SSX1);

    r.rY1 = r.SPY1 / std::sqrt(r.SSY * r.SSX1);
    r.rY2 = r.SPY2 / std::sqrt(r.SSY * r.SSX2);
    r.r12 = r.SP12 / std::sqrt(r.SSX1 * r.SSX2);
    if (rule == CollinearRule::PlainWhenNearOne && near_one(r.r12)) {
        r.rY1_2 = r.rY1;
        r.rY2_1 = r.rY2;
    } else {
        r.rY1_2 = partial(r.rY1, r.rY2, r.r12);
        r.rY2_1 = partial(r.rY2, r.rY1, r.r12);
    }

    double const denominator = 1.0 - r.r12 * r.r12;
    if (denominator > 0.0) {
        r.beta1 = (r.rY1 - r.r12 * r.rY2) / denominator;
        r.beta2 = (r.rY2 - r.r12 * r.rY1) / denominator;
        r.R2 = r.beta1 * r.beta1 + r.beta2 * r.beta2 + 2.0 * r.r12 * r.beta1 * r.beta2;
        r.unexplained = 1.0 - r.R2;
    } else {
        // X1 and X2 carry the same information: Y cannot be split between
        // them, and no earlier test's values may stand in.
        double const none = std::numeric_limits<double>::quiet_NaN();
        r.beta1 = r.beta2 = r.R2 = r.unexplained = none;
    }
}

void simple_permutations(CorrelationResults& r, RectMat& Y, RectMat& X1, int nperm, double zObserved) {
    if (nperm < 1) return;
    r.NbPermutations = nperm;
    r.equal_rY1 = r.larger_rY1 = r.smaller_rY1 = 0;
    for (int k = 0; k < nperm; ++k) {
        Y.permute_index();
        count(zObserved, Y.computeZ(X1), r.smaller_rY1, r.larger_rY1, r.equal_rY1);
    }
    r.P_rY1 = p_value(r.smaller_rY1, nperm);
}

void partial_permutations(CorrelationResults& r, RectMat& Y, RectMat& X1, RectMat& X2, int nperm,
                          CollinearRule rule) {
    if (nperm < 1) return;
    r.NbPermutations = nperm;
    r.equal_rY1 = r.larger_rY1 = r.smaller_rY1 = 0;
    r.equal_rY2 = r.larger_rY2 = r.smaller_rY2 = 0;
    r.equal_rY1_2 = r.larger_rY1_2 = r.smaller_rY1_2 = 0;
    r.equal_rY2_1 = r.larger_rY2_1 = r.smaller_rY2_1 = 0;
    double const scale1 = std::sqrt(r.SSY * r.SSX1);
    double const scale2 = std::sqrt(r.SSY * r.SSX2);
    bool const plain = rule == CollinearRule::PlainWhenNearOne && near_one(r.r12);
    for (int k = 0; k < nperm; ++k) {
        Y.permute_index();
        double const sp1 = Y.sum_of_products(X1);
        double const z1 = Y.Z;
        double const sp2 = Y.sum_of_products(X2);
        double const z2 = Y.Z;
        double const r1 = sp1 / scale1;
        double const r2 = sp2 / scale2;
        double const p1 = plain ? r1 : partial(r1, r2, r.r12);
        double const p2 = plain ? r2 : partial(r2, r1, r.r12);
        count(r.ZY1, z1, r.smaller_rY1, r.larger_rY1, r.equal_rY1);
        count(r.ZY2, z2, r.smaller_rY2, r.larger_rY2, r.equal_rY2);
        count(r.rY1_2, p1, r.smaller_rY1_2, r.larger_rY1_2, r.equal_rY1_2);
        count(r.rY2_1, p2, r.smaller_rY2_1, r.larger_rY2_1, r.equal_rY2_1);
    }
    r.P_rY1 = p_value(r.smaller_rY1, nperm);
    r.P_rY2 = p_value(r.smaller_rY2, nperm);
    r.P_rY1_2 = p_value(r.smaller_rY1_2, nperm);
    r.P_rY2_1 = p_value(r.smaller_rY2_1, nperm);
}

}  // namespace quintle
