#pragma once

// What one AMOVA design computed: its table of variance components, the
// fixation indices, the per-sample values and the permutation tests of the
// components. A design fills it (amova/Amova.h); the printer writes the
// AMOVA section of the result file from it, the batch writer the line of
// the AMOVA batch file (amova/design_print.h), and the engine stores it in
// its amova_results record and hands its indices to the statistics line.

#include <string>
#include <vector>

namespace quintle {

class amova_results;
struct FixationIndices;

// The index whose P value a test gives.
enum class AmovaIndex { FST, FSC, FCT, FIT, FIS };

// One variance component tested by permutation, as far as its test went.
struct AmovaTestOutcome {
    char const* label = "";  // the first P line up to its value
    char const* name = "";   // "Va": its histogram column and observed-value line
    double observed = 0.0;
    int list = 0;                        // the record's values list of the component (1..4); 0: none
    AmovaIndex index = AmovaIndex::FST;  // the record's P field
    // The permuted values in permutation order (also those of a test
    // stopped during its permutations).
    std::vector<double> values;
    // The test reached its P value (then counted, equal, p, sd and the
    // histogram hold).
    bool complete = false;
    long counted = 0;  // values beyond the observed one (below it for the lowest level)
    long equal = 0;    // values equal to it
    double p = 0.0;
    float sd = 0.0f;              // s.d. of p over the blocks of permutations
    std::vector<float> bounds;    // histogram class bounds
    std::vector<long> classes;    // histogram class counts
};

struct AmovaDesignResult {
    int design = 0;         // design code 2..8; 0: no design computed
    bool computed = false;  // the components below hold (the design did not give up before)
    bool finished = false;  // the design ran to its end (its return value)

    // --- table, components in table order ------------------------------
    int rows = 0;    // rows of the table (and levels of the batch line)
    int df[4]{};     // d.f. of each component; beyond `rows` as the record takes them
    double ss[4]{};  // sum of squares of each row
    double v[4]{};   // Va, Vb, Vc, Vd; beyond `rows` as the record takes them
    double total_ss = 0.0;
    double total_v = 0.0;  // 1e-18 when the components sum to 0
    int total_df = 0;      // the total row's d.f. as printed
    // As the record takes them: the sums by level and the unit count minus 1.
    double SSDAG = 0.0, SSDAP = 0.0, SSDWP = 0.0, SSDWI = 0.0;
    int record_df_total = 0;
    double FST = 0.0, FSC = 0.0, FCT = 0.0, FIT = 0.0, FIS = 0.0;

    // --- per sample --------------------------------------------------------
    std::vector<std::string> names;      // sample names by id
    std::vector<int> structure_order;    // sample ids in structure order
    std::vector<double> pop_FST;         // by id; empty when the design has none
    std::vector<double> pop_FIS;         // by id; empty when the design has none
    std::vector<double> pop_FIS_p;       // by id, after a finished test with permutations

    // --- permutation tests --------------------------------------------------
    long permutations_asked = 0;  // the engine's count before its tests
    long permutations = 0;        // run by each test (whole blocks); 0: none
    bool tests_allocated = false; // the tests' storage was made: the record's lists are reset
    std::vector<int> planned_lists;       // values list of each planned test, in run order
    std::vector<AmovaTestOutcome> tests;  // the tests started, in run order
    bool tests_finished = false;          // every test reached its P value (with permutations)
    int batch_tests[4]{-1, -1, -1, -1};   // test giving each P column of the batch line; -1: 0
    int batch_after = -1;                 // the test after which the batch line's P values are due
    int columns[4]{};                     // tests in histogram column order
    int column_count = 0;

    // The batch line's P values are due: its test reached its P value.
    bool batch_p_due() const {
        return permutations > 0 && batch_after >= 0 && batch_after < static_cast<int>(tests.size()) &&
               tests[static_cast<std::size_t>(batch_after)].complete;
    }
};

// The global fixation indices the design gives the statistics line (its
// levels' indices); none when nothing was computed.
FixationIndices design_line_indices(AmovaDesignResult const& r);

// Stores the result in the record: the scalars and per-sample values of a
// computed design, the permuted values of each test and the P values of
// the tests that reached one.
void store_design_result(amova_results& record, AmovaDesignResult const& r);

}  // namespace quintle
