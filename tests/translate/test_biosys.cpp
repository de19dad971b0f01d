// Biosys files to projects and back, worked out by hand from the format's
// rules: the record format "(A7,3X,5(1X,A2,A2))" is a 7-column name, 3
// blank columns, then per locus a blank and two 2-column alleles; counts
// and frequencies follow each genotype after a blank, a frequency of width
// 4 with an implied point after its first digit (" 250" is 0.250).

#include <fstream>

#include "translate/translate_support.h"
#include "translate/imp_exp.h"

namespace quintle::test {
namespace {

// A record: the name in 7 columns, 3 blanks, then " " and each genotype.
std::string record(std::string name, std::vector<std::string> const& genotypes) {
    name.resize(7, ' ');
    std::string out = name + "   ";
    for (std::string const& g : genotypes) out += " " + g;
    return out;
}

// An entry of counts or frequencies: " ", the genotype, " ", the value.
std::string entry(std::string const& genotype, std::string const& value) { return " " + genotype + " " + value; }

class Biosys : public TranslateTest {
protected:
    // The layout the parser gives a format text, and what it wrote.
    bool parse(int datyp, std::string const& format, imp_exp::BiosysLayout& layout, std::string& written) {
        imp_exp t;
        std::ofstream out(work / "format.txt");
        t.of_str = &out;
        bool const ok = datyp == 1 ? t.read_format1(format, layout)
                                   : (datyp == 2 ? t.read_format2(format, layout) : t.read_format3(format, layout));
        out.close();
        written = slurp(work / "format.txt");
        return ok;
    }
    void expect_refused(std::string const& source, std::string const& reason) {
        expect_source_refused("Biosys", source, reason);
    }
};

TEST_F(Biosys, RecordFormats) {
    imp_exp::BiosysLayout l;
    std::string written;
    ASSERT_TRUE(parse(1, "(A7,3X,5(1X,A2,A2))", l, written));
    EXPECT_EQ(l.nameWidth, 7);
    EXPECT_EQ(l.leadBlanks, 3);
    ASSERT_EQ(l.lines.size(), 1u);
    EXPECT_EQ(std::vector<int>({l.lines[0].loci, l.lines[0].gap, l.lines[0].first, l.lines[0].second}),
              std::vector<int>({5, 1, 2, 2}));
    ASSERT_TRUE(parse(2, "(2X, 12(1X,A2,A2,1X,I3))", l, written));
    EXPECT_EQ(std::vector<int>({l.nameWidth, l.leadBlanks, l.lines[0].loci, l.lines[0].gap, l.lines[0].first,
                                l.lines[0].second, l.lines[0].value}),
              std::vector<int>({0, 2, 12, 1, 2, 2, 3}));
    ASSERT_TRUE(parse(3, "(2X,4(1X,A3,A3,1X,F4.3))", l, written));
    EXPECT_EQ(std::vector<int>({l.lines[0].loci, l.lines[0].first, l.lines[0].value}), std::vector<int>({4, 3, 4}));
    EXPECT_EQ(written, "");
    // Ten lines are read (a record of many loci spans many lines).
    std::string tenLines = "(A7,3X,2(1X,A2,A2)";
    for (int i = 0; i < 9; ++i) tenLines += "/3(1X,A1,A1)";
    ASSERT_TRUE(parse(1, tenLines + ")", l, written));
    EXPECT_EQ(l.lines.size(), 10u);
    EXPECT_EQ(l.lines[9].loci, 3);

    for (auto const& [datyp, bad] : std::vector<std::pair<int, std::string>>{
             {1, "(7,3X,5(1X,A2,A2))"},           // no A before the name width
             {2, "(2X,12(1X,A2,A2,2X,I3))"},      // not "1X" before the count
             {1, "(A7,3X,5(1X,A2,A2"},            // unfinished
             {1, "(A7,3X,999999(1X,A2,A2))"}}) {  // absurd
        SCOPED_TRACE(bad);
        EXPECT_FALSE(parse(datyp, bad, l, written));
        EXPECT_EQ(written, " ***** ERROR *****\n");
    }
}

// Individual genotypes: blank lines before the title, the keyword line
// without blanks, the locus listing as comments, a record whose name holds
// a blank, a blank allele and a short record (missing data "?"), samples
// ended by "NEXT" and the data by "END;".
TEST_F(Biosys, IndividualGenotypes) {
    std::string const source = "\n\nExample of individual genotypes\nNOTU=2,NLOC=3,NALL=6,CRT;\n(3(1X,A7))\n"
                               "ADH     PGM     EST\nstep data:\nDATYP=1,ALPHA\n(A7,3X,3(1X,A2,A2))\nLake\n" +
                               record("ind1", {"0102", "0303", "0101"}) + "\n" +
                               record("ind 2", {"0202", "0   ", "0102"}) + "\n" + record("ind3", {"0101"}) +
                               "\nNEXT\nRiver\n" + record("r1", {"0303", "0101", "0202"}) + "\nEND;\nnot read\n";
    for (bool crlfLines : {false, true}) {
        SCOPED_TRACE(crlfLines ? "CRLF" : "LF");
        put(work / "b.txt", crlfLines ? crlf(source) : source);
        translate("Biosys", "Pellomar", "b.txt", "b.pmp");
        std::vector<std::string> const lines = lines_of(file("b.pmp"));
        std::vector<std::string> const expected = {
            "[Profile]", "\t Title= \" Example of individual genotypes \"", "\t NbSamples=2", "\t GenotypicData=1",
            "\t GameticPhase=0", "\t DataType=STANDARD", "\t MissingData=\"?\"", "\t LocusSeparator=WHITESPACE", "",
            "#The locus listing of Mega has been commented out", "#(3(1X,A7))", "#ADH     PGM     EST",
            "#step data:", "#", "#", "#Number of lines=1", "#Name field has length 7 followed by 3 blanks",
            "#There are 3 loci, ", "#\tformat of line number 0 : 3 loci, (1X, A2, A2)",
            "#The given number of loci is compatible with the actual number of loci", "", "", "[Data]",
            "\t [[Samples]]", "\t\t SampleName=\"Lake\"", "\t\t SampleSize= 3", "\t\t SampleData={",
            "ind1 1 01 03 01 ", "\t\t 02 03 01 ", "ind2 1 02 0 01 ", "\t\t 02 ? 02 ", "ind3 1 01 ? ? ",
            "\t\t 01 ? ? ", "}", "\t\t SampleName=\"River\"", "\t\t SampleSize= 1", "\t\t SampleData={",
            "r1 1 03 01 02 ", "\t\t 03 01 02 ", "}", ""};
        ASSERT_GE(lines.size(), 3u) << run_log();
        EXPECT_EQ(std::vector<std::string>(lines.begin() + 3, lines.end()), expected);
    }
    // A blank before the first keyword leaves the number of samples at 0:
    // no sample is read and the conversion fails.
    std::string shifted = source;
    shifted.replace(shifted.find("NOTU"), 4, " NOTU");
    put(work / "shifted.txt", shifted);
    translate("Biosys", "Pellomar", "shifted.txt", "shifted.pmp");
    EXPECT_TRUE(failed());
    EXPECT_NE(run_log().find("no samples have been defined"), std::string::npos) << run_log();

    // Without "END;" the last sample is closed all the same.
    std::string open = source.substr(0, source.find("END;"));
    put(work / "open.txt", open);
    translate("Biosys", "Pellomar", "open.txt", "open.pmp");
    Project p;
    ASSERT_EQ(read_back("open.pmp", p), 1) << log_.text();
    EXPECT_EQ(p.samples->Populations.count, 2);
}

// Genotype counts and frequencies: the first locus makes the individuals,
// the next ones give them their alleles in turn; those a later locus leaves
// out are missing there, with a comment.
TEST_F(Biosys, CountsAndFrequencies) {
    std::string const head = "Counts\nNOTU=2, NLOC=2, CRT;\nSTEP DATA\n";
    put(work / "c.txt", head + "DATYP=2\n(2X,2(1X,A2,A2,1X,I3))\nPond\n  " + entry("0101", "  2") +
                            entry("0102", "  1") + "\n  " + entry("0303", "  1") + entry("0404", "  1") +
                            entry("0505", "  1") + "\nNEXT\nLake\n  " + entry("0101", "  2") + "\n  " +
                            entry("0202", "  1") + "\n");
    translate("Biosys", "Pellomar", "c.txt", "c.pmp");
    std::string const c = file("c.pmp");
    EXPECT_NE(c.find("\t\t SampleName=\"Pond\"\n"
                     "\t\t SampleSize=3\n\t\t SampleData={\n"
                     "ind1   1   01 03\n             01 03\nind2   1   01 04\n             01 04\n"
                     "ind3   1   01 05\n             02 05\n}\n\n"
                     "\t\t SampleName=\"Lake\"\n"
                     "#!!! Locus 2 of sample 2 counts 1 individuals fewer than its first locus: they are missing there\n"
                     "\t\t SampleSize=2\n\t\t SampleData={\n"
                     "ind1   1   01 02\n             01 02\nind2   1   01 ?\n             01 ?\n}\n"),
              std::string::npos)
        << c;
    EXPECT_NE(c.find("#Name field has length 0 then 2 blanks\n#We have 2 loci, \n"
                     "#\tformat of line number 0 : 2 loci, (1X, A2, A2, 1X, I3)\n#Nb of Loci is compatible\n"),
              std::string::npos)
        << c;

    // 0.250 and 0.750 of 10 make 2.5 and 7.5, rounded to the even counts 2
    // and 8; the second locus's 1.000 covers all 10, "0000" none.
    put(work / "f.txt", "Frequencies\nNOTU=1, NLOC=2, CRT;\nSTEP DATA\nDATYP=3\n(2X,2(1X,A2,A2,1X,F4.3))\nSea\n"
                        "N=      10\n  " + entry("0101", " 250") + entry("0102", " 750") + "\n  " +
                            entry("0303", "1000") + entry("0404", "0000") + "\n");
    translate("Biosys", "Pellomar", "f.txt", "f.pmp");
    std::string const f = file("f.pmp");
    EXPECT_NE(f.find("#Name field has lenght 0 then 2 blanks\n"), std::string::npos) << f;
    EXPECT_NE(f.find("#Nb of Loci are compatible\n"), std::string::npos) << f;
    EXPECT_NE(f.find("\t\t SampleName=\"Sea\"\n\t\t SampleSize=10\n\t\t SampleData={\n"
                     "ind1   1   01 03\n             01 03\nind2   1   01 03\n             01 03\n"
                     "ind3   1   01 03\n             02 03\n"),
              std::string::npos)
        << f;
    EXPECT_EQ(f.find("#!!!"), std::string::npos) << f;
    EXPECT_NE(f.find("ind10   1   01 03\n             02 03\n}\n"), std::string::npos) << f;
    EXPECT_EQ(run_log().find("WARNING"), std::string::npos) << run_log();
    Project p;
    ASSERT_EQ(read_back("f.pmp", p), 1) << log_.text();
    ASSERT_EQ(p.samples->Populations.count, 1);
    EXPECT_EQ(p.samples->Populations[0]->phenotypes.size(), 10);
}

// Frequencies are rounded to the nearest count, worked by hand: of 20,
// 0.250, 0.250 and 0.500 make 5, 5 and 10 individuals (a product taken from
// the double 0.2499999... would make 4), 0.350 and 0.650 make 7 and 13. Of
// 10, three times 0.333 make 3 each: 9 individuals, which the log tells.
TEST_F(Biosys, FrequenciesRoundedToNearestCount) {
    put(work / "r.txt", "Rounded\nNOTU=2, NLOC=2, CRT;\nSTEP DATA\nDATYP=3\n(2X,3(1X,A2,A2,1X,F4.3))\nBay\n"
                        "N=      20\n  " + entry("0101", " 250") + entry("0102", " 250") + entry("0202", " 500") +
                            "\n  " + entry("0303", " 350") + entry("0304", " 650") + "\nNEXT\nCove\nN=      10\n  " +
                            entry("0101", " 333") + entry("0102", " 333") + entry("0202", " 333") + "\n  " +
                            entry("0303", "1000") + "\n");
    translate("Biosys", "Pellomar", "r.txt", "r.pmp");
    EXPECT_FALSE(failed()) << run_log();
    std::string const r = file("r.pmp");
    std::string bay;
    // Individuals 1-5 are 01/01, 6-10 01/02, 11-20 02/02 at the first
    // locus; 1-7 are 03/03, 8-20 03/04 at the second.
    for (int j = 1; j <= 20; ++j) {
        char const* b = j <= 10 ? "01" : "02";  // locus 1, first allele
        char const* a = j <= 5 ? "01" : "02";   // locus 1, second allele
        char const* c = j <= 7 ? "03" : "04";   // locus 2, second allele
        bay += "ind" + std::to_string(j) + "   1   " + b + " 03\n             " + a + " " + c + "\n";
    }
    EXPECT_NE(r.find("\t\t SampleName=\"Bay\"\n\t\t SampleSize=20\n\t\t SampleData={\n" + bay + "}\n"),
              std::string::npos)
        << r;
    EXPECT_NE(r.find("\t\t SampleName=\"Cove\"\n"
                     "#!!! Locus 2 of sample 2 counts 1 individuals more than its first locus: they are dropped\n"
                     "\t\t SampleSize=10\n"),
              std::string::npos)
        << r;
    EXPECT_NE(r.find("ind9   1   02 03\n             02 03\n}\n"), std::string::npos) << r;
    EXPECT_EQ(r.find("ind10 ", r.find("SampleName=\"Cove\"")), std::string::npos) << r;
    // One warning line of the translator, for the second sample only.
    std::string const log = run_log();
    std::size_t const warning = log.find("\nWARNING: the frequencies of the first locus of sample 2 (\"Cove\") of " +
                                         path("r.txt") + " make 9 individuals, not its declared size of 10\n");
    EXPECT_NE(warning, std::string::npos) << log;
    EXPECT_EQ(log.find("\nWARNING:"), warning) << log;
    EXPECT_EQ(log.rfind("\nWARNING:"), warning) << log;
}

// A large declared sample goes through the whole conversion (import, read
// back, preparation, GenePop writer) with every individual: 0.250 and
// 0.750 of 20,000 are 5,000 and 15,000.
TEST_F(Biosys, LargeDeclaredSample) {
    put(work / "l.txt", "Large\nNOTU=1, NLOC=2, CRT;\nSTEP DATA\nDATYP=3\n(2X,2(1X,A2,A2,1X,F4.3))\nSea\n"
                        "N=      20000\n  " + entry("0101", " 250") + entry("0102", " 750") + "\n  " +
                            entry("0303", "1000") + "\n");
    translate("Biosys", "Genepop", "l.txt", "l.gen");
    EXPECT_FALSE(failed()) << run_log();
    std::vector<std::string> const lines = lines_of(file("l.gen"));
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.begin() + 4),
              std::vector<std::string>({"Locus_1", "Locus_2", "POP"}));
    long individuals = 0;
    long heterozygotes = 0;
    for (std::size_t i = 4; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].rfind("ind" + std::to_string(i - 3) + ", ", 0), 0u) << lines[i];
        ++individuals;
        if (lines[i].find(", 0102 ") != std::string::npos) ++heterozygotes;
    }
    EXPECT_EQ(individuals, 20000);
    EXPECT_EQ(heterozygotes, 15000);
    EXPECT_EQ(run_log().find("WARNING"), std::string::npos) << run_log();
}

