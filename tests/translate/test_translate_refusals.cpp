// Conversions that could be made only in part are refused as an unreadable
// source is: the target holds the one refusal line, the log ends with
// "Error during run of" and standard error says why. A writer's refusal
// keeps its own text in the target and fails the same way. A Tarvola set
// without a distance matrix is written, with a warning.

#include <cctype>

#include "translate/translate_support.h"

namespace quintle::test {
namespace {

std::string const refusalLine = "  Impossible to translate this file: its data could not be read (see the log).\n";

class TranslateRefusals : public TranslateTest {
protected:
    // The conversion, with what it wrote on standard error.
    std::string translate_told(std::string const& from, std::string const& to, std::string const& source,
                               std::string const& target, std::vector<std::string> const& extra = {}) {
        ::testing::internal::CaptureStderr();
        translate(from, to, source, target, extra);
        return ::testing::internal::GetCapturedStderr();
    }
    std::string last_log_line() const {
        std::vector<std::string> const l = lines_of(run_log());
        return l.empty() ? std::string() : l.back();
    }
    // A failed conversion of `source`: the reason as a line of its log,
    // the log's last line, and its one line on standard error naming the
    // reason.
    void expect_failed(std::string const& source, std::string const& told, std::string const& reason) {
        EXPECT_EQ(last_log_line(), "Error during run of " + path(source)) << run_log();
        std::string sentence = reason;
        sentence[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(sentence[0])));
        EXPECT_NE(run_log().find("\t\t" + sentence + ".\n"), std::string::npos) << run_log();
        EXPECT_EQ(told, "quintle: error during run of " + path(source) + "; " + reason + "; see " +
                            (work / "Pellomar_log.txt").string() + "\n");
    }
};

std::string const haplotypic = "[Profile]\nTitle=\"h\"\nNbSamples=2\nDataType=STANDARD\nGenotypicData=0\n"
                               "LocusSeparator=WHITESPACE\n[Data]\n[[Samples]]\n"
                               "SampleName=\"a\"\nSampleSize=2\nSampleData={\nh1 1 1 2\nh2 1 1 3\n}\n"
                               "SampleName=\"b\"\nSampleSize=1\nSampleData={\nh3 1 2 3\n}\n";

// A Phylip file cut short: a taxon missing, or a taxon's sequence cut.
TEST_F(TranslateRefusals, TruncatedPhylip) {
    put(work / "taxa.phy", "3 8\nA         ACGTACGT\nB         ACGTACGA\n");
    std::string told = translate_told("Phylip", "Pellomar", "taxa.phy", "taxa.pmp");
    EXPECT_EQ(file("taxa.pmp"), refusalLine);
    expect_failed("taxa.phy", told,
                  path("taxa.phy") + " declares 3 taxa of 8 characters, and its lines give 2 taxa: the file is not "
                                     "converted");

    put(work / "sites.phy", "2 8\nA         ACGTACGT\nB         ACGT\n");
    told = translate_told("Phylip", "Mega", "sites.phy", "sites.meg");
    EXPECT_EQ(file("sites.meg"), refusalLine);
    expect_failed("sites.phy", told,
                  "the taxon \"B\" of " + path("sites.phy") +
                      " does not hold the 8 characters its first line declares: the file is not converted");
}

// A first line declaring 10^9 taxa, and one taxon: refused at once, the
// declared count never allocated for (that would fail the run with a
// memory message instead of this one).
TEST_F(TranslateRefusals, PhylipDeclaringABillionTaxa) {
    put(work / "big.phy", "1000000000 8\nA         ACGTACGT\n");
    std::string const told = translate_told("Phylip", "Pellomar", "big.phy", "big.pmp");
    EXPECT_EQ(file("big.pmp"), refusalLine);
    expect_failed("big.phy", told,
                  path("big.phy") + " declares 1000000000 taxa of 8 characters, and its lines give 1 taxon: the file "
                                    "is not converted");
}

// A Biosys file whose data end before its declared loci: "NLOC=2' CRT;4"
// reads as 24 loci (digits gathered), and the two given blocks are all the
// file holds. Before, the 22 missing loci were written as "?" in every
// individual (and a garbled count of millions had gigabytes written).
TEST_F(TranslateRefusals, BiosysDataEndingBeforeTheDeclaredLoci) {
    std::string const head = "Freq\nNOTU=1, NLOC=";
    std::string const rest = ", CRT;\n(2(1X,A7))\nADH PGM\nSTEP DATA\nDATYP=3\n(2X,2(1X,A2,A2,1X,F4.3))\nSea\n"
                             "N=      4\n   0101  250 0102  750\n   0303 1000 0404 0000\n";
    put(work / "short.bio", head + "2' CRT;4" + rest);
    std::string const told = translate_told("Biosys", "Pellomar", "short.bio", "short.pmp");
    EXPECT_EQ(file("short.pmp"), refusalLine);
    expect_failed("short.bio", told,
                  path("short.bio") + " declares 24 loci, and its data end at locus 3 of sample 1: the file is not "
                                      "converted");

    // The same file declaring its two loci converts: 1 + 3 individuals.
    put(work / "whole.bio", head + "2" + rest);
    translate("Biosys", "Pellomar", "whole.bio", "whole.pmp");
    EXPECT_EQ(last_log_line().find("Error during run of"), std::string::npos) << run_log();
    std::string const project = file("whole.pmp");
    EXPECT_NE(project.find("ind4 "), std::string::npos) << project;
    EXPECT_EQ(project.find("ind5 "), std::string::npos) << project;
}

// ";" where "," belongs: the line of B continues A's genotypes, its name
// "B;" read as a genotype.
TEST_F(TranslateRefusals, GenePopIndividualsOfDifferentLoci) {
    put(work / "s.gen", "Cats\nloc1, loc2\nPop\nA, 0102 0303\nB; 0202 0103\nC, 0101 0202\n");
    std::string const told = translate_told("Genepop", "Pellomar", "s.gen", "s.pmp", {"1"});
    EXPECT_EQ(file("s.pmp"), refusalLine);
    expect_failed("s.gen", told,
                  "the genotype \"B;\" of the individual \"A\" of sample 1 of " + path("s.gen") +
                      " is not of 4 or 6 digits: the file is not converted");
}

// The same population in two groups.
TEST_F(TranslateRefusals, TarvolaPopulationGivenTwice) {
    put(work / "g.txt", "2 two groups\nA B\nB C\n");
    put(work / "pA.pop", "2 A\nh1  2\n");
    put(work / "pB.pop", "2 B\nh1  1\nh2  1\n");
    put(work / "pC.pop", "2 C\nh2  2\n");
    put(work / "d.txt", "h1 h2\n0\n1 0\n");
    std::string const told = translate_told("Tarvola", "Pellomar", "g.txt", "t.pmp", {"d.txt", "p"});
    EXPECT_EQ(file("t.pmp"), refusalLine);
    expect_failed("g.txt", told, "the population \"B\" is given twice in " + path("g.txt") + ": the set is not converted");
}

// Source text quoted in a refusal reaches the terminal and the log with
// its control bytes, C1 controls and bytes outside UTF-8 as \xHH: an escape
// byte "\x1B[2J" would clear the screen of whoever reads the message.
TEST_F(TranslateRefusals, QuotedSourceTextIsEscaped) {
    put(work / "s.gen", "Cats\nloc1\nPop\nA\xB2, 01\x1B[2J02\n");
    expect_failed("s.gen", translate_told("Genepop", "Pellomar", "s.gen", "s.pmp", {"1"}),
                  "the genotype \"01\\x1B[2J02\" of the individual \"A\\xB2\" of sample 1 of " + path("s.gen") +
                      " is not of 4 or 6 digits: the file is not converted");
    put(work / "s.phy", "2 4\nx\xC2\x85y      A C G\nz         A C G T\n");
    expect_failed("s.phy", translate_told("Phylip", "Pellomar", "s.phy", "s.pmp"),
                  "the taxon \"x\\xC2\\x85y\" of " + path("s.phy") +
                      " does not hold the 4 characters its first line declares: the file is not converted");
    put(work / "g.txt", "2 two groups\nA B\x1B\nB\x1B C\n");
    expect_failed("g.txt", translate_told("Tarvola", "Pellomar", "g.txt", "t.pmp", {"d.txt", "p"}),
                  "the population \"B\\x1B\" is given twice in " + path("g.txt") + ": the set is not converted");
}

// Each writer's refusal stays in the target, and the conversion fails.
TEST_F(TranslateRefusals, WritersRefusals) {
    put(work / "h.pmp", haplotypic);
    std::string told = translate_told("Pellomar", "Mega", "h.pmp", "h.meg");
    EXPECT_EQ(file("h.meg"), "  Impossible to write this data into MEGA format, because each\n"
                             "  character is supposed to be a single allele.\n");
    expect_failed("h.pmp", told, "a Mega file holds one character per locus, and the loci of this project are separated");
    EXPECT_NE(run_log().find("    Writing  " + path("h.meg") + "... not done.\n"), std::string::npos);

    told = translate_told("Pellomar", "Biosys", "h.pmp", "h.bio");
    EXPECT_EQ(file("h.bio"), "  It is not possible to translate Haplotypic data into the\n  BIOSYS format.\n");
    expect_failed("h.pmp", told, "a Biosys file holds genotypic data only, and the data of this project are haplotypic");

    told = translate_told("Pellomar", "Tarvola", "h.pmp", "h.txt");
    EXPECT_EQ(file("h.txt"),
              "\tNo genetic structure has been defined, it makes therefore no sense to\n build a Tarvola file.\n");
    expect_failed("h.pmp", told, "a Tarvola set needs a genetic structure, and this project has none");

    std::string genotypic = haplotypic + "[[Structure]]\nStructureName=\"s\"\nNbGroups=1\nGroup={\n\"a\" \"b\"\n}\n";
    genotypic.replace(genotypic.find("GenotypicData=0"), 15, "GenotypicData=1\nGameticPhase=0");
    genotypic.replace(genotypic.find("h1 1 1 2\nh2 1 1 3\n"), 18, "i1 1 1 2\n 1 3\n");
    genotypic.replace(genotypic.find("h3 1 2 3\n"), 9, "i2 1 2 3\n 2 2\n");
    put(work / "g.pmp", genotypic);
    told = translate_told("Pellomar", "Tarvola", "g.pmp", "g.txt");
    EXPECT_EQ(file("g.txt"), "    Tarvola accepts only Haplotypic data format, the\n"
                             "    source data file contained Genoytypic data\n");
    expect_failed("g.pmp", told, "a Tarvola set holds haplotypic data only, and the data of this project are genotypic");

    // 1000 alleles at a locus.
    std::string data;
    for (int i = 1; i <= 1000; ++i) data += "h" + std::to_string(i) + " 1 a" + std::to_string(i) + "\n";
    put(work / "wide.pmp", "[Profile]\nTitle=\"w\"\nNbSamples=1\nDataType=STANDARD\nGenotypicData=0\n"
                           "LocusSeparator=WHITESPACE\n[Data]\n[[Samples]]\nSampleName=\"s\"\nSampleSize=1000\n"
                           "SampleData={\n" + data + "}\n");
    told = translate_told("Pellomar", "Genepop", "wide.pmp", "wide.gen");
    EXPECT_EQ(file("wide.gen"),
              "Title line:\"w\"\n  GenePop files hold at most 999 alleles per locus: this project has more.\n");
    expect_failed("wide.pmp", told, "a GenePop file holds at most 999 alleles per locus, and this project has more");
}

// A project without a distance matrix to a Tarvola set: the set is written
// as before, its distance file included, with one warning in the log and on
// standard error; the conversion succeeds.
TEST_F(TranslateRefusals, TarvolaSetWithoutDistanceMatrix) {
    put(work / "n.pmp", "[Profile]\nTitle=\"n\"\nNbSamples=2\nDataType=FREQUENCY\nGenotypicData=0\n"
                        "LocusSeparator=NONE\n[Data]\n[[Samples]]\n"
                        "SampleName=\"first\"\nSampleSize=3\nSampleData={\nh1 2\nh2 1\n}\n"
                        "SampleName=\"second\"\nSampleSize=2\nSampleData={\nh2 2\n}\n"
                        "[[Structure]]\nStructureName=\"s\"\nNbGroups=1\nGroup={\n\"first\" \"second\"\n}\n");
    std::string const told = translate_told("Pellomar", "Tarvola", "n.pmp", "n.txt");
    EXPECT_EQ(file("n.txt"), "1 n\n1 2 \n");
    EXPECT_EQ(slurp(work / "first1.pop"), "3 first\nh1  2\nh2  1\n");
    EXPECT_EQ(slurp(work / "first2.pop"), "2 second\nh2  2\n");
    EXPECT_TRUE(fs::exists(work / "dist_mat.dis"));
    std::string const warning = "the project has no distance matrix: the distance file dist_mat.dis of its Tarvola set "
                                "holds none";
    EXPECT_EQ(told, "quintle: " + warning + "\n");
    std::string const log = run_log();
    EXPECT_NE(log.find("WARNING: " + warning + "\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("WARNING:"), log.rfind("WARNING:")) << log;
    EXPECT_FALSE(failed()) << log;
    EXPECT_NE(log.find("    Writing  " + path("n.txt") + "... done.\n"), std::string::npos) << log;
}

}  // namespace
}  // namespace quintle::test
