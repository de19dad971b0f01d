#pragma once

// Exact test of sample differentiation: the contingency table of haplotype
// (or, for unphased diploid data, genotype) counts of the samples, and the
// Markov chain that walks tables with the same margins. The P value is the
// share of visited tables that are no more probable than the observed one.

namespace quintle {

class settings;
class Samples;
class Population;

// A plain record: the genetic-structure driver fills its last three fields,
// the report the pair and the step count, the tests the rest.
struct DiffInterPop {
    // Rows of the current table (2 or K), each numColumns + 2 ints of which
    // the first numColumns are the cells; one block, rows one after the
    // other. Null when no table is held.
    int** table = nullptr;
    int firstSample = 0;    // index of the pair's first sample (row 0)
    int secondSample = 0;   // index of the pair's second sample (row 1)
    long numColumns = 0;
    double pValue = 0.0;    // -1 when the last test could not be made
    double pValueSD = 0.0;  // 1 then
    long stepsDone = 0;     // counted chain steps of the last test
    int testImpossible = 0; // set once any table of the report could not be built
    settings* runSettings = nullptr;
    Samples* samples = nullptr;

    // The global test, every pair's test and their section of the result
    // file (exact_tests_report.cpp).
    void make_all_tests();

    // The test over all samples, and the test of the pair (firstSample,
    // secondSample). Each starts from pValue -1, pValueSD 1 and stepsDone 0,
    // which stay when the test cannot be made or is given up.
    void make_sample_test();
    void make_diff_test();

    // Tables of all samples (K rows) or of two samples (row 0 = a): of
    // haplotype counts, or of genotype counts (build_pheno_table). 1 when
    // built; 0 with no table held when fewer than two columns exist or an
    // entry cannot be placed.
    int build_all_table();
    int build_pheno_table();
    int build_all_table(Population* a, Population* b);
    int build_pheno_table(Population* a, Population* b);

    // One chain step on the two-row / K-row table over its first `columns`
    // columns: the probability ratio of the move made, 1.0 when none.
    double swap_in_table(long& seed, long const& columns);
    double swap_in_table2(long& seed, long const& columns);

    // Free the table held (two-row or K-row); table becomes null.
    void clean_table();
    void clean_big_table();
};

}  // namespace quintle
