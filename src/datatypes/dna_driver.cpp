// The analysis driver of a DNA sample: runs, in a fixed order, every
// within-sample analysis the task bits ask for. Each section runs its step
// (dna_sections.h), which computes, logs its progress and leaves the
// results in the sample, then prints the step's result into the result file
// and the batch summary lines.

#include <optional>
#include <ostream>
#include <string>

#include "core/Errors.h"
#include "datatypes/PopulDNA.h"
#include "datatypes/dna_sections.h"
#include "datatypes/driver_frame.h"
#include "datatypes/driver_output.h"
#include "run/glbobj.h"
#include "run/settings.h"
#include "run/task_bits.h"

namespace quintle {

namespace {

bool has(settings const& s, std::int64_t bit) { return (s.TaskNumber & bit) != 0; }

bool infers_haplotypes(settings const& s) { return s.InferHaplotypeDefinitionFromDistanceMatrix != 0; }

// --- sections ----------------------------------------------------------------
// Each section writes its heading, runs its step and prints the step's
// result; false when the driver must return at once (stop request).

bool standard_diversity(PopulDNA& p, settings& s, std::fstream& out, SampleDriverState& st) {
    *_AOS_ << "\tComputing standard diversity indices ...\n";
    if (progress_stops(s, "Computing standard diversity indices ...")) return false;
    write_banner(out, "Standard diversity indices", 31, p.name);
    write_citations(out, {"GeneDiversity_1987"});

    apply_weights(p, dna_weights(s));
    const bool batch = batch_on(_GENE_DIVERSITY_, ofs_gen_div);
    const StandardDiversityArgs a{run_haplotypic_or_phased(s), shows_original(p, s), s.AllowedLevelOfMissingData,
                                  batch};
    const StandardDiversityResult r = standard_diversity_step(p, s, st, a);
    write_standard_diversity(out, r, dna_standard_diversity_texts, [&] {
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

void molecular_diversity(PopulDNA& p, settings& s, std::fstream& out, SampleDriverState& st) {
    *_AOS_ << "\tComputing molecular diversity indices ...\n";
    progress_stops(s, "Computing molecular diversity indices ...");  // this section goes on regardless
    write_banner(out, "Molecular diversity indices", 32, p.name);
    write_citations(out, {"PairwiseDiff_1983", "NucleotideDiversity_1981", "ThetaS_1975", "NeutralAlleles_1972",
                          "ThetaHom_1964"});

    MolecularDiversityArgs a;
    a.distances = {s.DistanceMethod, s.GammaAValue, dna_weights(s)};
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

// The opening of a fit block: the model between two rows of asterisks.
std::string fit_block_opening(bool sudden) {
    const std::string stars(54, '*');
    return "\n\n" + stars + "\nParameters estimated under the " + (sudden ? "sudden" : "spatial") +
           " expansion model:\n" + stars;
}

bool mismatch(PopulDNA& p, settings& s, std::fstream& out, SampleDriverState& st) {
    if (unphased_genotypes(p)) {
        write_phase_refusal(out, "Mismatch distribution cannot be computed \n");
        return true;
    }
    write_banner(out, "Mismatch distribution", 26, p.name);
    write_citations(out, {"Mismatch_stable_1977", "Mismatch_growth_1991", "Mismatch_waves_1992",
                          "Mismatch_raggedness_1994", "Mismatch_expansion_1995"});
    if (progress_stops(s, "Computing mismatch distribution ...")) return false;

    const MismatchSectionResult r =
        dna_mismatch_step(p, s, st, {s.MismatchDistanceMethod, s.MismatchGammaAValue, dna_weights(s)});
    write_mismatch_method(out, dna_method_name(r.method, "Pairwise difference"), r.gammaA);
    const MismatchBatch batch = _MISMATCH_ != 0
                                    ? MismatchBatch{ofs_mismatch, ofs_mismatch_sp3, ofs_mismatch_sp4, ofs_only_mismatch}
                                    : MismatchBatch{};
    write_mismatch_batch_heads(batch, p.name, dna_method_tag(r.method), r.gammaA);
    if (s.MismatchDemogExp) mismatch_fit_block(p, s, out, r, true, fit_block_opening(true), batch.mismatch);
    if (s.MismatchSpatialExp) mismatch_fit_block(p, s, out, r, false, fit_block_opening(false), batch.spatial3);
    write_mismatch_batch_tails(batch, p.name, r);

    out << std::endl;
    *_AOS_ << "\tdone ! (" << elapsed_ms_since(r.started) << " ms)\n";
    return true;
}



constexpr FrequencySectionTexts dna_frequency_texts{"Computing haplotype frequencies ... \n",
                                                 "\tComputing haplotype frequencies ...\n", "\tdone !\n"};
constexpr LinkageSectionTexts dna_linkage_texts{"\tTesting linkage disequilibrium (phenotypic data)...\n",
                                                "\tTesting linkage disequilibrium (haplotypic data)...\n",
                                                "\tdone !\n\n"};

bool sample_distances(PopulDNA& p, settings& s, SampleDriverState const& st) {
    if (!sample_distances_ready(p, s, st)) return false;
    if (write_conventional_fst_distances(p, s)) return true;
    apply_weights(p, dna_weights(s));
    p.distanceMethod = s.DistanceMethodAMOVA;
    p.gammaA = s.GammaAValueAMOVA;
    p.compute_distance_matrix(nullptr, &s, p.distanceMethod == 0 ? 0 : 1);
    return true;
}

bool tajima(PopulDNA& p, settings& s, std::fstream& out, SampleDriverState& st) {
    if (!open_tajima_section(p, out)) return true;
    if (progress_stops(s, "Testing neutrality: Computing Tajima's D ...")) return false;

    const TajimaResult r = dna_tajima_step(p, s, st, {s.TransitionWeight, s.TranversionWeight, s.NumSimulFuTest});
    write_dna_tajima(out, r);
    if (batch_on(_TAJIMA_, ofs_tajima)) write_tajima_batch(*ofs_tajima, p.name, r, 2);
    return !r.stopped;
}

bool ewens_watterson(PopulDNA& p, settings& s, std::fstream& out, SampleDriverState& st) {
    if (!open_ewens_watterson_section(p, out, true)) return true;
    if (progress_stops(s, "Testing neutrality: Ewens-Watterson tests ...")) return false;

    const DnaEwensWattersonSection r =
        dna_ewens_watterson_step(p, s, st, infers_haplotypes(s), s.NumIterationsNeutralityTests);
    write_dna_ewens_watterson(out, r, p.name);
    write_ewens_watterson_batch_line(r.tested, r.test, p.name);
    return true;
}

bool chakraborty(PopulDNA& p, settings& s, std::fstream& out, SampleDriverState& st) {
    if (!open_chakraborty_section(p, out)) return true;
    if (progress_stops(s, "Testing neutrality: Chakraborty's test ...")) return false;

    const std::optional<ChakrabortyResult> r = dna_chakraborty_step(p, s, st, infers_haplotypes(s));
    if (!r) return true;
    write_chakraborty_section(out, *r, p.name);
    return true;
}

bool fu_fs(PopulDNA& p, settings& s, std::fstream& out, SampleDriverState& st) {
    if (!open_fu_fs_section(p, out)) {
        clear_fu_fs(p);
        return true;
    }
    if (progress_stops(s, "Testing neutrality: Fu's Fs test ...")) return false;

    const FuFsResult r = dna_fu_fs_step(p, s, st, {dna_weights(s), infers_haplotypes(s), s.NumSimulFuTest});
    write_fu_fs(out, r);
    if (batch_on(_FU_FS_, ofs_fu_fs)) write_fu_fs_batch(*ofs_fu_fs, p.name, r);
    return !r.stopped;
}

}  // namespace

void PopulDNA::test_methods(settings& s) {
    std::fstream& out = s.ResultFile != nullptr ? *s.ResultFile : no_result_stream();
    recessiveAllelesEM = s.RecessiveAllelesEM;
    SampleDriverState st(NbHaplotypeEntries);

    if (has(s, tasks_within_samples) && s.PrintSampleAnchor != 0) write_sample_header(*this, s, out);
    bool const sites = has_usable_sites(*this, s, out, "PopulDNA::test_methods()");

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
    if (has(s, task_haplotype_frequencies) && !haplotype_frequency_section(*this, s, out, dna_frequency_texts)) return;
    if (has(s, task_linkage) && sites && !linkage_section(*this, s, out, st, dna_linkage_texts)) return;
    if (has(s, task_hardy_weinberg) && !hardy_weinberg_section(*this, s, out, dna_linkage_texts)) return;
    if (has(s, task_pairwise_distances) && sites && !sample_distances(*this, s, st)) return;

    if (has(s, task_tajima) && sites && !tajima(*this, s, out, st)) return;
    // From the distances when the haplotypes are inferred from them.
    bool const counts = sites || !infers_haplotypes(s);
    if (has(s, task_ewens_watterson) && counts && !ewens_watterson(*this, s, out, st)) return;
    if (has(s, task_chakraborty) && counts && !chakraborty(*this, s, out, st)) return;
    if (has(s, task_fu_fs) && sites) {
        if (!fu_fs(*this, s, out, st)) return;
    } else {
        clear_fu_fs(*this);
    }
    closing_step(*this, s);
}

}  // namespace quintle
