#pragma once

// What the microsatellite and standard-data samples share below their
// drivers: the polymorphism evaluation, the allele rows of the usable loci that the
// distance kernels read, the count-weighted sum of pairwise distances and the
// printed matrix.

#include <cstdint>
#include <ostream>
#include <vector>

#include "core/Errors.h"
#include "core/RectMat.h"
#include "data/Population.h"

namespace quintle {

class PopGenetics;
class TAllele;
class settings;

// evaluate_polymorphism of both types: the allowed level of missing data,
// then the usable and polymorphic loci of the phenotypes (unphased genotypes
// not yet turned into gametes) or of the haplotype list. Always 1.
int evaluate_allele_polymorphism(PopGenetics& p, settings const& s);

// An allele is missing when its whole name is the missing-data character.
bool allele_is_missing(TAllele const* a, char missing);

// The number of loci of the sample: the length of the first entry's allele
// list, 0 for an empty list.
int first_entry_loci(PHaploDefList const& list);

// The loci among the first `loci` whose usable flag is set (every locus when
// the flags were never set), in locus order.
std::vector<int> usable_loci(std::vector<int> const& usableSite, int loci);

// The allele of entry `e` at locus `l`, or null when the entry has no such
// locus.
TAllele const* allele_at(PHaploDef const* e, int l);

// Sum over pairs i > j of the list of count_i x count_j x d(i, j); counts
// multiply in 64 bits.
double weighted_pair_sum(PHaploDefList const& list, RectMat const& d);

// The matrix as compute_distance_matrix prints it: "\nInter-haplotypic
// distance matrix:\n\n", then per row the entries left of the diagonal, eight
// blanks, the entries right of it; each in fixed notation, width 8, four
// decimals.
void write_inter_haplotypic_matrix(std::ostream& out, RectMat const& d, int n);

}  // namespace quintle
