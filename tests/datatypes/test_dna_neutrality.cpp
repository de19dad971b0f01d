#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "core/random.h"
#include "datatypes/dna_driver_fixture.h"
#include "datatypes/dna_neutrality.h"
#include "popstats/PopGenetics.h"
#include "popstats/sim_support.h"
#include "support/sanitized_build.h"

using namespace quintle;
using namespace quintle::testing_support;

namespace {

constexpr std::int64_t kTajima = 64;
constexpr std::int64_t kFuFs = 16384;

// Five sequences of ten sites: the first twice, each other one differs from
// it at one site (a transversion at site 10, a transition at site 1, a
// transversion at site 3). S = 3; the 10 pairs differ 0 (1 pair), 1 (6
// pairs with the doubled one) or 2 (3 pairs): pi = 12 / 10.
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

std::string fixed(double v, int decimals, int width) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%*.*f", width, decimals, v);
    return buf;
}

}  // namespace

TEST(DnaNeutrality, ObservedTajimaAndFuAgainstClosedForms) {
    DnaSample d("pop1", worked_sample());
    DriverRun run(kTajima | kFuFs);
    run.s.PrintSampleAnchor = 0;
    d.pop.test_methods(run.s);

    const double D = tajima_closed_form(5, 1.2, 3.0);
    const double Fs = fu_closed_form(5, 4, 1.2);
    EXPECT_NEAR(d.pop.meanPairwiseDiff, 1.2, 1e-12);
    EXPECT_NEAR(d.pop.tajimaD, D, 1e-10);
    EXPECT_NEAR(d.pop.fuFs, Fs, 1e-9);
    // Without simulations Tajima's P is what the statistic left (not
    // computed) and Fu's is -1.
    EXPECT_EQ(d.pop.tajimaP, -1.0);
    EXPECT_EQ(d.pop.fuFsP, -1.0);

    const std::string out = run.result();
    EXPECT_NE(out.find("Sample size                           :        5\n"
                       "No. of sites with substitutions (S)   :        3\n"
                       "Mean No. of pairwise differences (Pi) :  1.20000\n"
                       "Distance method                       : "
                       "Pairwise difference (no Gamma correction, indels not taken into account)\n"
                       "\nTajima's D                            : " +
                       fixed(D, 5, 8) + "\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("Original No. of alleles(k)   :           4\n"
                       "Theta(Pi)                    :     1.20000\n"
                       "Exp. No. of alleles          :" +
                       fixed(1.2 * (1 / 1.2 + 1 / 2.2 + 1 / 3.2 + 1 / 4.2 + 1 / 5.2), 5, 12) +
                       "\n"
                       "Fs                           :" +
                       fixed(Fs, 5, 12) + "\n"),
              std::string::npos)
        << out;
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

// An observed Fs that cannot be formed (5000 gene copies) is not compared
// with simulated ones: no simulations, P stays -1.
TEST(DnaNeutrality, RefusedObservedFsSkipsSimulations) {
    DnaSample d("big", {{"AAAA", 4000}, {"AAAG", 1000}});
    DriverRun run(kFuFs);
    run.s.PrintSampleAnchor = 0;
    run.s.NumSimulFuTest = 50;
    d.pop.fuFsP = 0.5;
    d.pop.test_methods(run.s);

    EXPECT_EQ(d.pop.fuFsP, -1.0);
    EXPECT_EQ(d.pop.fuFs, 0.0);  // left as it was
    const std::string out = run.result();
    EXPECT_NE(out.find("Fs                           :     0.00000\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("No. of simulations"), std::string::npos);
    EXPECT_NE(run.log().find("too many alleles, or too large sample"), std::string::npos);
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
