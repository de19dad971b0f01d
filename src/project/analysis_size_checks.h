#pragma once

// The sizes of a project's samples against what the asked analyses can hold
// in memory, checked once the project is read and before any analysis
// allocates: a coalescent tree of two nodes per gene copy, one list entry
// per gene copy of genotypic data, the AMOVA's and the pairwise tests'
// vectors of one index per gene copy, the frequency spectra of one class per
// gene copy (and one cell per pair of them), the individuals of unphased
// data laid out one by one. A sample too large is reported in the log by
// name and the project fails, rather than ending in an allocation that
// exhausts the machine.

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
// What one of the other tables laid out per gene copy may take.
inline constexpr double max_table_bytes = 1073741824.0;  // 1 GiB
// The AMOVA's index vector: an int per gene copy of all the samples.
inline constexpr double amova_bytes_per_copy = 4.0;
// The pairwise tests' vector of a pair: two ints per copy of the largest
// sample.
inline constexpr double pairwise_bytes_per_copy = 8.0;
// A class of a sample's frequency spectrum, and a cell of the joint
// spectrum of two: an int and a double each.
inline constexpr double spectrum_bytes_per_class = 12.0;
// An individual of unphased data laid out on its own for the permutations
// of the linkage test and for the phasing (its two allele lists and their
// places in the working tables), some 256 bytes, per gene copy.
inline constexpr double individual_bytes_per_copy = 128.0;

// True when every sample, and every pooled group when `groupPass`, fits the
// analyses `s` asks for. Otherwise each one that does not has been reported
// (a line naming it, ERROR 179 from a function text naming it) and the
// result is false.
bool samples_fit_analyses(Samples const& set, Structure const* structure, settings const& s, bool groupPass);

}  // namespace quintle
