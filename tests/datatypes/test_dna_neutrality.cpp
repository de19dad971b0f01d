// The neutrality-test steps of the DNA driver: observed statistics against
// closed forms, the outcomes that refuse or skip, and what the steps leave
// in the sample.

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "core/random.h"
#include "data/Haplo_DB.h"
#include "datatypes/dna_driver_fixture.h"
#include "datatypes/dna_sections.h"
#include "datatypes/sequence_sections.h"
#include "popstats/PopGenetics.h"
#include "popstats/sim_support.h"
#include "support/sanitized_build.h"

using namespace quintle;
using namespace quintle::testing_support;

namespace {

constexpr std::int64_t kTajima = 64;
constexpr std::int64_t kFuFs = 16384;

// Five sequences of ten sites: the first twice, each other one differs from
// it at one site. S = 3; pi = 12 / 10; four haplotypes.
std::vector<std::pair<std::string, int>> worked_sample() {
    return {{"ACGTACGTAC", 2}, {"ACGTACGTAA", 1}, {"GCGTACGTAC", 1}, {"ACTTACGTAC", 1}};
}

// Tajima (1989), equations (3)-(4) and (38), written out independently.
double tajima_closed_form(int n, double pi, double S) {
    double a1 = 0, a2 = 0;
    for (int i = 1; i < n; ++i) {
        a1 += 1.0 / i;
        a2 += 1.0 / (double(i) * i);
    }
    const double b1 = (n + 1.0) / (3.0 * (n - 1.0));
    const double b2 = 2.0 * (double(n) * n + n + 3.0) / (9.0 * n * (n - 1.0));
    const double c1 = b1 - 1.0 / a1;
    const double c2 = b2 - (n + 2.0) / (a1 * n) + a2 / (a1 * a1);
    const double e1 = c1 / a1, e2 = c2 / (a1 * a1 + a2);
    return (pi - S / a1) / std::sqrt(e1 * S + e2 * S * (S - 1.0));
}

// Fu (1997): Fs = ln(S' / (1 - S')), S' = P(K >= k) under Ewens' formula
// P(K = j) = |s(n, j)| theta^j / (theta (theta + 1) ... (theta + n - 1)).
double fu_closed_form(int n, int k, double theta) {
    std::vector<std::vector<double>> c(n + 1, std::vector<double>(n + 1, 0.0));
    c[0][0] = 1.0;
    for (int m = 1; m <= n; ++m)
        for (int j = 1; j <= m; ++j) c[m][j] = c[m - 1][j - 1] + (m - 1) * c[m - 1][j];
    double rising = 1.0;
    for (int i = 0; i < n; ++i) rising *= theta + i;
    double sp = 0.0;
    for (int j = k; j <= n; ++j) sp += c[n][j] * std::pow(theta, j) / rising;
    return std::log(sp / (1.0 - sp));
}

FuFsArgs fu_args(long replicates) {
    FuFsArgs a;
    a.replicates = replicates;
    return a;
}

}  // namespace

TEST(DnaNeutrality, ObservedTajimaAndFuAgainstClosedForms) {
    DnaSample d("pop1", worked_sample());
    DriverRun run(kTajima);
    SampleDriverState st(d.pop.NbHaplotypeEntries);

    const TajimaResult t = sequence_tajima_step(d.pop, run.s, st, {{}, 0});
    EXPECT_EQ(t.n, 5);
    EXPECT_EQ(t.segregatingSites, 3);
    EXPECT_NEAR(t.meanPairwiseDiff, 1.2, 1e-12);
    EXPECT_NEAR(t.D, tajima_closed_form(5, 1.2, 3.0), 1e-10);
    EXPECT_EQ(d.pop.tajimaD, t.D);
    // Without simulations the P value is what the statistic left: none.
    EXPECT_EQ(t.pBeforeSimulations, -1.0);
    EXPECT_EQ(d.pop.tajimaP, -1.0);

    const FuFsResult f = sequence_fu_fs_step(d.pop, run.s, st, fu_args(0));
    ASSERT_EQ(f.outcome, FuFsResult::Outcome::tested);
    EXPECT_EQ(f.k, 4);
    EXPECT_NEAR(f.thetaPi, 1.2, 1e-12);
    EXPECT_NEAR(f.Fs, fu_closed_form(5, 4, 1.2), 1e-9);
    EXPECT_NEAR(f.expectedAlleles, 1.2 * (1 / 1.2 + 1 / 2.2 + 1 / 3.2 + 1 / 4.2 + 1 / 5.2), 1e-12);
    EXPECT_EQ(d.pop.fuFs, f.Fs);
    EXPECT_EQ(d.pop.fuFsP, -1.0);
}

