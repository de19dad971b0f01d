// The "Exact Test of Sample Differentiation" section written by real runs:
// its layout, the pair whose table cannot be built, every data type, and the
// same section again under the same seed.

#include <gtest/gtest.h>

#include <string>

#include "structure/structure_runs.h"

namespace quintle {
namespace {

using structure_test::occurrences;
using structure_test::ProjectRun;

std::map<std::string, std::string> exact_only(std::string const& histogram = "1") {
    return {{"TaskNumber", "8192"},
            {"NumPermutPopDiff", "1000"},
            {"NumDememoPopDiff", "100"},
            {"PrintHistoPopDiff", histogram}};
}

std::string const title = "== Exact Test of Sample Differentiation Based on";
std::string const end_of_run = "////////";

// exact_pairs.pmp: "second" and "third" hold only h1, so their pair has
// one column. Its cell shows -1 and s.d. 1, it counts as no difference and
// the notice ends the section; the other tests run (N = 1000: ten batches of
// 2000 steps, 20000 in all).
TEST_F(ProjectRun, ExactTestSectionWithAnImpossiblePair) {
    ASSERT_EQ(run("structure/exact_pairs.pmp", exact_only()), 0);
    std::string const s = section(title, end_of_run);
    ASSERT_FALSE(s.empty()) << result();
    EXPECT_NE(s.find("Based on Haplotype Frequencies"), std::string::npos);
    EXPECT_NE(s.find("Label  \tPopulation name\n-----  \t---------------\n  1\tfirst\n  2\tsecond\n  3\tthird\n"),
              std::string::npos)
        << s;
    EXPECT_NE(s.find("(20000 Markov steps done)"), std::string::npos) << s;
    EXPECT_NE(s.find("\nMarkov chain length : 1000 steps)\n\nNon-differentiation exact P values :\n\n"
                     "                1                 2\n\n"
                     "           2   0."),
              std::string::npos)
        << s;
    EXPECT_NE(s.find("\n           3   1.00000+-0.0000  -1.00000+-1.0000\n"), std::string::npos) << s;
    EXPECT_NE(s.find("                     1         2         3\n"
                     "           1                   -         -\n"
                     "           2         -                   -\n"
                     "           3         -         -          \n"),
              std::string::npos)
        << s;
    EXPECT_NE(s.find("-----------------------------------\n|         1|         2|         3|\n"
                     "-----------------------------------\n|         0|         0|         0|\n"),
              std::string::npos)
        << s;
    EXPECT_NE(s.find("\nAt for one population pair the test was not possible to\n"
                     "be done. This is indicated by an absurde P-value of -1:"),
              std::string::npos)
        << s;
    EXPECT_NE(log().find("from function \"DiffInterPop::make_diff_test()\" : unable to build haplotype table"),
              std::string::npos);
    // Nothing of it on the statistics line: the same line as without the test.
    std::string const line = file("stats.txt");
    ASSERT_EQ(run("structure/exact_pairs.pmp", {{"TaskNumber", "0"}}), 0);
    EXPECT_EQ(file("stats.txt"), line);
}

TEST_F(ProjectRun, WithoutHistogramTheSectionEndsAfterTheMatrix) {
    ASSERT_EQ(run("structure/exact_pairs.pmp", exact_only("0")), 0);
    std::string const s = section(title, end_of_run);
    EXPECT_EQ(s.find("Table of significant differences"), std::string::npos) << s;
    EXPECT_EQ(s.find("Histogram"), std::string::npos);
    EXPECT_NE(s.find("-1.00000+-1.0000\n\nAt for one population pair"), std::string::npos) << s;
}

// A project of each data type writes the section (unphased diploid data by
// genotypes, phased ones by haplotypes), and a fixed seed repeats it.
TEST_F(ProjectRun, EveryDataTypeWritesTheSectionAndASeedRepeatsIt) {
    struct Case {
        char const* project;
        char const* basis;
        int samples;
        int impossible;  // pairs shown with -1
    };
    for (Case c : {Case{"structure/exact_pairs.pmp", "Haplotype", 3, 1},
                   {"datatypes/rflp_groups.pmp", "Haplotype", 3, 0},
                   {"project/microsat_diploid.pmp", "Genotype", 2, 0},
                   {"alleles/standard_diploid.pmp", "Genotype", 2, 0},
                   {"alleles/frequency2.pmp", "Haplotype", 2, 0},
                   {"compare/dna_diploid_phased.pmp", "Haplotype", 3, 0}}) {
        ASSERT_EQ(run(c.project, exact_only()), 0) << c.project;
        std::string const first = section(title, end_of_run);
        EXPECT_NE(first.find(title + std::string(" ") + c.basis + " Frequencies"), std::string::npos)
            << c.project << "\n" << first;
        EXPECT_EQ(occurrences(first, "+-"), 1 + c.samples * (c.samples - 1) / 2) << c.project << "\n" << first;
        EXPECT_EQ(occurrences(first, "-1.00000"), c.impossible) << c.project << "\n" << first;
        ASSERT_EQ(run(c.project, exact_only()), 0);
        EXPECT_EQ(section(title, end_of_run), first) << c.project;
    }
    ASSERT_EQ(run("structure/exact_pairs.pmp", exact_only()), 0);
    std::string const first = section(title, end_of_run);
    ASSERT_EQ(run("structure/exact_pairs.pmp", exact_only(), "POP_LEVEL\nALL_K\n", 14), 0);
    EXPECT_NE(section(title, end_of_run), first) << "another seed, other chains";
}

// Without a chain length (a settings file that lacks NumPermutPopDiff reads
// 0) no test runs: every P value shows -1, none counts as significant, and
// no pair takes the P value of the one before.
TEST_F(ProjectRun, NoChainLengthShowsMinusOneEverywhere) {
    auto keys = exact_only();
    keys["NumPermutPopDiff"] = "0";
    ASSERT_EQ(run("compare/dna_missing_base.pmp", keys), 0);
    std::string const s = section(title, end_of_run);
    EXPECT_NE(s.find("Exact P value = -1.00000 +- 1.00000  (0 Markov steps done)"), std::string::npos) << s;
    EXPECT_NE(s.find("           3  -1.00000+-1.0000  -1.00000+-1.0000\n"), std::string::npos) << s;
    EXPECT_EQ(occurrences(s, "         +"), 0) << s;
    EXPECT_NE(s.find("|         0|         0|         0|"), std::string::npos) << s;
}

// A single sample has nothing to compare: no section.
TEST_F(ProjectRun, OneSampleWritesNoSection) {
    ASSERT_EQ(run("alleles/standard_haploid.pmp", exact_only()), 0);
    EXPECT_EQ(result().find(title), std::string::npos);
    EXPECT_NE(log().find("Successful run of"), std::string::npos);
}

}  // namespace
}  // namespace quintle
