#pragma once

// The steps and writers of the microsatellite and standard-data drivers
// that differ from the DNA driver's: molecular diversity with the theta
// estimators, and the mismatch distribution with its moment estimates and
// chi-square test. Each step computes into the sample and returns what its
// writers print.

#include <cstdint>
#include <ctime>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "core/my_string.h"
#include "datatypes/diversity_sections.h"
#include "datatypes/driver_state.h"

namespace quintle {

class PopGenetics;
class settings;

// A microsatellite or standard-data sample as the allele driver sees it:
// the statistics part, the members of its class and its own computation.
struct AlleleSample {
    PopGenetics& p;
    int* distanceMethod = nullptr;  // microsatellite data: the distance of compute_distance_matrix
    std::function<int(settings&)> computeMolecularDiversity;
    double const* meanPairwiseDiff = nullptr;
    double const* meanPairwiseDiffSd = nullptr;
    double const* piPerSite = nullptr;
    double const* piPerSiteSd = nullptr;

    // Sets the distance method where the type has one.
    void use_distance(int method) const {
        if (distanceMethod != nullptr) *distanceMethod = method;
    }
};

// --- molecular diversity ---------------------------------------------------------

struct AlleleDiversityResult {
    double sampleSize = 0.0;
    int numHaplotypes = 0;
    int numOriginal = 0;
    bool showOriginal = false;
    double allowedMissing = 0.0;
    int numPolymorphicSites = 0;
    int numUsableSites = 0;
    bool computed = false;  // the distances and means were computed
    int method = 0;         // distance method of the means (microsatellite data)
    bool showMeanPairwise = false;
    double meanPairwiseDiff = 0.0;
    double meanPairwiseDiffSd = 0.0;
    double piPerSite = 0.0;
    double piPerSiteSd = 0.0;
    std::string echo;  // reports made while the distances were computed
};

struct AlleleDiversityArgs {
    bool compute = true;  // false for frequency data, which have no alleles
    bool showOriginal = false;
    bool haplotypicOrPhased = true;
    double allowedMissing = 0.0;
};

// The distance matrix of different alleles and the means derived from it.
AlleleDiversityResult allele_diversity_step(AlleleSample const& a, settings& s, AlleleDiversityArgs const& args);

// The microsatellite block, with the "Distance method" line; the standard
// block. distanceTables prints the sample's distance matrix where it belongs.
void write_microsat_diversity(std::ostream& out, AlleleDiversityResult const& r,
                              std::function<void()> const& distanceTables);
void write_standard_diversity_counts(std::ostream& out, AlleleDiversityResult const& r);
void write_standard_diversity_means(std::ostream& out, AlleleDiversityResult const& r);
// The eleven head-less fields of the molecular-diversity batch line, and its
// end: the two means, or "none" twice when nothing was computed.
void write_allele_diversity_batch_head(std::ostream& b, AlleleDiversityResult const& r);
void write_allele_diversity_batch_tail(std::ostream& b, AlleleDiversityResult const& r);

// --- theta estimators ------------------------------------------------------------

// theta(Hom) of a microsatellite sample, "Unable ..." lines included.
void write_microsat_theta(std::ostream& out, ThetaResult const& r);
// The theta(Hom) line of the batch file, ended.
void write_microsat_theta_batch(std::ostream& b, my_string const& sampleName, double thetaHom);
// theta(Hom) and theta(k) of a standard-data sample, then the refusals of
// theta(S) and theta(pi).
void write_standard_theta(std::ostream& out, ThetaResult const& r);

// --- mismatch distribution --------------------------------------------------------

struct AlleleMismatchResult {
    double sampleSize = 0.0;
    int lastExpClass = 0;
    int maxPairwiseDistance = 0;
    std::vector<std::int64_t> observed;
    std::vector<double> expected;
    double mean = 0.0;
    double variance = 0.0;
    double theta0 = 0.0;
    double tau = 0.0;
    double raggedness = 0.0;
    double chi2 = 0.0;
    double chi2P = 0.0;
    int chi2Df = 0;
    std::clock_t started = 0;
    std::string echo;  // reports made while the distances and classes were computed
};

// The distance matrix of `method` (where the type has one) and the
// distribution with its moments, moment estimates and chi-square test.
AlleleMismatchResult allele_mismatch_step(AlleleSample const& a, settings& s, SampleDriverState& st, int method);
void write_allele_mismatch(std::ostream& out, AlleleMismatchResult const& r);

}  // namespace quintle
