#pragma once

// Estimators of theta from homozygosity, segregating sites, pairwise
// differences and the number of distinct alleles, and the Ewens-formula
// probabilities of the number of alleles K in a sample of n genes.

#include <span>

#include "popstats/BnumMat.h"
#include "popstats/gene_diversity.h"

namespace quintle {

// The value stored for a theta that cannot be finite (largest single-precision value).
inline constexpr double infinite_theta = 3.4028234663852886e38;

// theta(Hom) of a sample of n gene copies holding k distinct haplotypes.
// Writes sumSquaredFreq, geneDiversity, homozygosity, thetaHom, thetaHomSd
// and geneDiversitySd, except: k equal to n writes only thetaHom
// (infinite_theta); n <= 1 writes diversity 0, homozygosity 1 and theta 0
// with s.d. 0. Returns thetaHom.
double calc_theta_Hom(std::span<const double> counts, double n, int k, DiversityFields out);

// Form over a frequency list (k = number of records), used on a merged list:
// writes ewObservedF, thetaHom and thetaHomSd, and, for the s.d., runs the
// gene-diversity s.d. on the sample's own counts (sumSquaredFreq,
// geneDiversitySd). k equal to n returns infinite_theta writing nothing.
double calc_theta_Hom(std::span<const double> list, std::span<const double> ownCounts, double n,
                      DiversityFields out);

// theta(S) and its s.d. from S segregating sites among n gene copies (0 and 0
// for n < 2).
void theta_S(int n, int S, double& thetaS, double& thetaSsd);

// The harmonic sums a1 = sum 1/i and a2 = sum 1/i^2 over i < n of theta(S):
// a series of samples of one size sums them once.
struct WattersonSums {
    int n = 0;
    double a1 = 0.0;
    double a2 = 0.0;
};
WattersonSums watterson_sums(int n);
// theta_S with the sums of its n.
void theta_S(WattersonSums const& sums, int S, double& thetaS, double& thetaSsd);

// theta(pi) and its s.d. from the mean number of pairwise differences pi
// among n gene copies (0 and 0 for n < 2).
void theta_pi(double pi, double n, double& thetaPi, double& thetaPiSd);

// Expected number of alleles E[K] = sum over i < n of theta / (theta + i);
// 1 for theta <= 0, 0 for n <= 0.
double k_est(double theta, int n);

struct ThetaKFields {
    double& thetaK;
    double& thetaKLow;
    double& thetaKHigh;
    double& expNumAlleles;  // E[K] at the last theta tried
};

// theta(k) and its 1 - alpha interval [thetaKLow, thetaKHigh]: the upper
// limit solves P(K < k) = alpha/2, the lower P(K < k) + P(K = k) = 1 - alpha/2.
// k < 2 gives 0 with [0, 0]. Enlarges the table to (n + 10) x (k + 10) when it
// has no more than n rows or k columns (a refusal clears tableExists); beyond
// 4999 genes, 999 alleles or after a refusal the interval is [0, 1e8].
// Returns thetaK.
double theta_k(int n, int k, double alpha, ThetaKFields out, BnumMat& table, int& tableExists);

// P(K = k | n, theta). theta <= 0: 1 for k = 1, else 0; theta > 10000 or
// k >= n: 0. The table must hold B(n, k).
double proba_exactly_k(int k, int n, double theta, BnumMat const& table);

// P(K < k | n, theta) for theta > 0, clamped into [0, 1]; 0 for theta > 10000
// and for k < 2. The table must hold B(n, 1) .. B(n, k - 1).
long double proba_less_than_k(int k, int n, double theta, BnumMat const& table);

}  // namespace quintle
