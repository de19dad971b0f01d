#include "amova/pairwise_kernels.h"

#include <cmath>
#include <utility>

#include "amova/permutations.h"
#include "run/ProfileSettings.h"
#include "run/glbobj.h"

namespace quintle {

PairPermutationPlan plan_pair_permutations(long K) {
    PairPermutationPlan plan;
    plan.asked = K < 1 ? 1 : K;
    plan.blocks = static_cast<int>(std::sqrt(static_cast<double>(plan.asked)));
    if (plan.blocks < 1) plan.blocks = 1;
    plan.per_block = plan.asked / plan.blocks + 1;
    plan.total = plan.blocks * plan.per_block;
    return plan;
}

PairCoefficients pair_coefficients(double na, double nb) {
    PairCoefficients k;
    k.N = na + nb;
    k.c = k.N > 2.0 ? 1.0 / (k.N - 2.0) : 100000.0;
    k.nc = k.N - (na * na + nb * nb) / k.N;
    return k;
}

PairComponents pair_components(PairCoefficients const& k, double withinA, double withinB, double rawA,
                               double rawB, double between) {
    PairComponents r;
    double const s = withinA + withinB;
    r.Vb = s * k.c;
    r.Va = ((between + rawA + rawB) / k.N - s - r.Vb) / k.nc;
    r.FST = r.Va + r.Vb > 0.0 ? r.Va / (r.Va + r.Vb) : r.Va * 100000.0;
    return r;
}

double permuted_pair_Va(PairCoefficients const& k, double ssdA, double ssdB, double between, double w) {
    return ((ssdA + ssdB + between) / k.N - w) / k.nc - w * k.c / k.nc;
}

double mean_within_difference(double raw, double size) {
    return size > 1.0 ? 2.0 * raw / ((size - 1.0) * size) : 0.0;
}

double mean_within_difference_from_divided(double divided, double size) {
    return size > 1.0 ? 2.0 * divided / (size - 1.0) : 0.0;
}

double mean_between_difference(double between, double na, double nb) {
    return na == 0.0 || nb == 0.0 ? 0.0 : between / (na * nb);
}

double delta_mu_squared(double const* ma, long La, double const* mb, long Lb) {
    double sum = 0.0;
    long counted = 0;
    for (long l = 0; l < La; ++l) {
        double const a = ma[l];
        double const b = l < Lb ? mb[l] : 0.0;
        if (a == 0.0 || b == 0.0) continue;
        sum += (a - b) * (a - b);
        ++counted;
    }
    return counted > 0 ? sum / static_cast<double>(counted) : 0.0;
}

double p_value_sd(double const* blocks, int B, double P) {
    if (B < 2) return 0.0;
    double sum = 0.0;
    for (int b = 1; b <= B; ++b) sum += (blocks[b] - P) * (blocks[b] - P) / ((B - 1.0) * B);
    return std::sqrt(sum);
}

DerivedCell coancestry_cell(double F) {
    if (F < 0.0) return {DerivedCell::ZeroText, 0.0};
    if (F >= 1.0) return {DerivedCell::Infinite, 0.0};
    return {DerivedCell::Number, -std::log(1.0 - F)};
}

DerivedCell slatkin_cell(double F) {
    if (F < 0.0) return {DerivedCell::ZeroText, 0.0};
    if (F >= 1.0) return {DerivedCell::Infinite, 0.0};
    return {DerivedCell::Number, F / (1.0 - F)};
}

DerivedCell m_value_cell(double F) {
    if (F <= 0.0) return {DerivedCell::Infinite, 0.0};
    if (F > 1.0) return {DerivedCell::Number, 0.0};
    return {DerivedCell::Number, (1.0 - F) / (2.0 * F)};
}

char const* distance_method_name(int dataType, int method) {
    switch (dataType) {
        case DNA:
            return method >= 0 && method <= 6 ? DistanceNames[method] : nullptr;
        case RFLP:
            if (method == 0) return DistanceNames[0];
            if (method == 1) return DistanceNames[3];
            return nullptr;
        case MICROSAT:
            if (method == 0) return DistanceNames[7];
            if (method == 1) return DistanceNames[8];
            return nullptr;
        case STANDARD:
            return "Pairwise differences";
        default:
            return nullptr;
    }
}

void shuffle_pair_copies(int* v, double na, double N) {
    shuffle_pair_copies_with(na, N, permutation_draw, [v](long p, long q) { std::swap(v[p], v[q]); });
}

void shuffle_pair_individuals(int* v, double na, double N) {
    shuffle_pair_individuals_with(na, N, permutation_draw, [v](long p, long q) { std::swap(v[p], v[q]); });
}

}  // namespace quintle
