// Tests of the special functions: log-gamma, log-factorial, the chi-square
// tail probability and the root finder.
//
// Reference values marked "mpmath" were computed once with python3's mpmath
// 1.3.0 at 30 digits (loggamma, log(factorial(n)), gammainc(..., regularized=True),
// findroot); the others are worked by hand from closed forms.

#include "core/numerics.h"
#include "scratch.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "core/Errors.h"

namespace quintle {
namespace {

namespace fs = std::filesystem;

// Opens the message log on a temporary file; restores _AOS_ at the end.
class LogCapture {
public:
    LogCapture() : saved_(_AOS_) { E.init_log_file(my_string((dir_ / "log.txt").string().c_str()), false); }
    ~LogCapture() {
        E.CloseLog_file();
        _AOS_ = saved_;
    }
    std::string text() const {
        _AOS_->flush();
        return scratch::read_file(dir_ / "log.txt");
    }

private:
    scratch::Dir dir_{"quintle_numerics"};
    std::ostream* saved_;
};

// The tail of a report line for message 105 from the named function.
std::string numerical_error_from(const std::string& name) {
    return "from function \"" + name + "\" : numerical error\n";
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

struct LogGammaCase {
    double x;
    double expected;
};

// mpmath loggamma.
constexpr LogGammaCase kLogGamma[] = {
    {0.5, 0.57236494292470008707},    {1.0, 0.0},
    {1.5, -0.12078223763524522235},   {2.5, 0.28468287047291915963},
    {3.0, 0.69314718055994530942},    {7.25, 7.0521854507385394449},
    {10.0, 12.801827480081469611},    {33.3, 82.603723581654943008},
    {100.0, 359.13420536957539878},   {171.5, 709.14316303092824227},
    {1e4, 82099.717496442377273},
};

// The six-term series is accurate to about 2e-10.
constexpr double kSeriesTolerance = 2e-10;

TEST(Gammln, MatchesLogGammaInBothPrecisions) {
    for (const auto& c : kLogGamma) {
        const double tol = kSeriesTolerance + 1e-14 * std::fabs(c.expected);
        EXPECT_NEAR(gammln(c.x), c.expected, tol) << c.x;
        EXPECT_NEAR(static_cast<double>(gammlnl(c.x)), c.expected, tol) << c.x;
    }
}

struct LogFactorialCase {
    int n;
    double expected;
};

// mpmath log(factorial(n)).
constexpr LogFactorialCase kLogFactorial[] = {
    {2, 0.69314718055994530942},   {3, 1.7917594692280550008},
    {10, 15.104412573075515295},   {50, 148.47776695177303207},
    {100, 363.73937555556349014},  {101, 368.35449607240474959},
    {170, 706.57306224578734711},  {1000, 5912.1281784881633489},
};

TEST(Factln, MatchesLogFactorialOnBothSidesOfTheCache) {
    for (const auto& c : kLogFactorial) {
        const double tol = kSeriesTolerance + 1e-14 * c.expected;
        const double first = factln(c.n);
        EXPECT_NEAR(first, c.expected, tol) << c.n;
        EXPECT_EQ(factln(c.n), first) << c.n;  // a cached value is the same value
        EXPECT_NEAR(static_cast<double>(factlnl(c.n)), c.expected, tol) << c.n;
    }
    EXPECT_EQ(factln(0), 0.0);
    EXPECT_EQ(factln(1), 0.0);
    EXPECT_EQ(factlnl(0), 0.0L);
    EXPECT_EQ(factlnl(1), 0.0L);
    // A sum of logs checks every cache slot independently.
    double direct = 0.0;
    for (int n = 2; n <= 120; ++n) {
        direct += std::log(static_cast<double>(n));
        ASSERT_NEAR(factln(n), direct, 1e-9) << n;
        ASSERT_NEAR(static_cast<double>(factlnl(n)), direct, 1e-9) << n;
    }
}

TEST(Factln, NegativeArgument) {
    {
        LogCapture log;
        EXPECT_EQ(factln(-1), 0.0);
        EXPECT_TRUE(contains(log.text(), " #[ERROR # ")) << log.text();
        EXPECT_TRUE(contains(log.text(), numerical_error_from(
                                             "factln(int n) negative factorial: setting it to zero")))
            << log.text();
    }
    // The long-double variant only writes a plain line, no numbered report.
    LogCapture log;
    EXPECT_EQ(factlnl(-3), 0.0L);
    EXPECT_EQ(log.text(), "factlnl(int n) negative factorial: setting it to zero\n");
}

TEST(Factorial, RoundsTheArgumentAndSumsLogs) {
    const double ln120 = 4.787491742782046;  // ln 5! by hand
    const double ln24 = 3.1780538303479458;  // ln 4!
    EXPECT_NEAR(factorial(5.0f), ln120, 1e-12);
    EXPECT_NEAR(factorial(4.95f), ln120, 1e-12);  // int(5.05) = 5
    EXPECT_NEAR(factorial(4.85f), ln24, 1e-12);   // int(4.95) = 4
    EXPECT_EQ(factorial(1.0f), 0.0);
    EXPECT_EQ(factorial(0.0f), 0.0);
    EXPECT_EQ(factorial(-3.0f), 0.0);
    EXPECT_NEAR(factorial(1000.0f), 5912.1281784881633489, 1e-9);  // mpmath
}

// ---------------------------------------------------------------------------
// Chi-square tail

struct ChiSquareCase {
    float df;
    float chi;
    double expected;
};

// mpmath gammainc(df/2, chi/2, inf, regularized=True); the 0.05 rows are the
// usual table quantiles.
constexpr ChiSquareCase kChiSquare[] = {
    {1, 3.841459f, 0.0499999946531958}, {1, 0.5f, 0.479500122186953},
    {3, 2.0f, 0.57240670447088},        {5, 11.0705f, 0.0499999554280437},
    {10, 18.307f, 0.0500005890913981},  {10, 3.0f, 0.981424063777859},
    {20, 45.0f, 0.00110346924302835},   {4, 0.1f, 0.99879089572575},
    {50, 80.0f, 0.0044826565655732},    {100, 70.0f, 0.990154497523591},
};

TEST(ProbOfChiSq, MatchesTheUpperTail) {
    for (const auto& c : kChiSquare) {
        // Single precision, with a series cut at relative 3e-7.
        EXPECT_NEAR(Prob_of_chi_sq(c.df, c.chi), c.expected, 2e-6 + 1e-5 * c.expected)
            << c.df << " " << c.chi;
    }
}

TEST(ProbOfChiSq, TwoDegreesOfFreedomIsAnExponential) {
    // Q(1, chi/2) = exp(-chi/2), both below and above the series/fraction switch.
    for (float chi : {0.5f, 1.9f, 3.0f, 4.1f, 10.0f, 30.0f}) {
        EXPECT_NEAR(Prob_of_chi_sq(2, chi), std::exp(-chi / 2.0), 1e-6) << chi;
    }
    EXPECT_EQ(Prob_of_chi_sq(2, 0), 1.0f);
    EXPECT_EQ(Prob_of_chi_sq(7, 0), 1.0f);
}

TEST(ProbOfChiSq, InvalidArguments) {
    {
        LogCapture log;
        EXPECT_EQ(Prob_of_chi_sq(0, 3), -1.0f);  // no degrees of freedom: silent
        EXPECT_EQ(Prob_of_chi_sq(-2, 3), -1.0f);
        EXPECT_EQ(log.text(), "");
    }
    LogCapture log;
    EXPECT_EQ(Prob_of_chi_sq(2, -1), -1.0f);
    EXPECT_TRUE(contains(log.text(), numerical_error_from("Prob_of_chi_sq()  invalid arguments")))
        << log.text();
}

TEST(ProbOfChiSq, UnconvergedSeriesIsReportedAndGivesMinusOne) {
    // For a = x = 10000 the series needs several hundred terms.
    LogCapture log;
    EXPECT_EQ(Prob_of_chi_sq(20000, 20000), -1.0f);
    EXPECT_TRUE(contains(log.text(), numerical_error_from("gser() a too large, ITMAX too small ")))
        << log.text();
}

TEST(Gser, SeriesGivesTheLowerRegularisedGamma) {
    float p = -1.0f;
    float gln = 0.0f;
    gser(&p, 3.0f, 2.0f, &gln);
    // P(3, 2) = 1 - exp(-2) (1 + 2 + 2) by hand.
    EXPECT_NEAR(p, 1.0 - 5.0 * std::exp(-2.0), 1e-6);
    EXPECT_NEAR(gln, std::log(2.0), 1e-6);
    gser(&p, 0.5f, 0.3f, &gln);
    EXPECT_NEAR(p, 0.561421973919, 1e-6);  // mpmath
    EXPECT_NEAR(gln, 0.57236494292470008707, 1e-6);
}

TEST(Gser, ZeroAndNegativeX) {
    float p = -1.0f;
    float gln = 0.0f;
    {
        LogCapture log;
        gser(&p, 2.0f, 0.0f, &gln);
        EXPECT_EQ(p, 0.0f);
        EXPECT_EQ(log.text(), "");
    }
    p = -1.0f;
    LogCapture log;
    gser(&p, 2.0f, -0.5f, &gln);
    EXPECT_EQ(p, 0.0f);
    EXPECT_TRUE(contains(log.text(), numerical_error_from("gser() x less than 0"))) << log.text();
}

TEST(Gcf, ContinuedFractionGivesTheUpperRegularisedGamma) {
    float q = -1.0f;
    float gln = 0.0f;
    gcf(&q, 1.0f, 3.0f, &gln);
    EXPECT_NEAR(q, std::exp(-3.0), 1e-7);  // Q(1, x) = exp(-x)
    EXPECT_NEAR(gln, 0.0, 1e-6);
    gcf(&q, 4.5f, 9.0f, &gln);
    EXPECT_NEAR(q, 0.0351735394669848, 1e-7);  // mpmath
    EXPECT_NEAR(gln, 2.45373657084244, 1e-5);  // mpmath loggamma(4.5)
}

TEST(Gcf, UnconvergedFractionIsReportedButStillSetsItsResult) {
    // x just above a + 1 for a = 40000 needs about 180 steps.
    LogCapture log;
    float q = -1.0f;
    float gln = 0.0f;
    gcf(&q, 40000.0f, 40002.0f, &gln);
    EXPECT_TRUE(
        contains(log.text(), numerical_error_from("gcf() a too large, ITMAX too small in gcf")))
        << log.text();
    EXPECT_GE(q, 0.0f);
    EXPECT_LE(q, 1.0f);
}

// ---------------------------------------------------------------------------
// Root finder

float square_minus_two(float x) { return x * x - 2.0f; }
float cos_minus_x(float x) { return std::cos(x) - x; }
float identity(float x) { return x; }
float no_root(float x) { return x * x + 1.0f; }
float step_at_three_tenths(float x) { return x < 0.3f ? -1.0f : 1.0f; }

TEST(Zbrent, FindsBracketedRoots) {
    LogCapture log;
    EXPECT_NEAR(zbrent(square_minus_two, 0.0f, 2.0f, 1e-6f), std::sqrt(2.0), 2e-6);
    EXPECT_NEAR(zbrent(square_minus_two, 2.0f, 0.0f, 1e-6f), std::sqrt(2.0), 2e-6);
    EXPECT_NEAR(zbrent(cos_minus_x, 0.0f, 1.0f, 1e-6f), 0.739085133215161, 2e-6);  // mpmath
    // A root at an end of the bracket is found without a report.
    EXPECT_EQ(zbrent(identity, 0.0f, 1.0f, 1e-6f), 0.0f);
    // A jump in sign is located to the tolerance.
    EXPECT_NEAR(zbrent(step_at_three_tenths, 0.0f, 1.0f, 1e-5f), 0.3, 1e-5);
    EXPECT_EQ(log.text(), "");
}

TEST(Zbrent, UnbracketedRootIsReported) {
    LogCapture log;
    EXPECT_EQ(zbrent(no_root, -1.0f, 1.0f, 1e-6f), 0.0f);
    EXPECT_TRUE(
        contains(log.text(), numerical_error_from("zbrent() root must be bracketed in zbrent")))
        << log.text();
}

TEST(Zbrent, ExhaustedIterationsAreReported) {
    // A negative tolerance can never be met.
    LogCapture log;
    EXPECT_EQ(zbrent(step_at_three_tenths, 0.0f, 1.0f, -1.0f), 0.0f);
    EXPECT_TRUE(contains(log.text(),
                         numerical_error_from(
                             "zbrent() maximum number of iterations exceeded in zbrent")))
        << log.text();
}

}  // namespace
}  // namespace quintle
