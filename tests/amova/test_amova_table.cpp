// The tables of a locus-by-locus AMOVA: the per-locus rows, the
// population-specific indices per locus and the weighted average over loci
// with its bootstrap percentiles and significance tests.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "amova/AMOVA_table.h"
#include "core/random.h"
#include "run/settings.h"
#include "support/process_state.h"

namespace quintle {
namespace {

int count(std::string const& text, std::string const& pattern) {
    int n = 0;
    for (auto p = text.find(pattern); p != std::string::npos; p = text.find(pattern, p + 1)) ++n;
    return n;
}

class AmovaTableTest : public ::testing::Test {
protected:
    // A type-2 record (populations, individuals) with the given components.
    amova_results* add(int locus, double v1, double v2, double v3, std::vector<double> perm1 = {}) {
        auto* r = new amova_results();
        r->locus = locus;
        r->type = 2;
        r->V1 = v1;
        r->V2 = v2;
        r->V3 = v3;
        r->VT = v1 + v2 + v3;
        r->SS2 = 10 * v1;
        r->SS3 = 10 * v2;
        r->SS4 = 10 * v3;
        r->SST = r->SS2 + r->SS3 + r->SS4;
        r->df1 = 1;
        r->FST = v1 / r->VT;
        r->FIS = v2 / (v2 + v3);
        for (double v : perm1) r->perm_values1.Add(v);
        table.results.Add(r);
        return r;
    }
    std::string average() {
        std::ostringstream out;
        averaged = table.print_average_loci(out, &run);
        return out.str();
    }

