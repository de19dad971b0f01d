// Tests of the shared uniform generator and the deviates drawn from it.

#include "core/random.h"
#include "scratch.h"
#include "support/process_state.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "core/Errors.h"

namespace quintle {
namespace {

namespace fs = std::filesystem;

// First draws after seeding with -5, as the integers behind U = value * 1e-9.
// Obtained once with a separate python3 program, an independent transcription
// of the subtractive method (table of 55, lags 24/55, modulus 1e9, seed
// constant 161803398).
constexpr std::array<long, 6> kSeedMinus5 = {355441340, 283560628, 560689623, 534929972, 109893728, 481818919};

double as_uniform(long v) { return static_cast<double>(v) * 1e-9; }

// A second, deliberately plain transcription of the subtractive generator
// (Knuth), used to follow long streams. Works on a 0-based ring of 55 values.
class ReferenceSubtractive {
public:
    explicit ReferenceSubtractive(long long seed) {
        const long long m = 1000000000LL;
        long long j = (161803398LL - (seed < 0 ? -seed : seed)) % m;
        t_[54] = j;
        long long k = 1;
        for (int i = 1; i <= 54; ++i) {
            const int slot = (21 * i) % 55;  // 1-based slot
            t_[slot - 1] = k;
            k = j - k;
            if (k < 0) k += m;
            j = t_[slot - 1];
        }
        for (int pass = 0; pass < 4; ++pass)
            for (int i = 1; i <= 55; ++i) {
                t_[i - 1] -= t_[(i + 30) % 55];
                if (t_[i - 1] < 0) t_[i - 1] += m;
            }
    }
    double next() {
        a_ = a_ % 55 + 1;
        b_ = b_ % 55 + 1;
        long long v = t_[a_ - 1] - t_[b_ - 1];
        if (v < 0) v += 1000000000LL;
        t_[a_ - 1] = v;
        return static_cast<double>(v) * 1e-9;
    }

private:
    std::array<long long, 55> t_{};
    int a_ = 0;
    int b_ = 31;
};

// A fresh working directory with the message log opened in it, so that both
// the log lines and "randseed.txt" can be inspected.
class Sandbox {
public:
    Sandbox() : saved_cwd_(fs::current_path()) { fs::current_path(log_.dir()); }
    ~Sandbox() { fs::current_path(saved_cwd_); }
    std::string read(const char* name) const {
        _AOS_->flush();
        return scratch::read_file(log_.dir() / name);
    }

private:
    test::LogGuard log_{"quintle_random"};
    fs::path saved_cwd_;
};

double draw() {
    long one = 1;
    return ran3(&one);
}

// Seeds with a negative seed, discarding the log line; the seeding draw is consumed.
void seed_quietly(long seed) {
    std::ostringstream sink;
    test::Saved<std::ostream*> discard(_AOS_, &sink);
    initialize_ran3(seed);
}

TEST(Ran3, SeededStreamsFollowTheReferenceValuesAndTranscription) {
    Sandbox box;
    initialize_ran3(-5);
    for (std::size_t i = 1; i < kSeedMinus5.size(); ++i) EXPECT_EQ(draw(), as_uniform(kSeedMinus5[i])) << i;
    EXPECT_EQ(box.read("log.txt"), "Random generator initialized with seed=-5\n");
    for (long seed : {-1L, -77L, -161803398L}) {
        ReferenceSubtractive ref(seed);
        long idum = seed;
        for (int i = 0; i < 20000; ++i) ASSERT_EQ(ran3(&idum), ref.next()) << "seed " << seed << " draw " << i;
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
    EXPECT_EQ(box.read("log.txt"), " ** strange ran3:1.59399\n");
    // The entries then grow without bound: no overflow (sanitizer build).
    for (int i = 0; i < 5000; ++i) ran3(&idum);
    seed_quietly(-5);  // a normal reseed repairs the stream
    EXPECT_EQ(draw(), as_uniform(kSeedMinus5[1]));

    // Through the seeding function such a seed is refused for an automatic one.
    initialize_ran3(-161803399);
    EXPECT_NE(box.read("log.txt").find("from function \"initialize_ran3(const int seed) \" : given seed is too "
                                       "large, initializing ran3 with random seed \n"),
              std::string::npos);
    for (int i = 0; i < 1000; ++i) ASSERT_LT(draw(), 1.0);
}

// The block form of the root-sequence draws gives, and leaves, what the
// same number of single draws give: sizes around 512, lag edges (24, 55),
// and a table pushed out of range by an oversized seed (the plain form).
TEST(Ran3, BaseBlocksFollowSingleDraws) {
    Sandbox box;
    for (long seed : {-5L, -2000000000L}) {
        for (int count : {0, 1, 23, 24, 55, 56, 511, 512, 513, 1000, 2049}) {
            SCOPED_TRACE(::testing::Message() << "seed " << seed << " count " << count);
            long idum = seed;
            for (int i = 0; i < 37; ++i) ran3(&idum);  // anywhere in the table
            std::vector<int> single(static_cast<std::size_t>(count));
            for (int& v : single) v = static_cast<int>(4.0 * draw());
            std::vector<double> after(20);
            for (double& v : after) v = draw();

            idum = seed;
            for (int i = 0; i < 37; ++i) ran3(&idum);
            std::vector<int> block(static_cast<std::size_t>(count) + 1, -7);
            ran3_bases(block.data(), count);
            EXPECT_EQ(block.back(), -7);  // nothing written beyond
            block.pop_back();
            EXPECT_EQ(block, single);
            for (double v : after) ASSERT_EQ(draw(), v);
        }
    }
}

// The same from every position of the table (the table goes in and out of
// the block form as two runs that meet at that position) and across the
// block edges of 1024.
TEST(Ran3, BaseBlocksFollowSingleDrawsFromEveryTablePosition) {
    Sandbox box;
    for (int skip = 0; skip <= 56; ++skip) {
        for (int count : {1023, 1024, 1025, 2100}) {
            SCOPED_TRACE(::testing::Message() << "skip " << skip << " count " << count);
            long idum = -17;
            for (int i = 0; i <= skip; ++i) ran3(&idum);
            std::vector<int> single(static_cast<std::size_t>(count));
            for (int& v : single) v = static_cast<int>(4.0 * draw());
            std::vector<double> after(60);
            for (double& v : after) v = draw();

            idum = -17;
            for (int i = 0; i <= skip; ++i) ran3(&idum);
            std::vector<int> block(static_cast<std::size_t>(count));
            ran3_bases(block.data(), count);
            ASSERT_EQ(block, single);
            for (double v : after) ASSERT_EQ(draw(), v);
        }
    }
}

// A cursor draws the stream the plain calls draw, across the wrap of both
// lags, hands its position back for plain draws in between (sync, resume)
// and at its end; a stream seeded out of range takes no cursor.
TEST(Ran3, CursorFollowsThePlainStream) {
    for (long seed : {-1L, -5L, -161803398L}) {
        SCOPED_TRACE(::testing::Message() << "seed " << seed);
        ReferenceSubtractive ref(seed);
        ref.next();  // the seeding draw
        seed_quietly(seed);
        ASSERT_TRUE(Ran3Cursor::usable());
        for (int block = 0; block < 40; ++block) {
            {
                Ran3Cursor cursor;
                for (int i = 0; i < 3 * block + 1; ++i) ASSERT_EQ(cursor(), ref.next()) << block << " " << i;
                cursor.sync();
                for (int i = 0; i < block % 4; ++i) ASSERT_EQ(draw(), ref.next()) << block;
                cursor.resume();
                for (int i = 0; i < 53; ++i) ASSERT_EQ(cursor(), ref.next()) << block << " " << i;
            }
            ASSERT_EQ(draw(), ref.next()) << block;
        }
    }
    Sandbox box;
    long idum = -2000000000;
    ran3(&idum);
    EXPECT_FALSE(Ran3Cursor::usable());
    seed_quietly(-5);
    EXPECT_TRUE(Ran3Cursor::usable());
}

TEST(InitializeRan3, AutomaticSeedIsLoggedAndKeptInRandseedFile) {
    Sandbox box;
    std::ofstream("randseed.txt") << "stale line\nanother\n";
    initialize_ran3(0);
    const std::string line = box.read("log.txt");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, std::regex("Random number generator initialized with lidum=(-?[0-9]+)\n")))
        << line;
    EXPECT_EQ(box.read("randseed.txt"), line);  // rewritten, not appended
    // The stream continues as seeded with that value, seeding draw consumed.
    ReferenceSubtractive ref(std::stol(m[1].str()));
    ref.next();
    for (int i = 0; i < 50; ++i) ASSERT_EQ(draw(), ref.next()) << i;
}

TEST(Deviates, WorkedByHandFromTheSeedMinus5Stream) {
    seed_quietly(-5);
    long n = 10;
    EXPECT_EQ(rand_long(&n), 2);  // 10 * 0.2835...
    long zero = 0;
    EXPECT_EQ(rand_long(&zero), -1);  // after one draw
    // U = 0.534929972: ln U / ln 0.3 = 0.5195 -> 0; U = 0.109893728 -> 1.8340 -> 1.
    EXPECT_EQ(geometric(0.3), 0);
    EXPECT_EQ(geometric(0.3), 1);
    // U = 0.481818919: ln(1 - U) / ln(0.75) = 2.2850 -> 2.
    EXPECT_EQ(expdev(0.25), 2);

    // The running product 0.3554, 0.1008, 0.0565, 0.0302, 0.00332 first falls
    // to exp(-5) = 0.00674 at the fifth uniform: the deviate is 4.
    long idum = -5;
    EXPECT_EQ(poidev(5.0f, &idum), 4);
    EXPECT_EQ(draw(), as_uniform(kSeedMinus5[5]));

    // Shape 3: minus the log of the product of three uniforms.
    seed_quietly(-5);
    EXPECT_NEAR(gamma_dev(3.0), -std::log(as_uniform(kSeedMinus5[1]) * as_uniform(kSeedMinus5[2]) *
                                          as_uniform(kSeedMinus5[3])),
                1e-12);
}

// The product method as first written: the threshold exp(-xm) taken in
// double precision and rounded to float before the loop.
long reference_small_poisson(float xm, long* idum) {
    const float g = static_cast<float>(std::exp(-static_cast<double>(xm)));
    float em = -1.0f;
    float t = 1.0f;
    do {
        em += 1.0f;
        t = static_cast<float>(t * ran3(idum));
    } while (t > g);
    return static_cast<long>(em);
}

// The threshold of the small-mean Poisson deviate answers t > exp(-xm) as
// the float of the double precision exponential does, for every float near
// it and far from it: means across (0, 12) and at its edges.
TEST(Deviates, PoissonThresholdAgreesWithTheDoubleExponential) {
    std::vector<float> means = {1e-30f, 1e-7f, 0.5f, 1.0f, std::log(2.0f), 11.999999f,
                                std::nextafter(12.0f, 0.0f), std::numeric_limits<float>::denorm_min()};
    seed_quietly(-31);
    for (int i = 0; i < 20000; ++i) means.push_back(static_cast<float>(12.0 * draw()));
    for (int i = 0; i < 2000; ++i) means.push_back(static_cast<float>(std::pow(10.0, -8.0 * draw())));
    for (float xm : means) {
        if (!(xm > 0.0f)) continue;
        const float g = static_cast<float>(std::exp(-static_cast<double>(xm)));
        random_detail::ExpNegThreshold threshold(xm);
        float t = g;
        for (int k = 0; k < 12; ++k) t = std::nextafter(t, 0.0f);
        for (int k = 0; k < 25; ++k, t = std::nextafter(t, 2.0f))
            ASSERT_EQ(threshold.exceeded_by(t), t > g) << "mean " << xm << " step " << k;
        for (float u : {0.0f, 1.0f, g * 0.5f, std::min(1.0f, g * 1.5f)})
            ASSERT_EQ(threshold.exceeded_by(u), u > g) << "mean " << xm << " at " << u;
    }
}

// The deviate and the stream it leaves are those of the first form, for
// small means of every size and for means at or below 0.
TEST(Deviates, SmallMeanPoissonFollowsTheFirstForm) {
    seed_quietly(-57);
    std::vector<float> means;
    for (int i = 0; i < 30000; ++i) means.push_back(static_cast<float>(12.0 * draw() * draw()));
    for (float xm : {0.0f, -0.0f, -1.0f, -std::numeric_limits<float>::infinity(), 1e-38f, 11.99f})
        means.push_back(xm);
    for (long seed : {-57L, -4242L}) {
        seed_quietly(seed);
        std::vector<long> expected;
        for (float xm : means) {
            long one = 1;
            expected.push_back(reference_small_poisson(xm, &one));
        }
        const double next = draw();
        seed_quietly(seed);
        for (std::size_t i = 0; i < means.size(); ++i) {
            long one = 1;
            ASSERT_EQ(poidev(means[i], &one), expected[i]) << "mean " << means[i];
        }
        EXPECT_EQ(draw(), next);
    }
}

TEST(Deviates, HugeValuesSaturateToTheIntRange) {
    // ln U / ln p leaves the int range for p within 1e-15 of 1.
    seed_quietly(-5);
    EXPECT_EQ(geometric(std::nextafter(1.0, 0.0)), INT_MAX);
    EXPECT_EQ(geometric(1.0 + 1e-15), INT_MIN);
    EXPECT_EQ(expdev(1e-300), INT_MAX);  // 1 - p rounds to 1: an endless wait
    EXPECT_EQ(expdev(2.0), 0);           // no real logarithm, no deviate
    EXPECT_NEAR(gamma_dev(1e10 + 0.5), 1e10, 1e6);
}

TEST(Deviates, MomentsMatchTheParameters) {
    // Poisson and Gamma(a, 1): mean = variance = parameter. Means alternate so
    // that constants cached for the last mean cannot be mixed up.
    const int n = 40000;
    seed_quietly(-101);
    for (double a : {0.5, 11.9, 12.0, 250.0, 0.3, 2.5, 7.3}) {
        double s[2] = {0, 0}, s2[2] = {0, 0};
        for (int i = 0; i < n; ++i) {
            long one = 1;
            const double x[2] = {static_cast<double>(poidev(static_cast<float>(a), &one)), gamma_dev(a)};
            for (int k = 0; k < 2; ++k) s[k] += x[k], s2[k] += x[k] * x[k];
        }
        for (int k = 0; k < 2; ++k) {
            const double mean = s[k] / n, var = (s2[k] - n * mean * mean) / (n - 1);
            EXPECT_NEAR(mean, a, 5 * std::sqrt(a / n)) << a << " " << k;
            EXPECT_NEAR(var, a, 5 * std::sqrt((2 * a * a + 6 * a) / n)) << a << " " << k;
        }
    }
}

}  // namespace
}  // namespace quintle
