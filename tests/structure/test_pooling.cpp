// Pooling the samples of each group into one sample for the group pass:
// names, numbers, classes, merged data and the flat structure, checked
// against expectations worked out by hand.

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <typeinfo>
#include <vector>

#include "datatypes/PopulDNA.h"
#include "datatypes/PopulMicrosat.h"
#include "datatypes/PopulRFLP.h"
#include "datatypes/PopulStandard.h"
#include "project_builder.h"

namespace quintle {
namespace {

class PoolingTest : public ::testing::Test {
protected:
    void SetUp() override {
        savedType = ProfileSettings::DataType;
        savedSeparator = ProfileSettings::LocusSeparator;
        ProfileSettings::DataType = DNA;
        ProfileSettings::LocusSeparator = 0;
    }
    void TearDown() override {
        ProfileSettings::DataType = savedType;
        ProfileSettings::LocusSeparator = savedSeparator;
    }

    HaploDef* define(char const* id, char const* data) { return testing_support::define(p, id, data); }
    Population* add(Population* s) {
        s->id = static_cast<int>(p.samples->Populations.count);
        p.samples->Populations.Add(s);
        return s;
    }
    Population* haploid(char const* name, std::vector<std::pair<HaploDef*, int>> const& entries) {
        auto* s = add(new Population(my_string(name)));
        for (auto [h, c] : entries) {
            s->haplotypes.Add(new PHaploDef{h, c});
            s->SampleSize += c;
        }
        return s;
    }
    void diploid(char const* name, std::vector<testing_support::Individual> const& individuals) {
        add(testing_support::diploid_sample(name, individuals));
    }
    void groups(std::vector<std::vector<int>> const& members) { testing_support::set_groups(p, members); }
    void pool() { p.poolSamplesInGroups(*p.samples, *p.structure, pooled, flat); }

    // A sample's haplotype entries as data text -> count.
    static std::map<std::string, int> entries(Population const& s) {
        std::map<std::string, int> m;
        for (long i = 0; i < s.haplotypes.count; ++i)
            m[s.haplotypes.data[i]->haplotype->data.c_str()] += s.haplotypes.data[i]->count;
        return m;
    }
    Population& pooledSample(long k) { return *pooled.Populations.data[k]; }

