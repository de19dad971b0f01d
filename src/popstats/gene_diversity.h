#pragma once

// Homozygosity, gene diversity and its sampling standard deviation from the
// haplotype counts of one sample.
//
// A count (or a frequency record's value) of at least 1 is a number of gene
// copies and is divided by the sample size n; a smaller value is taken as the
// frequency itself. Sums run over the values in the order given.

#include <span>

namespace quintle {

// The sample's result fields these routines write. Each routine writes only
// the fields its comment names and leaves the others as they are.
struct DiversityFields {
    double& sumSquaredFreq;
    double& homozygosity;
    double& geneDiversity;
    double& geneDiversitySd;
    double& thetaHom;
    double& thetaHomSd;
    double& ewObservedF;
};

// Frequency of one list value in a sample of n gene copies.
inline double haplotype_frequency(double value, double n) { return value >= 1.0 ? value / n : value; }

// Sum of squared frequencies; 0 for an empty list.
double calc_F(std::span<const double> values, double n);

// Homozygosity and unbiased gene diversity (capped at 1) of a sample of n
// gene copies holding k distinct haplotypes. k equal to n: homozygosity 0,
// diversity 1; n <= 1: diversity 0, homozygosity 1; otherwise also writes
// sumSquaredFreq. Returns the homozygosity.
double calc_sample_homozygosity(std::span<const double> counts, double n, int k, DiversityFields out);

// Form over a frequency list (k = number of records): 0 when k equals n, 1
// when n <= 1, both writing nothing; otherwise writes the sum of squares to
// ewObservedF and returns 1 - H, or 0 when H exceeds 1.
double calc_sample_homozygosity(std::span<const double> list, double n, double& ewObservedF);

// Sampling s.d. of gene diversity. Writes sumSquaredFreq; n <= 1 gives s.d. 0;
// a negative variance (rounding) leaves geneDiversitySd as it was. Returns
// geneDiversitySd.
double calc_sample_sd_heterozygosity(std::span<const double> counts, double n, double& sumSquaredFreq,
                                     double& geneDiversitySd);

}  // namespace quintle
