#pragma once

// Kernel estimates of the distribution of FST among simulated loci of
// similar heterozygosity, for the scan for loci under selection.
//
// The simulated loci are two parallel arrays: heterozygosities H_i and FST
// values F_i. Loci whose heterozygosity lies within b_H of the target H
// (inclusive) are weighted by an Epanechnikov kernel,
// w_i = 0.75 (1 - u^2) / b_H with u = (H_i - H) / b_H, and W is the sum of
// their weights. Their FST values are smoothed by a kernel on FST; the
// density at a point x is (sum of kernel(F_i, x) w_i) / W, 0 when W is 0,
// summed in ascending index order. Integrals are midpoint sums over n
// cells. No state is kept.

#include "core/MY_TArrayAsVector.h"

namespace quintle {

// Upper-tail probability of FST at the target heterozygosity, into P:
// the integral of the density (Gaussian, s.d. b_F / 2) over n cells from
// fObs to 1. When almost all the density lies above fObs (1 - P < 0.05) it
// is re-weighted against the integral below fObs (n cells from -0.1, or
// fObs - 0.1 when fObs <= -0.1). Returns the smaller tail: P or 1 - P
// (in the first case), 1 - P (in the second). An empty window gives P = 0
// and returns 0.
double calcFSTpvalue4(double& fObs, MY_TArrayAsVector<double> const& het, MY_TArrayAsVector<double> const& fst,
                      double const& bandwidthF, double const& targetHet, double const& bandwidthH, int const& cells,
                      double& P);

// Appends to `out` one FST quantile per level of `levels` (ascending
// cumulative shares): the centre of the first cell of n over -0.1..1.0 at
// which the cumulative density strictly passes the level, at most one level
// per cell; 2.0 for each level never passed; 0.0 for every level when the
// density is 0 everywhere. Returns 1.
int calcCILimits(MY_TArrayAsVector<double> const& het, MY_TArrayAsVector<double> const& fst,
                 double const& bandwidthF, double const& targetHet, double const& bandwidthH, int const& cells,
                 MY_TArrayAsVector<double>& levels, MY_TArrayAsVector<double>& out);

// The density on the grid x_k = k / (n - 1), 0..1, with an Epanechnikov
// kernel of half-width b_F on FST: entry k of `density` and `grid`.
void calcFSTDensityWeightedByHeterozDistEpanechnikov(MY_TArrayAsVector<double>& density,
                                                     MY_TArrayAsVector<double>& grid,
                                                     MY_TArrayAsVector<double> const& het,
                                                     MY_TArrayAsVector<double> const& fst, double const& bandwidthF,
                                                     double const& targetHet, double const& bandwidthH,
                                                     int const& cells);

// The smaller of the integrals below fObs (n cells from 0, or fObs - 0.1
// when fObs < 0) and above it (n cells up to 1), Epanechnikov kernel on FST.
double calcFSTpvalue(double& fObs, MY_TArrayAsVector<double> const& het, MY_TArrayAsVector<double> const& fst,
                     double const& bandwidthF, double const& targetHet, double const& bandwidthH, int const& cells);

// The same two integrals with the Gaussian kernel (s.d. b_F / 2, or 0.05
// when that is not positive); returns the smaller. Out-value: the lower
// integral (2), or 1 - lower when it exceeds the upper one and else the
// upper one (3).
double calcFSTpvalue2(double& fObs, MY_TArrayAsVector<double> const& het, MY_TArrayAsVector<double> const& fst,
                      double const& bandwidthF, double const& targetHet, double const& bandwidthH, int const& cells,
                      double& lower);
double calcFSTpvalue3(double& fObs, MY_TArrayAsVector<double> const& het, MY_TArrayAsVector<double> const& fst,
                      double const& bandwidthF, double const& targetHet, double const& bandwidthH, int const& cells,
                      double& tail);

}  // namespace quintle
