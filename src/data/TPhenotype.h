#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "core/MY_TIArrayAsVector.h"
#include "core/my_string.h"
#include "data/TGenotype.h"

namespace quintle {

class TAllele;
class TAlleleDB;
class TPopHaplotype;
class TPopHaploDB;

// One locus store prepared for the resampling draws: the first allele of
// every haplotype in stored order, and the cumulative frequencies
// cumulative[0] = 0, cumulative[i + 1] = cumulative[i] + frequency of
// haplotype i.
struct ResampleSource {
    std::vector<TAllele*> firstAlleles;
    std::vector<double> cumulative;
    TAllele* recessive = nullptr;  // recessive allele of the locus, or null

    // The allele of the first haplotype i with cumulative[i] < u <=
    // cumulative[i + 1]. A draw outside every interval takes the nearest
    // haplotype of positive frequency (the first one for u = 0, the last one
    // for u above the total). Null for an empty source.
    TAllele* draw(double u) const;
};

// One individual (or one distinct unphased multi-locus genotype with its
// count) given as two pseudo-haplotypes: the first and the second allele read
// at every locus, without any phase meaning. Its genotype list holds the
// phase resolutions built by build_genotypes.
class TPhenotype {
public:
    // Ordinary mode makes 2^(h-1) passes for h heterozygous loci; recessive
    // mode 2^L passes for L loci. Both counts must fit a signed 64-bit
    // integer; beyond these limits a phenotype is not resolved (message 114).
    static constexpr int max_hetero_loci = 32;
    static constexpr int max_recessive_loci = 62;

    // Passes of a phase enumeration: 2^L in recessive mode, else the number
    // of resolutions found by the last build when there was one, else
    // 2^(h-1) (one for a homozygote or a single heterozygous locus).
    std::int64_t resolution_passes(bool recessiveMode, int L, int h) const {
        if (recessiveMode) return std::int64_t{1} << L;
        if (numResolutions != 0) return numResolutions;
        return h < 2 ? 1 : std::int64_t{1} << (h - 1);
    }

    my_string name{"UNKNOWN"};
    double count = 0.0;            // number of individuals (absolute frequency)
    double relFreq = 0.0;          // count / total count
    double probability = 0.0;      // sum of its genotypes' probabilities
    long numResolutions = 0;       // genotypes added by the last build_genotypes
    std::unique_ptr<TPopHaplotype> pseudo1;  // first allele of every locus
    std::unique_ptr<TPopHaplotype> pseudo2;  // second allele of every locus
    my_string alleleString1;       // the gamete texts as read
    my_string alleleString2;
    // Owned. The slots come with the first genotype: only the phase
    // resolutions add any, and a sample may hold a million phenotypes.
    MY_TIArrayAsVector<TGenotype> genotypes{16, 50, DeferSlots{}};
    int redundant = 0;             // absorbed by TPhenDB::check_pheno_redundancy
    int heteroLoci = 0;            // loci whose two alleles differ
    int homozygous = 0;            // 1: no heterozygous locus and not recessive mode

    // One of the individuals a phenotype stands for.
    struct Individual {
        std::string name;
        double count = 0.0;
    };

    TPhenotype();
    TPhenotype(my_string const& phenoName, double const& phenoCount);
    // Copies of h1 and h2 (a null pointer leaves that one absent), name = id
    // in decimal, count 1.
    TPhenotype(TPopHaplotype const* h1, TPopHaplotype const* h2, int const& id);
    // Deep copy of the pseudo-haplotypes; the genotype records are copied
    // and still point into the same store.
    TPhenotype(TPhenotype const& other);
    TPhenotype& operator=(TPhenotype const& other);
    ~TPhenotype();

    // Empties the pseudo-haplotypes, clears name and strings, deletes the
    // genotype records.
    void delete_pheno();
    void kill_gen_list();

