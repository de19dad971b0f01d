#pragma once

// One haplotype of the phasing sampler: the allele of every polymorphic
// locus as its position in the locus's allele list (-1 for a missing
// allele), and for microsatellite data the allele sizes beside them.

#include <vector>

namespace quintle {

class TGamete {
public:
    // Number of polymorphic loci of the current phasing run (allocateLoci).
    static inline int numLoci = 0;

    std::vector<int> alleles;  // allele position per polymorphic locus, -1 missing
    int haplotypeIndex = -1;   // entry of the sample's estimated haplotypes
    std::vector<int> sizes;    // microsatellite data only: allele size, -1 missing
    int count = 0;             // in the estimated haplotypes: best-phase gametes equal to it

    // Same allele at every position, missing markers included.
    bool operator==(TGamete const& other) const { return alleles == other.alleles; }
    bool operator!=(TGamete const& other) const { return !(*this == other); }

    // The codes that comparisons between individuals read: the sizes for
    // microsatellite data, else the allele positions.
    int* compared() { return sizes.empty() ? alleles.data() : sizes.data(); }
    int const* compared() const { return sizes.empty() ? alleles.data() : sizes.data(); }
};

// The size of a microsatellite allele: the decimal number its name begins
// with, 0 when it begins with no digit (capped at the largest int).
int allele_size(char const* name);

}  // namespace quintle
