#pragma once

// A sample of microsatellite allele sizes.

#include <fstream>

#include "popstats/PopGenetics.h"

namespace quintle {

class settings;

class PopulMicrosat : public PopGenetics {
public:
    double piPerSite = 0.0;
    double piPerSiteSd = 0.0;
    // Distance of compute_distance_matrix: 0 number of different alleles,
    // 1 sum of squared size differences.
    int microsatDistanceMethod = 1;

    PopulMicrosat();
    explicit PopulMicrosat(Population const& data);
    PopulMicrosat(PopulMicrosat const& other);

    PopulMicrosat& operator=(Population const& data);
    PopulMicrosat& operator=(PopulMicrosat const& other);

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
