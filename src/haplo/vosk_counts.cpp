#include "haplo/vosk_counts.h"

#include <bit>
#include <cstring>

#include "core/cpu_features.h"

namespace quintle::vosk {

namespace {

inline Pair pair_at(std::uint64_t const* block, int word) {
    Pair p;
    std::memcpy(&p, block + 2 * word, sizeof p);
    return p;
}

// The gametes of a word that count for the focal gamete 1's allele (class
// a), or else for gamete 2's (class b); the others count nowhere.
struct Classes {
    std::uint64_t a, b;
};
inline Classes classes_at(FocalPlanes const& f, std::uint64_t const* atL, int word) {
    Pair const focal = pair_at(atL, word);
    std::uint64_t const a = focal[0] & f.valid[word];
    return {a, focal[1] & f.valid[word] & ~a};
}

// Integer tallies of one window, N then M for Aa, Ab, Ba, Bb: the sums of
// ones are exact, so converting at the end gives the same doubles as adding
// 1.0 gamete by gamete, whichever way the window was folded.
struct Tally {
    long t[8] = {};
    void add(Matches const& m, Classes const& x) {
        std::uint64_t const zA = m.z[0], zB = m.z[1], oA = m.o[0], oB = m.o[1];
        t[Aa] += std::popcount(zA & x.a);
        t[Ab] += std::popcount(zA & x.b);
        t[Ba] += std::popcount(zB & x.a);
        t[Bb] += std::popcount(zB & x.b);
        t[4 + Aa] += std::popcount(oA & x.a);
        t[4 + Ab] += std::popcount(oA & x.b);
        t[4 + Ba] += std::popcount(oB & x.a);
        t[4 + Bb] += std::popcount(oB & x.b);
    }
    void put(SubHaplCounts& out) const {
        for (int x = 0; x < 4; ++x) {
            out.N[x] = static_cast<double>(t[x]);
            out.M[x] = static_cast<double>(t[4 + x]);
        }
    }
};

// The words of gametes are taken C (1 or 2) at a time, from word0 on: a
// chunk's matches stay in registers while the positions are folded.
template <int C>
struct Chunk {
    Matches m[C];
    // Position p from its block (all ones: a position that changes nothing).
    void fold(std::uint64_t const* block, int word0) {
        for (int c = 0; c < C; ++c) m[c].fold(pair_at(block, word0 + c));
    }
    // The positions lo .. hi as two halves folded side by side and joined:
    // a fold waits for the one before, so two chains take half the time.
    void fold_range(FocalPlanes const& f, int lo, int hi, int word0) {
        int const half = (hi - lo + 1) / 2;
        Chunk second;
        for (int i = 0; i < half; ++i) {
            fold(f.block(lo + i), word0);
            second.fold(f.block(lo + half + i), word0);
        }
        if (lo + 2 * half <= hi) second.fold(f.block(hi), word0);
        for (int c = 0; c < C; ++c) m[c].join(second.m[c]);
    }
};

// The matches of a visit on words word0 .. word0 + C - 1 (see
// count_visit). Inlined into the kernel, whose processor features
// (popcount) it must share.
template <int C>
[[gnu::always_inline]] inline void visit_chunk(FocalPlanes const& f, VisitWindows const& v, int word0,
                                               std::uint64_t const* atL, std::uint64_t const* atX,
                                               VisitWord* kept) {
    Chunk<C> core;
    core.fold_range(f, v.s + 1, v.e - 1, word0);
    std::uint64_t const* const atS = f.block(v.s);
    std::uint64_t const* const atE = f.block(v.e);
    for (int k = 0; k < C; ++k) {
        int const word = word0 + k;
        Classes const x = classes_at(f, atL, word);
        Matches withE = core.m[k];
        withE.fold(pair_at(atE, word));
        Matches base = withE;
        base.fold(pair_at(atS, word));
        Matches grown = base;
        grown.fold(pair_at(atX, word));
        kept[word] = VisitWord{x.a, x.b, core.m[k], withE, base, grown};
    }
}

// The tallies of one kind of matches of a visit's words.
template <int W>
[[gnu::always_inline]] inline Tally tally_words(VisitWord const* kept, int words, Matches VisitWord::*which) {
    Tally t;
    for (int word = 0; word < (W > 0 ? W : words); ++word)
        t.add(kept[word].*which, Classes{kept[word].xa, kept[word].xb});
    return t;
}

// count_visit on W words of gametes (W = 0: any number, f.words): two
// words at a time, the last one alone; then the tallies, each on its own
// (eight counters at a time stay in registers).
template <int W>
[[gnu::always_inline]] inline void count_visit_words(FocalPlanes const& f, VisitWindows const& v, std::uint64_t* eq,
                                                     std::uint64_t* aside, VisitWord* kept, SubHaplCounts& base,
                                                     SubHaplCounts& extended) {
    int const words = W > 0 ? W : f.words;
    std::uint64_t* const atL = eq + 2 * static_cast<long>(words) * v.L;
    for (int w = 0; w < 2 * words; ++w) {
        aside[w] = atL[w];
        atL[w] = ~std::uint64_t{0};
    }
    std::uint64_t const* const atX = v.x >= 0 ? f.block(v.x) : f.ones;
    int word = 0;
    for (; word + 2 <= words; word += 2) visit_chunk<2>(f, v, word, aside, atX, kept);
    if (word < words) visit_chunk<1>(f, v, word, aside, atX, kept);
    for (int w = 0; w < 2 * words; ++w) atL[w] = aside[w];
    tally_words<W>(kept, words, &VisitWord::base).put(base);
    if (v.x >= 0) tally_words<W>(kept, words, &VisitWord::grown).put(extended);
}

}  // namespace

// The popcount instruction is not part of the x86-64 baseline: the kernels
// are built twice (QUINTLE_POPCOUNT_VERSIONS) and the first call picks the
// version the processor can run.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define QUINTLE_POPCOUNT_VERSIONS(name, params, args)                                      \
    namespace {                                                                            \
    [[gnu::target("popcnt")]] void name##_popcnt params { name##_body args; }              \
    void name##_baseline params { name##_body args; }                                      \
    }                                                                                      \
    void name params {                                                                     \
        static auto* const version = cpu::has_popcnt() ? name##_popcnt : name##_baseline;  \
        version args;                                                                      \
    }
#else
#define QUINTLE_POPCOUNT_VERSIONS(name, params, args) \
    void name params { name##_body args; }
#endif
#define QUINTLE_POPCOUNT_CLONES [[gnu::always_inline]] inline

namespace {
QUINTLE_POPCOUNT_CLONES
void count_plain_body(FocalPlanes const& f, int L, WindowSet const& w, SubHaplCounts* out) {
    Tally tally[WindowSet::maxWindows];
    // The block of each extra position, or all ones for a window that
    // lacks it.
    std::uint64_t const* extra[WindowSet::maxWindows][WindowSet::maxExtras];
    for (int k = 0; k < w.numWindows; ++k)
        for (int e = 0; e < WindowSet::maxExtras; ++e)
            extra[k][e] = e < w.extraCount && ((w.mask[k] >> e) & 1u) != 0 ? f.at(w.extraPos[e], L) : f.ones;
    for (int word = 0; word < f.words; ++word) {
        Classes const x = classes_at(f, f.block(L), word);
        Matches core;
        for (int p = w.coreLo; p <= w.coreHi; ++p) core.fold(pair_at(f.at(p, L), word));
        for (int k = 0; k < w.numWindows; ++k) {
            Matches m = core;
            for (std::uint64_t const* block : extra[k]) m.fold(pair_at(block, word));
            tally[k].add(m, x);
        }
    }
    for (int k = 0; k < w.numWindows; ++k) tally[k].put(out[k]);
}
}  // namespace
QUINTLE_POPCOUNT_VERSIONS(count_plain, (FocalPlanes const& f, int L, WindowSet const& w, SubHaplCounts* out),
                          (f, L, w, out))

// The core is folded in one loop, the block of L reading as all ones; the
// base is the core and both ends, the extended window the base and x. An
// end that is the focal position (all ones then too), or a missing
// extension, folds nothing.
namespace portable {

QUINTLE_POPCOUNT_CLONES
void count_visit_body(FocalPlanes const& f, VisitWindows const& v, std::uint64_t* eq, std::uint64_t* aside,
                      VisitWord* kept, SubHaplCounts& base, SubHaplCounts& extended) {
    // Samples of up to 64 individuals get loops of known length.
    switch (f.words) {
        case 1:
            count_visit_words<1>(f, v, eq, aside, kept, base, extended);
            break;
        case 2:
            count_visit_words<2>(f, v, eq, aside, kept, base, extended);
            break;
        default:
            count_visit_words<0>(f, v, eq, aside, kept, base, extended);
    }
}

// A window of the visit is the core, or the core and e when it reaches e,
// then s and x when it holds them.
template <int W>
[[gnu::always_inline]] inline void count_visit_window_words(VisitWord const* kept, FocalPlanes const& f,
                                                            VisitWindows const& v, int lo, int hi,
                                                            SubHaplCounts& out) {
    bool const withE = hi >= v.e;
    std::uint64_t const* const atS = lo <= v.s ? f.at(v.s, v.L) : f.ones;
    std::uint64_t const* const atX = v.x >= 0 && lo <= v.x && v.x <= hi ? f.at(v.x, v.L) : f.ones;
    Tally t;
    for (int word = 0; word < (W > 0 ? W : f.words); ++word) {
        VisitWord const& k = kept[word];
        Matches m = withE ? k.withE : k.core;
        m.fold(pair_at(atS, word));
        m.fold(pair_at(atX, word));
        t.add(m, Classes{k.xa, k.xb});
    }
    t.put(out);
}

QUINTLE_POPCOUNT_CLONES
void count_visit_window_body(VisitWord const* kept, FocalPlanes const& f, VisitWindows const& v, int lo, int hi,
                             SubHaplCounts& out) {
    switch (f.words) {
        case 1:
            count_visit_window_words<1>(kept, f, v, lo, hi, out);
            break;
        case 2:
            count_visit_window_words<2>(kept, f, v, lo, hi, out);
            break;
        default:
            count_visit_window_words<0>(kept, f, v, lo, hi, out);
    }
}

QUINTLE_POPCOUNT_VERSIONS(count_visit,
                          (FocalPlanes const& f, VisitWindows const& v, std::uint64_t* eq, std::uint64_t* aside,
                           VisitWord* kept, SubHaplCounts& base, SubHaplCounts& extended),
                          (f, v, eq, aside, kept, base, extended))
QUINTLE_POPCOUNT_VERSIONS(count_visit_window,
                          (VisitWord const* kept, FocalPlanes const& f, VisitWindows const& v, int lo, int hi,
                           SubHaplCounts& out),
                          (kept, f, v, lo, hi, out))

}  // namespace portable

namespace {
// Asked at the first visit, not at every start of the program.
bool wide_counts() {
    static bool const yes = wide::available();
    return yes;
}
}  // namespace

void count_visit(FocalPlanes const& f, VisitWindows const& v, std::uint64_t* eq, std::uint64_t* aside,
                 VisitWord* kept, SubHaplCounts& base, SubHaplCounts& extended) {
    if (wide_counts()) return wide::count_visit(f, v, eq, aside, kept, base, extended);
    portable::count_visit(f, v, eq, aside, kept, base, extended);
}

void count_visit_window(VisitWord const* kept, FocalPlanes const& f, VisitWindows const& v, int lo, int hi,
                        SubHaplCounts& out) {
    if (wide_counts()) return wide::count_visit_window(kept, f, v, lo, hi, out);
    portable::count_visit_window(kept, f, v, lo, hi, out);
}

void count_plain_columns(GameteColumns const& cols, Focal const& focal, WindowSet const& w, SubHaplCounts* out) {
    long exact[WindowSet::maxWindows][4] = {};
    long near[WindowSet::maxWindows][4] = {};
    long const S = cols.stride;
    int const* const focalColumn = cols.codes + focal.locus * S;
    for (int r = 0; r < cols.numRows; ++r) {
        if (r == cols.focalRow || r == cols.focalRow + 1) continue;
        int const x = focalColumn[r];
        int cls = 0;
        if (x == focal.a)
            cls = 0;
        else if (x == focal.b)
            cls = 1;
        else
            continue;
        int mA = 0;
        int mB = 0;
        bool hopeless = false;
        for (int t = 0; t < w.coreCount && !hopeless; ++t) {
            int const c = cols.codes[w.coreLoci[t] * S + r];
            mA += c != w.coreA[t];
            mB += c != w.coreB[t];
            hopeless = mA >= 2 && mB >= 2;
        }
        if (hopeless) continue;
        unsigned dA = 0;
        unsigned dB = 0;
        for (int e = 0; e < w.extraCount; ++e) {
            int const c = cols.codes[w.extraLoci[e] * S + r];
            dA |= static_cast<unsigned>(c != w.extraA[e]) << e;
            dB |= static_cast<unsigned>(c != w.extraB[e]) << e;
        }
        for (int k = 0; k < w.numWindows; ++k) {
            int const ma = mA + std::popcount(dA & w.mask[k]);
            int const mb = mB + std::popcount(dB & w.mask[k]);
            if (ma == 0)
                ++exact[k][cls];
            else if (ma == 1)
                ++near[k][cls];
            if (mb == 0)
                ++exact[k][2 + cls];
            else if (mb == 1)
                ++near[k][2 + cls];
        }
    }
    for (int k = 0; k < w.numWindows; ++k) {
        for (int x = 0; x < 4; ++x) {
            out[k].N[x] = static_cast<double>(exact[k][x]);
            out[k].M[x] = static_cast<double>(near[k][x]);
        }
    }
}

void count_missing(GameteColumns const& cols, Focal const& focal, WindowSet const& w, double const* siteWeight,
                   SubHaplCounts* out) {
    for (int k = 0; k < w.numWindows; ++k) out[k] = SubHaplCounts{};
    int const a = focal.a;
    int const b = focal.b;
    bool const aKnown = a != -1;
    bool const bKnown = b != -1;
    long const S = cols.stride;
    int const* const focalColumn = cols.codes + focal.locus * S;
    auto weight_at = [siteWeight](int locus) { return siteWeight != nullptr ? siteWeight[locus] : 1.0; };

    for (int r = 0; r < cols.numRows; ++r) {
        if (r == cols.focalRow || r == cols.focalRow + 1) continue;
        int const x = focalColumn[r];
        bool const xKnown = x != -1;
        // Which focal alleles the gamete counts for, and whether its weights
        // lose one more share for a missing allele at the focal locus.
        bool forA = false;
        bool forB = false;
        int lower = 0;
        if (xKnown && aKnown && x != a) {
            if (bKnown && x != b) continue;
            forB = true;
            lower = bKnown ? 0 : 1;
        } else if (xKnown && aKnown) {
            forA = true;
        } else {
            forA = forB = true;
            lower = 1;
        }
        // Differences between known codes, and loci lost to missing codes.
        int mA = 0, mB = 0, lostA = 0, lostB = 0;
        int diffA = -1, diffB = -1;
        bool hopeless = false;
        for (int t = 0; t < w.coreCount; ++t) {
            int const locus = w.coreLoci[t];
            int const c = cols.codes[locus * S + r];
            int const fa = w.coreA[t];
            int const fb = w.coreB[t];
            if (c == -1) {
                ++lostA;
                ++lostB;
                continue;
            }
            if (fa == -1) {
                ++lostA;
            } else if (c != fa) {
                ++mA;
                diffA = locus;
            }
            if (fb == -1) {
                ++lostB;
            } else if (c != fb) {
                ++mB;
                diffB = locus;
            }
            if (mA >= 2 && mB >= 2) {
                hopeless = true;  // no window can count it
                break;
            }
        }
        if (hopeless) continue;
        unsigned dA = 0, dB = 0, lA = 0, lB = 0;
        for (int e = 0; e < w.extraCount; ++e) {
            int const c = cols.codes[w.extraLoci[e] * S + r];
            unsigned const bit = 1u << e;
            if (c == -1) {
                lA |= bit;
                lB |= bit;
                continue;
            }
            if (w.extraA[e] == -1)
                lA |= bit;
            else if (c != w.extraA[e])
                dA |= bit;
            if (w.extraB[e] == -1)
                lB |= bit;
            else if (c != w.extraB[e])
                dB |= bit;
        }
        // The locus of a window's single difference: the core's, or the
        // extra one's.
        auto single_locus = [&w](int coreDiffs, int coreLocus, unsigned extraDiffs) {
            if (coreDiffs == 1) return coreLocus;
            return w.extraLoci[std::countr_zero(extraDiffs)];
        };
        for (int k = 0; k < w.numWindows; ++k) {
            unsigned const m = w.mask[k];
            int const len = w.length[k];
            int const ma = mA + std::popcount(dA & m);
            int const mb = mB + std::popcount(dB & m);
            double const weightA = static_cast<double>(len - lostA - std::popcount(lA & m) - lower) / len;
            double const weightB = static_cast<double>(len - lostB - std::popcount(lB & m) - lower) / len;
            double const nearA = ma == 1 ? weightA * weight_at(single_locus(mA, diffA, dA & m)) : 0.0;
            double const nearB = mb == 1 ? weightB * weight_at(single_locus(mB, diffB, dB & m)) : 0.0;
            SubHaplCounts& res = out[k];
            if (forA) {
                if (ma == 0)
                    res.N[Aa] += weightA;
                else if (ma == 1)
                    res.M[Aa] += nearA;
                if (mb == 0)
                    res.N[Ba] += weightB;
                else if (mb == 1)
                    res.M[Ba] += nearB;
            }
            if (forB) {
                if (ma == 0)
                    res.N[Ab] += weightA;
                else if (ma == 1)
                    res.M[Ab] += nearA;
                if (mb == 0)
                    res.N[Bb] += weightB;
                else if (mb == 1)
                    res.M[Bb] += nearB;
            }
        }
    }
}

}  // namespace quintle::vosk
