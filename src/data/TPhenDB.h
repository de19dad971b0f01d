#pragma once

#include <ostream>
#include <utility>

#include "core/MY_TIArrayAsVector.h"
#include "data/TPhenotype.h"

namespace quintle {

class TAlleleDB;
class TPopHaploDB;

// The phenotypes of one diploid sample, with the sample's log-likelihood
// and the results of the phase measures.
class TPhenDB {
public:
    MY_TIArrayAsVector<TPhenotype> phenotypes{11, 10};  // owned, in reading order
    double lnLikelihood = 0.0;   // result of the last calc_ln_likelihood
    // The inbreeding coefficient of the last haplotype-frequency EM (its best
    // start's); carried along by copies; 0 after the random constructor.
    double auxValue = 0.0;
    double IFcoeff = 0.0;        // result of compute_IF_coeff
    int ambiguousInds = 0;       // individuals with at least two heterozygous loci
    int correctAmbiguousInds = 0;  // those of them whose most likely phase is right

    TPhenDB() = default;
    // n random individuals drawn from the store's frequencies.
    TPhenDB(int const& n, TPopHaploDB const& store);
    TPhenDB(TPhenDB const& other);
    TPhenDB& operator=(TPhenDB const& other);
    ~TPhenDB() = default;

    // Exchanges the phenotypes and every value with other.
    void swap(TPhenDB& other) noexcept {
        phenotypes.swap(other.phenotypes);
        std::swap(lnLikelihood, other.lnLikelihood);
        std::swap(auxValue, other.auxValue);
        std::swap(IFcoeff, other.IFcoeff);
        std::swap(ambiguousInds, other.ambiguousInds);
        std::swap(correctAmbiguousInds, other.correctAmbiguousInds);
    }

    long size() const { return phenotypes.count; }
    TPhenotype* operator[](long i) const { return i >= 0 && i < phenotypes.count ? phenotypes.data[i] : nullptr; }
    // Appends and takes ownership; returns the new number of phenotypes. A
    // full list grows by half its size at least, so that a sample of many
    // individuals is read and copied in time proportional to its size.
    long add(TPhenotype* p) {
        if (phenotypes.count >= phenotypes.capacity && phenotypes.step < phenotypes.capacity / 2)
            phenotypes.step = phenotypes.capacity / 2;
        return phenotypes.Add(p);
    }
    // Deletes all phenotypes.
    void flush() { phenotypes.Flush(); }

    // --- phase resolutions and the EM steps ---
    int build_all_genotypes(TPopHaploDB& store, TAlleleDB* db, int const& recessive);
    double calc_ln_likelihood();
    void update_genotypes();                  // E-step
    void update_hapl_freq(TPopHaploDB& store);  // M-step: expected gene counts
    double convert_freq_to_real();            // relative frequencies; returns the total count
    double link_equil_ln_likelihood() const;
    void check_pheno_redundancy();            // merges identical phenotypes
    int nb_individuals() const;
    void create_temp_PhenDB(int const* sel, TPhenDB const& src);
    void build_sub_PhenDB(int const* mask, TPhenDB const& src);
    int num_loci() const;

    // --- printouts ---
    void printGenotypeFrequencies(std::ostream& os, double const& threshold);
    void print_all_genotypes(std::ostream& os) const;

    // --- tests and resampling ---
    // Hardy-Weinberg G statistic at one locus of a set restricted to it
    // (one entry per genotype class); df receives its degrees of freedom.
    double hw_chi_stat(TAlleleDB* db, int locus, char missing, int& df) const;
    // Degrees of freedom of the two-locus linkage test.
    int get_num_of_deg_freed() const;
    // Shuffles the alleles at position 0 among all gene copies.
    void permute_alleles(int const* sel, long& seed);
    // One phenotype of count 1 per individual. False when the counts do not
    // give as many individuals as the set then holds (a count of 0 keeps its
    // phenotype): ERROR 120 when `report`.
    bool explode_base(bool report = true);
    double calc_ln_multinom() const;
    // Replaces the set by n two-locus individuals drawn from the stores.
    void resample(int const& n, TPopHaploDB& locus1, TPopHaploDB& locus2, long& seed, TAlleleDB* db);
    // Only deletes all phenotypes.
    void resample(int const& n, TPopHaploDB& store, long& seed, TAlleleDB* db);
    // Share of individuals whose most likely phase is the true one.
    double percent_correct_gametic_phase(std::ostream& os);
    // 1 − half the total absolute difference between the true and the
    // estimated haplotype frequencies; stored in IFcoeff.
    double compute_IF_coeff(TPopHaploDB* estimated);

private:
    void copy_from(TPhenDB const& other);
    void create_random_list(int n, TPopHaploDB const& store);
};

std::ostream& operator<<(std::ostream& os, TPhenDB const& db);

// ERROR 120 said once for a test whose `copies` permuted copies each laid
// out individuals that their counts do not give (a phenotype of count 0
// stays among them); nothing when `copies` is 0.
void report_changed_individuals(long copies);

}  // namespace quintle
