#pragma once

// What the neutrality tests read of a simulated DNA replicate (the site
// census, with S, and the mean number of pairwise differences), computed
// column by column from its distinct sequences instead of through a
// haplotype list, a distance matrix and the molecular diversity. The
// numbers are those of PopulDNA::evaluate_polymorphism,
// compute_distance_matrix (pairwise difference, no scaling) and
// compute_molecular_diversity on the same sequences, to the last bit.

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "datatypes/dna_distances.h"
#include "popstats/hit_site_alignment.h"
#include "popstats/mutations.h"

namespace quintle {

// The counters of the site census (PopulDNA::compare_DNA_sequences).
struct DnaSiteCensus {
    int transitions = 0;
    int transversions = 0;
    int substitutions = 0;
    int indels = 0;
    int transitionSites = 0;
    int transversionSites = 0;
    int substitutionSites = 0;  // S
    int indelSites = 0;
    int validSites = 0;
    int polymorphicSites = 0;
    int usableSites = 0;
    bool operator==(DnaSiteCensus const&) const = default;
};

// Mean number of pairwise differences and nucleotide diversity, with their
// s.d.; all 0 unless n > 1 and some site is usable.
struct MolecularDiversity {
    double meanPairwiseDiff = 0.0;
    double meanPairwiseDiffSd = 0.0;
    double piPerSite = 0.0;
    double piPerSiteSd = 0.0;
};

// From S, the sum over pairs of sequences of their distance (count products
// included), n gene copies and L usable sites.
MolecularDiversity molecular_diversity(double S, double n, int L);

struct DnaReplicateSettings {
    char missing = '?';
    char separator = 0;  // the locus separator; 0: none
    double allowedMissingLevel = 0.0;
    double sampleSize = 0.0;
    DistanceWeights censusWeights;    // those the site census runs with
    DistanceWeights distanceWeights;  // those of the pairwise differences
};

struct DnaReplicateStatistics {
    DnaSiteCensus census;
    MolecularDiversity diversity;
};

// Work buffers, kept from one replicate to the next.
struct DnaReplicateWork {
    std::array<std::int64_t, 256> charCount{};  // copies of each character in the current column
    std::array<std::int64_t, 256> before{};     // the same over the rows already passed
    std::vector<unsigned char> present;         // characters of the current column, first seen first
    std::vector<int> usable;                    // usable columns
    std::vector<std::uint64_t> planes;          // two bit planes per row over the usable columns
    std::vector<std::int64_t> baseCount;        // A, G, C, T copies of each column
    std::vector<std::uint32_t> baseSeen;        // bit set of the bases each column holds
};

// Census and molecular diversity of the sequences of `a` (the rows, with
// a.omittedSites further identical, valid sites). With whole-number weights
// the differences are summed as integers site by site; otherwise each pair's
// distance is formed with pairwise_difference and the count products are
// added in the order of compute_molecular_diversity, so that the doubles are
// the same.
DnaReplicateStatistics dna_replicate_statistics(CompactAlignment const& a, DnaReplicateSettings const& settings,
                                                DnaReplicateWork& work);

// The same for a replicate of `copies` sequences over `nsites` sites whose
// mutations each hit a site of their own (HitSiteStates::single_hits), from
// each mutation's two states and its carriers, without rows: a hit site
// holds `after` in the carriers and `before` in the other copies, every
// other site one base throughout. It applies when the weights of the
// differences are whole numbers (the integer form), every mutation leaves
// another base than it finds, and neither the missing-data character nor
// the separator is a base; the numbers are then those of
// dna_replicate_statistics on the replicate's rows.
bool single_hit_statistics_apply(std::span<HitSiteStates::Mutation const> mutations, int copies,
                                 DnaReplicateSettings const& settings);
DnaReplicateStatistics single_hit_statistics(std::span<HitSiteStates::Mutation const> mutations, int copies,
                                             int nsites, DnaReplicateSettings const& settings);

}  // namespace quintle
