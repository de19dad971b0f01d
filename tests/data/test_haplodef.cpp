// Tests of haplotype definitions and the project's haplotype list.

#include "data/HaploDef.h"
#include "data/Haplo_DB.h"

#include <gtest/gtest.h>

#include "data/logged_test.h"

#include <memory>
#include <sstream>
#include <vector>

#include "data/TAlleleDB.h"
#include "project/DistMat.h"
#include "run/settings.h"

namespace fs = std::filesystem;

namespace quintle {
namespace {

struct Report {
    std::string kind;
    std::string function;
    std::string text;
};

// Reports of a log text: lines "nnnn #[KIND # k] from function "f" : text".
std::vector<Report> parse_reports(std::string const& log) {
    std::vector<Report> out;
    std::istringstream in(log);
    for (std::string line; std::getline(in, line);) {
        const auto open = line.find(" #[");
        const auto from = line.find("] from function \"");
        if (open == std::string::npos || from == std::string::npos) continue;
        const auto colon = line.find("\" : ", from);
        if (colon == std::string::npos) continue;
        const auto kindEnd = line.find(" # ", open + 3);
        Report r;
        r.kind = line.substr(open + 3, kindEnd - open - 3);
        const auto nameStart = from + std::string("] from function \"").size();
        r.function = line.substr(nameStart, colon - nameStart);
        r.text = line.substr(colon + 4);
        out.push_back(r);
    }
    return out;
}

std::string text(my_string const& s) { return s.c_str(); }

std::string rest_of(std::istream& is) {
    std::string rest((std::istreambuf_iterator<char>(is)), std::istreambuf_iterator<char>());
    return rest;
}

// Gives the matrix n rows; labels are set when given.
void shape_matrix(DistMat& dm, int n, std::vector<std::string> const& labels = {}) {
    dm.create(n);
    dm.MatrixSize = n;
    if (labels.empty()) return;
    dm.Labels = std::make_unique<my_string[]>(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) dm.Labels[i] = labels[static_cast<std::size_t>(i)].c_str();
}

class HaploDefTest : public test::LoggedTest {
protected:
    void SetUp() override {
        LoggedTest::SetUp();
        ProfileSettings::DataType = DNA;
        ProfileSettings::LocusSeparator = '\0';
        profile_.MissingData = '?';
    }

    // Log text written since the previous call.
    std::string new_log() {
        std::string const all = log();
        std::string fresh = all.substr(seen_);
        seen_ = all.size();
        return fresh;
    }
    std::vector<Report> reports() { return parse_reports(new_log()); }

    void expect_reports(std::vector<Report> const& got, std::vector<std::pair<std::string, int>> const& want,
                        std::vector<std::string> const& kinds) {
        ASSERT_EQ(got.size(), want.size());
        for (std::size_t i = 0; i < want.size(); ++i) {
            EXPECT_EQ(got[i].function, want[i].first) << "report " << i;
            EXPECT_EQ(got[i].text, Errors::message(want[i].second)) << "report " << i;
            EXPECT_EQ(got[i].kind, kinds[i]) << "report " << i;
        }
    }

    std::string write_file(std::string const& name, std::string const& content) {
        const fs::path p = dir_ / name;
        std::ofstream out(p, std::ios::binary);
        out << content;
        return p.string();
    }

    // Reads a list from text with the line reader.
    bool read_list(Haplo_DB& db, std::string const& list, bool external = false, int start = 0) {
        std::istringstream in(list);
        lineNo_ = start;
        const bool ok = db.NewReadHaplotypeList(in, profile_, external, lineNo_);
        after_ = rest_of(in);
        return ok;
    }

    std::vector<std::string> ids(Haplo_DB const& db) {
        std::vector<std::string> out;
        for (long i = 0; i < db.haplotypes.count; ++i) out.push_back(text(db.haplotypes.data[i]->id));
        return out;
    }

