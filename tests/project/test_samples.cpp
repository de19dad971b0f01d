// Tests of the sample set: the samples-section reader, the data checks and
// normalisation, and the set's own bookkeeping and writers.

#include <gtest/gtest.h>

#include "project/project_test_support.h"

#include <typeinfo>

#include "data/Haplo_DB.h"
#include "data/TAlleleDB.h"
#include "datatypes/PopulDNA.h"
#include "datatypes/PopulMicrosat.h"
#include "datatypes/PopulRFLP.h"
#include "datatypes/PopulStandard.h"
#include "run/settings.h"

namespace fs = std::filesystem;

namespace quintle {
namespace {

struct ReadResult {
    int result = -1;
    int lineNo = 0;
    std::string line;
    bool nameSeen = false, sizeSeen = false, dataSeen = false;
};

using namespace test;

// Runs of blanks and tabs as one blank: the data readers do not keep the
// column layout of the writer.
std::string squeezed(std::string const& text) {
    std::string out;
    for (char c : text) {
        if (c == '\t') c = ' ';
        if (c == ' ' && !out.empty() && out.back() == ' ') continue;
        out += c;
    }
    return out;
}

class SamplesTest : public ProjectDirTest {
protected:
    void SetUp() override {
        ProjectDirTest::SetUp();
        run.ProjectFolder = (dir.string() + "/").c_str();
        profile.RunSettings = &run;
        setType(DNA, '\0');
    }

    static void setType(TDataType type, char sep) {
        ProfileSettings::DataType = type;
        ProfileSettings::LocusSeparator = sep;
    }

    void write(std::string const& file, std::string const& text) {
        std::ofstream(dir / file, std::ios::binary) << text;
    }

    ReadResult read(std::string const& text) {
        write("project.pmp", text);
        std::ifstream in(dir / "project.pmp");
        ReadResult r;
        my_string line;
        r.result = samples.NewReadSamples(in, profile, haplos, r.lineNo, line, r.nameSeen, r.sizeSeen, r.dataSeen);
        r.line = line.c_str();
        return r;
    }

    // Reports of message `text` from function `fn`.
    int reports(char const* fn, char const* text) const {
        return occurrences(log(), std::string("\"") + fn + "\" : " + text);
    }

    Population& pop(long i) { return *samples.Populations.data[i]; }
    std::string name(long i) { return pop(i).name.c_str(); }

    // What the run does before verify_data: allele vectors of every
    // haplotype definition, pseudo-haplotypes of every individual.
    void buildVectors() {
        samples.init_all_pointers(&alleles);
        for (long i = 0; i < haplos.haplotypes.count; ++i)
            haplos.haplotypes.data[i]->build_haplovect(&alleles, ProfileSettings::LocusSeparator, 0, 1.0);
        samples.build_all_vectors(ProfileSettings::LocusSeparator);
    }

