#pragma once

// Chakraborty's test of selective neutrality: under the Ewens sampling
// formula with theta estimated from homozygosity, the expected number of
// alleles and the probabilities of exactly k and of k or more alleles in a
// sample of n genes.

#include "popstats/BnumMat.h"

namespace quintle {

// Largest sample and number of alleles the test accepts.
inline constexpr int chakraborty_max_genes = 5000;
inline constexpr int chakraborty_max_alleles = 1000;

struct ChakrabortyProbabilities {
    double expNumAlleles;  // E[K]
    double probExactlyK;   // P(K = k)
    double probKOrMore;    // P(K >= k) = 1 - P(K < k)
};

// The three values at theta for k alleles among n genes. The table must hold
// row n up to column k; theta is positive.
ChakrabortyProbabilities chakraborty_probabilities(int k, int n, double theta, BnumMat const& table);

}  // namespace quintle
