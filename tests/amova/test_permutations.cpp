// Permutation procedures of the engine, against arrangements worked by hand
// from a recorded stretch of the shared generator.

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <memory>
#include <numeric>
#include <utility>
#include <vector>

#include "amova/Amova.h"
#include "amova/permutations.h"
#include "core/random.h"
#include "data/Population.h"
#include "run/settings.h"

namespace quintle {
namespace {

// ran3 after initialize_ran3(-7) (recorded from this generator):
// 0.067781358, 0.824523881, 0.365198158, 0.397743380, ...
constexpr long kSeed = -7;
constexpr double kThirdDraw = 0.365198158;
constexpr double kFourthDraw = 0.397743380;

double next_draw() {
    long one = 1;
    return ran3(&one);
}

// An engine whose gates are all closed, given samples of the listed sizes
// in groups of the listed member counts, and the index vector 0, 1, 2, ...
class Shuffles : public ::testing::Test {
protected:
    void build(std::vector<double> const& sizes, std::vector<int> const& members) {
        engine = std::make_unique<Amova>(run, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0, 0, nullptr);
        for (std::size_t i = 0; i < sizes.size(); ++i) {
            pops.push_back(std::make_unique<Population>(my_string("S")));
            pops.back()->id = static_cast<int>(i);
            pops.back()->SampleSize = sizes[i];
            engine->pops_by_id.push_back(pops.back().get());
            engine->total_size += sizes[i];
        }
        std::size_t next = 0;
        for (int m : members) {
            engine->group_pops.emplace_back();
            double copies = 0.0;
            for (int k = 0; k < m; ++k, ++next) {
                engine->group_pops.back().push_back(pops[next].get());
                copies += sizes[next];
            }
            engine->group_size.push_back(copies);
        }
        engine->HaplotypeIndexVector.resize(static_cast<std::size_t>(engine->total_size) + sizes.size() + 1, -1);
        std::iota(engine->HaplotypeIndexVector.begin(),
                  engine->HaplotypeIndexVector.begin() + static_cast<long>(engine->total_size), 0);
        initialize_ran3(kSeed);
    }
    std::vector<int> copies() const {
        auto const& v = engine->HaplotypeIndexVector;
        return {v.begin(), v.begin() + static_cast<long>(engine->total_size)};
    }

