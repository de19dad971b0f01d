#include "datatypes/dna_replicate_statistics.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace quintle {

MolecularDiversity molecular_diversity(double S, double n, int L) {
    MolecularDiversity d;
    if (!(n > 1 && L > 0)) return d;
    double const pi = S / (n * (n - 1.0) / 2.0);
    double const V =
        (3.0 * n * (n + 1.0) * pi + 2.0 * (n * n + n + 3.0) * pi * pi) / (11.0 * n * n - 7.0 * n + 6.0);
    d.meanPairwiseDiff = pi;
    d.meanPairwiseDiffSd = V > 0 ? std::sqrt(V) : 0.0;
    double const sites = L;
    d.piPerSite = pi / sites;
    double const Vs = (n + 1.0) * d.piPerSite / (3.0 * (n - 1.0) * sites) +
                      2.0 * (n * n + n + 3.0) * d.piPerSite * d.piPerSite / (9.0 * n * (n - 1.0));
    d.piPerSiteSd = Vs > 0 ? std::sqrt(Vs) : 0.0;
    return d;
}

namespace {

bool is_ambiguity(char c) {
    switch (c) {
        case 'R': case 'Y': case 'M': case 'K': case 'S': case 'W':
        case 'H': case 'B': case 'V': case 'D': case 'N': return true;
        default: return false;
    }
}

// Bits of a base in the two planes: the low bit tells G or T, the high bit
// C or T. A transition keeps the high bit; a transversion changes it. -1 for
// any other character.
constexpr std::array<signed char, 256> kBaseCode = [] {
    std::array<signed char, 256> t{};
    t.fill(-1);
    t['A'] = 0;
    t['G'] = 1;
    t['C'] = 2;
    t['T'] = 3;
    return t;
}();

int base_code(char c) { return kBaseCode[static_cast<unsigned char>(c)]; }

using ClassWeights = std::array<double, 5>;         // by dna_pair_class
using WholeWeights = std::array<std::int64_t, 5>;

// What one differing site of each class adds to a distance: the weights that
// pairwise_difference applies.
ClassWeights class_weights(DistanceWeights const& w) {
    double const wTs = w.transition;
    double const wTv = w.transversion;
    return {0.0, wTs > 0 ? wTs : 0.0, wTv > 0 ? wTv : 0.0, w.deletion > 0 ? w.deletion : 0.0,
            wTs > 0 ? std::min(wTs, wTv) : 0.0};
}

// Whole-number weights small enough for every sum of the integer form to
// be an exact double, also in the pair-by-pair form that it stands for.
bool whole_weights(ClassWeights const& w, double copies, int sites, WholeWeights& out) {
    constexpr double kLargestWeight = 1048576.0;          // 2^20
    constexpr double kLargestExact = 9007199254740992.0;  // 2^53
    double largest = 0.0;
    for (std::size_t c = 0; c < w.size(); ++c) {
        if (!(std::fabs(w[c]) <= kLargestWeight) || std::floor(w[c]) != w[c]) return false;
        out[c] = static_cast<std::int64_t>(w[c]);
        largest = std::max(largest, std::fabs(w[c]));
    }
    return copies * copies / 2.0 * sites * largest < kLargestExact;
}

// One column's characters: work.present and work.charCount are filled.
struct ColumnScan {
    char reference = 0;  // of build_arbitrary_haplotype
    bool bases = true;   // A, C, G and T only
    bool ordered = false;  // '-' beside a digit 0..3: the pair classes depend on the order
};

ColumnScan scan_column(CompactAlignment const& a, int s, DnaReplicateSettings const& in, DnaReplicateWork& w) {
    int const k = a.rows();
    w.present.clear();
    int firstNonMissing = -1;
    bool informative = false;
    for (int i = 0; i < k; ++i) {
        char const x = a.at(i, s);
        auto const u = static_cast<unsigned char>(x);
        if (w.before[u] == 0) {
            w.before[u] = 1;  // seen
            w.present.push_back(u);
        }
        w.charCount[u] += a.counts[static_cast<std::size_t>(i)];
        if (x != in.missing) {
            if (firstNonMissing < 0) firstNonMissing = u;
            if (!is_ambiguity(x)) informative = true;
        }
    }
    ColumnScan scan;
    bool gap = false;
    bool digit = false;
    for (unsigned char u : w.present) {
        w.before[u] = 0;
        scan.bases = scan.bases && base_code(static_cast<char>(u)) >= 0;
        gap = gap || u == '-';
        digit = digit || (u >= '0' && u <= '3');
    }
    scan.ordered = gap && digit;

    // The first non-missing character where the column holds a nucleotide
    // or a gap, else the last sequence's; a separator of the first stays.
    scan.reference = a.at(0, s);
    char const separator = in.separator;
    if (k >= 2 && !(separator != 0 && scan.reference == separator))
        scan.reference = informative ? static_cast<char>(firstNonMissing) : a.at(k - 1, s);
    return scan;
}

struct ColumnFlags {
    int transition = 0;
    int transversion = 0;  // 2: two different transversion characters
    int indel = 0;
    int ambiguous = 0;
};

ColumnFlags column_flags(char r, DnaReplicateSettings const& in, DnaReplicateWork const& w, double& missingCount) {
    ColumnFlags f;
    char firstTransversion = 0;
    for (unsigned char u : w.present) {
        char const x = static_cast<char>(u);
        if (x == in.missing) {
            missingCount = static_cast<double>(w.charCount[u]);
            continue;
        }
        if (x == r) continue;
        switch (dna_pair_class(r, x)) {
            case 1: f.transition = 1; break;
            case 2:
                if (f.transversion == 0) f.transversion = 1;
                if (!is_ambiguity(x)) {
                    if (firstTransversion == 0)
                        firstTransversion = x;
                    else if (x != firstTransversion)
                        f.transversion = 2;
                }
                break;
            case 3: f.indel = 1; break;
            case 4: f.ambiguous = 1; break;
            default: break;
        }
    }
    return f;
}

// Adds a site whose flags are f to the census; true when it stays usable
// (a reference gap without an indel does not).
bool count_site(char r, ColumnFlags const& f, DistanceWeights const& weights, DnaSiteCensus& c) {
    double const wD = weights.deletion;
    double const wTs = weights.transition;
    double const wTv = weights.transversion;
    int p = 0;
    if (wD > 0 && f.indel != 0) {
        ++c.indelSites;
        ++c.indels;
        p = 1;
    }
    if (wTs > 0 && f.transition != 0) {
        ++c.transitionSites;
        ++c.transitions;
        ++c.substitutionSites;
        ++c.substitutions;
        p = 1;
    }
    if (wTv > 0 && f.transversion != 0) {
        ++c.transversionSites;
        ++c.transversions;
        ++c.substitutions;
        p = 1;
        if (f.transversion == 2 && wTs > 0) {
            ++c.transitions;
            ++c.substitutions;
        }
        if (f.transition == 0 || wTs <= 0) ++c.substitutionSites;
    }
    if ((wTs > 0 || wTv > 0) && f.ambiguous != 0 && f.transition == 0 && f.transversion == 0) {
        ++c.substitutionSites;
        ++c.substitutions;
        p = 1;
    }
    if (p == 1) ++c.polymorphicSites;
    if (r == '-' && f.indel == 0) {
        --c.validSites;
        return false;
    }
    ++c.usableSites;
    return true;
}

// Counts one column into the census; true when the site is usable.
bool census_column(char r, DnaReplicateSettings const& in, DnaReplicateWork const& w, DnaSiteCensus& c) {
    char const separator = in.separator;
    if (r == in.missing || (separator != 0 && r == separator)) {
        if (separator != 0 && r == separator) --c.validSites;
        return false;
    }
    double missingCount = 0.0;
    ColumnFlags const f = column_flags(r, in, w, missingCount);
    double const missingFreq = in.sampleSize != 0 ? missingCount / in.sampleSize : 0.0;
    if (missingFreq > in.allowedMissingLevel) return false;
    return count_site(r, f, in.censusWeights, c);
}

// Sum over the ordered pairs of sequences (later, earlier) of their count
// products times the weight of their class at one column.
std::int64_t column_differences(CompactAlignment const& a, int s, ColumnScan const& scan, WholeWeights const& W,
                                DnaReplicateWork& w) {
    if (scan.bases) {
        std::int64_t n[4] = {0, 0, 0, 0};  // A, G, C, T
        for (unsigned char u : w.present) n[base_code(static_cast<char>(u))] = w.charCount[u];
        return W[1] * (n[0] * n[1] + n[2] * n[3]) + W[2] * ((n[0] + n[1]) * (n[2] + n[3]));
    }
    std::int64_t sum = 0;
    if (!scan.ordered) {
        // Symmetric classes: each unordered pair of characters once.
        for (std::size_t p = 1; p < w.present.size(); ++p) {
            for (std::size_t q = 0; q < p; ++q) {
                char const x = static_cast<char>(w.present[p]);
                char const y = static_cast<char>(w.present[q]);
                sum += W[static_cast<std::size_t>(dna_pair_class(x, y))] * w.charCount[w.present[p]] *
                       w.charCount[w.present[q]];
            }
        }
        return sum;
    }
    for (int i = 0; i < a.rows(); ++i) {
        char const x = a.at(i, s);
        std::int64_t const ni = a.counts[static_cast<std::size_t>(i)];
        for (unsigned char u : w.present) {
            if (w.before[u] == 0 || static_cast<char>(u) == x) continue;
            sum += W[static_cast<std::size_t>(dna_pair_class(x, static_cast<char>(u)))] * ni * w.before[u];
        }
        w.before[static_cast<unsigned char>(x)] += ni;
    }
    for (unsigned char u : w.present) w.before[u] = 0;
    return sum;
}

// The census and the integer sum when every cell is one of A, C, G and T,
// neither of them the missing-data character nor the separator (the usual
// simulated replicate), from the copies of each base per column: every
// column's reference is the first row's base, no site has missing data, and
// the classes depend on the bases alone. False, with nothing counted, for
// any other alignment.
bool census_of_bases(CompactAlignment const& a, DnaReplicateSettings const& in, WholeWeights const* W,
                     DnaReplicateWork& w, DnaSiteCensus& c, std::int64_t& integerSum) {
    if (base_code(in.missing) >= 0 || base_code(in.separator) >= 0) return false;
    std::size_t const L = static_cast<std::size_t>(a.width);
    w.baseCount.assign(4 * L, 0);
    w.baseSeen.assign(L, 0);
    std::int64_t* count = w.baseCount.data();
    std::uint32_t* seen = w.baseSeen.data();
    int any = 0;  // or of the codes: negative once a cell is no base
    for (int i = 0; i < a.rows(); ++i) {
        char const* row = a.row(i);
        std::int64_t const n = a.counts[static_cast<std::size_t>(i)];
        for (std::size_t s = 0; s < L; ++s) {
            int const code = kBaseCode[static_cast<unsigned char>(row[s])];
            any |= code;
            count[4 * s + static_cast<std::size_t>(code & 3)] += n;
            seen[s] |= 1u << (code & 3);
        }
    }
    if (any < 0) return false;

    double const missingFreq = in.sampleSize != 0 ? 0.0 / in.sampleSize : 0.0;
    if (missingFreq > in.allowedMissingLevel) return true;  // no site is usable
    char const* first = a.row(0);
    for (std::size_t s = 0; s < L; ++s) {
        int const r = base_code(first[s]);
        ColumnFlags f;
        f.transition = static_cast<int>((seen[s] >> (r ^ 1)) & 1u);
        f.transversion = static_cast<int>(((seen[s] >> (r ^ 2)) & 1u) + ((seen[s] >> (r ^ 3)) & 1u));
        count_site(first[s], f, in.censusWeights, c);
        w.usable.push_back(static_cast<int>(s));
        if (W != nullptr) {
            std::int64_t const* n = count + 4 * s;  // A, G, C, T
            integerSum += (*W)[1] * (n[0] * n[1] + n[2] * n[3]) + (*W)[2] * ((n[0] + n[1]) * (n[2] + n[3]));
        }
    }
    return true;
}

// Two bit planes per row over the usable columns, all of them bases.
std::size_t fill_planes(CompactAlignment const& a, DnaReplicateWork& w) {
    std::size_t const words = (w.usable.size() + 63) / 64;
    w.planes.assign(static_cast<std::size_t>(a.rows()) * 2 * words, 0);
    for (int i = 0; i < a.rows(); ++i) {
        std::uint64_t* low = w.planes.data() + static_cast<std::size_t>(i) * 2 * words;
        std::uint64_t* high = low + words;
        char const* row = a.row(i);
        for (std::size_t u = 0; u < w.usable.size(); ++u) {
            int const code = base_code(row[w.usable[u]]);
            std::uint64_t const bit = std::uint64_t{1} << (u % 64);
            if (code & 1) low[u / 64] |= bit;
            if (code & 2) high[u / 64] |= bit;
        }
    }
    return words;
}

// The sum of compute_molecular_diversity: pair by pair, later row first, each
// distance formed by pairwise_difference from the pair's counts.
double pair_sum(CompactAlignment const& a, DnaReplicateSettings const& in, DnaReplicateWork& w, bool bases) {
    DistanceParams params;
    params.weights = in.distanceWeights;
    params.missing = in.missing;
    std::size_t const words = bases ? fill_planes(a, w) : 0;
    double S = 0.0;
    for (int i = 1; i < a.rows(); ++i) {
        for (int j = 0; j < i; ++j) {
            DnaPairCounts counts;
            if (bases) {
                std::uint64_t const* li = w.planes.data() + static_cast<std::size_t>(i) * 2 * words;
                std::uint64_t const* lj = w.planes.data() + static_cast<std::size_t>(j) * 2 * words;
                for (std::size_t k = 0; k < words; ++k) {
                    std::uint64_t const high = li[words + k] ^ lj[words + k];
                    std::uint64_t const low = li[k] ^ lj[k];
                    counts.nucleotides[kPairCT] += std::popcount(low & ~high);
                    counts.nucleotides[1] += std::popcount(high);
                }
            } else {
                char const* x = a.row(i);
                char const* y = a.row(j);
                for (int s : w.usable) tally_site_pair(counts, x[s], y[s], in.missing);
            }
            double const d = pairwise_difference(counts, params).distance;
            S += static_cast<double>(a.counts[static_cast<std::size_t>(i)]) *
                 static_cast<double>(a.counts[static_cast<std::size_t>(j)]) * d;
        }
    }
    return S;
}

// Base code of a DNA site state as the rows write it (site_character).
int state_code(int state) { return base_code(site_character(DNA_MUT, state)); }

// Columns of a single-hit replicate: one per mutation, or the one site kept
// when there is none.
int single_hit_width(std::span<HitSiteStates::Mutation const> mutations) {
    return mutations.empty() ? 1 : static_cast<int>(mutations.size());
}

}  // namespace

