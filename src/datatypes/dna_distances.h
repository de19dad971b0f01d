#pragma once

// Distances between two aligned DNA sequences, computed from integer counts
// of the kinds of site pairs the two sequences show. Counting and the
// distance formulas are kept apart so that a pair counted site by site and a
// pair counted from a sample's site plan (only the sites that can differ,
// plus the identical sites in bulk) give the very same numbers.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/Errors.h"
#include "core/RectMat.h"

namespace quintle {

// Class of a pair of differing characters: 0 no countable difference,
// 1 transition, 2 transversion, 3 indel, 4 either a transition or a
// transversion (ambiguity codes, or two of the digits 0..3). Equal
// characters give 0. The first character decides which rule applies, so the
// class is not symmetric for every pair ('0' against '-' is an indel, '-'
// against '0' is not).
int dna_pair_class(char a, char b);

// Index 0..3 of C, T, A, G (the order of nucleotide frequencies), -1 for any
// other character.
int dna_nucleotide_index(char c);

// Index of an unordered pair of two different nucleotides in the lower
// triangle of a C, T, A, G table: (T,C) 0, (A,C) 1, (A,T) 2, (G,C) 3, (G,T) 4,
// (G,A) 5.
inline constexpr int kPairCT = 0;
inline constexpr int kPairAG = 5;
int dna_nucleotide_pair_index(int i, int j);

// Counts of the site pairs of two sequences, over the sites that count.
struct DnaPairCounts {
    std::int64_t equal = 0;     // same character, neither missing nor '-'
    std::int64_t equalGap = 0;  // both '-' ('-' not being the missing character)
    // Differing pairs of two of A, C, G, T, by dna_nucleotide_pair_index.
    std::array<std::int64_t, 6> nucleotides{};
    std::int64_t transversionsAmbiguous = 0;  // class 2 with an ambiguity code
    std::int64_t ambiguous = 0;               // class 4
    std::int64_t indels = 0;                  // class 3 (always against a '-')
    std::int64_t other = 0;                   // class 0 differing pairs
    std::int64_t otherMissingOrGap = 0;       // those with missing or '-' on a side
    std::int64_t otherGap = 0;                // those with '-' on a side

    std::int64_t transitions() const { return nucleotides[kPairCT] + nucleotides[kPairAG]; }
    std::int64_t nucleotideTransversions() const {
        return nucleotides[1] + nucleotides[2] + nucleotides[3] + nucleotides[4];
    }
    std::int64_t transversions() const { return nucleotideTransversions() + transversionsAmbiguous; }
    std::int64_t nucleotideDifferences() const { return transitions() + nucleotideTransversions(); }
    std::int64_t differing() const {
        return nucleotideDifferences() + transversionsAmbiguous + ambiguous + indels + other;
    }
    bool operator==(DnaPairCounts const&) const = default;
};

// Adds one site pair (a from the first sequence, b from the second).
void tally_site_pair(DnaPairCounts& counts, char a, char b, char missing);

// Counts two texts site by site. With a census (usable non-empty) the sites
// are those of the census and only usable ones (flag 1) count; without one
// every site up to the longer text counts. A position beyond the end of a
// text reads as the missing-data character.
DnaPairCounts count_sequence_pair(char const* a, char const* b, std::vector<int> const& usable, char missing);

struct DistanceWeights {
    double deletion = 1.0;
    double transition = 1.0;
    double transversion = 1.0;
};

// What a distance needs beside the counts.
struct DistanceParams {
    DistanceWeights weights;
    double gamma = 0.0;               // shape of the gamma correction; 0 = none
    char missing = '?';               // missing-data character
    std::array<double, 4> freq{};     // C, T, A, G frequencies of the sample
    double gcContent = 0.0;
};

// One message a failed distance reports.
struct DistanceReport {
    ErrorType kind = WARNING;
    int number = -1;
};

struct DistanceResult {
    double distance = 0.0;
    double variance = 0.0;
    bool ok = true;  // false: the pair cannot be corrected
    int numReports = 0;
    std::array<DistanceReport, 2> reports{};