    TDataType savedType{};
    char savedSeparator = 0;
    Project p;
    // Declared after the project so they go before its samples; the flat
    // structure before the pooled set it borrows from.
    Samples pooled;
    Structure flat;
};

// Group 1 = {A, C}, group 2 = {B}, group 3 empty, D in no group. h4 has the
// content of h1, so pooled A and C give one h1 entry of 3 + 2 copies.
TEST_F(PoolingTest, HaploidGroupsMergeEntriesByContentAndAddSizes) {
    HaploDef* h1 = define("h1", "ACGT");
    HaploDef* h2 = define("h2", "ACGA");
    HaploDef* h3 = define("h3", "TCGT");
    HaploDef* h4 = define("h4", "ACGT");
    p.build_all_vectors(p.allele_db);
    haploid("A", {{h1, 3}, {h2, 1}});
    haploid("B", {{h2, 2}, {h3, 1}});
    haploid("C", {{h4, 2}});
    haploid("D", {{h3, 5}});
    groups({{0, 2}, {1}, {}});
    p.samples->Title = "source profile";
    p.GenotypicData = 0;

    pool();

    ASSERT_EQ(pooled.Populations.count, 3);
    struct Expected {
        char const* name;
        double size;
        std::map<std::string, int> data;
    };
    Expected const expected[] = {{"Group1", 6.0, {{"ACGT", 5}, {"ACGA", 1}}},
                                 {"Group2", 3.0, {{"ACGA", 2}, {"TCGT", 1}}},
                                 {"Group3", 0.0, {}}};
    for (int g = 0; g < 3; ++g) {
        SCOPED_TRACE(g);
        Population& s = pooledSample(g);
        EXPECT_STREQ(s.name.c_str(), expected[g].name);
        EXPECT_EQ(s.id, g);
        EXPECT_TRUE(s.pooledGroupSample);
        EXPECT_FALSE(s.isSample());
        EXPECT_NE(dynamic_cast<PopulDNA*>(&s), nullptr);
        EXPECT_STREQ(s.profile.Title.c_str(), "source profile");
        EXPECT_DOUBLE_EQ(s.SampleSize, expected[g].size);
        EXPECT_EQ(entries(s), expected[g].data);
    }
    // The merged entry is the first-met definition's.
    EXPECT_EQ(pooledSample(0).haplotypes.data[0]->haplotype, h1);

    // The flat structure: one borrowing group holding the pooled samples.
    EXPECT_EQ(flat.NbGroups, 1);
    EXPECT_STREQ(flat.StructureName.c_str(), "Pooled flat structure");
    EXPECT_EQ(flat.NbSamplesInGroups, 3);
    EXPECT_EQ(flat.GroupSizes[0], 3);
    ASSERT_EQ(flat.Groups[0].count, 3);
    EXPECT_FALSE(flat.Groups[0].owns);
    for (int g = 0; g < 3; ++g) EXPECT_EQ(flat.Groups[0].data[g], pooled.Populations.data[g]);

    // The sources are untouched and no conversion was made.
    EXPECT_EQ(entries(*p.samples->Populations.data[0]), (std::map<std::string, int>{{"ACGT", 3}, {"ACGA", 1}}));
    EXPECT_EQ(p.phen_converted, 0);
    EXPECT_EQ(p.haplotypes.haplotypes.count, 4);
}

// Diploid DNA, group 1 = {A, B}, group 2 = {B}. Each individual of count c
// gives c copies of each of its two gametes:
//   A: 1 x (AC, AG), 2 x (AC, AC)  -> AC 5, AG 1
//   B: 1 x (TG, AG)                -> TG 1, AG 1
// so Group1 holds AC 5, AG 2, TG 1 (8 copies) and Group2 AG 1, TG 1; the
// project list gains AC, AG, TG with counts 5, 3, 2 over both groups.
TEST_F(PoolingTest, DiploidGroupsPoolPhenotypesAndConvertThemOnce) {
    p.GenotypicData = 1;
    p.GameticPhase = 0;
    p.options.TaskNumber = 0x200;  // AMOVA: gene copies are listed too
    diploid("A", {{1, "AC", "AG"}, {2, "AC", "AC"}});
    diploid("B", {{1, "TG", "AG"}});
    groups({{0, 1}, {1}});

    pool();

    ASSERT_EQ(pooled.Populations.count, 2);
    Population& g1 = pooledSample(0);
    Population& g2 = pooledSample(1);
    EXPECT_EQ(g1.phenotypes.size(), 3);
    EXPECT_EQ(g2.phenotypes.size(), 1);
    EXPECT_DOUBLE_EQ(g1.SampleSize, 8.0);
    EXPECT_DOUBLE_EQ(g2.SampleSize, 2.0);
    EXPECT_EQ(entries(g1), (std::map<std::string, int>{{"AC", 5}, {"AG", 2}, {"TG", 1}}));
    EXPECT_EQ(entries(g2), (std::map<std::string, int>{{"AG", 1}, {"TG", 1}}));
    EXPECT_EQ(g1.geneCopies.count, 8);
    EXPECT_EQ(g2.geneCopies.count, 2);
    EXPECT_EQ(g1.fromPhenotypes, 1);

    std::map<std::string, int> listed;
    for (long i = 0; i < p.haplotypes.haplotypes.count; ++i)
        listed[p.haplotypes.haplotypes.data[i]->data.c_str()] = p.haplotypes.haplotypes.data[i]->count;
    EXPECT_EQ(listed, (std::map<std::string, int>{{"AC", 5}, {"AG", 3}, {"TG", 2}}));
    EXPECT_EQ(p.phen_converted, 1);
    // The project's own samples keep their phenotypes and gain no entries.
    EXPECT_EQ(p.samples->Populations.data[0]->phenotypes.size(), 2);
    EXPECT_EQ(p.samples->Populations.data[0]->haplotypes.count, 0);
}

TEST_F(PoolingTest, NoGroupsGiveAnEmptySetAndAnEmptyFlatGroup) {
    haploid("A", {});
    pool();
    EXPECT_EQ(pooled.Populations.count, 0);
    EXPECT_EQ(flat.NbGroups, 1);
    EXPECT_EQ(flat.NbSamplesInGroups, 0);
    ASSERT_TRUE(flat.GroupSizes);
    EXPECT_EQ(flat.GroupSizes[0], 0);
    EXPECT_EQ(flat.Groups[0].count, 0);
}

TEST_F(PoolingTest, PooledSampleClassFollowsTheDataType) {
    HaploDef* h = define("h1", "A");
    haploid("A", {{h, 1}});
    groups({{0}});
    struct Case {
        TDataType type;
        std::type_info const& cls;
    };
    Case const cases[] = {{DNA, typeid(PopulDNA)},
                          {RFLP, typeid(PopulRFLP)},
                          {MICROSAT, typeid(PopulMicrosat)},
                          {STANDARD, typeid(PopulStandard)},
                          {FREQUENCY, typeid(PopulStandard)}};
    for (Case const& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.type));
        ProfileSettings::DataType = c.type;
        Samples set;
        Structure st;
        p.poolSamplesInGroups(*p.samples, *p.structure, set, st);
        ASSERT_EQ(set.Populations.count, 1);
        Population& s = *set.Populations.data[0];
        EXPECT_EQ(typeid(s), c.cls);
        EXPECT_STREQ(s.name.c_str(), "Group1");
    }
}

}  // namespace
}  // namespace quintle
