#pragma once

// Pieces of the sample distance outputs (PopGenetics::
// compute_dist_mat_for_conventional_FST and PopGenetics::print_out_dist_mat):
// the distance of conventional FST between two allele lists, the rows of a
// ".dis" file and the column width of a printed matrix.

#include <ostream>
#include <vector>

#include "core/RectMat.h"
#include "data/HaploDef.h"
#include "data/Population.h"

namespace quintle {

// Microsatellite and standard data: 1 when at some usable locus (all loci
// when `usable` is empty) below `loci` the two haplotypes carry different
// alleles, neither of them named by the missing-data character alone;
// else 0.
double allele_list_distance(HaploDef const& a, HaploDef const& b, int loci, std::vector<int> const& usable,
                            char missing);

// Classes of definitions that allele_list_distance treats alike (the same
// first min(loci, count) alleles; absent ones together), numbered in order
// of first appearance: the class of each row into classOf, the first row of
// each class into firstOf.
void conventional_classes(std::vector<HaploDef const*> const& rows, int loci, std::vector<int>& classOf,
                          std::vector<HaploDef const*>& firstOf);

// One line per row i < n: the elements below the diagonal, a blank in place
// of the diagonal, the elements above it, each in width 8 with 4 decimals.
void write_conventional_distances(std::ostream& out, RectMat const& d, int n);

// The larger of 8 and the longest haplotype identifier + 4.
int haplotype_column_width(PHaploDefList const& list);

}  // namespace quintle