// A sample is read whole or not at all, up to 1,000,000 individuals: counts
// of 600,000 + 400,001 are refused, and so is 1.000 of a declared 1,000,003.
TEST_F(Biosys, SampleAboveTheBoundRefused) {
    std::string const counts = "C\nNOTU=1, NLOC=1, CRT;\nSTEP DATA\nDATYP=2\n(2X,1(1X,A2,A2,1X,I7))\nPond\n  ";
    put(work / "above.txt", counts + entry("0101", " 600000") + entry("0102", " 400001") + "\n");
    expect_refused("above.txt", "the first locus of sample 1 (\"Pond\") of " + path("above.txt") +
                                    " makes more than 1000000 individuals, the most a sample is read with");
    put(work / "n.txt", "F\nNOTU=1, NLOC=1, CRT;\nSTEP DATA\nDATYP=3\n(2X,1(1X,A2,A2,1X,F4.3))\nSea\nN=      1000003\n  " +
                            entry("0101", "1000") + "\n");
    expect_refused("n.txt", "the first locus of sample 1 (\"Sea\") of " + path("n.txt") +
                                " makes more than 1000000 individuals, the most a sample is read with");
}

// Counts are exact: a later locus counting more individuals than the first
// made (1 more from the 3 of 0303, 2 from the 2 of 0404, of the first
// locus's 2) is refused. Frequencies keep their comment (see above).
TEST_F(Biosys, LaterLocusCountingMoreRefused) {
    put(work / "more.txt", "C\nNOTU=1, NLOC=3, CRT;\nSTEP DATA\nDATYP=2\n(2X,2(1X,A2,A2,1X,I3))\nPond\n  " +
                               entry("0101", "  2") + "\n  " + entry("0202", "  2") + "\n  " + entry("0303", "  3") +
                               entry("0404", "  2") + "\n");
    expect_refused("more.txt", "locus 3 of sample 1 (\"Pond\") of " + path("more.txt") +
                                   " counts 3 individuals more than its first locus");
}

