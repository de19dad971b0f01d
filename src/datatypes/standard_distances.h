#pragma once

// Distances between standard-data haplotypes, whose alleles are only equal
// or different: the number of usable loci at which both carry an allele and
// the two differ. The alleles of every haplotype are taken once into rows
// over the usable loci.

#include <vector>

#include "data/Population.h"

namespace quintle {

class TAllele;

struct StandardAlleleRows {
    int rows = 0;
    int loci = 0;                        // loci per row: the usable ones where the entries differ
    std::vector<TAllele const*> allele;  // rows x loci; null where the allele is missing
};

// The rows of the entries at `loci` (locus indexes); an allele is missing
// when its whole name is the missing-data character, or when the entry has
// no allele there. Equal alleles are one shared object of the allele base.
// Loci where every entry holds the same object (or none) are left out: they
// add nothing to any distance.
StandardAlleleRows read_standard_alleles(std::vector<PHaploDef const*> const& entries,
                                         std::vector<int> const& loci, char missing);

// Distance between rows i and j: loci where both alleles are present and
// are different objects.
int standard_pair_distance(StandardAlleleRows const& t, int i, int j);

}  // namespace quintle
