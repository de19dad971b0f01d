// The neutrality tests of the RFLP driver: observed statistics against
// independent values, the replicate read at its hit sites against the full
// simulated sample, the refusals, and P values of data under the null.

#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "core/random.h"
#include "data/Haplo_DB.h"
#include "datatypes/rflp_fixture.h"
#include "datatypes/rflp_replicate.h"
#include "datatypes/rflp_sections.h"
#include "datatypes/sequence_sections.h"
#include "popstats/TNode.h"
#include "popstats/sim_support.h"
#include "support/sanitized_build.h"

using namespace quintle;
using namespace quintle::testing_support;

namespace {

constexpr std::int64_t kTajima = 64;
constexpr std::int64_t kFuFs = 16384;

// h1 0101100 (twice), h2 0111100, h3 1101000, h4 1101001, h5 0100100.
std::vector<std::pair<std::string, int>> worked_sample() {
    return {{"0101100", 2}, {"0111100", 1}, {"1101000", 1}, {"1101001", 1}, {"0100100", 1}};
}

// Sites 2 and 6 substitutions, site 3 a deletion polymorphism, site 5
// missing in one copy of five (unusable at 5 %); pi 1.5 (see the RFLP
// comparison tests).
std::vector<std::pair<std::string, int>> deletion_sample() {
    return {{"01-011", 2}, {"011011", 1}, {"0100?1", 1}, {"11-010", 1}};
}

FuFsArgs fu_args(long replicates) {
    FuFsArgs a;
    a.replicates = replicates;
    return a;
}

}  // namespace

// Reference values: S, pi and D from dendropy (popgenstat.num_segregating_sites,
// average_number_of_pairwise_differences, tajimas_d) on the sample recoded
// 0 -> A, 1 -> C; bpppopstats agrees on S and D. Fs = ln(S'/(1 - S')), S' =
// P(K >= 5) under Ewens' formula at theta = pi among 6 genes, with exact
// |s(n, i)| from mpmath.stirling1 (50 digits).
TEST(RflpNeutrality, WorkedSampleAgainstIndependentValues) {
    RflpSample r("worked", worked_sample());
    RflpRun run(kTajima | kFuFs);
    SampleDriverState st(r.pop.NbHaplotypeEntries);

    const TajimaResult t = sequence_tajima_step(r.pop, run.s, st, {{}, 0});
    EXPECT_EQ(t.segregatingSites, 5);
    EXPECT_NEAR(t.meanPairwiseDiff, 2.066666666666667, 1e-12);
    EXPECT_NEAR(t.D, -0.31465696287467526, 1e-12);
    // theta(S) = 5 / (1 + 1/2 + 1/3 + 1/4 + 1/5).
    EXPECT_NEAR(t.thetaS, 5.0 / (137.0 / 60.0), 1e-12);
    EXPECT_EQ(t.replicates, 0);

    const FuFsResult f = sequence_fu_fs_step(r.pop, run.s, st, fu_args(0));
    EXPECT_EQ(f.outcome, FuFsResult::Outcome::tested);
    EXPECT_EQ(f.k, 5);
    EXPECT_NEAR(f.Fs, -2.0413309576918188, 1e-9);
    EXPECT_EQ(r.pop.fuFs, f.Fs);
    EXPECT_EQ(r.pop.fuFsP, -1.0);  // no replicates
}

// D counts the deletion site among the segregating ones (S = 3), while the
// printed S, theta(S) and the replicates take the two substitution sites.
// Tajima's closed form at n 5, pi 1.5, S 3 (a short python3 calculation):
// 0.2621232711369273; theta(S) = 2 / (1 + 1/2 + 1/3 + 1/4) = 0.96.
TEST(RflpNeutrality, TajimaCountsDeletionSitesInD) {
    RflpSample r("gaps", deletion_sample());
    RflpRun run(kTajima);
    run.s.AllowedLevelOfMissingData = 0.05;
    SampleDriverState st(r.pop.NbHaplotypeEntries);
    initialize_ran3(-11);
    const TajimaResult t = sequence_tajima_step(r.pop, run.s, st, {{}, 1});
    EXPECT_EQ(t.segregatingSites, 2);
    EXPECT_DOUBLE_EQ(t.meanPairwiseDiff, 1.5);
    EXPECT_NEAR(t.D, 0.2621232711369273, 1e-12);
    EXPECT_NEAR(t.thetaS, 0.96, 1e-12);
    EXPECT_EQ(r.pop.tajimaP, t.simulated.p);

    // One replicate is enough for the batch tail.
    std::ostringstream batch;
    write_tajima_batch(batch, r.pop.name, t, 1);
    EXPECT_NE(batch.str().find("\t5\t2\t0.960000\t1.500000\t0.262123\t"), std::string::npos) << batch.str();
    EXPECT_EQ(batch.str().substr(batch.str().size() - 3), "\t1\n");
    // The hit table is left empty for the next sample.
    EXPECT_EQ(TNode::hits.count, 0);
}