// After the last declared sample only empty or blank lines and "NEXT" may
// come before "END;" or the end of the file; a sample more is refused with
// its line (12, or 14 after two samples), whatever the data type. After
// "END;" nothing is read.
TEST_F(Biosys, DataAfterTheDeclaredSamples) {
    std::string const tail = "\n\n  \nNEXT\n";
    for (auto const& [head, declared] : std::vector<std::pair<std::string, std::string>>{
             {"NOTU=1,NLOC=1,CRT;\nSTEP DATA\nDATYP=1,ALPHA\n(A7,3X,1(1X,A2,A2))\nLake\n" + record("i1", {"0102"}) +
                  "\nNEXT",
              "1 sample, and holds more data after it at line 12"},
             {"NOTU=2, NLOC=1, CRT;\nSTEP DATA\nDATYP=2\n(2X,1(1X,A2,A2,1X,I3))\nPond\n  " + entry("0101", "  2") +
                  "\nNEXT\nBay\n  " + entry("0102", "  1"),
              "2 samples, and holds more data after the last of them at line 14"},
             {"NOTU=1, NLOC=1, CRT;\nSTEP DATA\nDATYP=3\n(2X,1(1X,A2,A2,1X,F4.3))\nSea\nN=      2\n  " +
                  entry("0101", "1000"),
              "1 sample, and holds more data after it at line 12"}}) {
        SCOPED_TRACE(head);
        put(work / "extra.txt", "Title\n" + head + tail + "River\nN=      2\n" + record("r1", {"0303"}) + "\n");
        expect_refused("extra.txt", path("extra.txt") + " declares " + declared + " (\"River\")");
        put(work / "ended.txt", "Title\n" + head + tail + "END;\nRiver\n");
        translate("Biosys", "Pellomar", "ended.txt", "ended.pmp");
        EXPECT_FALSE(failed()) << run_log();
    }
}