    std::size_t seen_ = 0;
    ProfileSettings profile_;
    int lineNo_ = 0;
    std::string after_;  // what the line reader left in its stream
};

// ------------------------------------------------------ read_data (text)

TEST_F(HaploDefTest, ReadTextFiltersByDataType) {
    struct Case {
        TDataType type;
        char sep;
        char const* in;
        bool ok;
        char const* data;  // expected text; nullptr: left as it was ("OLD")
        int message;       // 0: no report
    };
    const Case cases[] = {
        {DNA, '\0', "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ-0123?", true,
         "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ-0123?", 0},
        {DNA, '\0', "AC*G", false, nullptr, 26},
        {DNA, '\0', "AC4G", false, nullptr, 26},
        {DNA, '\0', "AC\tG", false, nullptr, 26},
        {DNA, '\0', "AC\xFFGT", false, nullptr, 26},  // a high byte is no end of text
        {DNA, '\0', "AC GT", true, "ACGT", 0},
        {DNA, '\0', "AC\nG*", true, "AC", 0},
        {DNA, '\0', "AC#GT", true, "AC", 0},
        {DNA, '\0', "AC#G*", false, nullptr, 26},  // text after "#" is still checked
        {DNA, '\0', "   ", false, nullptr, 0},
        {DNA, '\0', "#ACGT", false, nullptr, 0},
        {RFLP, '\0', "01-1?0", true, "01-1?0", 0},
        {RFLP, '\0', "0120", false, nullptr, 25},
        {MICROSAT, ';', ";112;;140;?", true, ";112;;140;?", 0},
        {MICROSAT, ';', ";112;14a", false, nullptr, 27},
        {MICROSAT, ' ', " 112 140 96 ", true, " 112 140 96", 0},
        {STANDARD, '\0', "a*b c \t ", true, "a*b c", 0},
        {STANDARD, '\0', "abc\t", true, "abc\t", 0},
        {STANDARD, '\0', "    ", true, "", 0},
        {FREQUENCY, '\0', "ACGT", true, "", 0},
        {static_cast<TDataType>(7), '\0', "ACGT", true, nullptr, 0},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.in);
        ProfileSettings::DataType = c.type;
        ProfileSettings::LocusSeparator = c.sep;
        HaploDef h;
        h.data = "OLD";
        my_string t(c.in);
        EXPECT_EQ(h.read_data(t, profile_), c.ok);
        if (c.ok) {
            EXPECT_EQ(text(h.data), c.data ? c.data : "OLD");
        }
        if (c.message == 0) {
            EXPECT_TRUE(reports().empty());
        } else {
            expect_reports(reports(), {{"HaploDef::read_data()", c.message}}, {"ERROR"});
        }
    }
}
// ---------------------------------------------------- read_data (stream)

using HaploDefReadStream = HaploDefTest;

TEST_F(HaploDefReadStream, ReadsToLineEndAndLeavesTheNextLine) {
    HaploDef h;
    std::istringstream in(" AC G-T\nNEXT\n");
    ASSERT_TRUE(h.read_data(in, profile_));
    EXPECT_EQ(text(h.data), "ACG-T");
    EXPECT_EQ(rest_of(in), "NEXT\n");

    std::istringstream last("ACGT");
    ASSERT_TRUE(h.read_data(last, profile_));
    EXPECT_EQ(text(h.data), "ACGT");

    std::istringstream failed("ACGT\n");
    failed.setstate(std::ios::failbit);
    EXPECT_FALSE(h.read_data(failed, profile_));
}

TEST_F(HaploDefReadStream, CommentTextIsStillChecked) {
    ProfileSettings::DataType = RFLP;
    HaploDef h;
    std::istringstream in("0101 # note\n");
    EXPECT_FALSE(h.read_data(in, profile_));
    expect_reports(reports(), {{"HaploDef::read_data()", 25}}, {"ERROR"});
}

TEST_F(HaploDefReadStream, StandardTakesTheLineFrequencyReadsNothing) {
    ProfileSettings::DataType = STANDARD;
    HaploDef h;
    std::istringstream in("  x y  \nz");
    ASSERT_TRUE(h.read_data(in, profile_));
    EXPECT_EQ(text(h.data), "  x y");
    EXPECT_EQ(rest_of(in), "z");

    ProfileSettings::DataType = FREQUENCY;
    std::istringstream freq("   h2 x\n");
    h.data = "OLD";
    ASSERT_TRUE(h.read_data(freq, profile_));
    EXPECT_EQ(text(h.data), "");
    EXPECT_EQ(rest_of(freq), "h2 x\n");
}

// ------------------------------------------------ alleles of a definition

using HaploDefAlleles = HaploDefTest;

TEST_F(HaploDefAlleles, OneAllelePerCharacterWithoutSeparator) {
    TAlleleDB db;
    HaploDef a(my_string("a")), b(my_string("b")), c(my_string("c"));
    a.data = "ACG";
    b.data = "ATG";
    c.data = "ACG";
    a.build_haplovect(&db, '\0', 0, 1.0);
    b.build_haplovect(&db, '\0', 0, 1.0);
    c.build_haplovect(&db, '\0', 0, 0.5);

    ASSERT_EQ(db.loci.count, 3);
    ASSERT_EQ(a.alleles.count, 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(a.alleles.data[i]->locus, i);
        EXPECT_EQ(a.alleles.data[i], db.loci.data[i]->alleles.data[0]);
    }
    EXPECT_EQ(text(a.alleles.data[1]->name), "C");
    EXPECT_EQ(text(b.alleles.data[1]->name), "T");
    EXPECT_EQ(a.alleles.data[0], b.alleles.data[0]);
    EXPECT_NE(a.alleles.data[1], b.alleles.data[1]);
    // Every definition adds its weight to each of its alleles.
    EXPECT_DOUBLE_EQ(a.alleles.data[0]->weight, 2.5);
    EXPECT_DOUBLE_EQ(a.alleles.data[1]->weight, 1.5);
    EXPECT_DOUBLE_EQ(b.alleles.data[1]->weight, 1.0);

    EXPECT_TRUE(a.hasSameAllelicContent(c));
    EXPECT_FALSE(a.hasSameAllelicContent(b));
}

TEST_F(HaploDefAlleles, OneAllelePerPieceWithSeparator) {
    TAlleleDB db;
    HaploDef m1(my_string("m1")), m2(my_string("m2"));
    m1.data = ";112;;140;96";
    m2.data = "114;140\n98;";
    m1.build_haplovect(&db, ';', 0, 1.0);
    m2.build_haplovect(&db, ';', 0, 1.0);

    ASSERT_EQ(db.loci.count, 3);
    ASSERT_EQ(m1.alleles.count, 3);
    ASSERT_EQ(m2.alleles.count, 3);
    EXPECT_EQ(text(m1.alleles.data[0]->name), "112");
    EXPECT_EQ(text(m1.alleles.data[2]->name), "96");
    EXPECT_EQ(text(m2.alleles.data[0]->name), "114");
    EXPECT_EQ(text(m2.alleles.data[2]->name), "98");
    EXPECT_EQ(m1.alleles.data[1], m2.alleles.data[1]);
    EXPECT_EQ(db.loci.data[1]->alleles.count, 1);
    EXPECT_DOUBLE_EQ(m1.alleles.data[1]->weight, 2.0);
}

TEST_F(HaploDefAlleles, RebuildReplacesTheListAndFlushEmptiesIt) {
    TAlleleDB db;
    HaploDef h;
    h.data = "ACGT";
    h.build_haplovect(&db, '\0', 0, 1.0);
    h.data = "AC";
    h.build_haplovect(&db, '\0', 0, 1.0);
    EXPECT_EQ(h.alleles.count, 2);
    h.flush();
    EXPECT_EQ(h.alleles.count, 0);
    // The catalogue still owns the alleles.
    EXPECT_EQ(db.loci.data[0]->alleles.count, 1);
    EXPECT_DOUBLE_EQ(db.loci.data[0]->alleles.data[0]->weight, 2.0);
}

TEST_F(HaploDefAlleles, SameContentComparesPositionByPosition) {
    TAllele x, y;
    HaploDef empty, two, three;
    two.alleles.Add(&x);
    two.alleles.Add(&y);
    three.alleles.Add(&x);
    three.alleles.Add(&y);
    three.alleles.Add(&x);
    EXPECT_TRUE(empty.hasSameAllelicContent(three));
    EXPECT_TRUE(two.hasSameAllelicContent(three));
    EXPECT_FALSE(three.hasSameAllelicContent(two));
}

TEST_F(HaploDefAlleles, CopySharesAllelesAndTakesTheFields) {
    TAllele x;
    HaploDef h(my_string("h9"));
    h.data = "A";
    h.count = 4;
    h.matrixIndex = 2;
    h.alleles.Add(&x);
    {
        HaploDef copy(h);
        EXPECT_EQ(text(copy.id), "h9");
        EXPECT_EQ(text(copy.data), "A");
        EXPECT_EQ(copy.count, 4);
        EXPECT_EQ(copy.matrixIndex, 2);
        ASSERT_EQ(copy.alleles.count, 1);
        EXPECT_EQ(copy.alleles.data[0], &x);
        HaploDef assigned;
        assigned = h;
        EXPECT_EQ(assigned.alleles.data[0], &x);
        EXPECT_EQ(assigned.count, 4);
    }
    // Neither copy deleted the borrowed allele (the sanitizers would tell).
    EXPECT_EQ(h.alleles.data[0], &x);
}

TEST_F(HaploDefAlleles, ListLineAndPrint) {
    HaploDef h(my_string("h1"));
    h.data = "ACGT";
    std::ostringstream a;
    a << h;
    EXPECT_EQ(a.str(), "h1\tACGT");
    HaploDef f(my_string("f1"));
    std::ostringstream b;
    Print(f, &b);
    EXPECT_EQ(b.str(), " f1\n");
}

// ------------------------------------------------------------ line reader

using HaploListRead = HaploDefTest;

TEST_F(HaploListRead, InFileDnaList) {
    Haplo_DB db;
    ASSERT_TRUE(read_list(db, "h1 ACGT\n  h2\tAC-T   # comment\n\n# note\n}\nSampleName=x\n"));
    EXPECT_EQ(ids(db), (std::vector<std::string>{"h1", "h2"}));
    EXPECT_EQ(text(db.haplotypes.data[1]->data), "AC-T");
    EXPECT_EQ(lineNo_, 5);
    EXPECT_EQ(after_, "SampleName=x\n");
    EXPECT_TRUE(new_log().empty());
}

TEST_F(HaploListRead, SeparatedLociAreJoinedWithTheSeparator) {
    ProfileSettings::DataType = MICROSAT;
    ProfileSettings::LocusSeparator = ';';
    Haplo_DB db;
    ASSERT_TRUE(read_list(db, "m1 112 140 96\nm2 114  140 98 \n}\n"));
    ASSERT_EQ(db.haplotypes.count, 2);
    EXPECT_EQ(text(db.haplotypes.data[0]->data), ";112;140;96");
    // An empty token between two blanks adds a separator, as does the
    // trailing blank.
    EXPECT_EQ(text(db.haplotypes.data[1]->data), ";114;;140;98;");

    TAlleleDB alleles;
    for (long i = 0; i < db.haplotypes.count; ++i) db.haplotypes.data[i]->build_haplovect(&alleles, ';', 0, 0.1);
    EXPECT_EQ(alleles.loci.count, 3);
    EXPECT_EQ(db.haplotypes.data[0]->alleles.data[1], db.haplotypes.data[1]->alleles.data[1]);
    EXPECT_NE(db.haplotypes.data[0]->alleles.data[2], db.haplotypes.data[1]->alleles.data[2]);
}

TEST_F(HaploListRead, FilteringFollowsTheDataType) {
    const std::string list = "h1 a*b c\n}\n";
    {
        ProfileSettings::DataType = STANDARD;
        Haplo_DB db;
        ASSERT_TRUE(read_list(db, list));
        EXPECT_EQ(text(db.haplotypes.data[0]->data), "a*bc");
    }
    {
        ProfileSettings::DataType = FREQUENCY;
        Haplo_DB db;
        ASSERT_TRUE(read_list(db, list));
        EXPECT_EQ(text(db.haplotypes.data[0]->data), "");
    }
    new_log();
    const std::pair<TDataType, int> refused[] = {{DNA, 26}, {RFLP, 25}, {MICROSAT, 27}};
    for (auto [type, message] : refused) {
        ProfileSettings::DataType = type;
        Haplo_DB db;
        EXPECT_FALSE(read_list(db, list));
        EXPECT_EQ(db.haplotypes.count, 0);
        expect_reports(reports(), {{"HaploDef::read_data()", message}, {"Haplo_DB::NewReadHaplotypeList()", 33}},
                       {"ERROR", "ERROR"});
    }
}

TEST_F(HaploListRead, ExternalFilesNeedNoBrace) {
    {
        std::ifstream in(std::string(QUINTLE_TEST_DATA_DIR) + "/haplodef/ext_dna.txt");
        Haplo_DB db;
        int line = 0;
        ASSERT_TRUE(db.NewReadHaplotypeList(in, profile_, true, line));
        EXPECT_EQ(ids(db), (std::vector<std::string>{"hA", "hB", "hC"}));
        EXPECT_EQ(text(db.haplotypes.data[1]->data), "ACG-");
        EXPECT_EQ(text(db.haplotypes.data[2]->data), "AC?T");
        EXPECT_EQ(line, 5);
    }
    {
        // The separator of a cleaned copy is a blank.
        ProfileSettings::DataType = MICROSAT;
        ProfileSettings::LocusSeparator = ' ';
        std::ifstream in(std::string(QUINTLE_TEST_DATA_DIR) + "/haplodef/ext_msat.txt");
        Haplo_DB db;
        int line = 0;
        ASSERT_TRUE(db.NewReadHaplotypeList(in, profile_, true, line));
        ASSERT_EQ(db.haplotypes.count, 2);
        EXPECT_EQ(text(db.haplotypes.data[0]->data), " 112 140 96");
        TAlleleDB alleles;
        db.haplotypes.data[0]->build_haplovect(&alleles, ' ', 0, 1.0);
        db.haplotypes.data[1]->build_haplovect(&alleles, ' ', 0, 1.0);
        ASSERT_EQ(db.haplotypes.data[1]->alleles.count, 3);
        EXPECT_EQ(text(db.haplotypes.data[1]->alleles.data[2]->name), "98");
        EXPECT_EQ(db.haplotypes.data[0]->alleles.data[1], db.haplotypes.data[1]->alleles.data[1]);
    }
    EXPECT_TRUE(reports().empty());
}

TEST_F(HaploListRead, ClosingBraceAfterTextIsPartOfTheLastToken) {
    ProfileSettings::DataType = STANDARD;
    Haplo_DB db;
    ASSERT_TRUE(read_list(db, "h1 xy}\nh2 zz\n"));
    ASSERT_EQ(db.haplotypes.count, 1);
    EXPECT_EQ(text(db.haplotypes.data[0]->data), "xy}");
    EXPECT_EQ(after_, "h2 zz\n");
}

TEST_F(HaploListRead, NextSectionWithoutBrace) {
    Haplo_DB db;
    EXPECT_FALSE(read_list(db, "h1 ACGT\n[[Samples]]\nnext\n"));
    const std::string log = new_log();
    EXPECT_NE(log.find("\tMissing closing brace in Haplotype definition list, aborting reading procedure\n"),
              std::string::npos);
    expect_reports(parse_reports(log), {{"Haplo_DB::NewReadHaplotypeList()", 194}}, {"ERROR"});
    // What was read stays; the section line is consumed.
    EXPECT_EQ(ids(db), (std::vector<std::string>{"h1"}));
    EXPECT_EQ(after_, "next\n");

    Haplo_DB ext;
    EXPECT_TRUE(read_list(ext, "h1 ACGT\n[Structure]\n", true));
    Haplo_DB ext2;
    EXPECT_TRUE(read_list(ext2, "h1 ACGT\n", true));
    EXPECT_TRUE(reports().empty());
}

TEST_F(HaploListRead, DuplicateIdentifierEmptiesTheList) {
    Haplo_DB db;
    EXPECT_FALSE(read_list(db, "h1 ACGT\nh2 ACGA\nh1 ACGG\n}\n", false, 10));
    EXPECT_EQ(db.haplotypes.count, 0);
    const std::string log = new_log();
    EXPECT_NE(log.find("\tHaplotype \"h1\" listed on line 13 is already defined previously, aborting reading "
                       "procedure...\n"),
              std::string::npos);
    expect_reports(parse_reports(log), {{"Haplo_DB::NewReadHaplotypeList()", 31}}, {"ERROR"});
    EXPECT_EQ(db.find_by_id(my_string("h2")), nullptr);
}

TEST_F(HaploListRead, DifferentNumberOfLociKeepsWhatWasRead) {
    Haplo_DB db;
    EXPECT_FALSE(read_list(db, "h1 ACGT\nh2 ACGTA\n}\n"));
    const std::string log = new_log();
    EXPECT_NE(log.find("\tNumber of loci for haplotype \"h2\" is different (5) from that previously defined (4) on "
                       "line 2\n"),
              std::string::npos);
    expect_reports(parse_reports(log), {{"Haplo_DB::NewReadHaplotypeList()", 69}}, {"ERROR"});
    EXPECT_EQ(ids(db), (std::vector<std::string>{"h1"}));

    // With a separator the loci are the non-empty tokens.
    ProfileSettings::DataType = MICROSAT;
    ProfileSettings::LocusSeparator = ';';
    Haplo_DB sep;
    EXPECT_FALSE(read_list(sep, "m1 1 2\nm2 1  2 3\n}\n"));
    EXPECT_NE(new_log().find("is different (3) from that previously defined (2) on line 2"), std::string::npos);
}

TEST_F(HaploListRead, UnreadableDefinitionEmptiesTheList) {
    Haplo_DB db;
    EXPECT_FALSE(read_list(db, "h1 ACGT\nh2 AC*T\n}\n", false, 4));
    EXPECT_EQ(db.haplotypes.count, 0);
    const std::string log = new_log();
    EXPECT_NE(log.find("\tUnable to read haplotype definition on line 6, aborting reading procedure\n"),
              std::string::npos);
    expect_reports(parse_reports(log), {{"HaploDef::read_data()", 26}, {"Haplo_DB::NewReadHaplotypeList()", 33}},
                   {"ERROR", "ERROR"});

    // An identifier without data has an empty allele text, which fails
    // without a message of its own.
    EXPECT_FALSE(read_list(db, "h1\n}\n"));
    EXPECT_NE(new_log().find("\tUnable to read haplotype definition on line 1,"), std::string::npos);
}

TEST_F(HaploListRead, FailedStream) {
    Haplo_DB db;
    std::istringstream in("h1 ACGT\n}\n");
    in.setstate(std::ios::failbit);
    int line = 0;
    EXPECT_FALSE(db.NewReadHaplotypeList(in, profile_, false, line));
    const std::string log = new_log();
    EXPECT_NE(log.find("\tUnable to read haplotype list, aborting reading procedure\n"), std::string::npos);
    expect_reports(parse_reports(log), {{"Haplo_DB::NewReadHaplotypeList()", 40}}, {"ERROR"});
    EXPECT_EQ(line, 0);
}

TEST_F(HaploListRead, ManyDefinitionsWithLateDuplicate) {
    std::string list;
    for (int i = 0; i < 3000; ++i) list += "h" + std::to_string(i) + " ACGT\n";
    Haplo_DB db;
    ASSERT_TRUE(read_list(db, list + "}\n"));
    EXPECT_EQ(db.haplotypes.count, 3000);
    EXPECT_EQ(db.find_by_id(my_string("h2999")), db.haplotypes.data[2999]);
    Haplo_DB dup;
    EXPECT_FALSE(read_list(dup, list + "h1500 ACGA\n}\n"));
    EXPECT_NE(new_log().find("\"h1500\" listed on line 3001"), std::string::npos);
}

// ----------------------------------------------------------- lookups etc.

using HaploListLookup = HaploDefTest;

TEST_F(HaploListLookup, ByIdentifierFollowsDirectChangesOfTheList) {
    Haplo_DB db;
    ASSERT_TRUE(read_list(db, "h1 A\nh2 C\nh3 G\n}\n"));
    EXPECT_EQ(db.find_by_id(my_string("h2")), db.haplotypes.data[1]);
    EXPECT_EQ(db.find_by_id(my_string("h9")), nullptr);

    db.haplotypes.Add(new HaploDef(my_string("h4")));
    EXPECT_EQ(db.find_by_id(my_string("h4")), db.haplotypes.data[3]);

    // Emptied and refilled to the same length behind the list's back.
    db.haplotypes.Flush();
    for (char const* id : {"k1", "k2", "k3", "k4"}) db.haplotypes.Add(new HaploDef(my_string(id)));
    EXPECT_EQ(db.find_by_id(my_string("h2")), nullptr);
    EXPECT_EQ(db.find_by_id(my_string("k3")), db.haplotypes.data[2]);

    // One removed, one appended.
    db.haplotypes.Detach(0);
    db.haplotypes.Add(new HaploDef(my_string("k5")));
    EXPECT_EQ(db.find_by_id(my_string("k5")), db.haplotypes.data[3]);
    EXPECT_EQ(db.find_by_id(my_string("k3")), db.haplotypes.data[1]);
    EXPECT_EQ(db.find_by_id(my_string("k1")), nullptr);

    // A copy has its own table over its own definitions.
    Haplo_DB copy(db);
    EXPECT_EQ(copy.find_by_id(my_string("k4")), copy.haplotypes.data[2]);
    EXPECT_NE(copy.find_by_id(my_string("k4")), db.find_by_id(my_string("k4")));
}

TEST_F(HaploListLookup, ByAlleleTextResetAndSeparators) {
    ProfileSettings::DataType = STANDARD;
    Haplo_DB db;
    ASSERT_TRUE(read_list(db, "h1 a;b\nh2 a;c\nh3 a;b\n}\n"));
    db.name = "list";
    my_string wanted("a;b");
    EXPECT_EQ(db.find(wanted), db.haplotypes.data[0]);
    // Allele texts may be edited in place; the lookup sees it.
    db.haplotypes.data[1]->data.to_upper();
    my_string upper("A;C");
    EXPECT_EQ(db.find(upper), db.haplotypes.data[1]);

    db.rm_separators(';');
    EXPECT_EQ(text(db.haplotypes.data[0]->data), "ab");
    EXPECT_EQ(text(db.haplotypes.data[1]->data), "AC");

    db.reset();
    EXPECT_EQ(text(db.name), "no_name");
    EXPECT_EQ(db.haplotypes.count, 0);
    EXPECT_EQ(db.find_by_id(my_string("h1")), nullptr);
}

// --------------------------------------------------------------- writer

using HaploListWrite = HaploDefTest;

TEST_F(HaploListWrite, BlockText) {
    Haplo_DB db;
    std::ostringstream none;
    none << db;
    EXPECT_EQ(none.str(), "");

    db.name = "my list";
    auto* h1 = new HaploDef(my_string("h1"));
    h1->data = "ACGT";
    db.haplotypes.Add(h1);
    db.haplotypes.Add(new HaploDef(my_string("h2")));
    std::ostringstream out;
    out << db;
    EXPECT_EQ(out.str(),
              "\n\t[[HaplotypeDefinition]]\n\n\t\tHaplListName=\"my list\"\n\t\tHaplList={\nh1\tACGT\n h2\n\t\t}\n\n");

    db.name = "UNKNOWN";
    std::ostringstream unknown;
    unknown << db;
    EXPECT_NE(unknown.str().find("\t\tHaplListName=\"generated by pellomar\"\n\t\tHaplList={\n"), std::string::npos);
}

TEST_F(HaploListWrite, WrittenListReadsBack) {
    ProfileSettings::DataType = MICROSAT;
    ProfileSettings::LocusSeparator = ';';
    Haplo_DB db;
    ASSERT_TRUE(read_list(db, "m1 112 140 96\nm2 114 140 98\n}\n"));
    db.name = "loci";
    std::ostringstream out;
    out << db;

    // Line reader, from the line after "HaplList={".
    const std::string block = out.str();
    const std::string opener = "HaplList={\n";
    std::istringstream in(block.substr(block.find(opener) + opener.size()));
    Haplo_DB back;
    int line = 0;
    ASSERT_TRUE(back.NewReadHaplotypeList(in, profile_, false, line));
    ASSERT_EQ(back.haplotypes.count, 2);
    // The written text starts with a separator, which the reader reads as
    // part of the first token; the loci stay the same.
    for (long i = 0; i < 2; ++i) EXPECT_EQ(text(back.haplotypes.data[i]->id), text(db.haplotypes.data[i]->id));
    TAlleleDB a, b;
    for (long i = 0; i < 2; ++i) {
        db.haplotypes.data[i]->build_haplovect(&a, ';', 0, 1.0);
        back.haplotypes.data[i]->build_haplovect(&b, ';', 0, 1.0);
        ASSERT_EQ(back.haplotypes.data[i]->alleles.count, 3);
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(text(back.haplotypes.data[i]->alleles.data[k]->name),
                      text(db.haplotypes.data[i]->alleles.data[k]->name));
    }

    // A DNA list, whose lines the line reader takes back unchanged.
    ProfileSettings::DataType = DNA;
    ProfileSettings::LocusSeparator = '\0';
    Haplo_DB dna;
    ASSERT_TRUE(read_list(dna, "h1 ACGT\nh2 AC-T\n}\n"));
    std::ostringstream dnaOut;
    dnaOut << dna << "\t[[Samples]]\n";
    const std::string dnaBlock = dnaOut.str();
    std::istringstream din(dnaBlock.substr(dnaBlock.find(opener) + opener.size()));
    Haplo_DB dback;
    line = 0;
    ASSERT_TRUE(dback.NewReadHaplotypeList(din, profile_, false, line));
    EXPECT_EQ(ids(dback), (std::vector<std::string>{"h1", "h2"}));
    EXPECT_EQ(text(dback.haplotypes.data[1]->data), "AC-T");
    EXPECT_EQ(line, 3);
    EXPECT_EQ(rest_of(din), "\n\t[[Samples]]\n");
    EXPECT_TRUE(reports().empty());
}

// --------------------------------------------------------- keyword reader

using HaploListKeywords = HaploDefTest;

TEST_F(HaploListKeywords, InFileListAndStopAtNextSection) {
    const std::string file = write_file("list.txt",
                                        "  HaplListName = \"two\"\n  HaplList = # the list\n  {\n"
                                        "   h1 ACGT\n   \"h 2\" AC?T\n  }\n[[Samples]]\n");
    std::ifstream in(file);
    Haplo_DB db;
    db.haplotypes.Add(new HaploDef(my_string("old")));
    ASSERT_TRUE(db.open(in, profile_));
    EXPECT_EQ(text(db.name), "two");
    EXPECT_EQ(ids(db), (std::vector<std::string>{"h1", "h 2"}));
    EXPECT_EQ(text(db.haplotypes.data[1]->data), "AC?T");
    EXPECT_EQ(db.MissingData, '?');
    EXPECT_EQ(rest_of(in), "[[Samples]]\n");
}

TEST_F(HaploListKeywords, ExternalListInTheProjectFolder) {
    settings run;
    run.ResultFolder = (dir_.string() + "/").c_str();
    profile_.RunSettings = &run;
    fs::copy_file(fs::path(QUINTLE_TEST_DATA_DIR) / "haplodef" / "ext_keyword.txt", dir_ / "ext_keyword.txt");
    const std::string file = write_file("list.txt", "HaplList= extern \"ext_keyword.txt\"\n");
    std::ifstream in(file);
    Haplo_DB db;
    ASSERT_TRUE(db.open(in, profile_));
    EXPECT_EQ(ids(db), (std::vector<std::string>{"hx", "hy"}));
    EXPECT_EQ(text(db.haplotypes.data[1]->data), "AC-A");
    expect_reports(reports(), {{"Haplo_DB::read_id_content()", 35}}, {"INFO"});
}

TEST_F(HaploListKeywords, ExternalWithoutFileNameReadsNothing) {
    const std::string file = write_file("list.txt", "HaplList= EXTERN\n");
    std::ifstream in(file);
    Haplo_DB db;
    EXPECT_TRUE(db.open(in, profile_));
    EXPECT_EQ(db.haplotypes.count, 0);
    EXPECT_TRUE(reports().empty());
}

TEST_F(HaploListKeywords, FailuresOfTheListKeyword) {
    struct Case {
        std::string content;
        std::vector<std::pair<std::string, int>> want;
        std::vector<std::string> kinds;
    };
    const std::string idc = "Haplo_DB::read_id_content()";
    const std::string gs = "Haplo_DB::get_settings(ifstream& ifs)";
    const std::string rh = "Haplo_DB::read_haplotype()";
    const std::vector<Case> cases = {
        {"HaplListName= =x\n", {{idc, 34}, {gs, 41}}, {"ERROR", "WARNING"}},
        {"HaplList= *\n", {{idc, 39}, {gs, 41}}, {"ERROR", "WARNING"}},
        {"HaplList= INTERN \"x.txt\"\n", {{idc, 38}, {gs, 41}}, {"ERROR", "WARNING"}},
        {"HaplList= EXTERN \"missing.txt\"\n", {{idc, 35}, {idc, 36}, {gs, 41}}, {"INFO", "ERROR", "WARNING"}},
        {"HaplList= {\n h1 ACGT\n h1 ACGA\n}\n",
         {{"Haplo_DB::read_haplotype() (\"h1\")", 31}, {idc, 40}, {gs, 41}},
         {"ERROR", "ERROR", "WARNING"}},
        {"HaplList= {\n h1 ACGT\n h2\n}\n",
         {{"Haplo_DB::read_haplotype() (\"h2\")", 32}, {idc, 40}, {gs, 41}},
         {"ERROR", "ERROR", "WARNING"}},
        {"HaplList= {\n h1 AC*T\n}\n",
         {{"HaploDef::read_data()", 26}, {rh, 33}, {idc, 40}, {gs, 41}},
         {"ERROR", "ERROR", "ERROR", "WARNING"}},
        {"Title= \"x\"\n", {{idc, 41}, {gs, 41}}, {"WARNING", "WARNING"}},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.content);
        const std::string file = write_file("list.txt", c.content);
        std::ifstream in(file);
        Haplo_DB db;
        db.haplotypes.Add(new HaploDef(my_string("old")));
        EXPECT_FALSE(db.open(in, profile_));
        EXPECT_EQ(db.haplotypes.count, 0);
        expect_reports(reports(), c.want, c.kinds);
    }
}

