#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "datatypes/PopulDNA.h"
#include "datatypes/PopulMicrosat.h"
#include "datatypes/PopulRFLP.h"
#include "datatypes/PopulStandard.h"
#include "datatypes/population_factory.h"
#include "run/ProfileSettings.h"

using namespace quintle;

namespace {

template <class C>
struct Start {
    const char* name;
    double C::*member;
    double start;
};

template <class C>
struct IntStart {
    const char* name;
    int C::*member;
    int start;
};

template <class C>
void expect_starts(C const& obj, std::vector<Start<C>> const& doubles, std::vector<IntStart<C>> const& ints) {
    for (auto const& s : doubles) EXPECT_EQ(obj.*(s.member), s.start) << s.name;
    for (auto const& s : ints) EXPECT_EQ(obj.*(s.member), s.start) << s.name;
}

// The statistics part of every data-type object starts as a fresh PopGenetics.
void expect_statistics_start(PopGenetics const& p) {
    EXPECT_EQ(p.meanPairwiseDiff, 0.0);
    EXPECT_EQ(p.meanPairwiseDiffSd, 0.0);
    EXPECT_EQ(p.tajimaD, 0.0);
    EXPECT_EQ(p.tajimaP, -1.0);
    EXPECT_EQ(p.thetaK, -1.0);
    EXPECT_EQ(p.probKOrMoreAlleles, -1.0);
    EXPECT_EQ(p.lastExpMismatchClass, 0);
    EXPECT_EQ(p.computeSlatkinTest, 1);
}

template <class T>
concept HasArbitraryHaplotype = requires(T t) { t.build_arbitrary_haplotype(); };

Population plain_sample() {
    Population p;
    p.name = "Sample 7";
    p.SampleSize = 5.0;
    p.NbHaplotypeEntries = 2;
    p.haplotypes.Add(new PHaploDef{nullptr, 3});
    p.haplotypes.Add(new PHaploDef{nullptr, 2});
    return p;
}

}  // namespace

TEST(DataTypeStart, DnaMembersAndAmbiguityCodes) {
    PopulDNA d;
    expect_starts<PopulDNA>(d,
                            {{"piPerSite", &PopulDNA::piPerSite, 0.0},
                             {"piPerSiteSd", &PopulDNA::piPerSiteSd, 0.0},
                             {"deletionWeight", &PopulDNA::deletionWeight, 1.0},
                             {"transitionWeight", &PopulDNA::transitionWeight, 1.0},
                             {"transversionWeight", &PopulDNA::transversionWeight, 1.0},
                             {"pairDistance", &PopulDNA::pairDistance, 0.0},
                             {"pairDistanceVar", &PopulDNA::pairDistanceVar, 0.0},
                             {"gcContent", &PopulDNA::gcContent, 0.0},
                             {"gammaA", &PopulDNA::gammaA, 0.0}},
                            {{"numTransitions", &PopulDNA::numTransitions, 0},
                             {"numTransversions", &PopulDNA::numTransversions, 0},
                             {"numSubstitutions", &PopulDNA::numSubstitutions, 0},
                             {"numIndels", &PopulDNA::numIndels, 0},
                             {"numTransitionSites", &PopulDNA::numTransitionSites, 0},
                             {"numTransversionSites", &PopulDNA::numTransversionSites, 0},
                             {"numSubstitutionSites", &PopulDNA::numSubstitutionSites, 0},
                             {"numIndelSites", &PopulDNA::numIndelSites, 0},
                             {"numValidSites", &PopulDNA::numValidSites, 0},
                             {"distanceMethod", &PopulDNA::distanceMethod, 0}});
    expect_statistics_start(d);
    EXPECT_EQ(d.pairDistanceFn, nullptr);
    EXPECT_TRUE(d.transitionAtSite.empty() && d.transversionAtSite.empty() && d.indelAtSite.empty() &&
                d.ambiguousAtSite.empty());

    ASSERT_EQ(d.ambiguityCodes.count, 11);
    EXPECT_EQ(std::string(d.ambiguityCodes.data, 11), "RYMKSWHBVDN");
    EXPECT_EQ(d.ambiguityCodes.capacity, 11);
    EXPECT_EQ(d.ambiguityCodes.initialCapacity, 11);
    EXPECT_EQ(d.ambiguityCodes.step, 10);

    // Both nucleotide tables start cleared (the pair counts are sums).
    for (auto const& row : d.pairNuclFreq) {
        for (double v : row) EXPECT_EQ(v, 0.0);
    }
    for (double v : d.nuclFreq) EXPECT_EQ(v, 0.0);
}

