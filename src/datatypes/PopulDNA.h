#pragma once

// A sample of aligned DNA sequences.

#include <array>
#include <fstream>
#include <vector>

#include "core/MY_TArrayAsVector.h"
#include "core/timing.h"
#include "datatypes/dna_distances.h"
#include "popstats/PopGenetics.h"

namespace quintle {

class settings;

class PopulDNA : public PopGenetics {
public:
    // A pair operation: distance between two allele texts into pairDistance
    // and pairDistanceVar; 1 when they were set, 0 when the pair cannot be
    // corrected.
    using PairDistanceFn = int (PopulDNA::*)(char const*, char const*);

    double piPerSite = 0.0;
    double piPerSiteSd = 0.0;
    double deletionWeight = 1.0;
    double transitionWeight = 1.0;
    double transversionWeight = 1.0;
    // Site census.
    int numTransitions = 0;
    int numTransversions = 0;
    int numSubstitutions = 0;
    int numIndels = 0;
    int numTransitionSites = 0;
    int numTransversionSites = 0;
    int numSubstitutionSites = 0;
    int numIndelSites = 0;
    int numValidSites = 0;
    // R, Y, M, K, S, W, H, B, V, D, N: the same in every object.
    MY_TArrayAsVector<char> ambiguityCodes{10, 10};
    // Pair counts of Tajima and Nei's method; rows and columns C, T, A, G.
    std::array<std::array<double, 4>, 4> pairNuclFreq{};
    // Sample frequencies of C, T, A, G.
    std::array<double, 4> nuclFreq{};
    double pairDistance = 0.0;
    double pairDistanceVar = 0.0;
    double gcContent = 0.0;
    double gammaA = 0.0;  // gamma shape of the distances; 0 = none
    PairDistanceFn pairDistanceFn = nullptr;
    int distanceMethod = 0;
    // Per-site flags, one per site; empty = none.
    std::vector<int> transitionAtSite;
    std::vector<int> transversionAtSite;
    std::vector<int> indelAtSite;
    std::vector<int> ambiguousAtSite;

    PopulDNA();
    // A DNA sample holding a copy of the plain sample's data.
    explicit PopulDNA(Population const& data);
    // Built as a plain object, then assigned from the source.
    PopulDNA(PopulDNA const& other);
    ~PopulDNA() override;

    // The Population part only.
    PopulDNA& operator=(Population const& data);
    // The PopGenetics part as its assignment does, then this class's members
    // (the ambiguity codes are the same everywhere).
    PopulDNA& operator=(PopulDNA const& other);

    void initialize_DNA();

    void test_methods(settings& s) override;
    int check_data() override;
    int compute_distance_matrix(std::fstream* out, settings* s, int scale) override;
    int evaluate_polymorphism(settings const& s) override;
    virtual int build_arbitrary_haplotype();

    // --- sequence comparison, distances and molecular diversity ------------
    // (dna_compare.cpp, dna_distances.cpp, dna_diversity.cpp)

    // Sites left out of the haplotype texts because every sequence has the
    // same base (A, C, G or T) there: a simulated replicate is read at its
    // mutated sites only. The site census counts them as valid sites, usable
    // unless the allowed level of missing data is negative, and the distances
    // count every pair as identical at the usable ones. The nucleotide
    // frequencies do not see them. 0 for samples read in full.
    int omittedIdenticalSites = 0;
    // The laps of a series of simulated replicates: when set, the distance
    // computation's "done" line gives the process time since the previous
    // replicate's line, with one clock reading. Not copied.
    LapClock* replicateLaps = nullptr;

    // Class of two differing characters: 0 none, 1 transition,
    // 2 transversion, 3 indel, 4 transition or transversion.
    int compare_nucleotides(char const& a, char const& b) const;
    // Site census against the arbitrary haplotype; 0 without one.
    int compare_DNA_sequences();
    // Pair operations: pairDistance and pairDistanceVar of two allele texts;
    // 1 when they were set, 0 when the pair cannot be corrected.
    int diff_dist(char const* s1, char const* s2);
    int jk_dist(char const* s1, char const* s2);
    int kim2p_dist(char const* s1, char const* s2);
    int p_dist(char const* s1, char const* s2);
    int tajnei_dist(char const* s1, char const* s2);
    int tamura_dist(char const* s1, char const* s2);
    int tamnei_dist(char const* s1, char const* s2);
    // Frequencies of C, T, A, G over the whole sample, once.
    int comp_nucl_freq();
    // Mean number of pairwise differences and nucleotide diversity.
    int compute_molecular_diversity(settings& s);

private:
    // Steps of the site census.
    struct SiteCensus;
    bool allocate_site_census(int L);
    void mark_reference_sites(SiteCensus& census);
    void census_of_haplotype(SiteCensus& census, PHaploDef const* h);
    void count_polymorphic_sites();

    DistanceParams distance_params() const;
    // The parameters a method uses: without gamma for the methods that have
    // no gamma form.
    DistanceParams method_params(int method) const;
    // Runs one method on counted pairs: sets pairDistance, pairDistanceVar
    // (and the Tajima and Nei pair counts) and reports the failure messages.
    int finish_pair(int method, DnaPairCounts const& counts);
    int text_pair(int method, char const* s1, char const* s2);
    // The matrix of the haplotype list, from the workspace's store when it
    // was computed before from the same data; 0 when a pair fails.
    int fill_distance_matrix(RectMat& m, int method, double f, settings* s);
    // Every pair in list order, into a plain n x n matrix.
    int distance_pairs(RectMat& m, int method, double f, settings* s);
    // The same values into a class-mode matrix, one class per distinct text
    // of the workspace, each pair of classes worked out once (the counts
    // must not depend on the order of the two texts).
    int class_distance_pairs(RectMat& m, int method, double f, settings* s);

    // Site plan and matrices already computed; never copied.
    DnaDistanceWorkspace distanceWorkspace;
    // --- end of sequence comparison block ----------------------------------
};

}  // namespace quintle