TEST_F(HaploListKeywords, ExternalFileThatFailsAndUnknownKeyword) {
    write_file("bad.txt", "hx AC*T\n");
    settings run;
    run.ResultFolder = (dir_.string() + "/").c_str();
    profile_.RunSettings = &run;
    {
        const std::string file = write_file("list.txt", "HaplList= EXTERN \"bad.txt\"\n");
        std::ifstream in(file);
        Haplo_DB db;
        EXPECT_FALSE(db.open(in, profile_));
        const std::string idc = "Haplo_DB::read_id_content()";
        expect_reports(reports(),
                       {{idc, 35},
                        {"HaploDef::read_data()", 26},
                        {"Haplo_DB::read_haplotype()", 33},
                        {idc, 37},
                        {"Haplo_DB::get_settings(ifstream& ifs)", 41}},
                       {"INFO", "ERROR", "ERROR", "ERROR", "WARNING"});
    }
    {
        // A keyword that is no identifier leaves the list as it was.
        const std::string file = write_file("list2.txt", "HaplList={\n h1 ACGT\n}\nbogus=1\n");
        std::ifstream in(file);
        Haplo_DB db;
        EXPECT_FALSE(db.open(in, profile_));
        EXPECT_EQ(ids(db), (std::vector<std::string>{"h1"}));
        expect_reports(reports(), {{"Haplo_DB::get_settings(ifstream& ifs)", 41}}, {"WARNING"});
    }
}

