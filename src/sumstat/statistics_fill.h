#pragma once

// The one step that fills the statistics record: once per pass, from the
// pass's results and the selection of the statistics list.

namespace quintle {

struct PassResults;
class TSumStat;

// Each result present in `pass` replaces the record's value: a value array
// is emptied and refilled, a scalar set. What the pass did not compute is
// left as an earlier pass or project left it. The selection decides as the
// statistics line is built, plus what the record keeps for it:
// - the summary's arrays are kept whatever is selected, and its means,
//   s.d.s and totals when their keyword is selected (the allelic range's
//   and the total Garza-Williamson index always);
// - the linkage arrays are emptied, then get the values of their keywords;
// - with GLOBAL_FSTAT, each fixation index present sets its column on for
//   the rest of the run (hasFIS .. hasFIT) and becomes its value;
// - each pairwise list present is emptied, then refilled when selected.
void fill_statistics_record(PassResults const& pass, TSumStat& line);

}  // namespace quintle
