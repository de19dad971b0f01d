// The data-type slots of a microsatellite sample: its checks, the distance
// matrix between its haplotypes from their allele sizes, and its molecular
// diversity.

#include <climits>
#include <ctime>
#include <memory>
#include <new>

#include "core/Errors.h"
#include "core/public.h"
#include "core/timing.h"
#include "datatypes/PopulMicrosat.h"
#include "datatypes/allele_data.h"
#include "datatypes/haplotype_counts.h"
#include "datatypes/dna_replicate_statistics.h"
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
    if (haplotypes.count < 1) {
        E.error(ERROR, kDistanceName, Msg::m108_haplotype_list_empty);
        return 0;
    }
    const int n = static_cast<int>(haplotypes.count);
    NbHaplotypeEntries = n;
    distMat.reset();
    try {
        distMat = std::make_unique<RectMat>(n, n);
    } catch (std::bad_alloc const&) {
        E.error(MEMORY, kDistanceName, Msg::m0_not_enough_memory);
        return 0;
    }
    const int L = first_entry_loci(haplotypes);
    *_AOS_ << "\t\tBeginning distance computations ...\n";
    std::clock_t start = get_sys_clock();
    maxPairwiseDistance = 0;

    if (L > 0) {
        const MicrosatSizeRows sizes = read_microsat_sizes(haplotypes, usable_loci(usableSite, L), profile.MissingData);
        RectMat& m = *distMat;
        for (int i = 0; i < n; ++i) {
            for (int j = 0; j < i; ++j) {
                double d = 0.0;
                if (microsat_pair_distance(sizes, i, j, microsatDistanceMethod, d) != MicrosatPairStatus::ok ||
                    d > kLargestDistance) {
                    E.error(ERROR, kDistanceName, Msg::m121_microsat_allele_not_integer);
                    distMat.reset();
                    maxPairwiseDistance = 0;
                    return 0;
                }
                m(i, j) = d;
                if (d > maxPairwiseDistance) maxPairwiseDistance = static_cast<int>(d);
            }
            settings::print_message();
            if (s != nullptr && s->stopFlag != 0) return 0;
            m(i, i) = 0.0;
        }
    }
    *_AOS_ << "\t\tdone ! (" << elapsed_ms_since(start) << " ms)\n";
    if (out == nullptr) return 0;

    *_AOS_ << "\t\tWriting matrix to file ...\n";
    start = get_sys_clock();
    write_inter_haplotypic_matrix(*out, *distMat, n);
    *_AOS_ << "\t\tdone ! (" << elapsed_ms_since(start) << " ms)\n";
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
