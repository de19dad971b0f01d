// The haplotype-frequency report: the window-by-window run along random
// locus orders and its report, the conventional run and the two-locus and
// single-locus blocks.

#include <gtest/gtest.h>

#include <regex>
#include <utility>

#include "haplo/haplo_test_support.h"

namespace quintle {
namespace {

using test::HandSample;
using test::next_draws;

class EmReport : public test::HaploTest {
protected:
    void zipper(int window, int orders) {
        s().EMUseZipper = 1;
        s().EMWinSize = window;
        s().EMNumZipRandOrders = orders;
        s().ComputeAllHaplotypesEM = 1;
        s().InitialConditionsEM = 4;
    }
    std::string line_after(std::string const& text, std::string const& head) {
        auto at = text.find(head);
        if (at == std::string::npos) return "(absent)";
        at += head.size();
        return text.substr(at, text.find('\n', at) - at);
    }
};

// Five loci in windows of two: one further step, so four loci take part.
// The locus order is shuffled from the end with the first four draws of the
// run; the whole report is held to the one recorded under the same seed.
TEST_F(EmReport, ZipperShufflesTheOrderAndListsTheLociUsed) {
    load("em_zipper.pmp");
    zipper(2, 1);
    std::vector<double> const u = next_draws(-20240, 4);
    std::vector<int> order{0, 1, 2, 3, 4};
    for (int j = 4; j >= 1; --j) std::swap(order[static_cast<std::size_t>(j)], order[static_cast<std::size_t>(j * u[static_cast<std::size_t>(4 - j)])]);
    EXPECT_EQ(sample(0).comp_gam_phase_EM(s()), 1);
    std::string expected;
    for (int i = 0; i < 4; ++i) expected += std::to_string(order[static_cast<std::size_t>(i)] + 1) + " ";
    EXPECT_EQ(line_after(output(), "Loci within window                          : "), expected);
    EXPECT_EQ(line_after(output(), "Number or loci order                        : "), "1");
}

TEST_F(EmReport, ZipperReportUnderAFixedSeed) {
    load("em_zipper.pmp");
    zipper(2, 3);
    initialize_ran3(-20240);
    EXPECT_EQ(sample(0).comp_gam_phase_EM(s()), 1);
    EXPECT_EQ(output(), test::slurp(test::haplo_data("zipper_report.txt")));
    // The split sample: one entry per individual.
    EXPECT_EQ(sample(0).phenotypes.size(), 12);
}

// A window outside [1, L] is brought back into it and printed as used; a
// negative number of orders means the natural order only, with no draw.
TEST_F(EmReport, WindowAndOrderCountsOutOfRange) {
    struct Case {
        int window, orders;
        char const* shownWindow;
        char const* loci;
    };
    for (Case const& c : {Case{0, -3, "1", "1 2 3 4 5 "}, Case{9, 0, "5", "1 2 3 4 5 "}, Case{-2, 0, "1", "1 2 3 4 5 "}}) {
        SCOPED_TRACE(c.window);
        start_again();
        project.clean();
        result.close();
        result.open(dir / "result.txt", std::ios::in | std::ios::out | std::ios::trunc);
        load("em_zipper.pmp");
        zipper(c.window, c.orders);
        std::vector<double> const u = next_draws(-8, 1);
        s().InitialConditionsEM = 0;  // no start: the run draws nothing at all
        EXPECT_EQ(sample(0).comp_gam_phase_EM(s()), 1);
        std::string const text = output();
        EXPECT_EQ(line_after(text, "Window size for zipper EM                   : "), c.shownWindow);
        EXPECT_EQ(line_after(text, "Number or loci order                        : "), "1");
        EXPECT_EQ(line_after(text, "Loci within window                          : "), c.loci);
        long one = 1;
        EXPECT_EQ(ran3(&one), u[0]);
    }
}

// With single-locus reports asked for, the zipper report comes first, then
// the conventional one, then one block per locus; two loci with the
// two-locus reports give one block for the pair.
TEST_F(EmReport, ReportsFollowOneAnother) {
    HandSample h(2);
    for (auto const& [a, b] : {std::pair{"AB", "ab"}, {"AB", "Ab"}, {"aB", "ab"}, {"AB", "AB"}}) h.add(a, b);
    zipper(1, 0);
    s().ComputeAllAllelesEM = 1;
    s().ComputeAllSubHaplotypesEM = 1;
    s().NumBootstrapReplicatesEM = 0;
    initialize_ran3(-1);
    EXPECT_EQ(h.pop.comp_gam_phase_EM(s()), 1);
    std::string const text = output();
    std::vector<std::string> const heads{"Zipper version of the EM algorithm", "Conventional EM algorithm  (one pass)",
                                         "Standard deviations not computed \n", "Bi-locus ML haplotype frequencies",
                                         "the pair of loci( 1 , 2 )", "Allele frequencies : ", "the locus 1\n",
                                         "the locus 2\n"};
    std::size_t at = 0;
    for (std::string const& head : heads) {
        std::size_t const next = text.find(head, at);
        ASSERT_NE(next, std::string::npos) << head;
        at = next;
    }
    EXPECT_EQ(test::occurrences(text, "the pair of loci("), 1);
    EXPECT_EQ(test::occurrences(text, "No bootstrap confidence interval estimation\n"), 3);
    EXPECT_NE(text.find("1995. Maximum-likelihood estimation of molecular haplotype frequencies in a diploid"),
              std::string::npos);
}

// Exactly 1 selects the zipper; 2 runs the conventional EM.
TEST_F(EmReport, OnlyOneSelectsTheZipper) {
    HandSample h(2);
    h.add("AB", "ab");
    zipper(1, 0);
    s().EMUseZipper = 2;
    EXPECT_EQ(h.pop.comp_gam_phase_EM(s()), 1);
    EXPECT_EQ(output().find("Zipper"), std::string::npos);
    EXPECT_NE(output().find("Conventional EM algorithm"), std::string::npos);
}

}  // namespace
}  // namespace quintle
