#pragma once

// Solver of n nonlinear equations F(x) = 0 in n unknowns, in long double:
// the globally convergent quasi-Newton method of Broyden, with a QR
// factorisation of the Jacobian, rank-one QR updates and a backtracking line
// search on f = 1/2 F.F.
//
// Vectors and matrices are 1-based (element 0 of a vector, and row 0 of a
// matrix, are never used) and made by my_vector / my_matrix below.
//
// Values are held and combined as long double, but every absolute value,
// square root and exponential is taken in double precision, so that the
// results do not depend on the width of the platform's long double maths.
//
// Failures are reported only through the check flag of broydn: no message is
// written on any path (allocation failures excepted, which end the run).

namespace quintle {

// F(x) into f[1..n].
using BroydenFunction = void (*)(int n, long double* x, long double* f);
// df[i][j] = dF_i / dx_j for i, j = 1..n.
using BroydenJacobian = void (*)(int n, long double* x, long double** df);

class TBroyden {
public:
    // Number of equations of the solve under way; set by broydn.
    int nn = 0;
    // Number of unknowns given at construction.
    int n = 0;
    // F at the current point, 1-based; exists only while broydn runs.
    long double* fvec = nullptr;
    // The caller's vector of unknowns, 1-based; not owned.
    long double* x = nullptr;
    BroydenJacobian jacobian = nullptr;
    BroydenFunction vecfunc = nullptr;
    // 1 when `jacobian` is given (recomputed at every iteration), else 0
    // (forward differences, then Broyden updates).
    int analytic_jacobian = 0;

    TBroyden(int n, long double* x, BroydenFunction vecfunc);
    TBroyden(int n, long double* x, BroydenFunction vecfunc, BroydenJacobian jacobian);
    ~TBroyden();
    // `x` and `fvec` point into other objects' storage: no copies.
    TBroyden(TBroyden const&) = delete;
    TBroyden& operator=(TBroyden const&) = delete;

    // Solves from the start point x[1..n] and leaves the last point in x.
    // *check: 0 on convergence (residuals or steps small enough), 1 when the
    // solve gave up (singular Jacobian, failed line search, 200 iterations).
    void broydn(long double* x, int n, int* check);

    // 1/2 F(x).F(x), leaving F(x) in fvec.
    long double fmin(long double* x);

    // Forward-difference Jacobian at x, fvec holding F(x).
    void approx_fdjac(int n, long double* x, long double* fvec, long double** df);

    // Householder QR of a in place: R above the diagonal of a, its diagonal
    // in d, the Householder vectors below, their scale factors in c.
    // *sing = 1 when a column vanishes or d[n] is 0, else 0.
    void qrdcmp(long double** a, int n, long double* c, long double* d, int* sing);

    // Replaces the factorisation Q.R (qt holding Q transposed) by that of
    // Q.R + u (x) v.
    void qrupdt(long double** r, long double** qt, int n, long double* u, long double* v);

    // One Jacobi rotation of rows i and i + 1 of r and qt, with cos and sin
    // proportional to a and b.
    void rotate(long double** r, long double** qt, int n, int i, long double a, long double b);

    // Solves R.x = b in place (b receives x); the diagonal of R is in d.
    void rsolv(long double** a, int n, long double* d, long double* b);

    // Backtracking line search from xold along p; x and *f receive the
    // accepted point and its f. *check = 1 when the step became too small
    // (x is then xold) or the cubic model had no real minimum.
    void lnsrch(int n, long double* xold, long double fold, long double* g, long double* p,
                long double* x, long double* f, long double stpmax, int* check);
};

// 1-based storage of the solver. A vector of indices nl..nh has nh - nl + 2
// elements (a spare in front of nl); a matrix is one block of row pointers
// (one spare) and one contiguous block of elements (one spare), row i
// following row i - 1. An allocation failure is reported as MEMORY and ends
// the run.
long double* my_vector(long nl, long nh);
long double** my_matrix(long nrl, long nrh, long ncl, long nch);
void my_free_vector(long double* v, long nl, long nh);
void my_free_matrix(long double** m, long nrl, long nrh, long ncl, long nch);

// exp and sqrt taken in double precision and widened again.
long double my_expl(long double v);
long double my_sqrtl(long double v);

}  // namespace quintle
