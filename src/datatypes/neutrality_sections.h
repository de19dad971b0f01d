#pragma once

// Tajima's D and Fu's Fs of a sample with P values from simulated
// replicates: what their steps return, the per-replicate bookkeeping the
// steps of every data type share, and the writers of the texts the data
// types have in common.

#include <ctime>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "core/Errors.h"
#include "core/my_string.h"
#include "datatypes/driver_state.h"
#include "popstats/chakraborty.h"
#include "popstats/ewens_watterson.h"
#include "popstats/fu_fs.h"
#include "popstats/tajima.h"
#include "popstats/theta_estimators.h"

namespace quintle {

class PopGenetics;

// Means and s.d. of the two quantities a series of replicates reports, and
// how the replicates' statistic compared with the observed one.
struct ReplicateSummary {
    double firstMean = 0.0;  // theta of the replicates
    double firstSd = 0.0;
    double secondMean = 0.0;  // D, or the number of haplotypes
    double secondSd = 0.0;
    double p = -1.0;            // fraction not above the observed statistic
    double nonPositive = -1.0;  // fraction at most 0
};

// The summary of R replicates; the s.d. for R >= 2 only (0 otherwise), with
// the warnings of a variance that is not positive naming `function`.
ReplicateSummary summarize_replicates(long R, ReplicateTally const& tally, ReplicateMoments const& first,
                                      ReplicateMoments const& second, char const* function);

// What the replicates of Tajima's test for samples of n genes share: the
// harmonic sums of theta(S) and the constants of D.
struct TajimaReplicateConstants {
    WattersonSums theta;
    TajimaConstants D;
    explicit TajimaReplicateConstants(int n)
        : theta(watterson_sums(n)), D(n >= 2 ? tajima_constants(n) : TajimaConstants{n}) {}
};

// One replicate of Tajima's test: theta(S) and D of the simulated sample
// against the observed D of a sample of the constants' n genes (the
// sample's theta and D fields are set, as by theta_S and fast_tajimaD).
template <class Sample>
void add_tajima_replicate(Sample& sim, TajimaReplicateConstants const& constants, double observedD,
                          ReplicateTally& tally, ReplicateMoments& theta, ReplicateMoments& d) {
    const int S = sim.numSubstitutionSites;
    theta_S(constants.theta, S, sim.thetaS, sim.thetaSsd);
    const double simTheta = sim.thetaS;
    const double simD = fast_tajimaD(constants.D, sim.meanPairwiseDiff, S, sim.tajimaD, sim.tajimaP);
    tally.add(observedD, simD);
    theta.add(simTheta);
    d.add(simD);
}

// The refusals of Fu's statistic in the replicates of one test, by message:
// each said once, with the number of replicates, after the test.
class FuReplicateRefusals {
public:
    void add(int message) {
        for (auto& [number, times] : counts_)
            if (number == message) {
                ++times;
                return;
            }
        counts_.emplace_back(message, 1L);
    }
    void report() const;

private:
    std::vector<std::pair<int, long>> counts_;
};

// One replicate of Fu's test: theta(pi), the number of haplotypes and Fs of
// the simulated sample. A replicate whose Fs could not be formed counts in
// neither tail. `refusals`: where the replicate's refusal is counted, when
// they are to be reported.
template <class Sample>
void add_fu_replicate(Sample& sim, double observedFs, FuReplicateRefusals* refusals, ReplicateTally& tally,
                      ReplicateMoments& theta, ReplicateMoments& k) {
    const double simTheta = *sim.theta_pi(sim.meanPairwiseDiff);
    const int simK = sim.NbHaplotypeEntries;
    double simFs = 0.0;
    int refusal = 0;
    if (sim.Fu_Fs(simTheta, simK, simFs, false, &refusal) != FuFsOutcome::not_computed) tally.add(observedFs, simFs);
    if (refusals != nullptr && refusal != 0) refusals->add(refusal);
    theta.add(simTheta);
    k.add(simK, static_cast<double>(simK * simK));
}

// --- Tajima's D ------------------------------------------------------------------

struct TajimaResult {
    double sampleSize = 0.0;
    int n = 0;  // sample size, truncated
    int segregatingSites = 0;
    double meanPairwiseDiff = 0.0;
    double D = 0.0;
    double thetaS = 0.0;
    // The P value as the statistic left it: the batch line prints it before
    // the simulated one.
    double pBeforeSimulations = -1.0;
    long replicates = 0;
    bool stopped = false;  // the run asked to stop during the replicates
    ReplicateSummary simulated;  // theta(S) and D of the replicates
    // Reports echoed into the result file from the simulations on.
    std::string echoSimulations;
};

// The reports echoed during the simulations, and the simulation block when
// there were replicates.
void write_tajima_simulations(std::ostream& out, TajimaResult const& r);
// The batch line; its tail (P, fraction at most 0, replicates) from
// minReplicatesForTail replicates on.
void write_tajima_batch(std::ostream& b, my_string const& sampleName, TajimaResult const& r,
                        long minReplicatesForTail);

// --- Fu's Fs ---------------------------------------------------------------------

struct FuFsResult {
    enum class Outcome {
        one_gene,    // a single gene copy: refused before anything ran
        no_table,    // the B table could not be built
        one_allele,  // fewer than two alleles
        tested,
    };
    Outcome outcome = Outcome::one_gene;
    double sampleSize = 0.0;
    int n = 0;  // truncated
    int k = 0;  // alleles tested: merged haplotypes when inferred
    int numHaplotypes = 0;
    int numOriginal = 0;
    bool inferred = false;
    double thetaPi = 0.0;
    double expectedAlleles = 0.0;
    double Fs = 0.0;
    long replicates = 0;  // 0 when the observed Fs could not be formed
    bool stopped = false;
    ReplicateSummary simulated;  // theta(pi) and number of haplotypes of the replicates
    // Reports echoed into the result file from the simulations on.
    std::string echoSimulations;
};

void write_fu_fs(std::ostream& out, FuFsResult const& r);
void write_fu_fs_batch(std::ostream& b, my_string const& sampleName, FuFsResult const& r);
// Fu's fields of a sample for which the test is not run.
void clear_fu_fs(PopGenetics& p);

// The observed Fs of a sample against `r.replicates` replicates simulated
// under theta(pi) by `simulate(mu)`; sets the sample's Fu fields and the
// result. An observed Fs that could not be formed has nothing to be compared
// with: no simulations, no P value. `skipUnwritten`: a replicate whose Fs is
// not formed counts in neither tail. Reports of the replicates are captured
// for the result file.
template <class Sample, class Simulate>
void test_fu_fs(Sample& p, settings& s, FuFsResult& r, bool skipUnwritten, char const* function,
                Simulate&& simulate) {
    const FuFsOutcome observed = p.Fu_Fs(r.thetaPi, r.k, p.fuFs, true);
    r.outcome = FuFsResult::Outcome::tested;
    r.Fs = p.fuFs;
    r.expectedAlleles = p.k_est(r.thetaPi, r.n);
    EchoCapture echo;
    if (observed == FuFsOutcome::not_computed) r.replicates = 0;
    ReplicateTally tally;
    ReplicateMoments theta;
    ReplicateMoments k;
    if (observed != FuFsOutcome::not_computed) p.tree.allocate_tree(r.n);
    FuReplicateRefusals refusals;
    if (r.replicates >= 1) {
        const double mu = r.thetaPi / 2.0;
        r.stopped = !run_replicates(r.replicates, s, false, [&](long) {
            add_fu_replicate(simulate(mu), r.Fs, skipUnwritten ? &refusals : nullptr, tally, theta, k);
        });
        refusals.report();
        if (r.stopped) {
            r.echoSimulations = echo.take();
            return;
        }
    }
    empty_hit_table(p);
    if (r.replicates > 0) {
        r.simulated = summarize_replicates(r.replicates, tally, theta, k, function);
        p.fuFsP = r.simulated.p;
    } else {
        p.fuFsP = -1.0;
    }
    r.echoSimulations = echo.take();
}

// The three lines of a test refused for genotypes of unknown phase; `first`
// names the test.
void write_phase_refusal(std::ostream& out, char const* first);


// "\t\tComputing BMat ..." in the log and the B table, started at `start`;
// false, after `missing`, when it cannot be built.
bool b_table_built(char const* missing, std::clock_t& start);
// The same, then its elapsed time once it is ready.
bool b_table_ready(char const* missing);

// Openings of the four neutrality sections: for genotypes of unknown phase
// the refusal (false); otherwise the banner and the citations (true).
bool open_tajima_section(PopGenetics const& p, std::ostream& out);
// The Ewens-Watterson refusal names the test in the singular or, for DNA,
// the plural.
bool open_ewens_watterson_section(PopGenetics const& p, std::ostream& out, bool plural);
bool open_chakraborty_section(PopGenetics const& p, std::ostream& out);
bool open_fu_fs_section(PopGenetics const& p, std::ostream& out);

// --- Ewens-Watterson and Chakraborty ------------------------------------------------
// Both tests take the sample's haplotype counts or, when the haplotypes are
// inferred from the distance matrix, the classes of haplotypes at distance
// 0; one list serves both tests of a driver call (SampleDriverState).

// What the two steps take from the driver's data type.
struct CountTestArgs {
    bool fromDistances = false;       // haplotypes without real differences are merged first
    int replicates = 0;               // of the Ewens-Watterson test
    char const* missingTable = "";    // log line when the B table cannot be built
    char const* memoryFunction = "";  // names a MEMORY report while the counts are listed
    // Sets the sample's distances to those the merging reads: the number of
    // differing sites or alleles, every weight 1.
    std::function<void()> plainDistances;
    // With a single haplotype the Ewens-Watterson section ends once the B
    // table was asked for, without telling that it could not be built.
    bool singleHidesMissingTable = false;
};

// A single haplotype is refused (the B table is built all the same); a
// missing B table skips the test.
struct EwensWattersonSection {
    bool singleHaplotype = false;
    bool tested = false;
    EwensWattersonResult test;
    std::string echo;  // reports echoed into the result file after the warning
};
EwensWattersonSection ewens_watterson_section_step(PopGenetics& p, settings& s, SampleDriverState& st,
                                                   CountTestArgs const& a);
void write_ewens_watterson_section(std::ostream& out, EwensWattersonSection const& r, my_string const& sampleName);

// Chakraborty's test on the sample, or on the merged list; nothing when the
// B table cannot be built.
std::optional<ChakrabortyResult> chakraborty_section_step(PopGenetics& p, settings& s, SampleDriverState& st,
                                                          CountTestArgs const& a);

// The batch line of a tested sample, when the Ewens-Watterson batch file is on.
void write_ewens_watterson_batch_line(bool tested, EwensWattersonResult const& test, my_string const& sampleName);
// The Chakraborty block, and the batch line of a tested sample.
void write_chakraborty_section(std::ostream& out, ChakrabortyResult const& r, my_string const& sampleName);

}  // namespace quintle
