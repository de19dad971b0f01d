#pragma once

#include <memory>
#include <ostream>
#include <vector>

#include "core/MY_TIArrayAsVector.h"
#include "data/TAllele.h"
#include "data/TAlleleDB.h"
#include "data/TPopHaplotype.h"
#include "data/haplotype_index.h"

namespace quintle {

// A store of multi-locus haplotypes with their frequencies: the working base
// of the haplotype-frequency EM, the disequilibrium measures and the
// bootstrap. Haplotypes stay in insertion order and at fixed addresses
// (genotype records point at them); only the printed table is sorted.
// Lookups by allele pointers go through a hash index that always answers
// the first equal haplotype in stored order.
//
// Code that changes the allele lists of stored haplotypes in place (for
// instance with shrink or Detach), or removes or reorders entries of
// `haplotypes` itself, calls rebuild_index() afterwards. Appending through
// insert() needs nothing.
class TPopHaploDB {
public:
    MY_TIArrayAsVector<TPopHaplotype> haplotypes{10, 100};  // owned, insertion order
    // Per locus of the allele database: 1 for a locus with at least two
    // alleles. Empty until build_reference_haplotype finds a polymorphic locus.
    std::vector<int> polyFlags;
    // Per locus the allele that stands for it in compacted haplotypes; null
    // until build_reference_haplotype (or init_ref_hapl).
    std::unique_ptr<TPopHaplotype> refHaplotype;

    TPopHaploDB() = default;
    TPopHaploDB(TPopHaploDB const& other);
    TPopHaploDB& operator=(TPopHaploDB const& other);
    ~TPopHaploDB() = default;

    // Adds f to the first stored haplotype equal to h, or appends a copy of
    // h with frequency f. Returns the stored haplotype.
    TPopHaplotype* insert(TPopHaplotype const& h, double const& f);
    // First stored haplotype equal to h, or null.
    TPopHaplotype* find(TPopHaplotype const& h) const;

    // Deletes the haplotypes whose frequency is below minFreq; returns the
    // number left.
    int cleanDB(double const& minFreq);
    // Deletes every haplotype.
    void flush_haplotypes();
    // Deletes every haplotype, the flags and the reference haplotype.
    void empty();

    // EM start values: 1 for a fixed haplotype, else 1 + k * ran3, then
    // normalised into frequency and previous frequency. Returns the smallest
    // (3.4028234663852886e38 when the store is empty).
    double assign_rand_init_freq(int const& k);
    // Summed absolute change since the last call is below eps; the previous
    // frequencies catch up.
    bool convergence(double const& eps);
    // First haplotype at which the running frequency sum exceeds r, or null.
    TPopHaplotype* select_haplotype(double const& r) const;

    // Polymorphism flags and reference haplotype from the allele database.
    void build_reference_haplotype(TAlleleDB* db, char const& missing);
    // build_reference_haplotype, then removes the alleles of the monomorphic
    // loci from every stored haplotype.
    void compact(TAlleleDB* db, char const& missing);
    // A reference haplotype of *n positions, all one allele named "UNDEF".
    void init_ref_hapl(int const* n);

    // The frequency table (mode nonzero: rows expanded to every locus when
    // the store is compacted); sets each haplotype's listedIndex.
    void print(std::ostream& os, int mode, double threshold);

    void reset_freq();
    void reset_homo_count();
    // Sum over haplotypes with a homozygote count c of c / (p + F(1 - p)).
    double sum_homoz_inbreeding(double const& F);

    // Bootstrap accumulation of a replicate's estimates.
    void sums_hapl_frequencies(TPopHaploDB const& rep, double minFreq);
    // Standard deviations from the accumulated sums of n replicates.
    void calc_sd(int const& n);

    // D and D' of every haplotype. Returns 1.
    int update_lk_equil();
    // Frequencies under linkage equilibrium: products of allele expFreq.
    void comp_link_equil_hapl_freq();
    // Sum of ln(frequency!) over the haplotypes (frequencies as counts).
    double calc_hapl_lk_dis() const;

    // Merges equal haplotypes into the first of them.
    void check_redundancy();
    // Turns integer counts into unit entries.
    void explode_base();
    // Shuffles the alleles of each of the first *nLoci loci among the
    // haplotypes.
    void permute(int* nLoci);

    // Resynchronises the lookup index after outside changes to the stored
    // haplotypes.
    void rebuild_index() { index_.invalidate(); }

private:
    // Deletes every stored haplotype and the index.
    void delete_haplotypes();
    // Deletes the haplotypes for which drop(h, position) holds, closing the
    // gaps.
    template <class Drop>
    void delete_if(Drop drop);

    // The allele that init_ref_hapl's reference haplotype points at; shared
    // with copies of this store, which point at it too.
    std::shared_ptr<TAllele> undefAllele_;
    HaploIndex index_;
};

// Per haplotype its alleles (each followed by the separator when not NUL),
// two blanks and the frequency; a flushed newline at the end.
std::ostream& operator<<(std::ostream& os, TPopHaploDB const& db);

}  // namespace quintle