// An observed Fs that cannot be formed (5000 gene copies, beyond the table)
// has nothing to be compared with: nothing is simulated (no draw) and the P
// value stays -1.
TEST(RflpNeutrality, UnformedObservedFsSkipsSimulations) {
    RflpSample r("big", {{"0000", 4000}, {"0001", 1000}});
    RflpRun run(kFuFs);
    SampleDriverState st(r.pop.NbHaplotypeEntries);
    initialize_ran3(-7);
    const double expectedDraw = next_deviate();
    initialize_ran3(-7);
    r.pop.fuFsP = 0.5;
    const FuFsResult f = sequence_fu_fs_step(r.pop, run.s, st, fu_args(50));
    EXPECT_EQ(f.outcome, FuFsResult::Outcome::tested);
    EXPECT_EQ(f.replicates, 0);
    EXPECT_EQ(r.pop.fuFsP, -1.0);
    EXPECT_EQ(r.pop.fuFs, 0.0);  // left as it was
    EXPECT_EQ(next_deviate(), expectedDraw);
    EXPECT_NE(run.log().find("too many alleles, or too large sample"), std::string::npos);
}

TEST(RflpNeutrality, FuRefusals) {
    struct Case {
        char const* what;
        std::vector<std::pair<std::string, int>> sample;
        FuFsResult::Outcome outcome;
    };
    const Case cases[] = {
        {"one gene", {{"0101", 1}}, FuFsResult::Outcome::one_gene},
        {"one allele", {{"0101", 6}}, FuFsResult::Outcome::one_allele},
    };
    for (Case const& c : cases) {
        RflpSample r("s", c.sample);
        RflpRun run(kFuFs);
        SampleDriverState st(r.pop.NbHaplotypeEntries);
        r.pop.fuFs = 2.5;
        r.pop.fuFsP = 0.5;
        EXPECT_EQ(sequence_fu_fs_step(r.pop, run.s, st, fu_args(10)).outcome, c.outcome) << c.what;
        EXPECT_EQ(r.pop.fuFs, 0.0) << c.what;
        EXPECT_EQ(r.pop.fuFsP, -1.0) << c.what;
    }
}

// One haplotype: the Ewens-Watterson warning, the B table built all the
// same, and no test; Chakraborty's sample form gives its own warning.
TEST(RflpNeutrality, SingleHaplotype) {
    RflpSample r("one", {{"0101101", 6}});
    RflpRun run(128 | 256);
    SampleDriverState st(r.pop.NbHaplotypeEntries);
    const CountTestArgs args{false, 20, "", "test", [&r] { r.pop.distanceMethod = 0; }};
    const EwensWattersonSection ew = ewens_watterson_section_step(r.pop, run.s, st, args);
    EXPECT_TRUE(ew.singleHaplotype);
    EXPECT_FALSE(ew.tested);
    const std::string log = run.log();
    EXPECT_LT(log.find("Warning: Ewens-Watterson's test"), log.find("Computing BMat"));
    EXPECT_EQ(log.find("Testing neutrality (Ewens-Watterson )"), std::string::npos);
    std::ostringstream out;
    write_ewens_watterson_section(out, ew, r.pop.name);
    EXPECT_EQ(out.str().rfind("Warning: Ewens-Watterson's test", 0), 0u);

    const std::optional<ChakrabortyResult> c = chakraborty_section_step(r.pop, run.s, st, args);
    ASSERT_TRUE(c.has_value());
    EXPECT_EQ(c->outcome, ChakrabortyResult::Outcome::single_haplotype);
}

namespace {

// What one replicate gives, with Tajima's D and Fu's Fs formed from it.
struct ReplicateStats {
    int S, K, usable, polymorphic;
    double pi, piSd, piPerSite, piPerSiteSd, sampleSize, D;
    FuFsOutcome fsOutcome;
    double Fs;
    bool operator==(ReplicateStats const&) const = default;
};

ReplicateStats stats_of(PopulRFLP& sim, int n) {
    ReplicateStats r{};
    r.S = sim.numSubstitutionSites;
    r.K = sim.NbHaplotypeEntries;
    r.usable = sim.numUsableSites;
    r.polymorphic = sim.numPolymorphicSites;
    r.pi = sim.meanPairwiseDiff;
    r.piSd = sim.meanPairwiseDiffSd;
    r.piPerSite = sim.piPerSite;
    r.piPerSiteSd = sim.piPerSiteSd;
    r.sampleSize = sim.SampleSize;
    r.D = *sim.fast_tajimaD(n, sim.meanPairwiseDiff, r.S);
    r.fsOutcome = sim.Fu_Fs(*sim.theta_pi(sim.meanPairwiseDiff), r.K, r.Fs, false);
    return r;
}

}  // namespace

