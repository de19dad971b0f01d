// Names and identifiers in UTF-8 through the translator: the export's
// project reader keeps them whole (it took the bytes above 127 for blanks),
// and the writers that cut a name to a width count bytes but never split a
// character, filling the field with blanks instead. The expected fields
// below were worked out by hand from the UTF-8 bytes:
//   É C3 89, é C3 A9, è C3 A8, ô C3 B4, € E2 82 AC, 日 E6 97 A5, 本 E6 9C AC,
//   𝄞 F0 9D 84 9E.

#include "translate/translate_support.h"

namespace quintle::test {
namespace {

// A haplotypic project of two samples in one group. The first sample's name
// is cut to the five bytes of the Tarvola prefix inside its euro sign; the
// identifiers are cut to the six bytes of a Phylip row stem: "Écully" after
// its fourth letter, "abcdeÉ", "abcd€x" and "abc𝄞" inside their last
// (two-, three- and four-byte) character; "日本" is made of such
// characters only, "Lyoné" and "Lyonè" differ only in them.
std::string const haplotypic =
    "[Profile]\nTitle=\"Rhône\"\nNbSamples=2\nDataType=DNA\nGenotypicData=0\nLocusSeparator=NONE\n"
    "MissingData='?'\n[Data]\n[[Samples]]\n"
    "SampleName=\"Lyon€\"\nSampleSize=6\nSampleData={\n"
    "Écully 1 ACGT\nEcully 1 ACGA\n日本 1 ACTT\nabcdeÉ 1 AGGT\nabcd€x 1 AGGA\nabc𝄞 1 AGTA\n}\n"
    "SampleName=\"Isère\"\nSampleSize=3\nSampleData={\nLyoné 2 TCGT\nLyonè 1 TCGA\n}\n"
    "[[Structure]]\nStructureName=\"s\"\nNbGroups=1\nGroup={ \"Lyon€\" \"Isère\" }\n";

// Individuals of a GenePop file: the project names them "<name>_<n>", and
// the Biosys writer cuts those to seven bytes, the Phylip writer to six.
std::string const genepop =
    "Cats of the Rhône\nloc1\nloc2\nPop\n"
    "Écully, 0102 0303\nEcully, 0101 0304\n日本, 0202 0304\nabcde€, 0101 0303\n"
    "abcd𝄞, 0102 0404\nabcdefÉ, 0201 0303\nabcdeÉ, 0202 0403\n";

class NonAsciiNames : public TranslateTest {};

TEST_F(NonAsciiNames, PhylipRowsKeepCharactersWhole) {
    put(work / "h.pmp", haplotypic);
    translate("Pellomar", "Phylip", "h.pmp", "h.phy");
    EXPECT_FALSE(failed()) << run_log();
    // Six bytes of stem, the copy number, blanks up to ten bytes.
    EXPECT_EQ(file("h.phy"), "9     4\n"
                             "Écull0   ACGT\n"
                             "Ecully0   ACGA\n"
                             "日本0   ACTT\n"
                             "abcde 0   AGGT\n"
                             "abcd  0   AGGA\n"
                             "abc   0   AGTA\n"
                             "Lyoné0   TCGT\n"
                             "Lyoné1   TCGT\n"
                             "Lyonè0   TCGA\n");
    for (std::string const& row : lines_of(file("h.phy"))) {
        if (row.size() > 10) {
            EXPECT_EQ(row.size(), 14u) << row;  // ten bytes of name, four sites
        }
    }

    // Genotypic data, two rows per individual: the stem, the copy number
    // and the gamete's number.
    put(work / "g.gen", genepop);
    translate("Genepop", "Phylip", "g.gen", "g.phy", {"1"});
    EXPECT_FALSE(failed()) << run_log();
    std::vector<std::string> const rows = lines_of(file("g.phy"));
    ASSERT_EQ(rows.size(), 15u) << file("g.phy");
    EXPECT_EQ(rows[0], "14     2");
    std::vector<std::string> const names = {"Écull00  ", "Écull01  ", "Ecully00  ", "Ecully01  ", "日本00  ",
                                            "日本01  ",    "abcde 00  ", "abcde 01  ", "abcd  00  ", "abcd  01  ",
                                            "abcdef00  ", "abcdef01  ", "abcde 00  ", "abcde 01  "};
    for (std::size_t i = 0; i < names.size(); ++i) {
        ASSERT_GE(rows[i + 1].size(), 10u);
        EXPECT_EQ(rows[i + 1].substr(0, 10), names[i]) << i;
    }
}

TEST_F(NonAsciiNames, BiosysFieldsKeepCharactersWhole) {
    put(work / "g.gen", genepop);
    translate("Genepop", "Biosys", "g.gen", "g.bio", {"1"});
    EXPECT_FALSE(failed()) << run_log();
    std::vector<std::string> const lines = lines_of(file("g.bio"));
    ASSERT_EQ(lines.size(), 18u) << file("g.bio");
    EXPECT_EQ(lines[8], "0   Population1     ");
    // Seven bytes of name, three blanks, then per locus a blank and both
    // alleles (one column each).
    std::vector<std::string> const records = {"Écully    12 33", "Ecully_    11 34", "日本_    22 34",
                                              "abcde      11 33", "abcd       12 44", "abcdef     21 33",
                                              "abcdeÉ    22 43"};
    for (std::size_t i = 0; i < records.size(); ++i) EXPECT_EQ(lines[9 + i], records[i]) << i;
    EXPECT_EQ(lines[16], "NEXT");

    // A sample name cut to sixteen bytes inside its last "É".
    put(work / "s.pmp", "[Profile]\nTitle=\"t\"\nNbSamples=1\nDataType=STANDARD\nGenotypicData=1\nGameticPhase=0\n"
                        "LocusSeparator=WHITESPACE\nMissingData='?'\n[Data]\n[[Samples]]\n"
                        "SampleName=\"Saint-Étienne-Été\"\nSampleSize=2\nSampleData={\nÉcully 1 a\n b\n}\n");
    translate("Pellomar", "Biosys", "s.pmp", "s.bio");
    EXPECT_FALSE(failed()) << run_log();
    std::vector<std::string> const s = lines_of(file("s.bio"));
    ASSERT_EQ(s.size(), 12u) << file("s.bio");
    EXPECT_EQ(s[8], "0   Saint-Étienne- ");
    EXPECT_EQ(s[9], "Écully    ab");
}

TEST_F(NonAsciiNames, TarvolaSetKeepsIdentifiersWhole) {
    put(work / "h.pmp", haplotypic);
    translate("Pellomar", "Tarvola", "h.pmp", "h.txt");
    EXPECT_EQ(file("h.txt"), "1 Rhône\n1 2 \n");
    // The prefix "Lyon€" cut to five bytes is "Lyon" and a blank.
    EXPECT_EQ(slurp(work / "Lyon 1.pop"),
              "6 Lyon€\nÉcully  1\nEcully  1\n日本  1\nabcdeÉ  1\nabcd€x  1\nabc𝄞  1\n");
    EXPECT_EQ(slurp(work / "Lyon 2.pop"), "3 Isère\nLyoné  2\nLyonè  1\n");
    EXPECT_FALSE(fs::exists(work / "Lyon1.pop"));
}

}  // namespace
}  // namespace quintle::test
