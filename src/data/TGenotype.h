#pragma once

#include <ostream>

namespace quintle {

class TPopHaplotype;

// One phase resolution of an unphased individual: an unordered pair of
// haplotypes of the store the resolutions were built into. The haplotypes
// belong to that store; the record only points at them, so it stays valid
// while the store keeps them.
struct TGenotype {
    TPopHaplotype* hapl1 = nullptr;  // first haplotype
    TPopHaplotype* hapl2 = nullptr;  // second one; equal to hapl1 for a homozygous resolution
    double probability = 0.0;        // 2·p1·p2, or p² for a fully homozygous phenotype
    double share = 0.0;              // probability / probability of its phenotype

    // Fixed notation with showpoint: probability / total (width 13, 5
    // decimals) and the first haplotype, then the second one below it;
    // ends with a flushed end of line.
    void print_genot(std::ostream& os, double const& total) const;

    // Two table rows: number i + 1, relative and expected frequency and the
    // first haplotype's listed index and alleles; then the second
    // haplotype's index and alleles.
    void printGenotFreqs(std::ostream& os, int const& i, double const& total) const;
};

// As print_genot with the probability itself and a plain "\n" at the end.
std::ostream& operator<<(std::ostream& os, TGenotype const& g);

}  // namespace quintle
