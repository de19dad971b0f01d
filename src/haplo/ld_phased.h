#pragma once

// Linkage disequilibrium on phased data: what the sample members of
// ld_phased.cpp, ld_measures.cpp and ld_histogram.cpp share.

#include <ostream>
#include <vector>

namespace quintle {

class PopGenetics;
class settings;
struct PHaploDef;

// The loci of the sample whose polymorphism flag is set, in increasing
// order, among the loci of its haplotype list.
std::vector<int> polymorphic_loci(PopGenetics const& p);

// The measures pass over every pair of the listed loci: the pair headers on
// `out`, the tables of each pair, the per-sample means of the statistics
// line.
void ld_measures_pass(PopGenetics& p, std::vector<int> const& loci, settings& s, std::ostream& out);

// Kept for callers of the haplotype-list walkers: accepts every entry.
int test_fun19(PHaploDef const& entry, void* unused);

}  // namespace quintle
