// Tests of a sample's data-block readers, its writer, copying and short name.

#include <gtest/gtest.h>

#include "data/logged_test.h"

#include <sstream>
#include <vector>

#include "data/HaploDef.h"
#include "data/Haplo_DB.h"
#include "data/Population.h"
#include "data/TPhenotype.h"

namespace fs = std::filesystem;

namespace quintle {
namespace {

std::string readFile(fs::path const& p) { return test::slurp(p); }

std::string str(my_string const& s) { return s.c_str(); }

fs::path dataFile(char const* name) { return fs::path(QUINTLE_TEST_DATA_DIR) / "population" / name; }

// What the cleaned working copy does to whitespace: every tab becomes a
// blank, runs of blanks become one, leading blanks go.
std::string cleanLikeProjectCopy(std::string const& text) {
    std::string out;
    bool lineStart = true;
    for (char c : text) {
        if (c == '\t') c = ' ';
        if (c == '\n') {
            while (!out.empty() && out.back() == ' ') out.pop_back();
            out += c;
            lineStart = true;
            continue;
        }
        if (c == ' ' && (lineStart || out.back() == ' ')) continue;
        out += c;
        lineStart = false;
    }
    return out;
}

// Drops the first n lines of a text.
std::string skipLines(std::string const& text, int n) {
    std::size_t pos = 0;
    for (int i = 0; i < n; ++i) pos = text.find('\n', pos) + 1;
    return text.substr(pos);
}

class PopulationReadTest : public test::LoggedTest {
protected:
    void SetUp() override {
        LoggedTest::SetUp();
        setType(DNA, '\0');
        pop.name = "pop 1";
    }

    static void setType(TDataType type, char sep) {
        ProfileSettings::DataType = type;
        ProfileSettings::LocusSeparator = sep;
    }

    void defineHaplotype(char const* id, char const* data) {
        auto* def = new HaploDef(my_string(id));
        def->data = data;
        db.haplotypes.Add(def);
    }

    // Runs a reader (the line readers, or the older ones when `older`) on
    // `text` stored in a file; `rest` receives what it left in the stream.
    int readBlock(std::string const& text, bool genotypic, int external = 0, std::string* rest = nullptr,
                  bool older = false) {
        fs::path const p = dir_ / "block.txt";
        std::ofstream(p, std::ios::binary) << text;
        std::ifstream in(p, std::ios::binary);
        my_string buffer;
        line = 0;
        int r = 0;
        if (older)
            r = genotypic ? target->read_genotypic_data(in, external) : target->read_gametic_data(in, db, external);
        else
            r = genotypic ? target->New_read_genotypic_data(in, external, line, buffer)
                          : target->New_read_gametic_data(in, db, external, line, buffer);
        if (rest != nullptr) {
            in.clear();
            std::ostringstream left;
            left << in.rdbuf();
            *rest = left.str();
        }
        return r;
    }
    int readOld(std::string const& text, bool genotypic, int external = 0, std::string* rest = nullptr) {
        return readBlock(text, genotypic, external, rest, true);
    }

    std::string logText() { return log(); }

    // The log holds a report of that kind, function text and message.
    ::testing::AssertionResult reported(char const* kind, std::string const& function, int number) {
        std::string const wanted = std::string("] from function \"") + function + "\" : " + Errors::message(number);
        std::istringstream lines(logText());
        for (std::string l; std::getline(lines, l);)
            if (l.find(wanted) != std::string::npos && l.find(std::string("#[") + kind + " #") != std::string::npos)
                return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "no " << kind << " '" << wanted << "' in log:\n" << logText();
    }

    bool logHas(std::string const& fragment) { return logText().find(fragment) != std::string::npos; }

    struct Entry {
        std::string id;
        int count;
        bool operator==(Entry const&) const = default;
    };
    std::vector<Entry> entries(Population const& p) const {
        std::vector<Entry> out;
        for (long i = 0; i < p.haplotypes.count; ++i)
            out.push_back({str(p.haplotypes.data[i]->haplotype->id), p.haplotypes.data[i]->count});
        return out;
    }

    std::string written(Population const& p) {
        std::ostringstream os;
        os << p;
        return os.str();
    }

