// Tests of a sample's data-block readers, its writer, copying and short name.

#include <gtest/gtest.h>

#include "data/logged_test.h"

#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "data/HaploDef.h"
#include "data/Haplo_DB.h"
#include "data/Population.h"
#include "data/TPhenotype.h"

namespace fs = std::filesystem;

namespace quintle {
namespace {

std::string str(my_string const& s) { return s.c_str(); }

std::string dataFile(char const* name) {
    return test::slurp(fs::path(QUINTLE_TEST_DATA_DIR) / "population" / name);
}

class PopulationReadTest : public test::LoggedTest {
protected:
    void SetUp() override {
        setType(DNA, '\0');
        pop.name = "pop 1";
    }

    static void setType(TDataType type, char sep) {
        ProfileSettings::DataType = type;
        ProfileSettings::LocusSeparator = sep;
    }

    // Runs a line reader (or the older genotypic one) on `text` stored in a
    // file; `rest` receives what it left in the stream.
    int readBlock(std::string const& text, bool genotypic, std::string* rest = nullptr, bool older = false,
                  bool groupRuns = false) {
        fs::path const p = dir_ / "block.txt";
        std::ofstream(p, std::ios::binary) << text;
        std::ifstream in(p, std::ios::binary);
        my_string buffer;
        line = 0;
        int r = 0;
        if (older)
            r = target->read_genotypic_data(in, 0, groupRuns);
        else
            r = genotypic ? target->New_read_genotypic_data(in, 0, line, buffer)
                          : target->New_read_gametic_data(in, db, 0, line, buffer);
        if (rest != nullptr) {
            in.clear();
            std::ostringstream left;
            left << in.rdbuf();
            *rest = left.str();
        }
        return r;
    }

    // The log holds a report of that kind, function text and message.
    bool reported(char const* kind, std::string const& function, int number) {
        return reports(function, number) > 0 && logHas(std::string("#[") + kind + " #");
    }

    bool logHas(std::string const& fragment) { return log().find(fragment) != std::string::npos; }

