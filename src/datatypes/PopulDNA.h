#pragma once

// A sample of aligned DNA sequences.

#include <array>
#include <fstream>
#include <vector>

#include "core/MY_TArrayAsVector.h"
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
};

}  // namespace quintle
