// The data type and locus separator a sample set and its samples carry:
// given by the section reader from the profile as it leaves it, kept when
// the profile reader moves on to another project, cleared with the texts'
// separators, and handed on to the sets made from a set.

#include <gtest/gtest.h>

#include "project/project_test_support.h"

#include <memory>
#include <string>

#include "data/Haplo_DB.h"
#include "data/TAlleleDB.h"
#include "datatypes/population_factory.h"
#include "project/Structure.h"

namespace quintle {
namespace {

using namespace test;

class SampleContextTest : public ProjectDirTest {
protected:
    void SetUp() override { profile.RunSettings = &run; }

    // Reads a samples section into `set` with the reader's profile at that
    // type and separator; 1 when read.
    int read(Samples& set, Haplo_DB& list, TDataType type, char separator, std::string const& text) {
        ProfileSettings::DataType = type;
        ProfileSettings::LocusSeparator = separator;
        put(dir / "project.pmp", text);
        std::ifstream in(dir / "project.pmp");
        int lineNo = 0;
        my_string line;
        bool name = false, size = false, data = false;
        return set.NewReadSamples(in, profile, list, lineNo, line, name, size, data);
    }

    static void expect_context(Samples const& set, TDataType type, char separator) {
        EXPECT_EQ(set.dataType, type);
        EXPECT_EQ(set.locusSeparator, separator);
        for (long i = 0; i < set.Populations.count; ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(set.Populations.data[i]->dataType, type);
            EXPECT_EQ(set.Populations.data[i]->locusSeparator, separator);
        }
    }

    settings run;
    ProfileSettings profile;
};

// Two sets read one after the other, as two projects of a run file: the
// first keeps its own type and separator after the reader has read the
// second's. DNA sets are read without a separator whatever the profile.
TEST_F(SampleContextTest, EachSetKeepsTheTypeItWasReadWith) {
    Haplo_DB dnaList, microsatList;
    Samples dna, microsat;
    profile.NbSamples = 2;
    ASSERT_EQ(read(dna, dnaList, DNA, ' ',
                   "SampleName=\"A\"\nSampleSize=2\nSampleData={\nh1 2 ACGT\n}\n"
                   "SampleName=\"B\"\nSampleSize=1\nSampleData={\nh2 1 ACGA\n}\n"),
              1)
        << log();
    profile.NbSamples = 1;
    ASSERT_EQ(read(microsat, microsatList, MICROSAT, ' ',
                   "SampleName=\"C\"\nSampleSize=1\nSampleData={\nm1 1 102 104\n}\n"),
              1)
        << log();
    ProfileSettings::DataType = FREQUENCY;
    ProfileSettings::LocusSeparator = ';';

    ASSERT_EQ(dna.Populations.count, 2);
    ASSERT_EQ(microsat.Populations.count, 1);
    expect_context(dna, DNA, '\0');
    expect_context(microsat, MICROSAT, ' ');
}

// The sets made from a set take its type and separator: the pooled samples
// of the group pass and a copy made by the sample factory.
TEST_F(SampleContextTest, PooledAndCopiedSamplesTakeTheSourcesContext) {
    Project p;
    Haplo_DB& list = p.haplotypes;
    profile.NbSamples = 2;
    ASSERT_EQ(read(*p.samples, list, MICROSAT, ' ',
                   "SampleName=\"A\"\nSampleSize=1\nSampleData={\nm1 1 102 104\n}\n"
                   "SampleName=\"B\"\nSampleSize=1\nSampleData={\nm2 1 100 104\n}\n"),
              1)
        << log();
    std::istringstream section("StructureName=\"s\"\nNbGroups=1\nGroup={\n\"A\"\n\"B\"\n}\n");
    int line = 0;
    my_string last;
    bool name = false, nb = false, level = false, group = false;
    ASSERT_EQ(p.structure->NewReadStructure(section, *p.samples, *p.samples, line, last, name, nb, level, group), 1)
        << log();
    ProfileSettings::DataType = DNA;
    ProfileSettings::LocusSeparator = '\0';

    Samples pooled;
    Structure flat;
    p.poolSamplesInGroups(*p.samples, *p.structure, pooled, flat);
    ASSERT_EQ(pooled.Populations.count, 1);
    expect_context(pooled, MICROSAT, ' ');

    std::unique_ptr<PopGenetics> copy = make_sample(STANDARD, *p.samples->Populations.data[0]);
    EXPECT_EQ(copy->dataType, STANDARD);
    EXPECT_EQ(copy->locusSeparator, ' ');
}

// Removing the separators of RFLP texts clears the set's separator with
// the reader's.
TEST_F(SampleContextTest, RemovedSeparatorsLeaveTheSetWithout) {
    Haplo_DB list;
    Samples set;
    profile.NbSamples = 1;
    ASSERT_EQ(read(set, list, RFLP, ' ', "SampleName=\"A\"\nSampleSize=1\nSampleData={\nr1 1 0 1 1\n}\n"), 1)
        << log();
    expect_context(set, RFLP, ' ');
    set.rm_separators();
    expect_context(set, RFLP, '\0');
    EXPECT_EQ(ProfileSettings::LocusSeparator, '\0');
    ASSERT_EQ(list.haplotypes.count, 1);
    EXPECT_STREQ(list.haplotypes.data[0]->data.c_str(), "011");
}

}  // namespace
}  // namespace quintle
