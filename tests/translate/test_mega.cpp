// Mega files to projects and back, worked out by hand from the format's
// rules: "#" lines name sequences, a name met again extends its sequence,
// a line without "#" continues the last one, one blank line separates
// blocks, quoted text is a comment; after the sequences a line names the
// sample and the lower triangle of distances follows, without diagonal.

#include "translate/translate_support.h"

namespace quintle::test {
namespace {

std::string const megaSource =
    "#mega\n!Title small example;\n!Format DataType=DNA;\n\n"
    "#a1 ACGT \"first block\"\n#b  AC GA\n#c\n\n"
    "#a1 TT\n  GG\n#b TTGG\n#c ACGTTTGG\n   \n"
    "name of the sample\n0.100\n0.200 0.300\n\n";

class Mega : public TranslateTest {};

TEST_F(Mega, ReaderWithMatrix) {
    for (bool crlfLines : {false, true}) {
        SCOPED_TRACE(crlfLines ? "CRLF" : "LF");
        put(work / "s.meg", crlfLines ? crlf(megaSource) : megaSource);
        translate("Mega", "Pellomar", "s.meg", "s.pmp");
        std::vector<std::string> const lines = lines_of(file("s.pmp"));
        std::vector<std::string> const expected = {
            "# A data file tranlated from #mega", "[Profile]", "\t Title= \" e small example; \"",
            "#!Format DataType=DNA;", "\t NbSamples=1", "\t GenotypicData=0", "\t DataType=STANDARD",
            "\t MissingData=\"?\"", "\t LocusSeparator=NONE", "", "[Data]", "\t\t[[DistanceMatrix]] ",
            "\t\t     MatrixName=\"Generic Distmat\"", "\t\t     MatrixSize=3", "\t\t     LabelPosition=LINE ",
            "\t\t     MatrixData={ ", "a1 b c ", "0.0", "0.100 0.0", "0.200 0.300 0.0", "}", "\t [[Samples]]",
            "\t\t SampleName=\"name of the sample\"", "\t\t SampleSize=3", "\t\t SampleData={", "a1 1 ACGTTTGG",
            "b 1 ACGATTGG", "c 1 ACGTTTGG", "       }", "", ""};
        ASSERT_GE(lines.size(), 3u) << run_log();
        EXPECT_EQ(std::vector<std::string>(lines.begin() + 3, lines.end()), expected);

        // The program's own reader loads the matrix.
        Project p;
        ASSERT_EQ(read_back("s.pmp", p), 1) << log_.text();
        EXPECT_EQ(dump(p).substr(dump(p).find("matrix")),
                  "matrix \"Generic Distmat\" size=3 LINE labels a1 b c rows 0 | 0.1 0 | 0.2 0.3 0\n"
                  "sample 0 \"name of the sample\" size=3: a1x1 bx1 cx1\nstructure \"\" groups=0\n");
    }
}

// A file that ends right after its sequences, a short title line, and one
// without any sequence (read to its end, not forever).
TEST_F(Mega, ShortFiles) {
    put(work / "a.meg", "#mega\nTit\n#x ACG\n#y ACC");
    translate("Mega", "Pellomar", "a.meg", "a.pmp");
    std::string const a = file("a.pmp");
    EXPECT_NE(a.find("\t Title= \"  \"\n"), std::string::npos) << a;
    EXPECT_NE(a.find("[Data]\n\t [[Samples]]\n\t\t SampleName=\"\"\n"), std::string::npos) << a;
    EXPECT_NE(a.find("x 1 ACG\ny 1 ACC\n"), std::string::npos) << a;

    put(work / "b.meg", "#mega\n!Title none;\nno sequence\nat all\n");
    translate("Mega", "Pellomar", "b.meg", "b.pmp");
    EXPECT_TRUE(failed());
    EXPECT_EQ(lines_of(file("b.pmp")).size(), 1u);
}

// A sequence line with a blank right after its "#" has no name; written as
// " 1 ACGT" it would be read as the name "1" and the sequence as its count
// (a fuzzer's file below: a count of ten digits, written copy by copy). A
// name holding a control character that ends a word, the byte 0xFF, "#" (a
// comment there), "}", or opening with a sign of the file's structure, is not
// read back as written either. The conversion fails
// instead, and the log says why.
TEST_F(Mega, UnnamedSequence) {
    put(work / "u.meg", "#mega\n!Title unnamed;\n#a ACGT\n# 12ACGT\n");
    put(work / "f.meg", slurp(translateData / "fuzz_mega_unnamed.meg"));
    put(work / "v.meg", "#mega\n!Title vt;\n#a ACGT\n#b\v12 ACGA\n");
    put(work / "h.meg", "#mega\n!Title hash;\n#a ACGT\n##b ACGA\n");
    put(work / "i.meg", "#mega\n!Title inner hash;\n#a ACGT\n#b#12 ACGA\n");
    // 0xFF ends a word (a fuzzer's name went on "2eDa..." and was written
    // millions of times); "[" cannot open an entry.
    put(work / "ff.meg", "#mega\n!Title ff;\n#a ACGT\n#x\3772 ACGA\n");
    put(work / "b.meg", "#mega\n!Title bracket;\n#a ACGT\n#[b ACGA\n");
    // "}" anywhere closes the sample's block.
    put(work / "c.meg", "#mega\n!Title brace;\n#a ACGT\n#b}c ACGA\n");
    for (char const* source : {"u.meg", "f.meg", "v.meg", "h.meg", "i.meg", "ff.meg", "b.meg", "c.meg"}) {
        SCOPED_TRACE(source);
        translate("Mega", "Genepop", source, "u.gen");
        EXPECT_TRUE(failed()) << run_log();
        EXPECT_NE(run_log().find("A sequence of " + path(source) + " has no usable name"), std::string::npos) << run_log();
        EXPECT_EQ(file("u.gen"), "  Impossible to translate this file: its data could not be read (see the log).\n");
    }
}

// The writer: one row per copy, two per genotype, and the distances of the
// rows (copies repeat their haplotype's row); a project with a locus
// separator is refused.
TEST_F(Mega, Writer) {
    put(work / "h.pmp", "[Profile]\nTitle=\"h\"\nNbSamples=2\nDataType=DNA\nGenotypicData=0\nLocusSeparator=NONE\n"
                        "[Data]\n[[DistanceMatrix]]\nMatrixName=\"d\"\nMatrixSize=2\nMatrixData={\nh1 h2\n0\n12.5 0\n}\n"
                        "[[Samples]]\nSampleName=\"a\"\nSampleSize=2\nSampleData={\nh1 2 ACGT\n}\n"
                        "SampleName=\"b\"\nSampleSize=1\nSampleData={\nh2 1 ACGA\n}\n");
    translate("Pellomar", "Mega", "h.pmp", "h.meg");
    EXPECT_EQ(file("h.meg"), "#mega\nTITLE:h\n"
                             "  As it is not possible to convert files containing more than one population\n"
                             "  into MEGA format, original population samples have been merged into \n"
                             "  a single population.\n\n"
                             "#h10  ACGT\n#h11  ACGT\n#h20  ACGA\n\n\n"
                             "\n0.000  \n12.500  12.500  \n");
    // Read back: three sequences and their matrix.
    translate("Mega", "Pellomar", "h.meg", "back.pmp");
    Project p;
    ASSERT_EQ(read_back("back.pmp", p), 1) << log_.text();
    std::string const d = dump(p);
    EXPECT_NE(d.find("size=3 LINE labels h10 h11 h20 rows 0 | 0 0 | 12.5 12.5 0\n"), std::string::npos) << d;

    put(work / "w.pmp", "[Profile]\nTitle=\"w\"\nNbSamples=1\nDataType=STANDARD\nGenotypicData=0\n"
                        "LocusSeparator=WHITESPACE\n[Data]\n[[Samples]]\nSampleName=\"a\"\nSampleSize=1\n"
                        "SampleData={\nh1 1 10 12\n}\n");
    translate("Pellomar", "Mega", "w.pmp", "w.meg");
    EXPECT_EQ(file("w.meg"), "  Impossible to write this data into MEGA format, because each\n"
                             "  character is supposed to be a single allele.\n");
}

}  // namespace
}  // namespace quintle::test
