#include "amova/permutations.h"

#include <cmath>
#include <utility>

#include "amova/Amova.h"
#include "core/random.h"
#include "data/Population.h"

namespace quintle {

namespace {

// Each procedure hands ran3 its own seed holding 1: a positive seed never
// reseeds, so the draws continue the run's one stream.
double draw() {
    long seed = 1;
    return ran3(&seed);
}

long min_last(long last, long cap) { return last < cap ? last : cap; }

}  // namespace

void shuffle_copies(int* e, long n, int start, int last, int stop) {
    if (start < 0 || stop < start) return;
    long const top = min_last(last, n - 1);
    for (long i = top; i >= stop; --i) {
        float const u = static_cast<float>(draw());
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
        double const u = draw();
        long const j = start + static_cast<long>(static_cast<double>(i - start) * u);
        std::swap(e[2 * i], e[2 * j]);
        std::swap(e[2 * i + 1], e[2 * j + 1]);
    }
}

void shuffle_samples(Population** e, long n, int last, int stop) {
    if (stop < 0) return;
    long const top = min_last(last, n - 1);
    for (long i = top; i >= stop; --i) {
        double const u = draw();
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

void Amova::PHAPWG() {
    int* const v = HaplotypeIndexVector.data();
    long const n = static_cast<long>(HaplotypeIndexVector.size());
    int start = 0;
    for (std::size_t g = 0; g < group_pops.size() && g < group_size.size(); ++g) {
        if (group_pops[g].empty()) continue;
        double const first = group_pops[g][0]->SampleSize;
        int const last = start + static_cast<int>(group_size[g]) - 1;
        int const stop = static_cast<int>(start + first);
        shuffle_copies(v, n, start, last, stop);
        start += static_cast<int>(group_size[g]);
    }
}

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

void Amova::PIAPWG() {
    int* const v = HaplotypeIndexVector.data();
    long const n = static_cast<long>(HaplotypeIndexVector.size());
    int start = 0;
    for (std::size_t g = 0; g < group_pops.size() && g < group_size.size(); ++g) {
        if (group_pops[g].empty()) continue;
        double const first = group_pops[g][0]->SampleSize;
        int const last = start + static_cast<int>(group_size[g] * 0.5) - 1;
        int const stop = static_cast<int>(start + first * 0.5);
        shuffle_individuals(v, n, start, last, stop);
        start += static_cast<int>(group_size[g] * 0.5);
    }
}

void Amova::PIAPAG() {
    if (pops_by_id.empty()) return;
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
