// The data-type slots of a microsatellite sample: its checks, the distance
// matrix between its haplotypes from their allele sizes, and its molecular
// diversity.

#include <climits>

#include "core/Errors.h"
#include "core/public.h"
#include "core/timing.h"
#include "datatypes/PopulMicrosat.h"
#include "datatypes/allele_data.h"
#include "datatypes/dna_replicate_statistics.h"
#include "datatypes/haplotype_counts.h"
#include "datatypes/microsat_distances.h"
#include "run/settings.h"

namespace quintle {

namespace {

constexpr char kCheckName[] = "PopulMicrosat::check_data()";
constexpr char kDistanceName[] = "PopulMicrosat::compute_distance_matrix()";
constexpr char kDiversityName[] = "PopulMicrosat::compute_molecular_diversity()";

// The largest distance a matrix keeps: its whole part is the int
// maxPairwiseDistance.
constexpr double kLargestDistance = static_cast<double>(INT_MAX);

}  // namespace

int PopulMicrosat::check_data() { return reconcile_haplotype_counts(*this, ERROR, kCheckName); }

int PopulMicrosat::evaluate_polymorphism(settings const& s) { return evaluate_allele_polymorphism(*this, s); }

// Always 0: callers look at distMat. A size that cannot be compared, or a
// distance beyond the int range, leaves no matrix at all rather than a
// partly filled one that later sections would read as complete.
int PopulMicrosat::compute_distance_matrix(std::fstream* out, settings* s, int) {
    fill_allele_distance_matrix(
        *this, out, s, kDistanceName,
        [this](std::vector<PHaploDef const*> const& entries, std::vector<int> const& loci) {
            return read_microsat_sizes(entries, loci, profile.MissingData);
        },
        [](MicrosatSizeRows const& sizes) { return microsat_rows_symmetric(sizes); },
        [this](MicrosatSizeRows const& sizes, int i, int j, double& d) {
            if (microsat_pair_distance(sizes, i, j, microsatDistanceMethod, d) != MicrosatPairStatus::ok ||
                d > kLargestDistance) {
                E.error(ERROR, kDistanceName, Msg::m121_microsat_allele_not_integer);
                return false;
            }
            return true;
        });
    return 0;
}

int PopulMicrosat::compute_molecular_diversity(settings& s) {
    if (!distMat) compute_distance_matrix(nullptr, &s, 0);
    if (haplotypes.count < 1) {
        E.error(ERROR, kDiversityName, Msg::m108_haplotype_list_empty);
        return 0;
    }
    if (!distMat) {
        E.error(ERROR, kDiversityName, Msg::m122_no_distance_matrix);
        return 1;
    }
    PHaploDef const* first = haplotypes.data[0];
    if (first == nullptr || first->haplotype == nullptr || first->haplotype->data.length() == 0) return 1;

    // Squared size differences are no numbers of differences: the sum is
    // only formed for the number of different alleles.
    const double S = microsatDistanceMethod == 0 ? weighted_pair_sum(haplotypes, *distMat) : 0.0;
    const MolecularDiversity d = molecular_diversity(S, SampleSize, numUsableSites);
    meanPairwiseDiff = d.meanPairwiseDiff;
    meanPairwiseDiffSd = d.meanPairwiseDiffSd;
    piPerSite = d.piPerSite;
    piPerSiteSd = d.piPerSiteSd;
    return 1;
}

}  // namespace quintle
