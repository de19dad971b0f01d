#pragma once

// Genotype assignment test: the likelihood of each individual's genotype in
// every sample of a set.
//
// INTERIM STAND-IN: computes and writes nothing; the genetic-structure work
// replaces this file with the test itself.

namespace quintle {

class settings;
class Samples;

class IndLikelihood {
public:
    // `minFrequency` stands in for the frequency of an allele a sample lacks.
    IndLikelihood(settings& /*s*/, Samples* /*samples*/, double /*minFrequency*/) {}

    // Runs the test on the set and writes its section; 1 when done.
    int run() { return 1; }
};

}  // namespace quintle