// Endings converted as "NEXT" and "END;" are: the words in any case, "END",
// blank lines of form feeds, vertical tabs, a lone CR or the DOS end-of-file
// byte, that byte after a word, "end;" or a blank line after the last record.
TEST_F(Biosys, EndingsOfTheData) {
    auto converted = [&](std::string const& ending) {
        put(work / "e.txt", "T\nNOTU=1,NLOC=1,CRT;\nSTEP DATA\nDATYP=1,ALPHA\n(A7,3X,1(1X,A2,A2))\nLake\n" +
                                record("i1", {"0102"}) + "\n" + ending);
        translate("Biosys", "Pellomar", "e.txt", "e.pmp");
        return failed() ? "failed" : file("e.pmp").substr(file("e.pmp").find("[Profile]"));
    };
    std::string const expected = converted("NEXT\nEND;\n");
    ASSERT_NE(expected, "failed") << run_log();
    for (std::string const ending :
         {"NEXT\nend;\n", "NEXT\nEnd;\n", "NEXT\nEND\n", "NEXT\nnext\nEND;\n", "NEXT\n\x1A\n", "NEXT\n\f\nEND;\n",
          "NEXT\n\v\nEND;\n", "NEXT\n\r\r\nEND;\n", "NEXT\x1A\nEND;\n", "NEXT\nEND;\x1A\n", "end;\n", "\n \r\nEND;"})
        EXPECT_EQ(converted(ending), expected) << ::testing::PrintToString(ending);
}

