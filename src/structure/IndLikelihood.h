#pragma once

// Genotype assignment test: the log-likelihood of every individual's
// multi-locus genotype in each sample of a set, from that sample's allele
// frequencies (counted one locus at a time over its known gene copies; a
// locus at which the individual's genotype holds a missing allele is left
// out of its likelihood in every sample).
// An individual whose highest value lies in another sample's column is a
// candidate immigrant. Unphased diploid data only; the caller presents
// phased genotypes as unphased for the duration of the call.

namespace quintle {

class settings;
class Samples;
class Population;

class IndLikelihood {
public:
    // Frequency given to an allele absent from the sample being scored;
    // recomputed for every scored sample.
    double minFrequency;
    // Width of every printed column; set to 10 by run.
    int columnWidth = 0;
    settings* runSettings;
    Samples* samples;

    IndLikelihood(settings& s, Samples* set, double minimum)
        : minFrequency(minimum), runSettings(&s), samples(set) {}

    // The whole test and its section of the result file; 1.
    int run();
    // Per-sample frequency of every allele of the project's allele
    // database (its popFreq array, one value per sample of the set): its
    // share of the sample's known gene copies at its locus, missing copies
    // left out.
    void calc_alleles_freqs();
    // One line per individual of `scored`: its label, then its
    // log-likelihood in every sample ("N.A." in a sample without
    // individuals).
    void likelihood_in_a_pop(Population* scored);
    // The same as calc_alleles_freqs; the indexes are not used.
    void calc_alleles_freqs_without_one_individual(int const& sample, int const& individual);
};

// 1 - 0.95^(1 / (2 n)): the frequency that an allele absent from a sample of
// n individuals could have while being missed with probability 0.95.
double assignment_min_frequency(long individuals);

// The log-likelihood of one multi-locus genotype, locus after locus:
// Q = prod p1 p2, doubled at each locus whose two alleles differ, a
// frequency below 1e-15 counting as the minimum frequency. ln Q, or the sum
// of the logarithms once Q has fallen below the smallest normal double
// (long genotypes), so that the value stays finite and exact.
class GenotypeLikelihood {
public:
    explicit GenotypeLikelihood(double minimum) : minimum_(minimum) {}
    void add(double p1, double p2, bool differentAlleles);
    double ln() const;

private:
    double minimum_;
    double q_ = 1.0;
    double lnSum_ = 0.0;
};

}  // namespace quintle