// The P value after the simulations goes into the sample; the batch line
// still starts with the one the statistic left.
TEST(DnaNeutrality, SimulatedPValuesReachTheSample) {
    DnaSample d("pop1", worked_sample());
    DriverRun run(kTajima);
    SampleDriverState st(d.pop.NbHaplotypeEntries);
    initialize_ran3(-11);
    const TajimaResult t = sequence_tajima_step(d.pop, run.s, st, {{}, 40});
    ASSERT_FALSE(t.stopped);
    EXPECT_GE(t.simulated.p, 0.0);
    EXPECT_LE(t.simulated.p, 1.0);
    EXPECT_EQ(d.pop.tajimaP, t.simulated.p);
    EXPECT_EQ(t.pBeforeSimulations, -1.0);
    std::ostringstream batch;
    write_tajima_batch(batch, d.pop.name, t, 2);
    EXPECT_NE(batch.str().find("\t-1.000000\t"), std::string::npos) << batch.str();

    const FuFsResult f = sequence_fu_fs_step(d.pop, run.s, st, fu_args(40));
    EXPECT_EQ(d.pop.fuFsP, f.simulated.p);
    EXPECT_GE(f.simulated.p, 0.0);
    EXPECT_GT(f.simulated.secondMean, 1.0);  // replicates hold more than one haplotype
}

// A negative number of simulations (the settings allow it) means none: no
// "No. of simulations : -5" block with means of 0 / -5, no P value, no
// draw from the generator.
TEST(DnaNeutrality, NegativeReplicateCountSimulatesNothing) {
    DnaSample d("pop1", worked_sample());
    DriverRun run(kTajima);
    SampleDriverState st(d.pop.NbHaplotypeEntries);
    initialize_ran3(-11);
    long seed = 1;
    const double next = ran3(&seed);
    initialize_ran3(-11);
    const TajimaResult t = sequence_tajima_step(d.pop, run.s, st, {{}, -5});
    EXPECT_EQ(t.replicates, 0);
    std::ostringstream text;
    write_sequence_tajima(text, t, driver_type(d.pop));
    EXPECT_EQ(text.str().find("No. of simulations"), std::string::npos) << text.str();
    const FuFsResult f = sequence_fu_fs_step(d.pop, run.s, st, fu_args(-5));
    EXPECT_EQ(f.replicates, 0);
    EXPECT_EQ(d.pop.fuFsP, -1.0);
    EXPECT_EQ(ran3(&seed), next) << "no draw was made";
}

// A stop request during the replicates ends the step at once: no P value,
// and a batch line left without its end.
TEST(DnaNeutrality, StopRequestEndsTheReplicates) {
    DnaSample d("pop1", worked_sample());
    DriverRun run(kTajima);
    SampleDriverState st(d.pop.NbHaplotypeEntries);
    run.s.stopFlag = 1;
    const TajimaResult t = sequence_tajima_step(d.pop, run.s, st, {{}, 40});
    EXPECT_TRUE(t.stopped);
    EXPECT_EQ(d.pop.tajimaP, -1.0);
    std::ostringstream batch;
    write_tajima_batch(batch, d.pop.name, t, 2);
    EXPECT_NE(batch.str().back(), '\n');
}

TEST(DnaNeutrality, FuOutcomesThatRefuse) {
    struct Case {
        char const* what;
        std::vector<std::pair<std::string, int>> sample;
        FuFsResult::Outcome outcome;
    };
    const Case cases[] = {
        {"one gene", {{"ACGT", 1}}, FuFsResult::Outcome::one_gene},
        {"one allele", {{"ACGT", 6}}, FuFsResult::Outcome::one_allele},
    };
    for (Case const& c : cases) {
        DnaSample d("s", c.sample);
        DriverRun run(kFuFs);
        SampleDriverState st(d.pop.NbHaplotypeEntries);
        d.pop.fuFs = 2.5;
        d.pop.fuFsP = 0.5;
        EXPECT_EQ(sequence_fu_fs_step(d.pop, run.s, st, fu_args(10)).outcome, c.outcome) << c.what;
        EXPECT_EQ(d.pop.fuFs, 0.0) << c.what;
        EXPECT_EQ(d.pop.fuFsP, -1.0) << c.what;
    }
}