    TPopHaplotype* pseudo_hapl(int which) const { return which == 0 ? pseudo1.get() : pseudo2.get(); }
    // which 0: pseudo-haplotype 1, 1: pseudo-haplotype 2, other: nothing.
    // The first form stores a copy, the second takes ownership of h.
    void set_pseudo_hapl(TPopHaplotype const& h, int const& which);
    void set_pseudo_hapl(TPopHaplotype* h, int const& which);

    // Same unordered allele pair at every locus; without pseudo-haplotypes,
    // equal counts.
    bool operator==(TPhenotype const& other) const;

    // Adds 1 to a binary counter of n ints (index 0 the lowest bit).
    static void binary_inc(int* bits, int const& n);

    // Enumerates the phase resolutions into `store` and appends the new
    // ones to the genotype list. Returns 1, or 0 when the phenotype cannot
    // be resolved (reported).
    int build_genotypes(TPopHaploDB& store, TAlleleDB* db, int const& recessive, bool sourcePositions);

    // The translator's reader keeps a run of identical consecutive
    // individuals as one phenotype (a sample of a million individuals made
    // from a table of genotype counts holds a handful of distinct ones):
    // absorb adds one more individual of the same alleles, with its name and
    // count, to the phenotype's count.
    void absorb(std::string_view individual, double individualCount);
    // Calls visit(name, count) for every individual the phenotype stands
    // for, in the order read: itself alone unless it absorbed others.
    template <class Visit>
    void for_each_individual(Visit&& visit) const {
        if (!run_) {
            visit(std::string_view(name.c_str(), static_cast<std::size_t>(name.length())), count);
            return;
        }
        for (Individual const& i : *run_) visit(std::string_view(i.name), i.count);
    }

    // Number of loci whose two alleles differ; stored in heteroLoci.
    int count_hetero_loci();

    // The phase resolutions whose restriction to the loci of previousMask
    // (indexed by locus number) is a pair of haplotypes of `previous`, both
    // of frequency above minFrequency; they go into `store` as
    // build_genotypes puts them. Returns the number of genotypes added.
    // (Defined with the haplotype-frequency EM, in src/haplo/.)
    int build_compatible_genotypes(TPopHaploDB& previous, int const* previousMask, TPopHaploDB& store,
                                   TAlleleDB* db, int const& recessive, double const& minFrequency);

    // E-step for this phenotype: genotype probabilities, their shares and
    // the phenotype's probability from the current store frequencies.
    void update_gen_prob();
    // M-step contribution: adds share · count to the genotypes' haplotypes.
    void update_hapl_freq_in_genotypes();

    // Probability of the phenotype under linkage equilibrium from the
    // alleles' weights.
    double link_equil_pheno_prob();

    // Becomes src restricted to the loci sel[1..sel[0]].
    void copy_restricted_pheno(int const* sel, TPhenotype const& src);
    // Becomes src restricted to the loci whose mask entry is nonzero.
    void build_sub_phenotype(int const* mask, TPhenotype const& src);

    // Genotype-frequency block of the result file (sorts the genotype list).
    void printGenotypeFreqs(std::ostream& os, int const& i, double const& threshold);
    void print_detailed_genotypes(std::ostream& os) const;

    // Becomes the two-locus individual number m of a resample of n: four
    // draws (locus 1, locus 2, locus 1, locus 2) through ran3(&seed), with
    // a recessive allele showing only when both copies carry it.
    void build_resam_pheno(int const& m, int const& n, ResampleSource const& locus1, ResampleSource const& locus2,
                           long& seed);

private:
    // The individuals of an absorbed run, the first one included; null for
    // a phenotype that stands for itself (every phenotype of an analysis).
    std::unique_ptr<std::vector<Individual>> run_;

    void copy_from(TPhenotype const& other);
    bool add_genotype(TPopHaplotype* h1, TPopHaplotype* h2);
};

std::ostream& operator<<(std::ostream& os, TPhenotype const& p);

// A count truncated to an integer, held within the range of int.
int truncate_count(double count);

}  // namespace quintle
