#include "datatypes/dna_distances.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <string_view>
#include <unordered_map>

#include "core/text_hash.h"

namespace quintle {

// ---------------------------------------------------------------------------
// Character classes
// ---------------------------------------------------------------------------

namespace {

constexpr unsigned kA = 1, kC = 2, kG = 4, kT = 8;
constexpr unsigned kPurines = kA | kG;
constexpr unsigned kPyrimidines = kC | kT;

// Nucleotide set of A, C, G, T and the eleven ambiguity codes; 0 otherwise.
constexpr unsigned nucleotide_set(char c) {
    switch (c) {
        case 'A': return kA;
        case 'C': return kC;
        case 'G': return kG;
        case 'T': return kT;
        case 'R': return kA | kG;
        case 'Y': return kC | kT;
        case 'M': return kA | kC;
        case 'K': return kG | kT;
        case 'S': return kC | kG;
        case 'W': return kA | kT;
        case 'H': return kA | kC | kT;
        case 'B': return kC | kG | kT;
        case 'V': return kA | kC | kG;
        case 'D': return kA | kG | kT;
        case 'N': return kA | kC | kG | kT;
        default: return 0;
    }
}

constexpr bool is_code_digit(char c) { return c >= '0' && c <= '3'; }

constexpr int classify(char a, char b) {
    if (a == b) return 0;
    if (a < '-' || a > 'Y') return 0;
    if (a == '-') return nucleotide_set(b) != 0 ? 3 : 0;
    if (is_code_digit(a)) {
        if (b == '-') return 3;
        return is_code_digit(b) ? 4 : 0;
    }
    unsigned const sa = nucleotide_set(a);
    if (sa == 0) return 0;
    if (b == '-') return 3;
    unsigned const sb = nucleotide_set(b);
    if (sb == 0 || (sa & sb) != 0) return 0;
    // Disjoint sets: a transition pairs two purines or two pyrimidines.
    bool const transition = ((sa & kPurines) && (sb & kPurines)) || ((sa & kPyrimidines) && (sb & kPyrimidines));
    bool const transversion = ((sa & kPurines) && (sb & kPyrimidines)) || ((sa & kPyrimidines) && (sb & kPurines));
    if (transition && transversion) return 4;
    return transition ? 1 : 2;
}

// Site-pair codes of the counting loop: 0 class-0 difference, 1..6 a
// differing nucleotide pair (index + 1), 7 transversion with an ambiguity
// code, 8 class 4, 9 indel.
constexpr unsigned char kCodeOther = 0;
constexpr unsigned char kCodeAmbiguousTransversion = 7;
constexpr unsigned char kCodeAmbiguous = 8;
constexpr unsigned char kCodeIndel = 9;

struct PairTable {
    unsigned char code[256][256];
};

constexpr int nucleotide_index(char c) {
    switch (c) {
        case 'C': return 0;
        case 'T': return 1;
        case 'A': return 2;
        case 'G': return 3;
        default: return -1;
    }
}

constexpr int pair_index(int i, int j) {
    if (i < j) std::swap(i, j);
    // Lower triangle, row by row: (1,0) (2,0) (2,1) (3,0) (3,1) (3,2).
    return i * (i - 1) / 2 + j;
}

PairTable const& pair_table() {
    static PairTable const table = [] {
        PairTable t{};
        for (int x = 0; x < 256; ++x) {
            for (int y = 0; y < 256; ++y) {
                char const a = static_cast<char>(x);
                char const b = static_cast<char>(y);
                int const cls = classify(a, b);
                int const ia = nucleotide_index(a);
                int const ib = nucleotide_index(b);
                unsigned char code = kCodeOther;
                if (cls == 1 || cls == 2) {
                    code = (ia >= 0 && ib >= 0) ? static_cast<unsigned char>(pair_index(ia, ib) + 1)
                                                : kCodeAmbiguousTransversion;
                } else if (cls == 3) {
                    code = kCodeIndel;
                } else if (cls == 4) {
                    code = kCodeAmbiguous;
                }
                t.code[x][y] = code;
            }
        }
        return t;
    }();
    return table;
}

}  // namespace

int dna_pair_class(char a, char b) { return classify(a, b); }

int dna_nucleotide_index(char c) { return nucleotide_index(c); }

int dna_nucleotide_pair_index(int i, int j) { return pair_index(i, j); }

// ---------------------------------------------------------------------------
// Counting
// ---------------------------------------------------------------------------

namespace {

inline void tally(DnaPairCounts& counts, PairTable const& table, char a, char b, char missing) {
    if (a == b) {
        if (a == missing) return;
        if (a == '-')
            ++counts.equalGap;
        else
            ++counts.equal;
        return;
    }
    unsigned char const code = table.code[static_cast<unsigned char>(a)][static_cast<unsigned char>(b)];
    switch (code) {
        case kCodeOther: {
            ++counts.other;
            bool const gap = a == '-' || b == '-';
            if (gap) ++counts.otherGap;
            if (gap || a == missing || b == missing) ++counts.otherMissingOrGap;
            break;
        }
        case kCodeAmbiguousTransversion: ++counts.transversionsAmbiguous; break;
        case kCodeAmbiguous: ++counts.ambiguous; break;
        case kCodeIndel: ++counts.indels; break;
        default: ++counts.nucleotides[code - 1]; break;
    }
}

inline char text_at(char const* text, std::size_t length, std::size_t s, char missing) {
    return s < length ? text[s] : missing;
}

}  // namespace

void tally_site_pair(DnaPairCounts& counts, char a, char b, char missing) {
    tally(counts, pair_table(), a, b, missing);
}

DnaPairCounts count_sequence_pair(char const* a, char const* b, std::vector<int> const& usable, char missing) {
    PairTable const& table = pair_table();
    std::size_t const la = a != nullptr ? std::strlen(a) : 0;
    std::size_t const lb = b != nullptr ? std::strlen(b) : 0;
    DnaPairCounts counts;
    bool const census = !usable.empty();
    std::size_t const sites = census ? usable.size() : std::max(la, lb);
    for (std::size_t s = 0; s < sites; ++s) {
        if (census && usable[s] != 1) continue;
        tally(counts, table, text_at(a, la, s, missing), text_at(b, lb, s, missing), missing);
    }
    return counts;
}

// ---------------------------------------------------------------------------
// The distances
// ---------------------------------------------------------------------------

namespace {

double as_double(std::int64_t n) { return static_cast<double>(n); }

// Sites that count in L for Jukes and Cantor and Kimura: identical
// characters, and every differing site except, when '-' is the missing
// character, those against a '-'.
double jc_compared_sites(DnaPairCounts const& c, char missing) {
    std::int64_t n = c.equal + c.differing();
    if (missing == '-') n -= c.indels + c.otherGap;
    return as_double(n);
}

// Variance form shared by the two-parameter distances.
double two_class_variance(double c1, double c3, double P, double Q, double L) {
    double const m = c1 * P + c3 * Q;
    return (c1 * c1 * P + c3 * c3 * Q - m * m) / L;
}

}  // namespace

namespace {

// The weighted number of differences and of compared sites shared by the
// pairwise difference and the proportion of difference. A class whose weight
// is 0 adds nothing to the differences but its sites still count as compared;
// ambiguous differences weigh as the lighter substitution class.
struct WeightedDifferences {
    double differences = 0.0;
    double compared = 0.0;
};

WeightedDifferences weighted_differences(DnaPairCounts const& c, DistanceParams const& p) {
    double const wTs = p.weights.transition;
    double const wTv = p.weights.transversion;
    double const wD = p.weights.deletion;
    double const t = as_double(c.transitions());
    double const v = as_double(c.transversions());
    double const g = as_double(c.indels);
    double const m = as_double(c.ambiguous);
    double const mw = std::min(wTs, wTv);

    WeightedDifferences w;
    if (wTs > 0) w.differences += t * wTs;
    if (wTv > 0) w.differences += v * wTv;
    if (wTs > 0) w.differences += m * mw;
    if (wD > 0) w.differences += g * wD;

    double const T1 = wTs > 0 ? t * wTs : t;
    double const T2 = wTv > 0 ? v * wTv : v;
    double const T3 = wTs > 0 ? m * mw : (wTv > 0 ? m * wTv : m);
    double const T4 = wD > 0 ? g * wD : g;
    w.compared = as_double(c.equal + c.equalGap) + as_double(c.other) + T1 + T2 + T3 + T4;
    return w;
}

}  // namespace

DistanceResult pairwise_difference(DnaPairCounts const& c, DistanceParams const& p) {
    WeightedDifferences const w = weighted_differences(c, p);
    DistanceResult r;
    r.distance = w.differences;
    if (w.compared > 0) {
        double const q = w.differences / w.compared;
        r.variance = w.compared * q * (1.0 - q);
    }
    return r;
}

DistanceResult proportion_of_difference(DnaPairCounts const& c, DistanceParams const& p) {
    WeightedDifferences const w = weighted_differences(c, p);
    DistanceResult r;
    if (w.compared > 0) {
        double const q = w.differences / w.compared;
        r.distance = q;
        r.variance = q * (1.0 - q) / w.compared;
    }
    return r;
}

DistanceResult jukes_cantor(DnaPairCounts const& c, DistanceParams const& p) {
    std::int64_t k = 0;
    if (p.weights.transition > 0) k += c.transitions() + c.ambiguous;
    if (p.weights.transversion > 0) k += c.transversions();
    double const L = jc_compared_sites(c, p.missing);

    DistanceResult r;
    if (L <= 0) return r;
    double const q = as_double(k) / L;
    if (q >= 0.75) {
        r.distance = -q;
        r.fail(WARNING, 162);
        return r;
    }
    double const w = 1.0 - 4.0 * q / 3.0;
    if (p.gamma > 0) {
        double const a = p.gamma;
        r.distance = 0.75 * a * (std::pow(w, -1.0 / a) - 1.0);
        r.variance = q * (1.0 - q) * std::pow(w, -2.0 * (1.0 / a + 1.0)) / L;
    } else {
        r.distance = -0.75 * std::log(w);
        r.variance = q * (1.0 - q) / (L * w * w);
    }
    return r;
}

DistanceResult kimura_2p(DnaPairCounts const& c, DistanceParams const& p) {
    double const L = jc_compared_sites(c, p.missing);
    DistanceResult r;
    if (L <= 0) return r;
    double const P = p.weights.transition > 0 ? as_double(c.transitions()) / L : 0.0;
    double const Q = p.weights.transversion > 0 ? as_double(c.transversions()) / L : 0.0;
    double const w1 = 1.0 - 2.0 * P - Q;
    double const w2 = 1.0 - 2.0 * Q;
    if (w1 <= 0 || w2 <= 0) {
        r.fail(WARNING, 163);
        return r;
    }
    double c1 = 0.0;
    double c3 = 0.0;
    if (p.gamma > 0) {
        double const a = p.gamma;
        r.distance = 0.5 * a * (std::pow(w1, -1.0 / a) + 0.5 * std::pow(w2, -1.0 / a) - 1.5);
        c1 = std::pow(w1, -1.0 / a - 1.0);
        c3 = (c1 + std::pow(w2, -1.0 / a - 1.0)) / 2.0;
    } else {
        r.distance = -0.5 * std::log(w1) - 0.25 * std::log(w2);
        c1 = 1.0 / w1;
        c3 = (c1 + 1.0 / w2) / 2.0;
    }
    r.variance = two_class_variance(c1, c3, P, Q, L);
    return r;
}

DistanceResult tajima_nei(DnaPairCounts const& c, DistanceParams const& p) {
    std::int64_t k = 0;
    if (p.weights.transition > 0) k += c.transitions();
    if (p.weights.transversion > 0) k += c.nucleotideTransversions();
    DistanceResult r;
    if (k == 0) return r;
    double const L = as_double(c.equal + c.nucleotideDifferences());
    auto const& g = p.freq;
    for (double gi : g) {
        if (gi <= 0) {
            r.fail(ERROR, 164);
            return r;
        }
    }
    double h = 0.0;
    for (int i = 1; i < 4; ++i) {
        for (int j = 0; j < i; ++j) {
            double const x = as_double(c.nucleotides[pair_index(i, j)]) / L;
            h += x * x / (g[i] * g[j]);
        }
    }
    h *= 0.5;
    if (h == 0) {
        r.fail(ERROR, 164);
        return r;
    }
    double const q = as_double(k) / L;
    double const sumSq = g[0] * g[0] + g[1] * g[1] + g[2] * g[2] + g[3] * g[3];
    double const b = 0.5 * (1.0 - sumSq + q * q / h);
    if (q / b >= 1.0) {
        r.fail(WARNING, 165);
        return r;
    }
    double const w = 1.0 - q / b;
    r.distance = -b * std::log(w);
    r.variance = q * (1.0 - q) / (w * w * L);
    return r;
}

DistanceResult tamura(DnaPairCounts const& c, DistanceParams const& p) {
    DistanceResult r;
    double const theta = p.gcContent;
    double const C = 2.0 * theta * (1.0 - theta);
    if (C <= 0) {
        r.fail(ERROR, 171);
        return r;
    }
    double const L = as_double(c.equal + c.nucleotideDifferences() + c.transversionsAmbiguous + c.ambiguous +
                               c.other - c.otherMissingOrGap);
    if (L <= 0) return r;
    double const P = p.weights.transition > 0 ? as_double(c.transitions()) / L : 0.0;
    double const Q = p.weights.transversion > 0 ? as_double(c.transversions()) / L : 0.0;
    double const w1 = 1.0 - P / C - Q;
    double const w2 = 1.0 - 2.0 * Q;
    if (w1 <= 0 || w2 <= 0) {
        r.fail(ERROR, 171);
        return r;
    }
    r.distance = -C * std::log(w1) - 0.5 * (1.0 - C) * std::log(w2);
    double const c1 = 1.0 / w1;
    double const c2 = 1.0 / w2;
    double const c3 = C * (c1 - c2) + c2;
    r.variance = two_class_variance(c1, c3, P, Q, L);
    return r;
}

DistanceResult tamura_nei(DnaPairCounts const& c, DistanceParams const& p) {
    DistanceResult r;
    double P1 = 0.0, P2 = 0.0, Q = 0.0;
    if (p.weights.transition > 0) {
        P1 = as_double(c.nucleotides[kPairAG]);
        P2 = as_double(c.nucleotides[kPairCT]);
    }
    if (p.weights.transversion > 0) Q = as_double(c.nucleotideTransversions());
    double const L = as_double(c.equal + c.nucleotideDifferences());
    if (P1 + P2 + Q == 0 || L <= 0) return r;
    P1 /= L;
    P2 /= L;
    Q /= L;

    double const gC = p.freq[0], gT = p.freq[1], gA = p.freq[2], gG = p.freq[3];
    if (gA == 0 || gC == 0 || gG == 0 || gT == 0) {
        r.fail(WARNING, 176);
        return r;
    }
    double const gR = gA + gG;
    double const gY = gC + gT;
    double const kR = 2.0 * gA * gG / gR;
    double const kY = 2.0 * gC * gT / gY;
    double const w1 = 1.0 - P1 / kR - Q / (2.0 * gR);
    double const w2 = 1.0 - P2 / kY - Q / (2.0 * gY);
    double const w3 = 1.0 - Q / (2.0 * gR * gY);
    double const cc = 2.0 * gR * gY - kR * gY - kY * gR;
    // A non-positive term has no logarithm and no real power: refused with
    // or without the gamma correction.
    if (w1 <= 0 || w2 <= 0 || w3 <= 0) {
        r.fail(WARNING, 176);
        return r;
    }

    double c1 = 0.0, c2 = 0.0, c3 = 0.0;
    if (p.gamma > 0) {
        double const a = p.gamma;
        double const d = a * (kR * std::pow(w1, -1.0 / a) + kY * std::pow(w2, -1.0 / a) +
                              cc * std::pow(w3, -1.0 / a) - 2.0 * (gA * gG + gC * gT + gR * gY));
        if (!(d >= FLT_MIN && d <= FLT_MAX)) {
            r.fail(WARNING, 176);
            r.fail(WARNING, 136);
            return r;
        }
        r.distance = d;
        double const e1 = std::pow(w1, -1.0 / a - 1.0);
        double const e2 = std::pow(w2, -1.0 / a - 1.0);
        double const e3 = std::pow(w3, -1.0 / a - 1.0);
        c1 = e1;
        c2 = e2;
        c3 = (kR / (2.0 * gR)) * e1 + (kY / (2.0 * gY)) * e2 +
             ((gC * gC + gT * gT) / (2.0 * gY * gY) + (gA * gA + gG * gG) / (2.0 * gR * gR)) * e3;
    } else {
        r.distance = -kR * std::log(w1) - kY * std::log(w2) - cc * std::log(w3);
        double const A1 = 2.0 * gA * gG * gR - gR * gR * P1 - gA * gG * Q;
        double const A2 = 2.0 * gC * gT * gY - gY * gY * P2 - gC * gT * Q;
        c1 = 2.0 * gA * gG * gR / A1;
        c2 = 2.0 * gC * gT * gY / A2;
        c3 = 2.0 * gA * gA * gG * gG / (gR * A1) + 2.0 * gC * gC * gT * gT / (gY * A2) +
             ((gA * gA + gG * gG) * gY * gY + (gC * gC + gT * gT) * gR * gR) / (2.0 * gR * gR * gY * gY - gR * gY * Q);
    }
    double const m = c1 * P1 + c2 * P2 + c3 * Q;
    r.variance = (c1 * c1 * P1 + c2 * c2 * P2 + c3 * c3 * Q - m * m) / L;
    return r;
}

int effective_dna_method(int method) { return method >= 0 && method <= 6 ? method : 0; }

DistanceResult dna_distance(int method, DnaPairCounts const& c, DistanceParams const& p) {
    switch (effective_dna_method(method)) {
        case 1: return jukes_cantor(c, p);
        case 2: return kimura_2p(c, p);
        case 3: return proportion_of_difference(c, p);
        case 4: return tajima_nei(c, p);
        case 5: return tamura(c, p);
        case 6: return tamura_nei(c, p);
        default: return pairwise_difference(c, p);
    }
}

char const* dna_distance_function_name(int method) {
    switch (effective_dna_method(method)) {
        case 1: return "PopulDNA::jk_dist()";
        case 2: return "PopulDNA::kim2p_dist()";
        case 3: return "PopulDNA::p_dist()";
        case 4: return "PopulDNA::tajnei_dist(s1, s2)";
        case 5: return "PopulDNA::tamura_dist(s1, s2)";
        case 6: return "PopulDNA::tamnei_dist(s1,s2)";
        default: return "PopulDNA::diff_dist()";
    }
}

// ---------------------------------------------------------------------------
// Workspace
// ---------------------------------------------------------------------------

bool DnaDistanceWorkspace::matches(std::vector<char const*> const& texts, std::vector<int> const& usable,
                                   char missing, std::int64_t omitted) const {
    if (!valid_ || missing != missing_ || omitted != omitted_ || texts.size() != textIndex_.size() ||
        usable != usable_)
        return false;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        char const* t = texts[i] != nullptr ? texts[i] : "";
        std::string const& kept = texts_[static_cast<std::size_t>(textIndex_[i])];
        if (std::strlen(t) != kept.size() || std::memcmp(t, kept.data(), kept.size()) != 0) return false;
    }
    return true;
}

