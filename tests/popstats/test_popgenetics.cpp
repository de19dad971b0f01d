#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "popstats/PopGenetics.h"

using namespace quintle;

namespace {

struct DoubleStart {
    const char* name;
    double PopGenetics::*member;
    double start;
    bool assigned;  // carried over by assignment (else the target keeps its own)
};

// -1.0 means "not computed" to the result writers; D, Fs and the fits start at 0.
const DoubleStart kDoubleStarts[] = {
    {"tajimaD", &PopGenetics::tajimaD, 0.0, true},
    {"tajimaP", &PopGenetics::tajimaP, -1.0, true},
    {"fuFs", &PopGenetics::fuFs, 0.0, true},
    {"fuFsP", &PopGenetics::fuFsP, -1.0, true},
    {"sumSquaredFreq", &PopGenetics::sumSquaredFreq, 0.0, true},
    {"thetaK", &PopGenetics::thetaK, -1.0, true},
    {"thetaKLow", &PopGenetics::thetaKLow, -1.0, true},
    {"thetaKHigh", &PopGenetics::thetaKHigh, -1.0, true},
    {"thetaS", &PopGenetics::thetaS, -1.0, true},
    {"thetaSsd", &PopGenetics::thetaSsd, -1.0, true},
    {"thetaHom", &PopGenetics::thetaHom, -1.0, true},
    {"thetaHomSd", &PopGenetics::thetaHomSd, -1.0, true},
    {"thetaPi", &PopGenetics::thetaPi, -1.0, true},
    {"thetaPiSd", &PopGenetics::thetaPiSd, -1.0, true},
    {"homozygosity", &PopGenetics::homozygosity, -1.0, true},
    {"geneDiversity", &PopGenetics::geneDiversity, -1.0, true},
    {"geneDiversitySd", &PopGenetics::geneDiversitySd, 0.0, true},
    {"slatkinExactP", &PopGenetics::slatkinExactP, -1.0, true},
    {"ewObservedF", &PopGenetics::ewObservedF, -1.0, true},
    {"ewExpectedF", &PopGenetics::ewExpectedF, -1.0, true},
    {"ewProbF", &PopGenetics::ewProbF, -1.0, true},
    {"chakrabortyP", &PopGenetics::chakrabortyP, -1.0, true},
    {"slatkinObsStat", &PopGenetics::slatkinObsStat, 0.0, true},
    {"allowedMissingLevel", &PopGenetics::allowedMissingLevel, 0.0, true},
    {"meanPairwiseDiff", &PopGenetics::meanPairwiseDiff, 0.0, true},
    {"meanPairwiseDiffSd", &PopGenetics::meanPairwiseDiffSd, 0.0, true},
    // Defined even when the mismatch computation stops before setting them.
    {"mismatchMean", &PopGenetics::mismatchMean, 0.0, false},
    {"mismatchVar", &PopGenetics::mismatchVar, 0.0, false},
    {"mismatchTheta0", &PopGenetics::mismatchTheta0, 0.0, false},
    {"mismatchTau", &PopGenetics::mismatchTau, 0.0, false},
    {"mismatchRaggedness", &PopGenetics::mismatchRaggedness, 0.0, false},
    {"mismatchChi2", &PopGenetics::mismatchChi2, 0.0, false},
    {"mismatchChi2P", &PopGenetics::mismatchChi2P, 0.0, false},
    {"meanHet", &PopGenetics::meanHet, 0.0, false},
    {"meanGeneCopiesSd", &PopGenetics::meanGeneCopiesSd, 0.0, false},
    {"meanModifiedGW", &PopGenetics::meanModifiedGW, 0.0, false},
    {"expNumAlleles", &PopGenetics::expNumAlleles, 0.0, true},
    {"probKOrMoreAlleles", &PopGenetics::probKOrMoreAlleles, -1.0, true},
    {"demTau", &PopGenetics::demTau, 0.0, false},
    {"demRaggednessP", &PopGenetics::demRaggednessP, 0.0, false},
    {"spaM", &PopGenetics::spaM, 0.0, false},
    {"spaSSDP", &PopGenetics::spaSSDP, 0.0, false},
};

struct IntStart {
    const char* name;
    int PopGenetics::*member;
    int start;
    bool assigned;
};

const IntStart kIntStarts[] = {
    {"numPolymorphicSites", &PopGenetics::numPolymorphicSites, 0, true},
    {"computeSlatkinTest", &PopGenetics::computeSlatkinTest, 1, true},
    {"numUsableSites", &PopGenetics::numUsableSites, 0, true},
    {"numLoci", &PopGenetics::numLoci, 0, true},
    {"maxPairwiseDistance", &PopGenetics::maxPairwiseDistance, 0, true},
    {"lastExpMismatchClass", &PopGenetics::lastExpMismatchClass, 0, false},
    {"mismatchChi2Df", &PopGenetics::mismatchChi2Df, 0, false},
    {"numPrivateSubstSites", &PopGenetics::numPrivateSubstSites, 0, true},
};

void add_entry(Population& p, int count) { p.haplotypes.Add(new PHaploDef{nullptr, count}); }

// A sample whose every result differs from its start value.
void fill_results(PopGenetics& p, double base) {
    for (auto const& c : kDoubleStarts) p.*(c.member) = base + (&c - kDoubleStarts);
    for (auto const& c : kIntStarts) p.*(c.member) = static_cast<int>(base) + 100 + static_cast<int>(&c - kIntStarts);
    p.demTauQuantiles[3] = base;
    p.spaMQuantiles[0] = base;
}

}  // namespace

