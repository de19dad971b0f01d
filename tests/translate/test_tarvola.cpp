// Tarvola file sets to projects and back. The AMOVA of the set below was
// computed with R's ade4 on the same counts, groups and distances:
//   counts <- data.frame(A = c(5, 3, 0, 0), B = c(4, 2, 2, 0), C = c(0, 0, 4, 4),
//                        D = c(0, 1, 3, 5), row.names = c("h1", "h2", "h3", "h4"))
//   D <- matrix(c(0, 1, 2, 3, 1, 0, 1, 2, 2, 1, 0, 1, 3, 2, 1, 0), 4, 4)
//   g <- data.frame(group = factor(c("G1", "G1", "G2", "G2")), row.names = c("A", "B", "C", "D"))
//   amova(counts, as.dist(sqrt(D)), g)$statphi
//     Phi-samples-total  0.62358057483   (FST)
//     Phi-samples-group -0.06155140163   (FSC)
//     Phi-group-total    0.64540631326   (FCT)
// ade4 squares the distances it is given, so sqrt(D) stands for the squared
// distances D of the file.

#include <sys/wait.h>

#include <map>

#include "translate/translate_support.h"

namespace quintle::test {
namespace {

class Tarvola : public TranslateTest {
protected:
    // The set of the AMOVA check, with the prefix "pop" and the distances
    // in "dist.txt" (values a copy at five decimals would alter).
    void write_set() {
        put(work / "groups.txt", "2 Example of Tarvola\nA B\nC D\n");
        put(work / "popA.pop", "8 A\nh1  5\nh2  3\n");
        put(work / "popB.pop", "8 B\nh1  4\nh2  2\nh3  2\n");
        put(work / "popC.pop", "8 C\nh3  4\nh4  4\n");
        put(work / "popD.pop", "9 D\nh2  1\nh3  3\nh4  5\n");
        put(work / "dist.txt", "h1 h2 h3 h4\n0\n1.0000000 0\n2.0000000 1.0000000 0\n3 2 1 0\n");
    }
    std::string structure_of(Project& p) {
        std::string const d = dump(p);
        return d.substr(d.find("structure"));
    }
};

// The example of the format: two groups, the first of A and B, the second
// of C, every name preceded by the prefix; the size of a population is the
// number that opens its file, the matrix size the number of labels.
TEST_F(Tarvola, ReaderText) {
    put(work / "g.txt", "2 \"Two\" groups\nA\tB\nC");
    put(work / "pA.pop", "50 Pop1\nh1  30\nh2  20\n");
    put(work / "pB.pop", "  50\nh1  50\n");
    put(work / "pC.pop", "10 C3\nh2  10\n");
    put(work / "d.txt", "h1 h2 \n0\n1 0\n");
    for (bool crlfLines : {false, true}) {
        SCOPED_TRACE(crlfLines ? "CRLF" : "LF");
        if (crlfLines)
            for (char const* f : {"g.txt", "pA.pop", "pB.pop", "pC.pop", "d.txt"}) put(work / f, crlf(slurp(work / f)));
        translate("Tarvola", "Pellomar", "g.txt", "t.pmp", {"d.txt", "p"});
        std::vector<std::string> const lines = lines_of(file("t.pmp"));
        std::vector<std::string> const expected = {
            "[Profile]", "\t Title=\"2 Two groups\"", "\t NbSamples=3", "\t GenotypicData=0",
            "\t DataType=FREQUENCY", "\t LocusSeparator=NONE", "", "", "[Data]", "", "\t\t[[DistanceMatrix]] ",
            "\t\t     MatrixName=\"Generic Distmat\"", "\t\t     MatrixSize=2", "\t\t     LabelPosition=LINE ",
            "\t\t     MatrixData=EXTERN \"d.txt\"", "", "\t [[Samples]]", "# 50 Pop1", "\t\t SampleName=\"pA\"",
            "\t\t SampleSize=50", "\t\t SampleData={", "h1  30", "h2  20", "}", "", "#   50",
            "\t\t SampleName=\"pB\"", "\t\t SampleSize=50", "\t\t SampleData={", "h1  50", "}", "", "# 10 C3",
            "\t\t SampleName=\"pC\"", "\t\t SampleSize=10", "\t\t SampleData={", "h2  10", "}", "",
            "     [[Structure]]", "     \tStructureName=\"Generic structure\"", "     \tNbGroups=2",
            "     \tIndividualLevel=0", "\t\tGroup={", "\"pA\"", "\"pB\"", "}", " \t\tGroup={", "\"pC\"", "}", "",
            ""};
        ASSERT_GE(lines.size(), 3u) << run_log();
        EXPECT_EQ(std::vector<std::string>(lines.begin() + 3, lines.end()), expected);
    }
}

// A population file that cannot be found fails the conversion; the log
// names it.
TEST_F(Tarvola, MissingPopulation) {
    put(work / "g.txt", "1 one group\nA B\n");
    put(work / "pA.pop", "5 A\nh1  5\n");
    put(work / "d.txt", "h1\n0\n");
    translate("Tarvola", "Pellomar", "g.txt", "t.pmp", {"d.txt", "p"});
    EXPECT_TRUE(failed());
    EXPECT_NE(run_log().find("The population file " + program.string() + "/pB.pop cannot be read."),
              std::string::npos)
        << run_log();
}

// The set to a project: its AMOVA is ade4's. To Tarvola and back: the same
// counts, identifiers, matrix and groups; the distance file the matrix came
// from is left as it is.
TEST_F(Tarvola, AmovaAndRoundTrip) {
    write_set();
    std::string const distances = slurp(work / "dist.txt");
    translate("Tarvola", "Pellomar", "groups.txt", "t.pmp", {"dist.txt", "pop"});
    Project p;
    ASSERT_EQ(read_back("t.pmp", p), 1) << log_.text();
    std::string const before = dump(p);
    EXPECT_NE(before.find("sample 0 \"popA\" size=8: h1x5 h2x3\nsample 1 \"popB\" size=8: h1x4 h2x2 h3x2\n"
                          "sample 2 \"popC\" size=8: h3x4 h4x4\nsample 3 \"popD\" size=9: h2x1 h3x3 h4x5\n"
                          "structure \"Generic structure\" groups=2 {popA popB} {popC popD}\n"),
              std::string::npos)
        << before;

    fs::path const examples = fs::path(QUINTLE_TEST_DATA_DIR) / ".." / ".." / "examples";
    put(work / "pml_run.pms", "TaskNumber=512\nHaplAMOVA=1\nComputeDistanceMatrixAMOVA=0\nNumPermutationsAMOVA=0\n" +
                                  slurp(examples / "pml_run.pms"));
    put(work / "ssdefs.txt", "POP_LEVEL\nGLOBAL_FSTAT\n");
    std::string const command = "cd '" + work.string() + "' && QUINTLE_SEED=3 '" + QUINTLE_BINARY +
                                "' t.pmp stats.txt 0 1 > console.txt 2>&1";
    int const status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    std::vector<std::string> const stats = lines_of(slurp(work / "stats.txt"));
    ASSERT_EQ(stats.size(), 2u);
    std::map<std::string, std::string> c;
    std::istringstream names(stats[0]), values(stats[1]);
    for (std::string n, v; std::getline(names, n, '\t') && std::getline(values, v, '\t');) c[n] = v;
    EXPECT_EQ(c["FST"], "0.623581");
    EXPECT_EQ(c["FSC"], "-0.0615514");
    EXPECT_EQ(c["FCT"], "0.645406");

    translate("Pellomar", "Tarvola", "t.pmp", "back.txt");
    EXPECT_EQ(file("back.txt"), "2 2 Example of Tarvola\n1 2 \n3 4 \n");
    EXPECT_EQ(slurp(work / "popA1.pop"), "8 popA\nh1  5\nh2  3\n");
    EXPECT_EQ(slurp(work / "dist.txt"), distances);
    EXPECT_NE(run_log().find("The distances stay in " + path("dist.txt") + ", which is not rewritten."),
              std::string::npos);
    translate("Tarvola", "Pellomar", "back.txt", "again.pmp", {"dist.txt", "popA"});
    Project again;
    ASSERT_EQ(read_back("again.pmp", again), 1) << log_.text();
    std::string after = dump(again);
    for (char const* name : {"popA", "popB", "popC", "popD"}) {
        std::string const renamed = "popA" + std::to_string(name[3] - 'A' + 1);
        after.replace(after.find("\"" + renamed + "\""), renamed.size() + 2, "\"" + std::string(name) + "\"");
        after.replace(after.find(renamed, after.find("structure")), renamed.size(), name);
    }
    EXPECT_EQ(after.substr(after.find("haplist")), before.substr(before.find("haplist")));
}

// The writer's refusals, and the files of a project whose matrix is its
// own: in the current folder whatever the names hold, the matrix at five
// decimals.
TEST_F(Tarvola, Writer) {
    std::string const profile = "[Profile]\nTitle=\"w\"\nNbSamples=2\nLocusSeparator=NONE\n";
    std::string const samples = "[[Samples]]\nSampleName=\"a/b/c\"\nSampleSize=3\nSampleData={\nh1 2\nh2 1\n}\n"
                                "SampleName=\"x\"\nSampleSize=2\nSampleData={\nh2 2\n}\n";
    std::string const matrix = "[[DistanceMatrix]]\nMatrixName=\"sub/own.dis\"\nMatrixSize=2\nMatrixData={\nh1 h2\n0\n"
                               "0.25 0\n}\n";
    std::string const structure = "[[Structure]]\nStructureName=\"s\"\nNbGroups=1\nGroup={\n\"x\" \"a/b/c\"\n}\n";
    put(work / "none.pmp", profile + "DataType=STANDARD\nGenotypicData=1\nGameticPhase=0\n[Data]\n" +
                               "[[Samples]]\nSampleName=\"a\"\nSampleSize=1\nSampleData={\ni1 1 A\n A\n}\n"
                               "SampleName=\"b\"\nSampleSize=1\nSampleData={\ni2 1 A\n C\n}\n");
    translate("Pellomar", "Tarvola", "none.pmp", "none.txt");
    EXPECT_EQ(file("none.txt"),
              "\tNo genetic structure has been defined, it makes therefore no sense to\n build a Tarvola file.\n");

    put(work / "g.pmp", profile + "DataType=STANDARD\nGenotypicData=1\nGameticPhase=0\n[Data]\n" +
                            "[[Samples]]\nSampleName=\"a\"\nSampleSize=1\nSampleData={\ni1 1 A\n A\n}\n"
                            "SampleName=\"b\"\nSampleSize=1\nSampleData={\ni2 1 A\n C\n}\n"
                            "[[Structure]]\nStructureName=\"s\"\nNbGroups=1\nGroup={\n\"a\" \"b\"\n}\n");
    translate("Pellomar", "Tarvola", "g.pmp", "g.txt");
    EXPECT_EQ(file("g.txt"), "    Tarvola accepts only Haplotypic data format, the\n"
                             "    source data file contained Genoytypic data\n");

    put(work / "w.pmp", profile + "DataType=FREQUENCY\nGenotypicData=0\n[Data]\n" + matrix + samples + structure);
    translate("Pellomar", "Tarvola", "w.pmp", "w.txt");
    EXPECT_FALSE(failed()) << run_log();
    EXPECT_EQ(file("w.txt"), "1 w\n2 1 \n");
    EXPECT_EQ(slurp(work / "a_b_c1.pop"), "3 a/b/c\nh1  2\nh2  1\n");
    EXPECT_EQ(slurp(work / "a_b_c2.pop"), "2 x\nh2  2\n");
    EXPECT_EQ(slurp(work / "own.dis"), "h1 h2 \n   0.00000\n   0.25000   0.00000\n");
}

}  // namespace
}  // namespace quintle::test
