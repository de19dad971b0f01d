// Tests of haplotype definitions and the project's haplotype list.

#include "data/HaploDef.h"
#include "data/Haplo_DB.h"

#include <gtest/gtest.h>

#include "data/logged_test.h"

#include <memory>
#include <random>
#include <sstream>
#include <vector>

#include "data/TAlleleDB.h"
#include "project/DistMat.h"
#include "run/settings.h"

namespace fs = std::filesystem;

namespace quintle {
namespace {

std::string text(my_string const& s) { return s.c_str(); }

std::string rest_of(std::istream& is) {
    return std::string((std::istreambuf_iterator<char>(is)), std::istreambuf_iterator<char>());
}

// Report lines expected in a log text, in this order.
using Said = std::vector<std::pair<std::string, int>>;

void expect_said(std::string const& log, Said const& want) {
    std::size_t from = 0;
    for (auto const& [function, number] : want) {
        const std::string line = "from function \"" + function + "\" : " + Errors::message(number);
        const auto at = log.find(line, from);
        EXPECT_NE(at, std::string::npos) << line << "\nin:\n" << log;
        if (at != std::string::npos) from = at + line.size();
    }
}

class HaploDefTest : public test::LoggedTest {
protected:
    void SetUp() override {
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

    std::string write_file(std::string const& name, std::string const& content) {
        const fs::path p = dir_ / name;
        std::ofstream(p, std::ios::binary) << content;
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
        {DNA, '\0', "azAZ-0123?", true, "azAZ-0123?", 0},
        {DNA, '\0', "acgtRYNacgt", true, "acgtRYNacgt", 0},  // letters only
        {DNA, '\0', "AC GT ", true, "ACGT", 0},
        {DNA, '\0', "", false, nullptr, 0},
        {DNA, '\0', "AC*G", false, nullptr, 26},
        {DNA, '\0', "AC\xFFGT", false, nullptr, 26},  // a high byte is no end of text
        {DNA, '\0', "AC#GT", true, "AC", 0},
        {DNA, '\0', "AC#G*", false, nullptr, 26},  // text after "#" is still checked
        {RFLP, '\0', "0120", false, nullptr, 25},
        {MICROSAT, ';', ";112;;140;?", true, ";112;;140;?", 0},
        {MICROSAT, ';', ";112;14a", false, nullptr, 27},
        // A size is read as an int: none beyond its range.
        {MICROSAT, ';', ";2147483647;0000000000000140", true, ";2147483647;0000000000000140", 0},
        {MICROSAT, ';', ";112;2147483648", false, nullptr, 27},
        {MICROSAT, ';', ";9223372036854775808;112", false, nullptr, 27},
        {MICROSAT, ';', ";120.5", false, nullptr, 27},
        {MICROSAT, '\0', "123456789012", true, "123456789012", 0},  // a locus per digit
        {STANDARD, '\0', "a*b c \t ", true, "a*b c", 0},
        {FREQUENCY, '\0', "ACGT", true, "", 0},
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
            EXPECT_EQ(text(h.data), c.data);
        }
        const std::string log = new_log();
        if (c.message == 0)
            EXPECT_EQ(log, "");
        else
            expect_said(log, {{"HaploDef::read_data()", c.message}});
    }
}

// A list's vectors built in one pass against the same list built one
// definition after the other: the same loci, the same alleles in the same
// order with the very same weights, and the same allele at every site.
// Texts differ in length, repeat, use more characters than get a table of
// their own, and meet a catalogue that already holds blanks and weighted
// alleles.
TEST_F(HaploDefTest, ListVectorsMatchOneDefinitionAfterTheOther) {
    std::mt19937 rng(5);
    const std::string alphabet = "ACGTRYKMSWBDHVN-?0123xyzEFIJLOPQ";
    for (int round = 0; round < 6; ++round) {
        SCOPED_TRACE(round);
        const int sites = 1 + round * 7;
        // Rounds 0 and 1 stay within a few characters; later ones use all.
        const std::size_t kinds = round < 2 ? 4 : alphabet.size();
        std::vector<std::unique_ptr<HaploDef>> defs;
        for (int i = 0; i < 25; ++i) {
            auto h = std::make_unique<HaploDef>(my_string("h"));
            std::string t;
            const int length = sites - static_cast<int>(rng() % 3);
            for (int s = 0; s < length; ++s) t += alphabet[rng() % (rng() % 4 == 0 ? kinds : 2)];
            // Every fourth definition repeats an earlier text.
            h->data = i % 4 == 3 ? defs[rng() % defs.size()]->data : my_string(t.c_str());
            defs.push_back(std::move(h));
        }
        std::vector<HaploDef*> list;
        for (auto& h : defs) list.push_back(h.get());
        list.insert(list.begin() + 3, nullptr);  // empty slots are skipped

        TAlleleDB one;
        TAlleleDB all;
        for (TAlleleDB* db : {&one, &all}) {
            for (int l = 0; l < sites / 2; ++l) db->InsertAllPos(l, my_string("0"), 0.0);
            if (sites > 2) db->InsertAllPos(2, 'A', 0.7);
        }
        std::vector<std::vector<TAllele*>> oneVectors;
        for (HaploDef* h : list) {
            if (h == nullptr) continue;
            h->build_haplovect(&one, '\0', 0, 0.1);
            oneVectors.emplace_back(h->alleles.data, h->alleles.data + h->alleles.count);
        }
        HaploDef::build_haplovects(list.data(), static_cast<long>(list.size()), &all, '\0', 0, 0.1);

        ASSERT_EQ(all.loci.count, one.loci.count);
        for (long l = 0; l < one.loci.count; ++l) {
            TLocus const& a = *one.loci.data[l];
            TLocus const& b = *all.loci.data[l];
            EXPECT_EQ(text(b.name), text(a.name));
            ASSERT_EQ(b.alleles.count, a.alleles.count) << "locus " << l;
            for (long k = 0; k < a.alleles.count; ++k) {
                EXPECT_EQ(text(b.alleles.data[k]->name), text(a.alleles.data[k]->name));
                EXPECT_EQ(b.alleles.data[k]->weight, a.alleles.data[k]->weight) << "locus " << l << " allele " << k;
                EXPECT_EQ(b.alleles.data[k]->locus, a.alleles.data[k]->locus);
            }
        }
        std::size_t d = 0;
        for (HaploDef* h : list) {
            if (h == nullptr) continue;
            ASSERT_EQ(h->alleles.count, static_cast<long>(oneVectors[d].size()));
            EXPECT_EQ(h->alleles.data[h->alleles.count], nullptr);
            for (long s = 0; s < h->alleles.count; ++s) {
                // The same position of the same locus in either catalogue.
                TLocus const& a = *one.loci.data[s];
                TLocus const& b = *all.loci.data[s];
                EXPECT_EQ(b.get_allele_index(h->alleles.data[s]), a.get_allele_index(oneVectors[d][s]));
            }
            ++d;
        }
    }
}

TEST_F(HaploDefTest, InFileDnaList) {
    Haplo_DB db;
    ASSERT_TRUE(read_list(db, "h1 ACGT\n  h2\tAC-T   # comment\n\n# note\n}\nSampleName=x\n"));
    EXPECT_EQ(ids(db), (std::vector<std::string>{"h1", "h2"}));
    EXPECT_EQ(text(db.haplotypes.data[1]->data), "AC-T");
    EXPECT_EQ(lineNo_, 5);
    EXPECT_EQ(after_, "SampleName=x\n");
    EXPECT_TRUE(new_log().empty());
}

TEST_F(HaploDefTest, SeparatedLociAreJoinedWithTheSeparator) {
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
    EXPECT_EQ(text(db.haplotypes.data[1]->alleles.data[2]->name), "98");
    EXPECT_EQ(db.haplotypes.data[0]->alleles.data[1], db.haplotypes.data[1]->alleles.data[1]);
}

TEST_F(HaploDefTest, LineReaderFailures) {
    struct Case {
        std::string list;
        int start;
        Said said;
        char const* logLine;
        std::size_t kept;  // definitions left in the list
    };
    const std::string nr = "Haplo_DB::NewReadHaplotypeList()";
    const Case cases[] = {
        {"h1 ACGT\n[[Samples]]\nnext\n", 0, {{nr, 194}},
         "\tMissing closing brace in Haplotype definition list, aborting reading procedure\n", 1},
        {"h1 ACGT\nh2 ACGA\nh1 ACGG\n}\n", 10, {{nr, 31}},
         "\tHaplotype \"h1\" listed on line 13 is already defined previously, aborting reading procedure...\n", 0},
        {"h1 ACGT\nh2 ACGTA\n}\n", 0, {{nr, 69}},
         "\tNumber of loci for haplotype \"h2\" is different (5) from that previously defined (4) on line 2\n", 1},
        {"h1 ACGT\nh2 AC*T\n}\n", 4, {{"HaploDef::read_data()", 26}, {nr, 33}},
         "\tUnable to read haplotype definition on line 6, aborting reading procedure\n", 0},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.list);
        Haplo_DB db;
        EXPECT_FALSE(read_list(db, c.list, false, c.start));
        EXPECT_EQ(static_cast<std::size_t>(db.haplotypes.count), c.kept);
        const std::string log = new_log();
        expect_said(log, c.said);
        EXPECT_NE(log.find(c.logLine), std::string::npos) << log;
    }