TEST_F(HaploListKeywords, ExternalNames) {
    Haplo_DB db;
    char dst[256];
    EXPECT_STREQ(db.build_ext_name(dst, "sub/hap.txt"), "sub/hap.txt");
    EXPECT_STREQ(db.build_ext_name(dst, "sub\\hap.txt"), "sub\\hap.txt");
    EXPECT_STREQ(db.build_ext_name(dst, "hap.txt"), "hap.txt");
    EXPECT_EQ(new_log(), "Pointer to project dir is not initialized. ERROR\n");
    settings run;
    run.ResultFolder = "/data/proj.res/";
    db.RunSettings = &run;
    EXPECT_STREQ(db.build_ext_name(dst, "hap.txt"), "/data/proj.res/hap.txt");
    EXPECT_TRUE(new_log().empty());
}

// --------------------------------------------------------- distance matrix

using HaploListMatrix = HaploDefTest;

// Every definition needs a label; without labels nothing is associated.
TEST_F(HaploListMatrix, ByLabel) {
    struct Case {
        std::vector<std::string> labels;
        int n;
        int result;
        std::vector<int> indexes;
        int message;
        char const* kind;
    };
    const Case cases[] = {
        {{"h3", "h1", "h2"}, 3, 1, {1, 2, 0}, 0, ""},
        {{"h1", "h3"}, 2, 0, {0, -1, 1}, 173, "ERROR"},
        {{}, 2, 0, {-1, -1, -1}, 29, "WARNING"},
    };
    for (Case const& c : cases) {
        Haplo_DB db;
        ASSERT_TRUE(read_list(db, "h1 A\nh2 C\nh3 G\n}\n"));
        db.haplotypes.data[0]->matrixIndex = 5;
        DistMat dm;
        shape_matrix(dm, c.n, c.labels);
        EXPECT_EQ(db.associate_with1(dm), c.result);
        for (int i = 0; i < 3; ++i) {
            const int want = c.indexes[static_cast<std::size_t>(i)];
            if (c.result == 1 || want == -1) {
                EXPECT_EQ(db.haplotypes.data[i]->matrixIndex, want) << i;
            }
        }
        if (c.message == 0) {
            EXPECT_TRUE(new_log().empty());
        } else {
            expect_reports(reports(), {{"Haplo_DB::associate_with1()", c.message}}, {c.kind});
        }
    }
}

