#pragma once

// Per-locus summaries that depend only on allele counts and sizes: expected
// heterozygosity, and for microsatellite loci the size range, the
// Garza-Williamson index and the mean allele size.

#include <climits>
#include <span>

#include "core/my_string.h"

namespace quintle {

// Size of a microsatellite allele: its name read as a number plus 0.5,
// truncated towards zero ("12.6" gives 13), kept within the int range.
int allele_size(my_string const& name);

// Unbiased expected heterozygosity (1 - sum of count^2 / n^2) * n / (n - 1)
// of a locus with n gene copies; 0 when n < 2.
double expected_heterozygosity(std::span<const double> counts, double n);

struct AlleleSizeSummary {
    // Start values, kept by a locus without any allele.
    static constexpr int noMin = INT_MAX;
    static constexpr int noMax = -INT_MAX;

    int minSize = noMin;
    int maxSize = noMax;
    int range = 0;                 // maxSize - minSize
    double garzaWilliamson = 0.0;  // number of alleles / (range + 1)
    double meanSize = 0.0;         // frequency-weighted
};

// sizes[i] is the size and freqs[i] the relative frequency of the i-th
// distinct allele of a locus. A locus without alleles keeps the start values
// of min and max and gets range, index and mean size 0 (its max - min would
// not fit an int).
AlleleSizeSummary summarize_allele_sizes(std::span<const int> sizes, std::span<const double> freqs);

}  // namespace quintle