    settings run;
    ProfileSettings profile;
    Haplo_DB haplos;
    TAlleleDB alleles;
    Samples samples;
};

constexpr char const* kReader = "Samples::NewRead()";
constexpr char const* kVerify = "Samples::verify_data()";

// --------------------------------------------------------------- reading

TEST_F(SamplesTest, ReadsBlocksUpToStructureHeader) {
    profile.NbSamples = 2;
    setType(DNA, ' ');
    ReadResult r = read(
        "SampleName=\"pop A\"\nSampleSize=3\nSampleData={\nh1 2 ACGT\nh2 1 ACGA\n}\n\n"  // lines 1-7
        "SampleName=\"pop B\"\nsampledata={\nh1 4\n}\n"                                    // lines 8-11
        "[[Structure]]\nStructureName=\"x\"\n");
    EXPECT_EQ(r.result, 1);
    EXPECT_EQ(r.line, "[[Structure]]");
    EXPECT_EQ(r.lineNo, 12);
    EXPECT_TRUE(r.nameSeen && r.sizeSeen && r.dataSeen);
    ASSERT_EQ(samples.Populations.count, 2);
    EXPECT_EQ(name(0) + "|" + name(1), "pop A|pop B");
    EXPECT_EQ(pop(0).id * 10 + pop(1).id, 1);
    EXPECT_EQ(pop(0).SampleSize + 10 * pop(1).SampleSize, 43.0);
    EXPECT_EQ(haplos.haplotypes.count, 2);  // h1 shared by both samples
    EXPECT_EQ(ProfileSettings::LocusSeparator, '\0');
}

// Every data type, haploid and diploid, in the project file and in an
// external file (which needs no closing brace and is not counted in lineNo).
TEST_F(SamplesTest, BuildsTheClassOfTheDataTypeFromEverySource) {
    struct Case {
        TDataType type;
        char sep;
        int genotypic;
        char const* data;
        std::type_info const& cls;
        long entries;
        double size;
    };
    Case const cases[] = {
        {DNA, '\0', 0, "h1 2 ACGT\nh2 1 AC-T\n", typeid(PopulDNA), 2, 3},
        {DNA, '\0', 1, "i1 2 ACGT\nACGA\n", typeid(PopulDNA), 1, 4},
        {RFLP, '\0', 0, "r1 3 0101\n", typeid(PopulRFLP), 1, 3},
        {MICROSAT, ' ', 0, "m1 1 120 134\nm2 2 122 134\n", typeid(PopulMicrosat), 2, 3},
        {MICROSAT, ' ', 1, "i1 1 120 134\n122 134\ni2 1 120 136\n120 136\n", typeid(PopulMicrosat), 2, 4},
        {STANDARD, ' ', 0, "s1 5 A B\n", typeid(PopulStandard), 1, 5},
        {STANDARD, ' ', 1, "i1 1 A B\nC D\n", typeid(PopulStandard), 1, 2},
        {FREQUENCY, '\0', 0, "f1 2\nf2 7\n", typeid(PopulStandard), 2, 9},
    };
    for (Case const& c : cases) {
        for (bool external : {false, true}) {
            SCOPED_TRACE(std::to_string(c.type) + (c.genotypic ? " diploid" : " haploid") +
                         (external ? " external" : " in file"));
            setType(c.type, c.sep);
            profile.GenotypicData = c.genotypic;
            haplos.reset();
            write("block.txt", c.data);
            std::string const data =
                external ? "SampleData= EXTERN \"block.txt\"\n" : std::string("SampleData={\n") + c.data + "}\n";
            ReadResult r = read("SampleName=\"S\"\n" + data + "[[Mantel]]\n");
            ASSERT_EQ(r.result, 1);
            EXPECT_EQ(r.lineNo, external ? 3 : 4 + occurrences(c.data, "\n"));
            ASSERT_EQ(samples.Populations.count, 1);
            EXPECT_EQ(typeid(pop(0)), c.cls);
            EXPECT_EQ(c.genotypic ? pop(0).phenotypes.size() : pop(0).haplotypes.count, c.entries);
            EXPECT_EQ(pop(0).SampleSize, c.size);
        }
    }
    EXPECT_EQ(occurrences(log(), "in external file\"block.txt\""), 8);

    // A name starting with '/' is used as it is, not in the project folder.
    setType(DNA, '\0');
    profile.GenotypicData = 0;
    std::string const path = std::string(QUINTLE_TEST_DATA_DIR) + "/samples/dna_block.txt";
    ASSERT_EQ(read("SampleName=\"S\"\nSampleData=\"" + path + "\" EXTERN\n").result, 1);
    EXPECT_EQ(pop(0).SampleSize, 6.0);
}

TEST_F(SamplesTest, DuplicateNamesAreRenamed) {
    profile.NbSamples = 4;
    std::string text;
    for (char const* n : {"P", "P", "P", "Q"})
        text += std::string("SampleName=\"") + n + "\"\nSampleData={\nh1 1 ACGT\n}\n";
    ASSERT_EQ(read(text).result, 1);
    ASSERT_EQ(samples.Populations.count, 4);
    EXPECT_EQ(name(1) + "|" + name(2) + "|" + name(3), "P0|P01|Q");  // P0 was taken too
    EXPECT_EQ(reports(kReader, "two samples have the same name: renaming second sample"), 3);
}

TEST_F(SamplesTest, NbSamplesIsAdjustedOnlyAtEndOfFile) {
    std::string const blocks =
        "SampleName=\"A\"\nSampleData={\nh1 1 ACGT\n}\nSampleName=\"B\"\nSampleData={\nh1 1 ACGT\n}\n";
    profile.NbSamples = 3;
    setType(DNA, ' ');
    ASSERT_EQ(read(blocks).result, 1);
    EXPECT_EQ(samples.NbSamples, 2);
    EXPECT_EQ(ProfileSettings::LocusSeparator, '\0');
    EXPECT_EQ(occurrences(log(), "Adjusting no. of samples..."), 1);

    setType(DNA, ' ');
    ASSERT_EQ(read(blocks + "[[Structure]]\n").result, 1);
    EXPECT_EQ(samples.NbSamples, 3);
    EXPECT_EQ(ProfileSettings::LocusSeparator, ' ');  // left alone on a mismatch
    EXPECT_EQ(reports(kReader, "invalid value for \"NbSamples\""), 2);
    EXPECT_EQ(occurrences(log(), "Warning: 2 samples are actually listed in project file, while 3 are defined"), 1);
}

// Each way a block can fail: its messages, result 0, the blocks before kept
// and nothing read after it (a bad value, a missing external file or an
// unnamed one used to let the read succeed).
TEST_F(SamplesTest, UnreadableBlocksFailTheRead) {
    struct Case {
        char const* block;
        char const* report;  // the reader's numbered report
        char const* logLine;
    };
    Case const cases[] = {
        {"SampleData={\nh1 1 ACGT\n}\n", "\"SampleName\" keyword not found",
         "not found while data is defined for population #2"},
        {"SampleName=pop\n", "invalid value assigned to \"SampleName\"", "No open quote after keyword 'SampleName'"},
        {"SampleName=\"pop\n", "invalid value assigned to \"SampleName\"", "Opened quote not closed"},
        {"SampleName=\"C\"\nSampleSize=12x\n", "invalid value assigned to \"SampleSize\"", "Bad value after keyword"},
        {"SampleName=\"C\"\nSampleSize=1e30\n", "invalid value assigned to \"SampleSize\"", "Bad value after keyword"},
        {"SampleName=\"C\"\nSampleSize=nan\n", "invalid value assigned to \"SampleSize\"", "Bad value after keyword"},
        {"SampleName=\"C\"\nSampleData= EXTERN \"absent.txt\"\n", "unable to read sample data",
         "\tWarning: External file \"absent.txt\" listed on line 6 cannot be open. Check that it exists..."},
        {"SampleName=\"C\"\nSampleData= EXTERN absent.txt\n", "unable to read sample data",
         "No open quote after keyword 'Extern sample data'"},
        {"SampleName=\"C\"\nSampleData={\nh1 1 ACGT\n", "unable to read sample data", "Missing closing brace"},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.block);
        std::string const text = std::string("SampleName=\"A\"\nSampleData={\nh1 1 ACGT\n}\n") + c.block +
                                 "SampleName=\"Z\"\nSampleData={\nh1 1 ACGT\n}\n[[Structure]]\n";
        std::string::size_type const before = log().size();
        EXPECT_EQ(read(text).result, 0);
        std::string const added = log().substr(before);
        EXPECT_EQ(occurrences(added, std::string("\"") + kReader + "\" : " + c.report), 1);
        EXPECT_NE(added.find(c.logLine), std::string::npos);
        ASSERT_EQ(samples.Populations.count, 1);
        EXPECT_EQ(name(0), "A");
    }
}

// ------------------------------------------------------ checks and normalisation

TEST_F(SamplesTest, VerifyRemovesMissingDataOnlyEntries) {
    setType(MICROSAT, ' ');
    ASSERT_EQ(read("SampleName=\"H\"\nSampleData={\nm 3 ? ?\nd 5 120 134\nw 2 ?? ?\n}\n").result, 1);
    buildVectors();
    ASSERT_EQ(samples.verify_data(), 1);
    ASSERT_EQ(pop(0).haplotypes.count, 2);  // "??" is not the missing-data character
    EXPECT_EQ(std::string(pop(0).haplotypes.data[0]->haplotype->id.c_str()), "d");
    EXPECT_EQ(pop(0).SampleSize, 7.0);
    EXPECT_DOUBLE_EQ(pop(0).invSampleSize, 1.0 / 7.0);
    EXPECT_EQ(pop(0).nbEntries, 2);
    EXPECT_EQ(haplos.find_by_id("m")->count, 0);

    profile.GenotypicData = 1;
    ASSERT_EQ(read("SampleName=\"D\"\nSampleData={\ngone 2 ? ?\n? ?\n"
                   "half 1 ? 134\n? 136\n"  // missing at one locus only: kept
                   "full 3 120 134\n122 136\n}\n").result, 1);
    buildVectors();
    ASSERT_EQ(samples.verify_data(), 1);
    ASSERT_EQ(pop(0).phenotypes.size(), 2);
    EXPECT_EQ(std::string(pop(0).phenotypes[0]->name.c_str()), "half");
    EXPECT_EQ(pop(0).SampleSize, 8.0);  // 12 gene copies less 2 × 2
    EXPECT_DOUBLE_EQ(pop(0).invSampleSize, 1.0 / 8.0);
    EXPECT_DOUBLE_EQ(pop(0).phenotypes[0]->relFreq, 0.25);  // recomputed from the counts left
    EXPECT_DOUBLE_EQ(pop(0).phenotypes[1]->relFreq, 0.75);
}

TEST_F(SamplesTest, VerifyFailures) {
    struct Case {
        int genotypic;
        char const* blocks;
        char const* report;
    };
    Case const cases[] = {
        // Emptied by the removal of missing data: nothing left to analyse.
        {0, "SampleName=\"A\"\nSampleData={\nm 3 ? ?\n}\n", "a population has no defined data"},
        {1, "SampleName=\"A\"\nSampleData={\ni 3 ? ?\n? ?\n}\n", "a population has no defined data"},
        {0, "SampleName=\"A\"\nSampleData={\n}\n", "a population has no defined data"},
        // B reuses A's definition "a" (3 loci) beside its own "b" (2 loci).
        {0, "SampleName=\"A\"\nSampleData={\na 1 1 2 3\n}\nSampleName=\"B\"\nSampleData={\nb 1 1 2\na 1\n}\n",
         "haplotypes have different number of loci"},
        {0, "SampleName=\"A\"\nSampleData={\na 1 1 2 3\n}\nSampleName=\"B\"\nSampleData={\nb 1 1 2\n}\n",
         "samples do not have the same number of loci"},
        {1, "SampleName=\"A\"\nSampleData={\na 1 1 2\n1 2\n}\nSampleName=\"B\"\nSampleData={\nb 1 1\n1\n}\n",
         "samples do not have the same number of loci"},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.blocks);
        setType(MICROSAT, ' ');
        profile.GenotypicData = c.genotypic;
        haplos.reset();
        ASSERT_EQ(read(c.blocks).result, 1);
        buildVectors();
        std::string::size_type const before = log().size();
        EXPECT_EQ(samples.verify_data(), 0);
        EXPECT_EQ(occurrences(log().substr(before), std::string("\"") + kVerify + "\" : " + c.report), 1);
        if (&c - cases < 2) {
            EXPECT_EQ(pop(0).invSampleSize, 0.0);  // no inverse of an emptied sample
        }
    }
}

