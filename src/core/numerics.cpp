#include "core/numerics.h"

#include <cmath>
#include <ostream>

#include "core/Errors.h"

namespace quintle {

namespace {

constexpr int kMaxIterations = 100;
constexpr double kSeriesEps = 3.0e-7;   // relative accuracy of gser and gcf
constexpr double kTinyFloat = 1.0e-30;  // keeps the continued fraction off zero

constexpr double kLanczosCoefficients[6] = {76.18009172947146,     -86.50532032941678,
                                            24.01409824083091,     -1.231739572450155,
                                            0.1208650973866179e-2, -0.5395239384953e-5};
constexpr double kLanczosSeriesStart = 1.000000000190015;
constexpr double kSqrtTwoPi = 2.5066282746310007;

}  // namespace

double gammln(double x) {
    double tmp = x + 5.5;
    tmp -= (x + 0.5) * std::log(tmp);
    double ser = kLanczosSeriesStart;
    double y = x;
    for (double c : kLanczosCoefficients) ser += c / ++y;
    return -tmp + std::log(kSqrtTwoPi * ser / x);
}

long double gammlnl(long double x) {
    // Same series in long double; the logarithms stay in double precision.
    long double tmp = x + 5.5L;
    tmp -= (x + 0.5L) * static_cast<long double>(std::log(static_cast<double>(tmp)));
    long double ser = kLanczosSeriesStart;
    long double y = x;
    for (double c : kLanczosCoefficients) ser += c / ++y;
    return -tmp + static_cast<long double>(std::log(static_cast<double>(kSqrtTwoPi * ser / x)));
}

double factln(int n) {
    static double a[101];  // 0.0 marks a value not yet computed
    if (n < 0) {
        E.error(ERROR, "factln(int n) negative factorial: setting it to zero", Msg::m105_numerical_error);
        return 0.0;
    }
    if (n <= 1) return 0.0;
    if (n <= 100) {
        if (a[n] == 0.0) a[n] = gammln(n + 1.0);
        return a[n];
    }
    return gammln(n + 1.0);
}

long double factlnl(int n) {
    static long double a[101];  // 0.0 marks a value not yet computed
    if (n < 0) {
        *_AOS_ << "factlnl(int n) negative factorial: setting it to zero" << '\n';
        return 0.0L;
    }
    if (n <= 1) return 0.0L;
    if (n <= 100) {
        if (a[n] == 0.0L) a[n] = gammlnl(n + 1.0L);
        return a[n];
    }
    return gammln(n + 1.0);
}

double factorial(float const& x) {
    const int n = static_cast<int>(x + 0.1);
    double sum = 0.0;
    for (int k = 2; k <= n; ++k) sum += std::log(static_cast<double>(k));
    return sum;
}

void gser(float* gamser, float a, float x, float* gln) {
    *gln = static_cast<float>(gammln(a));
    if (x <= 0.0f) {
        if (x < 0.0f) E.error(ERROR, "gser() x less than 0", Msg::m105_numerical_error);
        *gamser = 0.0f;
        return;
    }
    float ap = a;
    float del = 1.0f / a;
    float sum = del;
    for (int n = 1; n <= kMaxIterations; ++n) {
        ap += 1.0f;
        del *= x / ap;
        sum += del;
        if (std::fabs(del) < std::fabs(sum) * kSeriesEps) {
            *gamser = static_cast<float>(
                sum * std::exp(-x + a * std::log(static_cast<double>(x)) - *gln));
            return;
        }
    }
    E.error(ERROR, "gser() a too large, ITMAX too small ", Msg::m105_numerical_error);
}

void gcf(float* gammcf, float a, float x, float* gln) {
    *gln = static_cast<float>(gammln(a));
    float b = x + 1.0f - a;
    float c = static_cast<float>(1.0 / kTinyFloat);
    float d = 1.0f / b;
    float h = d;
    bool converged = false;
    for (int i = 1; i <= kMaxIterations; ++i) {
        const float an = -i * (i - a);
        b += 2.0f;
        d = an * d + b;
        if (std::fabs(d) < kTinyFloat) d = static_cast<float>(kTinyFloat);
        c = b + an / c;
        if (std::fabs(c) < kTinyFloat) c = static_cast<float>(kTinyFloat);
        d = 1.0f / d;
        const float del = d * c;
        h *= del;
        if (std::fabs(del - 1.0) < kSeriesEps) {
            converged = true;
            break;
        }
    }
    if (!converged) E.error(ERROR, "gcf() a too large, ITMAX too small in gcf", Msg::m105_numerical_error);
    *gammcf = static_cast<float>(std::exp(-x + a * std::log(static_cast<double>(x)) - *gln) * h);
}

float Prob_of_chi_sq(float df, float chi) {
    const float x = chi / 2.0f;
    if (x < 0.0f) {
        E.error(ERROR, "Prob_of_chi_sq()  invalid arguments", Msg::m105_numerical_error);
        return -1.0f;
    }
    const float a = df / 2.0f;
    if (a <= 0.0f) return -1.0f;
    float gln = 0.0f;
    if (x < a + 1.0f) {
        // gser leaves its result untouched when its series does not converge;
        // that failure (already reported) then gives -1 like the other failures.
        constexpr float kUnset = -1.0f;
        float gamser = kUnset;
        gser(&gamser, a, x, &gln);
        if (gamser == kUnset) return -1.0f;
        return 1.0f - gamser;
    }
    float gammcf = 0.0f;
    gcf(&gammcf, a, x, &gln);
    return gammcf;
}

float zbrent(float (*func)(float), float x1, float x2, float tol) {
    constexpr double kMachineEps = 3.0e-8;
    float a = x1;
    float b = x2;
    float c = x2;
    float d = 0.0f;
    float e = 0.0f;
    float fa = func(a);
    float fb = func(b);
    if ((fa > 0.0f && fb > 0.0f) || (fa < 0.0f && fb < 0.0f)) {
        E.error(ERROR, "zbrent() root must be bracketed in zbrent", Msg::m105_numerical_error);
        return 0.0f;
    }
    float fc = fb;
    for (int iter = 1; iter <= kMaxIterations; ++iter) {
        if ((fb > 0.0f && fc > 0.0f) || (fb < 0.0f && fc < 0.0f)) {
            // Keep the root between b and c.
            c = a;
            fc = fa;
            e = d = b - a;
        }
        if (std::fabs(fc) < std::fabs(fb)) {
            a = b;
            b = c;
            c = a;
            fa = fb;
            fb = fc;
            fc = fa;
        }
        const float tol1 = static_cast<float>(2.0 * kMachineEps * std::fabs(b) + 0.5 * tol);
        const float xm = static_cast<float>(0.5 * (c - b));
        if (std::fabs(xm) <= tol1 || fb == 0.0f) return b;
        if (std::fabs(e) >= tol1 && std::fabs(fa) > std::fabs(fb)) {
            // Try inverse quadratic interpolation (or the secant when a == c).
            float p;
            float q;
            const float s = fb / fa;
            if (a == c) {
                p = static_cast<float>(2.0 * xm * s);
                q = static_cast<float>(1.0 - s);
            } else {
                q = fa / fc;
                const float r = fb / fc;
                p = static_cast<float>(s * (2.0 * xm * q * (q - r) - (b - a) * (r - 1.0)));
                q = static_cast<float>((q - 1.0) * (r - 1.0) * (s - 1.0));
            }
            if (p > 0.0f) q = -q;
            p = std::fabs(p);
            const float min1 = static_cast<float>(3.0 * xm * q - std::fabs(tol1 * q));
            const float min2 = std::fabs(e * q);
            if (2.0 * p < (min1 < min2 ? min1 : min2)) {
                e = d;
                d = p / q;
            } else {
                // Interpolation would not shrink the bracket fast enough: bisect.
                d = xm;
                e = d;
            }
        } else {
            d = xm;
            e = d;
        }
        a = b;
        fa = fb;
        if (std::fabs(d) > tol1) {
            b += d;
        } else {
            b += xm >= 0.0f ? std::fabs(tol1) : -std::fabs(tol1);
        }
        fb = func(b);
    }
    E.error(ERROR, "zbrent() maximum number of iterations exceeded in zbrent", Msg::m105_numerical_error);
    return 0.0f;
}

}  // namespace quintle
