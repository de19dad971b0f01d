// The kernel estimates of the selection scan against an independent numpy
// computation and the worked cases of their definition.
//
// Reference values: /usr/bin/python3 with numpy 1.x, vectorised over the
// cells (np.exp over a cells x loci matrix, sums by ndarray.sum), on the
// twelve loci of kH/kF below:
//   w = where(|H - Ht| <= bH, 0.75 (1 - u^2) / bH, 0), u = (H - Ht) / bH
//   gauss(x) = sum(0.398942280401 exp(-z^2/2) / h * w) / sum(w),
//              z = (F - x) / h, h = bF / 2
//   upper: s = (1 - f)/n, x = 1 - s/2 - k s;  lower: t = (f - L)/n,
//   y = L + t/2 + k t;  integrals = sum(density * step)
//   quantiles: x = -0.1 + s/2 + k s, s = 1.1/n, first k with
//   cumsum(d)/sum(d) > level.

#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "core/MY_TArrayAsVector.h"
#include "structure/fst_kernels.h"

namespace quintle {
namespace {

MY_TArrayAsVector<double> array_of(std::initializer_list<double> values) {
    MY_TArrayAsVector<double> a(static_cast<long>(values.size()) + 1, 10);
    for (double v : values) a.Add(v);
    return a;
}

const MY_TArrayAsVector<double> kH =
    array_of({0.10, 0.22, 0.31, 0.35, 0.38, 0.40, 0.41, 0.43, 0.45, 0.47, 0.52, 0.60});
const MY_TArrayAsVector<double> kF =
    array_of({0.02, 0.05, 0.11, 0.03, 0.07, 0.04, 0.09, 0.01, 0.15, 0.06, 0.08, 0.30});

MY_TArrayAsVector<double> scan_levels() { return array_of({0.01, 0.05, 0.1, 0.5, 0.9, 0.95, 0.99}); }

TEST(FstPValue4, UpperTailAndSmallerTailMatchNumpy) {
    struct Case {
        double f, H, smaller, P;
    };
    // Case A (1 - P >= 0.05) in the first two and the last; case B, the
    // density re-weighted against the lower integral, in the others
    // (numpy: p4(f, 0.025, H, 0.04, 200)).
    for (Case c : {Case{0.06, 0.40, 0.4956751277085911, 0.5043248722914089},
                   Case{0.14, 0.42, 0.11276559682552637, 0.11276559682552637},
                   Case{0.0, 0.40, 0.02987038272262099, 0.970129617277379},
                   Case{-0.2, 0.41, 0.0, 1.0},
                   Case{0.02, 0.30, 2.9953817204386723e-13, 0.9999999999997005}}) {
        double f = c.f;
        double P = -1.0;
        const double smaller = calcFSTpvalue4(f, kH, kF, 0.025, c.H, 0.04, 200, P);
        EXPECT_NEAR(smaller, c.smaller, 1e-12) << c.f << " " << c.H;
        EXPECT_NEAR(P, c.P, 1e-12) << c.f << " " << c.H;
        EXPECT_EQ(f, c.f);
    }
    double f = 0.03;
    double P = 0.0;
    EXPECT_NEAR(calcFSTpvalue4(f, kH, kF, 0.1, 0.40, 0.1, 50, P), 0.3073072128386639, 1e-12);
    EXPECT_NEAR(P, 0.6926927871613361, 1e-12);
}

TEST(FstPValue4, DegenerateGridsAndWindowsGiveZero) {
    double P = -1.0;
    double one = 1.0;  // a step of 0: no upper integral
    EXPECT_EQ(calcFSTpvalue4(one, kH, kF, 0.025, 0.40, 0.04, 200, P), 0.0);
    EXPECT_EQ(P, 0.0);
    double f = 0.05;
    P = -1.0;  // no cells
    EXPECT_EQ(calcFSTpvalue4(f, kH, kF, 0.025, 0.40, 0.04, 0, P), 0.0);
    EXPECT_EQ(P, 0.0);
    P = -1.0;  // no simulated heterozygosity within the window
    EXPECT_EQ(calcFSTpvalue4(f, kH, kF, 0.025, 0.9, 0.04, 200, P), 0.0);
    EXPECT_EQ(P, 0.0);
    P = -1.0;  // an FST bandwidth of 0: every Gaussian value is 0
    EXPECT_EQ(calcFSTpvalue4(f, kH, kF, 0.0, 0.40, 0.04, 200, P), 0.0);
    EXPECT_EQ(P, 0.0);

    // Loci exactly at the window's edge weigh 0: an empty window.
    const auto edgeH = array_of({0.25, 0.75});
    const auto edgeF = array_of({0.1, 0.2});
    P = -1.0;
    EXPECT_EQ(calcFSTpvalue4(f, edgeH, edgeF, 0.025, 0.5, 0.25, 200, P), 0.0);
    EXPECT_EQ(P, 0.0);
    auto levels = scan_levels();
    MY_TArrayAsVector<double> q;
    calcCILimits(edgeH, edgeF, 0.025, 0.5, 0.25, 400, levels, q);
    ASSERT_EQ(q.count, 7);
    for (long i = 0; i < q.count; ++i) EXPECT_EQ(q[i], 0.0);
}

TEST(FstQuantiles, MatchNumpyAndAppend) {
    auto levels = scan_levels();
    MY_TArrayAsVector<double> q;
    EXPECT_EQ(calcCILimits(kH, kF, 0.025, 0.40, 0.04, 400, levels, q), 1);
    const double expected[] = {-0.007874999999999993, 0.005875000000000005, 0.014125000000000013, 0.060875,
                               0.096625, 0.10212500000000001, 0.11312500000000002};
    ASSERT_EQ(q.count, 7);
    for (int i = 0; i < 7; ++i) EXPECT_NEAR(q[i], expected[i], 1e-12) << i;

    // A second call appends a second set (numpy: ci(0.05, 0.35, 0.1, 40)).
    calcCILimits(kH, kF, 0.05, 0.35, 0.1, 40, levels, q);
    const double second[] = {-0.03125, -0.0037499999999999895, 0.023750000000000007, 0.051250000000000004,
                             0.10625000000000002, 0.13375000000000004, 0.16125};
    ASSERT_EQ(q.count, 14);
    for (int i = 0; i < 7; ++i) EXPECT_NEAR(q[7 + i], second[i], 1e-12) << i;

    // A bandwidth of 0 leaves no density: 0.0 for every level.
    MY_TArrayAsVector<double> none;
    calcCILimits(kH, kF, 0.0, 0.40, 0.04, 400, levels, none);
    ASSERT_EQ(none.count, 7);
    for (long i = 0; i < none.count; ++i) EXPECT_EQ(none[i], 0.0);
}

TEST(FstQuantiles, DensityInOneCellTakesOneLevelPerCell) {
    // One locus whose FST is the centre of cell 40 of 400 (-0.1 + 0.001375
    // + 40 * 0.00275 = 0.011375), with a bandwidth far below the cell: all
    // the density lies there, and each later level takes the next cell.
    const auto h = array_of({0.3});
    const auto f = array_of({-0.1 + 0.0013750000000000001 + 40 * 0.00275});
    auto levels = scan_levels();
    MY_TArrayAsVector<double> q;
    calcCILimits(h, f, 1e-6, 0.3, 0.04, 400, levels, q);
    ASSERT_EQ(q.count, 7);
    for (int i = 0; i < 7; ++i) EXPECT_NEAR(q[i], -0.1 + 0.001375 + (40 + i) * 0.00275, 1e-12) << i;

    // Levels beyond the last cell are never passed: 2.0.
    auto high = array_of({0.5, 1.5});
    MY_TArrayAsVector<double> r;
    calcCILimits(h, f, 1e-6, 0.3, 0.04, 400, high, r);
    ASSERT_EQ(r.count, 2);
    EXPECT_NEAR(r[0], q[0], 1e-12);
    EXPECT_EQ(r[1], 2.0);
}

TEST(FstOtherKernels, MatchNumpy) {
    // Epanechnikov density on 21 points 0..1 (numpy: dens_epa(k/20, 0.40,
    // 0.08, 0.05)).
    MY_TArrayAsVector<double> density;
    MY_TArrayAsVector<double> grid;
    calcFSTDensityWeightedByHeterozDistEpanechnikov(density, grid, kH, kF, 0.05, 0.40, 0.08, 21);
    const double expected[] = {4.513432835820895, 9.021492537313437, 4.669253731343285, 1.7462686567164183};
    ASSERT_EQ(density.count, 21);
    ASSERT_EQ(grid.count, 21);
    for (int k = 0; k < 21; ++k) {
        EXPECT_NEAR(grid[k], k / 20.0, 1e-15);
        EXPECT_NEAR(density[k], k < 4 ? expected[k] : 0.0, 1e-12) << k;
    }

    // Two-integral kernels, 100 cells (numpy: lower from 0, or f - 0.1 for
    // a negative f, and upper to 1; Epanechnikov half-width 0.05, Gaussian
    // s.d. 0.025).
    double f = 0.05;
    double out = 0.0;
    EXPECT_NEAR(calcFSTpvalue(f, kH, kF, 0.05, 0.40, 0.08, 100), 0.3591204962686567, 1e-12);
    EXPECT_NEAR(calcFSTpvalue2(f, kH, kF, 0.05, 0.40, 0.08, 100, out), 0.3545427354150958, 1e-12);
    EXPECT_NEAR(out, 0.3545427354150958, 1e-12);
    EXPECT_NEAR(calcFSTpvalue3(f, kH, kF, 0.05, 0.40, 0.08, 100, out), 0.3545427354150958, 1e-12);
    EXPECT_NEAR(out, 0.5641493666972506, 1e-12);
    f = -0.05;
    EXPECT_NEAR(calcFSTpvalue(f, kH, kF, 0.05, 0.40, 0.08, 100), 0.0, 1e-12);
    EXPECT_NEAR(calcFSTpvalue2(f, kH, kF, 0.05, 0.40, 0.08, 100, out), 0.001455966588189012, 1e-12);
    EXPECT_NEAR(calcFSTpvalue3(f, kH, kF, 0.05, 0.40, 0.08, 100, out), 0.001455966588189012, 1e-12);
    EXPECT_NEAR(out, 0.9986165617003712, 1e-12);
}

}  // namespace
}  // namespace quintle