    settings run;
    std::vector<std::unique_ptr<Population>> pops;
    std::unique_ptr<Amova> engine;
};

TEST_F(Shuffles, GeneCopiesWithinGroups) {
    // Group 0: samples of 3 and 2 copies, steps i = 4 and 3 (stop 3):
    // i=4: trunc(4 * 0.0678) = 0; i=3: trunc(3 * 0.8245) = 2.
    // Group 1 has one member: its stretch ends where the member ends.
    build({3, 2, 4}, {2, 1});
    engine->PHAPWG();
    EXPECT_EQ(copies(), (std::vector<int>{4, 1, 3, 2, 0, 5, 6, 7, 8}));
    EXPECT_DOUBLE_EQ(next_draw(), kThirdDraw);  // two draws taken, no more
}

TEST_F(Shuffles, IndividualsWithinGroupsKeepTheirTwoCopiesTogether) {
    // Group 0 holds individuals 0..3 (stop 2): i=3 -> 0, i=2 -> 1. Group 1
    // holds individuals 4 and 5 (stop 5): two units always exchange.
    build({4, 4, 2, 2}, {2, 2});
    engine->PIAPWG();
    EXPECT_EQ(copies(), (std::vector<int>{6, 7, 4, 5, 2, 3, 0, 1, 10, 11, 8, 9}));
    EXPECT_DOUBLE_EQ(next_draw(), kFourthDraw);
}

// Samples holding lone copies (an individual's other allele missing):
// sample 0 = individuals {0,1}, lone 2, {3,4}; sample 1 = {5,6}, lone 7;
// sample 2 (group 1) = lone 8, {9,10}. Also the lone copy that a sample's
// last copy has no partner for (sample 3 of 3 copies, unmarked).
class LoneCopies : public Shuffles {
protected:
    void build_lone() {
        build({5, 3, 3}, {2, 1});
        mark(0, {2});
        mark(1, {2});
        mark(2, {0});
        engine->build_individual_units();
    }
    void mark(std::size_t sample, std::vector<int> lone) {
        pops[sample]->currentHaplotypes = &pops[sample]->geneCopies;
        pops[sample]->loneCopies = std::move(lone);
    }
    // Copy value -> the unit it started in: pairs by their first copy.
    static constexpr int kPairStarts[] = {0, 3, 5, 9};
    static constexpr int kLones[] = {2, 7, 8};
    // Every pair slot holds a whole pair in its order, every lone slot a
    // lone copy; with `groups`, every copy is still in its group (0..7, 8..10).
    void expect_units_kept(bool groups) {
        std::vector<int> const v = copies();
        for (int at : kPairStarts) {
            EXPECT_NE(std::find(std::begin(kPairStarts), std::end(kPairStarts), v[at]), std::end(kPairStarts)) << at;
            EXPECT_EQ(v[at + 1], v[at] + 1) << at;
            if (groups) {
                EXPECT_EQ(v[at] >= 8, at >= 8) << at;
            }
        }
        for (int at : kLones) {
            EXPECT_NE(std::find(std::begin(kLones), std::end(kLones), v[at]), std::end(kLones)) << at;
            if (groups) {
                EXPECT_EQ(v[at] >= 8, at >= 8) << at;
            }
        }
    }
};

TEST_F(LoneCopies, UnitsFollowTheIndividualsOfEachSample) {
    build_lone();
    IndividualUnits const& u = engine->individual_units;
    EXPECT_EQ(u.pairs, (std::vector<int>{0, 3, 5, 9}));
    EXPECT_EQ(u.lones, (std::vector<int>{2, 7, 8}));
    ASSERT_EQ(u.groups.size(), 2u);
    EXPECT_EQ(u.groups[0].pairs_end, 3);
    EXPECT_EQ(u.groups[0].pairs_first_end, 2);
    EXPECT_EQ(u.groups[0].lones_end, 2);
    EXPECT_EQ(u.groups[0].lones_first_end, 1);
    EXPECT_EQ(u.groups[1].pairs_begin, 3);
    EXPECT_EQ(u.groups[1].lones_begin, 2);

    // An unmarked sample of an odd size: its last copy has no partner.
    pops.clear();
    build({4, 3}, {2});
    engine->build_individual_units();
    EXPECT_EQ(engine->individual_units.pairs, (std::vector<int>{0, 2, 4}));
    EXPECT_EQ(engine->individual_units.lones, (std::vector<int>{6}));

    // Pairs only: no table, the individuals are copies 2k and 2k+1.
    pops.clear();
    build({4, 4, 2, 2}, {2, 2});
    engine->build_individual_units();
    EXPECT_TRUE(engine->individual_units.empty());
    EXPECT_TRUE(engine->individual_units.pairs.empty());
}

TEST_F(LoneCopies, PairsAmongPairsLoneCopiesAmongLoneCopies) {
    // Group 0: pairs 0..2 (stop 2): i=2 -> trunc(2 * 0.0678) = 0, the
    // individuals at 5 and 0 exchange; lone copies 0..1 (stop 1): i=1 ->
    // 0, the copies at 7 and 2 exchange. Group 1 has one member: nothing.
    build_lone();
    engine->PIAPWG();
    EXPECT_EQ(copies(), (std::vector<int>{5, 6, 7, 3, 4, 0, 1, 2, 8, 9, 10}));
    EXPECT_DOUBLE_EQ(next_draw(), kThirdDraw);  // two draws taken, no more

    for (int k = 0; k < 200; ++k) {
        engine->PIAPWG();
        expect_units_kept(true);
    }
    for (int k = 0; k < 200; ++k) {
        engine->PIAPAG();
        expect_units_kept(false);
    }
}

TEST_F(Shuffles, SamplesAmongGroupsThenDealtOut) {
    // Five samples, groups of 2 and 3, stop 2: i=4 -> 0, i=3 -> 2, i=2 -> 0.
    build({2, 2, 2, 2, 2}, {2, 3});
    engine->PPAG();
    std::vector<int> ids;
    for (Population const* p : engine->pops_by_id) ids.push_back(p->id);
    EXPECT_EQ(ids, (std::vector<int>{3, 1, 4, 2, 0}));
    engine->distribute_populations();
    EXPECT_EQ(engine->group_pops[0][0]->id, 3);
    EXPECT_EQ(engine->group_pops[0][1]->id, 1);
    EXPECT_EQ(engine->group_pops[1][2]->id, 0);
}

TEST(ShuffleKernels, SingleAndDoublePrecisionDrawsDiffer) {
    // After seed -7859 the first draw is 0.918367338: 49 u is 44.99999956
    // in double precision but rounds to 45 in single precision.
    std::vector<int> e(100);
    std::iota(e.begin(), e.end(), 0);
    initialize_ran3(-7859);
    shuffle_copies(e.data(), 100, 0, 49, 49);
    EXPECT_EQ(e[49], 45);
    EXPECT_EQ(e[45], 49);

    std::iota(e.begin(), e.end(), 0);
    initialize_ran3(-7859);
    shuffle_individuals(e.data(), 100, 0, 49, 49);
    EXPECT_EQ(e[98], 88);
    EXPECT_EQ(e[99], 89);
    EXPECT_EQ(e[88], 98);
}

}  // namespace
}  // namespace quintle
