// The two builds of the visit kernels (portable, and wide registers where
// the processor has them) on bit planes made up at random, against a
// gamete-by-gamete count of the rule: each gamete of the other individuals
// counts for the focal allele it carries at L, exactly when it differs from
// the focal context nowhere else in the window, near when in one position.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <random>
#include <vector>

#include "haplo/vosk_counts.h"

namespace quintle {
namespace {

using vosk::SubHaplCounts;
using Eight = std::array<double, 8>;  // N then M, each Aa Ab Ba Bb

Eight eight(SubHaplCounts const& c) { return {c.N[0], c.N[1], c.N[2], c.N[3], c.M[0], c.M[1], c.M[2], c.M[3]}; }

// Planes of `positions` positions for a sample of `gametes` gametes; the
// last individual's two are the focal ones (left out of `valid`).
struct Planes {
    int words = 0;
    int gametes = 0;
    std::vector<std::uint64_t> eq, ones, valid;
    bool bit(int p, int lane, int r) const {
        return ((eq[static_cast<std::size_t>((p * words + r / 64) * 2 + lane)] >> (r % 64)) & 1u) != 0;
    }
    vosk::FocalPlanes view() const { return {eq.data(), ones.data(), valid.data(), words}; }
};

Planes random_planes(int gametes, int positions, std::mt19937& rng) {
    Planes p;
    p.gametes = gametes;
    p.words = (gametes + 63) / 64;
    p.eq.assign(static_cast<std::size_t>(2 * p.words * positions), 0);
    for (int pos = 0; pos < positions; ++pos)
        for (int lane = 0; lane < 2; ++lane)
            for (int r = 0; r < gametes; ++r)
                // Mostly equal, so that long windows still hold matches.
                if (rng() % 8 != 0)
                    p.eq[static_cast<std::size_t>((pos * p.words + r / 64) * 2 + lane)] |= std::uint64_t{1} << (r % 64);
    p.ones.assign(static_cast<std::size_t>(2 * p.words), ~std::uint64_t{0});
    p.valid.assign(static_cast<std::size_t>(p.words), 0);
    for (int r = 0; r + 2 < gametes; ++r) p.valid[static_cast<std::size_t>(r / 64)] |= std::uint64_t{1} << (r % 64);
    return p;
}

// The rule, gamete by gamete, over the window [lo, hi] around L.
Eight reference(Planes const& p, int L, int lo, int hi) {
    Eight out{};
    for (int r = 0; r + 2 < p.gametes; ++r) {
        int cls = -1;
        if (p.bit(L, 0, r))
            cls = 0;
        else if (p.bit(L, 1, r))
            cls = 1;
        if (cls < 0) continue;
        for (int lane = 0; lane < 2; ++lane) {
            int diffs = 0;
            for (int pos = lo; pos <= hi; ++pos) diffs += pos != L && !p.bit(pos, lane, r) ? 1 : 0;
            if (diffs <= 1) out[static_cast<std::size_t>(4 * diffs + 2 * lane + cls)] += 1.0;
        }
    }
    return out;
}

using VisitFn = void (*)(vosk::FocalPlanes const&, vosk::VisitWindows const&, std::uint64_t*, std::uint64_t*,
                         vosk::VisitWord*, SubHaplCounts&, SubHaplCounts&);
using WindowFn = void (*)(vosk::VisitWord const*, vosk::FocalPlanes const&, vosk::VisitWindows const&, int, int,
                          SubHaplCounts&);

// Every window of random visits (base, extension on either side or none,
// each shrunk window the sampler may read) for samples of one to five
// words of gametes, full and partial last words.
void check_kernels(VisitFn visit, WindowFn window, char const* name) {
    std::mt19937 rng(2027);
    constexpr int positions = 16;
    for (int gametes : {12, 64, 100, 128, 190, 300}) {
        Planes p = random_planes(gametes, positions, rng);
        std::vector<std::uint64_t> const before = p.eq;
        std::vector<std::uint64_t> aside(static_cast<std::size_t>(2 * p.words));
        std::vector<vosk::VisitWord> kept(static_cast<std::size_t>(vosk::visit_entries(p.words)));
        double matched = 0.0;
        for (int probe = 0; probe < 150; ++probe) {
            int const s = 1 + static_cast<int>(rng() % (positions - 2));
            int const e = s + static_cast<int>(rng() % static_cast<unsigned>(positions - 1 - s));
            int const L = s + static_cast<int>(rng() % static_cast<unsigned>(e - s + 1));
            int const side = static_cast<int>(rng() % 3);
            int const x = side == 0 ? -1 : side == 1 ? e + 1 : s - 1;
            vosk::VisitWindows const v{L, s, e, x};
            SubHaplCounts base, grown;
            vosk::FocalPlanes const f = p.view();
            visit(f, v, p.eq.data(), aside.data(), kept.data(), base, grown);
            ASSERT_EQ(p.eq, before) << name << ": the planes are left as found";
            Eight const want = reference(p, L, s, e);
            EXPECT_EQ(eight(base), want) << name << ", " << gametes << " gametes, " << s << "-" << e << ", L " << L;
            for (double c : want) matched += c;
            int const lo = x >= 0 ? std::min(s, x) : s;
            int const hi = x >= 0 ? std::max(e, x) : e;
            if (x >= 0) {
                EXPECT_EQ(eight(grown), reference(p, L, lo, hi)) << name << ", extended to " << x;
            }
            std::vector<std::array<int, 2>> shrunk;
            if (s != L && s < e) shrunk.push_back({s + 1, e});
            if (e != L && s < e) shrunk.push_back({s, e - 1});
            if (x == e + 1 && s != L) shrunk.push_back({s + 1, e + 1});
            if (x == s - 1 && e != L) shrunk.push_back({s - 1, e - 1});
            for (auto [a, b] : shrunk) {
                SubHaplCounts later;
                window(kept.data(), f, v, a, b, later);
                EXPECT_EQ(eight(later), reference(p, L, a, b)) << name << ", " << gametes << " gametes, " << a << "-"
                                                               << b << " of " << s << "-" << e << ", L " << L;
            }
        }
        EXPECT_GT(matched, 0.0) << "the windows are not all empty";
    }
}

TEST(VoskVisitKernels, PortableKernelsFollowTheRule) {
    check_kernels(vosk::portable::count_visit, vosk::portable::count_visit_window, "portable");
}

TEST(VoskVisitKernels, WideKernelsFollowTheRule) {
    if (!vosk::wide::available()) GTEST_SKIP() << "no wide registers with a vector popcount here";
    check_kernels(vosk::wide::count_visit, vosk::wide::count_visit_window, "wide");
}

// The kernels the sampler calls are one of the two.
TEST(VoskVisitKernels, DispatchedKernelsFollowTheRule) {
    check_kernels(vosk::count_visit, vosk::count_visit_window, "dispatched");
}

}  // namespace
}  // namespace quintle