    Haplo_DB failed;
    std::istringstream in("h1 ACGT\n}\n");
    in.setstate(std::ios::failbit);
    int line = 0;
    EXPECT_FALSE(failed.NewReadHaplotypeList(in, profile_, false, line));
    expect_said(new_log(), {{nr, 40}});
}

// Lookups by identifier go through a hash table, which must follow changes
// made directly to the list.
TEST_F(HaploDefTest, LookupByIdentifierFollowsDirectChangesOfTheList) {
    Haplo_DB db;
    ASSERT_TRUE(read_list(db, "h1 A\nh2 C\nh3 G\n}\n"));
    EXPECT_EQ(db.find_by_id(my_string("h2")), db.haplotypes.data[1]);
    EXPECT_EQ(db.find_by_id(my_string("h9")), nullptr);

    // Emptied and refilled to the same length behind the list's back.
    db.haplotypes.Flush();
    for (char const* id : {"k1", "k2", "k3"}) db.haplotypes.Add(new HaploDef(my_string(id)));
    EXPECT_EQ(db.find_by_id(my_string("h2")), nullptr);
    EXPECT_EQ(db.find_by_id(my_string("k3")), db.haplotypes.data[2]);

    db.haplotypes.Detach(0);
    db.haplotypes.Add(new HaploDef(my_string("k5")));
    EXPECT_EQ(db.find_by_id(my_string("k5")), db.haplotypes.data[2]);
    EXPECT_EQ(db.find_by_id(my_string("k3")), db.haplotypes.data[1]);
    EXPECT_EQ(db.find_by_id(my_string("k1")), nullptr);

    Haplo_DB copy(db);
    EXPECT_EQ(copy.find_by_id(my_string("k3")), copy.haplotypes.data[1]);
}

TEST_F(HaploDefTest, WrittenBlockReadsBack) {
    Haplo_DB db;
    ASSERT_TRUE(read_list(db, "h1 ACGT\nh2 AC-T\n}\n"));
    db.name = "my list";
    std::ostringstream out;
    out << db << "\t[[Samples]]\n";
    const std::string block = out.str();
    EXPECT_EQ(block, "\n\t[[HaplotypeDefinition]]\n\n\t\tHaplListName=\"my list\"\n\t\tHaplList={\n"
                     "h1\tACGT\nh2\tAC-T\n\t\t}\n\n\t[[Samples]]\n");

    const std::string opener = "HaplList={\n";
    std::istringstream in(block.substr(block.find(opener) + opener.size()));
    Haplo_DB back;
    int line = 0;
    ASSERT_TRUE(back.NewReadHaplotypeList(in, profile_, false, line));
    EXPECT_EQ(ids(back), (std::vector<std::string>{"h1", "h2"}));
    EXPECT_EQ(text(back.haplotypes.data[1]->data), "AC-T");
    EXPECT_EQ(rest_of(in), "\n\t[[Samples]]\n");
    EXPECT_TRUE(new_log().empty());
}

TEST_F(HaploDefTest, KeywordReaderInFileAndExternal) {
    {
        const std::string file = write_file("list.txt",
                                            "  HaplListName = \"two\"\n  HaplList = # the list\n  {\n"
                                            "   h1 ACGT\n   \"h 2\" AC?T\n  }\n[[Samples]]\n");
        std::ifstream in(file);
        Haplo_DB db;
        db.haplotypes.Add(new HaploDef(my_string("old")));
        ASSERT_TRUE(db.open(in, profile_));
        EXPECT_EQ(text(db.name), "two");
        EXPECT_EQ(ids(db), (std::vector<std::string>{"h1", "h 2"}));
        EXPECT_EQ(rest_of(in), "[[Samples]]\n");
    }
    settings run;
    run.ResultFolder = (dir_.string() + "/").c_str();
    profile_.RunSettings = &run;
    fs::copy_file(fs::path(QUINTLE_TEST_DATA_DIR) / "haplodef" / "ext_keyword.txt", dir_ / "ext_keyword.txt");
    const std::string file = write_file("list2.txt", "HaplList= extern \"ext_keyword.txt\"\n");
    std::ifstream in(file);
    Haplo_DB db;
    ASSERT_TRUE(db.open(in, profile_));
    EXPECT_EQ(ids(db), (std::vector<std::string>{"hx", "hy"}));
    EXPECT_EQ(text(db.haplotypes.data[1]->data), "AC-A");
    expect_said(new_log(), {{"Haplo_DB::read_id_content()", 35}});
}

TEST_F(HaploDefTest, KeywordReaderFailures) {
    const std::string idc = "Haplo_DB::read_id_content()";
    const std::string gs = "Haplo_DB::get_settings(ifstream& ifs)";
    const std::vector<std::pair<std::string, Said>> cases = {
        {"HaplListName= =x\n", {{idc, 34}, {gs, 41}}},
        {"HaplList= *\n", {{idc, 39}, {gs, 41}}},
        {"HaplList= INTERN \"x.txt\"\n", {{idc, 38}, {gs, 41}}},
        {"HaplList= EXTERN \"missing.txt\"\n", {{idc, 35}, {idc, 36}, {gs, 41}}},
        {"HaplList= {\n h1 ACGT\n h1 ACGA\n}\n", {{"Haplo_DB::read_haplotype() (\"h1\")", 31}, {idc, 40}, {gs, 41}}},
        {"HaplList= {\n h1 ACGT\n h2\n}\n", {{"Haplo_DB::read_haplotype() (\"h2\")", 32}, {idc, 40}, {gs, 41}}},
        {"HaplList= {\n h1 AC*T\n}\n",
         {{"HaploDef::read_data()", 26}, {"Haplo_DB::read_haplotype()", 33}, {idc, 40}, {gs, 41}}},
        {"Title= \"x\"\n", {{idc, 41}, {gs, 41}}},
    };
    for (auto const& [content, said] : cases) {
        SCOPED_TRACE(content);
        const std::string file = write_file("list.txt", content);
        std::ifstream in(file);
        Haplo_DB db;
        db.haplotypes.Add(new HaploDef(my_string("old")));
        EXPECT_FALSE(db.open(in, profile_));
        EXPECT_EQ(db.haplotypes.count, 0);
        expect_said(new_log(), said);
    }
}

void shape_matrix(DistMat& dm, int n, std::vector<std::string> const& labels = {}) {
    dm.create(n);
    dm.MatrixSize = n;
    if (labels.empty()) return;
    dm.Labels = std::make_unique<my_string[]>(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) dm.Labels[i] = labels[static_cast<std::size_t>(i)].c_str();
}

// Every definition needs a label; without labels nothing is associated.
TEST_F(HaploDefTest, MatrixAssociationByLabel) {
    struct Case {
        std::vector<std::string> labels;
        int n;
        int result;
        std::vector<int> indexes;
        int message;
    };
    const Case cases[] = {
        {{"h3", "h1", "h2", "hX"}, 4, 1, {1, 2, 0}, 28},
        {{"h1", "h3"}, 2, 0, {0, -1, 1}, 173},
        {{}, 2, 0, {-1, -1, -1}, 29},
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
        expect_said(new_log(), {{"Haplo_DB::associate_with1()", c.message}});
    }
}

}  // namespace
}  // namespace quintle
