#pragma once

// The data of one pair of loci held as allele numbers, for the permutation
// test of linkage disequilibrium on unphased genotypes. Each permuted copy
// is built as the phenotype-base road builds it (the sample's phenotypes
// restricted to the pair, one entry per individual, the first locus's gene
// copies shuffled, identical entries merged when asked), and its phase
// resolutions are numbered in the order in which that road inserts them
// into a haplotype base, so both roads run the same EM on the same numbers.

#include <cstdint>
#include <vector>

#include "haplo/em_kernel.h"

namespace quintle {

class TPhenDB;

class TwoLocusData {
public:
    // Reads loci `locusA` and `locusB` of every phenotype and the alleles'
    // weights. False when the pair cannot be held so (a phenotype without
    // both alleles at both loci, an allele kept out of computations, or too
    // many allele pairs): the caller then works on phenotype bases.
    bool prepare(TPhenDB const& phenotypes, int locusA, int locusB, double geneCopies, bool mergeIdentical);

    // The problem of the observed pair.
    void observed(EmProblem& problem);
    // The problem of one permuted copy; the shuffle draws 2N numbers through
    // ran3(&seed).
    void permuted(long& seed, EmProblem& problem);
    // True when the counts do not give as many individuals as there are
    // entries (a count of 0 keeps its entry): each permuted copy is then
    // laid out as TPhenDB::explode_base lays it out, and the caller reports
    // it once.
    bool individuals_changed() const { return explodeMismatch_; }
    // The equilibrium log-likelihood of the entries of the last problem
    // built, from the alleles' weights.
    double equilibrium_ln_likelihood() const;
    // (alleles at the first locus - 1) x (alleles at the second - 1).
    int degrees_of_freedom() const;

private:
    struct Entry {
        int a1, a2;  // allele numbers at the first locus, first and second copy
        int b1, b2;  // at the second locus
        double count;
        double probability;
    };

    void build(std::vector<Entry> const& entries, EmProblem& problem);
    int haplotype_number(int a, int b, EmProblem& problem);
    int merged_slot(Entry const& e);

    std::vector<Entry> source_;     // the restricted phenotypes, in order
    std::vector<int> exploded_;     // source entry of each individual
    bool explodeMismatch_ = false;  // a count that does not give its individuals
    std::vector<Entry> permutedEntries_;
    std::vector<Entry> merged_;
    std::vector<Entry> const* last_ = nullptr;
    std::vector<double> weightA_, weightB_;
    int nA_ = 0;
    int nB_ = 0;
    double geneCopies_ = 0.0;
    bool merge_ = false;
    std::vector<int> copies_;
    std::vector<int> haplotypeNumber_;  // by a * nB + b; -1 when not yet met
    std::vector<int> usedCells_;
    std::vector<std::uint64_t> slotKeys_;  // open addressing for merging
    std::vector<int> slotValues_;
    std::vector<std::size_t> usedSlots_;
};

}  // namespace quintle
