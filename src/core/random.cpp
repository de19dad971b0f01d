#include "core/random.h"

#include <sys/time.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <ostream>
#include <string>

#include "core/Errors.h"
#include "core/cpu_features.h"
#include "core/numerics.h"
#include "core/platform.h"

namespace quintle {

namespace {

using random_detail::kModulus;
constexpr long kSeedConstant = 161803398L;

// Draw from the shared stream without ever reseeding it.
double next_uniform() {
    long idum = 1;
    return ran3(&idum);
}

// The automatic seed before its sign is set: a mix of the processor time used
// so far and the time of day, below 2000000 - r in magnitude.
long automatic_seed_magnitude() {
    const double c = static_cast<double>(std::clock());
    std::srand(1);
    const int r = std::rand() % 1000;
    timeval tv{};
    gettimeofday(&tv, nullptr);
    const long s = static_cast<long>(tv.tv_sec % 1000);
    const long u = static_cast<long>(tv.tv_usec);
    const double v = (c - r) * r + static_cast<double>(s * u);
    return static_cast<long>(v) % (2000000L - r);
}

// Truncate toward zero into the int range; NaN has no meaningful deviate and
// gives 0, values beyond the range give the nearest limit.
int clamp_to_int(double v) {
    if (std::isnan(v)) return 0;
    if (v >= 2147483648.0) return INT_MAX;
    if (v <= -2147483649.0) return INT_MIN;
    return static_cast<int>(v);
}

long clamp_to_long(double v) {
    if (std::isnan(v)) return 0;
    if (v >= 9223372036854775808.0) return LONG_MAX;
    if (v < -9223372036854775808.0) return LONG_MIN;
    return static_cast<long>(v);
}

// Gamma deviate of whole-number order ia >= 1, kept in double so that the
// order of any finite shape can be drawn.
double integer_order_deviate(double ia) {
    double x;
    if (ia < 6.0) {
        x = 1.0;
        for (int j = 1; j <= static_cast<int>(ia); ++j) x *= next_uniform();
        x = -std::log(x);
    } else {
        const double am = ia - 1.0;
        const double s = std::sqrt(2.0 * am + 1.0);
        double y;
        double e;
        do {
            do {
                double w1;
                double w2;
                // A point on the vertical axis has no finite slope: draw it again.
                do {
                    w1 = 2.0 * next_uniform() - 1.0;
                    w2 = 2.0 * next_uniform() - 1.0;
                } while (w1 * w1 + w2 * w2 > 1.0 || w1 == 0.0);
                y = w2 / w1;
                x = s * y + am;
            } while (x <= 0.0);
            e = (1.0 + y * y) * std::exp(am * std::log(x / am) - s * y);
        } while (next_uniform() > e);
    }
    return x;
}

}  // namespace

namespace random_detail {

double ran3_seed_and_draw(long* idum) {
    Ran3State& st = ran3_state;
    long* ma = st.ma;
    st.seeded = true;
    // 161803398 minus the magnitude of the seed, remainder with the sign of
    // the dividend; written so that no magnitude is ever taken (which could
    // overflow for the most negative long).
    long mj = (*idum < 0 ? kSeedConstant + *idum : kSeedConstant - *idum) % kModulus;
    ma[55] = mj;
    long mk = 1;
    for (int i = 1; i <= 54; ++i) {
        const int ii = (21 * i) % 55;
        ma[ii] = mk;
        mk = mj - mk;
        if (mk < 0) mk += kModulus;
        mj = ma[ii];
    }
    for (int k = 1; k <= 4; ++k) {
        for (int i = 1; i <= 55; ++i) {
            ma[i] -= ma[1 + (i + 30) % 55];
            if (ma[i] < 0) ma[i] += kModulus;
        }
    }
    st.regular = std::all_of(ma + 1, ma + 56, [](long v) { return v >= 0 && v < kModulus; });
    st.inext = 0;
    st.inextp = 31;
    *idum = 1;
    return ran3_step(ma, st.inext, st.inextp);
}

void report_strange_draw(double result) { *_AOS_ << " ** strange ran3:" << result << std::endl; }

}  // namespace random_detail

namespace {

// The base of a root site: int(4 u).
int base_of(double u) { return static_cast<int>(4.0 * u); }

// For a draw u = v * 1e-9, int(4 u) grows with v: the smallest v reaching
// 1, 2 and 3, found with the same double arithmetic.
constexpr std::int32_t first_reaching(int base) {
    std::int32_t v = 250000000 * base - 4;
    while (static_cast<int>(4.0 * (static_cast<double>(v) * 1e-9)) < base) ++v;
    return v;
}
constexpr std::int32_t kBaseThreshold[3] = {first_reaching(1), first_reaching(2), first_reaching(3)};
constexpr bool below_reaches_less(int base) {
    return static_cast<int>(4.0 * (static_cast<double>(kBaseThreshold[base - 1] - 1) * 1e-9)) < base;
}
static_assert(below_reaches_less(1) && below_reaches_less(2) && below_reaches_less(3));

}  // namespace

namespace {

// The body of ran3_bases, built once for the baseline processor and once
// for 256-bit integer vectors (8 draws to a vector; whole numbers only:
// every version gives the same bases).
[[gnu::always_inline]] inline void ran3_bases_body(int* out, int count) {
    using random_detail::ran3_step;
    random_detail::Ran3State& st = random_detail::ran3_state;
    int done = 0;
    if (count > 0 && !st.seeded) {
        long one = 1;
        out[done++] = base_of(ran3(&one));
    }
    // The block form keeps the table in 32 bits: every entry lies in
    // 0..999999999 unless an oversized seed was given.
    bool regular = true;
    for (int i = 1; i <= 55; ++i) regular = regular && st.ma[i] >= 0 && st.ma[i] < kModulus;
    if (!regular) {
        for (; done < count; ++done) out[done] = base_of(ran3_step(st.ma, st.inext, st.inextp));
        return;
    }
    // The table in the order of its writes, oldest first: draw t is
    // x[t] = x[t - 55] - x[t - 24] (plus the modulus when negative), so 24
    // consecutive draws are independent of one another. Each draw becomes
    // its base as it is made (int(4 u) is the number of thresholds it
    // reaches); the table goes in and out as its two contiguous runs.
    constexpr int kLag = 55;
    constexpr int kBlock = 1024;
    std::int32_t x[kLag + kBlock];
    while (done < count) {
        const int n = std::min(kBlock, count - done);
        int m = 0;
        for (int p = st.inext + 1; p <= kLag; ++p) x[m++] = static_cast<std::int32_t>(st.ma[p]);
        for (int p = 1; p <= st.inext; ++p) x[m++] = static_cast<std::int32_t>(st.ma[p]);
        int* bases = out + done;
        for (int t = kLag; t < kLag + n; ++t) {
            std::int32_t v = x[t - kLag] - x[t - 24];
            v += v < 0 ? static_cast<std::int32_t>(kModulus) : 0;
            x[t] = v;
            bases[t - kLag] = (v >= kBaseThreshold[0]) + (v >= kBaseThreshold[1]) + (v >= kBaseThreshold[2]);
        }
        st.inext = (st.inext - 1 + n) % kLag + 1;
        st.inextp = (st.inextp - 1 + n) % kLag + 1;
        m = n;
        for (int p = st.inext + 1; p <= kLag; ++p) st.ma[p] = x[m++];
        for (int p = 1; p <= st.inext; ++p) st.ma[p] = x[m++];
        done += n;
    }
}

}  // namespace

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
namespace {

[[gnu::target("avx2")]] void ran3_bases_avx2(int* out, int count) { ran3_bases_body(out, count); }
void ran3_bases_plain(int* out, int count) { ran3_bases_body(out, count); }

}  // namespace

void ran3_bases(int* out, int count) {
    // Chosen at the first call, not at every start of the program.
    static void (*const version)(int*, int) = cpu::has_avx2() ? ran3_bases_avx2 : ran3_bases_plain;
    version(out, count);
}
#else
void ran3_bases(int* out, int count) { ran3_bases_body(out, count); }
#endif

void initialize_ran3(long const& seed) {
    if (seed >= 0) {
        long lidum = -automatic_seed_magnitude();
        *_AOS_ << "Random number generator initialized with lidum=" << lidum << std::endl;
        // Processes of one working folder share this file: it is replaced whole.
        MY_ReplaceFileContent("randseed.txt",
                              "Random number generator initialized with lidum=" + std::to_string(lidum) + "\n");
        ran3(&lidum);
    } else if (seed >= -kSeedConstant) {
        long idum = seed;
        ran3(&idum);
        *_AOS_ << "Random generator initialized with seed=" << seed << std::endl;
    } else {
        E.error(WARNING, "initialize_ran3(const int seed) ", Msg::m181_seed_too_large);
        long lidum = -automatic_seed_magnitude();
        ran3(&lidum);
    }
}

long my_rand() {
    return automatic_seed_magnitude();
}

long rand_long(long* n) {
    if (*n < 0) {
        // A negative bound must not reseed the stream nor be overwritten.
        next_uniform();
        return -1;
    }
    const double u = ran3(n);
    const long k = static_cast<long>(static_cast<double>(*n) * u);
    return k == *n ? *n - 1 : k;
}

void bootstrap_index(int* idx, int const& n) {
    for (int i = 0; i < n; ++i) {
        idx[i] = static_cast<int>(n * next_uniform());
    }
}

int geometric(double const& p) {
    if (p < 1e-10 || p == 1.0) return 0;
    return clamp_to_int(std::floor(std::log(next_uniform()) / std::log(p)));
}

int expdev(double const& p) {
    const double num = std::log(1.0 - next_uniform());
    const double den = std::log(1.0 - p);
    // When 1 - p rounds to 1 the waiting time is beyond any int (the division
    // by +0 would give the wrong sign).
    if (den == 0.0) return num == 0.0 ? 0 : INT_MAX;
    return clamp_to_int(num / den);
}

long random_detail::poidev_large(float xm, long* idum) {
    constexpr double kPi = 3.141592654;
    PoissonState& st = poisson_state;
    if (xm != st.oldm) {
        st.oldm = xm;
        st.sq = static_cast<float>(std::sqrt(2.0 * xm));
        st.alxm = static_cast<float>(std::log(static_cast<double>(xm)));
        st.g = static_cast<float>(xm * st.alxm - gammln(xm + 1.0));
    }
    float em;
    float t;
    do {
        float y;
        do {
            y = static_cast<float>(std::tan(kPi * ran3(idum)));
            em = st.sq * y + xm;
        } while (em < 0.0f);
        em = std::floor(em);
        t = static_cast<float>(0.9 * (1.0 + y * y) * std::exp(em * st.alxm - gammln(em + 1.0) - st.g));
    } while (ran3(idum) > t);
    return clamp_to_long(em);
}

double igamma_dev(int ia) {
    if (ia <= 0) return 0.0;
    return integer_order_deviate(ia);
}

double gamma_dev(double a) {
    if (!(a > 0.0)) return 0.0;
    if (std::isinf(a)) return a;
    const double whole = std::floor(a);
    const double f = a - whole;
    const double x_int = whole > 0.0 ? integer_order_deviate(whole) : 0.0;
    if (f == 0.0) return x_int;

    // Fractional shape by rejection (Ahrens and Dieter, method GS).
    constexpr double e = 2.718281828459;
    const double b = (f + e) / e;
    double x;
    for (;;) {
        const double p = b * next_uniform();
        if (p <= 1.0) {
            x = std::pow(p, 1.0 / f);
            if (next_uniform() <= std::exp(-x)) break;
        } else {
            x = -std::log((b - p) / f);
            if (next_uniform() <= std::pow(x, f - 1.0)) break;
        }
    }
    return x_int + x;
}

}  // namespace quintle
