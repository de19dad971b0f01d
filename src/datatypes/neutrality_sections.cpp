#include "datatypes/neutrality_sections.h"

#include <iomanip>
#include <new>
#include <string>

#include "core/Errors.h"
#include "core/public.h"
#include "datatypes/driver_frame.h"
#include "datatypes/driver_output.h"
#include "popstats/PopGenetics.h"
#include "run/glbobj.h"

namespace quintle {

void FuReplicateRefusals::report() const {
    for (auto const& [number, times] : counts_) {
        std::string const where =
            "PopulDNA::Fu_Fs() (in " + std::to_string(times) + (times == 1 ? " replicate)" : " replicates)");
        E.error(WARNING, where.c_str(), number);
    }
}

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

namespace {

// Each haplotype count with its square.
void fill_list_from_counts(PopGenetics const& p, SampleDriverState& st, char const* memoryFunction) {
    try {
        for (long i = 0; i < p.haplotypes.count; ++i) {
            PHaploDef const* entry = p.haplotypes.data[i];
            const double count = entry != nullptr ? entry->count : 0.0;
            auto* record = new AHaplFreq;
            record->relFreq = count;
            record->relFreqSd = count * count;
            st.freqList.Add(record);
        }
    } catch (std::bad_alloc const&) {
        E.error(MEMORY, memoryFunction, Msg::m0_not_enough_memory);
    }
}

// The classes of haplotypes at distance 0, from the distances of
// a.plainDistances.
void fill_list_from_distances(PopGenetics& p, settings& s, SampleDriverState& st, CountTestArgs const& a) {
    if (!st.dataChecked) p.check_data();
    if (!st.polymorphismEvaluated) p.evaluate_polymorphism(s);
    a.plainDistances();
    p.compute_distance_matrix(nullptr, &s, 0);
    if (p.distMat) p.check_hapl_freqs(*p.distMat, st.freqList);
    st.listFilled = true;
}

}  // namespace

bool b_table_built(char const* missing, std::clock_t& start) {
    start = get_sys_clock();
    *_AOS_ << "\t\tComputing BMat ..."
           << "\n";
    if (PopGenetics::get_B_num_mat() == 0) {
        *_AOS_ << missing;
        return false;
    }
    return true;
}

bool b_table_ready(char const* missing) {
    std::clock_t start = 0;
    if (!b_table_built(missing, start)) return false;
    *_AOS_ << "\t\tdone ! (" << elapsed_ms_since(start) << " ms)\n";
    return true;
}

bool open_tajima_section(PopGenetics const& p, std::ostream& out) {
    if (unphased_genotypes(p)) {
        write_phase_refusal(out, "Tajima's test cannot be computed \n");
        return false;
    }
    write_banner(out, "Tajima's test of selective neutrality", 42, p.name);
    write_citations(out, {"Tajima_D_1989", "Coalescent_1990"});
    return true;
}

bool open_ewens_watterson_section(PopGenetics const& p, std::ostream& out, bool plural) {
    if (unphased_genotypes(p)) {
        write_phase_refusal(out, plural ? "Ewens-Watterson tests cannot be computed \n"
                                        : "Ewens-Watterson test cannot be computed \n");
        return false;
    }
    write_banner(out, "Ewens-Watterson tests of selective neutrality", 50, p.name);
    write_citations(out, {"NeutralAlleles_1972", "Heterosis_1977", "HomozygosityTest_1978", "NeutralityTests_1993",
                          "Coalescent_1990"});
    return true;
}

bool open_chakraborty_section(PopGenetics const& p, std::ostream& out) {
    if (unphased_genotypes(p)) {
        write_phase_refusal(out, "Chakraborty's test cannot be computed \n");
        return false;
    }
    write_banner(out, "Chakraborty's test of selective neutrality", 47, p.name);
    write_citations(out, {"AlleleNumberTest_1990"});
    return true;
}

bool open_fu_fs_section(PopGenetics const& p, std::ostream& out) {
    if (unphased_genotypes(p)) {
        write_phase_refusal(out, "Fu's Fs test cannot be computed \n");
        return false;
    }
    write_banner(out, "Fu's Fs test of selective neutrality", 47, p.name);
    write_citations(out, {"Fs_test_1997"});
    return true;
}

EwensWattersonSection ewens_watterson_section_step(PopGenetics& p, settings& s, SampleDriverState& st,
                                                   CountTestArgs const& a) {
    EwensWattersonSection r;
    r.singleHaplotype = p.NbHaplotypeEntries < 2;
    if (r.singleHaplotype) {
        *_AOS_ << "\t\tWarning: Ewens-Watterson's test of selective neutrality cannot be performed \n"
               << "\t\twhen there is a single haplotype in the sample. Skipping task...\n"
               << std::endl;
    }
    EchoCapture echo;
    std::clock_t start = 0;
    char const* missing = r.singleHaplotype && a.singleHidesMissingTable ? "" : a.missingTable;
    if (!b_table_built(missing, start) || r.singleHaplotype) {
        r.echo = echo.take();
        return r;
    }
    *_AOS_ << "\t\tdone ! (" << elapsed_ms_since(start) << " ms)\n";

    start = get_sys_clock();
    *_AOS_ << "\tTesting neutrality (Ewens-Watterson )..."
           << "\n";
    if (a.fromDistances)
        fill_list_from_distances(p, s, st, a);
    else
        fill_list_from_counts(p, st, a.memoryFunction);
    r.test = ewens_watterson_step(p, st.freqList, a.replicates, a.fromDistances, s);
    r.tested = true;
    r.echo = echo.take();
    *_AOS_ << "\tdone ! (" << elapsed_ms_since(start) << " ms)\n";
    return r;
}

void write_ewens_watterson_section(std::ostream& out, EwensWattersonSection const& r, my_string const& sampleName) {
    if (r.singleHaplotype) {
        out << "Warning: Ewens-Watterson's test of selective neutrality cannot be performed \n"
            << "when there is a single haplotype in the sample. Skipping task...\n"
            << std::endl;
    }
    out << r.echo;
    if (r.tested) write_ewens_watterson(out, r.test, sampleName);
}

std::optional<ChakrabortyResult> chakraborty_section_step(PopGenetics& p, settings& s, SampleDriverState& st,
                                                          CountTestArgs const& a) {
    std::clock_t start = 0;
    if (!b_table_built(a.missingTable, start)) return std::nullopt;
    *_AOS_ << "\t\tdone ! (" << elapsed_ms_since(start) << " ms)\n"
           << "\tPerforming Chakraborty's neutrality and amalgamation test ..."
           << "\n";
    ChakrabortyResult r;
    if (a.fromDistances) {
        if (!st.listFilled) fill_list_from_distances(p, s, st, a);
        r = chakraborty_step(p, st.freqList);
    } else {
        r = chakraborty_step(p);
    }
    *_AOS_ << "\tdone ! (" << elapsed_ms_since(start) << " ms)\n";
    return r;
}

void write_ewens_watterson_batch_line(bool tested, EwensWattersonResult const& test, my_string const& sampleName) {
    if (!tested || !test.has_batch_line()) return;
    if (std::ostream* batch = batch_stream(_EWENS_WATTERSON_, ofs_ewens_watt))
        write_ewens_watterson_batch(*batch, test, sampleName);
}

void write_chakraborty_section(std::ostream& out, ChakrabortyResult const& r, my_string const& sampleName) {
    write_chakraborty(out, r);
    if (r.outcome != ChakrabortyResult::Outcome::tested) return;
    if (std::ostream* batch = batch_stream(_CHAKRABORTY_, ofs_chakra)) write_chakraborty_batch(*batch, r, sampleName);
}

}  // namespace quintle
