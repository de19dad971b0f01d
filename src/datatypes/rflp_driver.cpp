// The analysis driver of an RFLP sample: the sections of the DNA driver in
// the same order, with the RFLP sample's own distances (numbers or
// proportions of differing sites, one deletion weight) and texts. Each
// section runs its step, then prints the step's result into the result
// file and the batch summary lines.

#include <ostream>
#include <string>

#include "core/Errors.h"
#include "datatypes/PopulRFLP.h"
#include "datatypes/driver_frame.h"
#include "datatypes/driver_output.h"
#include "datatypes/rflp_sections.h"
#include "run/glbobj.h"
#include "run/settings.h"
#include "run/task_bits.h"

namespace quintle {

namespace {

bool has(settings const& s, std::int64_t bit) { return (s.TaskNumber & bit) != 0; }

// --- sections ----------------------------------------------------------------
// Each section writes its heading, runs its step and prints the step's
// result; false when the driver must return at once (stop request).

bool standard_diversity(PopulRFLP& p, settings& s, std::fstream& out, SampleDriverState& st) {
    *_AOS_ << "\tComputing standard diversity indices ...\n";
    if (progress_stops(s, "Computing standard diversity indices ...")) return false;
    write_banner(out, "Standard diversity indices", 31, p.name);
    write_citations(out, {"GeneDiversity_1987"});

    // The sites are classified with the deletion weight the sample holds.
    const bool batch = batch_on(_GENE_DIVERSITY_, ofs_gen_div);
    const StandardDiversityArgs a{run_haplotypic_or_phased(s), shows_original(p, s), s.AllowedLevelOfMissingData,
                                  batch};
    const StandardDiversityResult r = standard_diversity_step(p, s, st, a);
    write_standard_diversity(out, r, rflp_standard_diversity_texts, [&] {
        if (s.GenotypicData != 0)
            p.OutputAllelelNumberAndHetPerLocusDipl(p.phenotypes, out, s, true, true, true);
        else
            p.OutputAllelelNumberAndHetPerLocusHapl(out, s, true, true, true);
    });
    if (batch) write_gene_diversity_batch(*ofs_gen_div, p.name, r);

    // Prints its own lines.
    if (p.profile.GenotypicData != 0 && p.profile.GameticPhase != 0)
        p.compute_phenotype_heterozygosity(s, p.phenotypes);
    *_AOS_ << "\tdone !" << std::endl;
    return true;
}

void molecular_diversity(PopulRFLP& p, settings& s, std::fstream& out, SampleDriverState& st) {
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

// The opening of a fit block: the model over a rule of dashes.
std::string fit_block_opening(bool sudden) {
    return std::string("\n\nEstimated parameters from the ") + (sudden ? "sudden" : "spatial") +
           " expansion model:" + "\n" + std::string(53, '-');
}

bool mismatch(PopulRFLP& p, settings& s, std::fstream& out, SampleDriverState& st) {
    if (unphased_genotypes(p)) {
        write_phase_refusal(out, "Mismatch distribution cannot be computed \n");
        return true;
    }
    write_banner(out, "Mismatch distribution", 26, p.name);
    write_citations(out, {"Mismatch_stable_1977", "Mismatch_growth_1991", "Mismatch_waves_1992",
                          "Mismatch_raggedness_1994", "Mismatch_expansion_1995"});
    if (progress_stops(s, "Computing mismatch distribution ...")) return false;

    const MismatchSectionResult r = rflp_mismatch_step(p, s, st, s.MismatchDistanceMethod, s.DeletionWeight);
    write_rflp_mismatch_table(out, r);
    const MismatchBatch batch = _MISMATCH_ != 0
                                    ? MismatchBatch{ofs_mismatch, ofs_mismatch_sp3, ofs_mismatch_sp4, ofs_only_mismatch}
                                    : MismatchBatch{};
    // The heads name the method in full.
    write_mismatch_batch_heads(batch, p.name, rflp_method_name(r.method), 0.0);
    if (s.MismatchDemogExp) mismatch_fit_block(p, s, out, r, true, fit_block_opening(true), batch.mismatch);
    if (s.MismatchSpatialExp) mismatch_fit_block(p, s, out, r, false, fit_block_opening(false), batch.spatial3);
    write_mismatch_batch_tails(batch, p.name, r, false);

    out << std::endl;
    *_AOS_ << "\tdone ! (" << elapsed_ms_since(r.started) << " ms)\n";
    return true;
}



constexpr FrequencySectionTexts rflp_frequency_texts{"Computing  haplotype frequencies ...\n",
                                                  "\tComputing  haplotype frequencies ...\n", "\tdone!\n"};
constexpr LinkageSectionTexts rflp_linkage_texts{"\tTesting linkage disequilibrium (Phenotypic data)...\n",
                                                 "\tTesting linkage disequilibrium (Haplotypic data)...\n",
                                                 "\tdone !\n"};

// The matrix the AMOVA code reads (numbers of differing sites, or
// proportions scaled to sites), or the conventional-FST ".dis" file.
bool sample_distances(PopulRFLP& p, settings& s, SampleDriverState const& st) {
    if (!sample_distances_ready(p, s, st)) return false;
    if (write_conventional_fst_distances(p, s)) return true;
    p.deletionWeight = s.DeletionWeight;
    p.distanceMethod = s.DistanceMethodAMOVA;
    p.compute_distance_matrix(nullptr, &s, p.distanceMethod == 0 ? 0 : 1);
    return true;
}

}  // namespace

void PopulRFLP::test_methods(settings& s) {
    std::fstream& out = s.ResultFile != nullptr ? *s.ResultFile : no_result_stream();
    recessiveAllelesEM = s.RecessiveAllelesEM;
    SampleDriverState st(NbHaplotypeEntries);

    if (has(s, tasks_within_samples) && s.PrintSampleAnchor != 0) write_sample_header(*this, s, out);
    bool const sites = has_usable_sites(*this, s, out, "PopulRFLP::test_methods()");

    if (has(s, task_standard_diversity) && recessiveAllelesEM == 0) {
        if (!standard_diversity(*this, s, out, st)) return;
    }
    if (has(s, task_molecular_diversity) && sites) {
        if (recessiveAllelesEM != 0)
            out << "Molecular diversity indices cannot be computed \n"
                << "for recessive data\n"
                << std::endl;
        else
            molecular_diversity(*this, s, out, st);
    }
    if (has(s, task_mismatch) && sites && !mismatch(*this, s, out, st)) return;
    if (has(s, task_haplotype_frequencies) && !haplotype_frequency_section(*this, s, out, rflp_frequency_texts)) return;
    if (has(s, task_linkage) && sites && !linkage_section(*this, s, out, st, rflp_linkage_texts)) return;
    if (has(s, task_hardy_weinberg) && !hardy_weinberg_section(*this, s, out, rflp_linkage_texts)) return;
    if (has(s, task_pairwise_distances) && sites && !sample_distances(*this, s, st)) return;

    if (has(s, task_tajima) && sites && !rflp_tajima_section(*this, s, out, st)) return;
    // From the distances when the haplotypes are inferred from them.
    bool const counts = sites || s.InferHaplotypeDefinitionFromDistanceMatrix == 0;
    if (has(s, task_ewens_watterson) && counts && !rflp_ewens_watterson_section(*this, s, out, st)) return;
    if (has(s, task_chakraborty) && counts && !rflp_chakraborty_section(*this, s, out, st)) return;
    if (has(s, task_fu_fs) && sites) {
        if (!rflp_fu_fs_section(*this, s, out, st)) return;
    } else {
        clear_fu_fs(*this);
    }
    closing_step(*this, s);
}

}  // namespace quintle