// Blank lines between records and before a name are passed over: Lake holds
// 2 individuals, River 1 (its "end;" is no individual).
TEST_F(Biosys, BlankLinesBetweenRecords) {
    put(work / "b.txt", "T\nNOTU=2,NLOC=1,CRT;\nSTEP DATA\nDATYP=1,ALPHA\n(A7,3X,1(1X,A2,A2))\nLake\n" +
                            record("i1", {"0102"}) + "\n\n" + record("i2", {"0303"}) + "\n \nNEXT\n\f\nRiver\n\n" +
                            record("r1", {"0404"}) + "\n\nend;\n");
    translate("Biosys", "Pellomar", "b.txt", "b.pmp");
    Project p;
    ASSERT_EQ(read_back("b.pmp", p), 1) << log_.text();
    EXPECT_NE(dump(p).find("\"Lake\" size=4: i1x1[01/02] i2x1[03/03]\nsample 1 \"River\" size=2: r1x1[04/04]\n"),
              std::string::npos) << dump(p);
}

// Counts and sizes are whole numbers, a point and zeros allowed: "2.0" and
// " 1." make 3 individuals (not 21); 0.500 twice of N=20.0, N=120 or N=20
// makes 20, 120 or 20. A sign, letter, second point or decimal is refused;
// the message shows the lone byte 0xB2 of the sample's name as \xB2.
TEST_F(Biosys, WholeNumbers) {
    std::string const c = "C\nNOTU=1, NLOC=1, CRT;\nSTEP DATA\nDATYP=2\n(2X,2(1X,A2,A2,1X,I4))\nPo\xB2nd\n  ";
    put(work / "c.txt", c + entry("0101", "2.0 ") + entry("0102", " 1. ") + "\n");
    translate("Biosys", "Pellomar", "c.txt", "c.pmp");
    EXPECT_NE(file("c.pmp").find("\t\t SampleSize=3\n"), std::string::npos) << file("c.pmp");
    for (std::string const bad : {"-2", "+2", "2e1", "1O", "2.5", "2..0"}) {
        put(work / "bad.txt", c + entry("0101", bad + std::string(4 - bad.size(), ' ')) + "\n");
        expect_refused("bad.txt", "the count \"" + bad + "\" at locus 1 of sample 1 (\"Po\\xB2nd\") of " +
                                      path("bad.txt") + " is not a whole number");
    }
    for (std::string const n : {"N=      20.0", "N=     120", "N=20", "N=      20.5"}) {
        put(work / "f.txt", "F\nNOTU=1, NLOC=1, CRT;\nSTEP DATA\nDATYP=3\n(2X,2(1X,A2,A2,1X,F4.3))\nSea\n" + n +
                                "\n  " + entry("0101", " 500") + entry("0102", " 500") + "\n");
        if (n.ends_with(".5")) break;
        translate("Biosys", "Pellomar", "f.txt", "f.pmp");
        std::string const last = "\nind" + std::to_string(std::stoi(n.substr(2))) + "   1   01\n             02\n}";
        EXPECT_NE(file("f.pmp").find(last), std::string::npos) << n;
    }
    expect_refused("f.txt", "the sample size \"20.5\" after \"N=\" of sample 1 (\"Sea\") of " + path("f.txt") +
                                " is not a whole number");
}

// A frequency field that writes its own point is the number it writes,
// blanks around it ignored, rounded as the others: of 20, "0.25" and
// "0.75" make 5 and 15, a blank field none; of 10, "0.35" and " 350" make
// 4 each (3.5 to the even 4), " .2 " 2. A field with a point that is not a
// decimal number is refused.
TEST_F(Biosys, FrequenciesWithTheirOwnPoint) {
    auto source = [](std::string const& last) {
        return "P\nNOTU=2, NLOC=1, CRT;\nSTEP DATA\nDATYP=3\n(2X,3(1X,A2,A2,1X,F4.3))\nBay\nN=      20\n  " +
               entry("0101", "0.25") + entry("0102", "0.75") + entry("0202", "    ") + "\nCove\nN=      10\n  " +
               entry("0101", "0.35") + entry("0102", " 350") + entry("0202", last) + "\n";
    };
    put(work / "p.txt", source(" .2 "));
    translate("Biosys", "Pellomar", "p.txt", "p.pmp");
    std::string const p = file("p.pmp");
    EXPECT_NE(p.find("ind5   1   01\n             01\nind6   1   01\n             02\n"), std::string::npos) << p;
    EXPECT_NE(p.find("ind20   1   01\n             02\n}"), std::string::npos) << p;
    EXPECT_NE(p.find("ind4   1   01\n             01\nind5   1   01\n             02\nind6"), std::string::npos);
    EXPECT_NE(p.find("ind8   1   01\n             02\nind9   1   02\n             02\nind10   1   02\n"
                     "             02\n}"),
              std::string::npos);
    for (std::string const junk : {"0.2.", "0.a2", "0. 2"}) {
        put(work / "junk.txt", source(junk));
        expect_refused("junk.txt", "the frequency \"" + junk + "\" at locus 1 of sample 2 (\"Cove\") of " +
                                       path("junk.txt") + " is not a decimal number");
    }
}

