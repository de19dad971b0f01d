#pragma once

// One simulated locus of the scan for loci under selection. Its genealogy
// and mutations are made once; the locus is then measured either through
// the genetic-structure driver (samples read from the leaves, their
// haplotype list, allele vectors and distance matrix, the AMOVA engine and
// the heterozygosity of the samples: simulated_samples.cpp and
// selection_null.cpp) or, in the ordinary case, straight from the allele
// counts of each sample read off the leaves (`SimulatedLocusCounts`), with
// the same numbers to the last bit and storage kept from locus to locus.

#include <cstddef>
#include <fstream>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "popstats/mutations.h"

namespace quintle {

class Project;
class Samples;
class Structure;
class TNode;
class TTree;

// What a simulated locus is measured by: its FST and the size-weighted mean
// heterozygosity within the samples of the structure.
struct LocusMeasure {
    double fst = 0.0;
    double withinHet = 0.0;
};

// The mutation model of a simulated locus (Samples::sprinkle_mutations).
struct SimulatedMutations {
    double theta = 0.0;
    int nSites = 1;
    Mut_Type model = DNA_MUT;
    double gammaShape = 0.0;
    double rate1 = 1.0;
    double rate2 = 1.0;
    double transitionProb = 1.0 / 3.0;
    int bounded = 0;
};

// Builds the genealogy of the project's current sample set (the island
// model, or the hierarchical one when `templStructure` is given) and places
// its mutations: their number, or -1 (with the log's line) when no
// genealogy could be built.
long simulate_genealogy(Project& project, SimulatedMutations const& m, Samples& templ, Structure const* templStructure,
                        double target1, double target2, int nDemes, int nGroups);

// Reads the leaves of that genealogy into the current sample set (in the
// order of the templates' set, or of the structure's members when
// `byStructure`), empties the demes and points the current structure at
// the new samples. 0 when the leaves could not be read.
int read_simulated_samples(Project& project, Samples const& templ, Structure& templStructure, Mut_Type model,
                           bool diploid, bool byStructure);

// Readies the data of the samples just read as the project's own would be
// (gene copies of diploid data, allele vectors, a database of one locus).
void ready_simulated_data(Project& project);

// The locus measured like observed data: the AMOVA of the re-entered
// genetic-structure driver (writing to `muted`) and the heterozygosity of
// the samples over the structure.
LocusMeasure measure_with_driver(Project& project, std::fstream& muted);

// The text of a leaf's locus under the model and the identifier of its
// haplotype; false when a new-allele state has no one-character text.
bool simulated_leaf_text(TNode const& leaf, Mut_Type model, char separator, std::string& text, std::string& id);

// The AMOVA at the level of gene copies of one locus given as allele counts.
// Rows are the samples of the structure, group after group in member
// order; `counts` holds K counts per row, `sizes` the gene copies of each
// row, `distances` the K x K distances between the alleles. The sums over
// pairs of copies must be whole numbers below 2^52 (whole distances, the
// largest times the squared number of copies below 2^52; the caller sees
// to it): they are then exact in any order, and every
// other step is taken in the engine's order, so that FST is the engine's to
// the last bit. False when the engine would refuse the design (a sample
// without copies, an odd one when `individuals`, a degree of freedom below
// 1).
struct CountAmovaInput {
    int groups = 0;
    int const* groupSizes = nullptr;  // rows per group
    int K = 0;
    double const* counts = nullptr;
    double const* sizes = nullptr;
    double const* distances = nullptr;
    bool individuals = false;  // the design moves whole individuals: even sizes
};
bool count_amova_fst(CountAmovaInput const& in, double& fst);

// The size-weighted mean over the rows of the expected heterozygosity of
// each row's counts (the engine's within-sample mean of a locus).
double count_mean_within_het(int rows, int K, double const* counts, double const* sizes);

// Reads simulated loci as allele counts per sample and measures them when
// the scan's settings and data allow; the distances between alleles are
// learnt from the driver's matrices on the loci that it measures, and the
// measure from counts is checked against the driver's on each of them.
class SimulatedLocusCounts {
public:
    enum class Outcome {
        Measured,         // `measure` holds the locus's values
        NeedsDriver,      // the driver measures this locus
        NeedsDriverToLearn  // the driver measures it, then `learn`
    };

    // Settles, for one scan, whether its loci may be measured from counts.
    // `byStructure`: the templates are the structure's members (the
    // hierarchical model); else the templates' set in order.
    void prepare(Project const& project, Samples const& templ, Structure const& tested, bool byStructure,
                 Mut_Type model, bool diploid, bool exporting);
    bool usable() const { return usable_; }

    // Reads the leaves of the current genealogy (before its demes are
    // emptied) and measures the locus when it can.
    Outcome measure(TTree& tree, LocusMeasure& out);

    // After the driver measured the locus of the last `measure` (outcome
    // NeedsDriverToLearn): takes the distances between its alleles from the
    // project's matrix and checks the measure from counts against the
    // driver's; any difference ends the measures from counts for the scan.
    void learn(Project const& project, LocusMeasure const& driver);

    // Loci measured from counts, and by the driver, since `prepare`.
    long measured() const { return measured_; }
    long driven() const { return driven_; }

private:
    struct Allele {
        std::string text;
        bool valid = true;
    };
    int allele_of_state(TNode const& leaf);
    bool distance_known(int a, int b) const;
    double& distance(int a, int b) { return dist_[static_cast<std::size_t>(a) * dim_ + static_cast<std::size_t>(b)]; }
    void grow_distances(int K);
    bool compute(LocusMeasure& out);

    bool usable_ = false;
    bool individuals_ = false;
    bool diploid_ = false;
    Mut_Type model_ = DNA_MUT;
    char separator_ = '\0';
    char missing_ = '?';
    bool dna_ = false;
    // The templates' gene copies, in leaf order, and the template of each
    // row of the structure (group after group).
    std::vector<int> templateSizes_;
    std::vector<int> rowTemplate_;
    std::vector<int> groupSizes_;
    // Alleles met in the scan, by text, and the state that gave each.
    std::vector<Allele> alleles_;
    std::unordered_map<int, int> byState_;
    // Distances between the scan's alleles, learnt from the driver; NaN
    // while unknown.
    std::vector<double> dist_;
    std::size_t dim_ = 0;
    // The current locus: its alleles (scan indexes), the allele of each
    // leaf and the counts per row.
    std::vector<std::pair<int, int>> localStates_;  // (state, local index)
    std::vector<int> local_;
    std::vector<int> leafAllele_;
    std::vector<int> rowAllele_;  // learning: the scan's allele of each matrix row
    std::vector<double> templateCounts_;
    std::vector<double> counts_;
    std::vector<double> sizes_;
    std::vector<double> localDist_;
    std::string text_;
    std::string id_;
    long measured_ = 0;
    long driven_ = 0;
};

}  // namespace quintle
