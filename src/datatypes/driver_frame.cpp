#include "datatypes/driver_frame.h"

#include <fstream>
#include <string>

#include "data/Population.h"
#include "datatypes/diversity_sections.h"
#include "datatypes/driver_output.h"
#include "datatypes/driver_state.h"
#include "datatypes/neutrality_sections.h"
#include "popstats/PopGenetics.h"
#include "project/sample_checks.h"
#include "run/task_bits.h"
#include "run/glbobj.h"
#include "run/ProfileSettings.h"
#include "run/settings.h"

namespace quintle {

bool unphased_genotypes(Population const& p) { return p.profile.GenotypicData != 0 && p.profile.GameticPhase == 0; }

bool open_mismatch_section(Population const& p, std::ostream& out) {
    if (unphased_genotypes(p)) {
        write_phase_refusal(out, "Mismatch distribution cannot be computed \n");
        return false;
    }
    write_banner(out, "Mismatch distribution", 26, p.name);
    write_citations(out, {"Mismatch_stable_1977", "Mismatch_growth_1991", "Mismatch_waves_1992",
                          "Mismatch_raggedness_1994", "Mismatch_expansion_1995"});
    return true;
}

bool run_haplotypic_or_phased(settings const& s) { return s.GenotypicData == 0 || s.GameticPhase != 0; }

bool shows_original(Population const& p, settings const& s) {
    return s.InferHaplotypeDefinitionFromDistanceMatrix != 0 && p.profile.GenotypicData == 0;
}

void write_sample_header(Population& p, settings& s, std::ostream& out) {
    char sampleKind[] = "samp";
    char groupKind[] = "group";
    p.print_population_anchor(2, s, p.isSample() ? sampleKind : groupKind);
    const std::string rule(79, '=');
    out << "\n" << rule << "\n"
        << "== Sample : \t" << p.name << "\n"
        << rule << "\n\n";
}

bool has_usable_sites(Population const& p, settings const& s, std::ostream& out, char const* function) {
    if (!holds_no_usable_site(p, s.AllowedLevelOfMissingData)) return true;
    // The AMOVA code's own calls on pooled samples only want a matrix.
    if ((s.TaskNumber & tasks_within_samples) == 0) return false;
    char const* const skipped =
        "its molecular diversity, mismatch distribution, linkage disequilibrium, distance matrix, Tajima's and Fu's "
        "tests are not computed.";
    *_AOS_ << "\tSample \"" << p.name << "\" has no usable site: at every site its copies are deletions or too many "
           << "are missing data;\n\t" << skipped << std::endl;
    E.error(WARNING, (std::string(function) + " (sample \"" + p.name.c_str() + "\": no usable site)").c_str(),
            Msg::m136_dist_mat_not_computed);
    out << "\nNo usable site in this sample: at every site its copies are deletions or too many are missing data;\n"
        << skipped << "\n" << std::endl;
    return false;
}

void closing_step(Population& p, settings const& s) {
    if (s.TaskNumber != task_amova_permutations) return;
    if (s.RecessiveAllelesEM != 0) p.make_all_blanks(ProfileSettings::LocusSeparator);
    p.build_allele_vectors(ProfileSettings::LocusSeparator);
}

void standard_diversity_block(PopGenetics& p, settings& s, std::fstream& out, SampleDriverState& st,
                              StandardDiversityTexts const& texts, bool showOriginal) {
    const bool batch = batch_on(_GENE_DIVERSITY_, ofs_gen_div);
    const StandardDiversityArgs args{run_haplotypic_or_phased(s), showOriginal, s.AllowedLevelOfMissingData, batch};
    const StandardDiversityResult r = standard_diversity_step(p, s, st, args);
    write_standard_diversity(out, r, texts, [&] {
        if (s.GenotypicData != 0)
            p.OutputAllelelNumberAndHetPerLocusDipl(p.phenotypes, out, s, true, true, true);
        else
            p.OutputAllelelNumberAndHetPerLocusHapl(out, s, true, true, true);
    });
    if (batch) write_gene_diversity_batch(*ofs_gen_div, p.name, r);
}

UnphasedEstimate estimate_unphased_haplotypes(PopGenetics& p, settings& s, std::fstream& out) {
    if (s.PrintSampleAnchor != 0) {
        write_banner(out, "Haplotypes frequency estimation", 36, p.name);
        write_citations(out, {"EM_algorithm_1977", "EM_haplotypes_1995", "EM_multilocus_1995", "GibbsPhasing_2001",
                              "Vosk_Ref"});
    }
    if (!unphased_genotypes(p)) return UnphasedEstimate::phased;
    if (progress_stops(s, "Computing ML haplotype frequencies ...")) return UnphasedEstimate::stopped;
    if (s.EstimateHaplotypes != 0) {
        if (s.GibbsInferGamPhase != 0) {
            p.comp_gam_phase_Gibbs(s);
            if (s.stopFlag != 0) return UnphasedEstimate::stopped;
        }
        if (s.ComputeAllHaplotypesEM != 0 || s.ComputeAllAllelesEM != 0) {
            p.comp_gam_phase_EM(s);
            if (s.stopFlag != 0) return UnphasedEstimate::stopped;
        }
    }
    return UnphasedEstimate::done;
}

bool haplotype_frequency_section(PopGenetics& p, settings& s, std::fstream& out, FrequencySectionTexts const& t) {
    if (UnphasedEstimate const e = estimate_unphased_haplotypes(p, s, out); e != UnphasedEstimate::phased)
        return e == UnphasedEstimate::done;
    if (progress_stops(s, t.progress)) return false;
    *_AOS_ << t.log;
    if (batch_on(_ALLELE_FREQS_, ofs_allele_freqs)) *ofs_allele_freqs << '"' << settings::input_file << "\"\t";
    p.calc_hapl_dat_hapl_freq(s);
    *_AOS_ << t.done << std::flush;
    return true;
}

bool linkage_section(PopGenetics& p, settings& s, std::fstream& out, SampleDriverState const& st,
                     LinkageSectionTexts const& t) {
    write_banner(out, "Pairwise linkage disequilibrium", 36, p.name);
    write_citations(out, {"LD_EM_test_1996", "LD_growth_1994", "LD_measure_1964"});
    if (progress_stops(s, "Testing linkage disequilibrium ...")) return false;
    if (!st.polymorphismEvaluated) p.evaluate_polymorphism(s);
    if (unphased_genotypes(p)) {
        *_AOS_ << t.phenotypic;
        p.calc_all_link_dis(out, p.phenotypes, s, s.InitialConditionsEM, static_cast<long>(s.MarkovChainStepsLD),
                            s.MaximumNumOfIterationsEM, s.EpsilonValue);
    } else {
        *_AOS_ << t.haplotypic;
        p.calc_all_gam_des(out, static_cast<long>(s.MarkovChainStepsLD), s);
    }
    *_AOS_ << "\tdone !" << std::endl;
    return true;
}

bool hardy_weinberg_section(PopGenetics& p, settings& s, std::fstream& out, LinkageSectionTexts const& t) {
    write_banner(out, "Hardy-Weinberg equilibrium", 31, p.name);
    write_citations(out, {"HW_exact_1992", "HW_matching_1949"});
    if (progress_stops(s, "Testing Hardy-Weinberg equilibrium ...")) return false;
    *_AOS_ << "\tTesting Hardy-Weinberg equilibrium ...\n";
    p.make_all_hw(out, p.phenotypes, static_cast<long>(s.MarkovChainStepsHW), s);
    *_AOS_ << t.hardyWeinbergDone << std::flush;
    return true;
}

bool sample_distances_ready(PopGenetics& p, settings& s, SampleDriverState const& st) {
    if (s.stopFlag != 0) return false;
    if (!st.dataChecked) p.check_data();
    if (!st.polymorphismEvaluated) p.evaluate_polymorphism(s);
    return true;
}

bool write_conventional_fst_distances(PopGenetics& p, settings& s) {
    if (s.ComputeConventionalFST == 0) return false;
    my_string fileName = p.get_small_name();
    fileName += ".dis";
    std::ofstream file(fileName.c_str(), std::ios::out);
    if (!file.is_open()) *_AOS_ << "\t\tUnable to open the distance file " << fileName << "\n";
    p.compute_dist_mat_for_conventional_FST(file, &s);
    return true;
}

}  // namespace quintle
