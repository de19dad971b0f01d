// The sample set: the samples-section reader, the data checks, and the
// set's own bookkeeping.

#include <gtest/gtest.h>

#include "project/project_test_support.h"

#include "data/Haplo_DB.h"
#include "data/TAlleleDB.h"
#include "datatypes/PopulDNA.h"

namespace quintle {
namespace {

struct ReadResult {
    int result = -1;
    int lineNo = 0;
};

using namespace test;

class SamplesTest : public ProjectDirTest {
protected:
    void SetUp() override {
        run.ProjectFolder = (dir.string() + "/").c_str();
        profile.RunSettings = &run;
        setType(DNA, '\0');
    }

    static void setType(TDataType type, char sep) {
        ProfileSettings::DataType = type;
        ProfileSettings::LocusSeparator = sep;
    }

    ReadResult read(std::string const& text) {
        put(dir / "project.pmp", text);
        std::ifstream in(dir / "project.pmp");
        ReadResult r;
        my_string line;
        bool name = false, size = false, data = false;
        r.result = samples.NewReadSamples(in, profile, haplos, r.lineNo, line, name, size, data);
        return r;
    }

    Population& pop(long i) { return *samples.Populations.data[i]; }

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
        {"SampleName=\"C\"\nSampleSize=1e30\n", "invalid value assigned to \"SampleSize\"", "Bad value after keyword"},
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
        EXPECT_STREQ(pop(0).name.c_str(), "A");
    }
}

// A block begun by its name whose data never come: the end of the file or
// the next section refuses it, with the earlier samples kept. A file that
// ends between complete blocks is still read, the number of samples
// adjusted.
TEST_F(SamplesTest, BlockBegunButNotCompletedFailsTheRead) {
    std::string const first = "SampleName=\"A\"\nSampleSize=1\nSampleData={\nh1 1 ACGT\n}\n";
    struct Case {
        char const* tail;
        char const* logLine;
    };
    Case const cases[] = {
        {"SampleName=\"B\"\nSampleSize=10\nstray\n",
         "\tSample \"B\" named on line 6 has no data: the end of the project file comes before its SampleData line."},
        {"SampleName=\"B\"\n[[Structure]]\n",
         "\tSample \"B\" named on line 6 has no data: the next section comes before its SampleData line."},
    };
    profile.NbSamples = 2;
    for (Case const& c : cases) {
        SCOPED_TRACE(c.tail);
        std::string::size_type const before = log().size();
        EXPECT_EQ(read(first + c.tail).result, 0);
        std::string const added = log().substr(before);
        EXPECT_EQ(occurrences(added, std::string("\"") + kReader + "\" : unable to read sample data"), 1);
        EXPECT_NE(added.find(c.logLine), std::string::npos) << added;
        ASSERT_EQ(samples.Populations.count, 1);
        EXPECT_STREQ(pop(0).name.c_str(), "A");
    }

    profile.NbSamples = 3;
    std::string::size_type const before = log().size();
    EXPECT_EQ(read(first + "SampleSize=10\n").result, 1);
    EXPECT_EQ(samples.NbSamples, 1);
    EXPECT_NE(log().substr(before).find("Adjusting no. of samples..."), std::string::npos);
}

TEST_F(SamplesTest, VerifyRemovesMissingDataOnlyEntries) {
    setType(MICROSAT, ' ');
    ASSERT_EQ(read("SampleName=\"H\"\nSampleData={\nm 3 ? ?\nd 5 120 134\nw 2 ?? ?\n}\n").result, 1);
    buildVectors();
    ASSERT_EQ(samples.verify_data(), 1);
    ASSERT_EQ(pop(0).haplotypes.count, 2);  // "??" is not the missing-data character
    EXPECT_EQ(std::string(pop(0).haplotypes.data[0]->haplotype->id.c_str()), "d");
    EXPECT_EQ(pop(0).SampleSize, 7.0);
    EXPECT_DOUBLE_EQ(pop(0).invSampleSize, 1.0 / 7.0);
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

TEST_F(SamplesTest, SelfAssignmentKeepsTheSamplesAndCleanEmpties) {
    for (int i = 0; i < 21; ++i) samples.Populations.Add(new PopulDNA());
    auto& self = samples.Populations;
    samples.Populations = self;
    ASSERT_EQ(samples.Populations.count, 21);

    TNode::hits.count = 5;  // the fixture puts the table back
    samples.clean();
    EXPECT_EQ(samples.Populations.count, 0);
    EXPECT_EQ(TNode::hits.count, 5);  // this set never allocated a tree
    ASSERT_EQ(samples.Tree.allocate_tree(3), 1);
    samples.clean();
    samples.clean();
    EXPECT_EQ(TNode::hits.count, 0);
}

}  // namespace
}  // namespace quintle
