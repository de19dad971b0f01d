#pragma once

// The mismatch distribution of a sample: the number of pairs of gene copies
// per class of pairwise distance (class k holds the pairs whose distance
// truncates to k), its moments and raggedness, the moment estimates of the
// sudden-expansion parameters theta0 and tau, the expected counts under that
// model and a chi-square test of observed against expected counts.

#include <cstdint>
#include <ostream>
#include <span>

#include "core/RectMat.h"

namespace quintle {

class PopGenetics;

// Class of a distance, or -1 when the distance cannot be counted: not
// finite, negative, or with a whole part beyond maxClass.
long mismatch_class(double distance, int maxClass);

// Observed counts of haplotypes with `counts` gene copies whose distances
// are d(i, j) for j < i (below the diagonal) and d(i, i) within haplotype i:
// n_i n_j pairs for each j < i and n_i (n_i - 1) / 2 within. obs needs
// maxClass + 1 slots and is added to. Returns the number of matrix entries
// that could not be counted (see mismatch_class); a matrix in class mode is
// counted pair of classes by pair of classes (the counts are the same), so
// that number is then one per such pair of classes.
long count_mismatch_pairs(std::span<const int> counts, RectMat const& d, int maxClass, std::span<std::int64_t> obs);

// The listing of the pairwise distances one pair of gene copies at a time:
// one line per gene copy in list order, holding the distance to every
// earlier copy and then the copy's own diagonal value, each in fixed
// notation, width 6, one decimal.
void list_mismatch_pairs(std::ostream& out, std::span<const int> counts, RectMat const& d);

struct MismatchMoments {
    double total = 0.0;  // number of pairs
    double mean = 0.0;
    double variance = 0.0;
    double theta0 = 0.0;
    double tau = 0.0;
    double raggedness = 0.0;
};

// Moments of classes 0 .. maxClass of obs, raggedness (closing the
// distribution with an empty class maxClass + 1) and the moment estimates
// theta0 = sqrt(variance - mean) (0 when negative) and tau = mean - theta0.
MismatchMoments mismatch_moments(std::span<const std::int64_t> obs, int maxClass);

// Expected counts of every class of `expected` under sudden expansion from
// theta0 with age tau (geometric equilibrium form when tau is 0, all 0 when
// tau > 0 and theta0 is 0), for `total` pairs. Returns the last class whose
// expected count exceeds 1e-5 when tau and theta0 are both positive, else 0.
int mismatch_expected(double total, double theta0, double tau, std::span<double> expected);

struct MismatchChiSquare {
    double chi2 = 0.0;
    double p = -1.0;  // -1 without degrees of freedom
    int df = 0;       // classes used minus 2
};

// Chi-square of observed against expected counts over classes 0 .. lastClass
// after pooling classes whose expected count is below 5.
MismatchChiSquare mismatch_chi_square(std::span<const std::int64_t> obs, std::span<const double> expected,
                                      int lastClass);

// The largest distance the distribution takes: its 2M + 1 classes of counts
// and expected counts (16 bytes each) stay within some 270 MB. Squared
// allele-size differences of microsatellites can reach 2^31.
inline constexpr int max_mismatch_distance = 1 << 23;

// How the mismatch step ended: the value compute_mm_distr returns, and
// whether the pairs were counted (only then is there a listing to write).
struct MismatchStepOutcome {
    int code = 1;
    bool counted = false;
};

// The mismatch distribution of the sample's distance matrix into its
// mismatch fields: observed and expected counts, moments, moment estimates
// and chi-square test.
MismatchStepOutcome mismatch_distribution_step(PopGenetics& p);

}  // namespace quintle