void DnaDistanceWorkspace::rebuild(std::vector<char const*> const& texts, std::vector<int> const& usable,
                                   char missing, std::int64_t omitted) {
    valid_ = false;
    entries_.clear();
    // The distinct texts, kept to tell whether a later call has the same data.
    texts_.clear();
    textIndex_.assign(texts.size(), 0);
    std::unordered_map<std::string_view, int, TextHash> index;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        std::string_view const t(texts[i] != nullptr ? texts[i] : "");
        auto const [it, added] = index.try_emplace(t, static_cast<int>(texts_.size()));
        if (added) texts_.emplace_back(t);
        textIndex_[i] = it->second;
    }
    usable_ = usable;
    missing_ = missing;
    omitted_ = omitted;
    numTexts_ = static_cast<int>(texts.size());
    find_sites();

    std::size_t const width = sites_.size();
    columns_.assign(textIndex_.size() * width, missing);
    for (std::size_t i = 0; i < textIndex_.size(); ++i) {
        std::string const& text = texts_[static_cast<std::size_t>(textIndex_[i])];
        char* row = columns_.data() + i * width;
        for (std::size_t k = 0; k < width; ++k) {
            std::size_t const site = static_cast<std::size_t>(sites_[k]);
            row[k] = site < text.size() ? text[site] : missing;
        }
    }
    packed_.build(columns_.data(), numTexts_, width, missing);
    find_alike_texts();
    valid_ = true;
}