// Replicate by replicate, reading the sites the mutations hit (or the
// mutations alone, when each hit a site of its own) gives what the full
// simulated sample gives (every statistic, D and Fs), writes the same
// log, and leaves the random stream where the full path leaves it.
TEST(RflpReplicatePath, HitSitesGiveTheFullPath) {
    struct Case {
        char const* name;
        int copies;  // of each of the two observed haplotypes
        int length;
        double mu;
    };
    // Many sites, few mutations: nearly every site is hit once, and the
    // mutations alone give the statistics.
    const Case cases[] = {{"long", 15, 1000, 3.0},
                          // Few sites, many mutations: sites hit again and again, back to '0'.
                          {"saturated", 10, 4, 5.0},
                          {"one copy", 1, 50, 1.0}};
    ASSERT_EQ(PopGenetics::get_B_num_mat(), 1);
    for (Case const& c : cases) {
        std::string variant(static_cast<std::size_t>(c.length), '0');
        variant[0] = '1';
        std::vector<std::pair<std::string, int>> sample = {{std::string(variant.size(), '0'), c.copies}};
        if (c.copies > 1) sample.emplace_back(variant, c.copies);
        RflpSample r("pop", sample);
        RflpRun run(0);
        r.pop.check_data();
        r.pop.evaluate_polymorphism(run.s);
        const int n = static_cast<int>(r.pop.SampleSize);
        for (long seed : {-5L, -2024L}) {
            SCOPED_TRACE(::testing::Message() << c.name << " seed " << seed);
            TNode::hits.count = 0;
            r.pop.tree.allocate_tree(n);
            auto masked_log = [&run] { return std::regex_replace(run.log(), std::regex("[0-9]+ ms"), "N ms"); };
            std::vector<ReplicateStats> fast, full;
            std::string fastLog, fullLog;
            double fastNext = 0.0, fullNext = 0.0;
            for (bool hitSites : {true, false}) {
                initialize_ran3(seed);
                const std::string before = masked_log();
                {
                    RflpReplicate replicate;
                    for (int k = 0; k < 20; ++k) {
                        PopulRFLP& sim = hitSites ? replicate.simulate(r.pop, c.mu, run.s)
                                                  : replicate.simulate_full(r.pop, c.mu, run.s);
                        // Read at the hit sites, a replicate has no matrix.
                        EXPECT_EQ(!sim.distMat, hitSites);
                        (hitSites ? fast : full).push_back(stats_of(sim, n));
                    }
                }
                (hitSites ? fastNext : fullNext) = next_deviate();
                (hitSites ? fastLog : fullLog) = masked_log().substr(before.size());
            }
            EXPECT_EQ(fast, full);
            EXPECT_EQ(fastNext, fullNext);
            EXPECT_EQ(fastLog, fullLog);
            int segregating = 0;
            for (ReplicateStats const& f : fast) segregating += f.S;
            if (c.copies > 1) {
                EXPECT_GT(segregating, 0);  // the replicates are not all empty
            }
        }
    }
}

namespace {

// An RFLP sample of n copies drawn under the null model of both tests: a
// standard coalescent genealogy with two-state mutations at rate theta / 2.
std::vector<std::pair<std::string, int>> neutral_sample(int n, int sites, double theta) {
    Simulator sim(n);
    sim.p.simulate_sample(theta / 2.0, sites, TWO_STATE_MUT, 0.0, 1.0, 1.0, 0.33);
    Haplo_DB list;
    PopGenetics sample;
    sample.read_simulated_sample(sim.tree(), list, TWO_STATE_MUT);
    std::vector<std::pair<std::string, int>> haplotypes;
    for (long i = 0; i < list.haplotypes.count; ++i)
        haplotypes.emplace_back(list.haplotypes.data[i]->data.c_str(), list.haplotypes.data[i]->count);
    return haplotypes;
}

}  // namespace

// RFLP data drawn under the null model give P values spread about evenly
// over [0, 1] (see the DNA driver's test of the same name for the bounds).
// Replicates simulated under another theta or another mutation model than
// the observed data's move them.
TEST(RflpNeutralityDistribution, PValuesOfDataUnderTheNullAreUniform) {
    if (test::sanitized_build) GTEST_SKIP() << "runs in the build without sanitizers";
    constexpr int sets = 300, replicates = 200, n = 8, sites = 60;
    constexpr double theta = 3.0;
    initialize_ran3(-13);
    RflpRun run(kTajima | kFuFs);
    run.s.PrintSampleAnchor = 0;
    run.s.NumSimulFuTest = replicates;

    std::vector<double> tajima, fu;
    for (int k = 0; k < sets; ++k) {
        RflpSample r("null", neutral_sample(n, sites, theta));
        r.pop.test_methods(run.s);
        if (r.pop.tajimaP >= 0.0) tajima.push_back(r.pop.tajimaP);
        if (r.pop.fuFsP >= 0.0) fu.push_back(r.pop.fuFsP);
    }
    for (auto const& [name, p] : {std::pair{"Tajima's D", &tajima}, std::pair{"Fu's Fs", &fu}}) {
        ASSERT_GE(p->size(), sets * 0.95) << name;
        double low = 0.0, sum = 0.0;
        for (double v : *p) {
            low += v <= 0.05 ? 1.0 : 0.0;
            sum += v;
        }
        double const count = static_cast<double>(p->size());
        EXPECT_GE(low / count, 0.01) << name;
        EXPECT_LE(low / count, 0.10) << name;
        EXPECT_GE(sum / count, 0.4) << name;
        EXPECT_LE(sum / count, 0.6) << name;
    }
}
