#pragma once

// A sample of binary restriction-site (RFLP) haplotypes.

#include <fstream>
#include <vector>

#include "popstats/PopGenetics.h"

namespace quintle {

class settings;

class PopulRFLP : public PopGenetics {
public:
    // A pair operation: distance between two allele texts into pairDistance
    // and pairDistanceVar; 1 when they were set.
    using PairDistanceFn = int (PopulRFLP::*)(char const*, char const*);

    double piPerSite = 0.0;
    double piPerSiteSd = 0.0;
    double deletionWeight = 1.0;       // weight of a '-' difference
    int numValidSites = 0;             // sites of the reference haplotype
    int numIndels = 0;
    int numIndelSites = 0;
    int numSubstitutionSites = 0;
    std::vector<int> substitutionAtSite;  // one per site; empty = none
    std::vector<int> indelAtSite;         // one per site; empty = none
    int numComparedSites = 0;
    int numDifferences = 0;
    double pairDistance = 0.0;
    double pairDistanceVar = 0.0;
    int distanceMethod = 0;
    PairDistanceFn pairDistanceFn = nullptr;

    PopulRFLP();
    explicit PopulRFLP(Population const& data);
    PopulRFLP(PopulRFLP const& other);
    ~PopulRFLP() override;

    PopulRFLP& operator=(Population const& data);
    PopulRFLP& operator=(PopulRFLP const& other);

    void initialize_RFLP();

    void test_methods(settings& s) override;
    int check_data() override;
    int compute_distance_matrix(std::fstream* out, settings* s, int scale) override;
    int evaluate_polymorphism(settings const& s) override;
    virtual int build_arbitrary_haplotype();
};

}  // namespace quintle