    void fail(ErrorType kind, int number) {
        ok = false;
        if (numReports < 2) reports[numReports++] = DistanceReport{kind, number};
    }
};

// The seven distances; gamma applies where the method has a gamma form.
DistanceResult pairwise_difference(DnaPairCounts const& c, DistanceParams const& p);    // 0
DistanceResult jukes_cantor(DnaPairCounts const& c, DistanceParams const& p);           // 1
DistanceResult kimura_2p(DnaPairCounts const& c, DistanceParams const& p);              // 2
DistanceResult proportion_of_difference(DnaPairCounts const& c, DistanceParams const& p);  // 3
DistanceResult tajima_nei(DnaPairCounts const& c, DistanceParams const& p);             // 4
DistanceResult tamura(DnaPairCounts const& c, DistanceParams const& p);                 // 5
DistanceResult tamura_nei(DnaPairCounts const& c, DistanceParams const& p);             // 6

// Method code 0..6 as used; any other code means 0.
int effective_dna_method(int method);
DistanceResult dna_distance(int method, DnaPairCounts const& c, DistanceParams const& p);
// Name of the reporting function of a method's messages.
char const* dna_distance_function_name(int method);

// Per-sample state of the distance matrix computation: the site plan of the
// sample's current data, and the matrices already computed from it. Both
// are dropped as soon as the texts, the usable sites or the missing
// character differ from those the plan was built from.
class DnaDistanceWorkspace {
public:
    struct Key {
        int method = 0;
        double gamma = 0.0;
        DistanceWeights weights;
        double scale = 1.0;
        std::array<double, 4> freq{};
        double gcContent = 0.0;
        bool operator==(Key const& o) const {
            return method == o.method && gamma == o.gamma && weights.deletion == o.weights.deletion &&
                   weights.transition == o.weights.transition &&
                   weights.transversion == o.weights.transversion && scale == o.scale && freq == o.freq &&
                   gcContent == o.gcContent;
        }
    };

    struct Entry {
        Key key;
        RectMat matrix{0, 0};
        int maxPairwiseDistance = 0;
        bool hasLastPair = false;
        double lastDistance = 0.0;
        double lastVariance = 0.0;
        std::array<std::array<double, 4>, 4> lastPairCounts{};
    };

    // Makes the plan fit the given texts (null entries read as empty texts),
    // with `omitted` further sites that every pair has identical; returns
    // true when it already did.
    bool prepare(std::vector<char const*> const& texts, std::vector<int> const& usable, char missing,
                 std::int64_t omitted = 0);

    // Counts of haplotypes i and j from the plan.
    DnaPairCounts count(int i, int j) const;

    Entry const* find(Key const& key) const;
    void store(Entry entry);

    int numHaplotypes() const { return numTexts_; }
    std::int64_t cleanSites() const { return cleanSites_; }
    std::size_t variableSites() const { return sites_.size(); }

private:
    static constexpr std::size_t kMaxEntries = 8;

    bool matches(std::vector<char const*> const& texts, std::vector<int> const& usable, char missing,
                 std::int64_t omitted) const;
    void rebuild(std::vector<char const*> const& texts, std::vector<int> const& usable, char missing,
                 std::int64_t omitted);

    // Snapshot of the data the plan was built from.
    std::vector<std::string> texts_;
    std::vector<int> usable_;
    char missing_ = 0;
    std::int64_t omitted_ = 0;
    bool valid_ = false;

    int numTexts_ = 0;
    std::int64_t cleanSites_ = 0;     // usable sites identical in every text, and the omitted ones
    std::vector<int> sites_;          // the other usable sites
    std::vector<char> columns_;       // numTexts_ rows of sites_.size() characters
    std::vector<Entry> entries_;
};

}  // namespace quintle
