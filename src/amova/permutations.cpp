#include "amova/permutations.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "amova/Amova.h"
#include "core/random.h"
#include "data/Population.h"

namespace quintle {

namespace {

long min_last(long last, long cap) { return last < cap ? last : cap; }

// `shuffle` run on each group's stretch, stopping at the end of the group's
// first sample. `unit` is the units per gene copy: 1 for copies, 0.5 for
// individuals.
void shuffle_within_groups(std::vector<int>& v, std::vector<double> const& group_size,
                           std::vector<std::vector<Population*>> const& group_pops, double unit,
                           void (*shuffle)(int*, long, int, int, int)) {
    long const n = static_cast<long>(v.size());
    int start = 0;
    for (std::size_t g = 0; g < group_pops.size() && g < group_size.size(); ++g) {
        if (group_pops[g].empty()) continue;
        double const first = group_pops[g][0]->SampleSize;
        int const last = start + static_cast<int>(group_size[g] * unit) - 1;
        int const stop = static_cast<int>(start + first * unit);
        shuffle(v.data(), n, start, last, stop);
        start += static_cast<int>(group_size[g] * unit);
    }
}

}  // namespace

// Each call hands ran3 its own seed holding 1: a positive seed never
// reseeds, so the draws continue the run's one stream.
double permutation_draw() {
    long seed = 1;
    return ran3(&seed);
}

void shuffle_copies(int* e, long n, int start, int last, int stop) {
    if (start < 0 || stop < start) return;
    long const top = min_last(last, n - 1);
    for (long i = top; i >= stop; --i) {
        float const u = static_cast<float>(permutation_draw());
        float const span = static_cast<float>(i - start);
        float const product = span * u;
        long j = start + static_cast<long>(product);
        // Rounding to single precision can reach the span itself (and, for
        // spans beyond 2^24, pass it); such a step then leaves i in place.
        if (j > i) j = i;
        std::swap(e[i], e[j]);
    }
}

void shuffle_individuals(int* e, long n, int start, int last, int stop) {
    if (start < 0 || stop < start) return;
    long const top = min_last(last, n / 2 - 1);
    for (long i = top; i >= stop; --i) {
        double const u = permutation_draw();
        long const j = start + static_cast<long>(static_cast<double>(i - start) * u);
        std::swap(e[2 * i], e[2 * j]);
        std::swap(e[2 * i + 1], e[2 * j + 1]);
    }
}

void shuffle_units(int* e, int const* positions, long count, int width, int start, int last, int stop) {
    if (start < 0 || stop < start) return;
    long const top = min_last(last, count - 1);
    for (long i = top; i >= stop; --i) {
        double const u = permutation_draw();
        long const j = start + static_cast<long>(static_cast<double>(i - start) * u);
        for (int c = 0; c < width; ++c) std::swap(e[positions[i] + c], e[positions[j] + c]);
    }
}

void shuffle_samples(Population** e, long n, int last, int stop) {
    if (stop < 0) return;
    long const top = min_last(last, n - 1);
    for (long i = top; i >= stop; --i) {
        double const u = permutation_draw();
        long const j = static_cast<long>(std::floor(static_cast<double>(i) * u));
        std::swap(e[i], e[j]);
    }
}

// --- the engine's procedures -----------------------------------------------------
// Bounds, in the units each moves: start a, last L, stop f. Sizes are in
// gene copies and truncated where used.

void Amova::PPAG() {
    if (pops_by_id.empty() || group_pops.empty()) return;
    int const P = static_cast<int>(pops_by_id.size());
    int const firstGroup = static_cast<int>(group_pops[0].size());
    shuffle_samples(pops_by_id.data(), P, P - 1, firstGroup);
}

void Amova::PHAPAG() {
    if (pops_by_id.empty()) return;
    int const last = static_cast<int>(total_size) - 1;
    int const stop = static_cast<int>(pops_by_id[0]->SampleSize);
    shuffle_copies(HaplotypeIndexVector.data(), static_cast<long>(HaplotypeIndexVector.size()), 0, last, stop);
}

void Amova::PHAPWG() { shuffle_within_groups(HaplotypeIndexVector, group_size, group_pops, 1.0, shuffle_copies); }

void Amova::PHAIWP() {
    int* const v = HaplotypeIndexVector.data();
    long const n = static_cast<long>(HaplotypeIndexVector.size());
    int start = 0;
    for (Population const* p : pops_by_id) {
        int const copies = static_cast<int>(p->SampleSize);
        shuffle_copies(v, n, start, start + copies - 1, start + 2);
        start += copies;
    }
}

namespace {

// One run of units: its first unit, its end and the end of its first
// sample's units. The first sample's units are only partners (as in every
// shuffle here); when it has none, the run's first unit is, so that no
// draw is spent exchanging a unit with itself.
void shuffle_unit_run(int* e, std::vector<int> const& positions, int width, int begin, int end, int firstEnd) {
    shuffle_units(e, positions.data(), static_cast<long>(positions.size()), width, begin, end - 1,
                  std::max(firstEnd, begin + 1));
}

}  // namespace

void Amova::PIAPWG() {
    if (!individual_units.empty()) {
        // Within each group, two-copy individuals among themselves, then
        // lone copies among themselves: every sample keeps its size.
        int* const v = HaplotypeIndexVector.data();
        IndividualUnits const& u = individual_units;
        for (IndividualUnits::GroupRuns const& g : u.groups) {
            shuffle_unit_run(v, u.pairs, 2, g.pairs_begin, g.pairs_end, g.pairs_first_end);
            shuffle_unit_run(v, u.lones, 1, g.lones_begin, g.lones_end, g.lones_first_end);
        }
        return;
    }
    shuffle_within_groups(HaplotypeIndexVector, group_size, group_pops, 0.5, shuffle_individuals);
}

void Amova::PIAPAG() {
    if (pops_by_id.empty()) return;
    if (!individual_units.empty()) {
        int* const v = HaplotypeIndexVector.data();
        IndividualUnits const& u = individual_units;
        IndividualUnits::GroupRuns const& first = u.groups.front();
        shuffle_unit_run(v, u.pairs, 2, 0, static_cast<int>(u.pairs.size()), first.pairs_first_end);
        shuffle_unit_run(v, u.lones, 1, 0, static_cast<int>(u.lones.size()), first.lones_first_end);
        return;
    }
    int const last = static_cast<int>(total_size * 0.5 - 1.0);
    int const stop = static_cast<int>(0.5 * pops_by_id[0]->SampleSize);
    shuffle_individuals(HaplotypeIndexVector.data(), static_cast<long>(HaplotypeIndexVector.size()), 0, last, stop);
}

void Amova::permute_genes(int last, int start, int stop) {
    shuffle_copies(HaplotypeIndexVector.data(), static_cast<long>(HaplotypeIndexVector.size()), start, last, stop);
}

void Amova::permute_indiv(int last, int start, int stop) {
    shuffle_individuals(HaplotypeIndexVector.data(), static_cast<long>(HaplotypeIndexVector.size()), start, last,
                        stop);
}

}  // namespace quintle
