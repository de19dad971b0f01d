// The analysis drivers of DNA and RFLP samples: one frame that runs, in a
// fixed order, every within-sample analysis the task bits ask for. Each
// section runs its step, which computes, logs its progress and leaves the
// results in the sample, then prints the step's result into the result
// file and the batch summary lines. What differs between the two data
// types is read from their row (sequence_sections.h); their molecular
// diversity sections are their own (dna_sections.h, rflp_sections.h).

#include <optional>
#include <ostream>
#include <string>

#include "core/Errors.h"
#include "datatypes/PopulDNA.h"
#include "datatypes/PopulRFLP.h"
#include "datatypes/dna_sections.h"
#include "datatypes/driver_frame.h"
#include "datatypes/driver_output.h"
#include "datatypes/neutrality_sections.h"
#include "datatypes/rflp_sections.h"
#include "datatypes/sequence_sections.h"
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

template <class Sample>
bool standard_diversity(Sample& p, SequenceDriverType const& t, settings& s, std::fstream& out,
                        SampleDriverState& st) {
    *_AOS_ << "\tComputing standard diversity indices ...\n";
    if (progress_stops(s, "Computing standard diversity indices ...")) return false;
    write_banner(out, "Standard diversity indices", 31, p.name);
    write_citations(out, {"GeneDiversity_1987"});

    if (t.weighsStandardDiversity) use_weights(p, run_weights(s));
    standard_diversity_block(p, s, out, st, *t.standardDiversity, shows_original(p, s));

    // Prints its own lines.
    if (p.profile.GenotypicData != 0 && p.profile.GameticPhase != 0)
        p.compute_phenotype_heterozygosity(s, p.phenotypes);
    *_AOS_ << "\tdone !" << std::endl;
    return true;
}

// The opening of a fit block: the model's title over a rule, in the type's
// words and rule (also above the title where the type has one there).
std::string fit_block_opening(SequenceDriverType const& t, bool sudden) {
    const std::string rule(static_cast<std::size_t>(t.fitRuleWidth), t.fitRule);
    std::string opening = "\n\n";
    if (t.fitRuleAbove) opening += rule + "\n";
    return opening + t.fitTitle + (sudden ? "sudden" : "spatial") + " expansion model:\n" + rule;
}

template <class Sample>
bool mismatch(Sample& p, SequenceDriverType const& t, settings& s, std::fstream& out, SampleDriverState& st) {
    if (!open_mismatch_section(p, out)) return true;
    if (progress_stops(s, "Computing mismatch distribution ...")) return false;

    const MismatchSectionResult r = sequence_mismatch_step(
        p, s, st, {s.MismatchDistanceMethod, t.gamma ? s.MismatchGammaAValue : 0.0, run_weights(s)});
    t.writeMismatchTable(out, r);
    const MismatchBatch batch = _MISMATCH_ != 0
                                    ? MismatchBatch{ofs_mismatch, ofs_mismatch_sp3, ofs_mismatch_sp4, ofs_only_mismatch}
                                    : MismatchBatch{};
    write_mismatch_batch_heads(batch, p.name, t.mismatchBatchMethod(r.method), r.gammaA);
    if (s.MismatchDemogExp) mismatch_fit_block(p, s, out, r, true, fit_block_opening(t, true), batch.mismatch);
    if (s.MismatchSpatialExp) mismatch_fit_block(p, s, out, r, false, fit_block_opening(t, false), batch.spatial3);
    write_mismatch_batch_tails(batch, p.name, r, t.onlyMismatchHeadAlways);

    out << std::endl;
    *_AOS_ << "\tdone ! (" << elapsed_ms_since(r.started) << " ms)\n";
    return true;
}

// The matrix the AMOVA code reads (numbers of differing sites, or
// proportions scaled to sites), or the conventional-FST ".dis" file.
template <class Sample>
bool sample_distances(Sample& p, SequenceDriverType const& t, settings& s, SampleDriverState const& st) {
    if (!sample_distances_ready(p, s, st)) return false;
    if (write_conventional_fst_distances(p, s)) return true;
    use_distances(p, {s.DistanceMethodAMOVA, t.gamma ? s.GammaAValueAMOVA : 0.0, run_weights(s)});
    p.compute_distance_matrix(nullptr, &s, p.distanceMethod == 0 ? 0 : 1);
    return true;
}

