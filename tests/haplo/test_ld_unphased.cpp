// The linkage-disequilibrium test on unphased genotypes: its statistic
// against independent values, the blocks of permutations, the two roads
// that must agree, its power on simulated data, its section of the result
// file and its histogram file.

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

#include "core/numerics.h"
#include "core/TriMat.h"
#include "haplo/haplo_test_support.h"
#include "haplo/ld_pair_test.h"

namespace quintle {
namespace {

using test::HandSample;

class LdTest : public test::HaploTest {
protected:
    LdPairOutcome pair(Population& p, int j, int i, long permutations, LdRoad road = LdRoad::automatic) {
        int loci[3] = {2, j, i};
        return ld_permutation_pair(p, loci, p.phenotypes, s(), permutations, 1000, 1e-7, road);
    }
};

struct PairReference {
    char const* project;
    double lnLD, lnLE, chiSquare, chiSquareP;
    int df;
};

// lnLD: R 4.2, haplo.stats 1.9.3, haplo.em(g[, 1:4], control =
// haplo.em.control(tol = 1e-10, n.try = 50))$lnlike on the first two loci.
// lnLE: the sum over individuals and both loci of ln(p_a p_b), doubled for
// a heterozygote, p the allele counts over 2N (Python, by hand). The
// chi-square value is -2 (lnLD - lnLE) and its P
// scipy.stats.chi2.sf(chi, df) (SciPy 1.10.1).
PairReference const pairReferences[] = {
    {"em_standard.pmp", -140.1223811053, -150.4567801064, 20.6687980022, 0.0003683206233, 4},
    {"em_microsat.pmp", -150.0922853442, -173.6743200324, 47.1640693763, 1.735306643e-08, 6},
};

// 1000 permutations run as 31 blocks of 33, so P is a multiple of 1/1023.
TEST_F(LdTest, StatisticAndBlocksOnStandardAndMicrosatData) {
    for (PairReference const& r : pairReferences) {
        SCOPED_TRACE(r.project);
        start_again();
        project.clean();
        load(r.project);
        initialize_ran3(-31);
        // The test gives its P and s.d. in its outcome; the settings stay as read.
        s().LDPValue = 0.625;
        s().PrecisionOnPValueLD = 0.125;
        LdPairOutcome const o = pair(sample(0), 0, 1, 1000);
        EXPECT_TRUE(o.compactRoad);
        EXPECT_EQ(o.done, 1023);
        EXPECT_NEAR(o.p * 1023.0, std::round(o.p * 1023.0), 1e-9);
        EXPECT_LT(o.p, 0.01) << "the loci are strongly linked";
        EXPECT_EQ(s().LDPValue, 0.625);
        EXPECT_EQ(s().PrecisionOnPValueLD, 0.125);
        EXPECT_NEAR(o.lnLD, r.lnLD, 1e-4);
        EXPECT_NEAR(o.lnLE, r.lnLE, 1e-9);
        EXPECT_NEAR(o.chiSquare, r.chiSquare, 1e-4);
        EXPECT_EQ(o.df, r.df);
        EXPECT_EQ(sample(0).degreesOfFreedom, r.df);
        float const p = Prob_of_chi_sq(static_cast<float>(o.df), static_cast<float>(r.chiSquare));
        EXPECT_NEAR(p, r.chiSquareP, 1e-5 * r.chiSquareP);
    }
}

// The allele-number road and the phenotype-base road run the same draws
// and sums, merging identical individuals or not.
TEST_F(LdTest, BothRoadsGiveTheSameNumbers) {
    load("em_microsat.pmp");
    for (int merge : {0, 1}) {
        s().EMCheckPhenRedundancy = merge;
        for (auto [j, i] : {std::pair{0, 2}, std::pair{1, 3}}) {
            SCOPED_TRACE(std::to_string(merge) + " " + std::to_string(j) + std::to_string(i));
            initialize_ran3(-7);
            LdPairOutcome const fast = pair(sample(0), j, i, 60);
            initialize_ran3(-7);
            LdPairOutcome const slow = pair(sample(0), j, i, 60, LdRoad::phenotype_bases);
            EXPECT_TRUE(fast.compactRoad);
            EXPECT_FALSE(slow.compactRoad);
            EXPECT_EQ(fast.done, 63);  // 7 blocks of 9
            EXPECT_EQ(fast.done, slow.done);
            EXPECT_EQ(fast.p, slow.p);
            EXPECT_EQ(fast.sd, slow.sd);
            EXPECT_EQ(fast.lnLD, slow.lnLD);
            EXPECT_EQ(fast.lnLE, slow.lnLE);
            EXPECT_EQ(fast.df, slow.df);
            long one = 1;
            double const next = ran3(&one);
            initialize_ran3(-7);
            pair(sample(0), j, i, 60);
            EXPECT_EQ(ran3(&one), next);
        }
    }
}

// Two loci simulated 10 times, 60 individuals each: carried by two
// haplotypes only (complete linkage), or drawn independently.
TEST_F(LdTest, FindsCompleteLinkageAndRarelyFlagsIndependentLoci) {
    std::mt19937 rng(2024);
    std::bernoulli_distribution half(0.5);
    int linkedFound = 0, unlinkedClear = 0;
    for (int set = 0; set < 10; ++set) {
        HandSample linked(2), unlinked(2);
        for (int n = 0; n < 60; ++n) {
            auto gamete = [&](bool tied) {
                bool const a = half(rng);
                bool const b = tied ? a : half(rng);
                return std::string{a ? 'A' : 'a', b ? 'B' : 'b'};
            };
            std::string const l1 = gamete(true), l2 = gamete(true);
            linked.add(l1, l2);
            std::string const u1 = gamete(false), u2 = gamete(false);
            unlinked.add(u1, u2);
        }
        linked.flag_polymorphic();
        unlinked.flag_polymorphic();
        initialize_ran3(-(set + 1));
        if (pair(linked.pop, 0, 1, 400).p < 0.01) ++linkedFound;
        if (pair(unlinked.pop, 0, 1, 400).p > 0.05) ++unlinkedClear;
    }
    EXPECT_EQ(linkedFound, 10);
    EXPECT_GE(unlinkedClear, 8);
}

// Three loci, the last one monomorphic: one tested pair, two skipped ones
// with a statistic of 0, P 1 and no degree of freedom.
class LdSection : public LdTest {
protected:
    void SetUp() override {
        LdTest::SetUp();
        for (auto const& [a, b] : {std::pair{"ABC", "ABC"}, {"abC", "abC"}, {"ABC", "abC"}, {"ABC", "ABC"},
                                   {"abC", "abC"}, {"ABC", "abC"}, {"ABC", "ABC"}, {"abC", "abC"}})
            h.add(a, b);
        h.pop.name = "Field";
        h.flag_polymorphic();
        s().LDHistoFileName = (dir / "ld_dis.xl").string().c_str();
        s().MakeExactTestLD = 1;
        s().SignificanceLevelLD = 0.05;
    }
    std::string run(long permutations) {
        initialize_ran3(-12);
        h.pop.calc_all_link_dis(result, h.pop.phenotypes, s(), 50, permutations, 1000, 1e-7);
        return output();
    }
    HandSample h{3};
};

TEST_F(LdSection, SectionAndHistogramFile) {
    s().PrintFlagHistogramLD = 1;
    std::string const text = run(100);
    EXPECT_EQ(text.rfind("\n\nTest of linkage disequilibrium for all pairs of loci:\n" + std::string(53, '-') +
                             "\n\n\nPermutation test using the EM algorithm\nNumber of permutations               : "
                             "100\nNumber of initial conditions for EM  : 2\n\nPair(0, 1)\n          LnLHood LD : ",
                         0),
              0u)
        << text;
    EXPECT_NE(text.find(" (110 permutations done)     Chi-square test value="), std::string::npos) << text;
    std::string const skipped =
        " 0.00000 (0 permutations done)     Chi-square test value= 0.00000 (P =  1.00000,  0 d.f.)\n";
    EXPECT_EQ(test::occurrences(text, skipped), 2) << text;
    std::string const rule(69, '-');
    EXPECT_NE(text.find("\n\nHistogram of the number of linked loci per locus\n\n" + rule + "\nLocus:     0    1    2\n" +
                        rule + "\n           1    1    0\n" + rule + "\n\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Table of significant linkage disequilibrium"), std::string::npos);
    EXPECT_EQ(test::slurp(dir / "ld_dis.xl"), "Histogram for population : Field\n\n"
                                               "Loci \t  Number of linked loci\t Polymorphic Locus\n"
                                               "0\t1\t1\n1\t1\t1\n2\t0\t0\n\n\n");
    EXPECT_EQ(s().PrintFlagHistogramLD, 2);
}

// Flag 0 writes no file for the first sample but switches to 2, so the next
// one appends; 3 stays 3.
TEST_F(LdSection, HistogramFlagAfterEachSample) {
    s().PrintFlagHistogramLD = 0;
    s().MarkovChainStepsLD = 0;
    run(0);
    EXPECT_FALSE(std::filesystem::exists(dir / "ld_dis.xl"));
    EXPECT_EQ(s().PrintFlagHistogramLD, 2);
    run(0);
    EXPECT_EQ(test::occurrences(test::slurp(dir / "ld_dis.xl"), "Histogram for population"), 1);
    s().PrintFlagHistogramLD = 3;
    run(0);
    EXPECT_EQ(s().PrintFlagHistogramLD, 3);
}

// No permutation asked for, or no EM start: P is 1 with no permutation
// done; without starts the pair is not tested at all.
TEST_F(LdSection, NoPermutationsOrNoStarts) {
    std::string const text = run(0);
    EXPECT_EQ(test::occurrences(text, "Exact P=  1.00000  +-   0.00000 (0 permutations done)     Chi-square test value="),
              3);
    EXPECT_EQ(test::occurrences(text, "Chi-square test value= 0.00000 (P =  1.00000,  0 d.f.)"), 2);
    EXPECT_EQ(test::occurrences(text, ",  1 d.f.)"), 1) << "the tested pair keeps its statistic";
    result.close();
    result.open(dir / "result.txt", std::ios::in | std::ios::out | std::ios::trunc);
    s().InitialCondEMLD = 0;
    std::string const none = run(100);
    EXPECT_EQ(test::occurrences(none, "LnLHood LD :    0.00000          LnLHood LE :    0.00000"), 3) << none;
    EXPECT_EQ(test::occurrences(none, "Chi-square test value= 0.00000 (P =  1.00000,  0 d.f.)"), 3);
}

TEST_F(LdTest, OneLocusAndSelectionsThatAreNotPairs) {
    HandSample h(1);
    h.add("A", "a");
    h.flag_polymorphic();
    h.pop.calc_all_link_dis(result, h.pop.phenotypes, s(), 50, 100, 1000, 1e-7);
    EXPECT_NE(output().find("\nThe permutation test is not possible with only 1 locus\n"), std::string::npos);
    int single[2] = {1, 0};
    long done = 0;
    double chi = 0, lnLD = 0, lnLE = 0;
    EXPECT_EQ(h.pop.calc_link_dis_prob(single, h.pop.phenotypes, s(), done, chi, lnLD, lnLE, 50, 100, 1000, 1e-7), 0.0);
    EXPECT_EQ(count_in_log("\"Population::calc_link_dis_prob()\" : " + std::string(Errors::message(118))), 1);
}

// Recessive data: the copies are resampled from the single-locus
// estimates, and a pair with one monomorphic locus is tested too.
TEST_F(LdTest, RecessiveDataResample) {
    HandSample h(2);
    for (auto const& [a, b] : {std::pair{"AB", "AB"}, {"aB", "aB"}, {"AB", "aB"}, {"AB", "AB"}, {"aB", "AB"}}) h.add(a, b);
    h.flag_polymorphic();
    h.pop.recessiveAllelesEM = 1;
    s().RecessiveAllelesEM = 1;
    s().MakeExactTestLD = 1;
    initialize_ran3(-5);
    h.pop.calc_all_link_dis(result, h.pop.phenotypes, s(), 50, 100, 1000, 1e-7);
    std::string const text = output();
    EXPECT_NE(text.find("Resampling test using the EM algorithm (recessive data)"), std::string::npos);
    EXPECT_NE(text.find("(110 permutations done)"), std::string::npos) << text;
    // The pair's P, as printed: a share of the resamplings.
    std::size_t const at = text.find("Exact P=");
    ASSERT_NE(at, std::string::npos) << text;
    double const P = std::stod(text.substr(at + 8));
    EXPECT_GE(P, 0.0);
    EXPECT_LE(P, 1.0);
}

// Each allele's weight becomes its share of the sample's gene copies; an
// empty sample is reported.
TEST_F(LdTest, AlleleFrequenciesOfTheSample) {
    HandSample h(2);
    h.add("AB", "aB", 3);
    h.add("ab", "ab", 1);
    h.pop.update_allele_freq();
    EXPECT_DOUBLE_EQ(h.db.loci.data[0]->alleles.data[0]->weight, 3.0 / 8.0);
    EXPECT_DOUBLE_EQ(h.db.loci.data[0]->alleles.data[1]->weight, 5.0 / 8.0);
    EXPECT_DOUBLE_EQ(h.db.loci.data[1]->alleles.data[0]->weight, 6.0 / 8.0);
    HandSample empty(2);
    empty.pop.update_allele_freq();
    EXPECT_EQ(count_in_log(Errors::message(158)), 1);
}

}  // namespace
}  // namespace quintle
