#pragma once

// The sizes of a project's samples against what the asked analyses can hold
// in memory, checked once the project is read and before any analysis
// allocates: a coalescent tree of two nodes per gene copy, or one list
// entry per gene copy of genotypic data. A sample too large is reported in
// the log by name and the project fails, rather than ending in an allocation
// that exhausts the machine.

#include "run/settings.h"

namespace quintle {

class Samples;
class Structure;

// No sample of more gene copies is simulated under the coalescent: each
// replicate builds a tree of 2n - 1 nodes of some 150 bytes, and runs
// thousands of times.
inline constexpr double max_simulated_gene_copies = 1048576.0;  // 2^20
// No sample of genotypic data has more gene copies laid out one list entry
// each (the AMOVA and the pairwise comparisons read them so), some 40 bytes
// per copy.
inline constexpr double max_listed_gene_copies = 16777216.0;  // 2^24

// True when every sample, and every pooled group when `groupPass`, fits the
// analyses `s` asks for. Otherwise each one that does not has been reported
// (a line naming it, ERROR 179 from a function text naming it) and the
// result is false.
bool samples_fit_analyses(Samples const& set, Structure const* structure, settings const& s, bool groupPass);

}  // namespace quintle