// An empty line where a sample's name stands is the name line when the
// sample's first data line follows it: a record (DATYP 1, after NEXT), a
// line of counts or a size line. Each file converts as its twin named
// "Lake" does, with an empty name; before, its data line was taken for the
// name.
TEST_F(Biosys, EmptyNameLine) {
    std::string const head = "T\nNOTU=2, NLOC=2, CRT;\nSTEP DATA\n";
    for (std::string const& data : std::vector<std::string>{
             "DATYP=1,ALPHA\n(A7,3X,2(1X,A2,A2))\nPond\n" + record("i1", {"0102", "0203"}) + "\nNEXT\n@\n" +
                 record("r1", {"0404", "0303"}) + "\n" + record("r2", {"0101", "0202"}) + "\nEND;\n",
             "DATYP=2\n(2X,2(1X,A2,A2,1X,I4))\n@\n   0101    2 0102    1\n   0303    3\nNEXT\nPond\n"
             "   0101    1\n   0202    1\nEND;\n",
             "DATYP=3\n(2X,2(1X,A2,A2,1X,F4.3))\n@\nN=      10\n   0101  500 0102  500\n   0303 1000\nNEXT\nPond\n"
             "N=      1\n   0101 1000\n   0303 1000\nEND;\n"}) {
        SCOPED_TRACE(data);
        std::string empty = head + data, named = empty;
        empty.replace(empty.find('@'), 1, "");
        named.replace(named.find('@'), 1, "Lake");
        put(work / "named.txt", named);
        translate("Biosys", "Pellomar", "named.txt", "named.pmp");
        put(work / "empty.txt", empty);
        translate("Biosys", "Pellomar", "empty.txt", "empty.pmp");
        EXPECT_FALSE(failed()) << run_log();
        std::string expected = file("named.pmp");
        expected.replace(expected.find("\"Lake\""), 6, "\"\"");
        EXPECT_EQ(file("empty.pmp").substr(file("empty.pmp").find("[Profile]")),
                  expected.substr(expected.find("[Profile]")));
    }
}

// Names that merely look like data stay names after an empty line: a name
// short of the last allele field, one with its gap column or lead blanks
// filled, one without "=" of fewer than 9 bytes. Each second sample holds
// one individual.
TEST_F(Biosys, LookAlikeNamesAfterAnEmptyLine) {
    std::string const head = "T\nNOTU=2, NLOC=2, CRT;\nSTEP DATA\n";
    auto records = [](std::string const& format, std::string const& blanks) {
        return "DATYP=1,ALPHA\n" + format + "\nLake\ni1" + blanks + "0102 0203\nNEXT\n\n@\ni2" + blanks +
               "0102 0203\nEND;\n";
    };
    for (auto const& [data, name] : std::vector<std::pair<std::string, std::string>>{
             {records("(A7,0X,2(1X,A2,A2))", "      "), "Big Dam Pond"},
             {records("(A7,3X,2(1X,A2,A2))", "         "), "Pond       n=2"},
             {"DATYP=2\n(2X,1(1X,A2,A2,1X,I4)/1(1X,A2,A2,1X,I4))\nLake\n   0101    2\n   0102    2\n   0303    2\n"
              "   0404    2\nNEXT\n\n@\n   0101    1\n   0102    0\n   0303    1\n   0404    0\nEND;\n",
              "Sample 101"},
             {"DATYP=3\n(2X,2(1X,A2,A2,1X,F4.3))\nLake\nN=      2\n   0101 1000\n   0202 1000\n\n@\nN=      1\n"
              "   0101 1000\n   0202 1000\nEND;\n",
              "N"}}) {
        SCOPED_TRACE(name);
        std::string source = head + data;
        source.replace(source.find('@'), 1, name);
        put(work / "l.txt", source);
        translate("Biosys", "Pellomar", "l.txt", "l.pmp");
        Project p;
        ASSERT_EQ(read_back("l.pmp", p), 1) << log_.text();
        ASSERT_EQ(p.samples->Populations.count, 2);
        EXPECT_NE(file("l.pmp").find("\t\t SampleName=\"" + name + "\"\n"), std::string::npos) << file("l.pmp");
        EXPECT_EQ(p.samples->Populations[1]->phenotypes.size(), 1);
    }
}

