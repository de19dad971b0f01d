#include "datatypes/dna_packed.h"

#include <bit>

#include "core/cpu_features.h"

namespace quintle {

namespace {

void add_scaled(DnaPairCounts& to, DnaPairCounts const& adds, std::int64_t n) {
    to.equal += n * adds.equal;
    to.equalGap += n * adds.equalGap;
    for (std::size_t k = 0; k < to.nucleotides.size(); ++k) to.nucleotides[k] += n * adds.nucleotides[k];
    to.transversionsAmbiguous += n * adds.transversionsAmbiguous;
    to.ambiguous += n * adds.ambiguous;
    to.indels += n * adds.indels;
    to.other += n * adds.other;
    to.otherMissingOrGap += n * adds.otherMissingOrGap;
    to.otherGap += n * adds.otherGap;
}

// The plane intersections of one kind of site pair, for the values two
// rows actually use.
struct ActiveKind {
    int first = 0;  // into the pair lists
    int last = 0;
    DnaPairCounts const* adds = nullptr;
};

// Counts, word by word, the sites of each kind: a site shows one value in
// each row, so the intersections of one kind never share a bit.
[[gnu::always_inline]] inline void count_kinds_body(std::uint64_t const* a, std::uint64_t const* b, std::size_t words, int values,
                 std::uint8_t const* pairA, std::uint8_t const* pairB, ActiveKind const* kinds, int numKinds,
                 std::int64_t* sites) {
    for (std::size_t w = 0; w < words; ++w) {
        std::uint64_t const* aw = a + w * static_cast<std::size_t>(values);
        std::uint64_t const* bw = b + w * static_cast<std::size_t>(values);
        for (int k = 0; k < numKinds; ++k) {
            std::uint64_t m = 0;
            for (int p = kinds[k].first; p < kinds[k].last; ++p) m |= aw[pairA[p]] & bw[pairB[p]];
            sites[k] += std::popcount(m);
        }
    }
}

using CountKinds = void (*)(std::uint64_t const*, std::uint64_t const*, std::size_t, int, std::uint8_t const*,
                            std::uint8_t const*, ActiveKind const*, int, std::int64_t*);

// The hardware popcount where the processor has one, chosen at the first
// count; the portable form elsewhere.
#if defined(__GNUC__) && defined(__x86_64__)
[[gnu::target("popcnt")]] void count_kinds_popcnt(std::uint64_t const* a, std::uint64_t const* b, std::size_t words,
                                                  int values, std::uint8_t const* pairA, std::uint8_t const* pairB,
                                                  ActiveKind const* kinds, int numKinds, std::int64_t* sites) {
    count_kinds_body(a, b, words, values, pairA, pairB, kinds, numKinds, sites);
}
#endif

void count_kinds_plain(std::uint64_t const* a, std::uint64_t const* b, std::size_t words, int values,
                       std::uint8_t const* pairA, std::uint8_t const* pairB, ActiveKind const* kinds, int numKinds,
                       std::int64_t* sites) {
    count_kinds_body(a, b, words, values, pairA, pairB, kinds, numKinds, sites);
}

void count_kinds(std::uint64_t const* a, std::uint64_t const* b, std::size_t words, int values,
                 std::uint8_t const* pairA, std::uint8_t const* pairB, ActiveKind const* kinds, int numKinds,
                 std::int64_t* sites) {
#if defined(__GNUC__) && defined(__x86_64__)
    static CountKinds const version = cpu::has_popcnt() ? count_kinds_popcnt : count_kinds_plain;
#else
    static CountKinds const version = count_kinds_plain;
#endif
    version(a, b, words, values, pairA, pairB, kinds, numKinds, sites);
}

}  // namespace

void PackedSequences::build(char const* columns, int rows, std::size_t width, char missing) {
    numValues_ = 0;
    for (char c : {'A', 'C', 'G', 'T', '-', missing}) {
        bool known = false;
        for (int v = 0; v < numValues_; ++v) known = known || values_[static_cast<std::size_t>(v)] == c;
        if (!known) values_[static_cast<std::size_t>(numValues_++)] = c;
    }
    std::array<int, 256> valueOf{};
    valueOf.fill(-1);
    for (int v = 0; v < numValues_; ++v) valueOf[static_cast<unsigned char>(values_[static_cast<std::size_t>(v)])] = v;

    words_ = (width + 63) / 64;
    std::size_t const V = static_cast<std::size_t>(numValues_);
    bits_.assign(static_cast<std::size_t>(rows) * words_ * V, 0);
    packed_.assign(static_cast<std::size_t>(rows), 1);
    used_.assign(static_cast<std::size_t>(rows), 0);
    for (int r = 0; r < rows; ++r) {
        char const* row = columns + static_cast<std::size_t>(r) * width;
        std::uint64_t* bits = bits_.data() + static_cast<std::size_t>(r) * words_ * V;
        unsigned used = 0;
        for (std::size_t s = 0; s < width; ++s) {
            int const v = valueOf[static_cast<unsigned char>(row[s])];
            if (v < 0) {
                packed_[static_cast<std::size_t>(r)] = 0;
                break;
            }
            bits[(s / 64) * V + static_cast<std::size_t>(v)] |= std::uint64_t{1} << (s % 64);
            used |= 1U << v;
        }
        used_[static_cast<std::size_t>(r)] = static_cast<std::uint8_t>(used);
    }
    find_kinds(missing);
}

void PackedSequences::find_kinds(char missing) {
    // What a site of each pair of values adds, found by counting one such
    // site the ordinary way: the two counts cannot disagree.
    kinds_.clear();
    for (int x = 0; x < numValues_; ++x) {
        for (int y = 0; y < numValues_; ++y) {
            DnaPairCounts adds;
            tally_site_pair(adds, values_[static_cast<std::size_t>(x)], values_[static_cast<std::size_t>(y)],
                            missing);
            if (adds == DnaPairCounts{}) continue;
            std::uint64_t const bit = std::uint64_t{1} << (x * kMaxValues + y);
            bool found = false;
            for (Kind& k : kinds_) {
                if (k.adds == adds) {
                    k.valuePairs |= bit;
                    found = true;
                    break;
                }
            }
            if (!found) kinds_.push_back(Kind{bit, adds});
        }
    }
}

void PackedSequences::add_counts(int a, int b, DnaPairCounts& counts) const {
    constexpr int kMaxPairs = kMaxValues * kMaxValues;
    std::array<std::uint8_t, kMaxPairs> pairA{};
    std::array<std::uint8_t, kMaxPairs> pairB{};
    std::array<ActiveKind, kMaxPairs> active{};
    unsigned const usedA = used_[static_cast<std::size_t>(a)];
    unsigned const usedB = used_[static_cast<std::size_t>(b)];
    int numPairs = 0;
    int numKinds = 0;
    for (Kind const& k : kinds_) {
        int const first = numPairs;
        for (std::uint64_t bits = k.valuePairs; bits != 0; bits &= bits - 1) {
            int const p = std::countr_zero(bits);
            int const x = p / kMaxValues;
            int const y = p % kMaxValues;
            if ((usedA >> x & 1U) == 0 || (usedB >> y & 1U) == 0) continue;
            pairA[static_cast<std::size_t>(numPairs)] = static_cast<std::uint8_t>(x);
            pairB[static_cast<std::size_t>(numPairs)] = static_cast<std::uint8_t>(y);
            ++numPairs;
        }
        if (numPairs > first) active[static_cast<std::size_t>(numKinds++)] = ActiveKind{first, numPairs, &k.adds};
    }

    std::array<std::int64_t, kMaxPairs> sites{};
    count_kinds(row_words(a), row_words(b), words_, numValues_, pairA.data(), pairB.data(), active.data(), numKinds,
                sites.data());
    for (int k = 0; k < numKinds; ++k) {
        if (sites[static_cast<std::size_t>(k)] != 0)
            add_scaled(counts, *active[static_cast<std::size_t>(k)].adds, sites[static_cast<std::size_t>(k)]);
    }
}

}  // namespace quintle