TEST_F(SamplesTest, DnaUpperCaseAndSeparatorRemoval) {
    setType(DNA, ' ');
    ASSERT_EQ(read("SampleName=\"A\"\nSampleData={\nh1 1 ACGT\nh2 1 ACGT\n}\n").result, 1);
    // As the cleaned copy delivers them: separators turned into blanks.
    haplos.find_by_id("h1")->data = "a c-g";
    haplos.find_by_id("h2")->data = "t\t1 ag";
    ProfileSettings::LocusSeparator = ' ';  // the reader cleared it
    samples.convert_dna_upper();
    samples.rm_separators();
    EXPECT_EQ(std::string(haplos.find_by_id("h1")->data.c_str()), "AC-G");
    EXPECT_EQ(std::string(haplos.find_by_id("h2")->data.c_str()), "T1AG");
    EXPECT_EQ(ProfileSettings::LocusSeparator, '\0');

    // Other data types: no case change; the separator is only cleared.
    setType(MICROSAT, ' ');
    haplos.find_by_id("h1")->data = "a c";
    samples.convert_dna_upper();
    samples.rm_separators();
    EXPECT_EQ(std::string(haplos.find_by_id("h1")->data.c_str()), "a c");
    EXPECT_EQ(ProfileSettings::LocusSeparator, '\0');

    // A sample without data stops both and leaves the separator set.
    setType(DNA, ' ');
    samples.Populations.Add(new Population(my_string("empty"), 1, profile));
    samples.convert_dna_upper();
    samples.rm_separators();
    EXPECT_EQ(ProfileSettings::LocusSeparator, ' ');
    EXPECT_EQ(reports("Samples::convert_dna_upper()", "a population has no defined data"), 1);
    EXPECT_EQ(reports("Samples::rm_separators()", "a population has no defined data"), 1);
}