// An observed Fs that cannot be formed (5000 gene copies) is not compared
// with simulated ones: no simulations, P stays -1.
TEST(DnaNeutrality, RefusedObservedFsSkipsSimulations) {
    DnaSample d("big", {{"AAAA", 4000}, {"AAAG", 1000}});
    DriverRun run(kFuFs);
    SampleDriverState st(d.pop.NbHaplotypeEntries);
    d.pop.fuFsP = 0.5;
    const FuFsResult f = sequence_fu_fs_step(d.pop, run.s, st, fu_args(50));
    EXPECT_EQ(f.outcome, FuFsResult::Outcome::tested);
    EXPECT_EQ(f.replicates, 0);
    EXPECT_EQ(d.pop.fuFsP, -1.0);
    EXPECT_EQ(d.pop.fuFs, 0.0);  // left as it was
    EXPECT_NE(run.log().find("too many alleles, or too large sample"), std::string::npos);
}

// Reports made during the simulations are held back for the writer, which
// puts them between the observed and the simulated block.
TEST(DnaNeutrality, ReportsOfTheSimulationsWaitForTheirPlace) {
    DnaSample d("pair", {{"ACGTACGTAC", 1}, {"ACGTACGTAA", 1}});
    DriverRun run(kTajima);
    SampleDriverState st(d.pop.NbHaplotypeEntries);
    initialize_ran3(-3);
    const TajimaResult t = sequence_tajima_step(d.pop, run.s, st, {{}, 5});
    // Two copies: every simulated D is 0, so its variance is not positive.
    EXPECT_NE(t.echoSimulations.find("attempt to compute negative sqrt"), std::string::npos);
    EXPECT_EQ(run.result(), "");

    std::ostringstream out;
    write_sequence_tajima(out, t, driver_type(d.pop));
    const std::string text = out.str();
    const auto observed = text.find("Tajima's D  ");
    const auto echo = text.find(t.echoSimulations);
    const auto simulated = text.find("No. of simulations");
    EXPECT_LT(observed, echo);
    EXPECT_LT(echo, simulated);
}

TEST(DnaNeutrality, SingleHaplotypeRefusesEwensWattersonAndChakraborty) {
    DnaSample d("one", {{"ACGTACGTAC", 6}});
    DriverRun run(128 | 256);
    SampleDriverState st(d.pop.NbHaplotypeEntries);
    CountTestArgs args{false, 20, "", "test", [&d] { d.pop.distanceMethod = 0; }};
    const EwensWattersonSection ew = ewens_watterson_section_step(d.pop, run.s, st, args);
    EXPECT_TRUE(ew.singleHaplotype);
    EXPECT_FALSE(ew.tested);
    args.fromDistances = true;
    const std::optional<ChakrabortyResult> c = chakraborty_section_step(d.pop, run.s, st, args);
    ASSERT_TRUE(c.has_value());
    EXPECT_EQ(c->outcome, ChakrabortyResult::Outcome::single_haplotype);
    EXPECT_NE(run.log().find("Warning: Chakraborty's test"), std::string::npos);
}

// With the haplotypes inferred from the distances, the two tests of the
// haplotype counts share one list of the classes at distance 0: the
// distances are set and the list filled once, for the first test that runs.
// A haplotype that differs from another only where it has missing data
// falls into the other's class.
TEST(DnaNeutrality, CountTestsShareOneListOfClassesAtDistanceZero) {
    DnaSample d("classes", {{"ACGTA", 2}, {"ACGT?", 1}, {"CCGTA", 2}});
    DriverRun run(128 | 256);
    run.s.AllowedLevelOfMissingData = 0.5;
    SampleDriverState st(d.pop.NbHaplotypeEntries);
    int distancesSet = 0;
    const CountTestArgs args{true, 10, "", "test", [&] {
                                 ++distancesSet;
                                 d.pop.distanceMethod = 0;
                             }};
    const EwensWattersonSection ew = ewens_watterson_section_step(d.pop, run.s, st, args);
    EXPECT_TRUE(ew.tested);
    EXPECT_EQ(ew.test.k, 2);
    const std::optional<ChakrabortyResult> c = chakraborty_section_step(d.pop, run.s, st, args);
    ASSERT_TRUE(c.has_value());
    EXPECT_TRUE(c->listForm);
    EXPECT_EQ(c->k, 2);
    EXPECT_EQ(c->numOriginal, 3);
    EXPECT_EQ(distancesSet, 1);
    EXPECT_EQ(st.freqList.count, 2);

    // From the counts every haplotype is an allele of its own.
    SampleDriverState counts(d.pop.NbHaplotypeEntries);
    const std::optional<ChakrabortyResult> plain =
        chakraborty_section_step(d.pop, run.s, counts, CountTestArgs{false, 10, "", "test", [] {}});
    ASSERT_TRUE(plain.has_value());
    EXPECT_FALSE(plain->listForm);
    EXPECT_EQ(plain->k, 3);
}

