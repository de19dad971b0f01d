// Tests of the shared uniform generator and the deviates drawn from it.

#include "core/random.h"
#include "scratch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <utility>

#include "core/Errors.h"

namespace quintle {
namespace {

namespace fs = std::filesystem;

// First draws after seeding, as the integers behind U = value * 1e-9.
// Obtained once with a separate python3 program, an independent transcription
// of the subtractive method (table of 55, lags 24/55, modulus 1e9, seed
// constant 161803398), printing the first draws for each seed.
constexpr std::array<long, 8> kSeedMinus1 = {298227348, 715119168, 33021107,  874393600,
                                             534194424, 631586247, 891029795, 257547683};
constexpr std::array<long, 8> kSeedMinus5 = {355441340, 283560628, 560689623, 534929972,
                                             109893728, 481818919, 17846223,  119167683};
// Same program: the 10000th draw after seeding with -5.
constexpr long kSeedMinus5Draw10000 = 994625837;

double as_uniform(long v) { return static_cast<double>(v) * 1e-9; }

// A second, deliberately plain transcription of the subtractive generator
// (Knuth), used to follow long streams. Works on a 0-based ring of 55 values.
class ReferenceSubtractive {
public:
    explicit ReferenceSubtractive(long long seed) {
        const long long m = 1000000000LL;
        long long magnitude = seed < 0 ? -seed : seed;
        long long j = (161803398LL - magnitude) % m;  // C++ keeps the dividend's sign
        std::array<long long, 55> t{};
        t[54] = j;
        long long k = 1;
        for (int i = 1; i <= 54; ++i) {
            const int slot = (21 * i) % 55;  // 1-based slot
            t[slot - 1] = k;
            k = j - k;
            if (k < 0) k += m;
            j = t[slot - 1];
        }
        for (int pass = 0; pass < 4; ++pass) {
            for (int i = 1; i <= 55; ++i) {
                long long& x = t[i - 1];
                x -= t[(i + 30) % 55];  // slot 1 + (i + 30) mod 55, 0-based
                if (x < 0) x += m;
            }
        }
        table_ = t;
    }
    long long next_int() {
        a_ = a_ % 55 + 1;
        b_ = b_ % 55 + 1;
        long long v = table_[a_ - 1] - table_[b_ - 1];
        if (v < 0) v += 1000000000LL;
        table_[a_ - 1] = v;
        return v;
    }
    double next() { return static_cast<double>(next_int()) * 1e-9; }

private:
    std::array<long long, 55> table_{};
    int a_ = 0;
    int b_ = 31;
};

// A fresh temporary working directory with the message log opened in it, so
// that both the log lines and "randseed.txt" can be inspected; everything is
// restored and removed at the end.
class Sandbox {
public:
    Sandbox() : saved_cwd_(fs::current_path()), saved_aos_(_AOS_) {
        fs::current_path(dir_.path());
        E.init_log_file(my_string((dir_ / "log.txt").string().c_str()), false);
    }
    ~Sandbox() {
        E.CloseLog_file();
        _AOS_ = saved_aos_;
        fs::current_path(saved_cwd_);
    }
    std::string read(const char* name) const {
        _AOS_->flush();
        return scratch::read_file(dir_ / name);
    }
    std::string log() const { return read("log.txt"); }
    bool exists(const char* name) const { return fs::exists(dir_ / name); }

private:
    scratch::Dir dir_{"quintle_random"};
    fs::path saved_cwd_;
    std::ostream* saved_aos_;
};

double draw() {
    long one = 1;
    return ran3(&one);
}

// Seeds with a negative seed, discarding the log line; the seeding draw is consumed.
void seed_quietly(long seed) {
    std::ostringstream sink;
    std::ostream* saved = _AOS_;
    _AOS_ = &sink;
    initialize_ran3(seed);
    _AOS_ = saved;
}

// Sample mean and variance of `count` values of a deviate.
template <typename F>
std::pair<double, double> mean_and_variance(F f, int count) {
    double sum = 0.0;
    double sum2 = 0.0;
    for (int i = 0; i < count; ++i) {
        const double x = f();
        sum += x;
        sum2 += x * x;
    }
    const double mean = sum / count;
    return {mean, (sum2 - count * mean * mean) / (count - 1)};
}

// ---------------------------------------------------------------------------
// The uniform generator and its seeding

TEST(Ran3, NegativeSeedGivesReferenceStreamAfterTheSeedingDraw) {
    Sandbox box;
    initialize_ran3(-5);
    for (std::size_t i = 1; i < kSeedMinus5.size(); ++i) {
        EXPECT_EQ(draw(), as_uniform(kSeedMinus5[i])) << "draw " << i;
    }
    initialize_ran3(-161803398);  // the largest accepted magnitude
    EXPECT_EQ(box.log(),
              "Random generator initialized with seed=-5\n"
              "Random generator initialized with seed=-161803398\n");
    EXPECT_FALSE(box.exists("randseed.txt"));
}

TEST(Ran3, ArgumentSignDecidesReseeding) {
    long idum = -1;
    EXPECT_EQ(ran3(&idum), as_uniform(kSeedMinus1[0]));
    EXPECT_EQ(idum, 1);
    // Zero and positive arguments continue the stream and are left alone.
    long zero = 0;
    EXPECT_EQ(ran3(&zero), as_uniform(kSeedMinus1[1]));
    EXPECT_EQ(zero, 0);
    long seven = 7;
    EXPECT_EQ(ran3(&seven), as_uniform(kSeedMinus1[2]));
    EXPECT_EQ(seven, 7);
}

TEST(Ran3, LongStreamsFollowTheReferenceTranscription) {
    for (long seed : {-1L, -5L, -77L, -123456789L, -161803398L}) {
        ReferenceSubtractive ref(seed);
        long idum = seed;
        for (int i = 0; i < 20000; ++i) {
            const double got = ran3(&idum);
            ASSERT_EQ(got, ref.next()) << "seed " << seed << " draw " << i;
            ASSERT_GE(got, 0.0);
            ASSERT_LT(got, 1.0);
            if (seed == -5 && i == 9999) {
                EXPECT_EQ(got, as_uniform(kSeedMinus5Draw10000));
            }
        }
    }
}

TEST(Ran3, OversizedSeedGivesStrangeValuesWithoutOverflow) {
    // Called directly, a seed beyond 161803398 in magnitude makes the table
    // leave its range: per the reference program the 10th draw of seed
    // -2000000000 is 1593989464 * 1e-9, the first one of 1 or more.
    Sandbox box;
    long idum = -2000000000;
    double tenth = 0.0;
    for (int i = 0; i < 10; ++i) tenth = ran3(&idum);
    EXPECT_EQ(tenth, as_uniform(1593989464));
    EXPECT_EQ(box.log(), " ** strange ran3:1.59399\n");
    // The entries then grow without bound; thousands of draws must not
    // overflow (checked by the sanitizer build).
    for (int i = 0; i < 5000; ++i) ran3(&idum);
    seed_quietly(-5);  // a normal reseed repairs the stream
    EXPECT_EQ(draw(), as_uniform(kSeedMinus5[1]));
}

TEST(Ran3DeathTest, FirstDrawOfTheProcessActsAsSeedOne) {
    // A fresh process is needed: "threadsafe" re-executes the test program.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            long one = 1;
            const double u = ran3(&one);
            const double v = ran3(&one);
            std::_Exit(u == as_uniform(kSeedMinus1[0]) && v == as_uniform(kSeedMinus1[1]) &&
                               one == 1
                           ? 0
                           : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(InitializeRan3, AutomaticSeedIsLoggedAndKeptInRandseedFile) {
    for (long seed : {1L, 0L}) {
        Sandbox box;
        {
            std::ofstream stale("randseed.txt");
            stale << "stale line\nanother\n";
        }
        initialize_ran3(seed);
        const std::string line = box.log();
        std::smatch m;
        ASSERT_TRUE(std::regex_match(
            line, m, std::regex("Random number generator initialized with lidum=(-?[0-9]+)\n")))
            << line;
        EXPECT_EQ(box.read("randseed.txt"), line);  // rewritten, not appended
        const long lidum = std::stol(m[1].str());
        EXPECT_LE(lidum, 0);
        EXPECT_GT(lidum, -2000000);
        // The stream continues as seeded with that value, seeding draw consumed.
        ReferenceSubtractive ref(lidum);
        ref.next();
        for (int i = 0; i < 50; ++i) ASSERT_EQ(draw(), ref.next()) << i;
    }
    const long s = my_rand();
    EXPECT_GE(s, 0);
    EXPECT_LT(s, 2000000);
}

TEST(InitializeRan3, TooLargeSeedWarnsAndWritesNeitherLineNorFile) {
    Sandbox box;
    initialize_ran3(-161803399);
    const std::string log = box.log();
    EXPECT_FALSE(box.exists("randseed.txt"));
    // Exactly one line: the report.
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
    EXPECT_NE(log.find(" #[WARNING # "), std::string::npos) << log;
    EXPECT_NE(log.find("from function \"initialize_ran3(const int seed) \" : given seed is too "
                       "large, initializing ran3 with random seed \n"),
              std::string::npos)
        << log;
    // Reseeded with a valid automatic seed: no strange values follow.
    for (int i = 0; i < 1000; ++i) {
        const double u = draw();
        ASSERT_GE(u, 0.0);
        ASSERT_LT(u, 1.0);
    }
}

// ---------------------------------------------------------------------------
// Integer deviates

TEST(RandLong, FollowsTheStreamAndKeepsTheBound) {
    seed_quietly(-5);
    long n = 10;
    for (std::size_t i = 1; i < 4; ++i) {
        EXPECT_EQ(rand_long(&n), static_cast<long>(10 * as_uniform(kSeedMinus5[i]))) << i;
        EXPECT_EQ(n, 10);
    }
    long one = 1;
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(rand_long(&one), 0);
    EXPECT_EQ(one, 1);
}

TEST(RandLong, ZeroOrNegativeBoundGivesMinusOneAfterOneDraw) {
    seed_quietly(-5);
    long zero = 0;
    EXPECT_EQ(rand_long(&zero), -1);
    EXPECT_EQ(zero, 0);
    // A negative bound neither reseeds nor is overwritten.
    long negative = -3;
    EXPECT_EQ(rand_long(&negative), -1);
    EXPECT_EQ(negative, -3);
    EXPECT_EQ(draw(), as_uniform(kSeedMinus5[3]));
}

TEST(BootstrapIndex, FillsWithResampledIndices) {
    seed_quietly(-5);
    std::array<int, 6> idx{-7, -7, -7, -7, -7, -7};
    bootstrap_index(idx.data(), 0);
    bootstrap_index(idx.data(), -4);
    EXPECT_EQ(idx[0], -7);  // nothing written, nothing drawn
    bootstrap_index(idx.data(), 5);
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(idx[i], static_cast<int>(5 * as_uniform(kSeedMinus5[i + 1]))) << i;
    }
    EXPECT_EQ(idx[5], -7);
}

TEST(Geometric, FloorOfLogRatioAndDegenerateProbabilities) {
    seed_quietly(-5);
    EXPECT_EQ(geometric(1.0), 0);  // these four draw nothing
    EXPECT_EQ(geometric(1e-11), 0);
    EXPECT_EQ(geometric(0.0), 0);
    EXPECT_EQ(geometric(-0.5), 0);
    // U = 0.283560628: ln U / ln 0.3 = 1.0474 -> 1; U = 0.560689623 -> 0.4805 -> 0.
    EXPECT_EQ(geometric(0.3), 1);
    EXPECT_EQ(geometric(0.3), 0);
}

TEST(Geometric, HugeValuesClampToTheIntRange) {
    // ln U / ln p leaves the int range for p within 1e-15 of 1 unless U is
    // within 2.4e-7 of 1, which no draw of the seed -5 stream below is.
    seed_quietly(-5);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(geometric(std::nextafter(1.0, 0.0)), INT_MAX) << i;
        EXPECT_EQ(geometric(1.0 + 1e-15), INT_MIN) << i;
    }
}

TEST(Expdev, TruncatedLogRatioWithinTheIntRange) {
    seed_quietly(-5);
    // U = 0.283560628: ln(1 - U) / ln(0.75) = 1.1589 -> 1;
    // U = 0.560689623: ln(0.439310377) / ln(0.75) = 2.8597 -> 2.
    EXPECT_EQ(expdev(0.25), 1);
    EXPECT_EQ(expdev(0.25), 2);
    EXPECT_EQ(expdev(1e-15), INT_MAX);  // U = 0.5349 gives about 7e14
    EXPECT_EQ(expdev(1e-300), INT_MAX);  // 1 - p rounds to 1: an endless wait
    EXPECT_EQ(expdev(0.0), INT_MAX);
    EXPECT_EQ(expdev(1.0), 0);  // certain success
    EXPECT_EQ(expdev(2.0), 0);  // no real logarithm, no deviate
}

// ---------------------------------------------------------------------------
// Poisson deviates

TEST(Poidev, SmallMeanUsesTheProductOfUniforms) {
    // Worked by hand from the seed -5 stream: the running product
    // 0.3554, 0.1008, 0.0565, 0.0302, 0.00332 first falls to exp(-5) = 0.00674
    // at the fifth uniform, so the deviate is 4 and five draws are used.
    long idum = -5;
    EXPECT_EQ(poidev(5.0f, &idum), 4);
    EXPECT_EQ(idum, 1);
    EXPECT_EQ(draw(), as_uniform(kSeedMinus5[5]));
    EXPECT_EQ(poidev(-3.0f, &idum), 0);
    EXPECT_EQ(poidev(std::nanf(""), &idum), 0);
}

TEST(Poidev, MeanJustBelowTwelveStillUsesTheProduct) {
    // With the product method a deviate k uses exactly k + 1 uniforms: the
    // count of those whose running product stays above exp(-11.9).
    seed_quietly(-5);
    ReferenceSubtractive ref(-5);
    ref.next();
    const float g = static_cast<float>(std::exp(-11.9));
    for (int rep = 0; rep < 20; ++rep) {
        long expected = -1;
        float t = 1.0f;
        do {
            ++expected;
            t = static_cast<float>(t * ref.next());
        } while (t > g);
        long one = 1;
        ASSERT_EQ(poidev(11.9f, &one), expected) << rep;
    }
    EXPECT_EQ(draw(), ref.next());
}

TEST(Poidev, MomentsMatchTheMean) {
    // Poisson: mean = variance = xm; the standard error of the mean over n
    // draws is sqrt(xm / n).
    const int n = 20000;
    for (float xm : {0.5f, 11.9f, 12.0f, 250.0f}) {
        seed_quietly(-101);
        const auto [mean, var] = mean_and_variance(
            [xm] {
                long one = 1;
                return static_cast<double>(poidev(xm, &one));
            },
            n);
        EXPECT_NEAR(mean, xm, 5 * std::sqrt(xm / n)) << xm;
        EXPECT_NEAR(var / xm, 1.0, 0.06) << xm;
    }
    // Constants are cached for the last mean only; alternating means (and
    // methods) must not mix them up.
    seed_quietly(-7);
    double sum_small = 0.0;
    double sum_large = 0.0;
    for (int i = 0; i < n; ++i) {
        long one = 1;
        sum_small += poidev(3.0f, &one);
        sum_large += poidev(30.0f, &one);
    }
    EXPECT_NEAR(sum_small / n, 3.0, 5 * std::sqrt(3.0 / n));
    EXPECT_NEAR(sum_large / n, 30.0, 5 * std::sqrt(30.0 / n));
}

// ---------------------------------------------------------------------------
// Gamma deviates

TEST(GammaDev, NonPositiveShapeGivesZeroWithoutDrawing) {
    seed_quietly(-5);
    EXPECT_EQ(gamma_dev(-1.0), 0.0);
    EXPECT_EQ(gamma_dev(0.0), 0.0);
    EXPECT_EQ(gamma_dev(std::nan("")), 0.0);
    EXPECT_EQ(igamma_dev(0), 0.0);
    EXPECT_EQ(igamma_dev(-4), 0.0);
    EXPECT_EQ(draw(), as_uniform(kSeedMinus5[1]));
}

TEST(GammaDev, WholeShapeSkipsTheFractionalPhase) {
    // Shape 3: minus the log of the product of three uniforms, nothing more.
    const double expected = -std::log(as_uniform(kSeedMinus5[1]) * as_uniform(kSeedMinus5[2]) *
                                      as_uniform(kSeedMinus5[3]));
    seed_quietly(-5);
    EXPECT_NEAR(gamma_dev(3.0), expected, 1e-12);
    EXPECT_EQ(draw(), as_uniform(kSeedMinus5[4]));
    seed_quietly(-5);
    EXPECT_NEAR(igamma_dev(3), expected, 1e-12);
    EXPECT_EQ(draw(), as_uniform(kSeedMinus5[4]));
}

TEST(GammaDev, MomentsMatchTheShape) {
    // Gamma(a, 1): mean = variance = a; the variance of the sample variance
    // is about (2a^2 + 6a) / n.
    const int n = 40000;
    for (double a : {0.3, 0.5, 2.5, 6.0, 7.3, 20.0}) {
        seed_quietly(-211);
        const auto [mean, var] = mean_and_variance([a] { return gamma_dev(a); }, n);
        EXPECT_NEAR(mean, a, 5 * std::sqrt(a / n)) << a;
        EXPECT_NEAR(var, a, 5 * std::sqrt((2 * a * a + 6 * a) / n)) << a;
    }
    seed_quietly(-212);
    const auto [mean, var] = mean_and_variance([] { return igamma_dev(10); }, n);
    EXPECT_NEAR(mean, 10.0, 5 * std::sqrt(10.0 / n));
    EXPECT_NEAR(var, 10.0, 5 * std::sqrt(260.0 / n));
}

TEST(GammaDev, ShapesBeyondTheIntRange) {
    // Mean 1e10, standard deviation 1e5.
    seed_quietly(-5);
    EXPECT_NEAR(gamma_dev(1e10 + 0.5), 1e10, 1e6);
    EXPECT_TRUE(std::isinf(gamma_dev(INFINITY)));
}

}  // namespace
}  // namespace quintle