void DnaDistanceWorkspace::find_sites() {
    std::size_t longest = 0;
    for (std::string const& t : texts_) longest = std::max(longest, t.size());
    bool const census = !usable_.empty();
    std::size_t const numSites = census ? usable_.size() : longest;
    auto at = [this](std::string const& t, std::size_t s) { return s < t.size() ? t[s] : missing_; };

    // A usable site whose character is the same non-missing, non-gap one in
    // every text adds one identical site to every pair. The texts are walked
    // one after the other against the first.
    std::vector<char> clean(numSites, 0);
    if (!texts_.empty()) {
        std::string const& first = texts_.front();
        for (std::size_t s = 0; s < numSites; ++s) {
            char const c0 = at(first, s);
            clean[s] = c0 != missing_ && c0 != '-' ? 1 : 0;
        }
        for (std::size_t d = 1; d < texts_.size(); ++d) {
            std::string const& t = texts_[d];
            std::size_t const common = std::min({t.size(), first.size(), numSites});
            std::size_t s = 0;
            while (s < common) {
                if (s + 8 <= common && std::memcmp(t.data() + s, first.data() + s, 8) == 0) {
                    s += 8;
                    continue;
                }
                if (t[s] != first[s]) clean[s] = 0;
                ++s;
            }
            for (s = common; s < numSites; ++s)
                if (at(t, s) != at(first, s)) clean[s] = 0;
        }
    }
    cleanSites_ = omitted_;
    sites_.clear();
    for (std::size_t s = 0; s < numSites; ++s) {
        if (census && usable_[s] != 1) continue;
        if (clean[s] != 0)
            ++cleanSites_;
        else
            sites_.push_back(static_cast<int>(s));
    }
}

