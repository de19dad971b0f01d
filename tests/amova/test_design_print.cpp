// The writers of an AMOVA design's result, on results made by hand: the
// batch line's fields, and what the result-file section holds with and
// without the engine's print flag.

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "amova/design_print.h"
#include "amova/design_result.h"
#include "run/settings.h"

namespace quintle {
namespace {

// Design G_P_I (code 6): four levels, tests run in the order Vd, Vc, Vb, Va.
AmovaDesignResult four_level_result() {
    AmovaDesignResult r;
    r.design = 6;
    r.computed = true;
    r.finished = true;
    r.rows = 4;
    int const df[4] = {1, 2, 10, 14};
    double const v[4] = {0.5, -0.0625, 0.25, 0.375};
    for (int k = 0; k < 4; ++k) {
        r.df[k] = df[k];
        r.v[k] = v[k];
        r.ss[k] = 2.0 * (k + 1);
    }
    r.total_ss = 20.0;
    r.total_v = 1.0625;
    r.total_df = 27;
    r.FIS = 0.4;
    r.FSC = -0.1;
    r.FCT = 0.47058823529411764;  // 8/17
    r.FIT = 0.6470588235294118;   // 11/17
    r.permutations = 8;
    r.tests_finished = true;
    char const* const names[4] = {"Vd", "Vc", "Vb", "Va"};
    for (int k = 0; k < 4; ++k) {
        AmovaTestOutcome t;
        t.name = names[k];
        t.complete = true;
        t.counted = k;
        t.p = (k + 1) / 8.0;
        r.tests.push_back(t);
    }
    r.batch_tests[0] = 3;
    r.batch_tests[1] = 2;
    r.batch_tests[2] = 1;
    r.batch_tests[3] = 0;
    r.batch_after = 3;
    return r;
}

// The line: file name; d.f. of the four levels; Va..Vd; FIT, FCT, FSC, FIS;
// the permutation count; P of Va, Vb, Vc, Vd (numbers as the stream writes
// them by default: six significant digits).
TEST(DesignBatchLine, FieldsInTheirOrder) {
    AmovaDesignResult const r = four_level_result();
    std::ostringstream out;
    write_amova_batch_line(out, my_string("proj.pmp"), r, true);
    EXPECT_EQ(out.str(),
              "proj.pmp\t1\t2\t10\t14\t0.5\t-0.0625\t0.25\t0.375\t0.647059\t0.470588\t-0.1\t0.4"
              "\t8\t0.5\t0.375\t0.25\t0.125\n");

    // Without the print flag (one locus of the locus-by-locus analysis) the
    // line holds only the tests.
    std::ostringstream quiet;
    write_amova_batch_line(quiet, my_string("proj.pmp"), r, false);
    EXPECT_EQ(quiet.str(), "proj.pmp\t\t8\t0.5\t0.375\t0.25\t0.125\n");

    // A design of one group of samples: zeros where it has no level.
    AmovaDesignResult one;
    one.design = 3;
    one.computed = true;
    one.rows = 2;
    one.df[0] = 2;
    one.df[1] = 17;
    one.v[0] = 0.125;
    one.v[1] = 1.5;
    one.FST = 0.25;
    std::ostringstream line;
    write_amova_batch_line(line, my_string("x"), one, true);
    EXPECT_EQ(line.str(), "x\t2\t17\t0\t0\t0.125\t1.5\t0\t0\t0.25\t0\t0\t0\n");
}

// The P values are due once the test the design names has its P value: not
// when it stopped before, nor without permutations.
TEST(DesignBatchLine, PValuesOnlyOnceDue) {
    AmovaDesignResult r = four_level_result();
    r.tests.pop_back();  // the fourth test did not start
    std::ostringstream out;
    write_amova_batch_line(out, my_string("p"), r, true);
    EXPECT_EQ(out.str(), "p\t1\t2\t10\t14\t0.5\t-0.0625\t0.25\t0.375\t0.647059\t0.470588\t-0.1\t0.4\n");

    AmovaDesignResult none;  // no design (recessive data, or none fits)
    std::ostringstream empty;
    write_amova_batch_line(empty, my_string("p"), none, true);
    EXPECT_EQ(empty.str(), "p\t\n");
}

// The section: the table with its indices under the print flag, the
// significance lines of the tests that reached a P value; nothing without
// the flag (and no histogram unless asked).
TEST(DesignSection, TableAndTestsOnlyWithThePrintFlag) {
    settings s;
    AmovaDesignResult r = four_level_result();
    std::ostringstream quiet;
    print_amova_design(quiet, r, s, false);
    EXPECT_EQ(quiet.str(), "");

    r.tests[1].complete = false;  // the second test stopped: its lines are left out
    r.tests[2].complete = false;
    r.tests[3].complete = false;
    r.tests[0].label = "Vd and FIT : P(rand. value &lt; obs. value)  = ";
    r.tests[0].counted = 3;
    r.tests[0].equal = 1;
    r.tests[0].p = 0.5;
    r.tests[0].sd = 0.25f;
    std::ostringstream out;
    print_amova_design(out, r, s, true);
    std::string const text = out.str();
    std::string const rule(70, '-');
    EXPECT_NE(text.find(" Within\n individuals     14          8.000        0.37500 Vd            35.29\n" + rule +
                        "\n Total           27         20.000        1.06250\n" + rule +
                        "\n Fixation Indices\n      FIS :      0.40000\n      FSC :     -0.10000\n"
                        "      FCT :      0.47059\n      FIT :      0.64706\n" +
                        rule + "\n"),
              std::string::npos)
        << text;
    // 3 of 8 values below, 1 equal: P = 0.5.
    EXPECT_NE(text.find("\nSignificance tests (8 permutations)\n------------------\n\n"
                        "Vd and FIT : P(rand. value &lt; obs. value)  =  0.37500\n"
                        "             P(rand. value = obs. value)  =  0.12500\n"
                        "                                  P-value =  0.50000+-0.25000\n\n"),
              std::string::npos)
        << text;
    // One test's lines only.
    std::size_t const first = text.find("P(rand. value = obs. value)");
    EXPECT_EQ(text.find("P(rand. value = obs. value)", first + 1), std::string::npos);
    EXPECT_EQ(text.find("Histogram"), std::string::npos);
}

}  // namespace
}  // namespace quintle
