// The export reads a run of identical consecutive individuals as one
// genotype that keeps their names and counts: every writer still writes each
// individual under its own name, as many times as it counts, in the order
// read, and an individual that differs ends the run. Expected lines are
// worked by hand: GenePop numbers each locus's alleles in the order they are
// first met (locus 1: A, C, B; locus 2: B, D, A).

#include "translate/translate_support.h"

namespace quintle::test {
namespace {

std::string project(char const* separator, char const* north, char const* south) {
    return std::string("[Profile]\nTitle=\"runs\"\nNbSamples=2\nDataType=STANDARD\nGenotypicData=1\nLocusSeparator=") +
           separator + "\n[Data]\n[[Samples]]\nSampleName=\"north\"\nSampleSize=5\nSampleData={\n" + north +
           "}\nSampleName=\"south\"\nSampleSize=3\nSampleData={\n" + south + "}\n";
}

class IdenticalRuns : public TranslateTest {};

TEST_F(IdenticalRuns, EveryIndividualIsWrittenUnderItsOwnName) {
    put(work / "runs.pmp",
        project("WHITESPACE", "i1 1 A B\n   C D\ni2 1 A B\n   C D\ni3 2 A A\n   B B\ni4 1 A B\n   C D\n",
                "j1 3 C B\n   C D\n"));

    translate("Pellomar", "Genepop", "runs.pmp", "runs.gen");
    EXPECT_EQ(lines_from(file("runs.gen"), "POP"),
              (std::vector<std::string>{"POP", "i1, 0102 0102 ", "i2, 0102 0102 ", "i3, 0103 0301 ", "i3, 0103 0301 ",
                                        "i4, 0102 0102 ", "POP", "j1, 0202 0102 ", "j1, 0202 0102 ",
                                        "j1, 0202 0102 "}))
        << file("runs.gen");

    translate("Pellomar", "Biosys", "runs.pmp", "runs.bio");
    EXPECT_EQ(lines_from(file("runs.bio"), "0   north"),
              (std::vector<std::string>{"0   north           ", "i1         AC BD", "i2         AC BD",
                                        "i3         AB AB", "i3         AB AB", "i4         AC BD", "NEXT",
                                        "1   south           ", "j1         CC BD", "j1         CC BD",
                                        "j1         CC BD", "NEXT", "END;"}))
        << file("runs.bio");

    // Two rows per copy, named by the individual, its copy and the gamete.
    translate("Pellomar", "Phylip", "runs.pmp", "runs.phy");
    std::vector<std::string> names;
    for (std::string const& l : lines_of(file("runs.phy"))) names.push_back(l.substr(0, l.find(' ')));
    EXPECT_EQ(names, (std::vector<std::string>{"16", "i100", "i101", "i200", "i201", "i300", "i301", "i310", "i311",
                                               "i400", "i401", "j100", "j101", "j110", "j111", "j120", "j121"}));
    EXPECT_FALSE(failed()) << run_log();
}

TEST_F(IdenticalRuns, MegaRowsFollowTheIndividuals) {
    put(work / "runs.pmp", project("NONE", "i1 1 AB\n   CD\ni2 1 AB\n   CD\ni3 2 AA\n   BB\ni4 1 AB\n   CD\n",
                                   "j1 3 CB\n   CD\n"));
    translate("Pellomar", "Mega", "runs.pmp", "runs.meg");
    EXPECT_EQ(lines_from(file("runs.meg"), "#i100"),
              (std::vector<std::string>{"#i100  AB", "#i101  CD", "#i200  AB", "#i201  CD", "#i300  AA", "#i301  BB",
                                        "#i310  AA", "#i311  BB", "#i400  AB", "#i401  CD", "#j100  CB", "#j101  CD",
                                        "#j110  CB", "#j111  CD", "#j120  CB", "#j121  CD"}))
        << file("runs.meg");
    EXPECT_FALSE(failed()) << run_log();
}

}  // namespace
}  // namespace quintle::test
