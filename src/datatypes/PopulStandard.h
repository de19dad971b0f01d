#pragma once

// A sample of standard multi-allelic data, or of haplotype frequencies.

#include <fstream>

#include "popstats/PopGenetics.h"

namespace quintle {

class settings;

class PopulStandard : public PopGenetics {
public:
    double piPerSite = 0.0;
    double piPerSiteSd = 0.0;
    double stdMeanPairwiseDiff = 0.0;
    double stdMeanPairwiseDiffSd = 0.0;

    PopulStandard();
    explicit PopulStandard(Population const& data);
    PopulStandard(PopulStandard const& other);

    PopulStandard& operator=(Population const& data);
    PopulStandard& operator=(PopulStandard const& other);

    void test_methods(settings& s) override;
    int check_data() override;
    int compute_distance_matrix(std::fstream* out, settings* s, int scale) override;
    int evaluate_polymorphism(settings const& s) override;
    // Mean number of pairwise differences and average gene diversity over
    // loci, each with its s.d., from the distance matrix (computed first when
    // there is none). 0 for an empty haplotype list, else 1.
    int compute_molecular_diversity(settings& s);
};

}  // namespace quintle
