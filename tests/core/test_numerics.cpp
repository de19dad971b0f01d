// Reference values marked "mpmath" were computed once with python3's mpmath
// 1.3.0 at 30 digits (loggamma, log(factorial(n)), gammainc(..., regularized=True),
// findroot); the others are worked by hand from closed forms.

#include "core/numerics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "core/Errors.h"
#include "support/process_state.h"

namespace quintle {
namespace {

// The message log on a temporary file.
class LogCapture {
public:
    bool has_numerical_error_from(const std::string& name) const {
        return log_.text().find("from function \"" + name + "\" : numerical error\n") != std::string::npos;
    }

private:
    test::LogGuard log_{"quintle_numerics"};
};

// The six-term series is accurate to about 2e-10.
constexpr double kSeriesTolerance = 2e-10;

TEST(Gammln, MatchesLogGammaAndLogFactorial) {
    struct Case {
        double x, expected;
    };
    // mpmath loggamma.
    for (const Case& c : {Case{0.5, 0.57236494292470008707}, Case{1.5, -0.12078223763524522235},
                          Case{7.25, 7.0521854507385394449}, Case{171.5, 709.14316303092824227},
                          Case{1e4, 82099.717496442377273}}) {
        const double tol = kSeriesTolerance + 1e-14 * std::fabs(c.expected);
        EXPECT_NEAR(gammln(c.x), c.expected, tol) << c.x;
        EXPECT_NEAR(static_cast<double>(gammlnl(c.x)), c.expected, tol) << c.x;
    }
    // mpmath log(factorial(n)), on both sides of the cache.
    for (const Case& c : {Case{10, 15.104412573075515295}, Case{101, 368.35449607240474959},
                          Case{1000, 5912.1281784881633489}}) {
        const int n = static_cast<int>(c.x);
        EXPECT_NEAR(factln(n), c.expected, kSeriesTolerance + 1e-14 * c.expected) << n;
        EXPECT_NEAR(static_cast<double>(factlnl(n)), c.expected, kSeriesTolerance + 1e-14 * c.expected) << n;
    }
    EXPECT_NEAR(factorial(4.95f), 4.787491742782046, 1e-12);  // int(5.05) = 5: ln 5!
    EXPECT_NEAR(factorial(4.85f), 3.1780538303479458, 1e-12);  // int(4.95) = 4: ln 4!
    LogCapture log;
    EXPECT_EQ(factln(-1), 0.0);
    EXPECT_TRUE(log.has_numerical_error_from("factln(int n) negative factorial: setting it to zero"));
}

TEST(ProbOfChiSq, MatchesTheUpperTail) {
    struct Case {
        float df, chi;
        double expected;
    };
    // mpmath gammainc(df/2, chi/2, inf, regularized=True); the 0.05 rows are
    // the usual table quantiles. Both the series and the fraction are used.
    for (const Case& c : {Case{1, 3.841459f, 0.0499999946531958}, Case{3, 2.0f, 0.57240670447088},
                          Case{10, 18.307f, 0.0500005890913981}, Case{4, 0.1f, 0.99879089572575},
                          Case{50, 80.0f, 0.0044826565655732}, Case{100, 70.0f, 0.990154497523591}}) {
        EXPECT_NEAR(Prob_of_chi_sq(c.df, c.chi), c.expected, 2e-6 + 1e-5 * c.expected) << c.df << " " << c.chi;
    }
    EXPECT_EQ(Prob_of_chi_sq(7, 0), 1.0f);
    EXPECT_EQ(Prob_of_chi_sq(0, 3), -1.0f);
    LogCapture log;
    EXPECT_EQ(Prob_of_chi_sq(2, -1), -1.0f);
    EXPECT_TRUE(log.has_numerical_error_from("Prob_of_chi_sq()  invalid arguments"));
    // For a = x = 10000 the series needs several hundred terms.
    EXPECT_EQ(Prob_of_chi_sq(20000, 20000), -1.0f);
    EXPECT_TRUE(log.has_numerical_error_from("gser() a too large, ITMAX too small "));
}

float square_minus_two(float x) { return x * x - 2.0f; }
float cos_minus_x(float x) { return std::cos(x) - x; }
float no_root(float x) { return x * x + 1.0f; }
float step_at_three_tenths(float x) { return x < 0.3f ? -1.0f : 1.0f; }

TEST(Zbrent, FindsBracketedRootsAndReportsFailures) {
    LogCapture log;
    EXPECT_NEAR(zbrent(square_minus_two, 2.0f, 0.0f, 1e-6f), std::sqrt(2.0), 2e-6);
    EXPECT_NEAR(zbrent(cos_minus_x, 0.0f, 1.0f, 1e-6f), 0.739085133215161, 2e-6);  // mpmath
    EXPECT_NEAR(zbrent(step_at_three_tenths, 0.0f, 1.0f, 1e-5f), 0.3, 1e-5);
    EXPECT_EQ(zbrent(no_root, -1.0f, 1.0f, 1e-6f), 0.0f);
    EXPECT_TRUE(log.has_numerical_error_from("zbrent() root must be bracketed in zbrent"));
    // A negative tolerance can never be met.
    EXPECT_EQ(zbrent(step_at_three_tenths, 0.0f, 1.0f, -1.0f), 0.0f);
    EXPECT_TRUE(log.has_numerical_error_from("zbrent() maximum number of iterations exceeded in zbrent"));
}

}  // namespace
}  // namespace quintle