void DnaDistanceWorkspace::find_alike_texts() {
    std::size_t const width = sites_.size();
    std::unordered_map<std::string_view, int, TextHash> first;
    first.reserve(static_cast<std::size_t>(numTexts_));
    firstAlike_.assign(static_cast<std::size_t>(numTexts_), 0);
    distinctIndex_.assign(static_cast<std::size_t>(numTexts_), 0);
    numDistinct_ = 0;
    std::array<bool, 256> present{};
    for (int i = 0; i < numTexts_; ++i) {
        std::string_view const row(columns_.data() + static_cast<std::size_t>(i) * width, width);
        auto const [it, added] = first.try_emplace(row, i);
        firstAlike_[static_cast<std::size_t>(i)] = it->second;
        distinctIndex_[static_cast<std::size_t>(i)] =
            added ? numDistinct_++ : distinctIndex_[static_cast<std::size_t>(it->second)];
        if (added)
            for (char c : row) present[static_cast<unsigned char>(c)] = true;
    }
    // Counting in the other order changes nothing unless a pair of the
    // characters present is classed differently when swapped.
    PairTable const& table = pair_table();
    symmetric_ = true;
    for (int x = 0; x < 256 && symmetric_; ++x) {
        for (int y = 0; y < x && symmetric_; ++y) {
            if (present[static_cast<std::size_t>(x)] && present[static_cast<std::size_t>(y)])
                symmetric_ = table.code[x][y] == table.code[y][x];
        }
    }
}

