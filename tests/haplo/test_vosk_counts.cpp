// The sub-haplotype counts of the phasing sampler: a window of four
// individuals worked out by hand (both variants, missing data, site
// weights), then the optimised counts against a plain transcription of the
// rule on random samples, windows and phases.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "haplo/TGenotIndividual.h"
#include "haplo/TGenotSample.h"
#include "haplo/vosk_counts.h"
#include "support/process_state.h"
#include "vosk_test_support.h"

namespace quintle {
namespace {

using vosk::SubHaplCounts;
// N_Aa, N_Ab, N_Ba, N_Bb, M_Aa, M_Ab, M_Ba, M_Bb.
using Eight = std::array<double, 8>;

Eight eight(SubHaplCounts const& c) { return {c.N[0], c.N[1], c.N[2], c.N[3], c.M[0], c.M[1], c.M[2], c.M[3]}; }

// The focal individual i1 and three others; every locus local at its own
// position (negative influence zone), site weights 1, 0.5, 0.25 and 2.
class VoskHandWindow : public ::testing::Test {
protected:
    void SetUp() override {
        d.add("ACA?", "?TGC");  // focal
        d.add("ACAC", "GTGT");
        d.add("AT?C", "GCGC");
        d.add("?CGC", "A?AT");
        s = d.sample();
        s->phasing.winAroundHetSites = -1;
        s->current[0].checkIfAmbiguousAndFillArrays(s->phasing.winAroundHetSites);
        double const w[4] = {1.0, 0.5, 0.25, 2.0};
        TGenotIndividual::createAndFillSiteWeight(s->phasing.siteWeight, w, 4);
    }
    Eight plain(int start, int length, int L) {
        s->computeSubHaplFreqsHetAndHom(start, s->current[0].localList.data(), 0, length, L);
        return eight(s->counts);
    }
    Eight missing(int start, int length, int L) {
        s->computeSubHaplFreqsNoHetMissData(start, s->current[0].localList.data(), 0, length, L);
        return eight(s->counts);
    }

