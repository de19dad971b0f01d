#pragma once

// The counting kernels of the phasing sampler: for one focal individual and
// one or more windows of loci around its focal locus, how many gametes of
// the other individuals match its sub-haplotypes exactly, or but for one
// locus. The windows of one call share a core of context loci and differ
// only by up to three loci at their ends, so that one pass counts all of
// them; each window's result is the same, to the last bit, as a count of
// its own.

#include <cstdint>

namespace quintle::vosk {

// The four sub-haplotypes of a window: the context of the focal gamete 1
// (A) or 2 (B), with the focal allele of gamete 1 (a) or 2 (b).
enum SubHaplotype : int { Aa = 0, Ab = 1, Ba = 2, Bb = 3 };

// Exact (N) and near (M, one context difference) counts per sub-haplotype.
// Left uninitialised by default: the kernels write every entry of the
// windows they count (the sampler keeps a few on its stack per visit).
struct SubHaplCounts {
    double N[4];
    double M[4];
};

// The compared codes (-1 missing) of all gametes, locus by locus: gamete r
// at locus l is codes[l * stride + r]; an individual's gametes are two
// consecutive columns, and the focal individual's two are skipped.
struct GameteColumns {
    int const* codes = nullptr;
    int stride = 0;
    int numRows = 0;
    int focalRow = 0;
};

// The focal locus and the focal individual's codes there.
struct Focal {
    int locus = 0;
    int a = 0;  // gamete 1's code at the focal locus
    int b = 0;  // gamete 2's code
};

// The arrays are filled up to extraCount and numWindows by whoever builds
// the set; they are left uninitialised (a set is built on the stack for
// every window evaluation).
struct WindowSet {
    static constexpr int maxExtras = 3;
    static constexpr int maxWindows = 5;
    // Context loci every window holds. For the column kernels: the loci,
    // with the focal gametes' codes there. For count_plain: the focal
    // individual's local positions coreLo .. coreHi (the focal position
    // among them or at an end).
    int const* coreLoci = nullptr;
    int const* coreA = nullptr;
    int const* coreB = nullptr;
    int coreCount = 0;
    int coreLo = 0;
    int coreHi = -1;
    // Further context loci, each held by some of the windows: as loci with
    // the focal codes (column kernels), as local positions (count_plain).
    int extraLoci[maxExtras];
    int extraA[maxExtras];
    int extraB[maxExtras];
    int extraPos[maxExtras];
    int extraCount = 0;
    // Per window: bit e set when it holds extra locus e, and its length in
    // loci, the focal locus included.
    int numWindows = 0;
    unsigned mask[maxWindows];
    int length[maxWindows];
};

// A word of gametes (one bit each) seen from both focal contexts at once:
// lane 0 for context A (the focal gamete 1), lane 1 for context B (gamete
// 2). One 128-bit operation (SSE2 on x86-64) then does the work of two.
using Pair = std::uint64_t __attribute__((vector_size(16)));

// Gametes as bit planes (64 to a word, one bit per gamete), copied for one
// focal individual so that a position's planes lie side by side: per local
// position p a block of 2 x `words` words, word by word the gametes
// carrying the focal gamete 1's code there, then those carrying gamete
// 2's. `ones` is a block with every bit set: it stands for the focal
// position, where every gamete counted matches. `valid` holds the gametes
// of the other individuals.
struct FocalPlanes {
    std::uint64_t const* eq = nullptr;
    std::uint64_t const* ones = nullptr;
    std::uint64_t const* valid = nullptr;
    int words = 0;
    std::uint64_t const* block(int p) const { return eq + 2 * static_cast<long>(words) * p; }
    // The block of position p, the focal position L read as all ones.
    std::uint64_t const* at(int p, int L) const { return p == L ? ones : block(p); }
};

// Every matching gamete counts 1 (no missing data in the sample); codes are
// compared as they are, a missing one as one more code. Counts every window
// of the set around focal position L.
void count_plain(FocalPlanes const& focal, int L, WindowSet const& windows, SubHaplCounts* out);

// The windows a later visit of the simple update may read, around focal
// position L: the base [s, e] (L inside), the base extended by position x
// (x = e + 1 or s - 1; -1: no extension), and one of the two less one end.
struct VisitWindows {
    int L = 0;
    int s = 0;
    int e = 0;
    int x = -1;
};

// The gametes of one word with no difference (z) and with one (o) from
// each focal context over the positions folded so far.
struct Matches {
    Pair z = {~std::uint64_t{0}, ~std::uint64_t{0}};
    Pair o = {0, 0};
    // One more position; eq: the gametes equal to each context there.
    void fold(Pair eq) {
        o = (o & eq) | (z & ~eq);
        z &= eq;
    }
    // The matches of other, disjoint positions joined in: one difference
    // on either side and none on the other.
    void join(Matches const& other) {
        o = (o & other.z) | (z & other.o);
        z &= other.z;
    }
};

// A visit's words of gametes (count_visit): those that count for the focal
// gamete 1's allele (xa) or else for gamete 2's (xb), and the matches over
// the core (the base's positions but its ends and L), the core and the end
// e, the base and the extended window. count_visit_window reads the first
// two.
struct VisitWord {
    std::uint64_t xa, xb;
    Matches core, withE, base, grown;
};

// The entries of `kept` a visit's count needs for a sample of `words`
// words of gametes.
inline int visit_entries(int words) { return words + 1; }

// The base and, when v.x >= 0, the extended window, in one pass; keeps in
// kept[0 .. visit_entries(focal.words)) what count_visit_window reads. `eq` is focal.eq,
// writable: while the windows are folded, the block of the focal position
// L reads as all ones (so that one loop folds the core, without a test for
// L), its planes put aside in `aside` (2 x focal.words words), and back
// when the count ends.
void count_visit(FocalPlanes const& focal, VisitWindows const& v, std::uint64_t* eq, std::uint64_t* aside,
                 VisitWord* kept, SubHaplCounts& base, SubHaplCounts& extended);

// The window [lo, hi] (the base or the extended window less one end) of
// the visit count_visit counted last, the planes unchanged since.
void count_visit_window(VisitWord const* kept, FocalPlanes const& focal, VisitWindows const& v, int lo, int hi,
                        SubHaplCounts& out);

// The two kernels above come in two builds that give the same counts: the
// portable one, and one in wide registers with a vector popcount
// (vosk_counts_wide.cpp) for processors that have those (wide::available());
// count_visit and count_visit_window take the wide one when they can.
namespace portable {
void count_visit(FocalPlanes const& focal, VisitWindows const& v, std::uint64_t* eq, std::uint64_t* aside,
                 VisitWord* kept, SubHaplCounts& base, SubHaplCounts& extended);
void count_visit_window(VisitWord const* kept, FocalPlanes const& focal, VisitWindows const& v, int lo, int hi,
                        SubHaplCounts& out);
}  // namespace portable
namespace wide {
bool available();
void count_visit(FocalPlanes const& focal, VisitWindows const& v, std::uint64_t* eq, std::uint64_t* aside,
                 VisitWord* kept, SubHaplCounts& base, SubHaplCounts& extended);
void count_visit_window(VisitWord const* kept, FocalPlanes const& focal, VisitWindows const& v, int lo, int hi,
                        SubHaplCounts& out);
}  // namespace wide

// The same counts read from the columns, gamete by gamete: for samples
// whose planes would take too much memory.
void count_plain_columns(GameteColumns const& columns, Focal const& focal, WindowSet const& windows,
                         SubHaplCounts* out);

// Missing data in the sample: a gamete counts by the share of the window it
// can be compared on, near matches also by the weight of the differing
// locus (siteWeight, one per locus; null for weights of 1). Added gamete by
// gamete in column order.
void count_missing(GameteColumns const& columns, Focal const& focal, WindowSet const& windows, double const* siteWeight,
                   SubHaplCounts* out);

}  // namespace quintle::vosk
