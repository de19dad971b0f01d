// A source line longer than the readers' bound refuses the source, naming
// the file and the line: read up to that line, it was converted in part.

#include <fstream>

#include "translate/imp_exp.h"
#include "translate/translate_support.h"

namespace quintle::test {
namespace {

class LongLines : public TranslateTest {};

// The second sample's second individual runs to 256 MiB and 14 bytes: the
// first four individuals alone were converted, with success. The line's
// tail is a hole of the file (NUL bytes), which takes no disk space.
TEST_F(LongLines, GenePopLinePastTheBound) {
    std::string const head =
        "Cats\nloc1\nloc2\nPop\nA1, 0102 0303\nA2, 0101 0303\nA3, 0202 0303\nPop\nB1, 0102 0303\nB2, 0101 0303";
    put(work / "big.gen", head);
    fs::resize_file(work / "big.gen", head.size() + max_input_line + 1);
    std::ofstream(work / "big.gen", std::ios::binary | std::ios::app) << "\nB3, 0101 0303\n";
    expect_source_refused("Genepop", "big.gen", "line 10 of " + path("big.gen") +
                          " is longer than 268435456 bytes (256 MiB), the longest line the translator reads", {"1"});
    fs::remove(work / "big.gen");
}

// Every reader and every file of a Tarvola set, with a bound of 79 bytes:
// one line of 80 is refused, and passes the bound of 80.
TEST_F(LongLines, EveryReaderAndFile) {
    auto wide = [](std::string text) { return text + std::string(80 - text.size(), ' ') + "\n"; };
    std::string const bio = "F\nNOTU=1, NLOC=2, CRT;\n(2(1X,A7))\nADH PGM\nSTEP DATA\nDATYP=3\n(2X,2(1X,A2,A2,1X,F4.3))\n"
                            "Sea\nN=      4\n   0101  250 0102  750\n";
    struct Case { int code; std::string source, file, text; long line; };
    std::vector<Case> const cases = {
        {imp_exp::phylip_code, "l.phy", "l.phy", "2 8\n\nA         ACGTACGT\n" + wide("B         ACGTACGT"), 4},
        {imp_exp::genepop_code, "l.gen", "l.gen", "T\nloc1\nPop\nA1, 0101\n" + wide("A2, 0102") + "A3, 0101\n", 5},
        {imp_exp::mega_code, "l.meg", "l.meg", "#mega\nTITLE: t\n\n#A ACGT\n" + wide("#B ACGT"), 5},
        {imp_exp::biosys_code, "l.bio", "l.bio", bio + wide("   0303 1000 0404 0000"), 11},
        {imp_exp::tarvola_code, "g.txt", "g.txt", "2 groups\nA\n" + wide("B"), 3},
        {imp_exp::tarvola_code, "g.txt", "pB.pop", "2 B\nh1  1\n" + wide("h2  1"), 3},
        {imp_exp::tarvola_code, "g.txt", "d.txt", wide("h1 h2") + "0\n1 0\n", 1}};
    for (Case const& c : cases) {
        SCOPED_TRACE(c.file);
        for (auto const& [name, text] : {std::pair{"g.txt", "2 groups\nA\nB\n"}, {"pA.pop", "2 A\nh1  2\n"},
                                         {"pB.pop", "2 B\nh2  2\n"}, {"d.txt", "h1 h2\n0\n1 0\n"}})
            put(work / name, text);
        put(work / c.file, c.text);
        for (std::size_t limit : {79, 80}) {
            imp_exp t;
            t.line_limit = limit;
            t.extra_file_a = path("d.txt");
            t.extra_file_b = path("p");
            std::ofstream out(path("dum.pmp"));
            t.import_data(c.code, path(c.source).c_str(), path("dum.pmp").c_str(), &out);
            EXPECT_EQ(t.refusal(), limit == 80 ? "" : "line " + std::to_string(c.line) + " of " + path(c.file) +
                      " is longer than 79 bytes, the longest line the translator reads: the file is not converted");
        }
    }
}

}  // namespace
}  // namespace quintle::test
