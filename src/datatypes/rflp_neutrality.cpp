// The neutrality-test sections of the RFLP driver. Tajima's D and Fu's Fs
// are compared with their distribution over RFLP samples simulated under
// the standard neutral coalescent with the observed theta; the
// Ewens-Watterson and Chakraborty tests run on the haplotype counts.

#include <algorithm>
#include <iomanip>

#include "core/Errors.h"
#include "core/public.h"
#include "datatypes/PopulRFLP.h"
#include "datatypes/driver_frame.h"
#include "datatypes/driver_output.h"
#include "datatypes/neutrality_sections.h"
#include "datatypes/rflp_replicate.h"
#include "datatypes/rflp_sections.h"
#include "run/glbobj.h"
#include "run/settings.h"

namespace quintle {

namespace {

constexpr char kTajimaFunction[] = "PopulRFLP::test_methods#Tajima's test()";
constexpr char kFuFunction[] = "PopulRFLP::test_methods#Fu's test()";

bool infers_haplotypes(settings const& s) { return s.InferHaplotypeDefinitionFromDistanceMatrix != 0; }

}  // namespace

// --- Tajima's D ---------------------------------------------------------------

TajimaResult rflp_tajima_step(PopulRFLP& p, settings& s, SampleDriverState& st, double deletionWeight,
                              long replicates) {
    std::clock_t start = get_sys_clock();
    *_AOS_ << "\tComputing Tajima's D ...\n";
    p.distanceMethod = 0;
    p.deletionWeight = deletionWeight;
    if (!st.polymorphismEvaluated) {
        p.evaluate_polymorphism(s);
        start = get_sys_clock();
        st.polymorphismEvaluated = true;
    }
    p.compute_distance_matrix(nullptr, &s, 0);
    p.compute_molecular_diversity(s);

    TajimaResult r;
    r.sampleSize = p.SampleSize;
    r.n = static_cast<int>(p.SampleSize);
    r.segregatingSites = p.numSubstitutionSites;
    // D counts deletion sites as segregating; theta(S) and the replicates,
    // which carry no deletions, count substitution sites only.
    p.calc_tajimaD(r.n, p.meanPairwiseDiff, p.numPolymorphicSites);
    r.meanPairwiseDiff = p.meanPairwiseDiff;
    r.D = p.tajimaD;
    r.pBeforeSimulations = p.tajimaP;

    EchoCapture echo;
    p.tree.allocate_tree(r.n);
    r.thetaS = *p.theta_S(r.n, r.segregatingSites);
    r.replicates = std::max(replicates, 0L);

    ReplicateTally tally;
    ReplicateMoments theta;
    ReplicateMoments d;
    if (r.replicates >= 1) {
        RflpReplicate replicate;
        const TajimaReplicateConstants constants(r.n);
        const double mu = r.thetaS / 2.0;
        r.stopped = !run_replicates(r.replicates, s, false, [&](long) {
            add_tajima_replicate(replicate.simulate(p, mu, s), constants, r.D, tally, theta, d);
        });
        if (r.stopped) {
            r.echoSimulations = echo.take();
            return r;
        }
    }
    empty_hit_table(p);

    if (r.replicates > 0) {
        r.simulated = summarize_replicates(r.replicates, tally, theta, d, kTajimaFunction);
        p.tajimaP = r.simulated.p;
    }
    r.echoSimulations = echo.take();
    *_AOS_ << "\tdone ! (" << elapsed_ms_since(start) << " ms)\n";
    return r;
}

void write_rflp_tajima(std::ostream& out, TajimaResult const& r) {
    out << "Sample size                           : " << std::setw(8) << r.sampleSize << "\n"
        << "No. of segregating sites (S)          : " << std::setw(8) << r.segregatingSites << "\n"
        << "Mean No. of pairwise differences (Pi) : ";
    set_fixed(out, 4) << std::setw(8) << r.meanPairwiseDiff;
    out << "\nDistance method                       : "
        << "Pairwise difference (no Gamma correction)\n"
        << "Tajima's D                            : " << std::setw(8) << r.D << std::endl;
    write_tajima_simulations(out, r);
}

// --- Fu's Fs ------------------------------------------------------------------

FuFsResult rflp_fu_fs_step(PopulRFLP& p, settings& s, SampleDriverState& st, RflpFuFsArgs const& a) {
    FuFsResult r;
    r.sampleSize = p.SampleSize;
    if (!(p.SampleSize > 1.0)) {
        clear_fu_fs(p);
        return r;
    }
    if (!b_table_ready("\t\tFile not found... skipping task !\n")) {
        r.outcome = FuFsResult::Outcome::no_table;
        return r;
    }
    const std::clock_t start = get_sys_clock();
    *_AOS_ << "\tPerforming Fu's Fs neutrality test ..."
           << "\n";
    if (!st.dataChecked) p.check_data();
    if (!st.polymorphismEvaluated) p.evaluate_polymorphism(s);

    p.distanceMethod = 0;
    p.deletionWeight = a.deletionWeight;
    p.compute_distance_matrix(nullptr, &s, 0);
    p.compute_molecular_diversity(s);
    r.thetaPi = *p.theta_pi(p.meanPairwiseDiff);

    r.inferred = a.inferred;
    if (a.inferred && !st.listFilled && p.distMat) p.check_hapl_freqs(*p.distMat, st.freqList);
    r.k = a.inferred ? static_cast<int>(st.freqList.count) : p.NbHaplotypeEntries;
    r.n = static_cast<int>(p.SampleSize);
    r.numHaplotypes = p.NbHaplotypeEntries;
    r.numOriginal = p.NbHaplotypeEntriesRead;
    r.replicates = std::max(a.replicates, 0L);
    if (r.k < 2) {
        r.outcome = FuFsResult::Outcome::one_allele;
        clear_fu_fs(p);
    } else {
        RflpReplicate replicate;
        test_fu_fs(p, s, r, true, kFuFunction, [&](double mu) -> auto& { return replicate.simulate(p, mu, s); });
        if (r.stopped) return r;
    }
    *_AOS_ << "\tdone ! (" << elapsed_ms_since(start) << " ms)\n";
    return r;
}

// --- the sections -------------------------------------------------------------

bool rflp_tajima_section(PopulRFLP& p, settings& s, std::fstream& out, SampleDriverState& st) {
    if (!open_tajima_section(p, out)) return true;
    if (progress_stops(s, "Testing neutrality: Computing Tajima's D ...")) return false;

    const TajimaResult r = rflp_tajima_step(p, s, st, s.DeletionWeight, s.NumSimulFuTest);
    write_rflp_tajima(out, r);
    // The tail comes with any number of replicates.
    if (batch_on(_TAJIMA_, ofs_tajima)) write_tajima_batch(*ofs_tajima, p.name, r, 1);
    return !r.stopped;
}

CountTestArgs rflp_count_test_args(PopulRFLP& p, settings const& s, char const* missingTable) {
    return {infers_haplotypes(s), s.NumIterationsNeutralityTests, missingTable, "PopulRFLP::test_methods()",
            [&p] {
                p.distanceMethod = 0;
                p.deletionWeight = 1.0;
            }};
}

bool rflp_ewens_watterson_section(PopulRFLP& p, settings& s, std::fstream& out, SampleDriverState& st) {
    if (!open_ewens_watterson_section(p, out, false)) return true;
    if (progress_stops(s, "Testing neutrality: Ewens-Watterson tests ...")) return false;

    const EwensWattersonSection r = ewens_watterson_section_step(
        p, s, st, rflp_count_test_args(p, s, "\t\tFile 500k100.bnb not found... skipping task !\n"));
    write_ewens_watterson_section(out, r, p.name);
    write_ewens_watterson_batch_line(r.tested, r.test, p.name);
    return true;
}

bool rflp_chakraborty_section(PopulRFLP& p, settings& s, std::fstream& out, SampleDriverState& st) {
    if (!open_chakraborty_section(p, out)) return true;
    if (progress_stops(s, "Testing neutrality: Chakraborty's test ...")) return false;

    const std::optional<ChakrabortyResult> r =
        chakraborty_section_step(p, s, st, rflp_count_test_args(p, s, "\t\t\tFile not found... skipping task !\n"));
    if (!r) return true;
    write_chakraborty_section(out, *r, p.name);
    return true;
}

bool rflp_fu_fs_section(PopulRFLP& p, settings& s, std::fstream& out, SampleDriverState& st) {
    if (!open_fu_fs_section(p, out)) {
        clear_fu_fs(p);
        return true;
    }
    if (progress_stops(s, "Testing neutrality: Fu's Fs test ...")) return false;

    const FuFsResult r = rflp_fu_fs_step(p, s, st, {s.DeletionWeight, infers_haplotypes(s), s.NumSimulFuTest});
    write_fu_fs(out, r);
    // A sample of one allele ends the section before its batch line.
    if (r.outcome != FuFsResult::Outcome::one_allele && batch_on(_FU_FS_, ofs_fu_fs))
        write_fu_fs_batch(*ofs_fu_fs, p.name, r);
    return !r.stopped;
}

}  // namespace quintle
