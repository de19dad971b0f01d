#include "amova/TBroyden.h"

#include <cmath>
#include <new>

#include "core/Errors.h"

namespace quintle {

namespace {

// Tolerances and limits of the solve.
constexpr int kMaxIterations = 200;
constexpr long double kStepFactor = 1000.0L;  // maximum step relative to the size of x
constexpr long double kResidualTolerance = 1e-4L;
// Start points closer than this to a root are taken as they are; the value
// is a hundredth of the residual tolerance, computed in double.
constexpr long double kInitialResidualTolerance = 1.0000000000000002e-06;
constexpr long double kStepTolerance = 1e-7L;
constexpr long double kGradientTolerance = 1e-6L;
constexpr long double kUpdateNoise = 1e-7L;  // relative size below which a change of F is noise
constexpr long double kSufficientDecrease = 1e-4L;
constexpr long double kDifferenceStep = 1e-4L;

// The absolute value, square root and exponential are taken in double.
long double abs_d(long double v) { return static_cast<long double>(std::fabs(static_cast<double>(v))); }
long double sqrt_d(long double v) { return static_cast<long double>(std::sqrt(static_cast<double>(v))); }
long double larger(long double a, long double b) { return a > b ? a : b; }
// |a| with the sign of b (b = 0 counts as positive).
long double with_sign_of(long double a, long double b) { return b >= 0.0L ? abs_d(a) : -abs_d(a); }

[[noreturn]] void out_of_memory(char const* where) {
    E.error(MEMORY, where, Msg::m0_not_enough_memory);
    // The report throws once a log is open; without one, end the run the
    // same way.
    throw NOT_ENOUGH_MEMORY;
}

// Owners of the 1-based work storage, released on every way out of a solve.
class Vector1 {
public:
    explicit Vector1(int n) : n_(n), v_(my_vector(1, n)) {}
    ~Vector1() { my_free_vector(v_, 1, n_); }
    Vector1(Vector1 const&) = delete;
    Vector1& operator=(Vector1 const&) = delete;
    long double* get() const { return v_; }
    long double& operator[](int i) const { return v_[i]; }

private:
    int n_;
    long double* v_;
};

class Matrix1 {
public:
    explicit Matrix1(int n) : n_(n), m_(my_matrix(1, n, 1, n)) {}
    ~Matrix1() { my_free_matrix(m_, 1, n_, 1, n_); }
    Matrix1(Matrix1 const&) = delete;
    Matrix1& operator=(Matrix1 const&) = delete;
    long double** get() const { return m_; }
    long double* operator[](int i) const { return m_[i]; }

private:
    int n_;
    long double** m_;
};

}  // namespace

// ---------------------------------------------------------------------------
// Storage helpers
// ---------------------------------------------------------------------------

namespace {

// The block of a 1-based vector nl..nh, reported under `where` when it cannot
// be had.
long double* vector_block(long nl, long nh, char const* where) {
    long const count = nh - nl + 2;
    long double* block = count > 0 ? new (std::nothrow) long double[static_cast<std::size_t>(count)]() : nullptr;
    if (block == nullptr) out_of_memory(where);
    return block + 1 - nl;
}

}  // namespace

long double* my_vector(long nl, long nh) { return vector_block(nl, nh, "my_float *vector() : "); }

long double** my_matrix(long nrl, long nrh, long ncl, long nch) {
    long const rows = nrh - nrl + 1;
    long const columns = nch - ncl + 1;
    if (rows < 0 || columns < 0) out_of_memory("my_float **my_matrix() : ");
    auto** pointers = new (std::nothrow) long double*[static_cast<std::size_t>(rows + 1)]();
    if (pointers == nullptr) out_of_memory("my_float **my_matrix() : ");
    auto* elements = new (std::nothrow) long double[static_cast<std::size_t>(rows * columns + 1)]();
    if (elements == nullptr) {
        delete[] pointers;
        out_of_memory("my_float **my_matrix() : ");
    }
    long double** m = pointers + 1 - nrl;
    m[nrl] = elements + 1 - ncl;
    for (long i = nrl + 1; i <= nrh; ++i) m[i] = m[i - 1] + columns;
    return m;
}

void my_free_vector(long double* v, long nl, long /*nh*/) {
    if (v != nullptr) delete[] (v + nl - 1);
}

void my_free_matrix(long double** m, long nrl, long /*nrh*/, long ncl, long /*nch*/) {
    if (m == nullptr) return;
    delete[] (m[nrl] + ncl - 1);
    delete[] (m + nrl - 1);
}

long double my_expl(long double v) { return static_cast<long double>(std::exp(static_cast<double>(v))); }
long double my_sqrtl(long double v) { return sqrt_d(v); }

// ---------------------------------------------------------------------------
// TBroyden
// ---------------------------------------------------------------------------

TBroyden::TBroyden(int n_, long double* x_, BroydenFunction f)
    : n(n_), x(x_), vecfunc(f), analytic_jacobian(0) {}

TBroyden::TBroyden(int n_, long double* x_, BroydenFunction f, BroydenJacobian j)
    : n(n_), x(x_), jacobian(j), vecfunc(f), analytic_jacobian(1) {}

TBroyden::~TBroyden() = default;

long double TBroyden::fmin(long double* at) {
    vecfunc(nn, at, fvec);
    long double sum = 0.0L;
    for (int i = 1; i <= nn; ++i) sum += fvec[i] * fvec[i];
    return 0.5L * sum;
}

void TBroyden::approx_fdjac(int size, long double* at, long double* f0, long double** df) {
    long double* shifted = vector_block(1, size, "TBroyden::approx_fdjac()");
    for (int j = 1; j <= size; ++j) {
        long double const kept = at[j];
        long double h = kDifferenceStep * abs_d(kept);
        if (h == 0.0L) h = kDifferenceStep;
        at[j] = kept + h;
        h = at[j] - kept;  // the step actually taken after rounding
        vecfunc(size, at, shifted);
        at[j] = kept;
        for (int i = 1; i <= size; ++i) df[i][j] = (shifted[i] - f0[i]) / h;
    }
    my_free_vector(shifted, 1, size);
}

void TBroyden::qrdcmp(long double** a, int size, long double* c, long double* d, int* sing) {
    *sing = 0;
    for (int k = 1; k < size; ++k) {
        long double scale = 0.0L;
        for (int i = k; i <= size; ++i) scale = larger(scale, abs_d(a[i][k]));
        if (scale == 0.0L) {
            // Nothing to reflect in this column: the matrix is singular.
            *sing = 1;
            c[k] = d[k] = 0.0L;
            continue;
        }
        long double norm2 = 0.0L;
        for (int i = k; i <= size; ++i) {
            a[i][k] /= scale;
            norm2 += a[i][k] * a[i][k];
        }
        long double const sigma = with_sign_of(sqrt_d(norm2), a[k][k]);
        a[k][k] += sigma;
        c[k] = sigma * a[k][k];
        d[k] = -scale * sigma;
        // Reflect the remaining columns.
        for (int j = k + 1; j <= size; ++j) {
            long double dot = 0.0L;
            for (int i = k; i <= size; ++i) dot += a[i][k] * a[i][j];
            long double const tau = dot / c[k];
            for (int i = k; i <= size; ++i) a[i][j] -= tau * a[i][k];
        }
    }
    d[size] = a[size][size];
    if (d[size] == 0.0L) *sing = 1;
}

void TBroyden::rotate(long double** r, long double** qt, int size, int i, long double a, long double b) {
    long double cs;
    long double sn;
    if (a == 0.0L) {
        cs = 0.0L;
        sn = b >= 0.0L ? 1.0L : -1.0L;
    } else if (abs_d(a) > abs_d(b)) {
        long double const t = b / a;
        cs = with_sign_of(1.0L / sqrt_d(1.0L + t * t), a);
        sn = t * cs;
    } else {
        long double const t = a / b;
        sn = with_sign_of(1.0L / sqrt_d(1.0L + t * t), b);
        cs = t * sn;
    }
    for (int j = i; j <= size; ++j) {
        long double const upper = r[i][j];
        long double const lower = r[i + 1][j];
        r[i][j] = cs * upper - sn * lower;
        r[i + 1][j] = sn * upper + cs * lower;
    }
    for (int j = 1; j <= size; ++j) {
        long double const upper = qt[i][j];
        long double const lower = qt[i + 1][j];
        qt[i][j] = cs * upper - sn * lower;
        qt[i + 1][j] = sn * upper + cs * lower;
    }
}

void TBroyden::qrupdt(long double** r, long double** qt, int size, long double* u, long double* v) {
    // Last nonzero entry of u.
    int k = size;
    while (k > 1 && u[k] == 0.0L) --k;
    // Rotate u onto its first entry, turning R into an upper Hessenberg matrix.
    for (int i = k - 1; i >= 1; --i) {
        rotate(r, qt, size, i, u[i], -u[i + 1]);
        if (u[i] == 0.0L) {
            u[i] = abs_d(u[i + 1]);
        } else if (abs_d(u[i]) > abs_d(u[i + 1])) {
            long double const t = u[i + 1] / u[i];
            u[i] = abs_d(u[i]) * sqrt_d(1.0L + t * t);
        } else {
            long double const t = u[i] / u[i + 1];
            u[i] = abs_d(u[i + 1]) * sqrt_d(1.0L + t * t);
        }
    }
    for (int j = 1; j <= size; ++j) r[1][j] += u[1] * v[j];
    // Back to upper triangular form.
    for (int i = 1; i < k; ++i) rotate(r, qt, size, i, r[i][i], -r[i + 1][i]);
}

void TBroyden::rsolv(long double** a, int size, long double* d, long double* b) {
    b[size] /= d[size];
    for (int i = size - 1; i >= 1; --i) {
        long double sum = 0.0L;
        for (int j = i + 1; j <= size; ++j) sum += a[i][j] * b[j];
        b[i] = (b[i] - sum) / d[i];
    }
}

void TBroyden::lnsrch(int size, long double* xold, long double fold, long double* g, long double* p,
                      long double* xnew, long double* f, long double stpmax, int* check) {
    *check = 0;
    long double length2 = 0.0L;
    for (int i = 1; i <= size; ++i) length2 += p[i] * p[i];
    long double const length = sqrt_d(length2);
    if (length > stpmax)
        for (int i = 1; i <= size; ++i) p[i] *= stpmax / length;
    long double slope = 0.0L;
    for (int i = 1; i <= size; ++i) slope += g[i] * p[i];

    long double relative = 0.0L;
    for (int i = 1; i <= size; ++i) relative = larger(relative, abs_d(p[i]) / larger(abs_d(xold[i]), 1.0L));
    // A zero step makes this infinite: the first trial then gives up.
    long double const alamin = kStepTolerance / relative;

    long double alam = 1.0L;
    long double alam2 = 0.0L;
    long double f2 = 0.0L;
    for (;;) {
        for (int i = 1; i <= size; ++i) xnew[i] = xold[i] + alam * p[i];
        *f = fmin(xnew);
        if (alam < alamin) {
            for (int i = 1; i <= size; ++i) xnew[i] = xold[i];
            *check = 1;
            return;
        }
        if (*f <= fold + kSufficientDecrease * alam * slope) return;

        long double tmplam;
        if (alam == 1.0L) {
            // Minimum of the quadratic through fold, slope and f(1).
            tmplam = -slope / (2.0L * (*f - fold - slope));
        } else {
            // Minimum of the cubic through the last two trial points.
            long double const rhs1 = *f - fold - alam * slope;
            long double const rhs2 = f2 - fold - alam2 * slope;
            long double const a = (rhs1 / (alam * alam) - rhs2 / (alam2 * alam2)) / (alam - alam2);
            long double const b = (-alam2 * rhs1 / (alam * alam) + alam * rhs2 / (alam2 * alam2)) / (alam - alam2);
            if (a == 0.0L) {
                tmplam = -slope / (2.0L * b);
            } else {
                long double const disc = b * b - 3.0L * a * slope;
                if (disc < 0.0L) {
                    // No real minimum: give up at the last trial point.
                    *check = 1;
                    return;
                }
                tmplam = (-b + sqrt_d(disc)) / (3.0L * a);
            }
            if (tmplam > 0.5L * alam) tmplam = 0.5L * alam;
        }
        alam2 = alam;
        f2 = *f;
        alam = larger(tmplam, 0.1L * alam);
    }
}

void TBroyden::broydn(long double* xs, int size, int* check) {
    nn = size;
    if (size <= 0) {
        // Nothing to solve.
        *check = 0;
        return;
    }
    Vector1 c(size), d(size), fvcold(size), g(size), p(size), s(size), t(size), w(size), xold(size);
    Matrix1 qt(size), r(size);
    Vector1 values(size);
    fvec = values.get();
    // fvec only lives as long as this solve.
    struct Release {
        long double*& ref;
        ~Release() { ref = nullptr; }
    } release{fvec};

    long double f = fmin(xs);
    long double worst = 0.0L;
    for (int i = 1; i <= size; ++i) worst = larger(worst, abs_d(fvec[i]));
    if (worst < kInitialResidualTolerance) {
        *check = 0;
        return;
    }

    long double norm2 = 0.0L;
    for (int i = 1; i <= size; ++i) norm2 += xs[i] * xs[i];
    long double const stpmax = kStepFactor * larger(sqrt_d(norm2), static_cast<long double>(size));

    bool restart = true;
    for (int its = 1; its <= kMaxIterations; ++its) {
        if (restart) {
            if (analytic_jacobian)
                jacobian(size, xs, r.get());
            else
                approx_fdjac(size, xs, fvec, r.get());
            int singular = 0;
            qrdcmp(r.get(), size, c.get(), d.get(), &singular);
            if (singular) {
                *check = 1;
                return;
            }
            // Accumulate Q transposed from the Householder vectors.
            for (int i = 1; i <= size; ++i)
                for (int j = 1; j <= size; ++j) qt[i][j] = i == j ? 1.0L : 0.0L;
            for (int k = 1; k < size; ++k) {
                if (c[k] == 0.0L) continue;
                for (int j = 1; j <= size; ++j) {
                    long double dot = 0.0L;
                    for (int i = k; i <= size; ++i) dot += r[i][k] * qt[i][j];
                    dot /= c[k];
                    for (int i = k; i <= size; ++i) qt[i][j] -= dot * r[i][k];
                }
            }
            // R proper: its diagonal from d, nothing below it.
            for (int i = 1; i <= size; ++i) {
                r[i][i] = d[i];
                for (int j = 1; j < i; ++j) r[i][j] = 0.0L;
            }
        } else {
            // Broyden update of the factorisation with the last step.
            for (int i = 1; i <= size; ++i) s[i] = xs[i] - xold[i];
            for (int i = 1; i <= size; ++i) {
                long double sum = 0.0L;
                for (int j = i; j <= size; ++j) sum += r[i][j] * s[j];
                t[i] = sum;
            }
            bool anyChange = false;
            for (int i = 1; i <= size; ++i) {
                long double predicted = 0.0L;
                for (int j = 1; j <= size; ++j) predicted += qt[j][i] * t[j];
                w[i] = fvec[i] - fvcold[i] - predicted;
                if (abs_d(w[i]) >= kUpdateNoise * (abs_d(fvec[i]) + abs_d(fvcold[i])))
                    anyChange = true;
                else
                    w[i] = 0.0L;
            }
            if (anyChange) {
                for (int i = 1; i <= size; ++i) {
                    long double sum = 0.0L;
                    for (int j = 1; j <= size; ++j) sum += qt[i][j] * w[j];
                    t[i] = sum;
                }
                long double ss = 0.0L;
                for (int i = 1; i <= size; ++i) ss += s[i] * s[i];
                for (int i = 1; i <= size; ++i) s[i] /= ss;
                qrupdt(r.get(), qt.get(), size, t.get(), s.get());
                for (int i = 1; i <= size; ++i) {
                    if (r[i][i] == 0.0L) {
                        *check = 1;
                        return;
                    }
                    d[i] = r[i][i];
                }
            }
        }

        // Newton step p = -R^-1 Qt F and gradient g = Rt Qt F of f.
        for (int i = 1; i <= size; ++i) {
            long double sum = 0.0L;
            for (int j = 1; j <= size; ++j) sum += qt[i][j] * fvec[j];
            p[i] = -sum;
        }
        for (int i = size; i >= 1; --i) {
            long double sum = 0.0L;
            for (int j = 1; j <= i; ++j) sum -= r[j][i] * p[j];
            g[i] = sum;
        }
        for (int i = 1; i <= size; ++i) {
            xold[i] = xs[i];
            fvcold[i] = fvec[i];
        }
        long double const fold = f;
        p[size] /= d[size];
        for (int i = size - 1; i >= 1; --i) {
            long double sum = 0.0L;
            for (int j = i + 1; j <= size; ++j) sum += r[i][j] * p[j];
            p[i] = (p[i] - sum) / d[i];
        }
        lnsrch(size, xold.get(), fold, g.get(), p.get(), xs, &f, stpmax, check);

        worst = 0.0L;
        for (int i = 1; i <= size; ++i) worst = larger(worst, abs_d(fvec[i]));
        if (worst < kResidualTolerance) {
            *check = 0;
            return;
        }
        if (*check) {
            // The line search failed: a fresh Jacobian may help, once.
            if (restart) return;
            long double test = 0.0L;
            long double const den = larger(f, 0.5L * static_cast<long double>(size));
            for (int i = 1; i <= size; ++i)
                test = larger(test, abs_d(g[i]) * larger(abs_d(xs[i]), 1.0L) / den);
            if (test < kGradientTolerance) return;
            restart = true;
        } else {
            // An analytic Jacobian is cheap enough to recompute every time.
            restart = analytic_jacobian != 0;
            long double test = 0.0L;
            for (int i = 1; i <= size; ++i)
                test = larger(test, abs_d(xs[i] - xold[i]) / larger(abs_d(xs[i]), 1.0L));
            if (test < kStepTolerance) return;
        }
    }
    *check = 1;
}

}  // namespace quintle
