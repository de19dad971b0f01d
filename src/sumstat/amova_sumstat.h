#pragma once

// What an analysis of molecular variance hands to the statistics line: the
// global fixation indices of its design and the three lists of pairwise
// values. Every value the AMOVA engine and its pairwise comparisons store
// into SumStat passes through store_amova_statistics, at the step where it
// is computed, so a value stored before the analysis is abandoned stays.

#include <functional>
#include <optional>

namespace quintle {

class settings;

// The indices one design computes; those it has no level for stay empty.
struct FixationIndices {
    std::optional<double> fis{}, fst{}, fct{}, fsc{}, fit{};
};

// The pairwise lists, selected by PAIRWISE_FST, PAIRWISE_PI and
// PAIRWISE_DMUSQR.
enum class PairwiseList { Fst, Pi, DmuSqr };

// A pair's value; samples numbered from 0 by id, i > j.
using PairValue = std::function<double(int i, int j)>;

// Both take the run's settings so that whether a run may feed the line is
// decided here, for every caller at once: nothing is stored while the
// settings' quietMode is set (the selection scan's own AMOVAs).
//
// When GLOBAL_FSTAT is selected, each index present becomes its column's
// value and the column is marked as computed. Otherwise nothing is stored.
void store_amova_statistics(settings const& options, FixationIndices const& indices);

// Empties the list (both counters 0) whatever is selected; then, when its
// keyword is selected, appends value(i, j) for every pair of the `samples`
// samples, row by row of the lower triangle: (1,0), (2,0), (2,1), (3,0),
// ..., the order of the FST_i_j, PI_i_j and DMUSQ_i_j columns.
void store_amova_statistics(settings const& options, PairwiseList list, int samples, PairValue const& value);

}  // namespace quintle
