#pragma once

// The results of a locus-by-locus AMOVA: one result record per analysed
// locus, in locus order, and the printers of its tables: the per-locus
// table of sums of squares, components and fixation indices, the
// population-specific FST and FIS per locus, and the weighted average over
// loci with its bootstrap percentiles and significance tests.
//
// Every printer lays the table out by the design type of the FIRST record.

#include <array>
#include <ostream>
#include <vector>

#include "amova/amova_results.h"
#include "core/MY_TIArrayAsVector.h"
#include "project/pass_results.h"

namespace quintle {

class settings;

// The AMOVA of all loci together, as a weighted average over loci: each
// sum is the sum over loci of the per-locus values, each index a ratio of
// such sums (0 where the denominator sums to 0).
struct LocusAverage {
    int type = 0;  // design type of the first record
    int loci = 0;  // L, the number of records
    std::array<double, 4> SS{};  // sums of the design's sum fields, in row order
    std::array<double, 4> V{};   // sums of V1..V4
    double SST = 0.0;
    double VT = 0.0;
    double FIS = 0.0, FST = 0.0, FSC = 0.0, FCT = 0.0, FIT = 0.0;

    // One significance test of an averaged component.
    struct Test {
        int component = 0;  // 1..4
        bool smaller = false;
        long extreme = 0;
        long equal = 0;
    };
    std::vector<Test> tests;  // in the design's output order
    long permutations = 0;    // count of permuted values of the first record that has any

    // Bootstrap over loci (6 loci or more): per index, in printing order,
    // its name and its 20000 replicate values sorted ascending.
    struct Bootstrap {
        char const* name;
        std::vector<double> values;
    };
    std::vector<Bootstrap> bootstraps;
};

class AMOVA_table {
public:
    // Replicates of the bootstrap over loci, and the positions in their
    // sorted values of the 17 percentiles printed.
    static constexpr int bootstrap_replicates = 20000;
    static constexpr int percentile_count = 17;

    // Kept with the table's layout for its readers; no printer uses it.
    double tolerance = 1e-10;
    // The per-locus records, owned.
    MY_TIArrayAsVector<amova_results> results{11, 10};
    // Width W of the sum, component and percentage columns.
    int col_width = 15;
    // Kept with the table's layout for its readers; no printer uses it.
    int spare = 4;

    AMOVA_table() = default;
    ~AMOVA_table() = default;  // the list deletes the records
    AMOVA_table(AMOVA_table const&) = delete;
    AMOVA_table& operator=(AMOVA_table const&) = delete;

    // The two header lines of the per-locus table; nothing for an empty list.
    void print_table_header(std::ostream& out);
    // One row per record whose total variance exceeds 1e-17.
    void print_table(std::ostream& out);
    // Population-specific FST / FIS per locus (records whose total sum of
    // squares is positive), as values or, with `deviation`, as percent
    // deviations from the locus's global index. A population beyond a
    // record's own list prints "N.A.".
    void print_Fst_per_pop_table(std::ostream& out, int width, bool deviation);
    void print_Fis_per_pop_table(std::ostream& out, int width, bool deviation);

    // The weighted average over loci, computed from the records; with 6 loci
    // or more it draws the 20000 bootstrap replicates of the loci from the
    // run's generator. Empty (loci 0) for an empty list.
    LocusAverage average_loci() const;
    // Computes the average, writes it (table, indices, percentiles and
    // significance tests) and returns it. The bootstrap's anchor goes to the
    // sample set the settings point to, named for the group pass when
    // `groups`.
    LocusAverage print_average_loci(std::ostream& out, settings* s, bool groups = false);
};

// The average's section of the result file.
void print_locus_average(std::ostream& out, LocusAverage const& a, settings* s, bool groups = false);

// The indices the average gives the statistics line: every index of its
// design (FST for one group of samples; FIS, FST and FIT with the individual
// level; FST, FCT and FSC for groups; FIS, FCT, FSC and FIT for groups with
// the individual level; FIS for one sample), none for another design.
FixationIndices average_line_indices(LocusAverage const& a);

}  // namespace quintle
