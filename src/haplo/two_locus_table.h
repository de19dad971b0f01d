#pragma once

// The two-locus contingency table of a phased sample: gene copies of the
// haplotype list crossed by their alleles at two loci, alleles numbered in
// order of first appearance. Copies missing at either locus are left out.

#include <vector>

#include "data/Population.h"
#include "haplo/contingency_chains.h"

namespace quintle {

class TAllele;

struct TwoLocusTable {
    std::vector<TAllele const*> rowAlleles;  // first locus, in table order
    std::vector<TAllele const*> colAlleles;  // second locus
    FlatTable counts;                        // rows x cols
};

enum class TableBuild { built, monomorphic, failed };

// Builds the table of loci a and b over the list. Fewer than two alleles at
// either locus gives `monomorphic`; a locus beyond an entry's loci (ERROR 60)
// or a table too large to hold (ERROR 155) gives `failed`; both reported
// under `function`.
TableBuild build_two_locus_table(PHaploDefList const& list, char missing, int a, int b, TwoLocusTable& table,
                                 char const* function);

// Number of loci of the list: those of its first entry's definition.
int haplotype_list_loci(PHaploDefList const& list);

}  // namespace quintle
