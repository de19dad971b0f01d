// The multi-start EM estimator: frequencies and log-likelihoods against an
// independent implementation, the order of the random draws, the choice
// among equal maxima, the inbreeding model, the pruned enumeration and the
// bootstrap.

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <numeric>
#include <sstream>

#include "haplo/haplo_test_support.h"

namespace quintle {
namespace {

using test::frequencies;
using test::HandSample;
using test::HaploTest;
using test::next_draws;

class EmEstimator : public HaploTest {
protected:
    // Runs the estimator on the loci of `sel` (all of them when null) of
    // the first sample, converged far beyond the reference's tolerance.
    double estimate(int const* sel, TPopHaploDB& out, int& nDistinct) {
        PopGenetics& p = sample(0);
        TPhenDB phen;
        if (sel != nullptr)
            phen.create_temp_PhenDB(sel, p.phenotypes);
        else
            phen = p.phenotypes;
        double f = 0.0;
        return p.calc_ML_hapl_freq_hill95_LD(phen, out, s(), nDistinct, 0, f, nullptr, nullptr, 0, 50, 200000, 1e-13);
    }
};

struct Reference {
    char const* project;
    std::vector<int> loci;  // empty: all
    double lnlike;
    std::map<std::string, double> freqs;
};

// Reference values: R 4.2, haplo.stats 1.9.3, on the genotypes of the
// projects (two columns per locus), for each seed 1..5:
//   set.seed(k); fit <- haplo.em(g[, cols], control = haplo.em.control(tol = 1e-10, n.try = 50))
// fit$lnlike and fit$hap.prob (the same maximum from every seed; the
// frequencies below are those of seed 5).
Reference const references[] = {
    {"em_standard.pmp", {}, -172.5080663763,
     {{"1 1 1 ", 0.2923556403}, {"1 1 2 ", 0.0549311250}, {"1 2 1 ", 0.0727132347}, {"1 3 2 ", 0.1300000000},
      {"2 1 2 ", 0.0727132347}, {"2 2 1 ", 0.1749311250}, {"2 2 2 ", 0.0823556403}, {"2 3 1 ", 0.0200000000},
      {"3 1 2 ", 0.0100000000}, {"3 2 3 ", 0.0800000000}, {"3 3 2 ", 0.0100000000}}},
    {"em_standard.pmp", {0, 1}, -140.1223811053,
     {{"1 1 ", 0.3494609786}, {"1 2 ", 0.0793117521}, {"1 3 ", 0.1212272693}, {"2 1 ", 0.0572074374},
      {"2 2 ", 0.2594850624}, {"2 3 ", 0.0333075002}, {"3 1 ", 0.0233315840}, {"3 2 ", 0.0712031855},
      {"3 3 ", 0.0054652305}}},
    {"em_microsat.pmp", {}, -168.6104794187,
     {{"120 130 150 160 ", 0.2503155717}, {"120 130 152 164 ", 0.0800000000}, {"120 134 150 162 ", 0.0496844283},
      {"120 138 154 166 ", 0.0500000000}, {"122 130 152 160 ", 0.1296844283}, {"122 134 152 162 ", 0.1603155717},
      {"122 136 150 166 ", 0.0400000000}, {"124 130 154 160 ", 0.0600000000}, {"124 136 150 164 ", 0.1800000000}}},
    {"em_microsat.pmp", {0, 1}, -150.0922853442,
     {{"120 130 ", 0.3327366652}, {"120 134 ", 0.0407619962}, {"120 136 ", 0.0082552733}, {"120 138 ", 0.0482460653},
      {"122 130 ", 0.1258397852}, {"122 134 ", 0.1692380038}, {"122 136 ", 0.0331682763}, {"122 138 ", 0.0017539347},
      {"124 130 ", 0.0614235496}, {"124 136 ", 0.1785764504}}},
};

TEST_F(EmEstimator, StandardAndMicrosatFrequenciesMatchTheReference) {
    for (Reference const& r : references) {
        SCOPED_TRACE(std::string(r.project) + " loci " + std::to_string(r.loci.size()));
        start_again();
        project.clean();
        load(r.project);
        std::vector<int> sel;
        if (!r.loci.empty()) {
            sel.push_back(static_cast<int>(r.loci.size()));
            sel.insert(sel.end(), r.loci.begin(), r.loci.end());
        }
        TPopHaploDB out;
        int nDistinct = 0;
        double const lnL = estimate(sel.empty() ? nullptr : sel.data(), out, nDistinct);
        EXPECT_NEAR(lnL, r.lnlike, 1e-4);
        std::map<std::string, double> const got = frequencies(out, true);
        for (auto const& [h, f] : r.freqs) {
            auto it = got.find(h);
            ASSERT_NE(it, got.end()) << h;
            EXPECT_NEAR(it->second, f, 1e-4) << h;
        }
        // Whatever the reference leaves out is (close to) absent.
        for (auto const& [h, f] : got) {
            if (r.freqs.count(h) == 0) {
                EXPECT_LT(f, 1e-4) << h;
            }
        }
    }
}

}  // namespace
}  // namespace quintle

