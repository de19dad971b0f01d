#include "datatypes/neutrality_sections.h"

#include <iomanip>

#include "datatypes/driver_output.h"
#include "popstats/PopGenetics.h"

namespace quintle {

ReplicateSummary summarize_replicates(long R, ReplicateTally const& tally, ReplicateMoments const& first,
                                      ReplicateMoments const& second, char const* function) {
    ReplicateSummary m;
    m.p = tally.p_value();
    if (R >= 2) {
        m.firstSd = first.sd(R, function);
        m.secondSd = second.sd(R, function);
    }
    m.firstMean = first.mean(R);
    m.secondMean = second.mean(R);
    m.nonPositive = tally.non_positive_fraction();
    return m;
}

void write_phase_refusal(std::ostream& out, char const* first) {
    out << first << "in case of genotypic data with unknown gametic phase\n\n"
        << "We hope to change it in a future release...\n"
        << std::endl;
}

// --- Tajima's D ------------------------------------------------------------------

void write_tajima_simulations(std::ostream& out, TajimaResult const& r) {
    out << r.echoSimulations;
    if (r.replicates == 0 || r.stopped) return;
    ReplicateSummary const& m = r.simulated;
    set_fixed(out, 5);
    out << "\nNo. of simulations                    : " << std::setw(8) << r.replicates
        << "\nObs. Theta(S)                         : " << std::setw(8) << r.thetaS
        << "\nMean Theta(S)                         : " << std::setw(8) << m.firstMean
        << "\nS.D. Theta(S)                         : " << std::setw(8) << m.firstSd
        << "\nMean D                                : " << std::setw(8) << m.secondMean
        << "\nS.D. D                                : " << std::setw(8) << m.secondSd
        << "\n\nP(D simul &lt; D obs)                    : " << std::setw(8) << m.p << "\n\n";
}

void write_tajima_batch(std::ostream& b, my_string const& sampleName, TajimaResult const& r,
                        long minReplicatesForTail) {
    write_batch_head(b, sampleName);
    set_fixed(b, 6);
    b << r.n << "\t" << r.segregatingSites << "\t" << r.thetaS << "\t" << r.meanPairwiseDiff << "\t" << r.D << "\t"
      << r.pBeforeSimulations;
    if (r.stopped) return;
    if (r.replicates != 0 && r.replicates >= minReplicatesForTail)
        b << "\t" << r.simulated.p << "\t" << r.simulated.nonPositive << "\t" << r.replicates;
    b << "\n";
}

// --- Fu's Fs ---------------------------------------------------------------------

void clear_fu_fs(PopGenetics& p) {
    p.fuFs = 0.0;
    p.fuFsP = -1.0;
}

namespace {

void write_fu_observed(std::ostream& out, FuFsResult const& r) {
    if (!r.inferred) {
        out << "Original No. of alleles(k)   :" << std::setw(12) << r.k << "\n";
    } else {
        out << "Original No. of alleles      :" << std::setw(12) << r.numOriginal << "\n"
            << "Actual No. of # alleles  (k) :" << std::setw(12) << r.k << "\n";
    }
    set_fixed(out, 5);
    out << "Theta(Pi)                    :" << std::setw(12) << r.thetaPi << "\n"
        << "Exp. No. of alleles          :" << std::setw(12) << r.expectedAlleles << "\n"
        << "Fs                           :" << std::setw(12) << r.Fs << "\n";
}

void write_fu_simulations(std::ostream& out, FuFsResult const& r) {
    out << r.echoSimulations;
    if (r.replicates == 0 || r.stopped) return;
    ReplicateSummary const& m = r.simulated;
    set_fixed(out, 5);
    out << "\nNo. of simulations           :" << std::setw(12) << r.replicates
        << "\nMean Theta(Pi)               :" << std::setw(12) << m.firstMean
        << "\nS.D. Theta(Pi)               :" << std::setw(12) << m.firstSd
        << "\nMean k                       :" << std::setw(12) << m.secondMean
        << "\nS.D. k                       :" << std::setw(12) << m.secondSd
        << "\n\nProb(sim_Fs &lt;=obs_Fs)        :" << std::setw(12) << m.p << "\n\n";
}

}  // namespace

void write_fu_fs(std::ostream& out, FuFsResult const& r) {
    switch (r.outcome) {
        case FuFsResult::Outcome::one_gene:
            out << "Fu's Fs test cannot be computed if only one gene in sample\n" << std::endl;
            return;
        case FuFsResult::Outcome::no_table:
            return;
        case FuFsResult::Outcome::one_allele:
            set_fixed(out, 5);
            out << "\nSample size                  :" << std::setw(12) << r.sampleSize
                << "\nObs. k                       :" << std::setw(12) << r.k << "\n"
                << "Fu's Fs test cannot be computed if only one allele in sample\n"
                << std::endl;
            return;
        case FuFsResult::Outcome::tested:
            write_fu_observed(out, r);
            write_fu_simulations(out, r);
            return;
    }
}

void write_fu_fs_batch(std::ostream& b, my_string const& sampleName, FuFsResult const& r) {
    if (r.outcome == FuFsResult::Outcome::one_gene || r.outcome == FuFsResult::Outcome::no_table) return;
    if (r.outcome == FuFsResult::Outcome::tested) {
        write_batch_head(b, sampleName);
        set_fixed(b, 6);
        b << r.n << "\t" << r.numHaplotypes << "\t" << r.thetaPi << "\t" << r.Fs;
        if (r.stopped) return;
        if (r.replicates != 0) b << "\t" << r.simulated.p << "\t" << r.simulated.nonPositive << "\t" << r.replicates;
    }
    b << "\n";
}

}  // namespace quintle
