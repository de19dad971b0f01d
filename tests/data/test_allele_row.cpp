// Tests of the shared allele rows of haplotype definitions.

#include "data/HaploDef.h"
#include "data/TAlleleDB.h"
#include "data/allele_row.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

namespace quintle {
namespace {

std::vector<TAllele*> contents(AlleleRow const& row) { return {row.data, row.data + row.count}; }

// A copy shares the row until one of the two writes; the writer then has a
// row of its own and the other holder still reads what it read before.
TEST(AlleleRowTest, CopiesShareUntilOneWrites) {
    TAllele a, b, c;
    AlleleRow first;
    EXPECT_EQ(first.count, 0);
    EXPECT_EQ(first.data, nullptr);
    for (TAllele* x : {&a, &b}) first.Add(x);
    ASSERT_EQ(first.count, 2);
    EXPECT_EQ(first.data[2], nullptr);

    AlleleRow second = first;
    EXPECT_EQ(second.data, first.data);
    EXPECT_TRUE(first.shared());

    second.Add(&c);
    EXPECT_NE(second.data, first.data);
    EXPECT_FALSE(first.shared());
    EXPECT_EQ(contents(first), (std::vector<TAllele*>{&a, &b}));
    EXPECT_EQ(contents(second), (std::vector<TAllele*>{&a, &b, &c}));
    EXPECT_EQ(second.data[3], nullptr);

    AlleleRow third = second;
    third.Flush();  // a shared row is let go, not emptied for the others
    EXPECT_EQ(third.count, 0);
    EXPECT_EQ(contents(second), (std::vector<TAllele*>{&a, &b, &c}));
    second.Flush();  // an own row keeps its room
    EXPECT_EQ(second.count, 0);
    EXPECT_NE(second.data, nullptr);
    second.Add(&b);
    EXPECT_EQ(contents(second), (std::vector<TAllele*>{&b}));

    AlleleRow moved = std::move(first);
    EXPECT_EQ(contents(moved), (std::vector<TAllele*>{&a, &b}));
    EXPECT_EQ(first.count, 0);

    AlleleRow filled;
    TAllele** slots = filled.fill(3);
    for (int i = 0; i < 3; ++i) slots[i] = &c;
    EXPECT_EQ(filled.count, 3);
    EXPECT_EQ(filled.data[3], nullptr);
    filled.Reallocate(5);
    EXPECT_EQ(filled.count, 0);
    for (int i = 0; i < 40; ++i) filled.Add(i % 2 == 0 ? &a : &b);  // grows past its room
    EXPECT_EQ(filled.count, 40);
    EXPECT_EQ(filled.data[39], &b);
    EXPECT_EQ(filled.data[40], nullptr);
}

// On random lists with repeated texts: definitions of one text hold one
// row, every definition's alleles are those of its own one-by-one build, and
// copying a definition shares its row without changing what it holds.
TEST(AlleleRowTest, EqualTextsShareOneRowOfTheirAlleles) {
    std::mt19937 rng(20261207);
    char const letters[] = "ACGT-?NR";
    for (int trial = 0; trial < 12; ++trial) {
        int const sites = 1 + static_cast<int>(rng() % 90);
        std::vector<std::string> pool(1 + rng() % 6);
        for (std::string& t : pool) {
            t.resize(static_cast<std::size_t>(sites));
            for (char& ch : t) ch = letters[rng() % (trial % 2 == 0 ? 4 : 8)];
        }
        std::vector<std::unique_ptr<HaploDef>> defs;
        for (int i = 0; i < 40; ++i) {
            auto h = std::make_unique<HaploDef>(my_string(("h" + std::to_string(i)).c_str()));
            h->data = pool[rng() % pool.size()].c_str();
            defs.push_back(std::move(h));
        }
        std::vector<HaploDef*> list;
        for (auto& h : defs) list.push_back(h.get());

        TAlleleDB one;
        std::vector<std::vector<std::string>> expected;
        for (HaploDef* h : list) {
            HaploDef alone(*h);
            alone.build_haplovect(&one, '\0', 0, 1.0);
            std::vector<std::string> names;
            for (long s = 0; s < alone.alleles.count; ++s) names.emplace_back(alone.alleles.data[s]->name.c_str());
            expected.push_back(names);
        }
        TAlleleDB all;
        HaploDef::build_haplovects(list.data(), static_cast<long>(list.size()), &all, '\0', 0, 1.0);

        for (std::size_t i = 0; i < list.size(); ++i) {
            AlleleRow const& row = list[i]->alleles;
            ASSERT_EQ(row.count, sites);
            for (long s = 0; s < row.count; ++s) {
                EXPECT_EQ(std::string(row.data[s]->name.c_str()), expected[i][static_cast<std::size_t>(s)]);
                EXPECT_EQ(row.data[s], all.loci.data[s]->find_allele_by_name(row.data[s]->name));
            }
            for (std::size_t j = 0; j < i; ++j) {
                bool const same = std::string(list[i]->data.c_str()) == list[j]->data.c_str();
                EXPECT_EQ(row.data == list[j]->alleles.data, same) << i << " " << j;
                EXPECT_EQ(list[i]->hasSameAllelicContent(*list[j]), same);
            }
        }
        HaploDef copy(*list[0]);
        EXPECT_EQ(copy.alleles.data, list[0]->alleles.data);
        copy.flush();
        EXPECT_EQ(list[0]->alleles.count, sites);
    }
}

}  // namespace
}  // namespace quintle
