// The one step that fills the statistics record from a pass's results: each
// result present replaces the record's value, what the pass did not compute
// stays as an earlier pass or project left it, and the selection decides
// what the record keeps.

#include <gtest/gtest.h>

#include <vector>

#include "project/pass_results.h"
#include "run/glbobj.h"
#include "sumstat/TSumStat.h"
#include "sumstat/statistics_fill.h"
#include "support/process_state.h"

namespace quintle {
namespace {

class StatisticsFill : public ::testing::Test {
protected:
    static std::vector<double> values(TSumStat::Values const& a) { return {a.data, a.data + a.count}; }
    static void fill(TSumStat::Values& a, std::vector<double> const& v) {
        a.count = 0;
        for (double x : v) a.Add(x);
        a.auxCount = 3;
    }

    test::SumStatGuard sumstat;
    TSumStat& t = SumStat;
    PassResults pass;
};

// --- fixation indices -------------------------------------------------------------

TEST_F(StatisticsFill, IndicesOnlyUnderGlobalFstatAndOnlyThoseGiven) {
    for (bool selected : {true, false}) {
        SCOPED_TRACE(selected);
        t.GLOBAL_FSTAT = selected;
        t.hasFIS = t.hasFST = t.hasFCT = t.hasFSC = t.hasFIT = false;
        t.fis = t.fst = t.fct = t.fsc = t.fit = -1.0;
        pass.amova.indices = FixationIndices{.fst = 0.25, .fct = 0.0, .fsc = -0.125};

        fill_statistics_record(pass, t);

        // A design with groups has FST, FCT and FSC (FCT may be exactly 0).
        EXPECT_EQ(t.hasFST, selected);
        EXPECT_EQ(t.hasFCT, selected);
        EXPECT_EQ(t.hasFSC, selected);
        EXPECT_FALSE(t.hasFIS);
        EXPECT_FALSE(t.hasFIT);
        EXPECT_EQ(t.fst, selected ? 0.25 : -1.0);
        EXPECT_EQ(t.fct, selected ? 0.0 : -1.0);
        EXPECT_EQ(t.fsc, selected ? -0.125 : -1.0);
        EXPECT_EQ(t.fis, -1.0);
        EXPECT_EQ(t.fit, -1.0);
    }
}

// The last design of a pass to give an index wins; a later pass without it
// keeps the column on and its value.
TEST_F(StatisticsFill, LastDesignWinsAndColumnsStayOn) {
    t.GLOBAL_FSTAT = true;
    // The whole-sample design (FST, FCT, FSC), then the individual-level
    // one (FIS, FCT, FSC, FIT), then the average over loci (FST).
    pass.amova.indices.merge(FixationIndices{.fst = 0.1, .fct = 0.2, .fsc = 0.3});
    pass.amova.indices.merge(FixationIndices{.fis = 0.4, .fct = 0.5, .fsc = 0.6, .fit = 0.7});
    pass.amova.indices.merge(FixationIndices{.fst = 0.8});
    fill_statistics_record(pass, t);
    EXPECT_EQ(t.fst, 0.8);
    EXPECT_EQ(t.fct, 0.5);
    EXPECT_EQ(t.fsc, 0.6);
    EXPECT_EQ(t.fis, 0.4);
    EXPECT_EQ(t.fit, 0.7);

    PassResults next;
    next.amova.indices.fst = 0.9;
    fill_statistics_record(next, t);
    EXPECT_TRUE(t.hasFIS && t.hasFST && t.hasFCT && t.hasFSC && t.hasFIT);
    EXPECT_EQ(t.fst, 0.9);
    EXPECT_EQ(t.fis, 0.4) << "kept from the pass before";
}

// --- pairwise lists ----------------------------------------------------------------

TEST_F(StatisticsFill, PairwiseListEmptiedThenRefilledWhenSelected) {
    struct Case {
        std::optional<std::vector<double>> AmovaLine::*list;
        bool TSumStat::*keyword;
        TSumStat::Values TSumStat::*target;
    };
    Case const cases[] = {
        {&AmovaLine::pairFst, &TSumStat::PAIRWISE_FST, &TSumStat::pairFst},
        {&AmovaLine::pairPi, &TSumStat::PAIRWISE_PI, &TSumStat::pairPi},
        {&AmovaLine::pairDmuSqr, &TSumStat::PAIRWISE_DMUSQR, &TSumStat::pairDmuSqr},
    };
    // Columns X_2_1, X_3_1, X_3_2, X_4_1, ...
    std::vector<double> const fourSamples{10, 20, 21, 30, 31, 32};
    for (Case const& c : cases) {
        for (bool selected : {true, false}) {
            SCOPED_TRACE(testing::Message() << (&c - cases) << (selected ? " on" : " off"));
            t.PAIRWISE_FST = t.PAIRWISE_PI = t.PAIRWISE_DMUSQR = true;
            t.*c.keyword = selected;
            // Values of an earlier project in every list.
            for (TSumStat::Values* a : {&t.pairFst, &t.pairPi, &t.pairDmuSqr}) fill(*a, {7, 7, 7, 7, 7, 7, 7});
            PassResults one;
            one.amova.*c.list = fourSamples;

            fill_statistics_record(one, t);

            TSumStat::Values const& target = t.*c.target;
            EXPECT_EQ(values(target), selected ? fourSamples : std::vector<double>{});
            EXPECT_EQ(target.auxCount, 0);
            for (TSumStat::Values const* other : {&t.pairFst, &t.pairPi, &t.pairDmuSqr}) {
                if (other == &target) continue;
                EXPECT_EQ(other->count, 7) << "a list the pass did not compute is left alone";
            }
        }
    }
    // One sample has no pair; the list is still emptied.
    t.PAIRWISE_FST = true;
    pass.amova.pairFst = std::vector<double>{};
    fill_statistics_record(pass, t);
    EXPECT_EQ(t.pairFst.count, 0);
}

// --- summary tables ----------------------------------------------------------------

TEST_F(StatisticsFill, SummaryValuesReplaceOnlyWhatThePassComputed) {
    fill(t.kValues, {9, 9, 9});
    fill(t.dValues, {-1, -2});
    t.meanD = 5.0;
    t.MEAN_K = true;
    t.SD_K = false;
    t.MEAN_TAJIMAD = true;
    pass.summary.k = std::vector<double>{3, 4};
    pass.summary.meanK = 3.5;
    pass.summary.sdK = 0.7;
    pass.summary.meanR = 2.0;  // kept whatever is selected

    fill_statistics_record(pass, t);

    EXPECT_EQ(values(t.kValues), (std::vector<double>{3, 4}));
    EXPECT_EQ(t.kValues.auxCount, 0);
    EXPECT_EQ(t.meanK, 3.5);
    EXPECT_EQ(t.sdK, 0.0) << "SD_K not selected";
    EXPECT_EQ(t.meanR, 2.0);
    // No Tajima table in this pass: the earlier values stay.
    EXPECT_EQ(values(t.dValues), (std::vector<double>{-1, -2}));
    EXPECT_EQ(t.meanD, 5.0);
}

TEST_F(StatisticsFill, EveryArrayOfTheSummaryReachesItsMember) {
    struct Pair {
        std::optional<std::vector<double>> SummaryLine::*from;
        TSumStat::Values TSumStat::*to;
    };
    Pair const pairs[] = {
        {&SummaryLine::k, &TSumStat::kValues},       {&SummaryLine::kSd, &TSumStat::kSdValues},
        {&SummaryLine::h, &TSumStat::hValues},       {&SummaryLine::hSd, &TSumStat::hSdValues},
        {&SummaryLine::s, &TSumStat::sValues},       {&SummaryLine::sSd, &TSumStat::sSdValues},
        {&SummaryLine::privS, &TSumStat::privSValues}, {&SummaryLine::pi, &TSumStat::piValues},
        {&SummaryLine::d, &TSumStat::dValues},       {&SummaryLine::dSd, &TSumStat::dSdValues},
        {&SummaryLine::fs, &TSumStat::fsValues},     {&SummaryLine::fsSd, &TSumStat::fsSdValues},
        {&SummaryLine::gw, &TSumStat::gwValues},     {&SummaryLine::gwSd, &TSumStat::gwSdValues},
        {&SummaryLine::ngw, &TSumStat::ngwValues},   {&SummaryLine::ngwSd, &TSumStat::ngwSdValues},
        {&SummaryLine::r, &TSumStat::rValues},       {&SummaryLine::rSd, &TSumStat::rSdValues},
    };
    double v = 1.0;
    for (Pair const& p : pairs) pass.summary.*p.from = std::vector<double>{v++};
    fill_statistics_record(pass, t);
    v = 1.0;
    for (Pair const& p : pairs) EXPECT_EQ(values(t.*p.to), std::vector<double>{v++}) << v;
}

// Every mean, s.d. and total reaches its member when its keyword is
// selected, and only then (the allelic range's and the total GW always).
TEST_F(StatisticsFill, EveryScalarUnderItsKeyword) {
    struct Scalar {
        std::optional<double> SummaryLine::*from;
        double TSumStat::*to;
        bool TSumStat::*keyword;  // nullptr: always
    };
    Scalar const scalars[] = {
        {&SummaryLine::meanK, &TSumStat::meanK, &TSumStat::MEAN_K},
        {&SummaryLine::sdK, &TSumStat::sdK, &TSumStat::SD_K},
        {&SummaryLine::totK, &TSumStat::totK, &TSumStat::TOT_K},
        {&SummaryLine::meanH, &TSumStat::meanH, &TSumStat::MEAN_H},
        {&SummaryLine::sdH, &TSumStat::sdH, &TSumStat::SD_H},
        {&SummaryLine::totH, &TSumStat::totH, &TSumStat::TOT_H},
        {&SummaryLine::meanS, &TSumStat::meanS, &TSumStat::MEAN_S},
        {&SummaryLine::sdS, &TSumStat::sdS, &TSumStat::SD_S},
        {&SummaryLine::totS, &TSumStat::totS, &TSumStat::TOT_S},
        {&SummaryLine::meanPi, &TSumStat::meanPi, &TSumStat::MEAN_PI},
        {&SummaryLine::sdPi, &TSumStat::sdPi, &TSumStat::SD_PI},
        {&SummaryLine::meanD, &TSumStat::meanD, &TSumStat::MEAN_TAJIMAD},
        {&SummaryLine::sdD, &TSumStat::sdD, &TSumStat::SD_TAJIMAD},
        {&SummaryLine::meanFS, &TSumStat::meanFS, &TSumStat::MEAN_FUFS},
        {&SummaryLine::sdFS, &TSumStat::sdFS, &TSumStat::SD_FUFS},
        {&SummaryLine::meanGW, &TSumStat::meanGW, &TSumStat::MEAN_GW},
        {&SummaryLine::sdGW, &TSumStat::sdGW, &TSumStat::SD_GW},
        {&SummaryLine::meanNGW, &TSumStat::meanNGW, &TSumStat::MEAN_NGW},
        {&SummaryLine::sdNGW, &TSumStat::sdNGW, &TSumStat::SD_NGW},
        {&SummaryLine::totGW, &TSumStat::totGW, nullptr},
        {&SummaryLine::meanR, &TSumStat::meanR, nullptr},
        {&SummaryLine::sdR, &TSumStat::sdR, nullptr},
        {&SummaryLine::totR, &TSumStat::totR, nullptr},
    };
    for (bool selected : {false, true}) {
        SCOPED_TRACE(selected);
        double v = selected ? 100.0 : 1.0;
        for (Scalar const& c : scalars) {
            if (c.keyword != nullptr) t.*c.keyword = selected;
            t.*c.to = -1.0;
            pass.summary.*c.from = v++;
        }
        fill_statistics_record(pass, t);
        v = selected ? 100.0 : 1.0;
        for (Scalar const& c : scalars) {
            bool const kept = selected || c.keyword == nullptr;
            EXPECT_EQ(t.*c.to, kept ? v : -1.0) << (&c - scalars);
            ++v;
        }
    }
}

// --- linkage -------------------------------------------------------------------------

TEST_F(StatisticsFill, LinkageArraysTakeTheSampleOfThePassOrStay) {
    for (TSumStat::Values* a : {&t.meanDprimeValues, &t.meanR2Values, &t.adjDprimeValues, &t.adjR2Values,
                                &t.meanAdjDprimeValues, &t.meanAdjR2Values, &t.flankDprimeValues,
                                &t.flankR2Values})
        fill(*a, {9});
    fill_statistics_record(pass, t);
    EXPECT_EQ(values(t.adjR2Values), std::vector<double>{9}) << "no linkage in the pass: kept";

    t.ALL_ADJ_DPRIME = true;  // the adjacent D' values
    t.MEAN_ADJ_R2 = true;     // the adjacent r2 values and their mean
    t.FLANK_R2 = true;
    t.MEAN_ALL_DPRIME = true;
    pass.linkage = LinkageLine{.adjDprime = {0.5, 1.0},
                               .adjR2 = {0.25, 0.75},
                               .flankDprime = 0.3,
                               .flankR2 = 0.2,
                               .meanAdjDprime = 0.75,
                               .meanAdjR2 = 0.5,
                               .meanDprime = 0.6,
                               .meanR2 = 0.4};
    fill_statistics_record(pass, t);
    EXPECT_EQ(values(t.adjDprimeValues), (std::vector<double>{0.5, 1.0}));
    EXPECT_EQ(values(t.adjR2Values), (std::vector<double>{0.25, 0.75}));
    EXPECT_EQ(values(t.meanAdjR2Values), std::vector<double>{0.5});
    EXPECT_EQ(values(t.flankR2Values), std::vector<double>{0.2});
    EXPECT_EQ(values(t.meanDprimeValues), std::vector<double>{0.6});
    // Not selected: emptied all the same.
    for (TSumStat::Values const* a :
         {&t.meanAdjDprimeValues, &t.flankDprimeValues, &t.meanR2Values})
        EXPECT_EQ(a->count, 0);
}

// Without pairs there is no mean over all pairs.
TEST_F(StatisticsFill, NoMeanOverPairsWithoutPairs) {
    t.MEAN_ALL_R2 = true;
    t.MEAN_ADJ_DPRIME = true;
    pass.linkage = LinkageLine{};
    fill_statistics_record(pass, t);
    EXPECT_EQ(t.meanR2Values.count, 0);
    EXPECT_EQ(values(t.meanAdjDprimeValues), std::vector<double>{0.0});
}

}  // namespace
}  // namespace quintle
