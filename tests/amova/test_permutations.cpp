// Permutation procedures of the engine, against arrangements worked by hand
// from a recorded stretch of the shared generator, and the redistribution
// of the haplotype index vector.

#include <gtest/gtest.h>

#include <memory>
#include <numeric>
#include <sstream>
#include <vector>

#include "amova/Amova.h"
#include "amova/FloatsAndPops.h"
#include "amova/permutations.h"
#include "core/random.h"
#include "data/Population.h"
#include "project/Structure.h"
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

TEST_F(Shuffles, GeneCopiesAmongAllSamples) {
    // T = 5, stop = size of sample 0 = 2: i=4 -> 0, i=3 -> 2, i=2 -> trunc(2 * 0.3652) = 0.
    build({2, 3}, {2});
    engine->PHAPAG();
    EXPECT_EQ(copies(), (std::vector<int>{3, 1, 4, 2, 0}));
    EXPECT_DOUBLE_EQ(next_draw(), kFourthDraw);
}

TEST_F(Shuffles, GeneCopiesWithinEachSample) {
    // Sample of 4: i=3 -> 0, i=2 -> trunc(2 * 0.8245) = 1. One individual:
    // nothing. Sample of 3 at 6: i=8 -> 6 + trunc(2 * 0.3652) = 6.
    build({4, 2, 3}, {3});
    engine->PHAIWP();
    EXPECT_EQ(copies(), (std::vector<int>{3, 2, 1, 0, 4, 5, 8, 7, 6}));
    EXPECT_DOUBLE_EQ(next_draw(), kFourthDraw);
}

TEST_F(Shuffles, IndividualsWithinGroupsKeepTheirTwoCopiesTogether) {
    // Group 0 holds individuals 0..3 (stop 2): i=3 -> 0, i=2 -> 1. Group 1
    // holds individuals 4 and 5 (stop 5): two units always exchange.
    build({4, 4, 2, 2}, {2, 2});
    engine->PIAPWG();
    EXPECT_EQ(copies(), (std::vector<int>{6, 7, 4, 5, 2, 3, 0, 1, 10, 11, 8, 9}));
    EXPECT_DOUBLE_EQ(next_draw(), kFourthDraw);
}

TEST_F(Shuffles, IndividualsAmongAllSamples) {
    // 3 individuals, stop = 1: i=2 -> 0, i=1 -> 0.
    build({2, 4}, {1, 1});
    engine->PIAPAG();
    EXPECT_EQ(copies(), (std::vector<int>{2, 3, 4, 5, 0, 1}));
    EXPECT_DOUBLE_EQ(next_draw(), kThirdDraw);
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

    // Group 0 holding every sample: nothing moves and nothing is drawn.
    build({2, 2}, {2});
    engine->PPAG();
    EXPECT_EQ(engine->pops_by_id[0]->id, 0);
    EXPECT_DOUBLE_EQ(next_draw(), 0.067781358);
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

TEST(ShuffleKernels, StayInsideTheArray) {
    std::vector<int> e{0, 1, 2, 3};
    initialize_ran3(kSeed);
    shuffle_copies(e.data(), 4, 0, 10, 2);  // steps 3 and 2 only
    shuffle_individuals(e.data(), 4, 0, 5, 1);  // individual 1 only
    shuffle_copies(e.data(), 4, 3, 3, 1);  // stop before start: untouched
    EXPECT_DOUBLE_EQ(next_draw(), kFourthDraw);
}

TEST(PermutationVectors, RecountFromAStretch) {
    Population p(my_string("P"));
    p.SampleSize = 3.0;
    p.CreatePermutationVectors(4);
    EXPECT_EQ(p.hapl_count, std::vector<double>(4, 0.0));
    int const stretch[] = {2, 2, 0};
    p.SetUpVectorsAfterPermutation(stretch);
    EXPECT_EQ(p.hapl_count, (std::vector<double>{1, 0, 2, 0}));
    EXPECT_EQ(p.nb_existing, 2);
    EXPECT_EQ(p.VectorOfExistingHaplotypes[0], 0);
    EXPECT_EQ(p.VectorOfExistingHaplotypes[1], 2);

    // A later stretch replaces the counts entirely; the present list stays
    // in increasing order whatever the order of the copies.
    int const next[] = {3, 1, 3};
    p.SetUpVectorsAfterPermutation(next);
    EXPECT_EQ(p.hapl_count, (std::vector<double>{0, 1, 0, 2}));
    EXPECT_EQ(p.nb_existing, 2);
    EXPECT_EQ(p.VectorOfExistingHaplotypes[0], 1);
    EXPECT_EQ(p.VectorOfExistingHaplotypes[1], 3);

    p.hapl_count = {0, 0, 5, 1};
    p.SetUpVectorOfExistingHaplotypes();
    EXPECT_EQ(p.nb_existing, 2);
    EXPECT_EQ(p.VectorOfExistingHaplotypes[0], 2);
}

TEST(PerPermutationRecords, OneLinePerRecord) {
    settings run;
    Amova engine(run, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0, 0, nullptr);
    std::vector<std::unique_ptr<Population>> pops;
    std::vector<Population*> order;
    for (int id : {0, 3, 1, 2, 4}) {
        pops.push_back(std::make_unique<Population>(my_string("S")));
        pops.back()->id = id;
        order.push_back(pops.back().get());
    }
    Structure st;
    st.NbGroups = 2;
    st.GroupSizes = std::make_unique<int[]>(2);
    st.GroupSizes[0] = 2;
    st.GroupSizes[1] = 3;
    engine.structure = &st;

    FloatsAndPops record(1.25, 5, order.data());
    std::ostringstream out;
    engine.print_p(record, &out);
    FloatsAndPops negative(-0.5, 5, order.data());
    engine.print_p(negative, &out);
    EXPECT_EQ(out.str(), "[1,4],[2,3,5]\t\t+1.2500000000\n[1,4],[2,3,5]\t\t-0.5000000000\n");

    st.NbGroups = 1;
    st.GroupSizes[0] = 5;
    std::ostringstream one;
    FloatsAndPops zero(0.0, 5, order.data());
    engine.print_p(zero, &one);
    EXPECT_EQ(one.str(), "[1,4,2,3,5]\t\t+0.0000000000\n");
    engine.structure = nullptr;

    MY_TIArrayAsVector<FloatsAndPops> records(6, 100);
    for (double v : {0.3, -1.0, 2.0, 0.1, 0.2}) records.Add(new FloatsAndPops(v, 5, order.data()));
    sort_by_value(records);
    std::vector<double> values;
    for (long i = 0; i < records.count; ++i) values.push_back(records.data[i]->value);
    EXPECT_EQ(values, (std::vector<double>{-1.0, 0.1, 0.2, 0.3, 2.0}));
}

}  // namespace
}  // namespace quintle
