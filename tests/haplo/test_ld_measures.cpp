// D, D' and r2 of phased pairs and the sample's linkage values for the
// statistics line.
//
// Reference values:
// - haplotypes AB 30, Ab 10, aB 10, ab 30: worked out by hand (D 0.125,
//   Dmax 0.25, D' 0.5, r2 0.25, chi-square 20);
// - AB 25, Ab 5, aB 10, ab 20: R 4.2, package genetics 1.3.8, LD() on one
//   homozygous diploid per haplotype: D 0.12500559, D' 0.60002681,
//   r 0.50711521 (its haplotype frequencies come from an EM that stops just
//   short of the exact ones); chi-square N r2 from r2 computed here;
// - the 3 x 3 table [[6,1,1],[1,5,2],[0,2,6]]: python3 with numpy 1.24,
//   D = pab - outer(pa, pb), Dmax by the sign of D, r2 = D^2 / outer(pa(1-pa),
//   pb(1-pb)), X = N r2, P = scipy.stats.chi2.sf(X, 1); D'_w 0.575, r2_w
//   0.168168.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "haplo/ld_measures.h"
#include "haplo_fixture.h"

namespace quintle {
namespace {

using haplo_test::AnalysisTest;
using haplo_test::from_table;
using haplo_test::PhasedSample;

TEST(LdCell, TheBalancedExampleExactly) {
    LdCell const c = ld_cell(30, 40, 40, 80);
    EXPECT_DOUBLE_EQ(c.D, 0.125);
    EXPECT_DOUBLE_EQ(c.Dmax, 0.25);
    EXPECT_DOUBLE_EQ(c.Dprime, 0.5);
    EXPECT_DOUBLE_EQ(c.r2, 0.25);
    EXPECT_DOUBLE_EQ(c.chi2, 20.0);
    LdCell const other = ld_cell(10, 40, 40, 80);  // A with b
    EXPECT_DOUBLE_EQ(std::fabs(other.Dprime), 0.5);
    EXPECT_DOUBLE_EQ(other.r2, 0.25);
}

TEST(LdCell, AnUnbalancedPairAgreesWithTheGeneticsPackage) {
    // Cell (a, b): 20 of 60 copies, a on 30, b on 25.
    LdCell const c = ld_cell(20, 30, 25, 60);
    EXPECT_NEAR(c.D, 0.12500559, 1e-4);
    EXPECT_NEAR(c.Dprime, 0.60002681, 1e-4);
    EXPECT_NEAR(c.r, 0.50711521, 1e-4);
    double const r2 = c.D * c.D / (0.5 * 0.5 * (25.0 / 60) * (35.0 / 60));
    EXPECT_NEAR(c.chi2, 60 * r2, 1e-12);
}

TEST(LdCell, ThreeAllelesAgreeWithDirectFormulas) {
    std::vector<std::vector<double>> const t = {{6, 1, 1}, {1, 5, 2}, {0, 2, 6}};
    double const D[3][3] = {{0.152777777778, -0.069444444444, -0.083333333333},
                            {-0.055555555556, 0.097222222222, -0.041666666667},
                            {-0.097222222222, -0.027777777778, 0.125}};
    double const Dp[3][3] = {
        {0.785714285714, -0.625, -0.666666666667}, {-0.571428571429, 0.4375, -0.333333333333}, {-1.0, -0.25, 0.6}};
    double const r2[3][3] = {{0.508403361345, 0.09765625, 0.133333333333},
                             {0.067226890756, 0.19140625, 0.033333333333},
                             {0.205882352941, 0.015625, 0.3}};
    double const rows[3] = {8, 8, 8}, cols[3] = {7, 8, 9};
    for (int a = 0; a < 3; ++a) {
        for (int b = 0; b < 3; ++b) {
            LdCell const c = ld_cell(t[a][b], rows[a], cols[b], 24);
            EXPECT_NEAR(c.D, D[a][b], 1e-11);
            EXPECT_NEAR(c.Dprime, Dp[a][b], 1e-11);
            EXPECT_NEAR(c.r2, r2[a][b], 1e-11);
            EXPECT_NEAR(c.chi2, 24 * r2[a][b], 1e-10);
        }
    }
}

class MeasuresTest : public AnalysisTest {
protected:
    MeasuresTest() {
        s.ComputeDvalues = 1;
        s.MakeExactTestLD = 0;
    }
    // The linkage values the sample kept from its last analysis.
    static LinkageLine const& line_of(PhasedSample const& sample) {
        EXPECT_TRUE(sample.pop.linkage_line);
        static LinkageLine const none;
        return sample.pop.linkage_line ? *sample.pop.linkage_line : none;
    }
};

TEST_F(MeasuresTest, TheSixTablesOfTheBalancedExample) {
    PhasedSample sample(from_table({{30, 10}, {10, 30}}));
    sample.pop.calc_all_gam_des(result_, 0, s);
    std::string const header = "  Locus0\\Locus1|  c1|  c2|\n";
    std::string const expected =
        "\n--------------------\nLoci 0 and 1\n--------------------\n"
        "\n  1: Observed contingency table\n\n" +
        header +
        "             r1|  30|  10|   40\n"
        "             r2|  10|  30|   40\n"
        "               |  40  40\n"
        "  Total number of gametes : 80\n"
        "\n  2: Expected table\n\n" +
        header +
        "             r1|20.00|20.00|\n"
        "             r2|20.00|20.00|\n"
        "\n 3: Table of disequilibrium values (D=pab-pa*pb) for all two-locus haplotypes\n\n" +
        header +
        "             r1|  0.1250| -0.1250|\n"
        "             r2| -0.1250|  0.1250|\n"
        "\n 4: Table of standardized disequilibrium values (D'=D/Dmax)\n\n" +
        header +
        "             r1|  0.5000| -0.5000|\n"
        "             r2| -0.5000|  0.5000|\n"
        "\n 4: Table of standardized disequilibrium values (r2)\n\n" +
        header +
        "             r1|  0.2500|  0.2500|\n"
        "             r2|  0.2500|  0.2500|\n"
        "\n 5: Table of Chi-square values ( Chi2=sqr(D)*n/(pa*(1-pa)*pb*(1-pb)) )\n\n" +
        header +
        "             r1| 20.0000| 20.0000|\n"
        "             r2| 20.0000| 20.0000|\n"
        "\n 6: Table of Chi-square P values (1 d.f.)\n\n" +
        header +
        "             r1|  0.0000|  0.0000|\n"
        "             r2|  0.0000|  0.0000|\n";
    EXPECT_EQ(result(), expected);
}

TEST_F(MeasuresTest, PairValuesReachTheStatisticsRecordAndTheBatchLine) {
    open_batch_streams();
    settings::input_file = "p.pmp";
    // The 3 x 3 table of the header and one more locus, monomorphic.
    auto list = from_table({{6, 1, 1}, {1, 5, 2}, {0, 2, 6}});
    for (auto& [text, count] : list) text += " m";
    PhasedSample sample(list, "S");
    sample.pop.calc_all_gam_des(result_, 0, s);
    // Last allele pair (r3, c3): D 0.125, D' 0.6, r 0.547723, r2 0.3.
    EXPECT_EQ(batch("l_d_val.sum"), "\"p.pmp\"\t\"S\"\t0\t1\t  0.125\t    0.6\t  0.575\t  0.548\t    0.3\t  0.168\n");
    LinkageLine const& line = line_of(sample);
    ASSERT_EQ(line.adjDprime.size(), 1u);
    EXPECT_NEAR(line.adjDprime[0], 0.6, 1e-12);
    EXPECT_NEAR(line.adjR2[0], 0.3, 1e-12);
    ASSERT_TRUE(line.flankR2);
    EXPECT_NEAR(*line.meanDprime, 0.6, 1e-12);
    EXPECT_NEAR(line.meanAdjR2, 0.3, 1e-12);
}

// An allele on haplotype entries of count 0 only has total 0: r2, r and the
// chi-square have no value there, and must stay out of every value.
TEST_F(MeasuresTest, AnAlleleWithoutCopiesGivesStarsAndNoValues) {
    open_batch_streams();
    PhasedSample sample({{"r1 c1", 5}, {"r1 c2", 3}, {"r2 c1", 2}, {"r2 c2", 4}, {"r3 c1", 0}});
    sample.pop.calc_all_gam_des(result_, 0, s);
    std::string const text = result();
    EXPECT_EQ(text.find("nan"), std::string::npos) << text;
    EXPECT_NE(text.find("             r3|       *|       *|\n\n 5:"), std::string::npos) << text;
    EXPECT_NE(log().find("#[ERROR"), std::string::npos);  // D' without Dmax
    LinkageLine const& values = line_of(sample);
    EXPECT_TRUE(values.adjR2.empty());
    EXPECT_FALSE(values.flankR2);
    EXPECT_FALSE(values.flankDprime);
    ASSERT_TRUE(values.meanR2);
    EXPECT_EQ(*values.meanR2, 0.0);
    std::string const line = batch("l_d_val.sum");
    // r2_w of the cells with a value: every one of them has r2 1/12 by hand.
    EXPECT_EQ(line.substr(line.size() - 8), " 0.0833\n");
    EXPECT_NE(line.find("\t      *\t      *\t      *\t      *\t"), std::string::npos) << line;
}

TEST_F(MeasuresTest, EveryPairEndsItsBatchLine) {
    open_batch_streams();
    settings::input_file = "p.pmp";
    s.ComputeDvalues = 0;
    PhasedSample sample({{"a b c", 3}, {"d e c", 2}, {"a e f", 1}}, "S");
    sample.pop.calc_all_gam_des(result_, 0, s);
    EXPECT_EQ(batch("l_d_val.sum"), "\"p.pmp\"\t\"S\"\t0\t1\t\n\"p.pmp\"\t\"S\"\t0\t2\t\n\"p.pmp\"\t\"S\"\t1\t2\t\n");
    EXPECT_EQ(result().find(" 3: Table"), std::string::npos);
}

// With the exact test off as with it on, each analysis of a sample gives its
// own linkage values, never mixed with those of an earlier sample.
TEST_F(MeasuresTest, EachSampleHasItsOwnLinkageValues) {
    PhasedSample first(from_table({{30, 10}, {10, 30}}));  // r2 0.25, D' 0.5
    PhasedSample second(from_table({{20, 0}, {0, 20}}));   // r2 1, D' 1
    for (int exact : {0, 1}) {
        SCOPED_TRACE(exact);
        s.MakeExactTestLD = exact;
        first.pop.calc_all_gam_des(result_, 100, s);
        EXPECT_DOUBLE_EQ(line_of(first).meanAdjDprime, 0.5);
        second.pop.calc_all_gam_des(result_, 100, s);
        LinkageLine const& line = line_of(second);
        for (auto const* v : {&line.adjDprime, &line.adjR2}) {
            ASSERT_EQ(v->size(), 1u);
            EXPECT_DOUBLE_EQ((*v)[0], 1.0);
        }
        for (double v : {line.meanAdjDprime, line.meanAdjR2, *line.meanDprime, *line.meanR2, *line.flankDprime,
                         *line.flankR2})
            EXPECT_DOUBLE_EQ(v, 1.0);
    }
}

// A sample without two polymorphic loci has no linkage values: the pass
// keeps those of the sample before.
TEST_F(MeasuresTest, ASampleOfOnePolymorphicLocusHasNoLinkageValues) {
    PhasedSample single({{"a m", 3}, {"b m", 2}});
    single.pop.linkage_line = LinkageLine{};
    single.pop.calc_all_gam_des(result_, 0, s);
    EXPECT_FALSE(single.pop.linkage_line);
}

// The flanking pair is the first and the last polymorphic locus, also when
// locus 0 is monomorphic; adjacent pairs are loci one apart.
TEST_F(MeasuresTest, FlankingAndAdjacentPairs) {
    PhasedSample sample({{"m a b x c", 6}, {"m d b y c", 2}, {"m d e x f", 4}, {"m a e y f", 1}});
    sample.pop.calc_all_gam_des(result_, 0, s);
    LinkageLine const& line = line_of(sample);
    // Polymorphic loci 1, 2, 3, 4: adjacent (1,2), (2,3), (3,4); flanking (1,4).
    EXPECT_EQ(line.adjR2.size(), 3u);
    ASSERT_TRUE(line.flankR2);
    // Loci 1 and 4 by hand: a-c 6, a-f 1, d-c 2, d-f 4 of 13 copies; the
    // last allele pair (d, f) has D = 4/13 - (6/13)(5/13).
    double const D = 4.0 / 13 - 6.0 / 13 * 5.0 / 13;
    double const r2 = D * D / ((6.0 / 13) * (7.0 / 13) * (5.0 / 13) * (8.0 / 13));
    EXPECT_NEAR(*line.flankR2, r2, 1e-12);
    EXPECT_TRUE(line.meanDprime);
}

TEST_F(MeasuresTest, WithoutTheMeasuresOnlyTheMeansReceiveAValue) {
    s.ComputeDvalues = 0;
    PhasedSample sample(from_table({{30, 10}, {10, 30}}));
    sample.pop.calc_all_gam_des(result_, 0, s);
    LinkageLine const& line = line_of(sample);
    EXPECT_TRUE(line.adjDprime.empty() && line.adjR2.empty() && !line.flankDprime);
    ASSERT_TRUE(line.meanDprime);
    EXPECT_EQ(*line.meanDprime, 0.0);
    EXPECT_EQ(line.meanAdjR2, 0.0);
}

}  // namespace
}  // namespace quintle
