#pragma once

// The check every data type makes of a sample's haplotype list before it is
// analysed: the declared sample size and number of haplotypes against the
// list.

#include "core/Errors.h"

namespace quintle {

class Population;

// The sample size becomes the sum of the haplotype counts (WARNING 110 from
// `function` when a declared size differs), and a number of haplotypes that
// differs from the list is reported with message 111 of `countKind` from
// `countFunction` (`function` when null), unless the profile has genotypic
// data of known phase. 1 consistent or an empty list, 0 after a report.
int reconcile_haplotype_counts(Population& p, ErrorType countKind, char const* function,
                               char const* countFunction = nullptr);

}  // namespace quintle
