// The visit kernels of the phasing sampler (count_visit, count_visit_window)
// in wide registers with a vector popcount, for processors that have them:
// two words of gametes in both focal contexts are folded, and counted, by
// one 256-bit operation each. The counts are those of the portable
// kernels, integer sums converted at the end, so the choice changes no
// result.

#include "haplo/vosk_counts.h"

#include <cstdint>

#include "core/cpu_features.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define QUINTLE_WIDE_COUNTS 1
#include <immintrin.h>
#else
#define QUINTLE_WIDE_COUNTS 0
#endif

namespace quintle::vosk::wide {

#if QUINTLE_WIDE_COUNTS

namespace {

// Every function that uses the wide instructions carries their target.
// Nothing here computes with floating-point numbers but the exact
// conversion of the integer tallies: under this target the compiler may
// fuse a product and a sum into one rounding, which would change results.
#define QUINTLE_WIDE [[gnu::target("avx2,avx512f,avx512vl,avx512dq,avx512vpopcntdq"), gnu::always_inline]] inline

// The matches of a chunk of gametes: two words in both contexts, laid out
// as a position's block is (A0 B0 A1 B1); a lone last word fills the lower
// half, zeros above it.
struct Chunk {
    __m256i z, o;
};

QUINTLE_WIDE Chunk no_position() { return {_mm256_set1_epi64x(-1), _mm256_setzero_si256()}; }

// Matches::fold: o = (o & eq) | (z & ~eq) in one operation (truth table
// 0xE4 of o, z, eq), then z &= eq.
QUINTLE_WIDE void fold(Chunk& m, __m256i eq) {
    m.o = _mm256_ternarylogic_epi64(m.o, m.z, eq, 0xE4);
    m.z = _mm256_and_si256(m.z, eq);
}

// Matches::join.
QUINTLE_WIDE void join(Chunk& m, Chunk const& other) {
    m.o = _mm256_or_si256(_mm256_and_si256(m.o, other.z), _mm256_and_si256(m.z, other.o));
    m.z = _mm256_and_si256(m.z, other.z);
}

// Chunk c of a block of 2 x words words; Half: the last, lone word, read
// without touching what follows it.
template <bool Half>
QUINTLE_WIDE __m256i load(std::uint64_t const* block, int c) {
    if constexpr (Half) return _mm256_maskz_loadu_epi64(0x3, block + 4 * c);
    return _mm256_loadu_si256(reinterpret_cast<__m256i const*>(block + 4 * c));
}

// The gametes of the chunk that count for the focal gamete 1's allele (a),
// or else for gamete 2's (b), each word's twice (a0 a0 a1 a1), so that one
// operation applies them to both contexts.
struct Classes {
    __m256i a, b;
};
template <bool Half>
QUINTLE_WIDE Classes classes_at(std::uint64_t const* atL, std::uint64_t const* valid, int c) {
    __m128i const v = Half ? _mm_maskz_loadu_epi64(0x1, valid + 2 * c)
                           : _mm_loadu_si128(reinterpret_cast<__m128i const*>(valid + 2 * c));
    __m256i const twice = _mm256_permute4x64_epi64(_mm256_castsi128_si256(v), 0x50);  // v0 v0 v1 v1
    __m256i const focal = _mm256_and_si256(load<Half>(atL, c), twice);                // a0 b0 a1 b1, valid
    __m256i const a = _mm256_unpacklo_epi64(focal, focal);
    return {a, _mm256_andnot_si256(a, _mm256_unpackhi_epi64(focal, focal))};
}

// The tallies of one window, per word and context, as lanes: za holds
// N(Aa) N(Ba) of word 0 then of word 1, zb the same for Ab and Bb, oa and
// ob the M counts.
struct Tally {
    __m256i za, zb, oa, ob;
};
QUINTLE_WIDE Tally no_tally() {
    __m256i const zero = _mm256_setzero_si256();
    return {zero, zero, zero, zero};
}

QUINTLE_WIDE void add(Tally& t, Chunk const& m, Classes const& x) {
    t.za = _mm256_add_epi64(t.za, _mm256_popcnt_epi64(_mm256_and_si256(m.z, x.a)));
    t.zb = _mm256_add_epi64(t.zb, _mm256_popcnt_epi64(_mm256_and_si256(m.z, x.b)));
    t.oa = _mm256_add_epi64(t.oa, _mm256_popcnt_epi64(_mm256_and_si256(m.o, x.a)));
    t.ob = _mm256_add_epi64(t.ob, _mm256_popcnt_epi64(_mm256_and_si256(m.o, x.b)));
}

// The two words' lanes put in the order of SubHaplCounts (Aa Ab Ba Bb)
// and added; then converted, exactly (small integers).
QUINTLE_WIDE void put(Tally const& t, SubHaplCounts& out) {
    __m256i const word0 = _mm256_set_epi64x(5, 1, 4, 0);
    __m256i const word1 = _mm256_set_epi64x(7, 3, 6, 2);
    __m256i const n = _mm256_add_epi64(_mm256_permutex2var_epi64(t.za, word0, t.zb),
                                       _mm256_permutex2var_epi64(t.za, word1, t.zb));
    __m256i const m = _mm256_add_epi64(_mm256_permutex2var_epi64(t.oa, word0, t.ob),
                                       _mm256_permutex2var_epi64(t.oa, word1, t.ob));
    _mm256_storeu_pd(out.N, _mm256_cvtepi64_pd(n));
    _mm256_storeu_pd(out.M, _mm256_cvtepi64_pd(m));
}

// What a visit keeps per chunk for count_visit_window: the classes, the
// core's matches and the core's with the end e. Six vectors, in the
// caller's VisitWord entries (visit_entries(words) of them hold them).
constexpr int keptPerChunk = 6;
QUINTLE_WIDE void keep(VisitWord* kept, int c, int i, __m256i value) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(kept) + keptPerChunk * c + i, value);
}
QUINTLE_WIDE __m256i kept_at(VisitWord const* kept, int c, int i) {
    return _mm256_loadu_si256(reinterpret_cast<__m256i const*>(kept) + keptPerChunk * c + i);
}

