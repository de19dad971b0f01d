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

// The bytes a project word keeps, as the two project readers read words:
// printable ASCII but "#" (a comment from there on) and "}" (the end of a
// block), and 0x80 to 0xFE; "{", "[", "]" and "=" cannot open an entry.
std::string as_read_back(std::string name) {
    for (std::size_t i = 0; i < name.size(); ++i) {
        unsigned char const c = static_cast<unsigned char>(name[i]);
        bool const kept = ((c > 0x20 && c < 0x7F) || (c >= 0x80 && c != 0xFF)) && c != '#' && c != '}' &&
                          !(i == 0 && std::string_view("{[]=").find(static_cast<char>(c)) != std::string_view::npos);
        if (!kept) name[i] = '_';
    }
    return name;
}

// The names of the entries of a project's first sample, in order.
std::vector<std::string> entry_names(Project const& p) {
    std::vector<std::string> out;
    if (p.samples == nullptr || p.samples->Populations.count == 0) return out;
    Population const& pop = *p.samples->Populations.data[0];
    for (long k = 0; k < pop.haplotypes.count; ++k) out.emplace_back(pop.haplotypes.data[k]->haplotype->id.c_str());
    for (long k = 0; k < pop.phenotypes.size(); ++k) out.emplace_back(pop.phenotypes[k]->name.c_str());
    return out;
}

// Every byte from 1 to 255 (but the line end, and the comma that ends a
// GenePop name), first, inside and last in a name, through each reader that
// names its entries: the project holds every entry once, under its name,
// for quintle's reader and for the translator's.
TEST_F(UnreadableNames, EveryByteReadsBack) {
    struct Reader {
        char const* format;
        std::vector<std::string> extra;
    };
    for (Reader const& reader : {Reader{"Phylip", {}}, Reader{"Genepop", {"1"}}, Reader{"Biosys", {}}}) {
        std::string const format = reader.format;
        SCOPED_TRACE(format);
        std::vector<std::string> names;
        for (int b = 1; b < 256; ++b) {
            if (b == '\n' || (format == "Genepop" && b == ',')) continue;
            // Every name numbered: none becomes another's when its byte is
            // left out.
            auto id = [&] { return std::to_string(1000 + names.size()); };
            std::string const byte(1, static_cast<char>(b));
            names.push_back(byte + "n" + id());
            names.push_back("n" + byte + id());
            names.push_back("n" + id() + byte);
        }
        std::string source;
        std::vector<std::string> expected;
        for (std::size_t i = 0; i < names.size(); ++i) {
            std::string const& n = names[i];
            if (format == "Phylip") {
                // Ten columns of name; its outer blanks are not part of it.
                source += n + std::string(10 - n.size(), ' ') + "ACGT\n";
                expected.push_back(as_read_back(quintle::trimmed(n)));
            } else if (format == "Genepop") {
                // The blanks of a name are left out; the individual's number
                // is added.
                source += n + ", 0102\n";
                expected.push_back(as_read_back(quintle::without_blanks(n)) + "_" + std::to_string(i + 1));
            } else {
                source += n + std::string(7 - n.size(), ' ') + "    0102\n";
                expected.push_back(as_read_back(quintle::without_blanks(n)));
            }
        }
        if (format == "Phylip") source = std::to_string(names.size()) + " 4\n" + source;
        if (format == "Genepop") source = "Bytes\nloc1\nPop\n" + source;
        if (format == "Biosys")
            source = "Bytes\nNOTU=1,NLOC=1,NALL=2,CRT;\n(1(1X,A7))\nL1\nSTEP DATA:\nDATYP=1,ALPHA\n"
                     "(A7,3X,1(1X,A2,A2))\nLake\n" + source + "END;\n";
        put(work / "n.src", source);
        translate(format, "Pellomar", "n.src", "n.pmp", reader.extra);
        ASSERT_FALSE(failed()) << run_log();

        Project current;
        EXPECT_NE(read_back("n.pmp", current), 0);
        EXPECT_EQ(entry_names(current), expected);

        Project older;
        settings::input_file = path("n.pmp").c_str();
        older.options.ResultFolder = (work.string() + "/").c_str();
        older.options.ProjectFolder = older.options.ResultFolder;
        older.initialize();
        EXPECT_NE(older.open(), 0);
        EXPECT_EQ(entry_names(older), expected);
    }
}

}  // namespace
}  // namespace quintle::test