namespace quintle {
namespace {

class HandEm : public test::HaploTest {
protected:
    double run(HandSample& h, TPhenDB& phen, TPopHaploDB& out, int& nDistinct, int inbreeding, double& f,
               int starts, int maxIterations, double epsilon = 1e-12) {
        return h.pop.calc_ML_hapl_freq_hill95_LD(phen, out, s(), nDistinct, inbreeding, f, nullptr, nullptr, 0, starts,
                                                 maxIterations, epsilon);
    }
};

double total(TPopHaploDB const& db) {
    double t = 0.0;
    for (long i = 0; i < db.haplotypes.count; ++i) t += db.haplotypes.data[i]->frequency;
    return t;
}

// Without iterations every start scores the probabilities the phenotypes
// already had, so all starts tie and the first one's draws stay. Each start
// draws one number per haplotype in insertion order (AB, ab, Ab, aB), then
// the coefficient when it is estimated.
TEST_F(HandEm, DrawsPerStartAndTheEarliestOfEqualMaximaWins) {
    HandSample h(2);
    h.add("AB", "ab");
    h.add("AB", "AB");
    for (long i = 0; i < h.pop.phenotypes.size(); ++i) h.pop.phenotypes[i]->probability = 0.5;
    std::vector<double> const u = next_draws(-4242, 16);
    TPopHaploDB out;
    int nDistinct = -1;
    double f = 0.0;
    double const lnL = run(h, h.pop.phenotypes, out, nDistinct, 1, f, 3, 0);
    EXPECT_DOUBLE_EQ(lnL, 2.0 * std::log(0.5));
    EXPECT_EQ(nDistinct, 1);
    ASSERT_EQ(out.haplotypes.count, 4);
    double sum = 0.0;
    for (int k = 0; k < 4; ++k) sum += 1.0 + 1000 * u[static_cast<std::size_t>(k)];
    for (int k = 0; k < 4; ++k)
        EXPECT_DOUBLE_EQ(out.haplotypes.data[k]->frequency, (1.0 + 1000 * u[static_cast<std::size_t>(k)]) / sum);
    EXPECT_DOUBLE_EQ(f, u[4] / 3.0);
    EXPECT_DOUBLE_EQ(h.pop.phenotypes.auxValue, u[4] / 3.0);
    long one = 1;
    EXPECT_DOUBLE_EQ(ran3(&one), u[15]);  // three starts of five draws
}

// No start asked for: nothing is estimated and nothing changes.
TEST_F(HandEm, ZeroStartsLeaveTheBasesAlone) {
    HandSample h(2);
    h.add("AB", "ab");
    TPopHaploDB out;
    TPopHaplotype kept;
    out.insert(kept, 0.7);
    std::vector<double> const u = next_draws(-77, 1);
    int nDistinct = -1;
    double f = 0.0;
    EXPECT_EQ(run(h, h.pop.phenotypes, out, nDistinct, 0, f, 0, 100), -3.4028234663852886e38);
    EXPECT_EQ(nDistinct, 0);
    ASSERT_EQ(out.haplotypes.count, 1);
    EXPECT_EQ(out.haplotypes.data[0]->frequency, 0.7);
    long one = 1;
    EXPECT_EQ(ran3(&one), u[0]);
}

// Separate entries homozygous for one haplotype share out its identity by
// descent together: the frequencies sum to 1 and equal those of the merged
// entries.
TEST_F(HandEm, InbreedingSharesOfSeparateHomozygousEntriesAddUp) {
    std::map<std::string, double> merged;
    for (int merge : {0, 1}) {
        HandSample h(2);
        for (auto const& [a, b] : {std::pair{"AB", "AB"}, {"AB", "AB"}, {"ab", "ab"}, {"AB", "ab"}, {"Ab", "aB"},
                                   {"Ab", "Ab"}, {"AB", "aB"}})
            h.add(a, b);
        s().EMCheckPhenRedundancy = merge;
        TPopHaploDB out;
        int nDistinct = 0;
        double f = 0.3;
        run(h, h.pop.phenotypes, out, nDistinct, 1, f, 5, 5000);
        EXPECT_EQ(f, 0.3) << "a fixed coefficient stays";
        EXPECT_NEAR(total(out), 1.0, 1e-12);
        if (merge == 0) {
            merged = frequencies(out);
            continue;
        }
        for (auto const& [hap, freq] : frequencies(out)) EXPECT_NEAR(freq, merged[hap], 1e-9) << hap;
    }
}

// The identity-by-descent shares live apart from the coefficient that the
// genotype table reads, so the table shows Hardy-Weinberg probabilities;
// the base keeps the best start's estimate.
TEST_F(HandEm, InbreedingRunLeavesTheGenotypeTableInHardyWeinbergTerms) {
    HandSample h(2);
    for (auto const& [a, b] : {std::pair{"AB", "AB"}, {"AB", "AB"}, {"ab", "ab"}, {"AB", "ab"}, {"Ab", "aB"}})
        h.add(a, b);
    initialize_ran3(-99);
    TPopHaploDB out;
    int nDistinct = 0;
    double f = 0.0;
    run(h, h.pop.phenotypes, out, nDistinct, 1, f, 6, 1);  // one iteration: the starts end apart
    EXPECT_GT(nDistinct, 1);
    EXPECT_EQ(h.pop.phenotypes.auxValue, f);
    double ibd = 0.0;
    for (long i = 0; i < out.haplotypes.count; ++i) {
        EXPECT_EQ(out.haplotypes.data[i]->inbreedingCoeff, 0.0);
        ibd += out.haplotypes.data[i]->ibdShare;
    }
    EXPECT_GT(ibd, 0.0);
    std::ostringstream table;
    h.pop.phenotypes.printGenotypeFrequencies(table, 1e-5);
    TPhenotype const* homozygote = h.pop.phenotypes[0];
    double const p = homozygote->genotypes.data[0]->hapl1->frequency;
    EXPECT_DOUBLE_EQ(homozygote->probability, p * p);
    for (long i = 0; i < h.pop.phenotypes.size(); ++i) {
        EXPECT_GE(h.pop.phenotypes[i]->probability, 0.0);
        EXPECT_LE(h.pop.phenotypes[i]->probability, 1.0);
    }
}

// The window-by-window enumeration keeps the resolutions whose part on the
// previous loci is a pair of previous haplotypes of positive frequency.
TEST_F(HandEm, PrunedEnumerationKeepsWhatThePreviousBaseAllows) {
    HandSample h(3);
    h.add("ABC", "abc");
    TPhenotype* p = h.pop.phenotypes[0];
    TPopHaploDB previous;
    for (auto const& [g, freq] : {std::pair{"AB", 0.5}, {"ab", 0.5}, {"Ab", 0.0}, {"aB", 0.0}}) {
        TPopHaplotype two;
        for (int l = 0; l < 2; ++l)
            two.alleles.Add(h.db.loci.data[l]->alleles.data[h.db.InsertAllPos(l, my_string(std::string(1, g[l]).c_str()), 0.0)]);
        previous.insert(two, freq);
    }
    int const mask[3] = {1, 1, 0};
    TPopHaploDB store;
    EXPECT_EQ(p->build_compatible_genotypes(previous, mask, store, &h.db, 0, 0.0), 2);
    std::vector<std::string> pairs;
    for (long g = 0; g < p->genotypes.count; ++g) {
        std::ostringstream os;
        os << *p->genotypes.data[g]->hapl1 << "|" << *p->genotypes.data[g]->hapl2;
        pairs.push_back(os.str());
    }
    EXPECT_EQ(pairs, (std::vector<std::string>{"A B C |a b c ", "A B c |a b C "}));
}

// A phenotype that no previous haplotype explains is resolved in full, with
// a warning naming it; one that cannot be enumerated at all stops the run
// before any start.
TEST_F(HandEm, UnexplainedPhenotypesFallBackAndUncountableOnesRunNoStart) {
    HandSample h(2);
    h.add("AB", "aB");
    h.add("AB", "AB");
    TPopHaploDB previous;
    TPopHaplotype onlyA;
    onlyA.alleles.Add(h.db.loci.data[0]->alleles.data[0]);
    previous.insert(onlyA, 1.0);
    int mask[2] = {1, 0};
    TPopHaploDB out;
    int nDistinct = 0;
    double f = 0.0;
    double const lnL = h.pop.calc_ML_hapl_freq_hill95_LD(h.pop.phenotypes, out, s(), nDistinct, 0, f, &previous, mask,
                                                         0, 3, 500, 1e-10);
    EXPECT_GT(lnL, -1e30);
    EXPECT_EQ(h.pop.phenotypes[0]->genotypes.count, 1);
    EXPECT_EQ(count_in_log("for phenotype i1\" : " + std::string(Errors::message(117))), 1) << log();
    EXPECT_EQ(count_in_log("for phenotype i2"), 0);

    std::string many(33, 'A'), other(33, 'a');
    HandSample wide(33);
    wide.add(many, other);
    std::vector<double> const u = next_draws(-5, 1);
    TPopHaploDB none;
    EXPECT_EQ(wide.pop.calc_ML_hapl_freq_hill95_LD(wide.pop.phenotypes, none, s(), nDistinct, 0, f, nullptr, nullptr, 0,
                                                   3, 500, 1e-10),
              -3.4028234663852886e38);
    EXPECT_EQ(nDistinct, 0);
    EXPECT_EQ(count_in_log(Errors::message(114)), 1);
    long one = 1;
    EXPECT_EQ(ran3(&one), u[0]) << "no start drew";
}

TEST_F(HandEm, StopFlagEndsTheRunBeforeAnything) {
    HandSample h(2);
    h.add("AB", "ab");
    s().stopFlag = 1;
    TPopHaploDB out;
    int nDistinct = 7;
    double f = 0.0;
    EXPECT_EQ(run(h, h.pop.phenotypes, out, nDistinct, 0, f, 3, 100), -1000.0);
    EXPECT_EQ(out.haplotypes.count, 0);
    EXPECT_EQ(nDistinct, 7);
}

// One replicate gives no spread; many give one to every estimated
// haplotype, and the estimates themselves stay.
TEST_F(HandEm, BootstrapStandardDeviations) {
    for (int replicates : {1, 30}) {
        HandSample h(2);
        for (auto const& [a, b] : {std::pair{"AB", "ab"}, {"AB", "Ab"}, {"aB", "ab"}, {"AB", "AB"}, {"Ab", "aB"}})
            h.add(a, b);
        initialize_ran3(-3);
        TPopHaploDB out;
        int nDistinct = 0;
        double f = 0.0;
        run(h, h.pop.phenotypes, out, nDistinct, 0, f, 5, 1000, 1e-9);
        std::map<std::string, double> const before = frequencies(out, true);
        h.pop.calc_sd_hapl_freq(h.pop.phenotypes, out, s(), 5, replicates, 1000, 1e-7);
        EXPECT_EQ(frequencies(out, true), before);
        for (long i = 0; i < out.haplotypes.count; ++i) {
            TPopHaplotype const* hp = out.haplotypes.data[i];
            if (replicates == 1) {
                EXPECT_EQ(hp->sd, 0.0) << "the replicate's sums are not turned into a spread";
            } else if (hp->frequency > 1e-3) {
                EXPECT_GT(hp->sd, 0.0) << i;
            }
        }
    }
}

}  // namespace
}  // namespace quintle
