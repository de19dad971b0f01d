#pragma once

// A sample of binary restriction-site (RFLP) haplotypes: one character per
// site, '0' (site absent), '1' (site present), '-' (deletion) or the
// profile's missing-data character.

#include <fstream>
#include <vector>

#include "popstats/PopGenetics.h"

namespace quintle {

class settings;
class RflpTexts;

class PopulRFLP : public PopGenetics {
public:
    // A pair operation: distance between two allele texts into pairDistance
    // and pairDistanceVar; 1 when they were set, 0 without a usable site.
    using PairDistanceFn = int (PopulRFLP::*)(char const*, char const*);

    double piPerSite = 0.0;
    double piPerSiteSd = 0.0;
    // Only its sign is read: above 0 a deletion against a site state is a
    // difference and makes the site deletion-polymorphic.
    double deletionWeight = 1.0;
    int numValidSites = 0;             // sites of the reference haplotype
    int numIndels = 0;
    int numIndelSites = 0;             // usable sites with a deletion polymorphism
    int numSubstitutionSites = 0;      // usable sites with a substitution (the S of theta(S))
    std::vector<int> substitutionAtSite;  // one per site; empty = none
    std::vector<int> indelAtSite;         // one per site; empty = none
    int numComparedSites = 0;          // of the last pair compared
    int numDifferences = 0;            // of the last pair compared
    double pairDistance = 0.0;
    double pairDistanceVar = 0.0;
    int distanceMethod = 0;            // 1 proportion of differing sites, else their number
    PairDistanceFn pairDistanceFn = nullptr;

    PopulRFLP();
    explicit PopulRFLP(Population const& data);
    PopulRFLP(PopulRFLP const& other);
    ~PopulRFLP() override;

    PopulRFLP& operator=(Population const& data);
    PopulRFLP& operator=(PopulRFLP const& other);

    void initialize_RFLP();

    // The analysis driver (sequence_driver.cpp, shared with DNA samples).
    void test_methods(settings& s) override;

    // --- site comparison, distances and molecular diversity -----------------
    // (rflp_compare.cpp, rflp_diversity.cpp)

    // 1 when the counts and the number of haplotypes agree with the list and
    // every text has the first one's length; 0 after a warning.
    int check_data() override;
    // Takes the allowed level of missing data and classifies the sites
    // against the reference haplotype; 0 when none could be built.
    int evaluate_polymorphism(settings const& s) override;
    // The first haplotype, each missing site filled from the first later
    // haplotype that has one; built once per sample. 0 for an empty list.
    virtual int build_arbitrary_haplotype();
    // Usable, substitution- and deletion-polymorphic sites, with their
    // counts; 0 without a reference haplotype.
    int compare_RFLP_haplotypes();
    // The matrix of distances between the list's haplotypes (method 1:
    // proportions of differing sites, scaled to numbers of sites when
    // scaleToSites is set; otherwise numbers), printed to `out` when given.
    // 0, with no matrix left, when a pair has no usable site or the run asks
    // to stop.
    int compute_distance_matrix(std::fstream* out, settings* s, int scaleToSites) override;
    int p_diff(char const* a, char const* b);
    int diff_no_weight(char const* a, char const* b);
    // Mean number of pairwise differences and gene diversity over sites,
    // with their s.d.; 0 for an empty list.
    int compute_molecular_diversity(settings& s);

private:
    // Differences and compared sites of two texts of the given lengths over
    // the usable sites; a position past a text's end reads as missing data.
    void count_pair(char const* a, int lengthA, char const* b, int lengthB);
    void set_pair_distance(bool proportion);
    int pair_distance(char const* a, char const* b, bool proportion);
    int fill_distance_matrix(RectMat& m, double factor, settings* s);
    // The same values into a class-mode matrix, one class per distinct text
    // of `rows`, each pair of classes counted once over `compared` sites.
    int fill_class_matrix(RectMat& m, RflpTexts const& rows, int compared, double factor, settings* s);
};

}  // namespace quintle
