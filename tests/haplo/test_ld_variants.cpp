// The variants of the unphased linkage test that no analysis calls: the
// one-pass test of a pair, the flags of loci linked with many others, and
// the test with an inbreeding coefficient read from "HapFreqPar.txt".

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "haplo/haplo_test_support.h"
#include "run/glbobj.h"

namespace quintle {
namespace {

using test::HandSample;

// Loci 0 and 1 carried together, locus 2 on its own.
class LdVariants : public test::HaploTest {
protected:
    void SetUp() override {
        HaploTest::SetUp();
        for (auto const& [a, b] : {std::pair{"ABC", "ABc"}, {"abc", "abC"}, {"ABC", "abc"}, {"ABc", "ABc"},
                                   {"abC", "abC"}, {"ABC", "abc"}, {"ABC", "ABC"}, {"abc", "abc"}, {"ABc", "abC"},
                                   {"abC", "ABc"}})
            h.add(a, b);
        h.pop.name = "Field";
        h.flag_polymorphic();
    }
    HandSample h{3};
};

// One pass of permutations: P is a count over their number.
TEST_F(LdVariants, OnePassTestOfAPair) {
    int loci[3] = {2, 0, 1};
    long done = 0;
    double chi = -1, lnLD = 0, lnLE = 0;
    initialize_ran3(-4);
    s().LDPValue = 0.625;  // P is returned; the settings stay as read
    s().PrecisionOnPValueLD = 0.125;
    double const P = h.pop.calc_pairwise_LD(loci, h.pop.phenotypes, s(), done, chi, lnLD, lnLE, 2, 40, 500, 1e-7);
    EXPECT_EQ(done, 40);
    EXPECT_NEAR(P * 40.0, std::round(P * 40.0), 1e-12);
    EXPECT_LT(P, 0.05);
    EXPECT_EQ(s().LDPValue, 0.625);
    EXPECT_EQ(s().PrecisionOnPValueLD, 0.125);
    EXPECT_EQ(chi, -1) << "no statistic of its own";
    EXPECT_GT(lnLD, lnLE);
    EXPECT_EQ(h.pop.calc_pairwise_LD(loci, h.pop.phenotypes, s(), done, chi, lnLD, lnLE, 2, 0, 500, 1e-7), 1.0)
        << "without permutations there is nothing to count";
}

// Linked with one of three loci is a share of 1/3: above 0.3, below 0.4.
TEST_F(LdVariants, FlagsOfLinkedLoci) {
    for (auto [threshold, flagged] : {std::pair{0.3, 1}, std::pair{0.4, 0}}) {
        int flags[3] = {7, 7, 7};
        initialize_ran3(-4);
        h.pop.calc_all_pairwise_LDs(h.pop.phenotypes, s(), flags, 0.05, threshold, 2, 40, 500, 1e-7);
        EXPECT_EQ(flags[0], flagged);
        EXPECT_EQ(flags[1], flagged);
        EXPECT_EQ(flags[2], 0);
    }
    // A stopped run leaves every pair at P = 1, never at its -1000 mark:
    // no locus is linked.
    int flags[3] = {7, 7, 7};
    s().stopFlag = 1;
    h.pop.calc_all_pairwise_LDs(h.pop.phenotypes, s(), flags, 0.05, 0.3, 2, 40, 500, 1e-7);
    s().stopFlag = 0;
    EXPECT_EQ(flags[0], 0);
    EXPECT_EQ(flags[1], 0);
    EXPECT_EQ(flags[2], 0);
    std::unique_ptr<int[]> released(new int[3]);
    initialize_ran3(-4);
    h.pop.select_loci_in_LD(s(), 0.05, 0.3, std::move(released));
    EXPECT_NE(log().find("\t\tTesting linkage disequilibrium (phenotypic data)...\n\t\tdone !\n"), std::string::npos);
}

// "HapFreqPar.txt" in the working directory replaces the arguments: here
// 25 permutations (5 blocks of 6), with the inbreeding option set; each
// pair gets its line and one batch row.
TEST_F(LdVariants, InbreedingTestReadsItsParameterFile) {
    std::filesystem::path const before = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    test::put(dir / "HapFreqPar.txt", "1  inbreeding\n0  keep\n2  starts\n0  compact\n300  iterations\n0\n1e-7\n25\n");
    std::ofstream rows(dir / "rows.txt");
    test::Saved<int> flag(_LINKAGE_DISEQUILIBRIUM_, 1);
    test::Saved<std::ostream*> stream(ofs_link_dis_pro_inbreeding, &rows);
    initialize_ran3(-8);
    s().PrecisionOnPValueLD = 0.125;
    h.pop.calc_all_link_dis_fast(result, h.pop.phenotypes, s(), 50, 1000, 1000, 1e-7);
    std::filesystem::current_path(before);
    EXPECT_EQ(s().PrecisionOnPValueLD, 0.125) << "each pair's s.d. is printed, not put into the settings";
    rows.close();
    std::string const text = output();
    EXPECT_EQ(test::occurrences(text, " : Exact P= "), 3);
    EXPECT_EQ(test::occurrences(text, "(30 permutations done)"), 3) << text;
    std::string const batch = test::slurp(dir / "rows.txt");
    EXPECT_EQ(test::occurrences(batch, "\n"), 3);
    std::string const first = batch.substr(0, batch.find('\n'));
    // File, sample, option, two fits of seven values with a 0 between them,
    // P and the permutation count.
    EXPECT_EQ(test::occurrences(first, "\t"), 19) << first;
    EXPECT_EQ(first.substr(first.size() - 3), "\t25");
}

}  // namespace
}  // namespace quintle
