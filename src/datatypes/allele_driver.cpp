// The analysis drivers of microsatellite and standard-data samples (the
// latter also of FREQUENCY samples, which carry haplotype counts without
// alleles): one frame that runs, in a fixed order, every within-sample
// analysis the task bits ask for. What differs between the data types is
// read from their row of a table of texts and gates.

#include <ostream>

#include "core/Errors.h"
#include "core/public.h"
#include "datatypes/PopulMicrosat.h"
#include "datatypes/PopulStandard.h"
#include "datatypes/allele_sections.h"
#include "datatypes/diversity_sections.h"
#include "datatypes/driver_frame.h"
#include "datatypes/driver_output.h"
#include "datatypes/neutrality_sections.h"
#include "run/ProfileSettings.h"
#include "run/glbobj.h"
#include "run/settings.h"
#include "run/task_bits.h"

namespace quintle {

namespace {

// What differs between the data types.
struct AlleleDriverType {
    bool microsat;   // microsatellite data; else standard data
    bool frequency;  // FREQUENCY samples: no alleles, hence no distances
    // Standard diversity: microsatellite data cite the Garza-Williamson
    // index, skip the section for recessive data, end it untimed and compute
    // the phenotypes' heterozygosity of phased genotypes; standard data
    // refuse recessive data in the section and time it.
    char const* haplotypeProgress;
    // Linkage and Hardy-Weinberg log lines: timed for standard data.
    char const* tajimaRefusal;
    char const* fuRefusal;
    char const* ewMissingTable;
    char const* chakrabortyMissingTable;
    char const* memoryFunction;
};

constexpr AlleleDriverType kMicrosat = {
    true,
    false,
    "Computing haplotype frequencies ... ",
    "\n\n Tajima's test is not possible for Microsatellite data\n\n",
    "\n\n Fu's Fs test is not possible for Microsatellite data\n\n",
    "\t\tFile 500k100.bnb not found... skipping task !\n",
    "\t\t\tFile not found... skipping task !\n",
    "PopulMicrosat::test_methods(settings& www)",
};

constexpr AlleleDriverType kStandard = {
    false,
    false,
    "Computing ML haplotype frequencies ... ",
    "\n\nTajima's test is not possible for standard data type\n\n",
    "\n Fu's Fs test is not possible for standard data type\n\n",
    "\t\t\tFile *.bnb not found... skipping task !\n",
    "\tFile not found... skipping task !\n",
    "PopulStandard::test_methods(settings& www)",
};

constexpr AlleleDriverType with_frequency(AlleleDriverType t) {
    t.frequency = true;
    return t;
}
constexpr AlleleDriverType kFrequency = with_frequency(kStandard);

StandardDiversityTexts const allele_standard_diversity_texts = {
    "\nNo. haplotypes           : ",
    "\nNo. of original \nhaplotypes in sample     : ",
    "\nNo. of polymorphic loci  : ",
};

ThetaLog const standard_theta_log = {"\t\tComputing BMat ...", "\t\t", false, nullptr};

bool has(settings const& s, std::int64_t bit) { return (s.TaskNumber & bit) != 0; }

// The number of original haplotypes is reported; FREQUENCY samples have no
// alleles to merge haplotypes by.
bool shows_original(PopGenetics const& p, settings const& s, AlleleDriverType const& t) {
    return shows_original(p, s) && !t.frequency;
}

// Haplotypes are merged by distance before the neutrality tests; meaningless
// for FREQUENCY samples, whose haplotypes have no alleles to compare (all
// would fall into one class).
bool merges_by_distance(settings const& s, AlleleDriverType const& t) {
    return s.InferHaplotypeDefinitionFromDistanceMatrix != 0 && !t.frequency;
}

// --- sections ----------------------------------------------------------------
// Each returns false when the driver must return at once (stop request).

bool standard_diversity(AlleleSample const& a, AlleleDriverType const& t, settings& s, std::fstream& out,
                        SampleDriverState& st) {
    PopGenetics& p = a.p;
    *_AOS_ << "\tComputing standard diversity indices ...\n";
    if (progress_stops(s, "Computing standard diversity indices ...")) return false;
    const std::clock_t start = get_sys_clock();
    write_banner(out, "Standard diversity indices", 31, p.name);
    if (t.microsat)
        write_citations(out, {"GeneDiversity_1987", "M_ratio_2001"});
    else
        write_citations(out, {"GeneDiversity_1987"});

    if (s.RecessiveAllelesEM != 0) {  // standard data only: microsatellite data skip the section
        out << "Most standard diversity indices cannot be computed \n"
            << "for recessive data\n\n"
            << "No. of gene copies in sample       : " << static_cast<int>(p.SampleSize) << std::endl;
        *_AOS_ << "\tdone ! (" << elapsed_ms_since(start) << " ms)\n";
        return true;
    }
    standard_diversity_block(p, s, out, st, allele_standard_diversity_texts, shows_original(p, s, t));

    if (t.microsat) {
        // Prints its own lines.
        if (p.profile.GenotypicData != 0 && p.profile.GameticPhase != 0)
            p.compute_phenotype_heterozygosity(s, p.phenotypes);
        *_AOS_ << "\tdone !" << std::endl;
    } else {
        *_AOS_ << "\tdone ! (" << elapsed_ms_since(start) << " ms)\n";
    }
    return true;
}

void print_distances(PopGenetics& p, settings& s, std::fstream& out) {
    if (s.PrintHaplDistMat != 0 || s.PrintMinSpannNetworkPop != 0) p.print_out_dist_mat(&out, s);
}

void molecular_diversity(AlleleSample const& a, AlleleDriverType const& t, settings& s, std::fstream& out,
                         SampleDriverState& st) {
    PopGenetics& p = a.p;
    write_banner(out, "Molecular diversity indices", 32, p.name);
    if (t.microsat)
        write_citations(out, {"PairwiseDiff_1983", "NucleotideDiversity_1981", "NeutralAlleles_1972",
                              "ThetaHom_1964", "SMM_1973"});
    else
        write_citations(out, {"PairwiseDiff_1983", "NucleotideDiversity_1981", "ThetaS_1975",
                              "NeutralAlleles_1972", "ThetaHom_1964"});
    if (!st.dataChecked) {
        p.check_data();
        p.evaluate_polymorphism(s);
        st.dataChecked = st.polymorphismEvaluated = true;
    }
    const std::clock_t start = get_sys_clock();
    const AlleleDiversityArgs args{!t.frequency, shows_original(p, s, t), run_haplotypic_or_phased(s),
                                   s.AllowedLevelOfMissingData};
    const AlleleDiversityResult r = allele_diversity_step(a, s, args);
    std::ostream* batch = batch_on(_MOLECULAR_DIVERSITY_, ofs_mol_div) ? ofs_mol_div : nullptr;

    if (t.microsat) {
        write_microsat_diversity(out, r, [&] { print_distances(p, s, out); });
        if (batch != nullptr) {
            write_allele_diversity_batch_head(*batch, r);
            write_allele_diversity_batch_tail(*batch, r);
        }
        ThetaResult theta = theta_step(p, {s.ComputeTheta & 1, true, 0});
        theta.computeTheta = s.ComputeTheta;
        write_microsat_theta(out, theta);
        if (batch_on(_THETA_, ofs_theta)) write_microsat_theta_batch(*ofs_theta, p.name, p.thetaHom);
        *_AOS_ << "\tdone ! (" << elapsed_ms_since(start) << " ms)\n";
        return;
    }

    if (r.computed) *_AOS_ << "\tdone ! (" << elapsed_ms_since(start) << " ms)\n";
    write_standard_diversity_counts(out, r);
    if (batch != nullptr) write_allele_diversity_batch_head(*batch, r);
    if (r.computed) write_standard_diversity_means(out, r);
    if (batch != nullptr) write_allele_diversity_batch_tail(*batch, r);
    if (r.computed && (s.PrintHaplDistMat != 0 || s.PrintMinSpannNetworkPop != 0)) {
        p.compute_distance_matrix(nullptr, &s, 0);
        p.print_out_dist_mat(&out, s);
    }
    ThetaResult theta = theta_step(p, {s.ComputeTheta & 5, run_haplotypic_or_phased(s), 0}, standard_theta_log);
    theta.computeTheta = s.ComputeTheta;
    write_standard_theta(out, theta);
}

bool mismatch(AlleleSample const& a, AlleleDriverType const& t, settings& s, std::fstream& out,
              SampleDriverState& st) {
    PopGenetics& p = a.p;
    if (!open_mismatch_section(p, out)) return true;
    if (t.frequency) {
        out << "Mismatch distribution cannot be computed \n"
            << "in case of FREQUENCY data type." << std::endl;
        return true;
    }
    if (progress_stops(s, "Computing mismatch distribution ...")) return false;
    const AlleleMismatchResult r = allele_mismatch_step(a, s, st, s.MismatchDistanceMethod);
    write_allele_mismatch(out, r);
    *_AOS_ << "\tdone ! (" << elapsed_ms_since(r.started) << " ms)\n";
    return true;
}


bool linkage(PopGenetics& p, AlleleDriverType const& t, settings& s, std::fstream& out, SampleDriverState& st) {
    write_banner(out, "Pairwise linkage disequilibrium", 36, p.name);
    write_citations(out, {"LD_EM_test_1996", "LD_growth_1994", "LD_measure_1964"});
    if (progress_stops(s, "Testing linkage disequilibrium ...")) return false;
    if (!st.polymorphismEvaluated) {
        p.evaluate_polymorphism(s);
        st.polymorphismEvaluated = true;
    }
    if (unphased_genotypes(p)) {
        *_AOS_ << "\tTesting linkage disequilibrium (phenotypic data)...\n";
        p.calc_all_link_dis(out, p.phenotypes, s, s.InitialConditionsEM, static_cast<long>(s.MarkovChainStepsLD),
                            s.MaximumNumOfIterationsEM, s.EpsilonValue);
        *_AOS_ << (t.microsat ? "\tdone !\n" : "\tdone !\n\n");
    } else {
        *_AOS_ << "\tTesting linkage disequilibrium (haplotypic data)...\n";
        const std::clock_t start = get_sys_clock();
        p.calc_all_gam_des(out, static_cast<long>(s.MarkovChainStepsLD), s);
        if (t.microsat)
            *_AOS_ << "\tdone !\n";
        else
            *_AOS_ << "\tdone ! (" << elapsed_ms_since(start) << " ms)\n";
    }
    return true;
}

bool hardy_weinberg(PopGenetics& p, AlleleDriverType const& t, settings& s, std::fstream& out) {
    write_banner(out, "Hardy-Weinberg equilibrium", 31, p.name);
    write_citations(out, {"HW_exact_1992", "HW_matching_1949"});
    if (progress_stops(s, "Testing Hardy-Weinberg equilibrium ...")) return false;
    *_AOS_ << (t.microsat ? "\tTesting Hardy-Weinberg equilibrium ...\n" : "\tTesting Hardy-Weinberg equilibrium ...");
    const std::clock_t start = get_sys_clock();
    p.make_all_hw(out, p.phenotypes, static_cast<long>(s.MarkovChainStepsHW), s);
    if (t.microsat)
        *_AOS_ << "\tdone !\n";
    else
        *_AOS_ << "\tdone ! (" << elapsed_ms_since(start) << " ms)\n";
    return true;
}

bool sample_distances(AlleleSample const& a, settings& s, SampleDriverState& st) {
    PopGenetics& p = a.p;
    if (!sample_distances_ready(p, s, st)) return false;
    st.dataChecked = st.polymorphismEvaluated = true;
    if (write_conventional_fst_distances(p, s)) return true;
    a.use_distance(s.DistanceMethodAMOVA);
    p.compute_distance_matrix(nullptr, &s, 0);
    return true;
}

// Tajima's D and Fu's Fs need sequences: refused with a message.
void refused_test(PopGenetics const& p, std::fstream& out, bool tajima, char const* refusal) {
    if (tajima) {
        write_banner(out, "Tajima's test of selective neutrality", 42, p.name);
        write_citations(out, {"Tajima_D_1989", "Coalescent_1990"});
    } else {
        write_banner(out, "Fu's Fs test of selective neutrality", 42, p.name);
        write_citations(out, {"Fs_test_1997"});
    }
    out << refusal << std::endl;
}

CountTestArgs count_test_args(AlleleSample const& a, AlleleDriverType const& t, settings const& s,
                              bool ewensWatterson) {
    return {merges_by_distance(s, t), s.NumIterationsNeutralityTests,
            ewensWatterson ? t.ewMissingTable : t.chakrabortyMissingTable, t.memoryFunction,
            [&a] { a.use_distance(0); }};
}

bool ewens_watterson(AlleleSample const& a, AlleleDriverType const& t, settings& s, std::fstream& out,
                     SampleDriverState& st) {
    PopGenetics& p = a.p;
    if (!open_ewens_watterson_section(p, out, false)) return true;
    if (progress_stops(s, "Testing neutrality: Ewens-Watterson tests ...") && t.microsat) return false;

    const EwensWattersonSection r = ewens_watterson_section_step(p, s, st, count_test_args(a, t, s, true));
    write_ewens_watterson_section(out, r, p.name);
    write_ewens_watterson_batch_line(r.tested, r.test, p.name);
    return true;
}

bool chakraborty(AlleleSample const& a, AlleleDriverType const& t, settings& s, std::fstream& out,
                 SampleDriverState& st) {
    PopGenetics& p = a.p;
    if (!open_chakraborty_section(p, out)) return true;
    if (progress_stops(s, "Testing neutrality: Chakraborty's test ...")) return false;

    const std::optional<ChakrabortyResult> r = chakraborty_section_step(p, s, st, count_test_args(a, t, s, false));
    if (!r) return true;
    write_chakraborty_section(out, *r, p.name);
    return true;
}

void run_allele_driver(AlleleSample const& a, AlleleDriverType const& t, settings& s) {
    PopGenetics& p = a.p;
    std::fstream& out = s.ResultFile != nullptr ? *s.ResultFile : no_result_stream();
    p.recessiveAllelesEM = s.RecessiveAllelesEM;
    SampleDriverState st(p.NbHaplotypeEntries);

    if (has(s, tasks_within_samples) && s.PrintSampleAnchor != 0) write_sample_header(p, s, out);

    // Microsatellite data skip the section silently for recessive data.
    if (has(s, task_standard_diversity) && (!t.microsat || s.RecessiveAllelesEM == 0)) {
        if (!standard_diversity(a, t, s, out, st)) return;
    }
    if (has(s, task_molecular_diversity)) {
        if (s.RecessiveAllelesEM != 0)
            out << "Molecular diversity indices cannot be computed \n"
                << "for recessive data\n"
                << std::endl;
        else
            molecular_diversity(a, t, s, out, st);
    }
    if (has(s, task_mismatch) && !mismatch(a, t, s, out, st)) return;
    FrequencySectionTexts const frequencyTexts{t.haplotypeProgress, "\tComputing haplotype frequencies ...\n",
                                               "\tdone!\n"};
    if (has(s, task_haplotype_frequencies) && !haplotype_frequency_section(p, s, out, frequencyTexts)) return;
    if (has(s, task_linkage) && !linkage(p, t, s, out, st)) return;
    if (has(s, task_hardy_weinberg) && !hardy_weinberg(p, t, s, out)) return;
    if (has(s, task_pairwise_distances) && !sample_distances(a, s, st)) return;

    if (has(s, task_tajima)) refused_test(p, out, true, t.tajimaRefusal);
    if (has(s, task_fu_fs)) refused_test(p, out, false, t.fuRefusal);
    if (has(s, task_ewens_watterson) && !ewens_watterson(a, t, s, out, st)) return;
    if (has(s, task_chakraborty) && !chakraborty(a, t, s, out, st)) return;
    closing_step(p, s);
}

}  // namespace

void PopulMicrosat::test_methods(settings& s) {
    AlleleSample a{*this, &microsatDistanceMethod, [this](settings& t) { return compute_molecular_diversity(t); },
                   &meanPairwiseDiff, &meanPairwiseDiffSd, &piPerSite, &piPerSiteSd};
    run_allele_driver(a, kMicrosat, s);
}

void PopulStandard::test_methods(settings& s) {
    AlleleSample a{*this, nullptr, [this](settings& t) { return compute_molecular_diversity(t); },
                   &stdMeanPairwiseDiff, &stdMeanPairwiseDiffSd, &piPerSite, &piPerSiteSd};
    run_allele_driver(a, ProfileSettings::DataType == FREQUENCY ? kFrequency : kStandard, s);
}

}  // namespace quintle