    Haplo_DB db;
    Population pop;
    Population* target = &pop;  // the sample the readers fill
    int line = 0;
};

// ------------------------------------------------------------ haplotypic

TEST_F(PopulationReadTest, HaploidDnaBlockReadAndWrittenBack) {
    defineHaplotype("h1", "ACGTA");
    pop.name = "dna pop";
    pop.SampleSize = 10;
    std::string rest;
    ASSERT_EQ(readBlock(readFile(dataFile("dna_haploid.blk")), false, 0, &rest), 1) << logText();

    EXPECT_EQ(entries(pop), (std::vector<Entry>{{"h1", 3}, {"h2", 4}, {"h3", 2}, {"h2", 1}}));
    EXPECT_EQ(pop.nbEntries, 4);
    EXPECT_EQ(line, 5);
    EXPECT_EQ(pop.SampleSize, 10.0);
    EXPECT_DOUBLE_EQ(pop.invSampleSize, 0.1);
    ASSERT_EQ(db.haplotypes.count, 3);
    EXPECT_EQ(db.haplotypes.data[0]->count, 3);
    EXPECT_EQ(db.haplotypes.data[1]->count, 5);
    EXPECT_EQ(str(db.haplotypes.data[2]->data), "AC-TA");
    EXPECT_EQ(rest, "h9 1 AAAAA\n");  // nothing read past the closing brace
    // The second, identical definition of h2 is only a warning.
    EXPECT_TRUE(reported("WARNING", "Population::New_read_gametic_data(),  h2 : ", 146));
    EXPECT_TRUE(logHas("\tHaplotype h2 defined on line 4 has already been defined previously..."));
    EXPECT_FALSE(logHas("#[ERROR"));

    EXPECT_EQ(written(pop), readFile(dataFile("dna_haploid.expected")));
}

TEST_F(PopulationReadTest, RelativeFrequenciesRoundToCounts) {
    setType(RFLP, '\0');
    pop.profile.Frequency = 1;
    pop.SampleSize = 10;
    ASSERT_EQ(readBlock(readFile(dataFile("rflp_haploid_rel.blk")), false), 1) << logText();
    // 10 x 0.25 + 0.5 = 3 and 10 x 0.75 + 0.5 = 8: the sample grows to 11.
    EXPECT_EQ(entries(pop), (std::vector<Entry>{{"r1", 3}, {"r2", 8}}));
    EXPECT_EQ(pop.SampleSize, 11.0);
    EXPECT_FALSE(logHas("WARNING"));
}

TEST_F(PopulationReadTest, RelativeFrequenciesNotSummingToOneWarn) {
    pop.profile.Frequency = 1;
    pop.SampleSize = 10;
    ASSERT_EQ(readBlock("a 0.5 ACGT\nb 0.3 ACGA\n}\n", false), 1);
    EXPECT_TRUE(reported("WARNING", "Population::New_read_gametic_data() sum of Relative frequencies=0.800000", 174));
    EXPECT_EQ(pop.SampleSize, 8.0);  // 5 + 3
}

// A small negative relative frequency would round to a count of 0 and
// quietly lower the sum of frequencies.
TEST_F(PopulationReadTest, NegativeRelativeFrequencyRefused) {
    pop.profile.Frequency = 1;
    pop.SampleSize = 10;
    EXPECT_EQ(readBlock("b 1.01 ACGA\na -0.01 ACGT\n}\n", false), 0);
    EXPECT_TRUE(reported("ERROR", "Population::New_read_gametic_data()", 144));

    Population dip;
    dip.profile.Frequency = 1;
    dip.SampleSize = 10;
    target = &dip;
    EXPECT_EQ(readBlock("i1 1.01 AC\nAG\ni2 -0.01 AA\nAA\n}\n", true), 0);
    EXPECT_TRUE(reported("ERROR", "Population::New_read_genotypic_data()", 149));
}

TEST_F(PopulationReadTest, AbsoluteCountsAgainstDeclaredSizeWarnAndAdjust) {
    pop.SampleSize = 10;
    ASSERT_EQ(readBlock("a 3 ACGT\nb 4 ACGA\n}\n", false), 1);
    EXPECT_TRUE(reported("WARNING", "Population::New_read_gametic_data() (SampleSize=10; Sum. Freq.=7)", 141));
    EXPECT_EQ(pop.SampleSize, 7.0);

    Population dip;
    dip.SampleSize = 10;
    target = &dip;
    ASSERT_EQ(readBlock("i1 3 AC\nAG\ni2 4 AA\nAA\n}\n", true), 1);
    EXPECT_TRUE(reported("WARNING", "Population::New_read_genotypic_data() (SampleSize=10; Sum. Freq.=7)", 148));
    EXPECT_EQ(dip.SampleSize, 14.0);
}

TEST_F(PopulationReadTest, ZeroCountAddsNoEntry) {
    pop.SampleSize = 2;
    ASSERT_EQ(readBlock("a 0 ACGT\nb 2 ACGA }\n", false), 1);
    EXPECT_EQ(entries(pop), (std::vector<Entry>{{"b", 2}}));
    EXPECT_EQ(db.haplotypes.count, 2);  // the definition is made all the same
}

TEST_F(PopulationReadTest, FrequencyDataNeedNoAlleles) {
    setType(FREQUENCY, '\0');
    pop.SampleSize = 5;
    ASSERT_EQ(readBlock("x 2\ny 3 whatever follows\n}\n", false), 1) << logText();
    EXPECT_EQ(entries(pop), (std::vector<Entry>{{"x", 2}, {"y", 3}}));
    EXPECT_EQ(str(db.haplotypes.data[1]->data), "");
}

TEST_F(PopulationReadTest, ExternalFileNeedsNoClosingBrace) {
    pop.SampleSize = 4;
    ASSERT_EQ(readBlock("a 1 AC\nb 2 AG\n", false, 1), 1);
    EXPECT_EQ(pop.SampleSize, 3.0);
    EXPECT_EQ(line, 2);

    // The older reader accepts it too, but skips the end-of-block steps.
    Population old;
    old.SampleSize = 9;
    target = &old;
    ASSERT_EQ(readOld("a 1 AC\nb 2 AG\n", false, 1), 1);
    EXPECT_EQ(old.haplotypes.count, 2);
    EXPECT_EQ(old.SampleSize, 9.0);
}

// Each failing block: its message, its log line, a 0 result.
struct FailCase {
    char const* name;
    bool genotypic;
    TDataType type;
    std::string text;
    int number;           // -1: no numbered report
    char const* function;
    char const* logLine;
};

class PopulationFailTest : public PopulationReadTest, public ::testing::WithParamInterface<FailCase> {};

TEST_P(PopulationFailTest, ReportsAndFails) {
    FailCase const& c = GetParam();
    setType(c.type, c.type == DNA ? '\0' : ' ');
    defineHaplotype("h1", "ACGT");
    pop.SampleSize = 4;
    EXPECT_EQ(readBlock(c.text, c.genotypic), 0);
    if (c.number >= 0)
        EXPECT_TRUE(reported("ERROR", c.function, c.number));
    else
        EXPECT_FALSE(logHas("#[ERROR"));
    EXPECT_TRUE(logHas(c.logLine)) << logText();
}

constexpr char const* kGam = "Population::New_read_gametic_data()";
constexpr char const* kGen = "Population::New_read_genotypic_data()";

INSTANTIATE_TEST_SUITE_P(
    Blocks, PopulationFailTest,
    ::testing::Values(
        FailCase{"UndefinedWithoutData", false, DNA, "h2 1\n}\n", 63, kGam,
                 "\tHaplotype \"h2\" listed on line 1 is undefined. Aborting reading project."},
        FailCase{"NoFrequency", false, DNA, "h1\n}\n", 144, kGam,
                 "\tUnable to read haplotype \"h1\" frequency on line 1, aborting reading procedure"},
        FailCase{"BadFrequency", false, DNA, "h1 2 ACGT\nh1 x1 ACGT\n}\n", 144, kGam,
                 "\tProblem reading haplotype frequency (\"x1\") on line 2 . Aborting reading file"},
        FailCase{"NegativeCount", false, DNA, "h1 -2 ACGT\n}\n", 144, kGam, "(\"-2\")"},
        FailCase{"CountBeyondInt", false, DNA, "h1 3e9 ACGT\n}\n", 144, kGam, "(\"3e9\")"},
        FailCase{"LociDiffer", false, DNA, "h1 1 ACGT\nh2 1 ACG\n}\n", 69, kGam,
                 "\tNumber of loci for haplotype \"h2\" is different (3) from that previously defined (4) on line 2"},
        FailCase{"InvalidDna", false, DNA, "h2 1 AC*T\n}\n", 63, kGam,
                 "\tUnable to read haplotype definition on line 1, aborting reading procedure"},
        FailCase{"RedefinedDifferently", false, DNA, "h1 1 ACGA\n}\n", 31, kGam,
                 "\tDefinition of haplotype h1 defined on line 1 does not match its previous definition, aborting "
                 "reading project."},
        FailCase{"RedefinitionUnreadable", false, DNA, "h1 1 AC*A\n}\n", 33, kGam,
                 "\tUnable to read haplotype definition on line 1. Aborting reading project."},
        FailCase{"NoClosingBrace", false, DNA, "h1 1 ACGT\n", 194, kGam,
                 "\tMissing closing brace for sample \"pop 1\", aborting reading procedure"},
        FailCase{"NewSectionFirst", false, DNA, "h1 1 ACGT\n  samplename=\"x\"\n", 194, kGam,
                 "\tMissing closing brace for sample \"pop 1\". New section found on line 2 before finding closing "
                 "brace.  Aborting reading procedure"},
        FailCase{"OnlyId", true, STANDARD, "i1\n}\n", -1, "",
                 "\tUnable to read genotype ID on line 1, aborting reading procedure"},
        FailCase{"BlanksAfterId", true, STANDARD, "i1  \n}\n", 149, "New_read_genotypic_data()",
                 "\tUnable to read read genotype frequency on line 1. Aborting reading project"},
        FailCase{"BadGenotypeFrequency", true, STANDARD, "i1 abc a\nb\n}\n", 149, kGen,
                 "\tProblem reading genotype frequency (\"abc\") on line 1 . Aborting reading project"},
        FailCase{"GenotypeCountBeyondInt", true, STANDARD, "i1 2147483648 a\nb\n}\n", 149, kGen,
                 "(\"2147483648\")"},
        FailCase{"FrequencyLastWord", true, STANDARD, "i1 2\n}\n", 149, kGen,
                 "\tUnable to read genotype \"i1\" definition on line 1. Aborting reading project"},
        FailCase{"BlanksAfterFrequency", true, STANDARD, "i1 2 \n}\n", 150, kGen,
                 "\tUnable to read phenotype \"i1\" definition on line 1. Aborting reading project"},
        FailCase{"SecondLineIsBrace", true, STANDARD, "i1 1 a b\nc d\ni2 1 a b\n}\n", 150, kGen,
                 "\tUnable to read genotype \"i2\" definition on line 4, aborting reading procedure"},
        FailCase{"SecondLineMissingAtEnd", true, STANDARD, "i1 1 a b\n", 150, kGen,
                 "\tUnable to read genotype \"i1\" definition on line 1, aborting reading procedure"},
        FailCase{"GametesDiffer", true, STANDARD, "i1 1 a b\na\n}\n", 69, kGen,
                 "\tNumber of loci for genotype \"i1\" is different (1) from that previously defined (2) on line 2"}),
    [](::testing::TestParamInfo<FailCase> const& info) { return std::string(info.param.name); });

TEST_F(PopulationReadTest, FailedDefinitionDropsEntriesButKeepsDefinitions) {
    pop.SampleSize = 3;
    EXPECT_EQ(readBlock("a 1 ACGT\nb 1 ACGA\nc 1 AC*A\n}\n", false), 0);
    EXPECT_EQ(pop.haplotypes.count, 0);
    EXPECT_EQ(db.haplotypes.count, 3);

    Population other;
    target = &other;
    EXPECT_EQ(readBlock("z 1\n}\n", false), 0);  // undefined: the empty definition stays
    ASSERT_NE(db.find_by_id(my_string("z")), nullptr);
}

// ------------------------------------------------------------ genotypic

TEST_F(PopulationReadTest, DiploidMicrosatBlockReadAndWrittenBack) {
    setType(MICROSAT, ' ');
    pop.name = "msat";
    pop.profile.GenotypicData = 1;
    pop.SampleSize = 3;
    ASSERT_EQ(readBlock(readFile(dataFile("microsat_diploid.blk")), true), 1) << logText();

    ASSERT_EQ(pop.phenotypes.size(), 2);
    TPhenotype const& a = *pop.phenotypes[0];
    EXPECT_EQ(str(a.name), "ind1");
    EXPECT_EQ(a.count, 2.0);
    EXPECT_EQ(str(a.alleleString1), " 120 134");
    EXPECT_EQ(str(a.alleleString2), " 122 134");
    EXPECT_EQ(str(pop.phenotypes[1]->alleleString2), " 120 136");
    EXPECT_EQ(pop.nbEntries, 4);
    EXPECT_EQ(pop.SampleSize, 6.0);
    EXPECT_FALSE(logHas("WARNING"));

    EXPECT_EQ(written(pop), readFile(dataFile("microsat_diploid.expected")));

    // The written block, cleaned as a project copy is, reads back the same.
    Population again(pop.name, 0, pop.profile);
    again.SampleSize = 3;
    target = &again;
    ASSERT_EQ(readBlock(skipLines(cleanLikeProjectCopy(written(pop)), 3), true), 1) << logText();
    EXPECT_EQ(written(again), written(pop));
    EXPECT_EQ(again.SampleSize, 6.0);
}

TEST_F(PopulationReadTest, DiploidStandardRelativeFrequencies) {
    setType(STANDARD, '\0');
    pop.profile.Frequency = 1;
    pop.SampleSize = 4;
    ASSERT_EQ(readBlock(readFile(dataFile("standard_diploid_rel.blk")), true), 1) << logText();
    // 4 x 0.5 + 0.5 = 2.5 -> 2; 4 x 0.25 + 0.5 = 1.5 -> 1 (twice).
    ASSERT_EQ(pop.phenotypes.size(), 3);
    EXPECT_EQ(pop.phenotypes[0]->count, 2.0);
    EXPECT_EQ(pop.phenotypes[1]->count, 1.0);
    EXPECT_EQ(str(pop.phenotypes[2]->alleleString1), "BD");
    EXPECT_EQ(str(pop.phenotypes[2]->alleleString2), "BC");
    EXPECT_EQ(pop.SampleSize, 8.0);
    EXPECT_FALSE(logHas("WARNING"));
}

TEST_F(PopulationReadTest, DiploidDnaAndZeroCountIndividuals) {
    pop.SampleSize = 1;
    ASSERT_EQ(readBlock("i1 1 AC GT\nAC GA\ni2 0 AA AA\nAA AA }\nnot read\n", true), 1) << logText();
    ASSERT_EQ(pop.phenotypes.size(), 2);  // count 0 stays in the list
    EXPECT_EQ(str(pop.phenotypes[0]->alleleString1), "ACGT");
    EXPECT_EQ(pop.phenotypes[1]->count, 0.0);
    EXPECT_EQ(pop.SampleSize, 2.0);
    EXPECT_EQ(line, 4);
}

TEST_F(PopulationReadTest, HaplotypicSampleStillHoldingPhenotypesWritesEveryGamete) {
    pop.name = "my pop";
    auto* p = new TPhenotype(my_string("i1"), 2.0);
    p->alleleString1 = "AC";
    pop.phenotypes.add(p);
    p = new TPhenotype(my_string("i2"), 1.0);
    p->alleleString1 = "AG";
    p->alleleString2 = "AT";
    pop.phenotypes.add(p);
    pop.SampleSize = 3.9;
    std::string const expected = "\t\tSampleName=\"my pop\"\n\t\tSampleSize=3\n\t\tSampleData={\n"
                                 "                      my_pop_1      2.00\tAC\n"
                                 "                      my_pop_2      1.00\tAG\n"
                                 "                      my_pop_3      1.00\tAT\n"
                                 "\t\t}\n";
    EXPECT_EQ(written(pop), expected);
}

// ------------------------------------------------------------ older readers

TEST_F(PopulationReadTest, OlderGameticReaderStopsBeforeBrace) {
    defineHaplotype("h1", "ACGT");
    pop.SampleSize = 6;
    std::string rest;
    ASSERT_EQ(readOld("  h1 3   # comment\nh2 3 ACGA\n}\nafter\n", false, 0, &rest), 1) << logText();
    EXPECT_EQ(entries(pop), (std::vector<Entry>{{"h1", 3}, {"h2", 3}}));
    EXPECT_EQ(pop.SampleSize, 6.0);
    EXPECT_EQ(rest, "}\nafter\n");
}

TEST_F(PopulationReadTest, OlderReadersReportTheirFailures) {
    struct Case {
        bool genotypic;
        std::string text;
        int number;
        std::string function;
    };
    std::vector<Case> const cases = {
        {false, "h7 2\n}\n", 145, "Population::read_gametic_data() (Hapl h7)"},
        {false, "h1 .5 ACGT\n}\n", 144, "Population::read_gametic_data()"},
        {false, "h1 1 ACGT\n", 64, "Population::read_gametic_data()"},
        {false, "= 1 ACGT\n}\n", 100, "Population::read_gametic_data()"},
        {true, "i1 x a\nb\n}\n", 149, "Population::read_genotypic_data()"},
        {true, "i1 1 a\n}\n", 150, "Population::read_genotypic_data()"},
        {true, "i1 1\nb\n}\n", 150, "Population::read_genotypic_data()"},
    };
    setType(STANDARD, '\0');
    for (Case const& c : cases) {
        Population fresh;
        target = &fresh;
        EXPECT_EQ(readOld(c.text, c.genotypic), 0) << c.text;
        EXPECT_TRUE(reported("ERROR", c.function, c.number)) << c.text;
    }
}

TEST_F(PopulationReadTest, OlderGenotypicReaderGuardsEmptySample) {
    setType(STANDARD, '\0');
    ASSERT_EQ(readOld("i1 0 ab\ncd\n}\n", true), 1);
    EXPECT_EQ(pop.SampleSize, 0.0);
    EXPECT_EQ(pop.invSampleSize, 1.0);
    EXPECT_EQ(pop.nbEntries, 1);

    Population fresh;
    target = &fresh;
    ASSERT_EQ(readOld("i1 2 ab\ncd\ni2 1 aa\n  aa\n}", true), 1);
    EXPECT_EQ(fresh.SampleSize, 6.0);
    EXPECT_EQ(fresh.nbEntries, 2);
    EXPECT_EQ(str(fresh.phenotypes[1]->alleleString2), "aa");
}

// ------------------------------------------------------------ the sample

TEST(PopulationTest, CopyOwnsItsRecordsAndKeepsItsLengths) {
    HaploDef def(my_string("h1"));
    Population src(my_string("src"));
    src.id = 3;
    src.SampleSize = 4;
    src.fromPhenotypes = 1;
    src.haplotypes.Add(new PHaploDef{&def, 4});
    src.geneCopies.Add(new PHaploDef{&def, 1});
    auto* ph = new TPhenotype(my_string("i1"), 2.0);
    ph->alleleString1 = "AC";
    src.phenotypes.add(ph);
    src.polymorphicLocus = {1, 0, 1, 1, 0};  // longer than the definition's allele list
    src.pooledGroupSample = true;
    src.hapl_count.assign(3, 1.0);
    src.perm_vector_size = 3;

    Population copy(src);
    EXPECT_EQ(str(copy.name), "src");
    EXPECT_EQ(copy.SampleSize, 4.0);
    EXPECT_EQ(copy.fromPhenotypes, 0);
    EXPECT_EQ(copy.currentHaplotypes, &copy.haplotypes);
    ASSERT_EQ(copy.haplotypes.count, 1);
    EXPECT_NE(copy.haplotypes.data[0], src.haplotypes.data[0]);
    EXPECT_EQ(copy.haplotypes.data[0]->haplotype, &def);
    EXPECT_EQ(copy.geneCopies.count, 0);
    ASSERT_EQ(copy.phenotypes.size(), 1);
    EXPECT_NE(copy.phenotypes[0], src.phenotypes[0]);
    EXPECT_EQ(str(copy.phenotypes[0]->alleleString1), "AC");
    EXPECT_EQ(copy.polymorphicLocus, src.polymorphicLocus);
    EXPECT_FALSE(copy.isSample());
    EXPECT_EQ(copy.perm_vector_size, 0);
    EXPECT_TRUE(copy.hapl_count.empty());

    // Assigning a sample without haplotype entries leaves no locus integers.
    Population noEntries(my_string("n"));
    noEntries.polymorphicLocus = {1, 1};
    copy = noEntries;
    EXPECT_TRUE(copy.polymorphicLocus.empty());
    EXPECT_EQ(copy.haplotypes.count, 0);

    Population& alias = src;
    src = alias;  // self-assignment changes nothing
    EXPECT_EQ(src.haplotypes.count, 1);
    EXPECT_EQ(src.fromPhenotypes, 1);
}

TEST(PopulationTest, ShortNames) {
    struct Case {
        char const* name;
        char const* expected;
    };
    for (Case const& c : {Case{"Population12", "Popula21n"}, Case{"Pop 1", "Pop 1"}, Case{"Abcdefgh", "Abcdef"},
                          Case{"Sample 1 2", "Sample21"}, Case{"Abcdef   ", "Abcdef"}, Case{"", ""},
                          Case{"../../etc/x", ".._.._x_c"}, Case{"ab\\cd/ef", "ab_cd_"}}) {
        Population p(my_string(c.name));
        EXPECT_EQ(str(p.get_small_name()), c.expected) << c.name;
    }
}

TEST(PopulationTest, RmBlanksAtEnd) {
    char a[] = "abc \t # comment";
    EXPECT_EQ(Population::rm_blanks_at_end(a), 3);
    EXPECT_STREQ(a, "abc");
    char b[] = " \t";
    EXPECT_EQ(Population::rm_blanks_at_end(b), 0);
}

}  // namespace
}  // namespace quintle
