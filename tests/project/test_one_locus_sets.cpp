// One-locus copies of the samples and of the structure for the
// locus-by-locus AMOVA: which gene copies are kept at a locus, the
// definitions of the locus's alleles and their counts, and the refusals.

#include <gtest/gtest.h>

#include "project/project_test_support.h"

#include <memory>
#include <string>
#include <vector>

#include "data/TAllele.h"
#include "data/TPopHaplotype.h"
#include "run/settings.h"

namespace quintle {
namespace {

using namespace test;

class OneLocusTest : public ProjectDirTest {
protected:
    void SetUp() override {
        source.MissingData = '?';
        run.IncludeIndividualLevel = 0;
    }
    void TearDown() override {
        structure.reset();
        one.clean();
        oneHaplos.reset();
    }
    TAllele* allele(char const* name) {
        alleles.push_back(std::make_unique<TAllele>());
        alleles.back()->name = name;
        return alleles.back().get();
    }
    // A definition over the alleles given, one per locus.
    HaploDef* define(std::vector<TAllele*> const& loci) {
        defs.push_back(std::make_unique<HaploDef>());
        for (TAllele* a : loci) defs.back()->alleles.Add(a);
        return defs.back().get();
    }
    Population* haplotypic(char const* name, std::vector<std::pair<HaploDef*, int>> const& entries) {
        auto* p = new Population(my_string(name));
        for (auto [h, c] : entries) p->haplotypes.Add(new PHaploDef{h, c});
        source.Populations.Add(p);
        return p;
    }
    // Individuals given as (first, second) alleles per locus, `count` of each.
    Population* genotypic(char const* name, std::vector<std::pair<std::vector<TAllele*>, std::vector<TAllele*>>> const& ind,
                          double count = 1) {
        auto* p = new Population(my_string(name));
        p->profile.GenotypicData = 1;
        p->profile.RunSettings = &run;
        for (auto const& [first, second] : ind) {
            auto* ph = new TPhenotype();
            ph->count = count;
            ph->pseudo1 = std::make_unique<TPopHaplotype>();
            ph->pseudo2 = std::make_unique<TPopHaplotype>();
            for (TAllele* a : first) ph->pseudo1->alleles.Add(a);
            for (TAllele* a : second) ph->pseudo2->alleles.Add(a);
            p->phenotypes.add(ph);
        }
        source.Populations.Add(p);
        return p;
    }
    void one_group(std::vector<Population*> const& members) {
        structure.NbGroups = 1;
        structure.GroupSizes = std::make_unique<int[]>(1);
        structure.Groups = std::make_unique<PopulationGroup[]>(1);
        structure.Groups[0].owns = false;
        for (Population* p : members) structure.Groups[0].Add(p);
        structure.GroupSizes[0] = static_cast<int>(members.size());
        structure.NbSamplesInGroups = structure.GroupSizes[0];
    }
    int build(int locus) {
        one.clean();
        oneHaplos.reset();
        return one.build_one_loci_sample(locus, &source, &structure, &oneHaplos);
    }
    // "id:allele:count" of every one-locus definition.
    std::string definitions() const {
        std::string s;
        for (long i = 0; i < oneHaplos.haplotypes.count; ++i) {
            HaploDef const* h = oneHaplos.haplotypes.data[i];
            s += std::string(i ? " " : "") + h->id.c_str() + ":" + h->data.c_str() + ":" + std::to_string(h->count);
            EXPECT_EQ(h->matrixIndex, i);
            EXPECT_EQ(h->alleles.count, 1);
        }
        return s;
    }
    // "definition x count" of a copy's list.
    static std::string entries(PHaploDefList const& list) {
        std::string s;
        for (long i = 0; i < list.count; ++i)
            s += std::string(i ? " " : "") + list.data[i]->haplotype->id.c_str() + "x" +
                 std::to_string(list.data[i]->count);
        return s;
    }