TEST_F(HaploListMatrix, LabelWithoutDefinitionIsCountedButAccepted) {
    Haplo_DB db;
    ASSERT_TRUE(read_list(db, "h1 A\nh2 C\n}\n"));
    DistMat dm;
    shape_matrix(dm, 4, {"h2", "hX", "h1", "hY"});
    EXPECT_EQ(db.associate_with1(dm), 1);
    EXPECT_EQ(db.haplotypes.data[0]->matrixIndex, 2);
    EXPECT_EQ(db.haplotypes.data[1]->matrixIndex, 0);
    const std::string log = new_log();
    expect_reports(parse_reports(log), {{"Haplo_DB::associate_with1()", 28}, {"Haplo_DB::associate_with1()", 28}},
                   {"WARNING", "WARNING"});
    EXPECT_NE(log.find("\tHaplotype \"hX\" defined in the labels of the user-defined\n"
                       "\tdistance matrix was not found in any population sample\n"),
              std::string::npos);
    const std::string summary =
        "      During the association of the Distance matrix LABELS and \n"
        "      the haplotype list, 2 LABELS where found\n"
        "      that did not correspond to any haplotype defined in the samples.\n"
        "      To be sure that there is no error in the data input file\n"
        "      check if all LABELS or Haplotype names are valid.\n";
    ASSERT_GE(log.size(), summary.size());
    EXPECT_EQ(log.substr(log.size() - summary.size()), summary);
}

TEST_F(HaploListMatrix, ByPosition) {
    Haplo_DB db;
    ASSERT_TRUE(read_list(db, "h1 A\nh2 C\nh3 G\n}\n"));
    DistMat four;
    shape_matrix(four, 4);
    EXPECT_EQ(db.associate_with2(four), 0);
    expect_reports(reports(), {{"Haplo_DB::associate_with2()", 30}}, {"ERROR"});
    EXPECT_EQ(db.haplotypes.data[2]->matrixIndex, -1);

    four.constantMode = 1;
    EXPECT_EQ(db.associate_with2(four), 1);
    DistMat three;
    shape_matrix(three, 3);
    EXPECT_EQ(db.associate_with2(three), 1);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(db.haplotypes.data[i]->matrixIndex, i);
    EXPECT_TRUE(reports().empty());
}

}  // namespace
}  // namespace quintle
