// Counts a writer would write out as copies: bounded per sample, per project
// and in a Mega triangle of distances, refused at once with the writer's
// text. And GenePop names keep no comma.

#include "translate/translate_support.h"

namespace quintle::test {
namespace {

class WriterBounds : public TranslateTest {
protected:
    // The target holds the one line "A <bound>: <has>.", the log ends with
    // the failure and standard error says "a <bound>, and <has>".
    void expect_refused(std::string const& to, std::string const& source, std::string const& bound,
                        std::string const& has) {
        ::testing::internal::CaptureStderr();
        translate("Pellomar", to, source, "t.out");
        std::string const told = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(file("t.out"), "  A " + bound + ": " + has + ".\n");
        EXPECT_TRUE(run_log().ends_with("Error during run of " + path(source) + "\n")) << run_log();
        EXPECT_NE(told.find("; a " + bound + ", and " + has + "; "), std::string::npos) << told;
    }
};

// Samples of one haplotype (with `genotypic`, one individual) of `count`.
std::string project(int samples, int count, bool genotypic, std::string const& data = "") {
    std::string const n = std::to_string(count);
    std::string text = "[Profile]\nNbSamples=" + std::to_string(samples) + "\nGenotypicData=" +
                       (genotypic ? "1\nGameticPhase=0" : "0") + "\nLocusSeparator=NONE\n[Data]\n" + data +
                       "[[Samples]]\n";
    for (int s = 1; s <= samples; ++s)
        text += "SampleName=\"s " + std::to_string(s) + "\"\nSampleSize=" + n + "\nSampleData={\n" +
                (genotypic ? "i1 " + n + " AC\n GT\n" : "h1 " + n + " ACGT\n") + "}\n";
    return text;
}

TEST_F(WriterBounds, CopiesOverTheBounds) {
    for (char const* to : {"Phylip", "Mega", "Genepop", "Biosys"}) {
        SCOPED_TRACE(to);
        bool const genotypic = std::string(to) == "Biosys";
        put(work / "s.pmp", project(1, 1000001, genotypic));
        std::string const name = std::string(to) == "Genepop" ? "GenePop" : to;
        expect_refused(to, "s.pmp", name + " file is written with at most 1000000 " +
                                        (genotypic ? "individuals" : "haplotypes") + " per sample",
                       "sample 1 \"s 1\" has 1000001");
    }
    put(work / "p.pmp", project(11, 999999, false));
    expect_refused("Genepop", "p.pmp", "GenePop file is written with at most 10000000 haplotypes in all",
                   "this project has 10999989");
    // h1 is a label of the matrix: 4473 rows make 4473 * 4472 / 2 distances.
    put(work / "m.pmp", project(1, 4473, false, "[[DistanceMatrix]]\nMatrixName=\"d\"\nMatrixSize=1\n"
                                                "LabelPosition=LINE\nMatrixData={\nh1\n0.0\n}\n"));
    expect_refused("Mega", "m.pmp", "Mega file is written with at most 10000000 distances",
                   "the 4473 rows of this project make 10001628");
}

// "a,b" was read back as "a" with the genotype "b" (refused), "ab," as "ab".
TEST_F(WriterBounds, GenePopNamesWithCommas) {
    put(work / "c.phy", "2 4\na,b       ACGT\nab,       ACGA\n");
    translate("Phylip", "Genepop", "c.phy", "c.gen");
    EXPECT_EQ(lines_from(file("c.gen"), "POP"),
              (std::vector<std::string>{"POP", "a_b , 0100 0100 0100 0100 ", "ab_ , 0100 0100 0100 0200 "}));
    translate("Genepop", "Pellomar", "c.gen", "back.pmp", {"0"});
    Project p;
    ASSERT_EQ(read_back("back.pmp", p), 1) << run_log();
    EXPECT_NE(dump(p).find("size=2: a_b_1x1 ab__2x1\n"), std::string::npos) << dump(p);
}

}  // namespace
}  // namespace quintle::test
