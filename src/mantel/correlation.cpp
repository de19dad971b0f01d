#include "mantel/correlation.h"

#include <cmath>
#include <limits>

namespace quintle {

namespace {

double partial(double ra, double rb, double r12) {
    return (ra - r12 * rb) / std::sqrt((1.0 - rb * rb) * (1.0 - r12 * r12));
}

bool near_one(double r12) { return std::fabs(1.0 - r12) < 1e-5; }

// Y and X as plain square blocks of n rows that Y's index can read: the
// fast path of the Z sums. Otherwise RectMat's own sum is used.
bool plain_blocks(RectMat& Y, RectMat const& X) {
    int const n = Y.nRows;
    return Y.index() != nullptr && !Y.constantMode && !X.constantMode && n > 1 && Y.nCols == n && X.nRows == n &&
           X.nCols == n && Y.holds(n, n) && X.holds(n, n);
}

// Sum over j < i of y[idx[j]] * x[j], in four running sums so that the
// additions do not wait on each other. Every Z of a test goes through here,
// so that an arrangement equal to the observed one gives the same sum.
inline double row_products(double const* y, double const* x, int const* idx, int i) {
    double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
    int j = 0;
    for (; j + 4 <= i; j += 4) {
        s0 += y[idx[j]] * x[j];
        s1 += y[idx[j + 1]] * x[j + 1];
        s2 += y[idx[j + 2]] * x[j + 2];
        s3 += y[idx[j + 3]] * x[j + 3];
    }
    for (; j < i; ++j) s0 += y[idx[j]] * x[j];
    return (s0 + s1) + (s2 + s3);
}

// Both Z(Y,X1) and Z(Y,X2) in one pass over Y, each summed exactly as
// mantel_z sums it.
void z_pair(RectMat& Y, RectMat const& X1, RectMat const& X2, double& z1, double& z2) {
    if (!plain_blocks(Y, X1) || !plain_blocks(Y, X2)) {
        z1 = mantel_z(Y, X1);
        z2 = mantel_z(Y, X2);
        return;
    }
    int const n = Y.nRows;
    int const* const idx = Y.index();
    double a = 0.0, b = 0.0;
    for (int i = 1; i < n; ++i) {
        double const* const y = &Y(idx[i], 0);
        double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
        double t0 = 0.0, t1 = 0.0, t2 = 0.0, t3 = 0.0;
        double const* const x1 = &X1(i, 0);
        double const* const x2 = &X2(i, 0);
        int j = 0;
        for (; j + 4 <= i; j += 4) {
            double const y0 = y[idx[j]], y1 = y[idx[j + 1]], y2 = y[idx[j + 2]], y3 = y[idx[j + 3]];
            s0 += y0 * x1[j];
            s1 += y1 * x1[j + 1];
            s2 += y2 * x1[j + 2];
            s3 += y3 * x1[j + 3];
            t0 += y0 * x2[j];
            t1 += y1 * x2[j + 1];
            t2 += y2 * x2[j + 2];
            t3 += y3 * x2[j + 3];
        }
        for (; j < i; ++j) {
            double const yj = y[idx[j]];
            s0 += yj * x1[j];
            t0 += yj * x2[j];
        }
        a += (s0 + s1) + (s2 + s3);
        b += (t0 + t1) + (t2 + t3);
    }
    z1 = a;
    z2 = b;
    Y.Z = b;
}

// SP(A,B) from Z(A,B): Z - K mean(A) mean(B), K the number of pairs.
double sum_of_products(double z, RectMat const& A, RectMat const& B) {
    long long const n = A.nRows;
    return z - static_cast<double>(n * (n - 1) / 2) * A.mean * B.mean;
}

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

double mantel_z(RectMat& Y, RectMat const& X) {
    if (!plain_blocks(Y, X)) return Y.computeZ(X);
    int const n = Y.nRows;
    int const* const idx = Y.index();
    double z = 0.0;
    for (int i = 1; i < n; ++i) z += row_products(&Y(idx[i], 0), &X(i, 0), idx, i);
    Y.Z = z;
    return z;
}

void simple_correlation(CorrelationResults& r, RectMat& Y, RectMat& X1) {
    Y.create_index();
    X1.create_index();
    r.SSY = Y.compute_SSX();
    r.meanY = Y.mean;
    r.SSX1 = X1.compute_SSX();
    r.meanX1 = X1.mean;
    r.ZY1 = mantel_z(Y, X1);
    r.SPY1 = sum_of_products(r.ZY1, Y, X1);
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

    z_pair(Y, X1, X2, r.ZY1, r.ZY2);
    r.SPY1 = sum_of_products(r.ZY1, Y, X1);
    r.SPY2 = sum_of_products(r.ZY2, Y, X2);
    r.Z12 = mantel_z(X1, X2);
    r.SP12 = sum_of_products(r.Z12, X1, X2);

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
        count(zObserved, mantel_z(Y, X1), r.smaller_rY1, r.larger_rY1, r.equal_rY1);
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
        double z1 = 0.0, z2 = 0.0;
        z_pair(Y, X1, X2, z1, z2);
        double const r1 = sum_of_products(z1, Y, X1) / scale1;
        double const r2 = sum_of_products(z2, Y, X2) / scale2;
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