// a when `first`, else b, without a branch: which end a shrunk window
// lost is a coin toss, and a compiler left to itself may branch on it.
inline std::uint64_t const* either(bool first, std::uint64_t const* a, std::uint64_t const* b) {
    auto const ia = reinterpret_cast<std::uintptr_t>(a);
    auto const ib = reinterpret_cast<std::uintptr_t>(b);
    return reinterpret_cast<std::uint64_t const*>(ib ^ ((ia ^ ib) & (std::uintptr_t{0} - first)));
}

// The positions lo .. hi of chunk c as two halves folded side by side and
// joined (see the portable kernel).
template <bool Half>
QUINTLE_WIDE Chunk fold_range(FocalPlanes const& f, int lo, int hi, int c) {
    int const half = (hi - lo + 1) / 2;
    Chunk first = no_position();
    Chunk second = no_position();
    for (int i = 0; i < half; ++i) {
        fold(first, load<Half>(f.block(lo + i), c));
        fold(second, load<Half>(f.block(lo + half + i), c));
    }
    // An odd last position, or all ones: the length is as often odd as
    // even, and a branch on it would be mispredicted half the time.
    fold(second, load<Half>(either(lo + 2 * half <= hi, f.block(hi < 0 ? 0 : hi), f.ones), c));
    join(first, second);
    return first;
}

template <bool Half>
QUINTLE_WIDE void visit_chunk(FocalPlanes const& f, VisitWindows const& v, int c, std::uint64_t const* atL,
                              std::uint64_t const* atX, VisitWord* kept, Tally& base, Tally& grown) {
    Chunk const core = fold_range<Half>(f, v.s + 1, v.e - 1, c);
    Classes const x = classes_at<Half>(atL, f.valid, c);
    Chunk withE = core;
    fold(withE, load<Half>(f.block(v.e), c));
    Chunk b = withE;
    fold(b, load<Half>(f.block(v.s), c));
    Chunk g = b;
    fold(g, load<Half>(atX, c));
    keep(kept, c, 0, x.a);
    keep(kept, c, 1, x.b);
    keep(kept, c, 2, core.z);
    keep(kept, c, 3, core.o);
    keep(kept, c, 4, withE.z);
    keep(kept, c, 5, withE.o);
    add(base, b, x);
    add(grown, g, x);
}

