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
    // individual's local positions coreLo .. coreHi, with the planes of the
    // gametes equal to its gamete 1 (eqA[p]) and gamete 2 (eqB[p]) at
    // position p; at the focal position a plane of all gametes, as every
    // gamete counted matches there.
    int const* coreLoci = nullptr;
    int const* coreA = nullptr;
    int const* coreB = nullptr;
    int coreCount = 0;
    std::uint64_t const* const* eqA = nullptr;
    std::uint64_t const* const* eqB = nullptr;
    int coreLo = 0;
    int coreHi = -1;
    // A plane of all gametes (words long), for extra positions a set lacks.
    std::uint64_t const* all = nullptr;
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

// Gametes as bit planes: for a locus and a code, one bit per gamete (64 per
// word), set where the gamete carries that code. At the focal locus: the
// planes of the focal gametes' codes, and the gametes of the other
// individuals (`valid`).
struct FocalPlanes {
    std::uint64_t const* eqA = nullptr;
    std::uint64_t const* eqB = nullptr;
    std::uint64_t const* valid = nullptr;
    int words = 0;
};

// What the loci every window of a set holds leave, per word of gametes:
// the gametes that count for the focal gamete 1's allele (xa) or else for
// gamete 2's (xb), and those with no (z) or one (o) difference from the
// focal contexts A and B over those loci. A window of the set is counted
// from it at the cost of its own extra loci.
struct CoreWord {
    std::uint64_t xa, xb, zA, oA, zB, oB;
};

// Every matching gamete counts 1 (no missing data in the sample); codes are
// compared as they are, a missing one as one more code. Counts windows
// 0 .. now-1 of the set into out, and leaves the set's core in
// core[0 .. focal.words) for count_plain_later.
void count_plain(FocalPlanes const& focal, WindowSet const& windows, int now, SubHaplCounts* out, CoreWord* core);

// Window k of the set whose core count_plain kept (the planes unchanged
// since).
void count_plain_later(CoreWord const* core, int words, WindowSet const& windows, int k, SubHaplCounts& out);

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