TEST(PopGeneticsStart, EveryResultHoldsItsStartValue) {
    PopGenetics p;
    for (auto const& c : kDoubleStarts) EXPECT_EQ(p.*(c.member), c.start) << c.name;
    for (auto const& c : kIntStarts) EXPECT_EQ(p.*(c.member), c.start) << c.name;
    EXPECT_EQ(p.numSimMutations, 0);
    EXPECT_TRUE(p.usableSite.empty() && p.mismatchObs.empty() && p.contTable.empty());
    EXPECT_EQ(p.distMat, nullptr);
    EXPECT_EQ(p.genotSample, nullptr);
    EXPECT_FALSE(p.tree.allocated());
}

TEST(PopGeneticsCopy, CopyConstructionCopiesEverythingDeeplyButNotTreeOrPhasingSample) {
    PopGenetics src;
    src.name = "pop1";
    src.SampleSize = 4.0;
    add_entry(src, 3);
    add_entry(src, 1);
    fill_results(src, 7.0);
    src.numSimMutations = 12345678901LL;
    src.arbitraryHaplotype.id = "ref";
    src.usableSite = {1, 0, 1};
    src.missingFreqPerSite = {0.0, 0.5, 0.0};
    src.mismatchObs = {3, 2, 1};
    src.mismatchExp = {2.5, 2.0, 1.5};
    src.distMat = std::make_unique<RectMat>(2, 2);
    (*src.distMat)(1, 0) = 4.0;
    for (int i = 0; i < 12; ++i) src.locusExpHet.Add(0.1 * i);  // grows past its first slot
    src.locusNumAlleles.Add(5);
    src.genotSample = std::make_unique<TGenotSample>();
    ASSERT_EQ(src.tree.allocate_tree(3), 1);

    PopGenetics copy(src);
    for (auto const& c : kDoubleStarts) EXPECT_EQ(copy.*(c.member), src.*(c.member)) << c.name;
    for (auto const& c : kIntStarts) EXPECT_EQ(copy.*(c.member), src.*(c.member)) << c.name;
    EXPECT_EQ(copy.numSimMutations, 12345678901LL);
    EXPECT_EQ(copy.demTauQuantiles[3], 7.0);
    EXPECT_EQ(copy.spaMQuantiles[0], 7.0);
    EXPECT_STREQ(copy.name.c_str(), "pop1");
    EXPECT_EQ(copy.haplotypes.count, 2);
    EXPECT_STREQ(copy.arbitraryHaplotype.id.c_str(), "ref");
    EXPECT_EQ(copy.usableSite, src.usableSite);
    EXPECT_EQ(copy.missingFreqPerSite, src.missingFreqPerSite);
    EXPECT_EQ(copy.mismatchObs, src.mismatchObs);
    EXPECT_EQ(copy.mismatchExp, src.mismatchExp);

    // Per-locus arrays element by element, with their shape.
    EXPECT_EQ(copy.locusExpHet.count, 12);
    EXPECT_EQ(copy.locusExpHet.capacity, src.locusExpHet.capacity);
    EXPECT_EQ(copy.locusExpHet.initialCapacity, 1);
    EXPECT_EQ(copy.locusExpHet.step, 10);
    EXPECT_DOUBLE_EQ(copy.locusExpHet[11], 1.1);
    EXPECT_EQ(copy.locusNumAlleles[0], 5);
    EXPECT_NE(copy.locusExpHet.data, src.locusExpHet.data);

    // The matrix is the copy's own.
    ASSERT_NE(copy.distMat, nullptr);
    EXPECT_NE(copy.distMat.get(), src.distMat.get());
    EXPECT_EQ((*copy.distMat)(1, 0), 4.0);
    (*copy.distMat)(1, 0) = 9.0;
    EXPECT_EQ((*src.distMat)(1, 0), 4.0);

    // Tree and phasing sample are never shared with the source.
    EXPECT_FALSE(copy.tree.allocated());
    EXPECT_EQ(copy.genotSample, nullptr);
}