// count_visit on W words of gametes (0: any number); the block of L reads
// as all ones while the windows are folded, as in the portable kernel.
template <int W>
QUINTLE_WIDE void visit_words(FocalPlanes const& f, VisitWindows const& v, std::uint64_t* eq, std::uint64_t* aside,
                              VisitWord* kept, SubHaplCounts& base, SubHaplCounts& extended) {
    int const words = W > 0 ? W : f.words;
    std::uint64_t* const atL = eq + 2 * static_cast<long>(words) * v.L;
    for (int w = 0; w < 2 * words; ++w) {
        aside[w] = atL[w];
        atL[w] = ~std::uint64_t{0};
    }
    std::uint64_t const* const atX = v.x >= 0 ? f.block(v.x) : f.ones;
    Tally b = no_tally();
    Tally g = no_tally();
    int const full = words / 2;
    for (int c = 0; c < full; ++c) visit_chunk<false>(f, v, c, aside, atX, kept, b, g);
    if (words % 2 != 0) visit_chunk<true>(f, v, full, aside, atX, kept, b, g);
    for (int w = 0; w < 2 * words; ++w) atL[w] = aside[w];
    put(b, base);
    if (v.x >= 0) put(g, extended);
}

template <bool Half>
QUINTLE_WIDE void window_chunk(VisitWord const* kept, int c, bool withE, std::uint64_t const* atS,
                               std::uint64_t const* atX, Tally& t) {
    int const from = withE ? 4 : 2;
    Chunk m{kept_at(kept, c, from), kept_at(kept, c, from + 1)};
    fold(m, load<Half>(atS, c));
    fold(m, load<Half>(atX, c));
    add(t, m, Classes{kept_at(kept, c, 0), kept_at(kept, c, 1)});
}

template <int W>
QUINTLE_WIDE void window_words(VisitWord const* kept, FocalPlanes const& f, VisitWindows const& v, int lo, int hi,
                               SubHaplCounts& out) {
    int const words = W > 0 ? W : f.words;
    bool const withE = hi >= v.e;
    // The end s, and x, fold only when the window holds them (neither is
    // L here: x lies outside the base, and s is held only with L inside).
    std::uint64_t const* const atS = either((lo <= v.s) & (v.s != v.L), f.block(v.s), f.ones);
    std::uint64_t const* const atX =
        either((v.x >= 0) & (lo <= v.x) & (v.x <= hi), f.block(v.x < 0 ? 0 : v.x), f.ones);
    Tally t = no_tally();
    int const full = words / 2;
    for (int c = 0; c < full; ++c) window_chunk<false>(kept, c, withE, atS, atX, t);
    if (words % 2 != 0) window_chunk<true>(kept, full, withE, atS, atX, t);
    put(t, out);
}

#undef QUINTLE_WIDE
#define QUINTLE_WIDE_ENTRY [[gnu::target("avx2,avx512f,avx512vl,avx512dq,avx512vpopcntdq")]]

bool detect() { return cpu::has_avx512_popcount(); }

}  // namespace

bool available() {
    static bool const yes = detect();
    return yes;
}

QUINTLE_WIDE_ENTRY
void count_visit(FocalPlanes const& f, VisitWindows const& v, std::uint64_t* eq, std::uint64_t* aside,
                 VisitWord* kept, SubHaplCounts& base, SubHaplCounts& extended) {
    switch (f.words) {
        case 1:
            visit_words<1>(f, v, eq, aside, kept, base, extended);
            break;
        case 2:
            visit_words<2>(f, v, eq, aside, kept, base, extended);
            break;
        default:
            visit_words<0>(f, v, eq, aside, kept, base, extended);
    }
}

QUINTLE_WIDE_ENTRY
void count_visit_window(VisitWord const* kept, FocalPlanes const& f, VisitWindows const& v, int lo, int hi,
                        SubHaplCounts& out) {
    switch (f.words) {
        case 1:
            window_words<1>(kept, f, v, lo, hi, out);
            break;
        case 2:
            window_words<2>(kept, f, v, lo, hi, out);
            break;
        default:
            window_words<0>(kept, f, v, lo, hi, out);
    }
}

#else  // no wide kernels on this processor family: the portable ones

bool available() { return false; }

void count_visit(FocalPlanes const& f, VisitWindows const& v, std::uint64_t* eq, std::uint64_t* aside,
                 VisitWord* kept, SubHaplCounts& base, SubHaplCounts& extended) {
    portable::count_visit(f, v, eq, aside, kept, base, extended);
}

void count_visit_window(VisitWord const* kept, FocalPlanes const& f, VisitWindows const& v, int lo, int hi,
                        SubHaplCounts& out) {
    portable::count_visit_window(kept, f, v, lo, hi, out);
}

#endif

}  // namespace quintle::vosk::wide