TEST(DataTypeStart, RflpMicrosatAndStandardMembers) {
    PopulRFLP r;
    expect_starts<PopulRFLP>(r,
                             {{"piPerSite", &PopulRFLP::piPerSite, 0.0},
                              {"piPerSiteSd", &PopulRFLP::piPerSiteSd, 0.0},
                              {"deletionWeight", &PopulRFLP::deletionWeight, 1.0},
                              {"pairDistance", &PopulRFLP::pairDistance, 0.0},
                              {"pairDistanceVar", &PopulRFLP::pairDistanceVar, 0.0}},
                             {{"numValidSites", &PopulRFLP::numValidSites, 0},
                              {"numIndels", &PopulRFLP::numIndels, 0},
                              {"numIndelSites", &PopulRFLP::numIndelSites, 0},
                              {"numSubstitutionSites", &PopulRFLP::numSubstitutionSites, 0},
                              {"numComparedSites", &PopulRFLP::numComparedSites, 0},
                              {"numDifferences", &PopulRFLP::numDifferences, 0},
                              {"distanceMethod", &PopulRFLP::distanceMethod, 0}});
    EXPECT_EQ(r.pairDistanceFn, nullptr);
    EXPECT_TRUE(r.substitutionAtSite.empty() && r.indelAtSite.empty());
    expect_statistics_start(r);

    PopulMicrosat m;
    expect_starts<PopulMicrosat>(m,
                                 {{"piPerSite", &PopulMicrosat::piPerSite, 0.0},
                                  {"piPerSiteSd", &PopulMicrosat::piPerSiteSd, 0.0}},
                                 {{"microsatDistanceMethod", &PopulMicrosat::microsatDistanceMethod, 1}});
    expect_statistics_start(m);

    PopulStandard s;
    expect_starts<PopulStandard>(s,
                                 {{"piPerSite", &PopulStandard::piPerSite, 0.0},
                                  {"piPerSiteSd", &PopulStandard::piPerSiteSd, 0.0},
                                  {"stdMeanPairwiseDiff", &PopulStandard::stdMeanPairwiseDiff, 0.0},
                                  {"stdMeanPairwiseDiffSd", &PopulStandard::stdMeanPairwiseDiffSd, 0.0}},
                                 {});
    expect_statistics_start(s);
}

TEST(DataTypeSlots, OnlyDnaAndRflpBuildAnArbitraryHaplotype) {
    static_assert(HasArbitraryHaplotype<PopulDNA>);
    static_assert(HasArbitraryHaplotype<PopulRFLP>);
    static_assert(!HasArbitraryHaplotype<PopulMicrosat>);
    static_assert(!HasArbitraryHaplotype<PopulStandard>);
    static_assert(!HasArbitraryHaplotype<PopGenetics>);
    SUCCEED();
}

TEST(DataTypeFactory, DataTypeSelectsTheClass) {
    struct Case {
        int dataType;
        const char* expected;
    };
    const Case cases[] = {{DNA, "DNA"},           {RFLP, "RFLP"},         {MICROSAT, "MICROSAT"},
                          {STANDARD, "STANDARD"}, {FREQUENCY, "STANDARD"}, {7, "STANDARD"},
                          {-1, "STANDARD"}};
    auto kind = [](PopGenetics* p) -> std::string {
        if (dynamic_cast<PopulDNA*>(p)) return "DNA";
        if (dynamic_cast<PopulRFLP*>(p)) return "RFLP";
        if (dynamic_cast<PopulMicrosat*>(p)) return "MICROSAT";
        if (dynamic_cast<PopulStandard*>(p)) return "STANDARD";
        return "none";
    };
    const Population data = plain_sample();
    for (auto const& c : cases) {
        std::unique_ptr<PopGenetics> empty = make_sample(c.dataType);
        EXPECT_EQ(kind(empty.get()), c.expected) << c.dataType;
        EXPECT_TRUE(empty->name.is_null()) << c.dataType;

        std::unique_ptr<PopGenetics> built = make_sample(c.dataType, data);
        EXPECT_EQ(kind(built.get()), c.expected) << c.dataType;
        EXPECT_STREQ(built->name.c_str(), "Sample 7") << c.dataType;
        EXPECT_EQ(built->SampleSize, 5.0) << c.dataType;
        ASSERT_EQ(built->haplotypes.count, 2) << c.dataType;
        EXPECT_EQ(built->haplotypes.data[1]->count, 2) << c.dataType;
        // Its own entry records, not the source's.
        EXPECT_NE(built->haplotypes.data[0], data.haplotypes.data[0]) << c.dataType;
        expect_statistics_start(*built);

        // The owner deletes through the base pointer.
        Population* owned = built.release();
        delete owned;
    }
}