TEST(PopGeneticsCopy, AssignmentCopiesResultsAndArraysButKeepsTablesFitsAndMoments) {
    PopGenetics src;
    src.name = "source";
    fill_results(src, 3.0);
    src.numSimMutations = 99;
    src.usableSite = {1, 1};
    src.mismatchObs = {4, 1, 1};
    src.mismatchExp = {3.0, 2.0, 1.0};
    src.distMat = std::make_unique<RectMat>(3, 3);
    (*src.distMat)(2, 1) = 6.0;
    src.arbitraryHaplotype.id = "source ref";
    src.locusExpHet.Add(0.5);

    PopGenetics target;
    target.arbitraryHaplotype.id = "target ref";
    target.locusExpHet.Add(0.25);
    target.locusExpHet.Add(0.75);
    target.spaTauQuantiles[1] = 1.5;
    fill_results(target, 50.0);
    const PopGenetics before(target);

    target = src;

    EXPECT_STREQ(target.name.c_str(), "source");
    for (auto const& c : kDoubleStarts) {
        EXPECT_EQ(target.*(c.member), (c.assigned ? src : before).*(c.member)) << c.name;
    }
    for (auto const& c : kIntStarts) {
        EXPECT_EQ(target.*(c.member), (c.assigned ? src : before).*(c.member)) << c.name;
    }
    EXPECT_EQ(target.numSimMutations, 99);
    EXPECT_EQ(target.usableSite, src.usableSite);
    EXPECT_EQ(target.mismatchObs, src.mismatchObs);
    EXPECT_EQ(target.mismatchExp, src.mismatchExp);
    ASSERT_NE(target.distMat, nullptr);
    EXPECT_NE(target.distMat.get(), src.distMat.get());
    EXPECT_EQ(target.distMat->nRows, 3);
    EXPECT_EQ((*target.distMat)(2, 1), 6.0);

    // Kept: arbitrary haplotype, per-locus table and summaries, fits, mismatch moments.
    EXPECT_STREQ(target.arbitraryHaplotype.id.c_str(), "target ref");
    EXPECT_EQ(target.locusExpHet.count, 2);
    EXPECT_EQ(target.locusExpHet[1], 0.75);
    EXPECT_EQ(target.spaTauQuantiles[1], 1.5);
    EXPECT_EQ(target.spaMQuantiles[0], 50.0);

    // A source without arrays leaves the target without them.
    PopGenetics empty;
    target = empty;
    EXPECT_TRUE(target.usableSite.empty());
    EXPECT_TRUE(target.mismatchObs.empty());
    EXPECT_EQ(target.distMat, nullptr);
    EXPECT_EQ(target.thetaK, -1.0);
}

TEST(PopGeneticsLifecycle, DestroyingASampleThatSimulatedEmptiesTheHitCounts) {
    TNode::hits.count = 0;
    TNode::hits.Add(4);
    TNode::hits.Add(2);
    TNode::hits.auxCount = 2;
    {
        PopGenetics untouched;  // never simulated: the counts are not its business
    }
    EXPECT_EQ(TNode::hits.count, 2);
    {
        PopGenetics simulated;
        ASSERT_EQ(simulated.tree.allocate_tree(4), 1);
    }
    EXPECT_EQ(TNode::hits.count, 0);
    EXPECT_EQ(TNode::hits.auxCount, 0);
}

TEST(PopGeneticsLifecycle, CleanBnumShrinksTheSharedTableToFiveByFive) {
    PopGenetics::_B_num_exist = 0;
    ASSERT_EQ(PopGenetics::get_B_num_mat(), 1);
    EXPECT_EQ(PopGenetics::BMat.numRows(), 200);
    EXPECT_EQ(PopGenetics::BMat.numCols(), 80);
    PopGenetics p;
    Population& asPopulation = p;
    asPopulation.clean_bnum();  // reached through the slot, as the analysis loop does
    EXPECT_EQ(PopGenetics::BMat.numRows(), 5);
    EXPECT_EQ(PopGenetics::BMat.numCols(), 5);
    EXPECT_EQ(PopGenetics::_B_num_exist, 1);
    // B(4, 3) = |s(4, 3)| 3! / 4! = 6 / 4.
    EXPECT_DOUBLE_EQ(PopGenetics::BMat(4, 3), 1.5);
}

