#include "haplo/vosk_counts.h"

#include <bit>

namespace quintle::vosk {

namespace {

// The gametes with no difference (zero) and with one (one) so far, folded
// with the differences d at one more locus.
inline void fold(std::uint64_t& zero, std::uint64_t& one, std::uint64_t d) {
    one = (one & ~d) | (zero & d);
    zero &= ~d;
}

// The planes of a set's extra positions, a plane of all gametes standing
// for those it lacks, so that every window folds three of them: a position
// the window does not hold is folded with no difference, which changes
// nothing. No branch then depends on the window.
struct Extras {
    std::uint64_t const* a[WindowSet::maxExtras];
    std::uint64_t const* b[WindowSet::maxExtras];
};

inline Extras extras_of(WindowSet const& w) {
    Extras x;
    for (int e = 0; e < WindowSet::maxExtras; ++e) {
        bool const has = e < w.extraCount;
        x.a[e] = has ? w.eqA[w.extraPos[e]] : w.all;
        x.b[e] = has ? w.eqB[w.extraPos[e]] : w.all;
    }
    return x;
}

// The tallies of one window (its mask) from the core of one word: its
// extra positions folded in, then the gametes of each class at no and one
// difference.
inline void tally_window(CoreWord const& c, Extras const& x, unsigned mask, int word, long* t) {
    std::uint64_t za = c.zA, oa = c.oA, zb = c.zB, ob = c.oB;
    for (int e = 0; e < WindowSet::maxExtras; ++e) {
        std::uint64_t const held = std::uint64_t{0} - ((mask >> e) & 1u);
        fold(za, oa, ~x.a[e][word] & held);
        fold(zb, ob, ~x.b[e][word] & held);
    }
    t[Aa] += std::popcount(za & c.xa);
    t[Ab] += std::popcount(za & c.xb);
    t[Ba] += std::popcount(zb & c.xa);
    t[Bb] += std::popcount(zb & c.xb);
    t[4 + Aa] += std::popcount(oa & c.xa);
    t[4 + Ab] += std::popcount(oa & c.xb);
    t[4 + Ba] += std::popcount(ob & c.xa);
    t[4 + Bb] += std::popcount(ob & c.xb);
}

inline void tallies_out(long const* t, SubHaplCounts& out) {
    for (int x = 0; x < 4; ++x) {
        out.N[x] = static_cast<double>(t[x]);
        out.M[x] = static_cast<double>(t[4 + x]);
    }
}

// The body of count_plain for W words of gametes (W = 0: any number,
// given in f.words). With the number known, the core of a small sample
// stays in registers through the whole count.
template <int W>
inline void count_plain_words(FocalPlanes const& f, WindowSet const& w, int now, SubHaplCounts* out, CoreWord* core) {
    int const words = W > 0 ? W : f.words;
    CoreWord fixed[W > 0 ? W : 1];
    CoreWord* const c = W > 0 ? fixed : core;
    // Gametes carrying the focal gamete 1's allele (class a), or else
    // gamete 2's (class b); the others count nowhere.
    for (int word = 0; word < words; ++word) {
        c[word].xa = f.eqA[word] & f.valid[word];
        c[word].xb = f.eqB[word] & f.valid[word] & ~c[word].xa;
        c[word].zA = c[word].zB = ~std::uint64_t{0};
        c[word].oA = c[word].oB = 0;
    }
    // Position by position, the words inside.
    for (int p = w.coreLo; p <= w.coreHi; ++p) {
        std::uint64_t const* a = w.eqA[p];
        std::uint64_t const* b = w.eqB[p];
        for (int word = 0; word < words; ++word) {
            fold(c[word].zA, c[word].oA, ~a[word]);
            fold(c[word].zB, c[word].oB, ~b[word]);
        }
    }
    // Integer tallies per window, N then M for Aa, Ab, Ba, Bb: the sums of
    // ones are exact, so converting at the end gives the same doubles as
    // adding 1.0 gamete by gamete, and the same whether a window is counted
    // now or later.
    Extras const x = extras_of(w);
    for (int k = 0; k < now; ++k) {
        long tally[8] = {};
        for (int word = 0; word < words; ++word) tally_window(c[word], x, w.mask[k], word, tally);
        tallies_out(tally, out[k]);
    }
    if (W > 0)
        for (int word = 0; word < words; ++word) core[word] = c[word];
}

template <int W>
inline void count_later_words(CoreWord const* core, int words, WindowSet const& w, int k, SubHaplCounts& out) {
    long tally[8] = {};
    Extras const x = extras_of(w);
    for (int word = 0; word < (W > 0 ? W : words); ++word) tally_window(core[word], x, w.mask[k], word, tally);
    tallies_out(tally, out);
}

}  // namespace

// The popcount instruction is not part of the x86-64 baseline: the kernels
// are built twice and the loader picks the version the processor can run.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define QUINTLE_POPCOUNT_CLONES [[gnu::target_clones("popcnt", "default")]]
#else
#define QUINTLE_POPCOUNT_CLONES
#endif

QUINTLE_POPCOUNT_CLONES
void count_plain(FocalPlanes const& f, WindowSet const& w, int now, SubHaplCounts* out, CoreWord* core) {
    switch (f.words) {
        case 1:
            count_plain_words<1>(f, w, now, out, core);
            break;
        case 2:
            count_plain_words<2>(f, w, now, out, core);
            break;
        default:
            count_plain_words<0>(f, w, now, out, core);
    }
}

QUINTLE_POPCOUNT_CLONES
void count_plain_later(CoreWord const* core, int words, WindowSet const& w, int k, SubHaplCounts& out) {
    switch (words) {
        case 1:
            count_later_words<1>(core, words, w, k, out);
            break;
        case 2:
            count_later_words<2>(core, words, w, k, out);
            break;
        default:
            count_later_words<0>(core, words, w, k, out);
    }
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