bool single_hit_statistics_apply(std::span<HitSiteStates::Mutation const> mutations, int copies,
                                 DnaReplicateSettings const& in) {
    if (copies < 1 || base_code(in.missing) >= 0 || base_code(in.separator) >= 0) return false;
    for (HitSiteStates::Mutation const& m : mutations) {
        if (state_code(m.before) == state_code(m.after) || m.carriers < 0 || m.carriers > copies) return false;
    }
    WholeWeights whole{};
    return whole_weights(class_weights(in.distanceWeights), static_cast<double>(copies), single_hit_width(mutations),
                         whole);
}

// census_of_bases column by column: the copies of each base give the
// integer sum, the bases seen the flags. With two bases in a column the flags
// do not depend on which of them is the reference (the first row's).
DnaReplicateStatistics single_hit_statistics(std::span<HitSiteStates::Mutation const> mutations, int copies,
                                             int nsites, DnaReplicateSettings const& in) {
    DnaReplicateStatistics out;
    DnaSiteCensus& c = out.census;
    int const L = single_hit_width(mutations);
    WholeWeights W{};
    whole_weights(class_weights(in.distanceWeights), static_cast<double>(copies), L, W);
    std::int64_t integerSum = 0;
    c.validSites = L;
    double const missingFreq = in.sampleSize != 0 ? 0.0 / in.sampleSize : 0.0;
    if (!(missingFreq > in.allowedMissingLevel)) {
        if (mutations.empty()) count_site('A', ColumnFlags{}, in.censusWeights, c);
        for (HitSiteStates::Mutation const& m : mutations) {
            std::int64_t n[4] = {0, 0, 0, 0};  // A, G, C, T
            int const before = state_code(m.before);
            int const after = state_code(m.after);
            n[before] += copies - m.carriers;
            n[after] += m.carriers;
            bool const rootFirst = n[before] > 0;
            int const r = rootFirst ? before : after;
            std::uint32_t seen = 0;
            for (int b = 0; b < 4; ++b) seen |= n[b] > 0 ? 1u << b : 0u;
            ColumnFlags f;
            f.transition = static_cast<int>((seen >> (r ^ 1)) & 1u);
            f.transversion = static_cast<int>(((seen >> (r ^ 2)) & 1u) + ((seen >> (r ^ 3)) & 1u));
            count_site(site_character(DNA_MUT, rootFirst ? m.before : m.after), f, in.censusWeights, c);
            integerSum += W[1] * (n[0] * n[1] + n[2] * n[3]) + W[2] * ((n[0] + n[1]) * (n[2] + n[3]));
        }
    }
    long const omitted = static_cast<long>(nsites) - L;
    if (omitted > 0) {
        c.validSites += static_cast<int>(omitted);
        if (!(0.0 > in.allowedMissingLevel)) c.usableSites += static_cast<int>(omitted);
    }
    out.diversity = molecular_diversity(static_cast<double>(integerSum), in.sampleSize, c.usableSites);
    return out;
}

