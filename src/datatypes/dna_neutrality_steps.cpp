// The neutrality-test steps of the DNA driver: Tajima's D and Fu's Fs,
// compared with their distribution over samples simulated under the
// standard neutral coalescent with the observed theta.

#include <algorithm>
#include <iomanip>

#include "core/Errors.h"
#include "core/public.h"
#include "datatypes/PopulDNA.h"
#include "datatypes/dna_replicate.h"
#include "datatypes/dna_sections.h"
#include "datatypes/driver_output.h"
#include "datatypes/neutrality_sections.h"
#include "run/settings.h"

namespace quintle {

namespace {

constexpr char kTajimaFunction[] = "PopulDNA::test_methods#Tajima's test()";
constexpr char kFuFunction[] = "PopulDNA::test_methods#Fu's test()";

}  // namespace

// --- Tajima's D ---------------------------------------------------------------

TajimaResult dna_tajima_step(PopulDNA& p, settings& s, SampleDriverState& st, TajimaArgs const& a) {
    std::clock_t start = get_sys_clock();
    *_AOS_ << "\n\t\tComputing Tajima's D ...\n";

    // Pairwise differences without gamma correction; indels do not count.
    p.distanceMethod = 0;
    p.gammaA = 0.0;
    p.transitionWeight = a.transitionWeight;
    p.transversionWeight = a.transversionWeight;
    p.deletionWeight = 0.0;
    if (!st.polymorphismEvaluated) {
        p.evaluate_polymorphism(s);
        start = get_sys_clock();
        st.polymorphismEvaluated = true;
    }
    p.compute_distance_matrix(nullptr, &s, 0);
    p.compute_molecular_diversity(s);

    TajimaResult r;
    r.n = static_cast<int>(p.SampleSize);
    r.segregatingSites = p.numSubstitutionSites;
    p.calc_tajimaD(r.n, p.meanPairwiseDiff, r.segregatingSites);
    r.meanPairwiseDiff = p.meanPairwiseDiff;
    r.D = p.tajimaD;
    r.pBeforeSimulations = p.tajimaP;

    EchoCapture echo;
    p.tree.allocate_tree(r.n);
    r.thetaS = *p.theta_S(r.n, r.segregatingSites);
    r.replicates = std::max(a.replicates, 0L);

    ReplicateTally tally;
    ReplicateMoments theta;
    ReplicateMoments d;
    if (r.replicates >= 1) {
        DnaReplicate replicate;
        const TajimaReplicateConstants constants(r.n);
        const double mu = r.thetaS / 2.0;
        r.stopped = !run_replicates(r.replicates, s, true, [&](long) {
            add_tajima_replicate(replicate.simulate(p, mu, 0.0, s), constants, r.D, tally, theta, d);
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

void write_dna_tajima(std::ostream& out, TajimaResult const& r) {
    out << "Sample size                           : " << std::setw(8) << r.n << "\n"
        << "No. of sites with substitutions (S)   : " << std::setw(8) << r.segregatingSites << "\n"
        << "Mean No. of pairwise differences (Pi) : ";
    set_fixed(out, 5) << std::setw(8) << r.meanPairwiseDiff;
    out << "\nDistance method                       : "
        << "Pairwise difference (no Gamma correction, indels not taken into account)\n"
        << "\nTajima's D                            : " << std::setw(8) << r.D << "\n";
    write_tajima_simulations(out, r);
}

// --- Fu's Fs ------------------------------------------------------------------

FuFsResult dna_fu_fs_step(PopulDNA& p, settings& s, SampleDriverState& st, FuFsArgs const& a) {
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
    p.gammaA = 0.0;
    apply_weights(p, a.weights);
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
        DnaReplicate replicate;
        const double deletionWeight = a.weights.deletion;
        test_fu_fs(p, s, r, false, kFuFunction,
                   [&](double mu) -> auto& { return replicate.simulate(p, mu, deletionWeight, s); });
        if (r.stopped) return r;
    }
    *_AOS_ << "\tdone ! (" << elapsed_ms_since(start) << " ms)\n";
    return r;
}

}  // namespace quintle