// Simulated replicates must not mark the real samples' substitution sites.
TEST(DnaNeutrality, ReplicatesLeaveProjectSiteFlagsAlone) {
    auto& global = PopGenetics::globalSubstPolymSites;
    const std::string base(30, 'A');
    std::string variant = base;
    variant[0] = 'G';
    DnaSample d("pop1", {{base, 3}, {variant, 2}});
    DriverRun run(kTajima);
    run.s.NumSimulFuTest = 100;
    initialize_ran3(-3);
    d.pop.test_methods(run.s);

    ASSERT_EQ(global.count, 30);
    EXPECT_TRUE(global[0]);
    for (int i = 1; i < 30; ++i) EXPECT_FALSE(global[i]) << i;
}

namespace {

// A sample of n sequences drawn under the null model of both tests: a
// standard coalescent genealogy with mutations at rate theta / 2.
std::vector<std::pair<std::string, int>> neutral_sample(int n, int sites, double theta) {
    Simulator sim(n);
    sim.p.simulate_sample(theta / 2.0, sites, DNA_MUT, 0.0, 1.0, 1.0, 0.33);
    Haplo_DB list;
    PopGenetics sample;
    sample.read_simulated_sample(sim.tree(), list, DNA_MUT);
    std::vector<std::pair<std::string, int>> sequences;
    for (long i = 0; i < list.haplotypes.count; ++i)
        sequences.emplace_back(list.haplotypes.data[i]->data.c_str(), list.haplotypes.data[i]->count);
    return sequences;
}

}  // namespace

// Data sets drawn under the null model give P values spread about evenly
// over [0, 1]: with 300 sets, about 5% at or below 0.05 (1% to 10%
// accepted) and a mean near 0.5. Replicates that are not independent draws
// of the observed sample's model, or a simulated statistic formed otherwise
// than the observed one (forming D with n - 1 genes, for one), move them. A
// set whose statistic cannot be formed (no polymorphism, an Fs beyond its
// range) has no P value and is left out. Fs's P value, with theta estimated
// from the data it tests, runs high in the low tail (about 8% at or below
// 0.05 over other seeds at these sizes), close to the upper bound.
TEST(DnaNeutralityDistribution, PValuesOfDataUnderTheNullAreUniform) {
    // Twenty times slower there, and a smaller run would not say as much.
    if (test::sanitized_build) GTEST_SKIP() << "runs in the build without sanitizers";
    constexpr int sets = 300, replicates = 200, n = 8, sites = 30;
    constexpr double theta = 3.0;
    initialize_ran3(-11);
    DriverRun run(kTajima | kFuFs);
    run.s.PrintSampleAnchor = 0;
    run.s.NumIterationsNeutralityTests = replicates;
    run.s.NumSimulFuTest = replicates;

    std::vector<double> tajima, fu;
    for (int k = 0; k < sets; ++k) {
        DnaSample d("null", neutral_sample(n, sites, theta));
        d.pop.test_methods(run.s);
        if (d.pop.tajimaP >= 0.0) tajima.push_back(d.pop.tajimaP);
        if (d.pop.fuFsP >= 0.0) fu.push_back(d.pop.fuFsP);
    }
    for (auto const& [name, p] : {std::pair{"Tajima's D", &tajima}, std::pair{"Fu's Fs", &fu}}) {
        ASSERT_GE(p->size(), sets * 0.95) << name;
        double low = 0.0, sum = 0.0;
        for (double v : *p) {
            EXPECT_LE(v, 1.0) << name;
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
