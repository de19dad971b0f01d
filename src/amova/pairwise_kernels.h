#pragma once

// The arithmetic of the comparisons of pairs of samples, apart from any
// sample object: the permutation plan, the two-sample AMOVA, mean
// differences, the (delta mu) squared distance, the standard deviation of a
// P value from its blocks, the distances derived from FST and the shuffles
// of the two samples' gene copies.

namespace quintle {

// K permutations asked for, dealt to B = int(sqrt(K)) blocks of K div B + 1
// each, so that K' = B * (K div B + 1) are run.
struct PairPermutationPlan {
    long asked = 1;      // K, at least 1
    int blocks = 1;      // B
    long per_block = 2;  // K div B + 1
    long total = 2;      // K'
};
// K below 1 counts as 1.
PairPermutationPlan plan_pair_permutations(long K);

// The coefficients of a pair of samples of na and nb gene copies.
struct PairCoefficients {
    double N = 0.0;   // na + nb
    double c = 0.0;   // 1 / (N - 2), or 100000 when N <= 2
    double nc = 0.0;  // N - (na^2 + nb^2) / N; 0 (or undefined) when a sample is empty
};
PairCoefficients pair_coefficients(double na, double nb);

struct PairComponents {
    double Va = 0.0;   // among the two samples
    double Vb = 0.0;   // within them
    double FST = 0.0;  // Va / (Va + Vb), or 100000 Va when Va + Vb is not positive
};
// withinA, withinB: raw within sums divided by the sample sizes; rawA, rawB:
// those values times the sizes again; between: the raw sum between the two.
PairComponents pair_components(PairCoefficients const& k, double withinA, double withinB, double rawA,
                               double rawB, double between);

// Va of one permutation: w the sum of the two within sums divided by the
// sizes, ssdA and ssdB the raw within sums, between the raw sum between.
double permuted_pair_Va(PairCoefficients const& k, double ssdA, double ssdB, double between, double w);

// Mean number of differences between two copies of one sample, from its raw
// within sum; 0 for at most one copy.
double mean_within_difference(double raw, double size);
// The same from the within sum divided by the size, as the permutations have it.
double mean_within_difference_from_divided(double divided, double size);
// Mean difference between a copy of one sample and one of the other; 0 when
// a sample is empty.
double mean_between_difference(double between, double na, double nb);

// Mean of (ma[l] - mb[l])^2 over the loci l < La where both means are
// nonzero (a locus beyond Lb has no data in b); 0 when no locus counts.
double delta_mu_squared(double const* ma, long La, double const* mb, long Lb);

// Standard deviation of a P value from the proportions of its B blocks,
// blocks[1..B]: 0 when B < 2.
double p_value_sd(double const* blocks, int B, double P);

// A cell of the tables derived from FST.
struct DerivedCell {
    enum Kind { Number, Infinite, ZeroText } kind = Number;
    double value = 0.0;  // for Number
};
// -ln(1 - F): "0" text below 0, infinite from 1 on. F = 0 gives -0.0.
DerivedCell coancestry_cell(double F);
// F / (1 - F), with the same limits.
DerivedCell slatkin_cell(double F);
// M = (1 - F) / (2F): infinite at or below 0, 0 above 1.
DerivedCell m_value_cell(double F);

// Name of the distance method in the AMOVA and pairwise report headers;
// null when the label stands alone.
char const* distance_method_name(int dataType, int method);

// Shuffles the second sample's stretch of v (copies int(na) .. int(N) - 1)
// with the rest: from the last copy down to the second of that stretch, each
// exchanges with a position drawn below it. One ran3 draw per step.
void shuffle_pair_copies(int* v, double na, double N);
// The same for individuals: pairs of adjacent copies move together, from the
// last pair down while its second copy lies beyond int(na + 1).
void shuffle_pair_individuals(int* v, double na, double N);

// The steps of those two shuffles, for any holder of the copies: draw()
// gives the next number of the run's stream, exchange(p, q) exchanges the
// copies at positions p and q.
template <class Draw, class Exchange>
void shuffle_pair_copies_with(double na, double N, Draw&& draw, Exchange&& exchange) {
    long const first = static_cast<long>(na);
    for (long t = static_cast<long>(N - 1); t >= first + 1; --t) {
        double const u = draw();
        long const k = static_cast<long>(static_cast<double>(t) * u);
        exchange(t, k);
    }
}
template <class Draw, class Exchange>
void shuffle_pair_individuals_with(double na, double N, Draw&& draw, Exchange&& exchange) {
    long const stop = static_cast<long>(na + 1);
    for (long t = static_cast<long>(N - 1); t > stop; t -= 2) {
        double const u = draw();
        long const k = static_cast<long>(static_cast<double>(t) * u);
        long q = k % 2 == 0 ? k + 1 : k;
        if (static_cast<double>(q) >= N) q -= 2;
        exchange(t, q);
        exchange(t - 1, q - 1);
    }
}

}  // namespace quintle
