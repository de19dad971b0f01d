// Sample names a project must hold between the double quotes of
// SampleName=. The project reader cuts every line at "#", inside quotes
// too, and does not keep NUL or 0xFF in a value: a Biosys or Mega sample
// "Lake#2" or a Tarvola word "A#1" was written as it stood, reported as
// converted, and quintle then stopped on the project. Those bytes, and the
// other control bytes but the tab, are now written as "_".

#include "translate/translate_support.h"

namespace quintle::test {
namespace {

class SampleNames : public TranslateTest {};

// The name quintle reads back for `name`, worked out byte by byte: "#", the
// control bytes but the tab, and 0xFF written as "_"; a double quote
// written as a blank; the tab written as it stands, which quintle's reader
// takes for a blank.
std::string as_held(std::string name) {
    for (char& c : name) {
        unsigned char const b = static_cast<unsigned char>(c);
        if (c == '#' || (b < 0x20 && c != '\t') || b == 0xFF) c = '_';
        if (c == '"' || c == '\t') c = ' ';
    }
    return name;
}

std::vector<std::string> sample_names(Project const& p) {
    std::vector<std::string> out;
    for (long s = 0; p.samples != nullptr && s < p.samples->Populations.count; ++s)
        out.emplace_back(p.samples->Populations.data[s]->name.c_str());
    return out;
}

// Every byte but the line feed, first, inside and last in a sample name,
// through the Biosys reader (all names in one file) and the Mega reader (one
// file a name; a "#" first would make the line a sequence's, and a carriage
// return last is the line end's). quintle reads each project back under the
// name written.
TEST_F(SampleNames, EveryByteReadsBack) {
    std::vector<std::string> names;
    for (int b = 0; b < 256; ++b) {
        if (b == '\n') continue;
        std::string const byte(1, static_cast<char>(b));
        auto id = [&] { return std::to_string(1000 + names.size()); };
        names.push_back(byte + "n" + id());
        names.push_back("n" + byte + id());
        if (b != '\r') names.push_back("n" + id() + byte);
    }

    for (std::string const& n : names) {
        if (n[0] == '#') continue;
        SCOPED_TRACE(::testing::PrintToString(n));
        put(work / "m.meg", "#mega\nTITLE: bytes\n\n#s1 ACGT\n#s2 ACGA\n\n" + n + "\n");
        translate("Mega", "Pellomar", "m.meg", "m.pmp");
        ASSERT_FALSE(failed()) << run_log();
        Project fromMega;
        ASSERT_NE(read_back("m.pmp", fromMega), 0) << file("m.pmp");
        EXPECT_EQ(sample_names(fromMega), std::vector<std::string>{as_held(n)});
    }

    std::string biosys = "Bytes\nNOTU=" + std::to_string(names.size()) +
                         ",NLOC=1,NALL=2,CRT;\n(1(1X,A7))\nL1\nSTEP DATA:\nDATYP=1,ALPHA\n(A7,3X,1(1X,A2,A2))\n";
    std::vector<std::string> expected;
    for (std::string const& n : names) {
        biosys += n + "\nind     0102\nNEXT\n";
        expected.push_back(as_held(quintle::trimmed(n)));  // Biosys names lose their outer blanks and tabs
    }
    put(work / "b.bio", biosys + "END;\n");
    translate("Biosys", "Pellomar", "b.bio", "b.pmp");
    ASSERT_FALSE(failed()) << run_log();
    Project fromBiosys;
    ASSERT_NE(read_back("b.pmp", fromBiosys), 0) << file("b.pmp");
    EXPECT_EQ(sample_names(fromBiosys), expected);
}

// A Tarvola word "A#1": the sample and the structure's group name the same
// readable sample, and the population file is still found under the word.
TEST_F(SampleNames, TarvolaWord) {
    put(work / "g.txt", "1 one group\nA#1 B\n");
    put(work / "pA#1.pop", "5 A\nh1  5\n");
    put(work / "pB.pop", "3 B\nh1  1\nh2  2\n");
    put(work / "d.txt", "h1 h2\n0\n1 0\n");
    translate("Tarvola", "Pellomar", "g.txt", "t.pmp", {"d.txt", "p"});
    ASSERT_FALSE(failed()) << run_log();
    EXPECT_EQ(lines_from(file("t.pmp"), "\t\tGroup={", "}"),
              (std::vector<std::string>{"\t\tGroup={", "\"pA_1\"", "\"pB\""}));
    Project p;
    ASSERT_NE(read_back("t.pmp", p), 0) << file("t.pmp");
    EXPECT_EQ(sample_names(p), (std::vector<std::string>{"pA_1", "pB"}));
    EXPECT_EQ(p.structure->NbGroups, 1);
    EXPECT_EQ(p.structure->Groups[0].count, 2);
}

}  // namespace
}  // namespace quintle::test