DnaReplicateStatistics dna_replicate_statistics(CompactAlignment const& a, DnaReplicateSettings const& in,
                                                DnaReplicateWork& w) {
    DnaReplicateStatistics out;
    DnaSiteCensus& c = out.census;
    int const L = a.width;
    if (a.rows() < 1 || L < 1) return out;

    double copies = 0.0;
    for (int count : a.counts) copies += count;
    WholeWeights whole{};
    bool const integer = whole_weights(class_weights(in.distanceWeights), copies, L, whole);
    std::int64_t integerSum = 0;
    bool allBases = true;

    c.validSites = L;
    w.usable.clear();
    bool const bases = census_of_bases(a, in, integer ? &whole : nullptr, w, c, integerSum);
    for (int s = 0; s < L && !bases; ++s) {
        ColumnScan const scan = scan_column(a, s, in, w);
        if (census_column(scan.reference, in, w, c)) {
            w.usable.push_back(s);
            allBases = allBases && scan.bases;
            if (integer) integerSum += column_differences(a, s, scan, whole, w);
        }
        for (unsigned char u : w.present) w.charCount[u] = 0;
    }
    if (a.omittedSites > 0) {
        c.validSites += static_cast<int>(a.omittedSites);
        if (!(0.0 > in.allowedMissingLevel)) c.usableSites += static_cast<int>(a.omittedSites);
    }

    double const S = integer ? static_cast<double>(integerSum) : pair_sum(a, in, w, bases || allBases);
    out.diversity = molecular_diversity(S, in.sampleSize, c.usableSites);
    return out;
}

}  // namespace quintle
