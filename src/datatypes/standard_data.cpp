// The data-type slots of a standard-data sample, whose alleles are only
// equal or different: its checks, the distance matrix (the number of usable
// loci at which two haplotypes carry different alleles) and its molecular
// diversity.

#include <ctime>
#include <memory>
#include <new>

#include "core/Errors.h"
#include "core/public.h"
#include "core/timing.h"
#include "datatypes/PopulStandard.h"
#include "datatypes/allele_data.h"
#include "datatypes/haplotype_counts.h"
#include "datatypes/dna_replicate_statistics.h"
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
        const StandardAlleleRows rows = read_standard_alleles(haplotypes, usable_loci(usableSite, L), profile.MissingData);
        RectMat& m = *distMat;
        for (int i = 0; i < n; ++i) {
            for (int j = 0; j < i; ++j) {
                const int d = standard_pair_distance(rows, i, j);
                if (d > maxPairwiseDistance) maxPairwiseDistance = d;
                m(i, j) = d;
            }
            settings::print_message();
            if (s != nullptr && s->stopFlag != 0) return 0;
            m(i, i) = 0.0;
        }
    }
    *_AOS_ << "\t\tdone ! (" << elapsed_ms_since(start) << " ms)\n";
    if (out == nullptr) return 1;

    *_AOS_ << "\t\tWriting matrix to file ...\n";
    start = get_sys_clock();
    write_inter_haplotypic_matrix(*out, *distMat, n);
    *_AOS_ << "\t\tdone ! (" << elapsed_ms_since(start) << " ms)\n";
    return 1;
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