// A blank line read as an empty sample name is told, on standard error and
// in the log: each of a file's first ten such samples, then one line for
// the rest; before the refusal of a file refused later. A blank line passed
// over before a name is not told.
TEST_F(Biosys, EmptyNameLinesAreTold) {
    std::string const head = "T\nNOTU=@, NLOC=2, CRT;\nSTEP DATA\nDATYP=1,ALPHA\n";
    auto told = [&](std::string const& source, std::string const& notu, std::string const& format) {
        std::string text = head + format + "\nLake\n" + source;
        text.replace(text.find('@'), 1, notu);
        put(work / "e.txt", text);
        ::testing::internal::CaptureStderr();
        translate("Biosys", "Pellomar", "e.txt", "e.pmp");
        return lines_of(::testing::internal::GetCapturedStderr());
    };
    auto warning = [&](int line, int sample, std::string const& data) {
        std::string const s = "sample " + std::to_string(sample);
        return "line " + std::to_string(line) + " of " + path("e.txt") + " is blank where the name of " + s +
               " is expected, and line " + std::to_string(line + 1) + " (\"" + data +
               "\") reads as its first data line: " + s + " is given an empty name";
    };
    std::string const format = "(A7,0X,2(1X,A2,A2))";
    EXPECT_EQ(told("i1      0102 0203\nNEXT\n\nSite 01 Lake Erie\ni2      0102 0203\nEND;\n", "2", format),
              std::vector<std::string>{"quintle: " + warning(9, 2, "Site 01 Lake Erie")});
    EXPECT_NE(run_log().find("\tReading  " + path("e.txt") + " ...\nWARNING: " + warning(9, 2, "Site 01 Lake Erie") +
                             "\n\tdone.\n"),
              std::string::npos)
        << run_log();
    EXPECT_NE(file("e.pmp").find("SampleName=\"\"\n\t\t SampleSize= 2\n"), std::string::npos);

    std::string twelve;
    for (int s = 0; s < 12; ++s) {
        std::string name = "i" + std::to_string(s + 2);
        name.resize(8, ' ');
        twelve += "NEXT\n\n" + name + "0102 0203\n";
    }
    std::vector<std::string> const many = told("i1      0102 0203\n" + twelve, "13", format);
    ASSERT_EQ(many.size(), 11u);
    EXPECT_EQ(many[9], "quintle: " + warning(36, 11, "i11     0102 0203"));
    EXPECT_EQ(many[10], "quintle: 2 more samples of " + path("e.txt") + " are given an empty name the same way");

    std::vector<std::string> const refused =
        told("i1      0102\n 0203\nNEXT\n\nSite 01 Lake\ni2      0102\n 0203\nEND;\n", "2", "(A7,0X,1(1X,A2,A2)/1(1X,A2,A2))");
    ASSERT_EQ(refused.size(), 2u);
    EXPECT_EQ(refused[0], "quintle: " + warning(10, 2, "Site 01 Lake"));
    EXPECT_EQ(refused[1].rfind("quintle: error during run of " + path("e.txt") + "; record 2 (\"0203\")", 0), 0u)
        << refused[1];

    EXPECT_TRUE(told("i1      0102 0203\nNEXT\n\nPond\ni2      0102 0203\nEND;\n", "2", format).empty());
    EXPECT_NE(file("e.pmp").find("SampleName=\"Pond\""), std::string::npos);
}

// A sample's "NEXT" or "END;" where a locus line or a record's later line
// is expected, or the file's end there, refuses the file with the line; an
// empty locus line is still a locus of missing data, and a whole record of
// two lines converts.
TEST_F(Biosys, DataPastTheSampleEnd) {
    auto counts = [](char notu) {
        return std::string("T\nNOTU=") + notu + ", NLOC=2, CRT;\nSTEP DATA\nDATYP=2\n(2X,2(1X,A2,A2,1X,I4))\n";
    };
    for (std::string const name : {"Pond", ""}) {
        put(work / "short.txt", counts('1') + name + "\n   0101    2 0102    1\nEND;\n");
        expect_refused("short.txt", path("short.txt") +
                                        " declares 2 loci, and its data end at locus 2 of sample 1, at line 8 "
                                        "(\"END;\")");
    }
    put(work / "next.txt", counts('2') + "Pond\n   0101    2\nNEXT\nLake\n   0303    1\n");
    expect_refused("next.txt", path("next.txt") +
                                   " declares 2 loci, and its data end at locus 2 of sample 1, at line 8 (\"NEXT\")");
    put(work / "gap.txt", counts('1') + "Pond\n   0101    2\n\n");
    translate("Biosys", "Pellomar", "gap.txt", "gap.pmp");
    EXPECT_NE(file("gap.pmp").find("#!!! Locus 2 of sample 1 counts 2 individuals fewer than its first locus"),
              std::string::npos) << file("gap.pmp");

    std::string const records = "T\nNOTU=1,NLOC=4,CRT;\nSTEP DATA\nDATYP=1,ALPHA\n(A7,3X,2(1X,A2,A2)/2(1X,A2,A2))\n"
                                "Lake\n" + record("i1", {"0102", "0203"}) + "\n 0101 0202\n" +
                                record("i2", {"0102", "0203"}) + "\n";
    put(work / "end.txt", records + "END;\n");
    expect_refused("end.txt", "record 2 (\"i2\") of sample 1 (\"Lake\") of " + path("end.txt") +
                                  " ends before its line 2 of 2, at line 10 (\"END;\")");
    put(work / "eof.txt", records);
    expect_refused("eof.txt", "record 2 (\"i2\") of sample 1 (\"Lake\") of " + path("eof.txt") +
                                  " ends before its line 2 of 2, at the end of the file");
    put(work / "whole.txt", records + " 0303 0404\nEND;\n");
    translate("Biosys", "Pellomar", "whole.txt", "whole.pmp");
    EXPECT_NE(file("whole.pmp").find("i2 1 01 02 03 04 \n\t\t 02 03 03 04 \n}\n"), std::string::npos)
        << file("whole.pmp");
}

