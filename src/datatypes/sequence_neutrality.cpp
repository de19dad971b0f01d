// The neutrality-test steps of the DNA and RFLP drivers. Tajima's D and
// Fu's Fs are compared with their distribution over samples of the same
// class simulated under the standard neutral coalescent with the observed
// theta; the Ewens-Watterson and Chakraborty tests run on the haplotype
// counts (neutrality_sections.h) with the arguments given here.

#include <algorithm>
#include <iomanip>

#include "core/Errors.h"
#include "core/public.h"
#include "datatypes/PopulDNA.h"
#include "datatypes/PopulRFLP.h"
#include "datatypes/dna_replicate.h"
#include "datatypes/driver_output.h"
#include "datatypes/neutrality_sections.h"
#include "datatypes/rflp_replicate.h"
#include "datatypes/sequence_sections.h"
#include "run/settings.h"

namespace quintle {

namespace {

// The simulated replicates of a sample's class: read at the sites their
// mutations hit, with the deletion weight of the test's distances (DNA).
template <class Sample>
struct ReplicateOf;
template <>
struct ReplicateOf<PopulDNA> {
    DnaReplicate replicate;
    PopulDNA& simulate(PopulDNA& p, double mu, double deletionWeight, settings& s) {
        return replicate.simulate(p, mu, deletionWeight, s);
    }
};
template <>
struct ReplicateOf<PopulRFLP> {
    RflpReplicate replicate;
    PopulRFLP& simulate(PopulRFLP& p, double mu, double, settings& s) { return replicate.simulate(p, mu, s); }
};

}  // namespace

// --- Tajima's D ---------------------------------------------------------------

template <class Sample>
TajimaResult sequence_tajima_step(Sample& p, settings& s, SampleDriverState& st, TajimaArgs const& a) {
    SequenceDriverType const& t = driver_type(p);
    std::clock_t start = get_sys_clock();
    *_AOS_ << t.tajimaLog;

    const double deletionWeight = t.tajimaCountsDeletions ? a.weights.deletion : 0.0;
    use_distances(p, {0, 0.0, {deletionWeight, a.weights.transition, a.weights.transversion}});
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
    // theta(S) and the replicates, which carry no deletions, count the
    // substitution sites only.
    p.calc_tajimaD(r.n, p.meanPairwiseDiff, t.tajimaCountsDeletions ? p.numPolymorphicSites : r.segregatingSites);
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
        ReplicateOf<Sample> replicate;
        const TajimaReplicateConstants constants(r.n);
        const double mu = r.thetaS / 2.0;
        r.stopped = !run_replicates(r.replicates, s, t.tajimaStopsBeforeReplicate, [&](long) {
            add_tajima_replicate(replicate.simulate(p, mu, deletionWeight, s), constants, r.D, tally, theta, d);
        });
        if (r.stopped) {
            r.echoSimulations = echo.take();
            return r;
        }
    }
    empty_hit_table(p);

    if (r.replicates > 0) {
        r.simulated = summarize_replicates(r.replicates, tally, theta, d, t.tajimaFunction);
        p.tajimaP = r.simulated.p;
    }
    r.echoSimulations = echo.take();
    *_AOS_ << "\tdone ! (" << elapsed_ms_since(start) << " ms)\n";
    return r;
}

void write_sequence_tajima(std::ostream& out, TajimaResult const& r, SequenceDriverType const& t) {
    out << "Sample size                           : " << std::setw(8);
    if (t.tajimaSampleSizeAsCount)
        out << r.n;
    else
        out << r.sampleSize;
    out << "\n" << t.tajimaSitesLabel << std::setw(8) << r.segregatingSites << "\n"
        << "Mean No. of pairwise differences (Pi) : ";
    set_fixed(out, t.tajimaDecimals) << std::setw(8) << r.meanPairwiseDiff;
    out << "\nDistance method                       : " << t.tajimaDistances
        << "Tajima's D                            : " << std::setw(8) << r.D << "\n";
    write_tajima_simulations(out, r);
}

// --- Fu's Fs ------------------------------------------------------------------

template <class Sample>
FuFsResult sequence_fu_fs_step(Sample& p, settings& s, SampleDriverState& st, FuFsArgs const& a) {
    SequenceDriverType const& t = driver_type(p);
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

    use_distances(p, {0, 0.0, a.weights});
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
        ReplicateOf<Sample> replicate;
        const double deletionWeight = a.weights.deletion;
        test_fu_fs(p, s, r, t.fuSkipsUnformedReplicates, t.fuFunction,
                   [&](double mu) -> auto& { return replicate.simulate(p, mu, deletionWeight, s); });
        if (r.stopped) return r;
    }
    *_AOS_ << "\tdone ! (" << elapsed_ms_since(start) << " ms)\n";
    return r;
}

// --- Ewens-Watterson and Chakraborty -------------------------------------------

template <class Sample>
CountTestArgs sequence_count_test_args(Sample& p, settings const& s, bool ewensWatterson) {
    SequenceDriverType const& t = driver_type(p);
    return {s.InferHaplotypeDefinitionFromDistanceMatrix != 0, s.NumIterationsNeutralityTests,
            ewensWatterson ? "\t\tFile 500k100.bnb not found... skipping task !\n" : t.chakrabortyMissingTable,
            t.function, [&p] { use_distances(p, SequenceDistances{}); },
            ewensWatterson && t.ewensWattersonSingleHidesMissingTable};
}

template TajimaResult sequence_tajima_step(PopulDNA&, settings&, SampleDriverState&, TajimaArgs const&);
template TajimaResult sequence_tajima_step(PopulRFLP&, settings&, SampleDriverState&, TajimaArgs const&);
template FuFsResult sequence_fu_fs_step(PopulDNA&, settings&, SampleDriverState&, FuFsArgs const&);
template FuFsResult sequence_fu_fs_step(PopulRFLP&, settings&, SampleDriverState&, FuFsArgs const&);
template CountTestArgs sequence_count_test_args(PopulDNA&, settings const&, bool);
template CountTestArgs sequence_count_test_args(PopulRFLP&, settings const&, bool);

}  // namespace quintle