    LocusAverage averaged;  // what the last average() computed
    settings run;  // points to no sample set: the bootstrap writes no anchor
    AMOVA_table table;
};

TEST_F(AmovaTableTest, EmptyTablePrintsNothing) {
    std::ostringstream out;
    table.print_table_header(out);
    table.print_table(out);
    table.print_Fst_per_pop_table(out, 10, false);
    table.print_Fis_per_pop_table(out, 10, true);
    table.print_average_loci(out, nullptr);
    EXPECT_EQ(out.str(), "");
}

// The layout follows the first record's type; a locus of no variance has
// no row.
TEST_F(AmovaTableTest, RowsFollowTheFirstRecordsType) {
    add(0, 0.5, 0.25, 0.25);
    add(1, 0, 0, 0)->VT = 1e-18;  // monomorphic: no row
    add(4, 1, 1, 2);
    std::ostringstream out;
    table.print_table_header(out);
    table.print_table(out);
    std::string const text = out.str();
    std::istringstream lines(text);
    std::string l1, l2, r1, r2, rest;
    std::getline(lines, l1);
    std::getline(lines, l2);
    std::getline(lines, r1);
    std::getline(lines, r2);
    EXPECT_FALSE(std::getline(lines, rest));
    EXPECT_EQ(l1.substr(0, 25), "       Among populations:");
    EXPECT_NE(l1.find("Among Individuals:"), std::string::npos);
    EXPECT_EQ(l2.substr(0, 7 + 15 + 7 + 15), "  Locus            SSD   d.f.             Va");
    EXPECT_NE(l2.find("       FIS   P-value       FST   P-value       FIT   P-value"), std::string::npos);
    // Locus 1: sums 5, 2.5, 2.5, components in percent of VT.
    EXPECT_EQ(r1.substr(0, 29 + 30), "      1        5.00000      1        0.50000       50.00000");
    EXPECT_EQ(r2.substr(0, 7), "      5");
}

// A population beyond a record's own list, and a not-computed index,
// print "N.A."; deviations need a nonzero global index.
TEST_F(AmovaTableTest, PerPopulationTables) {
    amova_results* a = add(0, 1, 1, 2);
    for (double v : {0.2, -9.99999, 0.6}) a->pop_FIS.Add(v);
    amova_results* b = add(1, 1, 0, 2);  // FIS 0
    b->pop_FIS.Add(0.1);                 // one value only
    // These tables take the notation the main table left on the stream.
    std::ostringstream fis, dev, fst;
    for (std::ostringstream* o : {&fis, &dev, &fst}) *o << std::fixed << std::showpoint;
    table.print_Fis_per_pop_table(fis, 8, false);
    EXPECT_EQ(fis.str(),
              "      1       0.33333 0.20000    N.A. 0.60000\n"
              "      2       0.00000 0.10000    N.A.    N.A.\n");
    table.print_Fis_per_pop_table(dev, 8, true);
    EXPECT_EQ(dev.str(),
              "      1       0.33333 -40.000    N.A.  80.000\n"
              "      2       0.00000    N.A.    N.A.    N.A.\n");

    a->pop_FST.Add(0.5);
    a->pop_FST.Add(0.0);
    table.print_Fst_per_pop_table(fst, 8, false);  // df1 = 1: two populations
    EXPECT_EQ(fst.str(),
              "      1       0.25000 0.50000 0.00000\n"
              "      2       0.33333    N.A.    N.A.\n");
}

// The average's indices are ratios of sums over loci; five loci print no
// percentiles, six print 17 of each index.
TEST_F(AmovaTableTest, AverageOverLociAndItsPercentiles) {
    std::vector<double> const v1{0.5, 0.1, 0.3, 0.0, 0.2, 0.4}, v2{0.1, 0.2, 0.0, 0.3, 0.1, 0.2},
        v3{1.0, 0.8, 1.2, 0.9, 1.1, 0.7};
    for (int l = 0; l < 5; ++l) add(l, v1[l], v2[l], v3[l]);
    std::string text = average();
    double S1 = 0, S2 = 0, S3 = 0;
    for (int l = 0; l < 5; ++l) S1 += v1[l], S2 += v2[l], S3 += v3[l];
    EXPECT_NE(text.find("AMOVA design and results (average over 5 loci):"), std::string::npos);
    EXPECT_EQ(text.find("bootstrap percentile"), std::string::npos);
    EXPECT_NE(text.find("\nNo permutations were done and significance levels cannot be reported\n"), std::string::npos);
    // The line takes every index of the design: FIS, FST and FIT.
    FixationIndices const line = average_line_indices(averaged);
    ASSERT_TRUE(line.fis && line.fst && line.fit);
    EXPECT_FALSE(line.fct || line.fsc);
    EXPECT_DOUBLE_EQ(*line.fis, S2 / (S2 + S3));
    EXPECT_DOUBLE_EQ(*line.fst, S1 / (S1 + S2 + S3));
    EXPECT_DOUBLE_EQ(*line.fit, (S1 + S2) / (S1 + S2 + S3));

    add(5, v1[5], v2[5], v3[5]);
    initialize_ran3(-77);
    text = average();
    for (char const* index : {"FIT", "FST", "FIS"})
        EXPECT_EQ(count(text, std::string("\n") + index + " bootstrap percentile values (over 20000 bootstraps)"), 1)
            << index;
    EXPECT_EQ(count(text, " 0.05 %    : "), 3);
    EXPECT_EQ(count(text, " 99.95 %   : "), 3);
    EXPECT_LT(text.find("FIT bootstrap"), text.find("FST bootstrap"));
    EXPECT_LT(text.find("FST bootstrap"), text.find("FIS bootstrap"));
    initialize_ran3(-77);
    EXPECT_EQ(average(), text) << "a fixed seed repeats the percentiles";

    LocusAverage const a = table.average_loci();
    ASSERT_EQ(a.bootstraps.size(), 3u);
    for (auto const& b : a.bootstraps) {
        ASSERT_EQ(b.values.size(), 20000u);
        EXPECT_TRUE(std::is_sorted(b.values.begin(), b.values.end()));
    }
}

// The permuted mean of a component takes value s of every locus (0 where a
// locus has fewer) and divides by all L; equal within 1e-10 counts apart.
TEST_F(AmovaTableTest, SignificanceOfTheAveragedComponents) {
    auto* r = add(0, 0.4, 0.1, 1.0, {0.1, 0.5, 0.4, 0.6});
    r->perm_values2.Add(0.1);
    add(1, 0.2, 0.1, 1.0, {0.3});
    // Observed mean of V1 0.3; permuted means 0.2, 0.25, 0.2, 0.3.
    LocusAverage const a = table.average_loci();
    ASSERT_EQ(a.permutations, 4);
    ASSERT_EQ(a.tests.size(), 3u);
    EXPECT_EQ(a.tests[1].component, 1);
    EXPECT_EQ(a.tests[1].extreme, 0);
    EXPECT_EQ(a.tests[1].equal, 1);
    std::string const text = average();
    EXPECT_NE(text.find("Significance tests (4 permutations)\n------------------\n\n"
                        "Vb and FIS : P(rand. value > obs. value)  = "),
              std::string::npos);
    EXPECT_NE(text.find("Va and FST : P(rand. value > obs. value)  =  0.00000\n"
                        "             P(rand. value = obs. value)  =  0.25000\n"
                        "                                  P-value =  0.25000\n\n"),
              std::string::npos);
    EXPECT_NE(text.find("Vc and FIT : P(rand. value &lt; obs. value)  = "), std::string::npos);
}

// A first locus whose AMOVA was refused holds no permuted values: the
// count comes from the first locus that has them, not "No permutations".
TEST_F(AmovaTableTest, PermutationCountFromTheFirstLocusThatHasThem) {
    add(0, 0.0, 0.0, 0.0);
    add(1, 0.4, 0.1, 1.0, {0.1, 0.5, 0.4});
    add(2, 0.2, 0.1, 1.0, {0.3, 0.2, 0.1});
    // Observed mean of V1 0.2; permuted means 0.4/3, 0.7/3 and 0.5/3.
    LocusAverage const a = table.average_loci();
    ASSERT_EQ(a.permutations, 3);
    EXPECT_EQ(a.tests[1].extreme, 1);
    std::string const text = average();
    EXPECT_EQ(text.find("No permutations were done"), std::string::npos) << text;
    EXPECT_NE(text.find("Significance tests (3 permutations)"), std::string::npos) << text;
}

// Each design type gives the line the indices of its own levels.
TEST(AverageLineIndices, TheIndicesOfEachDesign) {
    struct Case {
        int type;
        char const* present;  // of "IS", "ST", "CT", "SC", "IT"
    };
    Case const cases[] = {{1, "ST"},          {2, "IS ST IT"}, {3, "ST CT SC"}, {4, "IS CT SC IT"},
                          {5, "ST CT SC"},    {6, "IS"},       {7, "ST"},       {8, ""},
                          {0, ""}};
    for (Case const& c : cases) {
        LocusAverage a;
        a.type = c.type;
        a.FIS = 0.1, a.FST = 0.2, a.FCT = 0.3, a.FSC = 0.4, a.FIT = 0.5;
        FixationIndices const f = average_line_indices(a);
        std::string const want = c.present;
        SCOPED_TRACE(c.type);
        EXPECT_EQ(f.fis.has_value(), want.find("IS") != std::string::npos);
        EXPECT_EQ(f.fst.has_value(), want.find("ST") != std::string::npos);
        EXPECT_EQ(f.fct.has_value(), want.find("CT") != std::string::npos);
        EXPECT_EQ(f.fsc.has_value(), want.find("SC") != std::string::npos);
        EXPECT_EQ(f.fit.has_value(), want.find("IT") != std::string::npos);
        if (f.fct) {
            EXPECT_EQ(*f.fct, 0.3);
        }
    }
}

}  // namespace
}  // namespace quintle