    std::vector<std::pair<std::string, int>> entries(Population const& p) const {
        std::vector<std::pair<std::string, int>> out;
        for (long i = 0; i < p.haplotypes.count; ++i)
            out.emplace_back(str(p.haplotypes.data[i]->haplotype->id), p.haplotypes.data[i]->count);
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

using Entries = std::vector<std::pair<std::string, int>>;

TEST_F(PopulationReadTest, HaploidDnaBlockReadAndWrittenBack) {
    auto* def = new HaploDef(my_string("h1"));
    def->data = "ACGTA";
    db.haplotypes.Add(def);
    pop.name = "dna pop";
    pop.SampleSize = 10;
    std::string rest;
    ASSERT_EQ(readBlock(dataFile("dna_haploid.blk"), false, &rest), 1) << log();

    // h2 listed twice is one entry of 4 + 1 copies.
    EXPECT_EQ(entries(pop), (Entries{{"h1", 3}, {"h2", 5}, {"h3", 2}}));
    EXPECT_EQ(line, 5);
    EXPECT_DOUBLE_EQ(pop.invSampleSize, 0.1);
    ASSERT_EQ(db.haplotypes.count, 3);
    EXPECT_EQ(db.haplotypes.data[1]->count, 5);
    EXPECT_EQ(rest, "h9 1 AAAAA\n");  // nothing read past the closing brace
    // The second, identical definition of h2 is only a warning.
    EXPECT_TRUE(reported("WARNING", "Population::New_read_gametic_data(),  h2 : ", 146));
    EXPECT_TRUE(reported("WARNING", "Population::New_read_gametic_data() (sample \"dna pop\")", 146));
    EXPECT_FALSE(logHas("#[ERROR"));
    EXPECT_EQ(written(pop), dataFile("dna_haploid.expected"));
}

TEST_F(PopulationReadTest, DiploidMicrosatBlockReadAndWrittenBack) {
    setType(MICROSAT, ' ');
    pop.name = "msat";
    pop.profile.GenotypicData = 1;
    pop.SampleSize = 3;
    ASSERT_EQ(readBlock(dataFile("microsat_diploid.blk"), true), 1) << log();
    ASSERT_EQ(pop.phenotypes.size(), 2);
    EXPECT_EQ(str(pop.phenotypes[0]->alleleString2), " 122 134");
    EXPECT_EQ(pop.SampleSize, 6.0);
    EXPECT_FALSE(logHas("WARNING"));
    EXPECT_EQ(written(pop), dataFile("microsat_diploid.expected"));
}

TEST_F(PopulationReadTest, RelativeFrequenciesRoundToCounts) {
    setType(RFLP, '\0');
    pop.profile.Frequency = 1;
    pop.SampleSize = 10;
    ASSERT_EQ(readBlock(dataFile("rflp_haploid_rel.blk"), false), 1) << log();
    // 10 x 0.25 + 0.5 = 3 and 10 x 0.75 + 0.5 = 8: the sample grows to 11.
    EXPECT_EQ(entries(pop), (Entries{{"r1", 3}, {"r2", 8}}));
    EXPECT_EQ(pop.SampleSize, 11.0);

    setType(STANDARD, '\0');
    Population dip;
    dip.profile.Frequency = 1;
    dip.SampleSize = 4;
    target = &dip;
    ASSERT_EQ(readBlock(dataFile("standard_diploid_rel.blk"), true), 1) << log();
    // 4 x 0.5 + 0.5 = 2.5 -> 2; 4 x 0.25 + 0.5 = 1.5 -> 1 (twice).
    ASSERT_EQ(dip.phenotypes.size(), 3);
    EXPECT_EQ(dip.phenotypes[0]->count, 2.0);
    EXPECT_EQ(dip.phenotypes[1]->count, 1.0);
    EXPECT_EQ(dip.SampleSize, 8.0);
    EXPECT_FALSE(logHas("WARNING"));
}

TEST_F(PopulationReadTest, SumsAgainstTheDeclaredSizeWarnAndAdjust) {
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

    Population rel;
    rel.profile.Frequency = 1;
    rel.SampleSize = 10;
    target = &rel;
    ASSERT_EQ(readBlock("c 0.5 ACGT\nd 0.3 ACGA\n}\n", false), 1);
    EXPECT_TRUE(reported("WARNING", "Population::New_read_gametic_data() sum of Relative frequencies=0.800000", 174));
    EXPECT_EQ(rel.SampleSize, 8.0);
}

// A small negative relative frequency would round to a count of 0 and
// quietly lower the sum of frequencies.
// A haplotype listed twice in a block is one haplotype of the summed count,
// with one warning for the block, in both readers; the definition counts
// its copies once.
TEST_F(PopulationReadTest, RepeatedHaplotypeIsMergedIntoItsFirstEntry) {
    for (bool older : {false, true}) {
        SCOPED_TRACE(older ? "older reader" : "line reader");
        Haplo_DB list;
        Population p;
        p.name = "A";
        fs::path const file = dir_ / "repeated.txt";
        std::ofstream(file, std::ios::binary) << "t1 6 ACGT\nt2 1 ACGA\nt1 4\nt2 2\nt1 3\n}\n";
        std::ifstream in(file, std::ios::binary);
        my_string buffer;
        line = 0;
        ASSERT_EQ(older ? p.read_gametic_data(in, list, 0) : p.New_read_gametic_data(in, list, 0, line, buffer), 1);
        EXPECT_EQ(entries(p), (Entries{{"t1", 13}, {"t2", 3}}));
        EXPECT_EQ(p.nbEntries, 2);
        EXPECT_EQ(p.SampleSize, 16.0);
        EXPECT_EQ(list.find_by_id(my_string("t1"))->count, 13);
        EXPECT_EQ(reports(older ? "Population::read_gametic_data() (sample \"A\")"
                                : "Population::New_read_gametic_data() (sample \"A\")",
                          146),
                  1);
        EXPECT_TRUE(logHas("\tSample \"A\" lists haplotype \"t1\" (and others) more than once: 3 entries are merged "
                           "into the first of the same haplotype, counts summed.\n"))
            << log();
    }
}

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

// Each failing block: its message, its log line, a 0 result.
TEST_F(PopulationReadTest, FailingBlocks) {
    struct Case {
        bool genotypic;
        std::string text;
        int number;
        char const* logLine;
    };
    const Case cases[] = {
        {false, "h2 1\n}\n", 63, "\tHaplotype \"h2\" listed on line 1 is undefined. Aborting reading project."},
        {false, "h1 x1 ACGT\n}\n", 144,
         "\tProblem reading haplotype frequency (\"x1\") on line 1 . Aborting reading file"},
        {false, "h1 -2 ACGT\n}\n", 144, "(\"-2\")"},
        {false, "h1 3e9 ACGT\n}\n", 144, "(\"3e9\")"},
        {false, "h1 1 ACGT\nh2 1 ACG\n}\n", 69,
         "\tNumber of loci for haplotype \"h2\" is different (3) from that previously defined (4) on line 2"},
        {false, "h1 1 ACGA\n}\n", 31, "\tDefinition of haplotype h1 defined on line 1 does not match its previous"},
        {false, "h1 1 ACGT\n", 194, "\tMissing closing brace for sample \"pop 1\", aborting reading procedure"},
        {true, "i1 2147483648 a\nb\n}\n", 149, "(\"2147483648\")"},
        {true, "i1 1 a b\nc d\ni2 1 a b\n}\n", 150,
         "\tUnable to read genotype \"i2\" definition on line 4, aborting reading procedure"},
        {true, "i1 1 a b\n", 150, "\tUnable to read genotype \"i1\" definition on line 1, aborting reading procedure"},
        {true, "i1 1 a b\na\n}\n", 69,
         "\tNumber of loci for genotype \"i1\" is different (1) from that previously defined (2) on line 2"},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.text);
        setType(c.genotypic ? STANDARD : DNA, '\0');
        db.reset();
        auto* def = new HaploDef(my_string("h1"));
        def->data = "ACGT";
        db.haplotypes.Add(def);
        Population sample(my_string("pop 1"));
        sample.SampleSize = 4;
        target = &sample;
        std::string const function =
            c.genotypic ? "Population::New_read_genotypic_data()" : "Population::New_read_gametic_data()";
        int const before = reports(function, c.number);
        EXPECT_EQ(readBlock(c.text, c.genotypic), 0);
        EXPECT_EQ(reports(function, c.number), before + 1) << log();
        EXPECT_TRUE(logHas(c.logLine)) << log();
    }
}

TEST_F(PopulationReadTest, OlderGenotypicReaderGuardsEmptySample) {
    setType(STANDARD, '\0');
    ASSERT_EQ(readBlock("i1 0 ab\ncd\n}\n", true, nullptr, true), 1);
    EXPECT_EQ(pop.SampleSize, 0.0);
    EXPECT_EQ(pop.invSampleSize, 1.0);
}

// An external file ends its block as a closing brace would: the sample
// size comes from the counts read, with its inverse, and a size that
// differs from the declared one is reported. The end of the file used to
// return at once, leaving the declared size and no inverse.
TEST_F(PopulationReadTest, OlderReadersCloseAnExternalBlockAtTheEndOfItsFile) {
    fs::path const p = dir_ / "outside.txt";
    std::ofstream(p, std::ios::binary) << "h1 3 ACGT\nh2 1 ACGA\n";
    std::ifstream haploid(p, std::ios::binary);
    pop.SampleSize = 10;
    ASSERT_EQ(pop.read_gametic_data(haploid, db, 1), 1) << log();
    EXPECT_EQ(entries(pop), (Entries{{"h1", 3}, {"h2", 1}}));
    EXPECT_EQ(pop.SampleSize, 4.0);
    EXPECT_EQ(pop.invSampleSize, 0.25);
    EXPECT_EQ(reports("Population::read_gametic_data() (SampleSize=10; Sum. Freq.=4)", 141), 1) << log();

    setType(STANDARD, ' ');
    Population dip;
    dip.profile.GenotypicData = 1;
    dip.SampleSize = 3;
    target = &dip;
    std::ofstream(p, std::ios::binary) << "i1 1 A B\n   C D\ni2 2 A A\n   B B";
    std::ifstream diploid(p, std::ios::binary);
    ASSERT_EQ(dip.read_genotypic_data(diploid, 1), 1) << log();
    ASSERT_EQ(dip.phenotypes.size(), 2);
    EXPECT_EQ(dip.SampleSize, 6.0);  // two gene copies of three individuals
    EXPECT_DOUBLE_EQ(dip.invSampleSize, 1.0 / 6.0);
    EXPECT_EQ(reports("Population::read_genotypic_data() (SampleSize=3; Sum. Freq.=3)", 148), 0) << log();
}

// The translator's reading: a run of identical consecutive individuals is one
// phenotype that keeps every individual's name and count, in order. A
// different individual ends the run, a later identical one starts another,
// and a count that is not whole is never grouped. The sample counts what
// it counts without runs.
TEST_F(PopulationReadTest, OlderGenotypicReaderGroupsRunsOfIdenticalIndividuals) {
    setType(STANDARD, ' ');
    std::string const block =
        "i1 1 A B\n   C D\ni2 1 A B\n   C D\ni3 2 A B\n   C D\ni4 1 A A\n   B B\n"
        "i5 1 A B\n   C D\ni6 0.5 A B\n   C D\ni7 1 A B\n   C D\n}\n";
    using Run = std::vector<std::pair<std::string, double>>;
    auto individuals = [](TPhenotype const& ph) {
        Run run;
        ph.for_each_individual(
            [&run](std::string_view name, double count) { run.emplace_back(std::string(name), count); });
        return run;
    };
    for (bool group : {false, true}) {
        SCOPED_TRACE(group ? "grouped" : "one per individual");
        Population dip;
        dip.profile.GenotypicData = 1;
        target = &dip;
        ASSERT_EQ(readBlock(block, true, nullptr, true, group), 1) << log();
        std::vector<Run> runs;
        for (long k = 0; k < dip.phenotypes.size(); ++k) runs.push_back(individuals(*dip.phenotypes[k]));
        if (group) {
            // "0.5" reads as 0.49999999999999989 by the system's digit rule.
            ASSERT_EQ(runs.size(), 5u);
            EXPECT_NEAR(runs[3].at(0).second, 0.5, 1e-15);
            runs[3][0].second = 0.5;
            EXPECT_EQ(runs, (std::vector<Run>{{{"i1", 1}, {"i2", 1}, {"i3", 2}}, {{"i4", 1}}, {{"i5", 1}},
                                              {{"i6", 0.5}}, {{"i7", 1}}}));
            EXPECT_EQ(dip.phenotypes[0]->count, 4.0);
            EXPECT_EQ(str(dip.phenotypes[0]->alleleString2), str(dip.phenotypes[2]->alleleString2));
            // A copy stands for the same individuals.
            EXPECT_EQ(individuals(TPhenotype(*dip.phenotypes[0])), runs[0]);
        } else {
            EXPECT_EQ(runs.size(), 7u);
        }
        EXPECT_EQ(dip.SampleSize, 15.0);  // 7.5 individuals
    }

    // A NUL ends the allele text that is kept: individuals whose kept texts
    // are the same make one run (a fuzzer's million of them did not).
    std::string const withNul("i1 1 A B\n   C\0x D\ni2 1 A B\n   C\0x D\n}\n", 38);
    Population nul;
    nul.profile.GenotypicData = 1;
    target = &nul;
    ASSERT_EQ(readBlock(withNul, true, nullptr, true, true), 1) << log();
    EXPECT_EQ(nul.phenotypes.size(), 1);
    EXPECT_EQ(nul.phenotypes[0]->count, 2.0);
}

// Every array keeps its own length through copies and assignments.
TEST(PopulationTest, CopyOwnsItsRecordsAndKeepsItsLengths) {
    HaploDef def(my_string("h1"));
    Population src(my_string("src"));
    src.haplotypes.Add(new PHaploDef{&def, 4});
    auto* ph = new TPhenotype(my_string("i1"), 2.0);
    ph->alleleString1 = "AC";
    src.phenotypes.add(ph);
    src.polymorphicLocus = {1, 0, 1, 1, 0};  // longer than the definition's allele list

    Population copy(src);
    ASSERT_EQ(copy.haplotypes.count, 1);
    EXPECT_NE(copy.haplotypes.data[0], src.haplotypes.data[0]);
    ASSERT_EQ(copy.phenotypes.size(), 1);
    EXPECT_NE(copy.phenotypes[0], src.phenotypes[0]);
    EXPECT_EQ(copy.polymorphicLocus, src.polymorphicLocus);

    Population noEntries(my_string("n"));
    noEntries.polymorphicLocus = {1, 1};
    copy = noEntries;
    EXPECT_TRUE(copy.polymorphicLocus.empty());
}

// Short names feed file names: no separator may lead elsewhere.
TEST(PopulationTest, ShortNames) {
    std::pair<char const*, char const*> const cases[] = {
        {"Population12", "Popula21n"}, {"Pop 1", "Pop 1"},          {"Sample 1 2", "Sample21"},
        {"Abcdef   ", "Abcdef"},       {"../../etc/x", ".._.._x_c"}, {"ab\\cd/ef", "ab_cd_"}};
    for (auto const& [name, expected] : cases) EXPECT_EQ(str(Population(my_string(name)).get_small_name()), expected);
}

}  // namespace
}  // namespace quintle