// Records of one allele per locus (every second width 0) make a haplotypic
// project of one line per individual, a name used before made unique (an
// identifier names one haplotype); a format of one such line and one
// diploid line is still refused, as the reader cannot hold both.
TEST_F(Biosys, HaploidRecords) {
    std::string const head = "T\nNOTU=2,NLOC=2,CRT;\nSTEP DATA\nDATYP=1,ALPHA\n";
    put(work / "h.txt", head + "(A4,1X,2(1X,A2,A0))\nLake\ni1    01 02\n      03 02\nNEXT\nPond\ni1    03 02\n"
                               "      01 02\nEND;\n");
    translate("Biosys", "Pellomar", "h.txt", "h.pmp");
    EXPECT_FALSE(failed()) << run_log();
    std::string const h = file("h.pmp");
    EXPECT_NE(h.find("\t GenotypicData=0\n"), std::string::npos) << h;
    EXPECT_NE(h.find("\t\t SampleData={\ni1 1 01 02 \nind2 1 03 02 \n}\n"), std::string::npos) << h;
    EXPECT_NE(h.find("\t\t SampleData={\ni1_2 1 03 02 \nind2_2 1 01 02 \n}\n"), std::string::npos) << h;
    Project p;
    ASSERT_EQ(read_back("h.pmp", p), 1) << log_.text();
    EXPECT_EQ(p.GenotypicData, 0);
    EXPECT_NE(dump(p).find("sample 0 \"Lake\" size=2: i1x1 ind2x1\nsample 1 \"Pond\" size=2: i1_2x1 ind2_2x1\n"),
              std::string::npos)
        << dump(p);

    put(work / "mixed.txt", head + "(A4,1X,1(1X,A2,A0)/1(1X,A2,A2))\nLake\ni1    01\n 0202\nNEXT\nPond\ni1    01\n 0202\n");
    translate("Biosys", "Pellomar", "mixed.txt", "mixed.pmp");
    EXPECT_NE(run_log().find("unable to read genotype data"), std::string::npos) << run_log();
}

// A genotypic project to Biosys and back: the same individuals and alleles
// (the sample names keep their number, their blanks joined by the project
// reader). A haplotypic one is refused.
TEST_F(Biosys, WriterRoundTrip) {
    put(work / "m.pmp", slurp(fs::path(QUINTLE_TEST_DATA_DIR) / "project" / "microsat_diploid.pmp"));
    translate("Pellomar", "Biosys", "m.pmp", "m.bio");
    EXPECT_EQ(file("m.bio"), "Microsatellites, two loci\nNOTU=2, NLOC=2, NALL=9, CRT;\n(2(1X,A7))\nLOCI00 LOCI01 \n\n"
                             "STEP DATA:\nDATYP=1,ALPHA\n(A7,3X,2(1X,A3,A3))\n"
                             "0   Pop A           \n" +
                                 record("a1", {"120122", "134134"}) + "\n" + record("a2", {"120124", "?  136"}) +
                                 "\n" + record("a2", {"120124", "?  136"}) + "\nNEXT\n1   Pop B           \n" +
                                 record("b1", {"118118", "130132"}) + "\nNEXT\nEND;\n");
    translate("Biosys", "Pellomar", "m.bio", "back.pmp");
    Project p;
    ASSERT_EQ(read_back("back.pmp", p), 1) << log_.text();
    std::string const d = dump(p);
    EXPECT_NE(d.find("sample 0 \"0 Pop A\" size=6: a1x1[120 134/122 134] a2x1[120 ?/124 136] a2x1[120 ?/124 136]\n"
                     "sample 1 \"1 Pop B\" size=2: b1x1[118 130/118 132]\n"),
              std::string::npos)
        << d;

    put(work / "h.pmp", "[Profile]\nTitle=\"h\"\nNbSamples=1\nDataType=DNA\nGenotypicData=0\nLocusSeparator=NONE\n"
                        "[Data]\n[[Samples]]\nSampleName=\"a\"\nSampleSize=1\nSampleData={\nh1 1 ACGT\n}\n");
    translate("Pellomar", "Biosys", "h.pmp", "h.bio");
    EXPECT_EQ(file("h.bio"), "  It is not possible to translate Haplotypic data into the\n  BIOSYS format.\n");
}

}  // namespace
}  // namespace quintle::test
