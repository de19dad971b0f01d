// The molecular-diversity section of the RFLP driver, its step and its
// writer, and the table of its mismatch distribution.

#include "datatypes/rflp_sections.h"

#include <cmath>
#include <cstdint>
#include <iomanip>

#include "core/Errors.h"
#include "core/public.h"
#include "datatypes/PopulRFLP.h"
#include "datatypes/driver_frame.h"
#include "datatypes/driver_output.h"
#include "run/settings.h"

namespace quintle {

namespace {

ThetaLog const rflp_theta_log = {"\t\t\tComputing BMat ...", "\t\t\t", false, nullptr};
ThetaTexts const rflp_theta_texts = {
    "\nUnable to compute theta(Hom) and theta(k) when all gene copies are different", 10, true};

}  // namespace

StandardDiversityTexts const rflp_standard_diversity_texts = {
    "\nNo. haplotypes           : ",
    "\nNo. of original \nhaplotypes in sample     : ",
};

char const* rflp_method_name(int method) { return method == 1 ? "Proportion of difference" : "Pairwise difference"; }

double truncated_deletion_weight(double w) {
    const double whole = std::trunc(w);
    // Only a whole part that a 64-bit integer holds has low 32 bits to take.
    if (!(whole >= -9223372036854775808.0 && whole < 9223372036854775808.0)) return 0.0;
    return static_cast<double>(static_cast<std::uint32_t>(static_cast<std::int64_t>(whole)));
}

// --- molecular diversity and theta estimators -----------------------------------

RflpMolecularDiversityResult rflp_molecular_diversity_step(PopulRFLP& p, settings& s, SampleDriverState& st,
                                                           RflpMolecularDiversityArgs const& a) {
    if (!st.dataChecked) {
        p.check_data();
        p.evaluate_polymorphism(s);
        st.dataChecked = true;
        st.polymorphismEvaluated = true;
    }
    *_AOS_ << "\tComputing molecular diversity...\n";
    const std::clock_t start = get_sys_clock();
    p.distanceMethod = a.method;
    p.deletionWeight = truncated_deletion_weight(a.deletionWeight);
    p.compute_distance_matrix(nullptr, &s, 0);
    p.compute_molecular_diversity(s);

    RflpMolecularDiversityResult r;
    r.sampleSize = p.SampleSize;
    r.numHaplotypes = p.NbHaplotypeEntries;
    r.numOriginal = p.NbHaplotypeEntriesRead;
    r.showOriginal = a.showOriginal;
    r.allowedMissing = p.allowedMissingLevel;
    r.indelSites = p.numIndelSites;
    r.polymorphicSites = p.numPolymorphicSites;
    r.usableSites = p.numUsableSites;
    r.method = p.distanceMethod;
    r.showMeanPairwise = a.haplotypicOrPhased;
    r.meanPairwiseDiff = p.meanPairwiseDiff;
    r.meanPairwiseDiffSd = p.meanPairwiseDiffSd;
    r.piPerSite = p.piPerSite;
    r.piPerSiteSd = p.piPerSiteSd;
    r.theta = theta_step(p, {a.computeTheta, a.haplotypicOrPhased, p.numSubstitutionSites}, rflp_theta_log);
    *_AOS_ << "\tdone ! (" << elapsed_ms_since(start) << " ms)\n";
    return r;
}

void write_rflp_molecular_diversity(std::ostream& out, RflpMolecularDiversityResult const& r,
                                    std::function<void()> const& distanceTables) {
    out << "Sample size                                  : " << r.sampleSize << "\n"
        << "No. of haplotypes                            : " << r.numHaplotypes << "\n";
    if (r.showOriginal) out << "No. of original haplotypes in sample         : " << r.numOriginal;
    out << "\nAllowed level of missing data                : " << r.allowedMissing * 100.0 << " %"
        << "\nNumber of observed indels                    : " << r.indelSites
        << "\nNumber of polymorphic sites                  : " << r.polymorphicSites
        << "\nNumber of usable nucleotide sites            : " << r.usableSites << "\n"
        << std::endl;
    out << "\nDistance method : " << rflp_method_name(r.method);
    if (distanceTables) distanceTables();
    if (r.showMeanPairwise) {
        out << "\nMean number of pairwise differences           : ";
        set_fixed(out, 6) << std::setw(12) << r.meanPairwiseDiff << " +/- " << std::setw(12) << r.meanPairwiseDiffSd
                          << "\n";
    }
    out << "\nAverage gene diversity over loci              : ";
    set_fixed(out, 6) << std::setw(12) << r.piPerSite << " +/- " << std::setw(12) << r.piPerSiteSd << "\n\n"
                      << "(Standard deviations are for both sampling and stochastic processes)" << std::endl;
    write_theta(out, r.theta, rflp_theta_texts);
}

void molecular_diversity_section(PopulRFLP& p, settings& s, std::fstream& out, SampleDriverState& st) {
    write_banner(out, "Molecular diversity indices", 32, p.name);
    write_citations(out, {"PairwiseDiff_1983", "NucleotideDiversity_1981", "ThetaS_1975", "NeutralAlleles_1972",
                          "ThetaHom_1964"});
    RflpMolecularDiversityArgs a;
    a.method = s.DistanceMethod;
    a.deletionWeight = s.DeletionWeight;
    a.showOriginal = shows_original(p, s);
    a.haplotypicOrPhased = run_haplotypic_or_phased(s);
    a.computeTheta = s.ComputeTheta;
    const RflpMolecularDiversityResult r = rflp_molecular_diversity_step(p, s, st, a);
    write_rflp_molecular_diversity(out, r, [&] {
        if (s.PrintHaplDistMat != 0 || s.PrintMinSpannNetworkPop != 0) p.print_out_dist_mat(&out, s);
    });
}

// --- mismatch distribution ------------------------------------------------------

namespace {

int last_class(MismatchSectionResult const& r) { return r.lastExpClass >= 1 ? r.lastExpClass : r.maxPairwiseDistance; }

// One row per class, or the single row of the number of pairs.
bool rows_by_class(MismatchSectionResult const& r) {
    return last_class(r) != 0 && !r.observed.empty() && !r.expected.empty();
}

}  // namespace

void write_rflp_mismatch_table(std::ostream& out, MismatchSectionResult const& r) {
    out << "Distance method : " << rflp_method_name(r.method) << "\n\n"
        << std::right << std::setw(8) << "#Diff." << std::setw(8) << "Count" << std::setw(12) << "Exp. Count" << "\n"
        << std::setw(8) << "------" << std::setw(8) << "-----" << std::setw(12) << "----------" << "\n";
    if (!rows_by_class(r)) {
        const double n = r.sampleSize;
        out << std::setw(8) << 0 << std::setw(8) << static_cast<long>(n * (n - 1.0) / 2.0) << std::setw(8) << 0
            << "\n";
        return;
    }
    const int last = last_class(r);
    for (int d = 0; d <= last; ++d) {
        const auto k = static_cast<std::size_t>(d);
        // Classes past the arrays' end hold nothing.
        const std::int64_t observed = k < r.observed.size() ? r.observed[k] : 0;
        const double expected = k < r.expected.size() ? r.expected[k] : 0.0;
        out << std::setw(8) << d << std::setw(8) << observed;
        set_fixed(out, 3) << std::setw(12) << expected << "\n";
    }
}

}  // namespace quintle