bool DnaDistanceWorkspace::prepare(std::vector<char const*> const& texts, std::vector<int> const& usable,
                                   char missing, std::int64_t omitted) {
    if (matches(texts, usable, missing, omitted)) return true;
    rebuild(texts, usable, missing, omitted);
    return false;
}

DnaPairCounts DnaDistanceWorkspace::count(int i, int j) const {
    if (!packed_.packed(i) || !packed_.packed(j)) return count_sites(i, j);
    DnaPairCounts counts;
    counts.equal = cleanSites_;
    packed_.add_counts(i, j, counts);
    return counts;
}

DnaPairCounts DnaDistanceWorkspace::count_sites(int i, int j) const {
    PairTable const& table = pair_table();
    DnaPairCounts counts;
    counts.equal = cleanSites_;
    std::size_t const width = sites_.size();
    char const* a = columns_.data() + static_cast<std::size_t>(i) * width;
    char const* b = columns_.data() + static_cast<std::size_t>(j) * width;
    for (std::size_t k = 0; k < width; ++k) tally(counts, table, a[k], b[k], missing_);
    return counts;
}

DnaDistanceWorkspace::Entry const* DnaDistanceWorkspace::find(Key const& key) const {
    for (auto const& e : entries_) {
        if (e.key == key) return &e;
    }
    return nullptr;
}

void DnaDistanceWorkspace::store(Entry entry) {
    if (entries_.size() >= kMaxEntries) entries_.erase(entries_.begin());
    entries_.push_back(std::move(entry));
}

}  // namespace quintle
