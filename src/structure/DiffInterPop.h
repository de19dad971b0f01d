#pragma once

// Exact test of sample differentiation: the contingency table of haplotype
// (or genotype) counts of the samples and the Markov chain that walks tables
// with the same margins.
//
// INTERIM STAND-IN: the record's fields and its entry point only; the test
// itself is not computed yet and nothing is written.

namespace quintle {

class settings;
class Samples;

// A plain record: the genetic-structure driver fills its last three fields.
struct DiffInterPop {
    int** table = nullptr;
    int firstSample = 0;
    int secondSample = 0;
    long numColumns = 0;
    double pValue = 0.0;
    double pValueSD = 0.0;
    long stepsDone = 0;
    int testImpossible = 0;
    settings* runSettings = nullptr;
    Samples* samples = nullptr;

    // The global test over all samples, every pair's test and their report.
    void make_all_tests();
};

}  // namespace quintle
