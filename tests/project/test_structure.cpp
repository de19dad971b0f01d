// Genetic structure: reading the "[[Structure]]" section, writing it back,
// copies.

#include <gtest/gtest.h>

#include "project/project_test_support.h"

#include <vector>

namespace quintle {
namespace {

namespace fs = std::filesystem;
using namespace test;

struct ReadOutcome {
    int result = -1;
    int lineNo = 0;
    std::string line;
    bool sawName = false, sawNbGroups = false, sawIndividualLevel = false, sawGroup = false;
};

class StructureTest : public ProjectDirTest {
protected:
    void SetUp() override {
        for (char const* name : {"A", "B", "C", "D", "pop E"}) samples_.Populations.Add(new Population(my_string(name)));
    }

    ReadOutcome read(Structure& s, std::istream& in, int startLine = 0) {
        ReadOutcome o;
        o.lineNo = startLine;
        my_string line;
        o.result = s.NewReadStructure(in, profile_, samples_, o.lineNo, line, o.sawName, o.sawNbGroups,
                                      o.sawIndividualLevel, o.sawGroup);
        o.line = line.c_str();
        return o;
    }
    ReadOutcome read(Structure& s, std::string const& text) {
        std::istringstream in(text);
        return read(s, in);
    }
    Population* sample(int i) { return samples_.Populations.data[i]; }
    std::vector<std::string> members(Structure const& s, int g) {
        std::vector<std::string> names;
        for (long k = 0; k < s.Groups[g].count; ++k) names.emplace_back(s.Groups[g].data[k]->name.c_str());
        return names;
    }

    ProfileSettings profile_;
    Samples samples_;
};

TEST_F(StructureTest, ReadsGroupsOverOneOrSeveralLinesUpToMantelHeader) {
    std::ifstream in(std::string(QUINTLE_TEST_DATA_DIR) + "/structure/two_groups.txt");
    ASSERT_TRUE(in.is_open());
    Structure s;
    ReadOutcome const o = read(s, in, 7);  // the section header stood on line 7
    ASSERT_EQ(o.result, 1) << log();
    EXPECT_STREQ(s.StructureName.c_str(), "two regions");
    ASSERT_EQ(s.NbGroups, 2);
    EXPECT_EQ(members(s, 0), (std::vector<std::string>{"A", "pop E"}));
    EXPECT_EQ(members(s, 1), (std::vector<std::string>{"B", "C", "D"}));
    EXPECT_EQ(s.GroupSizes[0], 2);
    EXPECT_EQ(s.GroupSizes[1], 3);
    EXPECT_EQ(s.NbSamplesInGroups, 5);
    EXPECT_EQ(s.Groups[1].data[0], sample(1));  // borrowed, not copied
    EXPECT_FALSE(s.Groups[0].owns);
    EXPECT_EQ(o.line, "[[Mantel]]");
    EXPECT_EQ(o.lineNo, 17);
    EXPECT_TRUE(o.sawName && o.sawNbGroups && o.sawGroup);
    EXPECT_FALSE(o.sawIndividualLevel);
}

TEST_F(StructureTest, EachFailureReportsAndFailsTheRead) {
    struct Case {
        char const* text;
        char const* kind;
        int index;
        char const* logged;
    } const cases[] = {
        {"NbGroups=1\nGroup={\"Z\"}\n", "ERROR", 51,
         "\tError: Sample \"Z\" defined in Group #1 on line 2 has not been defined in the [Samples] section.\n"},
        {"NbGroups=2\nGroup={\"A\"}\n\nGroup={\"B\" \"A\"}\n", "ERROR", 206,
         "Sample \"A\" defined in Group #2 on line 4 has been alredy included in group #1.\n"},
        {"NbGroups=3\nGroup={\"A\"}\nGroup={\"B\"}\n", "ERROR", 47,
         "\tInvalid number of groups defined. 3were expected, while 2 have been found!\n"},
        {"NbGroups=6\n", "WARNING", 47, "Invalid number of groups (6)"},
        {"NbGroups=nan\n", "WARNING", 47, "Invalid number of groups (nan)"},
        {"NbGroups=1\nGroup={\"A\"}\nNbGroups=3\nGroup={\"B\"}\n", "WARNING", 47, "redefined on line 3"},
    };
    for (auto const& c : cases) {
        SCOPED_TRACE(c.text);
        start_again();
        Structure s;
        EXPECT_EQ(read(s, c.text).result, 0);
        EXPECT_NE(log().find(c.logged), std::string::npos) << log();
        EXPECT_TRUE(reported(c.kind, c.index)) << log();
        if (std::string(c.logged) == "redefined on line 3") {
            EXPECT_EQ(s.NbGroups, 1);  // the first count stays in force
        }
    }
}

TEST_F(StructureTest, WriterText) {
    Structure one;
    ASSERT_EQ(read(one, "StructureName=\"S\"\nNbGroups=1\nGroup={\"A\" \"B\"}\n").result, 1);
    std::ostringstream block;
    block << one;
    EXPECT_EQ(block.str(),
              "\n\t[[Structure]]\n\n\t\tStructureName = \"S\"\n\t\tNbGroups = 1\n"
              "\t#Group1\n\t\tGroup={\n\t\t\"A\"\n\t\t\"B\"\n\t\t}\n\n");


}

TEST_F(StructureTest, CopiesShareSamplesAndLeaveThemAlive) {
    Structure source;
    ASSERT_EQ(read(source, "NbGroups=2\nGroup={\"A\" \"C\"}\nGroup={\"D\"}\n").result, 1);
    auto* copy = new Structure(source);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(copy->has_population(sample(i)), source.has_population(sample(i)));
    EXPECT_FALSE(source.has_population(sample(1)));
    copy->reset();
    EXPECT_FALSE(copy->has_population(sample(0)));
    delete copy;
    EXPECT_TRUE(source.has_population(sample(3)));
    EXPECT_STREQ(sample(3)->name.c_str(), "D");
}

}  // namespace
}  // namespace quintle