TEST(DataTypeCopy, DnaCopyHasItsOwnArraysAndCarriesOnlyWhatAssignmentCopies) {
    PopulDNA src(plain_sample());
    src.transitionWeight = 0.5;
    src.distanceMethod = 4;
    src.numSubstitutionSites = 3;
    src.gcContent = 0.4;
    src.nuclFreq = {0.1, 0.2, 0.3, 0.4};
    src.pairNuclFreq[2][1] = 6.0;
    src.transitionAtSite = {0, 1, 0};
    src.indelAtSite = {1, 0, 0};
    src.usableSite = {1, 1, 0};
    src.polymorphicLocus = {0, 1, 1};
    src.thetaS = 1.25;
    src.demTau = 3.5;  // a fit result: the PopGenetics assignment keeps the target's
    src.locusExpHet.Add(0.5);

    PopulDNA copy(src);
    EXPECT_STREQ(copy.name.c_str(), "Sample 7");
    EXPECT_EQ(copy.transitionWeight, 0.5);
    EXPECT_EQ(copy.distanceMethod, 4);
    EXPECT_EQ(copy.numSubstitutionSites, 3);
    EXPECT_EQ(copy.gcContent, 0.4);
    EXPECT_EQ(copy.nuclFreq[3], 0.4);
    EXPECT_EQ(copy.pairNuclFreq[2][1], 6.0);
    EXPECT_EQ(copy.transitionAtSite, src.transitionAtSite);
    EXPECT_EQ(copy.indelAtSite, src.indelAtSite);
    EXPECT_EQ(copy.usableSite, src.usableSite);
    EXPECT_EQ(copy.polymorphicLocus, src.polymorphicLocus);
    EXPECT_EQ(copy.thetaS, 1.25);
    EXPECT_EQ(copy.demTau, 0.0);
    EXPECT_EQ(copy.locusExpHet.count, 0);
    EXPECT_EQ(std::string(copy.ambiguityCodes.data, static_cast<std::size_t>(copy.ambiguityCodes.count)),
              "RYMKSWHBVDN");

    copy.transitionAtSite[1] = 9;
    copy.pairNuclFreq[2][1] = 1.0;
    EXPECT_EQ(src.transitionAtSite[1], 1);
    EXPECT_EQ(src.pairNuclFreq[2][1], 6.0);

    // Assignment from a plain sample replaces the data only.
    PopulDNA target;
    target.numIndels = 4;
    Population other;
    other.name = "Other";
    target = other;
    EXPECT_STREQ(target.name.c_str(), "Other");
    EXPECT_EQ(target.numIndels, 4);
}

TEST(DataTypeCopy, RflpMicrosatAndStandardAssignTheirMembers) {
    PopulRFLP r;
    r.numValidSites = 3;
    r.numDifferences = 2;
    r.distanceMethod = 1;
    r.deletionWeight = 0.0;
    r.substitutionAtSite = {1, 0, 1};
    r.indelAtSite = {0, 0, 1};
    PopulRFLP rTarget;
    rTarget = r;
    EXPECT_EQ(rTarget.numValidSites, 3);
    EXPECT_EQ(rTarget.numDifferences, 2);
    EXPECT_EQ(rTarget.distanceMethod, 1);
    EXPECT_EQ(rTarget.deletionWeight, 0.0);
    EXPECT_EQ(rTarget.substitutionAtSite, r.substitutionAtSite);
    rTarget.indelAtSite[2] = 0;
    EXPECT_EQ(r.indelAtSite[2], 1);

    PopulMicrosat m;
    m.microsatDistanceMethod = 0;
    m.meanPairwiseDiff = 2.5;
    m.meanPairwiseDiffSd = 0.5;
    m.piPerSite = 0.25;
    PopulMicrosat mCopy(m);
    EXPECT_EQ(mCopy.microsatDistanceMethod, 0);
    EXPECT_EQ(mCopy.meanPairwiseDiff, 2.5);
    EXPECT_EQ(mCopy.meanPairwiseDiffSd, 0.5);
    EXPECT_EQ(mCopy.piPerSite, 0.25);

    PopulStandard s(plain_sample());
    s.stdMeanPairwiseDiff = 1.5;
    s.stdMeanPairwiseDiffSd = 0.75;
    s.piPerSiteSd = 0.125;
    PopulStandard sTarget;
    sTarget = s;
    EXPECT_STREQ(sTarget.name.c_str(), "Sample 7");
    EXPECT_EQ(sTarget.stdMeanPairwiseDiff, 1.5);
    EXPECT_EQ(sTarget.stdMeanPairwiseDiffSd, 0.75);
    EXPECT_EQ(sTarget.piPerSiteSd, 0.125);
}