template <class Sample>
bool tajima(Sample& p, SequenceDriverType const& t, settings& s, std::fstream& out, SampleDriverState& st) {
    if (!open_tajima_section(p, out)) return true;
    if (progress_stops(s, "Testing neutrality: Computing Tajima's D ...")) return false;

    const TajimaResult r = sequence_tajima_step(p, s, st, {run_weights(s), s.NumSimulFuTest});
    write_sequence_tajima(out, r, t);
    if (batch_on(_TAJIMA_, ofs_tajima)) write_tajima_batch(*ofs_tajima, p.name, r, t.tajimaTailFrom);
    return !r.stopped;
}

template <class Sample>
bool ewens_watterson(Sample& p, SequenceDriverType const& t, settings& s, std::fstream& out,
                     SampleDriverState& st) {
    if (!open_ewens_watterson_section(p, out, t.ewensWattersonPlural)) return true;
    if (progress_stops(s, "Testing neutrality: Ewens-Watterson tests ...")) return false;

    const EwensWattersonSection r = ewens_watterson_section_step(p, s, st, sequence_count_test_args(p, s, true));
    write_ewens_watterson_section(out, r, p.name);
    write_ewens_watterson_batch_line(r.tested, r.test, p.name);
    return true;
}

template <class Sample>
bool chakraborty(Sample& p, settings& s, std::fstream& out, SampleDriverState& st) {
    if (!open_chakraborty_section(p, out)) return true;
    if (progress_stops(s, "Testing neutrality: Chakraborty's test ...")) return false;

    const std::optional<ChakrabortyResult> r =
        chakraborty_section_step(p, s, st, sequence_count_test_args(p, s, false));
    if (!r) return true;
    write_chakraborty_section(out, *r, p.name);
    return true;
}

template <class Sample>
bool fu_fs(Sample& p, SequenceDriverType const& t, settings& s, std::fstream& out, SampleDriverState& st) {
    if (!open_fu_fs_section(p, out)) {
        clear_fu_fs(p);
        return true;
    }
    if (progress_stops(s, "Testing neutrality: Fu's Fs test ...")) return false;

    const FuFsResult r = sequence_fu_fs_step(p, s, st, {run_weights(s), infers_haplotypes(s), s.NumSimulFuTest});
    write_fu_fs(out, r);
    const bool line = t.fuOneAlleleBatchLine || r.outcome != FuFsResult::Outcome::one_allele;
    if (line && batch_on(_FU_FS_, ofs_fu_fs)) write_fu_fs_batch(*ofs_fu_fs, p.name, r);
    return !r.stopped;
}

template <class Sample>
void run_sequence_driver(Sample& p, settings& s) {
    SequenceDriverType const& t = driver_type(p);
    std::fstream& out = s.ResultFile != nullptr ? *s.ResultFile : no_result_stream();
    p.recessiveAllelesEM = s.RecessiveAllelesEM;
    SampleDriverState st(p.NbHaplotypeEntries);

    if (has(s, tasks_within_samples) && s.PrintSampleAnchor != 0) write_sample_header(p, s, out);
    bool const sites = has_usable_sites(p, s, out, t.function);

    if (has(s, task_standard_diversity) && p.recessiveAllelesEM == 0) {
        if (!standard_diversity(p, t, s, out, st)) return;
    }
    if (has(s, task_molecular_diversity) && sites) {
        if (p.recessiveAllelesEM != 0)
            out << "Molecular diversity indices cannot be computed \n"
                << "for recessive data\n"
                << std::endl;
        else
            molecular_diversity_section(p, s, out, st);
    }
    if (has(s, task_mismatch) && sites && !mismatch(p, t, s, out, st)) return;
    if (has(s, task_haplotype_frequencies) && !haplotype_frequency_section(p, s, out, t.frequency)) return;
    if (has(s, task_linkage) && sites && !linkage_section(p, s, out, st, t.linkage)) return;
    if (has(s, task_hardy_weinberg) && !hardy_weinberg_section(p, s, out, t.linkage)) return;
    if (has(s, task_pairwise_distances) && sites && !sample_distances(p, t, s, st)) return;

    if (has(s, task_tajima) && sites && !tajima(p, t, s, out, st)) return;
    // From the distances when the haplotypes are inferred from them.
    bool const counts = sites || !infers_haplotypes(s);
    if (has(s, task_ewens_watterson) && counts && !ewens_watterson(p, t, s, out, st)) return;
    if (has(s, task_chakraborty) && counts && !chakraborty(p, s, out, st)) return;
    if (has(s, task_fu_fs) && sites) {
        if (!fu_fs(p, t, s, out, st)) return;
    } else {
        clear_fu_fs(p);
    }
    closing_step(p, s);
}

}  // namespace

void PopulDNA::test_methods(settings& s) { run_sequence_driver(*this, s); }

void PopulRFLP::test_methods(settings& s) { run_sequence_driver(*this, s); }

}  // namespace quintle
