// Population-specific FIS of the individual-level designs: each sample's
// own AMOVA of individuals (among and within individuals), its permutation
// counts (the table of the values is written from the design's result,
// amova/design_print.cpp).

#include <algorithm>

#include "amova/Amova.h"
#include "data/Population.h"
#include "run/settings.h"

namespace quintle {

namespace {

constexpr double kNotComputed = -9.99999;

}  // namespace

double Amova::population_FIS(Population const& p) {
    double const individuals = p.SampleSize * 0.5;
    double const within = p.SSDWI / individuals;
    double const among = individuals > 1 ? ((p.SSDWP_divN - p.SSDWI) / (individuals - 1) - within) * 0.5 : 0.0;
    double const sum = among + within;
    return sum != 0.0 ? among / sum : kNotComputed;
}

void Amova::compute_pop_FIS() {
    if (settings->PopSpecificFIS == 0) return;
    for (Population const* p : pops_by_id)
        if (p != nullptr && p->id >= 0 && static_cast<std::size_t>(p->id) < pop_FIS.size())
            pop_FIS[static_cast<std::size_t>(p->id)] = population_FIS(*p);
}

void Amova::count_pop_FIS() {
    if (settings->PopSpecificFIS == 0) return;
    for (Population const* p : pops_by_id) {
        if (p == nullptr || p->id < 0 || static_cast<std::size_t>(p->id) >= pop_spare.size()) continue;
        double const permuted = population_FIS(*p);
        // An undefined permuted value never counts (nor does a NaN).
        if (permuted != kNotComputed && permuted >= pop_FIS[static_cast<std::size_t>(p->id)])
            pop_spare[static_cast<std::size_t>(p->id)] += 1.0;
    }
}

void Amova::clear_pop_FIS_counts() { std::fill(pop_spare.begin(), pop_spare.end(), 0.0); }

void Amova::pop_FIS_counts_to_p() {
    if (settings->PopSpecificFIS == 0 || nb_perm == 0) return;
    for (double& c : pop_spare) c /= static_cast<double>(nb_perm);
}

}  // namespace quintle
