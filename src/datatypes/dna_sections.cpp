// The molecular-diversity section of the DNA driver, its step and its
// writers, and the distance-method line of its mismatch distribution.

#include "datatypes/dna_sections.h"

#include <iomanip>
#include <string>

#include "core/Errors.h"
#include "core/public.h"
#include "datatypes/PopulDNA.h"
#include "datatypes/driver_frame.h"
#include "datatypes/driver_output.h"
#include "run/glbobj.h"
#include "run/settings.h"

namespace quintle {

namespace {

char const* const kMethodNames[] = {"Pairwise difference", "Jukes and Cantor", "Kimura 2P",
                                    "Proportion of difference", "Tajima and Nei", "Tamura",
                                    "Tamura and Nei"};
char const* const kMethodTags[] = {"#Diff\t", "JC\t", "K2P\t", "%Diff\t", "TajNei\t", "Tam\t", "TamNei\t"};

// A label padded with blanks to 45 characters, then ": ".
std::ostream& label45(std::ostream& os, char const* label) {
    std::string text(label);
    if (text.size() < 45) text.append(45 - text.size(), ' ');
    return os << text << ": ";
}

DnaSiteCensus site_census(PopulDNA const& p) {
    DnaSiteCensus c;
    c.transitions = p.numTransitions;
    c.transversions = p.numTransversions;
    c.substitutions = p.numSubstitutions;
    c.indels = p.numIndels;
    c.polymorphicSites = p.numPolymorphicSites;
    c.transitionSites = p.numTransitionSites;
    c.transversionSites = p.numTransversionSites;
    c.substitutionSites = p.numSubstitutionSites;
    c.indelSites = p.numIndelSites;
    c.validSites = p.numValidSites;
    c.usableSites = p.numUsableSites;
    return c;
}

}  // namespace

char const* dna_method_name(int method, char const* fallback) {
    return method >= 0 && method <= 6 ? kMethodNames[method] : fallback;
}

char const* dna_method_tag(int method) { return method >= 1 && method <= 6 ? kMethodTags[method] : kMethodTags[0]; }

// --- molecular diversity and theta estimators -----------------------------------

MolecularDiversityResult dna_molecular_diversity_step(PopulDNA& p, settings& s, SampleDriverState& st,
                                                      MolecularDiversityArgs const& a) {
    const std::clock_t start = get_sys_clock();
    use_distances(p, a.distances);
    if (!st.dataChecked) {
        p.check_data();
        p.evaluate_polymorphism(s);
        st.dataChecked = true;
        st.polymorphismEvaluated = true;
    }

    MolecularDiversityResult r;
    r.sampleSize = p.SampleSize;
    r.numHaplotypes = p.NbHaplotypeEntries;
    r.numOriginal = p.NbHaplotypeEntriesRead;
    r.showOriginal = a.showOriginal;
    r.weights = {p.deletionWeight, p.transitionWeight, p.transversionWeight};
    r.allowedMissing = a.allowedMissing;
    r.census = site_census(p);
    EchoCapture echo;
    p.comp_nucl_freq();
    r.echoComposition = echo.take();
    r.nuclFreq = p.nuclFreq;
    r.method = p.distanceMethod;
    r.gammaA = p.gammaA;

    r.distances = p.compute_distance_matrix(nullptr, &s, 0) != 0;
    if (r.distances) {
        p.compute_molecular_diversity(s);
        r.showMeanPairwise = a.haplotypicOrPhased;
        r.meanPairwiseDiff = p.meanPairwiseDiff;
        r.meanPairwiseDiffSd = p.meanPairwiseDiffSd;
        r.piPerSite = p.piPerSite;
        r.piPerSiteSd = p.piPerSiteSd;
    }
    r.echoDistances = echo.take();
    r.theta = theta_step(p, {a.computeTheta, a.haplotypicOrPhased, p.numSubstitutionSites});
    *_AOS_ << "\tdone ! (" << elapsed_ms_since(start) << " ms)" << std::endl;
    return r;
}

namespace {

void write_counts(std::ostream& out, MolecularDiversityResult const& r) {
    DnaSiteCensus const& c = r.census;
    out << "Sample size                                  : " << r.sampleSize << "\n"
        << "No. of haplotypes                            : " << r.numHaplotypes << "\n";
    if (r.showOriginal) out << "No. of original haplotypes in sample         : " << r.numOriginal;
    label45(out << "\n", "Deletion weight") << r.weights.deletion;
    label45(out << "\n", "Transition weight") << r.weights.transition;
    label45(out << "\n", "Transversion weight") << r.weights.transversion;
    label45(out << "\n", "Allowed level of missing data") << r.allowedMissing * 100.0 << " %";
    label45(out << "\n", "Number of observed transitions") << c.transitions;
    label45(out << "\n", "Number of observed transversions") << c.transversions;
    label45(out << "\n", "Number of substitutions") << c.substitutions;
    label45(out << "\n", "Number of observed indels") << c.indels;
    label45(out << "\n", "Number of polymorphic sites") << c.polymorphicSites;
    label45(out << "\n", "Number of observed sites with transitions") << c.transitionSites;
    label45(out << "\n", "Number of observed sites with transversions") << c.transversionSites;
    label45(out << "\n", "Number of observed sites with substitutions") << c.substitutionSites;
    label45(out << "\n", "Number of observed sites with indels") << c.indelSites;
    label45(out << "\n", "Number of observed nucleotide sites") << c.validSites;
    label45(out << "\n", "Number of usable nucleotide sites") << c.usableSites;
    out << "\n";
}

double composition_total(MolecularDiversityResult const& r) {
    double total = 0.0;
    for (double f : r.nuclFreq) total += f;
    return total;
}

}  // namespace

void write_dna_molecular_diversity(std::ostream& out, MolecularDiversityResult const& r,
                                   std::function<void()> const& distanceTables) {
    write_counts(out, r);
    out << r.echoComposition;
    static constexpr char const* kBases[] = {"\n   C :", "\n   T :", "\n   A :", "\n   G :"};
    out << "\nNucleotide composition (Relative values)";
    set_fixed(out, 2);
    for (std::size_t i = 0; i < 4; ++i) out << kBases[i] << std::setw(6) << r.nuclFreq[i] * 100.0 << "%";
    out << "\n   Total :" << composition_total(r) * 100.0 << "%"
        << "\n"
        << std::endl;

    out << "\nDistance method                              : " << dna_method_name(r.method, "DIFF");
    if (r.gammaA == 0.0)
        out << " (no Gamma correction)\n";
    else
        out << " (Gamma correction : a=" << r.gammaA << ")\n";

    out << r.echoDistances;
    if (r.distances) {
        if (distanceTables) distanceTables();
        if (r.showMeanPairwise) {
            out << "\nMean number of pairwise differences          : ";
            set_fixed(out, 6) << std::setw(12) << r.meanPairwiseDiff << " +/- " << std::setw(12)
                              << r.meanPairwiseDiffSd << "\n";
        }
        out << "\nNucleotide diversity (average over loci)     : ";
        set_fixed(out, 6) << std::setw(12) << r.piPerSite << " +/- " << std::setw(12) << r.piPerSiteSd << "\n\n"
                          << "(Standard deviations are for both the sampling and the stochastic processes)"
                          << "\n";
    }
    write_theta(out, r.theta);
}

void write_molecular_diversity_batch(std::ostream& b, my_string const& sampleName, MolecularDiversityResult const& r) {
    DnaSiteCensus const& c = r.census;
    write_batch_head(b, sampleName);
    b.precision(3);
    b << r.weights.deletion << "\t" << r.weights.transition << "\t" << r.weights.transversion << "\t"
      << r.allowedMissing << "\t" << c.transitionSites << "\t" << c.transversionSites << "\t" << c.substitutionSites
      << "\t" << c.indelSites << "\t" << c.polymorphicSites << "\t" << c.validSites << "\t" << c.usableSites
      << "\t";
    b << dna_method_tag(r.method);
    if (r.gammaA == 0.0)
        b << " inf\t";
    else
        b << r.gammaA << "\t";
    // Without a distance matrix the line has no end.
    if (r.distances) set_fixed(b, 6) << r.meanPairwiseDiff << "\t" << r.piPerSite << "\n";
}

void write_nucleotide_composition_batch(std::ostream& b, my_string const& sampleName,
                                        MolecularDiversityResult const& r) {
    write_batch_head(b, sampleName);
    set_fixed(b, 2);
    for (double f : r.nuclFreq) b << f * 100.0 << "\t";
    b << composition_total(r) * 100.0 << "\n";
}

void molecular_diversity_section(PopulDNA& p, settings& s, std::fstream& out, SampleDriverState& st) {
    *_AOS_ << "\tComputing molecular diversity indices ...\n";
    progress_stops(s, "Computing molecular diversity indices ...");  // this section goes on regardless
    write_banner(out, "Molecular diversity indices", 32, p.name);
    write_citations(out, {"PairwiseDiff_1983", "NucleotideDiversity_1981", "ThetaS_1975", "NeutralAlleles_1972",
                          "ThetaHom_1964"});

    MolecularDiversityArgs a;
    a.distances = {s.DistanceMethod, s.GammaAValue, run_weights(s)};
    a.allowedMissing = s.AllowedLevelOfMissingData;
    a.showOriginal = shows_original(p, s);
    a.haplotypicOrPhased = run_haplotypic_or_phased(s);
    a.computeTheta = s.ComputeTheta;
    const MolecularDiversityResult r = dna_molecular_diversity_step(p, s, st, a);
    write_dna_molecular_diversity(out, r, [&] {
        if (s.PrintHaplDistMat != 0 || s.PrintMinSpannNetworkPop != 0) p.print_out_dist_mat(&out, s);
    });
    if (batch_on(_MOLECULAR_DIVERSITY_, ofs_mol_div)) write_molecular_diversity_batch(*ofs_mol_div, p.name, r);
    if (batch_on(_NUCLEOTIDE_COMPOSITION_, ofs_nuc_comp))
        write_nucleotide_composition_batch(*ofs_nuc_comp, p.name, r);
    if (batch_on(_THETA_, ofs_theta)) write_theta_batch(*ofs_theta, p.name, r.theta);
}

// --- mismatch distribution ------------------------------------------------------

void write_dna_mismatch_method(std::ostream& out, MismatchSectionResult const& r) {
    write_mismatch_method(out, dna_method_name(r.method, "Pairwise difference"), r.gammaA);
}

}  // namespace quintle
