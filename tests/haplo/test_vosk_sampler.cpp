// The phasing sampler: one individual's updates against a recorded stretch
// of the random stream, the chain's counters, and what a run leaves (the
// report, the best and sampled phases, the phase files) in the cases a run
// can meet: no ambiguous individual, no sample asked for, a stop.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "haplo/TGenotIndividual.h"
#include "haplo/TGenotSample.h"
#include "popstats/PopGenetics.h"
#include "run/settings.h"
#include "support/process_state.h"
#include "vosk_test_support.h"

namespace quintle {
namespace {

using vosk_test::Individuals;

std::string text_of(TGamete const& g) {
    std::string t;
    for (int c : g.alleles) t += static_cast<char>('0' + c - 1);  // "0" and "1" sit at 1 and 2
    return t;
}

struct Record {
    int start, length, het;
    double support;
};

void expect_record(VoskWindow const& w, Record const& r) {
    EXPECT_EQ(w.start, r.start);
    EXPECT_EQ(w.length, r.length);
    EXPECT_EQ(w.hetCount, r.het);
    EXPECT_DOUBLE_EQ(w.support, r.support);
}

// Individual i1 (000 / 111) among gametes 000 x 4, 111 x 2 and 011 x 2;
// alpha 1, epsilon 0.5, gamma 0, influence zone 0: the local loci are the
// three heterozygous sites. Three updates on the stream seeded with -31,
// whose draws are 0.478430118 0.990534977 0.328416390 0.851939204
// 0.008331287 0.342153005 0.219697683 0.185928860 0.774952682 ...
// Each decision below was worked out from the counts and these draws, and
// again with a separate python3 transcription of the update.
TEST(VoskUpdate, FollowsTheRecordedStream) {
    test::ProfileGuard profile(DNA);
    Individuals d(3);
    d.add("000", "111");
    d.add("000", "000");
    d.add("000", "000");
    d.add("111", "111");
    d.add("011", "011");
    auto S = d.sample();
    S->phasing.alpha = 1.0;
    S->phasing.epsilon = 0.5;
    S->phasing.gamma = 0.0;
    S->phasing.winAroundHetSites = 0;
    TGenotIndividual& F = S->current[0];
    ASSERT_TRUE(F.checkIfAmbiguousAndFillArrays(0));
    vosk_test::RecordedStream const stream(31, 60);

    // Update 1: visiting order 0, 2, 1 (draws 1-3), all first visits.
    // Site 0 on loci 0-1: F(Aa) = 4 + 0.5 x 2 + 1 = 6, F(Bb) = 3, F(Ab) = 2,
    // F(Ba) = 5, keep 18 / 28 = 0.643 < 0.852: exchanged (100 / 011),
    // support sqrt(16) = 4. Site 2 on loci 1-2: keep 0.735 > 0.008. Site 1:
    // window 1 (ratio 1.8) or 2 (ratio 3.4): w = 0.8 / 3.2 = 0.273 <= 0.342
    // takes window 2, keep 0.735 > 0.220.
    F.buildLocalGenotype_Zorvel_simple_around_het_loci(S.get(), 0);
    EXPECT_EQ(text_of(F.gamete1) + "/" + text_of(F.gamete2), "100/011");
    EXPECT_EQ(stream.made(), 7);
    expect_record(F.window1[0], {0, 2, 2, 4.0});
    expect_record(F.window1[1], {0, 2, 2, 4.0});
    expect_record(F.window2[1], {1, 2, 2, 4.0});
    expect_record(F.window1[2], {1, 2, 2, 4.0});
    EXPECT_EQ(F.window2[0].start, -1);
    EXPECT_EQ(F.window2[2].support, 0.0);
    EXPECT_EQ(S->updates.accepted, 1);
    EXPECT_EQ(S->updates.rejected, 2);

    // Update 2: order 1, 2, 0. Site 1 takes record 1 (0-1), grows right
    // with no draw (the only way), keeps it (r0 0.667, r' 1.0, u 0.332 <
    // 0.4); neither end may go: no draw; exchanged. Site 2 (last local
    // position): its draw 0.341 closes the left end, no extension is
    // possible, yet the acceptance draw 0.648 is made; exchanged. Site 0:
    // grows right to 0-2 and adopts it (u 0.306 >= 0.8 / 4.8); kept.
    F.buildLocalGenotype_Zorvel_simple_around_het_loci(S.get(), 0);
    EXPECT_EQ(text_of(F.gamete1) + "/" + text_of(F.gamete2), "111/000");
    EXPECT_EQ(stream.made(), 21);
    expect_record(F.window1[0], {0, 3, 3, std::sqrt(12.0)});
    expect_record(F.window1[1], {0, 2, 2, 4.0});
    expect_record(F.window1[2], {1, 2, 2, 4.0});
    EXPECT_EQ(S->updates.accepted, 3);
    EXPECT_EQ(S->updates.rejected, 3);

    // Update 3: site 0's window 0-2 holds three heterozygous sites, so its
    // right end may go (no choice draw): q = 0, adopted (back to 0-1).
    F.buildLocalGenotype_Zorvel_simple_around_het_loci(S.get(), 0);
    EXPECT_EQ(text_of(F.gamete1) + "/" + text_of(F.gamete2), "110/001");
    EXPECT_EQ(stream.made(), 36);
    expect_record(F.window1[0], {0, 2, 2, 4.0});
    EXPECT_EQ(S->updates.accepted, 4);
    EXPECT_EQ(S->updates.rejected, 5);
}

// The recombination update on the same individual after its first visits
// (a simple update), on two streams. Seed -38 (draws 8-17: 0.245 0.558
// 0.428 | 0.225 0.719 | 0.035 0.278 | 0.746 0.105 0.463): after 111 / 000,
// order 0, 2, 1; site 0 crosses after locus 0 (keep 18 -> 10, 0.719 >=
// 10 / 28: undone); site 2 crosses at locus 2 (25 -> 9, 0.278 >= 9 / 34:
// undone); site 1 takes record 2 (0.746 >= 4 / 8), crosses at locus 1
// (0.105 < 0.5), keep 25 -> 25: 0.463 < 0.5 but an unchanged keep is no
// move: undone. Seed -39 (draws 8-17: 0.254 0.241 0.258 | 0.191 0.346 |
// 0.950 0.441 0.804 | 0.599 0.415): after 110 / 001, order 0, 1, 2; site 0:
// 18 -> 10, 0.346 < 10 / 28: accepted (100 / 011); site 1: record 2, at
// locus 1, 9 -> 9: undone; site 2: 9 -> 25, 0.415 < 25 / 34: accepted.
struct RecombinationCase {
    long seed;
    char const* afterFirst;
    char const* after;
    int accepted, rejected;
};

TEST(VoskUpdate, RecombinationStepExchangesTails) {
    test::ProfileGuard profile(DNA);
    for (RecombinationCase const& c :
         {RecombinationCase{38, "111/000", "111/000", 0, 3}, RecombinationCase{39, "110/001", "100/011", 2, 1}}) {
        SCOPED_TRACE(c.seed);
        Individuals d(3);
        d.add("000", "111");
        d.add("000", "000");
        d.add("000", "000");
        d.add("111", "111");
        d.add("011", "011");
        auto S = d.sample();
        S->phasing.alpha = 1.0;
        S->phasing.epsilon = 0.5;
        S->phasing.gamma = 0.0;
        S->phasing.winAroundHetSites = 0;
        TGenotIndividual& F = S->current[0];
        F.checkIfAmbiguousAndFillArrays(0);
        vosk_test::RecordedStream const stream(c.seed, 40);
        F.buildLocalGenotype_Zorvel_simple_around_het_loci(S.get(), 0);
        EXPECT_EQ(text_of(F.gamete1) + "/" + text_of(F.gamete2), c.afterFirst);
        S->updates = PhasingCounters{};
        F.buildLocalGenotype_Zorvel_simple_around_het_loci_with_rec_step(S.get(), 0);
        EXPECT_EQ(text_of(F.gamete1) + "/" + text_of(F.gamete2), c.after);
        EXPECT_EQ(stream.made(), 17);
        EXPECT_EQ(S->updates.accepted, c.accepted);
        EXPECT_EQ(S->updates.rejected, c.rejected);
        // Both records of a site receive the window used; only the chosen
        // one its support.
        expect_record(F.window1[0], {0, 2, 2, 4.0});
        expect_record(F.window2[0], {0, 2, 2, 0.0});
        expect_record(F.window1[1], {1, 2, 2, 4.0});
        expect_record(F.window2[1], {1, 2, 2, 4.0});
        expect_record(F.window2[2], {1, 2, 2, 0.0});
    }
}

// Two samples with their own settings side by side: each one's updates use
// its own alpha and count into its own counters, as in a run of it alone.
struct Outcome {
    std::string phases;
    std::int64_t accepted = 0;
    std::int64_t rejected = 0;
    bool operator==(Outcome const&) const = default;
};

void prepare(TGenotSample& S, double alpha) {
    S.phasing.alpha = alpha;
    S.phasing.epsilon = 0.5;
    S.phasing.gamma = 0.0;
    S.phasing.winAroundHetSites = 1;
    for (TGenotIndividual& g : S.current) g.checkIfAmbiguousAndFillArrays(1);
}

Outcome updates_of(TGenotSample& S, long seed) {
    initialize_ran3(-seed);
    for (int k = 0; k < 40; ++k)
        for (int i = 0; i < 2; ++i)
            S.current[static_cast<std::size_t>(i)].buildLocalGenotype_Zorvel_simple_around_het_loci(&S, i);
    Outcome o{"", S.updates.accepted, S.updates.rejected};
    for (int i = 0; i < 2; ++i) {
        TGenotIndividual const& g = S.current[static_cast<std::size_t>(i)];
        o.phases += text_of(g.gamete1) + "/" + text_of(g.gamete2) + " ";
    }
    return o;
}

TEST(VoskSampler, SamplesKeepTheirOwnSettingsAndCounters) {
    test::ProfileGuard profile(DNA);
    Individuals d(5);
    d.add("01010", "10101");
    d.add("00110", "11001");
    d.add("00000", "00000");
    d.add("01010", "01010");
    d.add("11111", "11111");
    d.add("10101", "10101");
    auto alone = [&](double alpha) {
        auto S = d.sample();
        prepare(*S, alpha);
        return updates_of(*S, 41);
    };
    Outcome const small = alone(0.01);
    Outcome const large = alone(50.0);
    // The settings matter here: otherwise the test below proves nothing.
    ASSERT_NE(small, large);

    auto A = d.sample();
    auto B = d.sample();
    prepare(*A, 0.01);
    prepare(*B, 50.0);
    EXPECT_EQ(updates_of(*A, 41), small);
    EXPECT_EQ(updates_of(*B, 41), large);
    EXPECT_EQ(A->updates.accepted, small.accepted);
    EXPECT_EQ(A->updates.rejected, small.rejected);
    EXPECT_EQ(A->phasing.alpha, 0.01);
}

// ---------------------------------------------------------------------------
// Whole runs of the phaser on a sample.

class VoskRun : public ::testing::Test {
protected:
    void SetUp() override {
        s().GibbsBurnIn = 1000;
        s().GibbsSamplingInterval = 10;
        s().GibbsNumSamples = 20;
        result.open(log.dir() / "result.txt", std::ios::in | std::ios::out | std::ios::trunc);
        s().ResultFile = &result;
    }
    settings& s() { return d.s; }
    // The phaser on the individuals added so far.
    int run(char missing = '?') {
        pop.name = "sample";
        pop.profile.GenotypicData = 1;
        pop.profile.GameticPhase = 0;
        pop.profile.MissingData = missing;
        pop.alleleDB = &d.db;
        pop.phenotypes = d.table;
        initialize_ran3(-5);
        return pop.comp_gam_phase_Gibbs(s());
    }
    std::string report() {
        result.flush();
        std::ifstream in(log.dir() / "result.txt");
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    // Phase files 0 .. n in the test's folder.
    void phase_files(int n) {
        s().GibbsOutputGamPhase = 1;
        s().GibbsPhaseFileNames.clear();
        s().GibbsPhaseStreams.clear();
        s().GibbsPhaseStreams.resize(static_cast<std::size_t>(n) + 1);
        for (int k = 0; k <= n; ++k) {
            std::filesystem::path const file = log.dir() / ("phase" + std::to_string(k));
            std::filesystem::remove(file);
            s().GibbsPhaseFileNames.push_back(my_string(file.string().c_str()));
        }
    }
    std::string phase_file(int k) {
        std::ifstream in(log.dir() / ("phase" + std::to_string(k)));
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    test::LogGuard log{"quintle_vosk"};
    test::ProfileGuard profile{DNA};
    Individuals d{4};
    PopGenetics pop;
    std::fstream result;
};

TEST_F(VoskRun, CountersCoverTheSamplingOnly) {
    // One ambiguous individual with three heterozygous sites: each simple
    // update makes three Gibbs steps, one counter each.
    d.add("0000", "1110");
    d.add("0000", "0000");
    d.add("1110", "1110");
    EXPECT_EQ(run(), 1);
    EXPECT_EQ(pop.genotSample->updates.accepted + pop.genotSample->updates.rejected, 3 * 10 * 20);
    EXPECT_TRUE(pop.genotSample->phasing.siteWeight.empty());
}

TEST_F(VoskRun, ReportTextsAndWidths) {
    d.add({"0", "0", "?", "?"}, {"1", "1", "A", "?"}, "a_rather_long_name");
    d.add({"0", "0", "A", "?"}, {"0", "0", "A", "?"}, "b");
    d.add({"1", "1", "A", "?"}, {"1", "0", "A", "?"}, "c");
    s().GibbsHetSiteInfluenceZone = 3;
    ASSERT_EQ(run(), 1);
    std::string const r = report();
    EXPECT_NE(r.find("\n=======================================================\nEstimation of gametic phase from "
                     "multi-locus diploid data\nbased on a Gibbs sampling strategy\n"),
              std::string::npos);
    EXPECT_NE(r.find("\nEstimation parameters :\n=======================\n\n\tBurnin                   : 1000"
                     "\n\tSampling interval        : 10\n\tNum. samples             : 20\n\tAve. prior alpha  "
                     "       : 0.0100\n\tAve. post alpha          : 0.0000\n\tEpsilon value            : 0.0100"
                     "\n\tHet. site influence zone : 3\n\tWindow size              : 0\n\tGamma parameter      "
                     "    : 0.0000\n"),
              std::string::npos)
        << r;
    EXPECT_NE(r.find("\nSample properties :\n===================\n\nNum. individuals           : 3\nNum. ambiguous "
                     "individuals : 1\nNum. loci                  : 4\nNum. polymorphic loci      : 2\n"),
              std::string::npos);
    EXPECT_NE(r.find("   [ Hapl. ID]\t Hapl. freq.\tHaplotype definition\n   ===========\t===========\t"
                     "====================\n"),
              std::string::npos);
    // The name column is as wide as the longest name (18); the monomorphic
    // locus 2 is written with its real allele although the first allele
    // read there is missing, locus 3 (missing everywhere) with the
    // missing-data character.
    EXPECT_NE(r.find("\n      Indiv. name\tPhase freq.\t[ Hapl. ID]\tConstituant haplotypes\n"
                     "      ===========\t===========\t==========\t======================\n"),
              std::string::npos)
        << r;
    EXPECT_NE(r.find("                 b\t      1.000\t[ "), std::string::npos) << r;
    EXPECT_NE(r.find("]\t0 0 A ? \n"), std::string::npos) << r;
    // Every individual's two haplotypes: six in all.
    int total = 0;
    std::string const rule = "\t====================\n";
    std::istringstream lines(r.substr(r.find(rule) + rule.size()));
    for (std::string line; std::getline(lines, line) && line.rfind("   [", 0) == 0;)
        total += std::stoi(line.substr(line.find("]\t") + 2));
    EXPECT_EQ(total, 6);
}

TEST_F(VoskRun, NoAmbiguousIndividual) {
    d.add("0000", "1000");
    d.add("0100", "0100");
    phase_files(2);
    ASSERT_EQ(run(), 1);
    std::string const r = report();
    EXPECT_NE(r.find("Num. ambiguous individuals : 0\n"), std::string::npos);
    EXPECT_NE(r.find("\n NO AMBIGUOUS INDIVIDUALS IN THIS SAMPLE, PHASE ESTIMATION SKIPPED\n\n"), std::string::npos);
    EXPECT_EQ(r.find("List of estimated haplotype frequencies"), std::string::npos);
    EXPECT_EQ(pop.genotSample->updates.accepted + pop.genotSample->updates.rejected, 0);
    // Every phase file has the note, then the individuals as they are, so
    // that it reads back as the sample.
    for (int k = 0; k <= 2; ++k) {
        std::string const f = phase_file(k);
        EXPECT_EQ(f.rfind("#No ambiguous individuals\n", 0), 0u) << k;
        EXPECT_NE(f.find("0 1 0 0 \n"), std::string::npos) << f;
    }
    EXPECT_NE(phase_file(0).find("         i1\t          1\t"), std::string::npos);
    EXPECT_NE(phase_file(1).find("\t\t\ti1\t1 \t"), std::string::npos);
}

TEST_F(VoskRun, NoSampleAskedForWritesNothing) {
    d.add("0000", "1110");
    d.add("0000", "0000");
    for (int n : {0, -3}) {
        SCOPED_TRACE(n);
        s().GibbsNumSamples = n;
        phase_files(0);
        EXPECT_EQ(run(), 1);
        EXPECT_EQ(report(), "");
        EXPECT_EQ(phase_file(0), "");
    }
}

TEST_F(VoskRun, StopFlagEndsWithoutOutput) {
    d.add("0000", "1110");
    d.add("0000", "0000");
    phase_files(20);
    s().stopFlag = 1;
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(report(), "");
    EXPECT_EQ(phase_file(0), "");
    EXPECT_EQ(phase_file(1), "");
}

TEST(VoskReport, SampleWithoutIndividualsShowsNoLoci) {
    test::ProfileGuard profile(DNA);
    test::LogGuard log("quintle_vosk_empty");
    Individuals d(3);
    auto S = d.sample();
    d.s.GibbsNumSamples = 5;
    S->performGibbs();
    std::fstream out(log.dir() / "report.txt", std::ios::in | std::ios::out | std::ios::trunc);
    S->writeResults(&out);
    out.flush();
    std::ifstream in(log.dir() / "report.txt");
    std::string const r{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_NE(
        r.find("Num. individuals           : 0\nNum. ambiguous individuals : 0\nNum. loci                  : 0\n"),
        std::string::npos)
        << r;
    EXPECT_NE(r.find("NO AMBIGUOUS INDIVIDUALS"), std::string::npos);
}

}  // namespace
}  // namespace quintle
