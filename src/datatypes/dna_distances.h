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
#include "datatypes/dna_packed.h"
#include "datatypes/dna_pair_counts.h"

namespace quintle {

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

    // Counts of haplotypes i and j from the plan (i's text first): word by
    // word from the packed texts when both are packed, else site by site.
    DnaPairCounts count(int i, int j) const;
    // The same, always site by site.
    DnaPairCounts count_sites(int i, int j) const;

    // The first haplotype whose text is i's at every site of the plan (the
    // two then have the same counts against any third), and the number of
    // such distinct texts.
    int first_alike(int i) const { return firstAlike_[static_cast<std::size_t>(i)]; }
    int numDistinct() const { return numDistinct_; }
    // Index 0 .. numDistinct() - 1 of i's distinct text, in order of first
    // appearance.
    int distinct_index(int i) const { return distinctIndex_[static_cast<std::size_t>(i)]; }
    // True when the counts of (i, j) and of (j, i) agree for every pair: no
    // character of the texts is classed differently in the other order.
    bool symmetric() const { return symmetric_; }

    Entry const* find(Key const& key) const;
    void store(Entry entry);

    int numHaplotypes() const { return numTexts_; }

private:
    static constexpr std::size_t kMaxEntries = 8;

    bool matches(std::vector<char const*> const& texts, std::vector<int> const& usable, char missing,
                 std::int64_t omitted) const;
    void rebuild(std::vector<char const*> const& texts, std::vector<int> const& usable, char missing,
                 std::int64_t omitted);
    void find_sites();
    void find_alike_texts();

    // Snapshot of the data the plan was built from: each distinct text once,
    // and which of them each haplotype has.
    std::vector<std::string> texts_;
    std::vector<int> textIndex_;
    std::vector<int> usable_;
    char missing_ = 0;
    std::int64_t omitted_ = 0;
    bool valid_ = false;

    int numTexts_ = 0;
    std::int64_t cleanSites_ = 0;     // usable sites identical in every text, and the omitted ones
    std::vector<int> sites_;          // the other usable sites
    std::vector<char> columns_;       // numTexts_ rows of sites_.size() characters
    PackedSequences packed_;          // the same rows as bit planes
    std::vector<int> firstAlike_;
    std::vector<int> distinctIndex_;
    int numDistinct_ = 0;
    bool symmetric_ = true;
    std::vector<Entry> entries_;
};

}  // namespace quintle
