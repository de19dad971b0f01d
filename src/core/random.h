#pragma once

// The one process-wide uniform generator and the deviates drawn from it.
// Every random draw of the program continues the same stream, so results
// depend on the seed and on the order of the draws.

#include <bit>
#include <cmath>
#include <cstdint>

namespace quintle {

namespace random_detail {

inline constexpr long kModulus = 1000000000L;

// State of the shared stream. Slot 0 of the table is unused. A table
// seeded within 0..999999999 stays there: every draw is then below 1.
struct Ran3State {
    long ma[56] = {};
    int inext = 0;
    int inextp = 0;
    bool seeded = false;
    bool regular = false;  // the table was seeded within range
};
inline Ran3State ran3_state;

// Seeds the stream from *idum (sets it to 1) and draws its first number.
double ran3_seed_and_draw(long* idum);
// Logs a draw outside [0, 1) (possible only after an oversized seed).
void report_strange_draw(double result);

// One step of the subtractive generator on the given state.
inline double ran3_step(long* ma, int& inext, int& inextp) {
    if (++inext == 56) inext = 1;
    if (++inextp == 56) inextp = 1;
    // After an oversized seed the table leaves 0..999999999 and its entries grow
    // without bound; the difference then wraps instead of overflowing.
    long mj = static_cast<long>(static_cast<unsigned long>(ma[inext]) - static_cast<unsigned long>(ma[inextp]));
    if (mj < 0) mj += kModulus;
    ma[inext] = mj;
    const double result = static_cast<double>(mj) * 1e-9;
    if (result >= 1.0) [[unlikely]]
        report_strange_draw(result);
    return result;
}

}  // namespace random_detail

// Subtractive uniform generator on [0, 1). A negative *idum (or the very
// first call of the process) reseeds it and sets *idum to 1; any other value
// draws the next number of the shared stream. Inline: the simulations draw
// millions of numbers.
inline double ran3(long* idum) {
    random_detail::Ran3State& st = random_detail::ran3_state;
    if (*idum < 0 || !st.seeded) [[unlikely]]
        return random_detail::ran3_seed_and_draw(idum);
    return random_detail::ran3_step(st.ma, st.inext, st.inextp);
}

// The shared stream drawn by one hot loop, its position held in the cursor
// (and in registers): each call gives what ran3 with a non-negative argument
// gives. Only for a seeded stream whose table is in range (usable()), so
// that no draw has anything to report; the position goes back to the stream
// when the cursor goes.
class Ran3Cursor {
public:
    static bool usable() {
        random_detail::Ran3State const& st = random_detail::ran3_state;
        return st.seeded && st.regular;
    }

    Ran3Cursor() = default;
    Ran3Cursor(Ran3Cursor const&) = delete;
    Ran3Cursor& operator=(Ran3Cursor const&) = delete;
    ~Ran3Cursor() { sync(); }

    // The position back in the stream while something else draws from it,
    // and taken up again after.
    void sync() const {
        random_detail::ran3_state.inext = inext_;
        random_detail::ran3_state.inextp = inextp_;
    }
    void resume() {
        inext_ = random_detail::ran3_state.inext;
        inextp_ = random_detail::ran3_state.inextp;
    }

