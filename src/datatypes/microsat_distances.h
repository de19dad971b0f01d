#pragma once

// Distances between microsatellite haplotypes from their allele sizes: the
// number of loci with different sizes, or the sum of squared size
// differences. The sizes of every haplotype are read once into rows over the
// usable loci, so that a pair costs one pass over two rows of doubles.

#include <vector>

#include "core/my_string.h"
#include "data/Population.h"

namespace quintle {

// The size that marks a missing allele in a row.
inline constexpr double microsat_missing_size = -99999.0;

// The size of an allele: its name read as a decimal number by the rules of
// atof (leading blanks skipped, the longest numeric prefix, 0 when there is
// none, infinity beyond the double range).
double microsat_size(my_string const& name);

struct MicrosatSizeRows {
    int rows = 0;
    int loci = 0;                        // usable loci per row
    std::vector<double> size;            // rows x loci; missing alleles hold the marker
    std::vector<unsigned char> missing;  // rows x loci; 1 where the allele is missing
    std::vector<unsigned char> plain;    // per row: 1 when every size is there and finite
};

// The rows of the entries at `loci` (locus indexes); an allele is missing
// when its whole name is the missing-data character, or when the entry has
// no allele there.
MicrosatSizeRows read_microsat_sizes(std::vector<PHaploDef const*> const& entries, std::vector<int> const& loci,
                                     char missing);

// False when some allele that is not missing has the marker's size: the
// distance of a pair of rows then depends on their order.
bool microsat_rows_symmetric(MicrosatSizeRows const& t);

enum class MicrosatPairStatus { ok, bad_size };

// Distance between row i and an earlier row j over every usable locus where
// row i's size is not the marker and row j's allele is not missing. Method 0:
// 1 per locus whose sizes differ; any other method: the squared differences.
// bad_size when a compared size is infinite or not a number (d is then
// meaningless).
MicrosatPairStatus microsat_pair_distance(MicrosatSizeRows const& t, int i, int j, int method, double& d);

}  // namespace quintle