    settings run;
    Samples source;
    Structure structure;
    Samples one;
    Haplo_DB oneHaplos;
    std::vector<std::unique_ptr<TAllele>> alleles;
    std::vector<std::unique_ptr<HaploDef>> defs;
};

TEST_F(OneLocusTest, HaplotypicEntriesKeepTheirCountsAndMergeByAllele) {
    TAllele *x = allele("x"), *y = allele("y"), *miss = allele("?"), *a = allele("a"), *b = allele("b");
    HaploDef *h1 = define({a, x}), *h2 = define({b, x}), *h3 = define({a, miss}), *h4 = define({b, y});
    Population* first = haplotypic("First", {{h1, 3}, {h2, 2}, {h3, 1}});
    Population* outside = haplotypic("Outside", {{h4, 4}});
    Population* second = haplotypic("Second", {{h4, 2}, {h1, 1}});
    one_group({second, first});  // "Outside" is in no group

    ASSERT_EQ(build(1), 1) << log();
    ASSERT_EQ(one.Populations.count, 2);
    Population const* c = one.Populations.data[0];  // source order, not group order
    EXPECT_EQ(std::string(c->name.c_str()), "First");
    EXPECT_EQ(entries(c->haplotypes), "h0x5");  // the missing allele's copy is not counted
    EXPECT_EQ(c->nbGeneCopies, 5);
    EXPECT_EQ(c->nbGeneCopiesKept, 5);
    EXPECT_EQ(c->SampleSize, 5.0);
    EXPECT_EQ(c->NbHaplotypeEntries, 1);
    EXPECT_EQ(entries(one.Populations.data[1]->haplotypes), "h1x2 h0x1");
    EXPECT_EQ(definitions(), "h0:x:6 h1:y:2");
    (void)outside;

    // The structure over the copies: same groups, same order.
    Structure copy;
    ASSERT_EQ(copy.build_one_loci_str(&one, &structure), 1);
    ASSERT_EQ(copy.NbGroups, 1);
    EXPECT_EQ(copy.Groups[0].data[0], one.Populations.data[1]);
    EXPECT_EQ(copy.Groups[0].data[1], one.Populations.data[0]);
    EXPECT_TRUE(copy.has_population(one.Populations.data[0]));
    copy.reset();

    // The other locus numbers its definitions afresh.
    ASSERT_EQ(build(0), 1);
    EXPECT_EQ(definitions(), "h0:a:5 h1:b:4");

    // A locus no haplotype reaches.
    EXPECT_EQ(build(2), 0);
    EXPECT_NE(log().find("Samples::build_one_loci_sample(..): ERROR the selected loci is too large"),
              std::string::npos);
}

// x/? is kept as one copy without the individual level and left out with
// it; a sample with nothing left at the locus stops the locus.
TEST_F(OneLocusTest, GenotypesWithAMissingAllele) {
    TAllele *x = allele("x"), *y = allele("y"), *miss = allele("?");
    Population* p = genotypic("Pop", {{{x}, {y}}, {{x}, {miss}}});
    one_group({p});

    ASSERT_EQ(build(0), 1);
    Population const* c = one.Populations.data[0];
    EXPECT_EQ(entries(c->geneCopies), "h0x1 h1x1 h0x1");  // individual by individual
    EXPECT_EQ(entries(c->haplotypes), "h0x2 h1x1");
    EXPECT_EQ(c->SampleSize, 3.0);
    EXPECT_EQ(definitions(), "h0:x:2 h1:y:1");
    // The x of x/? stands alone: the AMOVA moves it as a unit of its own.
    EXPECT_EQ(c->loneCopies, std::vector<int>{2});

    run.IncludeIndividualLevel = 1;
    ASSERT_EQ(build(0), 1);
    EXPECT_EQ(entries(one.Populations.data[0]->geneCopies), "h0x1 h1x1");
    EXPECT_EQ(one.Populations.data[0]->SampleSize, 2.0);
    EXPECT_EQ(definitions(), "h0:x:1 h1:y:1");
    EXPECT_TRUE(one.Populations.data[0]->loneCopies.empty());

    // Only missing alleles at the locus.
    source.clean();
    Population* empty = genotypic("Empty", {{{miss}, {miss}}}, 2);
    one_group({empty});
    EXPECT_EQ(build(0), 0);
    EXPECT_TRUE(reported("WARNING", 208));
    EXPECT_NE(log().find("Population 'Empty' does not contain any data at locus #1.\n"
                         "\t\tIt is therefore impossible to make an AMOVA for this locus"),
              std::string::npos);
}

// The second pseudo-haplotype is checked too: one shorter than the locus
// is refused instead of being read beyond its end.
TEST_F(OneLocusTest, ShortSecondPseudoHaplotypeIsRefused) {
    TAllele *x = allele("x"), *y = allele("y");
    Population* p = genotypic("Pop", {{{x, y}, {y}}});
    one_group({p});
    EXPECT_EQ(build(0), 1);
    EXPECT_EQ(build(1), 0);
    EXPECT_NE(log().find("ERROR the selected loci is too large"), std::string::npos);
}

TEST_F(OneLocusTest, StructureWithoutSameNamedCopyFails) {
    TAllele* x = allele("x");
    Population* p = haplotypic("Pop", {{define({x}), 2}});
    one_group({p});
    ASSERT_EQ(build(0), 1);
    one.Populations.data[0]->name = "Renamed";
    Structure copy;
    EXPECT_EQ(copy.build_one_loci_str(&one, &structure), 0);
    EXPECT_NE(log().find("\tStructure::build_one_loci_str(): impossible to reproduce structure"), std::string::npos);
    copy.reset();
}

}  // namespace
}  // namespace quintle