    test::ProfileGuard profile{DNA};
    vosk_test::Individuals d{4};
    std::unique_ptr<TGenotSample> s;
};

// Worked out gamete by gamete (and again with a separate python3
// transcription of the rule): e.g. at locus 1 over the whole window, i2's
// first gamete ACAC carries the focal gamete 1's allele C, matches ACA? where
// that is known (weight (4 - 1) / 4 for the missing locus 3) and differs from
// ?TGC once, at locus 2 (weight 3 / 4 times the site weight 0.25).
TEST_F(VoskHandWindow, MissingDataVariant) {
    EXPECT_EQ(missing(0, 4, 1), (Eight{1.25, 1.0, 1.5, 0.5, 0.125, 0.0, 0.1875, 1.5}));
    // The focal gamete 2 is missing at locus 0: gametes with another allele
    // there count for it with weights lowered by one locus.
    EXPECT_EQ(missing(0, 4, 0), (Eight{1.25, 0.0, 0.75, 0.0, 0.375, 0.25, 0.375, 2.25}));
    EXPECT_EQ(missing(1, 2, 1), (Eight{1.5, 1.0, 2.0, 1.5, 0.5, 0.25, 0.375, 0.125}));
}

TEST_F(VoskHandWindow, PlainVariantComparesMissingCodesAsValues) {
    EXPECT_EQ(plain(0, 4, 1), (Eight{0, 0, 1, 0, 1, 0, 1, 0}));
    EXPECT_EQ(plain(1, 2, 1), (Eight{1, 0, 2, 1, 2, 2, 1, 1}));
}

TEST_F(VoskHandWindow, CountsFollowExchanges) {
    // i2 exchanged at locus 2 carries ACGC and GTAT: at locus 1 over loci
    // 1-2 its first gamete then counts near for A (G against A) and exact
    // for B, its second near for B and exact for A.
    s->current[1].exchangeAt(2);
    EXPECT_EQ(plain(1, 2, 1), (Eight{0, 1, 3, 0, 3, 1, 0, 2}));
    s->current[1].exchangeAt(2);
    EXPECT_EQ(plain(1, 2, 1), (Eight{1, 0, 2, 1, 2, 2, 1, 1}));
}

// ---------------------------------------------------------------------------
// Random samples against the rule written out plainly.

struct Codes {
    std::vector<int> const& a;  // focal gamete 1, by locus
    std::vector<int> const& b;
};

Eight reference_counts(TGenotSample const& S, int f, int start, int length, int L, bool missing) {
    TGenotIndividual const& F = S.current[static_cast<std::size_t>(f)];
    std::vector<int> const& A = F.gamete1.alleles;
    std::vector<int> const& B = F.gamete2.alleles;
    int const G = F.localList[static_cast<std::size_t>(L)];
    std::vector<int> context;
    for (int p = start; p < start + length; ++p)
        if (p != L) context.push_back(F.localList[static_cast<std::size_t>(p)]);
    std::vector<double> const& weight = S.phasing.siteWeight;
    Eight r{};
    for (int i = 0; i < S.numIndividuals; ++i) {
        if (i == f) continue;
        for (int which = 0; which < 2; ++which) {
            TGenotIndividual const& O = S.current[static_cast<std::size_t>(i)];
            std::vector<int> const& g = which == 0 ? O.gamete1.alleles : O.gamete2.alleles;
            int const x = g[static_cast<std::size_t>(G)];
            int const a = A[static_cast<std::size_t>(G)];
            int const b = B[static_cast<std::size_t>(G)];
            if (!missing) {
                if (x != a && x != b) continue;
                int mA = 0, mB = 0;
                for (int l : context) {
                    mA += g[static_cast<std::size_t>(l)] != A[static_cast<std::size_t>(l)];
                    mB += g[static_cast<std::size_t>(l)] != B[static_cast<std::size_t>(l)];
                }
                int const s = x == a ? 0 : 1;
                if (mA == 0) r[static_cast<std::size_t>(s)] += 1;
                if (mA == 1) r[static_cast<std::size_t>(4 + s)] += 1;
                if (mB == 0) r[static_cast<std::size_t>(2 + s)] += 1;
                if (mB == 1) r[static_cast<std::size_t>(6 + s)] += 1;
                continue;
            }
            int wA = length, wB = length, mA = 0, mB = 0, dA = -1, dB = -1;
            for (int l : context) {
                int const c = g[static_cast<std::size_t>(l)];
                if (c == -1) {
                    --wA, --wB;
                    continue;
                }
                if (A[static_cast<std::size_t>(l)] == -1)
                    --wA;
                else if (c != A[static_cast<std::size_t>(l)] && mA++ == 0)
                    dA = l;
                if (B[static_cast<std::size_t>(l)] == -1)
                    --wB;
                else if (c != B[static_cast<std::size_t>(l)] && mB++ == 0)
                    dB = l;
            }
            bool forA = false, forB = false;
            int lower = 0;
            if (x != -1 && a != -1 && x != a) {
                if (b != -1 && x != b) continue;
                forB = true;
                lower = b == -1 ? 1 : 0;
            } else if (x != -1 && a != -1) {
                forA = true;
            } else {
                forA = forB = true;
                lower = 1;
            }
            double const wa = static_cast<double>(wA - lower) / length;
            double const wb = static_cast<double>(wB - lower) / length;
            for (int s = 0; s < 2; ++s) {
                if ((s == 0 && !forA) || (s == 1 && !forB)) continue;
                if (mA == 0) r[static_cast<std::size_t>(s)] += wa;
                if (mA == 1) r[static_cast<std::size_t>(4 + s)] += wa * weight[static_cast<std::size_t>(dA)];
                if (mB == 0) r[static_cast<std::size_t>(2 + s)] += wb;
                if (mB == 1) r[static_cast<std::size_t>(6 + s)] += wb * weight[static_cast<std::size_t>(dB)];
            }
        }
    }
    return r;
}

void expect_near_all(Eight const& got, Eight const& want) {
    for (std::size_t k = 0; k < 8; ++k) EXPECT_DOUBLE_EQ(got[k], want[k]) << "result " << k;
}

TEST(VoskCounts, AgreeWithThePlainRuleOnRandomSamples) {
    test::ProfileGuard profile(DNA);
    std::mt19937 rng(20250);
    for (int round = 0; round < 24; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        int const nLoci = 3 + static_cast<int>(rng() % 10);
        // Up to 70 individuals: more than one word of 64 gametes.
        int const n = 3 + static_cast<int>(rng() % 68);
        double const missingRate = round % 3 == 0 ? 0.0 : 0.08;
        vosk_test::Individuals d(nLoci);
        std::uniform_real_distribution<double> unit(0.0, 1.0);
        auto allele = [&] { return unit(rng) < missingRate ? "?" : std::string(1, "ACGT"[rng() % 3]); };
        for (int i = 0; i < n; ++i) {
            vosk_test::Gamete g1, g2;
            for (int l = 0; l < nLoci; ++l) g1.push_back(allele()), g2.push_back(allele());
            d.add(g1, g2);
        }
        auto S = d.sample();
        int const P = S->numPolymorphic;
        if (P == 0) continue;
        int const zones[4] = {-1, 0, 2, 5};
        S->phasing.winAroundHetSites = zones[round % 4];
        std::vector<double> w(static_cast<std::size_t>(P));
        for (double& x : w) x = 0.25 + unit(rng);
        TGenotIndividual::createAndFillSiteWeight(S->phasing.siteWeight, w.data(), P);
        for (TGenotIndividual& g : S->current) g.checkIfAmbiguousAndFillArrays(S->phasing.winAroundHetSites);
        for (int probe = 0; probe < 40; ++probe) {
            // Random exchanges keep the counting copies in step.
            for (int k = 0; k < 3; ++k)
                S->current[rng() % static_cast<unsigned>(n)].exchangeAt(
                    static_cast<int>(rng() % static_cast<unsigned>(P)));
            int const f = static_cast<int>(rng() % static_cast<unsigned>(n));
            int const lc = S->current[static_cast<std::size_t>(f)].localCount;
            if (lc == 0) continue;
            int const L = static_cast<int>(rng() % static_cast<unsigned>(lc));
            int const start = static_cast<int>(rng() % static_cast<unsigned>(L + 1));
            int const length = L - start + 1 + static_cast<int>(rng() % static_cast<unsigned>(lc - L));
            int* local = S->current[static_cast<std::size_t>(f)].localList.data();
            S->computeSubHaplFreqsHetAndHom(start, local, f, length, L);
            expect_near_all(eight(S->counts), reference_counts(*S, f, start, length, L, false));
            S->computeSubHaplFreqsNoHetMissData(start, local, f, length, L);
            expect_near_all(eight(S->counts), reference_counts(*S, f, start, length, L, true));
        }
    }
}

// The windows of one later visit are counted in one pass: each must give
// what a count of its own gives, to the last bit.
TEST(VoskCounts, WindowsCountedTogetherEqualWindowsCountedAlone) {
    test::ProfileGuard profile(DNA);
    std::mt19937 rng(77);
    for (bool withMissing : {false, true}) {
        vosk_test::Individuals d(12);
        for (int i = 0; i < 90; ++i) {
            vosk_test::Gamete g1, g2;
            for (int l = 0; l < 12; ++l) {
                g1.push_back(withMissing && rng() % 9 == 0 ? "?" : std::string(1, "AG"[rng() % 2]));
                g2.push_back(std::string(1, "CT"[rng() % 2]));
            }
            d.add(g1, g2);
        }
        auto S = d.sample();
        S->phasing.winAroundHetSites = -1;
        std::vector<double> const ones(12, 1.0);
        TGenotIndividual::createAndFillSiteWeight(S->phasing.siteWeight, ones.data(), 12);
        for (TGenotIndividual& g : S->current) {
            g.checkIfAmbiguousAndFillArrays(S->phasing.winAroundHetSites);
            if (g.hasMissing) S->anyMissing = true;
        }
        for (int probe = 0; probe < 60; ++probe) {
            int const f = static_cast<int>(rng() % 90);
            int const L = 2 + static_cast<int>(rng() % 7);
            int const s = L - static_cast<int>(rng() % 3);
            int const n = L - s + 1 + static_cast<int>(rng() % 3);
            // Base, grown right, and those of less its left or right end
            // that still hold L.
            std::vector<TGenotSample::WindowRequest> chosen = {{s, n}, {s, n + 1}};
            if (s != L) chosen.push_back({s + 1, n - 1}), chosen.push_back({s + 1, n});
            if (s + n - 1 != L) chosen.push_back({s, n - 1});
            int const k = static_cast<int>(chosen.size());
            TGenotSample::Evaluation together[5];
            S->evaluateWindows(f, L, chosen.data(), k, together);
            for (int j = 0; j < k; ++j) {
                TGenotSample::Evaluation const alone = S->evaluateWindow(f, L, chosen[j].start, chosen[j].length);
                EXPECT_EQ(together[j].keep, alone.keep);
                EXPECT_EQ(together[j].swap, alone.swap);
                EXPECT_EQ(together[j].mass, alone.mass);
            }
        }
    }
}

// A later visit: the base and the extended window counted at once, a
// shrunk window afterwards from what their count left. Each must give what
// a count of its own gives, to the last bit, also when the focal position
// is an end of the base, without an extension, with missing data, and for
// one, two and three words of gametes; and the visit must leave the focal
// planes as it found them (it reads the focal position as all ones while
// it counts).
TEST(VoskCounts, WindowsOfAVisitEqualWindowsCountedAlone) {
    test::ProfileGuard profile(DNA);
    std::mt19937 rng(91);
    for (auto [withMissing, n] : {std::pair{false, 20}, {false, 50}, {false, 70}, {true, 50}}) {
        vosk_test::Individuals d(12);
        for (int i = 0; i < n; ++i) {
            vosk_test::Gamete g1, g2;
            for (int l = 0; l < 12; ++l) {
                g1.push_back(withMissing && rng() % 9 == 0 ? "?" : std::string(1, "AG"[rng() % 2]));
                g2.push_back(std::string(1, "CT"[rng() % 2]));
            }
            d.add(g1, g2);
        }
        auto S = d.sample();
        S->phasing.winAroundHetSites = -1;
        std::vector<double> const ones(12, 1.0);
        TGenotIndividual::createAndFillSiteWeight(S->phasing.siteWeight, ones.data(), 12);
        for (TGenotIndividual& g : S->current) {
            g.checkIfAmbiguousAndFillArrays(S->phasing.winAroundHetSites);
            if (g.hasMissing) S->anyMissing = true;
        }
        auto alone = [&](int f, int L, int lo, int hi) {
            TGenotSample::WindowRequest const r{lo, hi - lo + 1};
            SubHaplCounts c;
            S->countWindows(f, L, &r, 1, &c);
            return eight(c);
        };
        for (int probe = 0; probe < 120; ++probe) {
            int const f = static_cast<int>(rng() % static_cast<unsigned>(n));
            int const s = 1 + static_cast<int>(rng() % 8);
            int const e = s + static_cast<int>(rng() % 3);
            int const L = s + static_cast<int>(rng() % static_cast<unsigned>(e - s + 1));
            int const side = static_cast<int>(rng() % 3);  // none, right, left
            int const x = side == 0 ? -1 : side == 1 ? e + 1 : s - 1;
            vosk::VisitWindows const v{L, s, e, x};
            SubHaplCounts base, grown;
            S->countVisit(f, v, base, grown);
            EXPECT_EQ(eight(base), alone(f, L, s, e)) << "base, focal " << f << ", L " << L;
            if (x >= 0) {
                EXPECT_EQ(eight(grown), alone(f, L, std::min(s, x), std::max(e, x))) << "extended";
            }
            // The shrunk windows the visit may read: base or extended window
            // less an end that is not L (nor the position just grown).
            std::vector<std::pair<int, int>> shrunk;
            if (s != L && s < e) shrunk.push_back({s + 1, e});
            if (e != L && s < e) shrunk.push_back({s, e - 1});
            if (x == e + 1 && s != L) shrunk.push_back({s + 1, e + 1});
            if (x == s - 1 && e != L) shrunk.push_back({s - 1, e - 1});
            for (auto [lo, hi] : shrunk) {
                SubHaplCounts later;
                S->countVisitWindow(f, v, lo, hi, later);
                EXPECT_EQ(eight(later), alone(f, L, lo, hi)) << lo << "-" << hi << ", focal " << f << ", L " << L;
            }
            // The planes as found: the same counts for another focal
            // position, also against the plain rule.
            int const L2 = static_cast<int>(rng() % 12);
            expect_near_all(alone(f, L2, 0, 11), reference_counts(*S, f, 0, 12, L2, withMissing));
        }
    }
}

// Two sets of positions folded apart and joined give the matches of all of
// them folded in turn. Four gametes (bits 0..3, the same in both lanes),
// differences per gamete counted by hand: over positions 1 and 2 bit 0 has
// none, bit 1 one, bit 2 two, bit 3 one; over position 3 bits 0 and 2 have
// one. All three: bit 0 one, bit 1 one, bit 2 three, bit 3 one.
TEST(VoskCounts, MatchesOfTwoPartsJoinedEqualOneFold) {
    auto lanes = [](std::uint64_t bits) { return vosk::Pair{bits, bits}; };
    vosk::Matches first, second, all;
    // A set bit: the gamete equals the focal context there (the bits above
    // 3 differ everywhere and never match).
    for (std::uint64_t eq : {0b1001u, 0b0011u}) {  // position 1: bits 1, 2 differ; position 2: bits 2, 3
        first.fold(lanes(eq));
        all.fold(lanes(eq));
    }
    EXPECT_EQ(first.z[0], std::uint64_t{0b0001});
    EXPECT_EQ(first.o[0], std::uint64_t{0b1010});
    second.fold(lanes(0b1010u));  // position 3: bits 0 and 2 differ
    all.fold(lanes(0b1010u));
    first.join(second);
    for (int lane = 0; lane < 2; ++lane) {
        EXPECT_EQ(first.z[lane], std::uint64_t{0});
        EXPECT_EQ(first.o[lane], std::uint64_t{0b1011});
        EXPECT_EQ(first.z[lane], all.z[lane]);
        EXPECT_EQ(first.o[lane], all.o[lane]);
    }
}

// Windows of a visit whose core runs over many positions (its folding is
// split in two halves), every length from 1 to 14 positions, for samples of
// one, two and three words of gametes, against the plain rule.
TEST(VoskCounts, VisitsOfLongWindowsFollowThePlainRule) {
    test::ProfileGuard profile(DNA);
    std::mt19937 rng(577);
    constexpr int loci = 14;
    for (int n : {20, 50, 70}) {
        vosk_test::Individuals d(loci);
        for (int i = 0; i < n; ++i) {
            vosk_test::Gamete g1, g2;
            for (int l = 0; l < loci; ++l) {
                // Mostly alike, so that long windows still find matches.
                g1.push_back(std::string(1, rng() % 6 == 0 ? 'G' : 'A'));
                g2.push_back(std::string(1, rng() % 6 == 0 ? 'T' : 'C'));
            }
            d.add(g1, g2);
        }
        auto S = d.sample();
        S->phasing.winAroundHetSites = -1;
        std::vector<double> const ones(loci, 1.0);
        TGenotIndividual::createAndFillSiteWeight(S->phasing.siteWeight, ones.data(), loci);
        for (TGenotIndividual& g : S->current) g.checkIfAmbiguousAndFillArrays(S->phasing.winAroundHetSites);
        long matched = 0;
        for (int s = 0; s < loci; ++s) {
            for (int e = s; e < loci; ++e) {
                int const f = static_cast<int>(rng() % static_cast<unsigned>(n));
                int const L = s + static_cast<int>(rng() % static_cast<unsigned>(e - s + 1));
                int const x = e + 1 < loci ? e + 1 : s - 1;
                vosk::VisitWindows const v{L, s, e, x};
                SubHaplCounts base, grown;
                S->countVisit(f, v, base, grown);
                Eight const want = reference_counts(*S, f, s, e - s + 1, L, false);
                EXPECT_EQ(eight(base), want) << "n " << n << ", " << s << "-" << e << ", L " << L;
                for (double c : want) matched += c > 0.0 ? 1 : 0;
                if (x >= 0) {
                    int const lo = std::min(s, x);
                    int const hi = std::max(e, x);
                    EXPECT_EQ(eight(grown), reference_counts(*S, f, lo, hi - lo + 1, L, false))
                        << "extended, n " << n << ", " << lo << "-" << hi;
                }
            }
        }
        EXPECT_GT(matched, 0);  // the windows are not all empty
    }
}

// The copies of the focal individual's planes follow its own exchanges
// between visits, and are made anew after another individual's exchange.
TEST(VoskCounts, VisitCountsFollowExchanges) {
    test::ProfileGuard profile(DNA);
    std::mt19937 rng(17);
    for (int n : {20, 50, 70}) {
        vosk_test::Individuals d(10);
        for (int i = 0; i < n; ++i) {
            vosk_test::Gamete g1, g2;
            for (int l = 0; l < 10; ++l) {
                g1.push_back(std::string(1, "ACG"[rng() % 3]));
                g2.push_back(std::string(1, "ACG"[rng() % 3]));
            }
            d.add(g1, g2);
        }
        auto S = d.sample();
        int const P = S->numPolymorphic;
        S->phasing.winAroundHetSites = -1;
        for (TGenotIndividual& g : S->current) g.checkIfAmbiguousAndFillArrays(S->phasing.winAroundHetSites);
        int const f = 3;
        for (int probe = 0; probe < 60; ++probe) {
            // Mostly the focal individual, now and then another one.
            int const who = rng() % 4 == 0 ? static_cast<int>(rng() % static_cast<unsigned>(n)) : f;
            S->current[static_cast<std::size_t>(who)].exchangeAt(static_cast<int>(rng() % static_cast<unsigned>(P)));
            int const s = static_cast<int>(rng() % static_cast<unsigned>(P - 2));
            int const e = s + 1 + static_cast<int>(rng() % 2);
            int const L = s + static_cast<int>(rng() % static_cast<unsigned>(e - s + 1));
            SubHaplCounts base, grown;
            S->countVisit(f, vosk::VisitWindows{L, s, e, -1}, base, grown);
            EXPECT_EQ(eight(base), reference_counts(*S, f, s, e - s + 1, L, false))
                << "n " << n << ", probe " << probe << ", exchanged " << who;
        }
    }
}

// The column kernel (used when the bit planes would be too large) on its
// own against the plain rule.
TEST(VoskCounts, ColumnKernelAgreesWithThePlainRule) {
    std::mt19937 rng(5);
    int const loci = 6, rows = 50;
    std::vector<int> codes(static_cast<std::size_t>(loci * rows));
    for (int& c : codes) c = static_cast<int>(rng() % 3) - (rng() % 10 == 0 ? 3 : 0);  // some -1
    for (int trial = 0; trial < 50; ++trial) {
        int const focalRow = 2 * static_cast<int>(rng() % (rows / 2));
        auto at = [&](int l, int r) { return codes[static_cast<std::size_t>(l * rows + r)]; };
        int const G = static_cast<int>(rng() % loci);
        vosk::Focal const focal{G, at(G, focalRow), at(G, focalRow + 1)};
        std::vector<int> core, coreA, coreB;
        for (int l = 0; l < loci; ++l) {
            if (l == G || rng() % 3 == 0) continue;
            core.push_back(l);
            coreA.push_back(at(l, focalRow));
            coreB.push_back(at(l, focalRow + 1));
        }
        vosk::WindowSet w;
        w.coreLoci = core.data();
        w.coreA = coreA.data();
        w.coreB = coreB.data();
        w.coreCount = static_cast<int>(core.size());
        w.numWindows = 1;
        w.mask[0] = 0;
        w.length[0] = w.coreCount + 1;
        SubHaplCounts got;
        vosk::count_plain_columns(vosk::GameteColumns{codes.data(), rows, rows, focalRow}, focal, w, &got);
        Eight want{};
        for (int r = 0; r < rows; ++r) {
            if (r == focalRow || r == focalRow + 1) continue;
            int const x = at(G, r);
            if (x != focal.a && x != focal.b) continue;
            int const s = x == focal.a ? 0 : 1;
            int mA = 0, mB = 0;
            for (std::size_t t = 0; t < core.size(); ++t) {
                mA += at(core[t], r) != coreA[t];
                mB += at(core[t], r) != coreB[t];
            }
            if (mA == 0) want[static_cast<std::size_t>(s)] += 1;
            if (mA == 1) want[static_cast<std::size_t>(4 + s)] += 1;
            if (mB == 0) want[static_cast<std::size_t>(2 + s)] += 1;
            if (mB == 1) want[static_cast<std::size_t>(6 + s)] += 1;
        }
        EXPECT_EQ(eight(got), want);
    }
}

}  // namespace
}  // namespace quintle
