// Names that a project cannot hold as one word. The project reader ends a
// word at a blank, a carriage return or the byte 0xFF, passes over control
// characters before a word, and reads a line that opens with "#" as a
// comment. Such a name was once written as it stood. Then it was split,
// and its next piece was read as the count of copies (a fuzzer's Phylip
// file wrote one taxon millions of times), or the entry was lost as a
// comment. The readers that name the entries themselves now write those
// bytes as "_". The Mega reader refuses them, since its names are the
// file's own identifiers.

#include "translate/translate_support.h"

namespace quintle::test {
namespace {

class UnreadableNames : public TranslateTest {};

// Ten bytes of name: "ab", a control character and 0xFF; then "#b".
TEST_F(UnreadableNames, PhylipTaxa) {
    put(work / "t.phy", "2 4\nab\001\377      ACGT\n#b        ACGA\n");
    translate("Phylip", "Pellomar", "t.phy", "t.pmp");
    EXPECT_EQ(lines_from(file("t.pmp"), "\t\t SampleData={", "}"),
              (std::vector<std::string>{"\t\t SampleData={", "ab__ 1 ACGT", "_b 1 ACGA"}));

    // One row per taxon. Each site is a locus, numbered in the order its
    // alleles are met: the fourth gives T 01 and A 02.
    translate("Phylip", "Genepop", "t.phy", "t.gen");
    EXPECT_EQ(lines_from(file("t.gen"), "POP"),
              (std::vector<std::string>{"POP", "ab__ , 0100 0100 0100 0100 ", "_b , 0100 0100 0100 0200 "}));
    EXPECT_FALSE(failed()) << run_log();
}

// Diploid individuals named "a<CR>b", "#c" and "d<SOH>". The project names
// them "<name>_<n>".
TEST_F(UnreadableNames, GenePopIndividuals) {
    put(work / "g.gen", "Cats\nloc1\nloc2\nPop\na\rb, 0102 0303\n#c, 0101 0304\nd\001, 0202 0304\n");
    translate("Genepop", "Biosys", "g.gen", "g.bio", {"1"});
    EXPECT_EQ(lines_from(file("g.bio"), "0   Population1", "NEXT"),
              (std::vector<std::string>{"0   Population1     ", "a_b_1      12 33", "_c_2       11 34",
                                        "d__3       22 34"}))
        << file("g.bio");
    EXPECT_FALSE(failed()) << run_log();
}

// Records of individual genotypes whose seven-byte names are "i<CR>j" and
// "#k".
TEST_F(UnreadableNames, BiosysIndividuals) {
    put(work / "b.bio", "Example\nNOTU=1,NLOC=2,NALL=4,CRT;\n(2(1X,A7))\nADH     PGM\nstep data:\nDATYP=1,ALPHA\n"
                        "(A7,3X,2(1X,A2,A2))\nLake\ni\rj        0102 0303\n#k         0101 0304\nEND;\n");
    translate("Biosys", "Genepop", "b.bio", "b.gen");
    EXPECT_EQ(lines_from(file("b.gen"), "POP"), (std::vector<std::string>{"POP", "i_j, 0102 0101 ", "_k, 0101 0102 "}))
        << file("b.gen");
    EXPECT_FALSE(failed()) << run_log();
}

}  // namespace
}  // namespace quintle::test
