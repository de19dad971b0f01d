#pragma once

// Fu's Fs: the log-odds of seeing at least k distinct alleles in a sample of
// n genes under the Ewens sampling formula with theta set to theta(pi).

#include "popstats/BnumMat.h"

namespace quintle {

// What Fu_Fs did with its output. Only `finite` is the "1" of the statistic's
// int result; the other two are its "0", told apart because in the second
// case there is no value at all.
enum class FuFsOutcome {
    finite,        // Fs written as a finite log-odds
    bound,         // Fs written as +-3.4028234663852886e38 (no diversity, or a probability of 0 or 1)
    not_computed,  // Fs left untouched: sample or allele count beyond the table, or no probability
};

// Fs for theta(pi) theta, k distinct alleles and n gene copies (the sample
// size, truncated for the probabilities). Enlarges the table to
// (n + 10) x (k + 10) when it has no more than n rows or k columns; a refusal
// clears tableExists. With report set, the refusals are logged as warnings
// naming "PopulDNA::Fu_Fs()"; `refusal`, when given, receives the number of
// the message of a refusal (0 without one), reported or not.
FuFsOutcome Fu_Fs(double theta, int k, double n, double& Fs, bool report, BnumMat& table, int& tableExists,
                  int* refusal = nullptr);

}  // namespace quintle
