#pragma once

// Chakraborty's test of selective neutrality: under the Ewens sampling
// formula with theta estimated from homozygosity, the expected number of
// alleles and the probabilities of exactly k and of k or more alleles in a
// sample of n genes.

#include <ostream>

#include "core/my_string.h"
#include "popstats/AHaplFreq.h"
#include "popstats/BnumMat.h"

namespace quintle {

class PopGenetics;

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

// What one Chakraborty test found, in either form. The report and the batch
// line are written from it; the sample's fields were set by the step.
struct ChakrabortyResult {
    enum class Outcome {
        single_haplotype,  // fewer than two alleles
        all_different,     // k equals n
        too_large,         // more alleles or genes than the test takes
        tested,
    };
    Outcome outcome = Outcome::single_haplotype;
    bool listForm = false;  // haplotypes without real differences were merged
    double n = 0.0;         // sample size
    int k = 0;
    int numOriginal = 0;
    double homozygosity = 0.0;  // of the sample, or of the list in the list form
    ChakrabortyProbabilities probabilities{};
};

// The sample form, on the sample's own haplotypes; and the list form, on a
// list in which haplotypes without real differences were merged. Both log
// the single-haplotype warning.
ChakrabortyResult chakraborty_step(PopGenetics& p);
ChakrabortyResult chakraborty_step(PopGenetics& p, AHaplFreqList const& list);
// The single-haplotype outcome, with its warning in the log.
ChakrabortyResult chakraborty_single_haplotype();

void write_chakraborty(std::ostream& os, ChakrabortyResult const& r);
// The batch line of a tested sample; nothing for the refusals.
void write_chakraborty_batch(std::ostream& batch, ChakrabortyResult const& r, my_string const& sampleName);

}  // namespace quintle