    double operator()() {
        if (++inext_ == 56) inext_ = 1;
        if (++inextp_ == 56) inextp_ = 1;
        long mj = ma_[inext_] - ma_[inextp_];
        // Without a branch: the sign is a coin toss, and a compiler may
        // otherwise choose a jump.
        mj += random_detail::kModulus & -static_cast<long>(mj < 0);
        ma_[inext_] = mj;
        return static_cast<double>(mj) * 1e-9;
    }

private:
    long* ma_ = random_detail::ran3_state.ma;
    int inext_ = random_detail::ran3_state.inext;
    int inextp_ = random_detail::ran3_state.inextp;
};

// out[i] = int(4.0 * u) for the next `count` numbers u of the stream (the
// random bases of a root sequence): the same values and the same stream as
// `count` calls of ran3 with a non-negative argument, generated in blocks.
void ran3_bases(int* out, int count);

// Seeds ran3: seeds of 0 or more use an automatic, time-based seed (logged and
// kept in "randseed.txt"); negative seeds reproduce their stream.
void initialize_ran3(long const& seed);

// Uniform index in 0..*n-1. The bound doubles as the generator argument.
// A negative bound draws once, returns -1 and leaves *n alone.
long rand_long(long* n);

// Resampling with replacement: idx[i] uniform in 0..n-1 for i in 0..n-1.
void bootstrap_index(int* idx, int const& n);

// Geometric deviate floor(ln U / ln p); 0 for p < 1e-10 or p == 1.
int geometric(double const& p);

// Truncation of ln(1 - U) / ln(1 - p).
int expdev(double const& p);

namespace random_detail {

// Constants of the Poisson deviate of large means derived from the last
// mean, recomputed only when the mean changes.
struct PoissonState {
    float oldm = -1.0f;
    float sq = 0.0f;
    float alxm = 0.0f;
    float g = 0.0f;
};
inline PoissonState poisson_state;

// The rejection method for means of 12 or more.
long poidev_large(float xm, long* idum);

// Whether t > g, g being exp(-xm) rounded to float, for a mean xm below 12.
// Most answers come from bounds of g: for means up to 1 the partial sums of
// the series of exp(-xm) that end with its fifth and its sixth term (on
// either side of it), widened by four times the rounding to float; above, the
// single precision exponential, within about one float of g, give or take
// four floats. Only a t between the bounds takes the double precision value,
// so that every answer is that of g itself. A mean at or below 0 (g >= 1)
// takes it at once.
class ExpNegThreshold {
public:
    ExpNegThreshold() = default;
    explicit ExpNegThreshold(float xm) : xm_(xm) {
        if (!(xm > 0.0f)) {
            g_ = static_cast<float>(std::exp(-static_cast<double>(xm)));
            exact_ = true;
            low_ = high_ = g_;
        } else if (xm <= 1.0f) {
            const double x = xm;
            const double s5 = 1.0 - x * (1.0 - x * (0.5 - x * (1.0 / 6.0 - x * (1.0 / 24.0 - x * (1.0 / 120.0)))));
            const double x3 = x * x * x;
            low_ = s5 * (1.0 - kWiden);
            high_ = (s5 + x3 * x3 * (1.0 / 720.0)) * (1.0 + kWiden);
        } else {
            const auto bits = std::bit_cast<std::uint32_t>(std::exp(-xm));
            low_ = std::bit_cast<float>(bits - kSlack);
            high_ = std::bit_cast<float>(bits + kSlack);
        }
    }
    float mean() const { return xm_; }
    bool exceeded_by(float t) {
        if (t > high_) return true;
        if (t <= low_) return false;
        if (!exact_) {
            g_ = static_cast<float>(std::exp(-static_cast<double>(xm_)));
            exact_ = true;
        }
        return t > g_;
    }

private:
    static constexpr std::uint32_t kSlack = 4;
    static constexpr double kWiden = 1.0 / 4194304.0;  // 2^-22
    float xm_ = 0.0f;
    bool exact_ = false;
    float g_ = 0.0f;
    double low_ = 0.0;
    double high_ = 0.0;
};

}  // namespace random_detail

// Poisson deviate of mean xm below 12 by the product method, uniforms drawn
// by draw(): they are multiplied (in float) until the product falls to
// exp(-xm), whose threshold is given (the genealogy prepares those of all its
// branches before it draws).
template <class Draw>
long poidev_small(random_detail::ExpNegThreshold& g, Draw&& draw) {
    float em = -1.0f;
    float t = 1.0f;
    do {
        em += 1.0f;
        t = static_cast<float>(t * draw());
    } while (g.exceeded_by(t));
    // A finite count, far inside the long range.
    return static_cast<long>(em);
}

// Poisson deviate of mean xm, drawing through ran3(idum); means of 12 or more
// take the rejection method.
inline long poidev(float xm, long* idum) {
    if (!(xm < 12.0f)) return random_detail::poidev_large(xm, idum);
    random_detail::ExpNegThreshold g(xm);
    return poidev_small(g, [idum] { return ran3(idum); });
}

// Gamma deviate of shape a (0.0 for a <= 0).
double gamma_dev(double a);

// Gamma deviate of integer shape ia (0.0 for ia <= 0).
double igamma_dev(int ia);

// The automatic seed, as a positive value.
long my_rand();

}  // namespace quintle
