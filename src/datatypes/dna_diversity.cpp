// Nucleotide composition and molecular diversity of a DNA sample.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <optional>

#include "datatypes/PopulDNA.h"
#include "datatypes/class_pair_sum.h"
#include "datatypes/dna_distances.h"
#include "datatypes/dna_pair_counts.h"
#include "datatypes/dna_replicate_statistics.h"
#include "run/settings.h"

namespace quintle {

namespace {

// The A, C, G and T of a text, in the order of dna_nucleotide_index: the
// bytes equal to each letter, counted 16 lanes at a time in byte counters
// (emptied every 255 rounds, before they can wrap), a loop the compiler
// turns into vector compares and subtractions.
std::array<long, 4> nucleotide_counts(my_string const& text) {
    auto const* p = reinterpret_cast<unsigned char const*>(text.c_str());
    std::size_t const n = static_cast<std::size_t>(text.length());
    constexpr std::size_t lanes = 16;
    constexpr std::size_t rounds = 255;
    std::array<long, 4> letters{};  // A, C, G, T
    std::size_t s = 0;
    while (s + lanes <= n) {
        std::size_t const stop = std::min((n - s) / lanes, rounds);
        unsigned char a[lanes] = {}, c[lanes] = {}, g[lanes] = {}, t[lanes] = {};
        for (std::size_t r = 0; r < stop; ++r, s += lanes)
            for (std::size_t k = 0; k < lanes; ++k) {
                unsigned char const x = p[s + k];
                a[k] = static_cast<unsigned char>(a[k] + (x == 'A'));
                c[k] = static_cast<unsigned char>(c[k] + (x == 'C'));
                g[k] = static_cast<unsigned char>(g[k] + (x == 'G'));
                t[k] = static_cast<unsigned char>(t[k] + (x == 'T'));
            }
        for (std::size_t k = 0; k < lanes; ++k) {
            letters[0] += a[k];
            letters[1] += c[k];
            letters[2] += g[k];
            letters[3] += t[k];
        }
    }
    for (; s < n; ++s) {
        letters[0] += p[s] == 'A';
        letters[1] += p[s] == 'C';
        letters[2] += p[s] == 'G';
        letters[3] += p[s] == 'T';
    }
    std::array<long, 4> counts{};
    std::size_t i = 0;
    for (char const letter : {'A', 'C', 'G', 'T'})
        counts[static_cast<std::size_t>(dna_nucleotide_index(letter))] = letters[i++];
    return counts;
}

}  // namespace

int PopulDNA::comp_nucl_freq() {
    for (double f : nuclFreq) {
        if (f > 0) return 1;
    }
    int const n = static_cast<int>(haplotypes.count);
    if (n < 1) {
        E.error(ERROR, "PopulDNA::comp_nucl_freq()", Msg::m108_haplotype_list_empty);
        return 0;
    }

    // Whole counts, added exactly; every site counts, usable or not.
    std::array<double, 4> sums{};
    double total = 0.0;
    HaploDef const* last = nullptr;  // entries of one definition often follow each other
    std::array<long, 4> perText{};
    for (int i = 0; i < n; ++i) {
        PHaploDef const* h = haplotypes[i];
        if (h == nullptr || h->haplotype == nullptr) continue;
        my_string const& text = h->haplotype->data;
        double const count = h->count;
        if (h->haplotype != last) {
            perText = nucleotide_counts(text);
            last = h->haplotype;
        }
        for (std::size_t k = 0; k < 4; ++k) sums[k] += static_cast<double>(perText[k]) * count;
        total += static_cast<double>(text.length()) * count;
    }

    nuclFreq.fill(0.0);
    if (total > 0) {
        double norm = 0.0;
        for (std::size_t k = 0; k < 4; ++k) {
            nuclFreq[k] = sums[k] / total;
            norm += nuclFreq[k];
        }
        // A sample without any A, C, G or T keeps four zeros rather than 0/0.
        if (norm > 0) {
            for (double& f : nuclFreq) f /= norm;
        } else {
            nuclFreq.fill(0.0);
        }
    }
    gcContent = nuclFreq[0] + nuclFreq[3];
    return 1;
}

int PopulDNA::compute_molecular_diversity(settings& s) {
    if (!distMat) {
        deletionWeight = s.DeletionWeight;
        transitionWeight = s.TransitionWeight;
        transversionWeight = s.TranversionWeight;
        if (compute_distance_matrix(nullptr, &s, 0) == 0) {
            E.error(ERROR, "PopulDNA::compute_molecular_diversity()", Msg::m136_dist_mat_not_computed);
            return 0;
        }
    }
    int const k = static_cast<int>(haplotypes.count);
    if (k < 1) {
        E.error(ERROR, "PopulDNA::compute_molecular_diversity()", Msg::m108_haplotype_list_empty);
        return 0;
    }
    if (!distMat) {
        E.error(ERROR, "PopulDNA::compute_molecular_diversity()", Msg::m122_no_distance_matrix);
        return 1;
    }
    PHaploDef const* first = haplotypes[0];
    if (first == nullptr || first->haplotype == nullptr || first->haplotype->data.length() == 0) return 1;

    RectMat const& d = *distMat;
    double S = 0.0;
    if (std::optional<double> const exact = exact_class_pair_sum(haplotypes, d)) {
        S = *exact;
    } else {
        for (int i = 1; i < k; ++i) {
            PHaploDef const* hi = haplotypes[i];
            if (hi == nullptr) continue;
            for (int j = 0; j < i; ++j) {
                PHaploDef const* hj = haplotypes[j];
                if (hj == nullptr) continue;
                S += static_cast<double>(hi->count) * static_cast<double>(hj->count) * d(i, j);
            }
        }
    }
    if (distanceMethod != 0) S *= numUsableSites;

    MolecularDiversity const diversity = molecular_diversity(S, SampleSize, numUsableSites);
    meanPairwiseDiff = diversity.meanPairwiseDiff;
    meanPairwiseDiffSd = diversity.meanPairwiseDiffSd;
    piPerSite = diversity.piPerSite;
    piPerSiteSd = diversity.piPerSiteSd;
    return 1;
}

}  // namespace quintle
