// Neutrality tests of the DNA sample driver. Tajima's D and Fu's Fs are
// compared with their distribution over samples simulated under the
// standard neutral coalescent with the observed theta; the Ewens-Watterson
// and Chakraborty tests run on the sample's haplotype counts.

#include "datatypes/dna_neutrality.h"

#include <cmath>
#include <ctime>
#include <iomanip>
#include <new>
#include <ostream>

#include "core/Errors.h"
#include "core/public.h"
#include "datatypes/driver_output.h"
#include "popstats/TNode.h"
#include "popstats/fu_fs.h"
#include "run/ProfileSettings.h"
#include "run/glbobj.h"
#include "run/settings.h"

namespace quintle {

namespace {

constexpr char kTajimaFunction[] = "PopulDNA::test_methods#Tajima's test()";
constexpr char kFuFunction[] = "PopulDNA::test_methods#Fu's test()";

std::fstream& result_stream(settings& s) { return s.ResultFile != nullptr ? *s.ResultFile : no_result_stream(); }

bool unphased_genotypes(PopulDNA const& p) { return p.profile.GenotypicData != 0 && p.profile.GameticPhase == 0; }

void write_refusal(std::ostream& out, char const* first) {
    out << first << "in case of genotypic data with unknown gametic phase\n\n"
        << "We hope to change it in a future release...\n"
        << std::endl;
}

void empty_hit_table(PopulDNA& p) {
    if (p.tree.allocated()) {
        TNode::hits.count = 0;
        TNode::hits.auxCount = 0;
    }
}

// Every 50th replicate moves the progress on; true when the run asks to stop.
bool replicate_progress(long r, settings& s) {
    if (r % 50 != 0) return false;
    settings::global_work_done += 1.0;
    settings::print_message();
    return s.stopFlag != 0;
}

// The frequency list from the distance matrix of pairwise differences with
// every weight 1: haplotypes that do not really differ are merged.
void fill_list_from_distances(PopulDNA& p, settings& s, DnaDriverState& st) {
    if (!st.dataChecked) p.check_data();
    if (!st.polymorphismEvaluated) p.evaluate_polymorphism(s);
    p.distanceMethod = 0;
    p.gammaA = 0.0;
    p.transitionWeight = p.transversionWeight = p.deletionWeight = 1.0;
    p.compute_distance_matrix(nullptr, &s, 0);
    if (p.distMat) p.check_hapl_freqs(*p.distMat, st.freqList);
    st.listFilled = true;
}

void fill_list_from_haplotypes(PopulDNA const& p, DnaDriverState& st) {
    try {
        for (long i = 0; i < p.haplotypes.count; ++i) {
            PHaploDef const* entry = p.haplotypes[i];
            const double count = entry != nullptr ? entry->count : 0.0;
            auto* record = new AHaplFreq;
            record->relFreq = count;
            record->relFreqSd = count * count;
            st.freqList.Add(record);
        }
    } catch (std::bad_alloc const&) {
        E.error(MEMORY, "PopulDNA::test_methods()", 0);
    }
}

}  // namespace

// --- simulation support -------------------------------------------------------

double ReplicateMoments::sd(long replicates, char const* function) const {
    if (replicates < 2) return 0.0;
    const double R = static_cast<double>(replicates);
    const double variance = (sumSquares_ - sum_ * sum_ / R) / (R - 1.0);
    if (variance > 0.0) return std::sqrt(variance);
    E.error(WARNING, function, 180);
    return 0.0;
}

// --- Tajima's D ---------------------------------------------------------------

bool dna_tajima_section(PopulDNA& p, settings& s, DnaDriverState& st) {
    std::fstream& out = result_stream(s);
    if (unphased_genotypes(p)) {
        write_refusal(out, "Tajima's test cannot be computed \n");
        return true;
    }
    write_banner(out, "Tajima's test of selective neutrality", 42, p.name);
    write_citations(out, {"Tajima_D_1989", "Coalescent_1990"});
    if (progress_stops(s, "Testing neutrality: Computing Tajima's D ...")) return false;

    std::clock_t start = get_sys_clock();
    *_AOS_ << "\n\t\tComputing Tajima's D ...\n";

    // Pairwise differences without gamma correction; indels do not count.
    p.distanceMethod = 0;
    p.gammaA = 0.0;
    p.transitionWeight = s.TransitionWeight;
    p.transversionWeight = s.TranversionWeight;
    p.deletionWeight = 0.0;
    if (!st.polymorphismEvaluated) {
        p.evaluate_polymorphism(s);
        start = get_sys_clock();
        st.polymorphismEvaluated = true;
    }
    p.compute_distance_matrix(nullptr, &s, 0);
    p.compute_molecular_diversity(s);

    const int n = static_cast<int>(p.SampleSize);
    const int S = p.numSubstitutionSites;
    p.calc_tajimaD(n, p.meanPairwiseDiff, S);

    out << "Sample size                           : " << std::setw(8) << n << "\n"
        << "No. of sites with substitutions (S)   : " << std::setw(8) << S << "\n"
        << "Mean No. of pairwise differences (Pi) : ";
    set_fixed(out, 5) << std::setw(8) << p.meanPairwiseDiff;
    out << "\nDistance method                       : "
        << "Pairwise difference (no Gamma correction, indels not taken into account)\n"
        << "\nTajima's D                            : " << std::setw(8) << p.tajimaD << "\n";

    p.tree.allocate_tree(n);
    const double thetaS = *p.theta_S(n, S);
    const long R = s.NumSimulFuTest;
    const double observedD = p.tajimaD;

    const bool batch = batch_on(_TAJIMA_, ofs_tajima);
    if (batch) {
        std::ostream& b = *ofs_tajima;
        write_batch_head(b, p.name);
        set_fixed(b, 6);
        b << n << "\t" << S << "\t" << thetaS << "\t" << p.meanPairwiseDiff << "\t" << observedD << "\t"
          << p.tajimaP;
    }

    ReplicateTally tally;
    ReplicateMoments thetaMoments;
    ReplicateMoments dMoments;
    if (R >= 1) {
        DnaReplicate replicate;
        for (long r = 1; r <= R; ++r) {
            if (s.stopFlag != 0) return false;
            PopulDNA& sim = replicate.simulate(p, thetaS / 2.0, 0.0, s);
            const int simS = sim.numSubstitutionSites;
            const double simTheta = *sim.theta_S(n, simS);
            const double simD = *sim.fast_tajimaD(n, sim.meanPairwiseDiff, simS);
            tally.add(observedD, simD);
            thetaMoments.add(simTheta);
            dMoments.add(simD);
            if (replicate_progress(r, s)) return false;
        }
    }
    empty_hit_table(p);

    if (R != 0) {
        p.tajimaP = tally.p_value();
        double thetaSd = 0.0;
        double dSd = 0.0;
        if (R >= 2) {
            thetaSd = thetaMoments.sd(R, kTajimaFunction);
            dSd = dMoments.sd(R, kTajimaFunction);
            if (batch) *ofs_tajima << "\t" << p.tajimaP << "\t" << tally.non_positive_fraction() << "\t" << R;
        }
        set_fixed(out, 5);
        out << "\nNo. of simulations                    : " << std::setw(8) << R
            << "\nObs. Theta(S)                         : " << std::setw(8) << thetaS
            << "\nMean Theta(S)                         : " << std::setw(8) << thetaMoments.mean(R)
            << "\nS.D. Theta(S)                         : " << std::setw(8) << thetaSd
            << "\nMean D                                : " << std::setw(8) << dMoments.mean(R)
            << "\nS.D. D                                : " << std::setw(8) << dSd
            << "\n\nP(D simul &lt; D obs)                    : " << std::setw(8) << p.tajimaP << "\n\n";
    }

    if (batch) *ofs_tajima << "\n";
    *_AOS_ << "\tdone ! (" << elapsed_ms_since(start) << " ms)\n";
    return true;
}

// --- Ewens-Watterson and Chakraborty -------------------------------------------

bool dna_ewens_watterson_section(PopulDNA& p, settings& s, DnaDriverState& st) {
    std::fstream& out = result_stream(s);
    if (unphased_genotypes(p)) {
        write_refusal(out, "Ewens-Watterson tests cannot be computed \n");
        return true;
    }
    write_banner(out, "Ewens-Watterson tests of selective neutrality", 50, p.name);
    write_citations(out, {"NeutralAlleles_1972", "Heterosis_1977", "HomozygosityTest_1978", "NeutralityTests_1993",
                          "Coalescent_1990"});
    if (progress_stops(s, "Testing neutrality: Ewens-Watterson tests ...")) return false;

    const bool single = p.NbHaplotypeEntries < 2;
    if (single) {
        *_AOS_ << "\t\tWarning: Ewens-Watterson's test of selective neutrality cannot be performed \n"
               << "\t\twhen there is a single haplotype in the sample. Skipping task...\n"
               << std::endl;
        out << "Warning: Ewens-Watterson's test of selective neutrality cannot be performed \n"
            << "when there is a single haplotype in the sample. Skipping task...\n"
            << std::endl;
    }

    std::clock_t start = get_sys_clock();
    *_AOS_ << "\t\tComputing BMat ..."
           << "\n";
    const int table = PopGenetics::get_B_num_mat();
    if (single) return true;
    if (table == 0) {
        *_AOS_ << "\t\tFile 500k100.bnb not found... skipping task !\n";
        return true;
    }

    *_AOS_ << "\t\tdone ! (" << elapsed_ms_since(start) << " ms)\n";
    start = get_sys_clock();
    *_AOS_ << "\tTesting neutrality (Ewens-Watterson )..."
           << "\n";
    if (s.InferHaplotypeDefinitionFromDistanceMatrix == 0)
        fill_list_from_haplotypes(p, st);
    else
        fill_list_from_distances(p, s, st);
    p.EW_neutrality_tests(s, out, st.freqList);
    *_AOS_ << "\tdone ! (" << elapsed_ms_since(start) << " ms)\n";
    return true;
}

bool dna_chakraborty_section(PopulDNA& p, settings& s, DnaDriverState& st) {
    std::fstream& out = result_stream(s);
    if (unphased_genotypes(p)) {
        write_refusal(out, "Chakraborty's test cannot be computed \n");
        return true;
    }
    write_banner(out, "Chakraborty's test of selective neutrality", 47, p.name);
    write_citations(out, {"AlleleNumberTest_1990"});
    if (progress_stops(s, "Testing neutrality: Chakraborty's test ...")) return false;

    const std::clock_t start = get_sys_clock();
    *_AOS_ << "\t\tComputing BMat ..."
           << "\n";
    if (PopGenetics::get_B_num_mat() == 0) {
        *_AOS_ << "\t\tFile not found... skipping task !\n";
        return true;
    }
    *_AOS_ << "\t\tdone ! (" << elapsed_ms_since(start) << " ms)\n";
    *_AOS_ << "\tPerforming Chakraborty's neutrality and amalgamation test ..."
           << "\n";

    if (s.InferHaplotypeDefinitionFromDistanceMatrix != 0) {
        if (!st.listFilled) fill_list_from_distances(p, s, st);
        if (p.NbHaplotypeEntries < 2) {
            *_AOS_ << "\t\tWarning: Chakraborty's test of selective neutrality cannot be performed \n"
                   << "\t\twhen there is a single haplotype in the sample. Skipping task...\n"
                   << std::endl;
            out << "Warning: Chakraborty's test of selective neutrality cannot be performed \n"
                << "when there is a single haplotype in the sample. Skipping task...\n"
                << std::endl;
        } else {
            p.Chakraborty_neutr_test(out, st.freqList);
        }
    } else {
        p.Chakraborty_neutr_test(out);
    }
    *_AOS_ << "\tdone ! (" << elapsed_ms_since(start) << " ms)\n";
    return true;
}

// --- Fu's Fs ------------------------------------------------------------------

bool dna_fu_fs_section(PopulDNA& p, settings& s, DnaDriverState& st) {
    std::fstream& out = result_stream(s);
    if (unphased_genotypes(p)) {
        write_refusal(out, "Fu's Fs test cannot be computed \n");
        p.fuFs = 0.0;
        p.fuFsP = -1.0;
        return true;
    }
    write_banner(out, "Fu's Fs test of selective neutrality", 47, p.name);
    write_citations(out, {"Fs_test_1997"});
    if (progress_stops(s, "Testing neutrality: Fu's Fs test ...")) return false;

    if (!(p.SampleSize > 1.0)) {
        out << "Fu's Fs test cannot be computed if only one gene in sample\n" << std::endl;
        p.fuFs = 0.0;
        p.fuFsP = -1.0;
        return true;
    }

    std::clock_t start = get_sys_clock();
    *_AOS_ << "\t\tComputing BMat ..."
           << "\n";
    if (PopGenetics::get_B_num_mat() == 0) {
        *_AOS_ << "\t\tFile not found... skipping task !\n";
        return true;
    }
    *_AOS_ << "\t\tdone ! (" << elapsed_ms_since(start) << " ms)\n";
    start = get_sys_clock();
    *_AOS_ << "\tPerforming Fu's Fs neutrality test ..."
           << "\n";
    if (!st.dataChecked) p.check_data();
    if (!st.polymorphismEvaluated) p.evaluate_polymorphism(s);

    p.distanceMethod = 0;
    p.gammaA = 0.0;
    p.transitionWeight = s.TransitionWeight;
    p.transversionWeight = s.TranversionWeight;
    p.deletionWeight = s.DeletionWeight;
    p.compute_distance_matrix(nullptr, &s, 0);
    p.compute_molecular_diversity(s);
    const double thetaPi = *p.theta_pi(p.meanPairwiseDiff);

    const bool infer = s.InferHaplotypeDefinitionFromDistanceMatrix != 0;
    if (infer && !st.listFilled && p.distMat) p.check_hapl_freqs(*p.distMat, st.freqList);
    const int k = infer ? static_cast<int>(st.freqList.count) : p.NbHaplotypeEntries;
    const int n = static_cast<int>(p.SampleSize);
    const bool batch = batch_on(_FU_FS_, ofs_fu_fs);

    if (k < 2) {
        set_fixed(out, 5);
        out << "\nSample size                  :" << std::setw(12) << p.SampleSize
            << "\nObs. k                       :" << std::setw(12) << k << "\n"
            << "Fu's Fs test cannot be computed if only one allele in sample\n"
            << std::endl;
        p.fuFs = 0.0;
        p.fuFsP = -1.0;
    } else {
        const FuFsOutcome observed = p.Fu_Fs(thetaPi, k, p.fuFs, true);
        if (!infer) {
            out << "Original No. of alleles(k)   :" << std::setw(12) << k << "\n";
        } else {
            out << "Original No. of alleles      :" << std::setw(12) << p.NbHaplotypeEntriesRead << "\n"
                << "Actual No. of # alleles  (k) :" << std::setw(12) << k << "\n";
        }
        set_fixed(out, 5);
        out << "Theta(Pi)                    :" << std::setw(12) << thetaPi << "\n"
            << "Exp. No. of alleles          :" << std::setw(12) << p.k_est(thetaPi, n) << "\n"
            << "Fs                           :" << std::setw(12) << p.fuFs << "\n";

        if (batch) {
            std::ostream& b = *ofs_fu_fs;
            write_batch_head(b, p.name);
            set_fixed(b, 6);
            b << n << "\t" << p.NbHaplotypeEntries << "\t" << thetaPi << "\t" << p.fuFs;
        }

        // An observed Fs that could not be formed has nothing to be compared
        // with: no simulations, no P value.
        const long R = observed == FuFsOutcome::not_computed ? 0 : s.NumSimulFuTest;
        const double observedFs = p.fuFs;
        ReplicateTally tally;
        ReplicateMoments thetaMoments;
        ReplicateMoments kMoments;
        if (observed != FuFsOutcome::not_computed) p.tree.allocate_tree(n);
        if (R >= 1) {
            DnaReplicate replicate;
            for (long r = 1; r <= R; ++r) {
                PopulDNA& sim = replicate.simulate(p, thetaPi / 2.0, s.DeletionWeight, s);
                const double simTheta = *sim.theta_pi(sim.meanPairwiseDiff);
                const int simK = sim.NbHaplotypeEntries;
                double simFs = 0.0;
                // A replicate whose Fs' could not be formed counts in neither tail.
                if (sim.Fu_Fs(simTheta, simK, simFs, false) != FuFsOutcome::not_computed)
                    tally.add(observedFs, simFs);
                thetaMoments.add(simTheta);
                kMoments.add(simK, static_cast<double>(simK * simK));
                if (replicate_progress(r, s)) return false;
            }
        }
        empty_hit_table(p);

        if (R != 0) {
            p.fuFsP = tally.p_value();
            const double thetaSd = R >= 2 ? thetaMoments.sd(R, kFuFunction) : 0.0;
            const double kSd = R >= 2 ? kMoments.sd(R, kFuFunction) : 0.0;
            set_fixed(out, 5);
            out << "\nNo. of simulations           :" << std::setw(12) << R
                << "\nMean Theta(Pi)               :" << std::setw(12) << thetaMoments.mean(R)
                << "\nS.D. Theta(Pi)               :" << std::setw(12) << thetaSd
                << "\nMean k                       :" << std::setw(12) << kMoments.mean(R)
                << "\nS.D. k                       :" << std::setw(12) << kSd
                << "\n\nProb(sim_Fs &lt;=obs_Fs)        :" << std::setw(12) << p.fuFsP << "\n\n";
            if (batch) *ofs_fu_fs << "\t" << p.fuFsP << "\t" << tally.non_positive_fraction() << "\t" << R;
        } else {
            p.fuFsP = -1.0;
        }
    }

    if (batch) *ofs_fu_fs << "\n";
    *_AOS_ << "\tdone ! (" << elapsed_ms_since(start) << " ms)\n";
    return true;
}

// --- closing step -------------------------------------------------------------

void dna_closing_step(PopulDNA& p, settings& s) {
    if (s.TaskNumber != 4096) return;
    if (s.RecessiveAllelesEM != 0) p.make_all_blanks(ProfileSettings::LocusSeparator);
    p.build_allele_vectors(ProfileSettings::LocusSeparator);
}

}  // namespace quintle
