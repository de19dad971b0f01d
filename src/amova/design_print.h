#pragma once

// The writers of an AMOVA design's result: the AMOVA section of the result
// file and the line of the AMOVA batch file.

#include <ostream>

#include "amova/design_result.h"
#include "core/my_string.h"

namespace quintle {

class settings;

// The section of the result file, in this order: with `results`, the
// table of components and indices, the sample-specific FST table (when
// PopSpecificFST) or the table of sample-specific FIS values (when
// PopSpecificFIS and no permutations were asked) and the significance
// lines of the tests that reached their P value; the histogram of the null
// distributions (when KeepNullDistrib and every test ended); with
// `results`, the sample-specific FIS values with their P values (when
// PopSpecificFIS and the design ended with permutations). The settings
// give these options and the anchor of the FIS tables.
void print_amova_design(std::ostream& out, AmovaDesignResult const& r, settings& s, bool results);

// The design's line of the AMOVA batch file: the input file's name and a
// tab; with `results` and a computed design, the d.f., the components and
// the indices of its levels (twelve fields, 0 where the design has no
// level); the permutation count and the four P values once they are due;
// the line end.
void write_amova_batch_line(std::ostream& out, my_string const& input_file, AmovaDesignResult const& r,
                            bool results);

}  // namespace quintle
