#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "core/numerics.h"
#include "data/HaploDef.h"
#include "popstats/PopGenetics.h"
#include "popstats/mismatch.h"
#include "run/settings.h"

namespace quintle {
namespace {


// A sample of haplotypes with the given copy counts and a distance matrix
// filled below the diagonal from `below` (row by row: (1,0), (2,0), (2,1), ...).
struct MismatchSample {
    std::vector<std::unique_ptr<HaploDef>> defs;
    PopGenetics p;

    MismatchSample(std::vector<int> const& counts, std::vector<double> const& below, int maxDistance) {
        const int n = static_cast<int>(counts.size());
        p.distMat = std::make_unique<RectMat>(n, n);
        std::size_t next = 0;
        for (int i = 0; i < n; ++i) {
            defs.push_back(std::make_unique<HaploDef>());
            defs.back()->data = "ACGT";
            p.haplotypes.Add(new PHaploDef{defs.back().get(), counts[static_cast<std::size_t>(i)]});
            for (int j = 0; j < i; ++j) (*p.distMat)(i, j) = below.at(next++);
        }
        p.NbHaplotypeEntries = n;
        p.maxPairwiseDistance = maxDistance;
    }

    int run() {
        std::fstream none;  // opened on nothing, as the drivers pass it
        settings s;
        return p.compute_mm_distr(none, s);
    }
};

std::vector<std::int64_t> obs_of(PopGenetics const& p) { return {p.mismatchObs.begin(), p.mismatchObs.end()}; }

TEST(Mismatch, WorkedSampleByHand) {
    // A x2, B x3, C x1; d(A,B) = 3, d(A,C) = 1, d(B,C) = 2.7 (class 2).
    // Pairs: within A 1, within B 3 (class 0); A-C 2 (class 1); B-C 3
    // (class 2); A-B 6 (class 3). 15 pairs, sum k h_k = 26, sum k^2 h_k = 68.
    MismatchSample m({2, 3, 1}, {3.0, 1.0, 2.7}, 3);
    EXPECT_EQ(m.run(), 1);
    EXPECT_EQ(obs_of(m.p), (std::vector<std::int64_t>{4, 2, 3, 6, 0, 0, 0}));
    EXPECT_NEAR(m.p.mismatchMean, 26.0 / 15.0, 1e-12);
    EXPECT_NEAR(m.p.mismatchVar, (68.0 - 26.0 * 26.0 / 15.0) / 14.0, 1e-12);
    // ((2-4)^2 + (3-2)^2 + (6-3)^2 + 6^2) / 15^2
    EXPECT_NEAR(m.p.mismatchRaggedness, 50.0 / 225.0, 1e-12);
    // Variance below the mean: theta0 = 0, tau = mean, no expected counts, no test.
    EXPECT_EQ(m.p.mismatchTheta0, 0.0);
    EXPECT_NEAR(m.p.mismatchTau, 26.0 / 15.0, 1e-12);
    EXPECT_EQ(m.p.mismatchExp, std::vector<double>(7, 0.0));
    EXPECT_EQ(m.p.lastExpMismatchClass, 0);
    EXPECT_EQ(m.p.mismatchChi2, 0.0);
    EXPECT_EQ(m.p.mismatchChi2P, 0.0);
    EXPECT_EQ(m.p.mismatchChi2Df, 0);
}

TEST(Mismatch, ExpectedCountsUnderSuddenExpansion) {
    // 3 + 3 copies at distance 6: h_0 = 6, h_6 = 9; mean 3.6, variance
    // (324 - 194.4) / 14, theta0 = sqrt(var - mean), tau = mean - theta0.
    MismatchSample m({3, 3}, {6.0}, 6);
    m.run();
    const double T = 15, mean = 3.6, var = (324.0 - 54.0 * 54.0 / 15.0) / 14.0;
    const double th = std::sqrt(var - mean), tau = mean - th;
    EXPECT_NEAR(m.p.mismatchTheta0, th, 1e-12);
    EXPECT_NEAR(m.p.mismatchTau, tau, 1e-12);
    ASSERT_EQ(m.p.mismatchExp.size(), 13u);
    int last = 0;
    for (int i = 0; i <= 12; ++i) {
        double sum = 0;
        for (int j = 0; j <= i; ++j) sum += std::pow(tau * (th + 1) / th, j) / std::tgamma(j + 1.0);
        const double e = T * std::pow(th, i) / std::pow(th + 1, i + 1) * std::exp(-tau) * sum;
        EXPECT_NEAR(m.p.mismatchExp[static_cast<std::size_t>(i)], e, 1e-10 * T) << i;
        if (e > 1e-5) last = i;
    }
    EXPECT_EQ(m.p.lastExpMismatchClass, last);
}

// Far beyond tau the inner sum passes the double range while the power
// vanishes: every expected count is still a number, and the right one. The
// classes where the plain product stays finite keep its value to the bit.
// References (1000 pairs, theta0 = 0.1, tau = 200): mpmath at 50 digits,
// total*(th/(th+1))**i/(th+1)*exp(-tau)*sum((tau*(th+1)/th)**k/factorial(k)
// for k in range(i+1)); the last class above 1e-5 is 281.
TEST(Mismatch, ExpectedCountsFarBeyondTauAreNumbers) {
    const double total = 1000.0, th = 0.1, tau = 200.0;
    std::vector<double> expected(400, -1.0);
    const int last = mismatch_expected(total, th, tau, expected);
    struct Reference {
        int i;
        double e;
    } const references[] = {{100, 1.7901952231008752e-12}, {150, 0.033726417186885546}, {200, 28.196319418040113},
                            {210, 21.625890968377017},      {230, 3.1243381490257363},   {260, 0.0069004880620056896},
                            {300, 9.6948171831353671e-9},   {399, 1.2393119521196494e-32}};
    for (Reference const& r : references) EXPECT_NEAR(expected[static_cast<std::size_t>(r.i)], r.e, 1e-9 * r.e) << r.i;
    for (double e : expected) EXPECT_TRUE(std::isfinite(e));
    EXPECT_EQ(last, 281);

    // The plain product, where it is finite.
    const double lnPower = std::log(th / (th + 1.0)), lnRatio = std::log(tau * (th + 1.0) / th);
    double sum = 1.0;
    for (int j = 0; j < 400; ++j) {
        if (j > 0) sum += std::exp(j * lnRatio - factln(j));
        const double plain = total * std::exp(j * lnPower) / (th + 1.0) * std::exp(-tau) * sum;
        if (std::isfinite(plain)) {
            EXPECT_EQ(expected[static_cast<std::size_t>(j)], plain) << j;
        }
    }
}

TEST(Mismatch, ListingMatchesCountsAndFormat) {
    auto dir = std::filesystem::temp_directory_path() / ("quintle_mismatch_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto file = dir / "pairs.txt";
    std::vector<std::int64_t> viaListing(7), viaCounts(7);
    {
        MismatchSample m({2, 3, 1}, {3.0, 1.0, 2.7}, 3);
        std::fstream out(file, std::ios::out | std::ios::trunc);
        settings s;
        m.p.compute_mm_distr(out, s);
        viaListing = obs_of(m.p);
    }
    MismatchSample plain({2, 3, 1}, {3.0, 1.0, 2.7}, 3);
    plain.run();
    viaCounts = obs_of(plain.p);
    EXPECT_EQ(viaListing, viaCounts);

    // A tiny listing written out by hand: A x2, B x1 at distance 3.
    {
        MismatchSample m({2, 1}, {3.0}, 3);
        std::fstream out(file, std::ios::out | std::ios::trunc);
        settings s;
        m.p.compute_mm_distr(out, s);
        EXPECT_EQ(obs_of(m.p), (std::vector<std::int64_t>{1, 0, 0, 2, 0, 0, 0}));
    }
    std::ifstream in(file);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    std::filesystem::remove_all(dir);
    EXPECT_EQ(text, "   0.0\n   0.0   0.0\n   3.0   3.0   0.0\n");
}

TEST(Mismatch, LargeCountsDoNotOverflow) {
    // 70000 x 70000 pairs at distance 1 and 2 x 70000 x 69999 / 2 within:
    // both beyond 32 bits.
    MismatchSample m({70000, 70000}, {1.0}, 1);
    m.run();
    EXPECT_EQ(obs_of(m.p), (std::vector<std::int64_t>{4899930000LL, 4900000000LL, 0}));
    EXPECT_NEAR(m.p.mismatchMean, 4900000000.0 / 9799930000.0, 1e-12);
}


// A matrix held by classes counts the same pairs into the same classes as
// the same matrix written out in full: pairs between classes, between two
// entries of a class, and within an entry; a value without a class is
// passed over (and said so) in both.
TEST(Mismatch, ClassModeCountsTheSamePairs) {
    const std::vector<int> counts = {2, 3, 1, 4, 0, 2};
    for (double odd : {2.0, -1.0}) {
        RectMat d(0, 0);
        ASSERT_TRUE(d.make_classed({0, 1, 0, 2, 1, 0}, 3));
        d.below(1, 0) = 3.0;
        d.below(2, 0) = 1.0;
        d.below(2, 1) = odd;
        d.below(0, 0) = 0.0;
        d.below(1, 1) = 2.5;
        RectMat full(6, 6);
        for (int i = 0; i < 6; ++i)
            for (int j = 0; j < 6; ++j) full(i, j) = d(i, j);
        std::vector<std::int64_t> byClass(5), byEntry(5);
        const long skippedByClass = count_mismatch_pairs(counts, d, 4, byClass);
        const long skippedByEntry = count_mismatch_pairs(counts, full, 4, byEntry);
        EXPECT_EQ(byClass, byEntry) << odd;
        EXPECT_EQ(skippedByClass > 0, skippedByEntry > 0) << odd;
        EXPECT_EQ(skippedByClass > 0, odd < 0) << odd;
    }
    // By hand, copies of the classes: {0: 2 + 1 + 2, 1: 3 + 0, 2: 4}; within
    // entries 1 + 3 + 6 + 1 = 11 pairs at 0, within class 0 2 + 4 + 2 = 8 at
    // 0, class 1 with itself 0 pairs; 5 * 3 at 3, 5 * 4 at 1, 3 * 4 at 2.
    RectMat d(0, 0);
    ASSERT_TRUE(d.make_classed({0, 1, 0, 2, 1, 0}, 3));
    d.below(1, 0) = 3.0;
    d.below(2, 0) = 1.0;
    d.below(2, 1) = 2.0;
    std::vector<std::int64_t> obs(5);
    EXPECT_EQ(count_mismatch_pairs(counts, d, 4, obs), 0);
    EXPECT_EQ(obs, (std::vector<std::int64_t>{19, 20, 12, 15, 0}));
}

}  // namespace
}  // namespace quintle
