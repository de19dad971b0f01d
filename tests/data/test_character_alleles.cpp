// Rows over one shared allele per character: the same allele exactly where
// two texts hold the same character, named by it; the sites where the texts
// differ, with their characters in order of first appearance.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "data/HaploDef.h"
#include "data/character_alleles.h"

namespace quintle {
namespace {

std::vector<std::unique_ptr<HaploDef>> definitions(std::vector<std::string> const& texts) {
    std::vector<std::unique_ptr<HaploDef>> defs;
    for (std::string const& t : texts) {
        defs.push_back(std::make_unique<HaploDef>(my_string("h")));
        defs.back()->data = t.c_str();
    }
    return defs;
}

std::vector<HaploDef*> pointers(std::vector<std::unique_ptr<HaploDef>> const& defs) {
    std::vector<HaploDef*> p;
    for (auto const& d : defs) p.push_back(d.get());
    return p;
}

TEST(CharacterAlleles, RowsShareOneAllelePerCharacter) {
    // a1 and a4 repeat one text; a3 is one site shorter.
    auto defs = definitions({"ACG?A", "ACTTA", "GCTT", "ACG?A"});
    std::vector<HaploDef*> p = pointers(defs);
    CharacterAlleles c;
    ASSERT_TRUE(c.fill_rows(p.data(), static_cast<long>(p.size()), 'n'));
    for (std::size_t i = 0; i < p.size(); ++i) {
        SCOPED_TRACE(i);
        ASSERT_EQ(p[i]->alleles.count, p[i]->data.length());
        for (long l = 0; l < p[i]->alleles.count; ++l) {
            TAllele const* a = p[i]->alleles.data[l];
            EXPECT_EQ(a, c.of(static_cast<unsigned char>(p[i]->data[static_cast<int>(l)])));
            EXPECT_EQ(std::string(a->name.c_str()), std::string(1, p[i]->data[static_cast<int>(l)]));
        }
    }
    EXPECT_EQ(p[3]->alleles.data, p[0]->alleles.data) << "a repeated text shares its row";
    EXPECT_EQ(p[0]->alleles.data[0], p[1]->alleles.data[4]) << "one A at every site";

    // By hand: site 0 A, A, G; site 1 C everywhere; site 2 G, T, T; site 3
    // ?, T, T; site 4 A, A (a3 has no site 4); no site 5.
    ASSERT_NE(c.several_states(0), nullptr);
    EXPECT_EQ(*c.several_states(0), "AG");
    EXPECT_EQ(c.several_states(1), nullptr);
    EXPECT_EQ(*c.several_states(2), "GT");
    EXPECT_EQ(*c.several_states(3), "?T");
    EXPECT_EQ(c.several_states(4), nullptr);
    EXPECT_EQ(c.several_states(5), nullptr);
    // One character in every text: site 1 only (a3 lacks site 4).
    std::vector<bool> uniform;
    for (long l = -1; l <= 5; ++l) uniform.push_back(c.uniform(l));
    EXPECT_EQ(uniform, (std::vector<bool>{false, false, true, false, false, false, false}));
}

TEST(CharacterAlleles, ASiteOnlyLongerTextsHoldCountsTheirCharacters) {
    auto defs = definitions({"AC", "ACG", "ACT", "ACG-"});
    std::vector<HaploDef*> p = pointers(defs);
    CharacterAlleles c;
    ASSERT_TRUE(c.fill_rows(p.data(), static_cast<long>(p.size()), '\0'));
    EXPECT_EQ(*c.several_states(2), "GT");
    EXPECT_EQ(c.several_states(3), nullptr) << "one text, one character";
    EXPECT_TRUE(c.uniform(0));
    EXPECT_TRUE(c.uniform(1));
    EXPECT_FALSE(c.uniform(2));
    EXPECT_FALSE(c.uniform(3)) << "held by one text only";
}

// The catalogue takes a character equal to the blank's first one for the
// blank: such texts are left to it, with no row touched.
TEST(CharacterAlleles, ATextHoldingTheBlanksCharacterIsRefused) {
    auto defs = definitions({"ACGT", "ACnT"});
    std::vector<HaploDef*> p = pointers(defs);
    CharacterAlleles c;
    EXPECT_FALSE(c.fill_rows(p.data(), static_cast<long>(p.size()), 'n'));
    EXPECT_EQ(p[0]->alleles.count, 0);
    EXPECT_EQ(p[1]->alleles.count, 0);
    EXPECT_TRUE(c.fill_rows(p.data(), static_cast<long>(p.size()), 'x'));
    EXPECT_EQ(p[1]->alleles.count, 4);
}

}  // namespace
}  // namespace quintle