TEST(PopGeneticsStatistics, MembersReadTheSampleAndWriteTheirOwnFields) {
    // Counts 3 and 1 of 4 copies: sum p^2 = 9/16 + 1/16 = 0.625,
    // unbiased diversity 4/3 x 0.375 = 0.5.
    PopGenetics p;
    p.SampleSize = 4.0;
    p.NbHaplotypeEntries = 2;
    add_entry(p, 3);
    add_entry(p, 1);
    EXPECT_EQ(p.calc_sample_homozygosity(), &p.homozygosity);
    EXPECT_DOUBLE_EQ(p.sumSquaredFreq, 0.625);
    EXPECT_DOUBLE_EQ(p.geneDiversity, 0.5);
    EXPECT_DOUBLE_EQ(p.homozygosity, 0.5);

    // V = 2/(4 x 3) (2 x 2 (S3 - S2^2) + S2 - S2^2) with S3 = 28/64.
    const double S2 = 0.625, S3 = 28.0 / 64.0;
    const double V = 2.0 / 12.0 * (4.0 * (S3 - S2 * S2) + S2 - S2 * S2);
    EXPECT_DOUBLE_EQ(*p.calc_sample_sd_heterozygosity(), std::sqrt(V));

    // theta(S) with n = 2: S with s.d. sqrt((S + S^2) / 2).
    EXPECT_DOUBLE_EQ(*p.theta_S(2, 3), 3.0);
    EXPECT_DOUBLE_EQ(p.thetaSsd, std::sqrt(6.0));

    // No segregating site: D = 0 and no P value.
    p.tajimaP = 0.5;
    EXPECT_EQ(*p.calc_tajimaD(4, 1.0, 0.0), 0.0);
    EXPECT_EQ(p.tajimaP, -1.0);

    // E[K] for theta 1, n 3: 1 + 1/2 + 1/3.
    EXPECT_DOUBLE_EQ(p.k_est(1.0, 3), 11.0 / 6.0);
    EXPECT_DOUBLE_EQ(p.expNumAlleles, 11.0 / 6.0);

    // No diversity: Fs is the largest single-precision value and not finite.
    EXPECT_EQ(p.Fu_Fs(0.0, 1, p.fuFs, false), FuFsOutcome::bound);
    EXPECT_EQ(p.fuFs, 3.4028234663852886e38);
}

TEST(AHaplFreq, MeanAndSdOverReplicates) {
    struct Case {
        int n, m;
        double S, Q;
        double relFreq, relFreqSd, absFreq, absFreqSd;
    };
    // Counts 2, 3, 3, 4 over four replicates: S = 12, Q = 38, mean 3,
    // sd sqrt((38 - 144/4) / 3) = sqrt(2/3).
    const Case cases[] = {
        {4, 10, 12.0, 38.0, 0.3, std::sqrt(2.0 / 3.0) / 10.0, 3.0, std::sqrt(2.0 / 3.0)},
        {1, 8, 5.0, 25.0, 5.0 / 8.0, 0.0, 5.0, 0.0},  // one replicate: s.d. 0
        {4, 0, 12.0, 38.0, 0.0, 0.0, 0.0, 0.0},        // no gene copies: all 0
    };
    for (auto const& c : cases) {
        AHaplFreq f;
        f.relFreq = c.S;
        f.relFreqSd = c.Q;
        f.absFreq = f.absFreqSd = -7.0;
        f.calc_mean_freq(c.n, c.m);
        EXPECT_DOUBLE_EQ(f.relFreq, c.relFreq) << c.n << "," << c.m;
        EXPECT_DOUBLE_EQ(f.relFreqSd, c.relFreqSd) << c.n << "," << c.m;
        EXPECT_DOUBLE_EQ(f.absFreq, c.absFreq) << c.n << "," << c.m;
        EXPECT_DOUBLE_EQ(f.absFreqSd, c.absFreqSd) << c.n << "," << c.m;
    }
}

TEST(AHaplFreq, SortedListKeepsDecreasingOrderAndArrivalOrderOfTies) {
    AHaplFreqList list(1, 1);  // small, so that adding grows it
    AHaplFreq* first = new AHaplFreq;
    first->relFreq = 0.3;
    AHaplFreq* big = new AHaplFreq;
    big->relFreq = 0.5;
    AHaplFreq* second = new AHaplFreq;
    second->relFreq = 0.3;
    EXPECT_EQ(list.Add(first), 0);
    EXPECT_EQ(list.Add(big), 0);
    EXPECT_EQ(list.Add(second), 2);
    ASSERT_EQ(list.count, 3);
    EXPECT_EQ(list.data[0], big);
    EXPECT_EQ(list.data[1], first);
    EXPECT_EQ(list.data[2], second);
}

TEST(AHaplFreq, PrintsFourFixedColumns) {
    AHaplFreq f;
    f.relFreq = 0.25;
    f.relFreqSd = 0.125;
    f.absFreq = 2.5;
    f.absFreqSd = 1.25;
    std::ostringstream os;
    os << f << 2.0;  // the stream keeps the fixed form afterwards
    EXPECT_EQ(os.str(), "   0.2500000   0.1250000          2.5000      1.2500\n2.0000");
}
