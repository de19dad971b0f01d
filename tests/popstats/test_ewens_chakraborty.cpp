#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include "core/random.h"
#include "popstats/PopGenetics.h"
#include "popstats/chakraborty.h"
#include "popstats/ewens_watterson.h"
#include "run/settings.h"

namespace quintle {
namespace {

using Partition = std::vector<int>;  // parts in decreasing order

// --- exact reference: Ewens' sampling formula over all partitions of n -------

void partitions(int n, int largest, Partition& prefix, std::vector<Partition>& out) {
    if (n == 0) {
        out.push_back(prefix);
        return;
    }
    for (int part = std::min(n, largest); part >= 1; --part) {
        prefix.push_back(part);
        partitions(n - part, part, prefix, out);
        prefix.pop_back();
    }
}

std::vector<Partition> partitions_of(int n) {
    std::vector<Partition> out;
    Partition prefix;
    partitions(n, n, prefix, out);
    return out;
}

// prod_j 1 / (j^{a_j} a_j!), a_j the number of parts equal to j: the part of
// the Ewens probability that does not depend on theta.
double ewens_weight(Partition const& a) {
    std::map<int, int> multiplicity;
    for (int c : a) ++multiplicity[c];
    double w = 1.0;
    for (auto [j, aj] : multiplicity) w /= std::pow(j, aj) * std::tgamma(aj + 1.0);
    return w;
}

// P(partition | n, theta) = n! / theta^(n rising) * prod (theta / j)^{a_j} / a_j!.
double ewens_probability(Partition const& a, int n, double theta) {
    double rising = 1.0;
    for (int i = 0; i < n; ++i) rising *= theta + i;
    return std::tgamma(n + 1.0) / rising * std::pow(theta, static_cast<double>(a.size())) * ewens_weight(a);
}

long sum_of_squares(Partition const& a) {
    long s = 0;
    for (int c : a) s += static_cast<long>(c) * c;
    return s;
}

long product(Partition const& a) {
    long p = 1;
    for (int c : a) p *= c;
    return p;
}

// Exact moments of the Ewens-Watterson statistics given n and k.
struct ExactEW {
    double meanF = 0, varF = 0, probF = 0, probSlatkin = 0;
    std::vector<double> meanCount, varCount;  // by rank
    int tiesF = 0, tiesSlatkin = 0;           // other partitions equal to the observed one
};

ExactEW exact_ew(int n, Partition const& observed) {
    const auto k = observed.size();
    std::vector<Partition> same;
    for (auto& a : partitions_of(n))
        if (a.size() == k) same.push_back(a);
    double total = 0;
    for (auto& a : same) total += ewens_weight(a);
    ExactEW r;
    r.meanCount.assign(k, 0.0);
    r.varCount.assign(k, 0.0);
    const long obsSq = sum_of_squares(observed);
    const long obsProd = product(observed);
    double meanF2 = 0;
    std::vector<double> meanC2(k, 0.0);
    for (auto& a : same) {
        const double p = ewens_weight(a) / total;
        const double F = static_cast<double>(sum_of_squares(a)) / (static_cast<double>(n) * n);
        r.meanF += p * F;
        meanF2 += p * F * F;
        // Slatkin's statistic -sum ln c is at most the observed one exactly
        // when the product of the counts is at least the observed product.
        if (sum_of_squares(a) <= obsSq) r.probF += p;
        if (product(a) >= obsProd) r.probSlatkin += p;
        if (a != observed && sum_of_squares(a) == obsSq) ++r.tiesF;
        if (a != observed && product(a) == obsProd) ++r.tiesSlatkin;
        for (std::size_t i = 0; i < k; ++i) {
            r.meanCount[i] += p * a[i];
            meanC2[i] += p * a[i] * a[i];
        }
    }
    r.varF = meanF2 - r.meanF * r.meanF;
    for (std::size_t i = 0; i < k; ++i) r.varCount[i] = meanC2[i] - r.meanCount[i] * r.meanCount[i];
    return r;
}

// --- fixtures ------------------------------------------------------------------

// A frequency list holding the given counts (most frequent first).
struct CountList {
    AHaplFreqList list{10, 10};
    explicit CountList(std::vector<double> const& values) {
        for (double v : values) {
            auto* r = new AHaplFreq;
            r->relFreq = v;
            r->relFreqSd = v * v;
            list.Add(r);
        }
    }
};

// A sample whose own haplotype list holds the given counts.
void fill_sample(PopGenetics& p, std::vector<int> const& counts, char const* sampleName = "pop1") {
    p.name = sampleName;
    p.SampleSize = std::accumulate(counts.begin(), counts.end(), 0);
    p.NbHaplotypeEntries = static_cast<int>(counts.size());
    p.NbHaplotypeEntriesRead = static_cast<int>(counts.size());
    for (int c : counts) p.haplotypes.Add(new PHaploDef{nullptr, c});
}

settings ew_settings(int replicates) {
    settings s;
    s.NumIterationsNeutralityTests = replicates;
    s.InferHaplotypeDefinitionFromDistanceMatrix = 0;
    s.stopFlag = 0;
    return s;
}

// Within z standard errors of the mean of R draws (plus rounding slack).
void expect_within(double estimate, double exact, double variance, int R, char const* what, double slack = 1e-9) {
    const double se = std::sqrt(std::max(variance, 0.0) / R);
    EXPECT_NEAR(estimate, exact, 4.5 * se + slack) << what;
}

// --- the Ewens-Watterson test ------------------------------------------------------

TEST(EwensWatterson, AgreesWithExactEnumeration) {
    struct Case {
        int n;
        Partition observed;
    };
    // Observed configurations whose F and Slatkin statistic no other
    // configuration shares (checked below), so ties cannot go either way.
    for (Case c : {Case{10, {5, 3, 1, 1}}, Case{12, {6, 3, 2, 1}}, Case{14, {4, 3, 3, 2, 1, 1}}}) {
        const ExactEW exact = exact_ew(c.n, c.observed);
        ASSERT_EQ(exact.tiesF, 0) << c.n;
        ASSERT_EQ(exact.tiesSlatkin, 0) << c.n;

        const int R = 20000;
        PopGenetics p;
        fill_sample(p, c.observed);
        CountList obs(std::vector<double>(c.observed.begin(), c.observed.end()));
        settings s = ew_settings(R);
        initialize_ran3(-97531);
        const EwensWattersonResult r = ewens_watterson_step(p, obs.list, R, false, s);
        ASSERT_EQ(r.outcome, EwensWattersonResult::Outcome::tested);

        EXPECT_NEAR(p.ewObservedF, static_cast<double>(sum_of_squares(c.observed)) / (c.n * c.n), 1e-15);
        double lnProd = std::log(static_cast<double>(product(c.observed)));
        EXPECT_NEAR(p.slatkinObsStat, -lnProd, 1e-12);
        expect_within(p.ewExpectedF, exact.meanF, exact.varF, R, "E[F]");
        expect_within(p.ewProbF, exact.probF, exact.probF * (1 - exact.probF), R, "P(F <= obs)");
        expect_within(p.slatkinExactP, exact.probSlatkin, exact.probSlatkin * (1 - exact.probSlatkin), R,
                      "Slatkin P");
        EXPECT_EQ(r.expectedF, p.ewExpectedF);
        EXPECT_EQ(r.probF, p.ewProbF);

        ASSERT_EQ(r.expected.size(), c.observed.size());
        for (std::size_t i = 0; i < r.expected.size(); ++i) {
            expect_within(r.expected[i].absFreq, exact.meanCount[i], exact.varCount[i], R, "mean count by rank");
            EXPECT_NEAR(r.expected[i].relFreq, r.expected[i].absFreq / c.n, 1e-15);
        }
    }
}

// --- Chakraborty's test ------------------------------------------------------------

// P(K = j | n, theta) for j = 1 .. n by summing Ewens probabilities.
std::vector<double> exact_k_distribution(int n, double theta) {
    std::vector<double> pk(static_cast<std::size_t>(n) + 1, 0.0);
    for (auto& a : partitions_of(n)) pk[a.size()] += ewens_probability(a, n, theta);
    return pk;
}

TEST(Chakraborty, SampleFormAgreesWithExactEnumeration) {
    for (std::vector<int> counts : {std::vector<int>{5, 3, 1, 1}, std::vector<int>{6, 6}, std::vector<int>{3, 2, 2, 1, 1, 1, 1, 1}}) {
        PopGenetics p;
        fill_sample(p, counts);
        const ChakrabortyResult r = chakraborty_step(p);
        ASSERT_EQ(r.outcome, ChakrabortyResult::Outcome::tested);
        const int n = static_cast<int>(p.SampleSize);
        const int k = static_cast<int>(counts.size());
        ASSERT_GT(p.thetaHom, 0.0);
        const std::vector<double> pk = exact_k_distribution(n, p.thetaHom);
        double atLeastK = 0, meanK = 0;
        for (int j = 1; j <= n; ++j) {
            if (j >= k) atLeastK += pk[j];
            meanK += j * pk[j];
        }
        EXPECT_NEAR(p.chakrabortyP, atLeastK, 1e-9) << k;
        EXPECT_EQ(p.probKOrMoreAlleles, p.chakrabortyP);
        EXPECT_NEAR(p.expNumAlleles, meanK, 1e-9) << k;
        EXPECT_NEAR(r.probabilities.probExactlyK, pk[k], 1e-9) << k;
        EXPECT_EQ(r.homozygosity, p.homozygosity);
    }
}

TEST(Chakraborty, Refusals) {
    struct Case {
        std::vector<int> counts;
        char const* text;
    };
    for (Case c : {Case{{6},
                        "Warning: Chakraborty's test of selective neutrality cannot be performed \n"
                        "when there is a single haplotype in the sample. Skipping task...\n\n"},
                   Case{{1, 1, 1, 1},
                        "No. of genes in sample   :      4.00000\n"
                        "No. of alleles in sample :            4\n"
                        "\nThe test is impossible because all gene copies are different\n\n"}}) {
        PopGenetics p;
        fill_sample(p, c.counts);
        std::ostringstream report;
        p.Chakraborty_neutr_test(report);
        EXPECT_EQ(report.str(), c.text);
        EXPECT_EQ(p.chakrabortyP, -1.0);
    }
}

}  // namespace
}  // namespace quintle