// ------------------------------------------------------ the set and its writers

TEST_F(SamplesTest, SelfAssignmentKeepsTheSamplesAndCleanEmpties) {
    for (int i = 0; i < 21; ++i) samples.Populations.Add(new PopulDNA());
    auto& self = samples.Populations;
    samples.Populations = self;
    ASSERT_EQ(samples.Populations.count, 21);
    EXPECT_EQ(typeid(*samples.Populations.data[20]), typeid(PopulDNA));

    TNode::hits.count = 5;
    samples.clean();
    EXPECT_EQ(samples.Populations.count, 0);
    EXPECT_EQ(samples.Populations.capacity, 40);
    EXPECT_EQ(TNode::hits.count, 5);  // this set never allocated a tree
    ASSERT_EQ(samples.Tree.allocate_tree(3), 1);
    samples.clean();
    samples.clean();
    EXPECT_EQ(TNode::hits.count, 0);
    TNode::hits.count = 0;
}

TEST_F(SamplesTest, WrittenBlocksReadBackTheSame) {
    struct Case {
        TDataType type;
        char sep;
        int genotypic;
        char const* data;
        double size;
    };
    Case const cases[] = {
        {DNA, '\0', 0, "h1 4 ACGT\nh2 1 AC-T\nh3 2 TTTT\n", 7},
        {MICROSAT, ' ', 1, "i1 2 120 134\n122 134\ni2 1 120 136\n120 136\n", 6},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.data);
        profile.GenotypicData = c.genotypic;
        profile.NbSamples = 2;
        std::string text = std::string("SampleName=\"A\"\nSampleData={\n") + c.data +
                           "}\nSampleName=\"B b\"\nSampleData={\n" + c.data + "}\n";
        std::string written[2];
        for (std::string& out : written) {
            setType(c.type, c.sep);
            haplos.reset();
            ASSERT_EQ(read(text).result, 1);
            std::ostringstream os;
            os << samples;
            text = out = os.str();
        }
        EXPECT_EQ(squeezed(written[1]), squeezed(written[0]));
        ASSERT_EQ(samples.Populations.count, 2);
        EXPECT_EQ(name(1), "B b");
        EXPECT_EQ(pop(0).SampleSize, c.size);
    }
    Samples empty;
    std::ostringstream out;
    out << empty;
    EXPECT_EQ(out.str(), "\n\t[[Samples]]\n\n\n\n");
}

}  // namespace
}  // namespace quintle
