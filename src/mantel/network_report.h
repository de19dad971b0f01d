#pragma once

// The minimum spanning network of a distance matrix between haplotypes as a
// section of the result file: the tree links, the tree in NEXUS notation and
// the alternative links that extend the tree into a network. Two layouts:
// the project-wide one, beside the AMOVA distance matrix, and the one of a
// sample's inter-haplotypic distance matrix.

#include <ostream>

#include "core/RectMat.h"
#include "core/my_string.h"
#include "data/Population.h"

namespace quintle {

class Haplo_DB;

// Project-wide layout: OTU k is the k-th haplotype definition of `hl`; the
// matrix is square with one row per definition. Lengths and distances in
// the stream's number format; identifiers in columns of the larger of 8 and
// the longest identifier + 4.
void print_global_spanning_network(std::ostream& out, RectMat& distances, Haplo_DB const& hl);

// Sample layout: OTU k is the k-th entry of the sample's haplotype list,
// the tree is named after the sample, lengths and distances have 5
// decimals; w is the column width of the sample's distance matrix (the
// larger of 8 and the longest identifier + 4).
void print_sample_spanning_network(std::ostream& out, RectMat& distances, PHaploDefList const& haplotypes,
                                   my_string const& sampleName, int w);

}  // namespace quintle
