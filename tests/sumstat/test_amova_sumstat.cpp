// The AMOVA's one road into the statistics record: fixation indices only
// under GLOBAL_FSTAT and only those the design has, pairwise lists emptied
// whatever is selected and refilled in the order of their columns.

#include <gtest/gtest.h>

#include <vector>

#include "run/glbobj.h"
#include "run/settings.h"
#include "sumstat/TSumStat.h"
#include "sumstat/amova_sumstat.h"
#include "support/process_state.h"

namespace quintle {
namespace {

class AmovaSumStat : public ::testing::Test {
protected:
    static std::vector<double> values(TSumStat::Values const& a) { return {a.data, a.data + a.count}; }
    static void fill(TSumStat::Values& a, std::vector<double> const& v) {
        a.count = 0;
        for (double x : v) a.Add(x);
    }

    test::SumStatGuard sumstat;
    settings options;
};

TEST_F(AmovaSumStat, IndicesOnlyUnderGlobalFstatAndOnlyThoseGiven) {
    for (bool selected : {true, false}) {
        SCOPED_TRACE(selected);
        TSumStat& s = SumStat;
        s.GLOBAL_FSTAT = selected;
        s.hasFIS = s.hasFST = s.hasFCT = s.hasFSC = s.hasFIT = false;
        s.fis = s.fst = s.fct = s.fsc = s.fit = -1.0;

        store_amova_statistics(options, FixationIndices{.fst = 0.25, .fct = 0.0, .fsc = -0.125});

        // A design with groups has FST, FCT and FSC (FCT may be exactly 0).
        EXPECT_EQ(s.hasFST, selected);
        EXPECT_EQ(s.hasFCT, selected);
        EXPECT_EQ(s.hasFSC, selected);
        EXPECT_FALSE(s.hasFIS);
        EXPECT_FALSE(s.hasFIT);
        EXPECT_EQ(s.fst, selected ? 0.25 : -1.0);
        EXPECT_EQ(s.fct, selected ? 0.0 : -1.0);
        EXPECT_EQ(s.fsc, selected ? -0.125 : -1.0);
        EXPECT_EQ(s.fis, -1.0);
        EXPECT_EQ(s.fit, -1.0);
    }
}

TEST_F(AmovaSumStat, PairwiseListEmptiedThenRefilledRowByRow) {
    struct Case {
        PairwiseList list;
        bool TSumStat::*keyword;
        TSumStat::Values TSumStat::*target;
    };
    Case const cases[] = {
        {PairwiseList::Fst, &TSumStat::PAIRWISE_FST, &TSumStat::pairFst},
        {PairwiseList::Pi, &TSumStat::PAIRWISE_PI, &TSumStat::pairPi},
        {PairwiseList::DmuSqr, &TSumStat::PAIRWISE_DMUSQR, &TSumStat::pairDmuSqr},
    };
    // Columns X_2_1, X_3_1, X_3_2, X_4_1, ... (1-based): value 10 i + j.
    std::vector<double> const fourSamples{10, 20, 21, 30, 31, 32};
    for (Case const& c : cases) {
        for (bool selected : {true, false}) {
            SCOPED_TRACE(testing::Message() << static_cast<int>(c.list) << (selected ? " on" : " off"));
            TSumStat& s = SumStat;
            s.PAIRWISE_FST = s.PAIRWISE_PI = s.PAIRWISE_DMUSQR = true;
            s.*c.keyword = selected;
            // Values of an earlier project in every list.
            for (TSumStat::Values* a : {&s.pairFst, &s.pairPi, &s.pairDmuSqr}) {
                fill(*a, {7, 7, 7, 7, 7, 7, 7});
                a->auxCount = 3;
            }

            store_amova_statistics(options, c.list, 4, [](int i, int j) { return 10.0 * i + j; });

            TSumStat::Values const& target = s.*c.target;
            EXPECT_EQ(values(target), selected ? fourSamples : std::vector<double>{});
            EXPECT_EQ(target.auxCount, 0);
            for (TSumStat::Values const* other : {&s.pairFst, &s.pairPi, &s.pairDmuSqr}) {
                if (other == &target) continue;
                EXPECT_EQ(other->count, 7) << "another list is left alone";
            }
        }
    }
    // One sample has no pair; the list is still emptied.
    SumStat.PAIRWISE_FST = true;
    store_amova_statistics(options, PairwiseList::Fst, 1, [](int, int) { return 1.0; });
    EXPECT_EQ(SumStat.pairFst.count, 0);
}

// The selection scan runs AMOVAs of simulated and one-locus data with
// quietMode set: they must leave the project's values in the record.
TEST_F(AmovaSumStat, NothingStoredWhileQuiet) {
    TSumStat& s = SumStat;
    s.GLOBAL_FSTAT = true;
    s.PAIRWISE_FST = true;
    s.hasFST = true;
    s.fst = 0.125;
    fill(s.pairFst, {0.5});
    options.quietMode = true;
    store_amova_statistics(options, FixationIndices{.fst = 0.75});
    store_amova_statistics(options, PairwiseList::Fst, 2, [](int, int) { return 0.25; });
    EXPECT_EQ(s.fst, 0.125);
    EXPECT_EQ(values(s.pairFst), std::vector<double>{0.5});
    options.quietMode = false;
    store_amova_statistics(options, FixationIndices{.fst = 0.75});
    EXPECT_EQ(s.fst, 0.75);
}

}  // namespace
}  // namespace quintle
