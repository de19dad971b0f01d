// The data-type slots of a standard-data sample, whose alleles are only
// equal or different: its checks, the distance matrix (the number of usable
// loci at which two haplotypes carry different alleles) and its molecular
// diversity.

#include "core/Errors.h"
#include "core/public.h"
#include "core/timing.h"
#include "datatypes/PopulStandard.h"
#include "datatypes/allele_data.h"
#include "datatypes/dna_replicate_statistics.h"
#include "datatypes/haplotype_counts.h"
#include "datatypes/standard_distances.h"
#include "run/settings.h"

namespace quintle {

namespace {

constexpr char kCheckName[] = "PopulStandard::check_data()";
constexpr char kDistanceName[] = "PopulStandard::compute_distance_matrix()";

}  // namespace

int PopulStandard::check_data() { return reconcile_haplotype_counts(*this, WARNING, kCheckName); }

int PopulStandard::evaluate_polymorphism(settings const& s) { return evaluate_allele_polymorphism(*this, s); }

int PopulStandard::compute_distance_matrix(std::fstream* out, settings* s, int) {
    const bool complete = fill_allele_distance_matrix(
        *this, out, s, kDistanceName,
        [this](std::vector<PHaploDef const*> const& entries, std::vector<int> const& loci) {
            return read_standard_alleles(entries, loci, profile.MissingData);
        },
        [](StandardAlleleRows const&) { return true; },
        [](StandardAlleleRows const& rows, int i, int j, double& d) {
            d = standard_pair_distance(rows, i, j);
            return true;
        });
    return complete ? 1 : 0;
}

int PopulStandard::compute_molecular_diversity(settings& s) {
    if (!distMat) compute_distance_matrix(nullptr, &s, 0);
    if (haplotypes.count < 1) {
        E.error(ERROR, "PopulStandard::compute_molecular_diversity(settings& www)", Msg::m108_haplotype_list_empty);
        return 0;
    }
    if (!distMat) {
        E.error(ERROR, "PopulStandard::compute_molecular_diversity()", Msg::m122_no_distance_matrix);
        return 1;
    }
    PHaploDef const* first = haplotypes.data[0];
    if (first == nullptr || first->haplotype == nullptr || first->haplotype->data.length() == 0) return 1;

    const MolecularDiversity d = molecular_diversity(weighted_pair_sum(haplotypes, *distMat), SampleSize, numUsableSites);
    stdMeanPairwiseDiff = d.meanPairwiseDiff;
    stdMeanPairwiseDiffSd = d.meanPairwiseDiffSd;
    piPerSite = d.piPerSite;
    piPerSiteSd = d.piPerSiteSd;
    return 1;
}

}  // namespace quintle
