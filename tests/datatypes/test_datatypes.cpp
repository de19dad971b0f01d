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

TEST(DataTypeStart, NonZeroStartValuesAndAmbiguityCodes) {
    // Only the members whose start is not a plain zero: the weights, the
    // microsatellite distance method and the DNA ambiguity codes.
    PopulDNA d;
    EXPECT_EQ(d.deletionWeight, 1.0);
    EXPECT_EQ(d.transitionWeight, 1.0);
    EXPECT_EQ(d.transversionWeight, 1.0);
    EXPECT_EQ(d.pairDistanceFn, nullptr);
    ASSERT_EQ(d.ambiguityCodes.count, 11);
    EXPECT_EQ(std::string(d.ambiguityCodes.data, 11), "RYMKSWHBVDN");
    for (auto const& row : d.pairNuclFreq)
        for (double v : row) EXPECT_EQ(v, 0.0);
    expect_statistics_start(d);

    PopulRFLP r;
    EXPECT_EQ(r.deletionWeight, 1.0);
    expect_statistics_start(r);
    PopulMicrosat m;
    EXPECT_EQ(m.microsatDistanceMethod, 1);
    expect_statistics_start(m);
    expect_statistics_start(PopulStandard());
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
    src.nuclFreq = {0.1, 0.2, 0.3, 0.4};
    src.pairNuclFreq[2][1] = 6.0;
    src.transitionAtSite = {0, 1, 0};
    src.usableSite = {1, 1, 0};
    src.thetaS = 1.25;
    src.demTau = 3.5;  // a fit result: the PopGenetics assignment keeps the target's
    src.locusExpHet.Add(0.5);

    PopulDNA copy(src);
    EXPECT_STREQ(copy.name.c_str(), "Sample 7");
    EXPECT_EQ(copy.transitionWeight, 0.5);
    EXPECT_EQ(copy.nuclFreq[3], 0.4);
    EXPECT_EQ(copy.pairNuclFreq[2][1], 6.0);
    EXPECT_EQ(copy.transitionAtSite, src.transitionAtSite);
    EXPECT_EQ(copy.usableSite, src.usableSite);
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
    r.numDifferences = 2;
    r.indelAtSite = {0, 0, 1};
    PopulRFLP rTarget;
    rTarget = r;
    EXPECT_EQ(rTarget.numDifferences, 2);
    rTarget.indelAtSite[2] = 0;
    EXPECT_EQ(r.indelAtSite[2], 1);  // its own array

    PopulMicrosat m;
    m.microsatDistanceMethod = 0;
    m.piPerSite = 0.25;
    PopulMicrosat mCopy(m);
    EXPECT_EQ(mCopy.microsatDistanceMethod, 0);
    EXPECT_EQ(mCopy.piPerSite, 0.25);

    PopulStandard s(plain_sample());
    s.stdMeanPairwiseDiffSd = 0.75;
    PopulStandard sTarget;
    sTarget = s;
    EXPECT_STREQ(sTarget.name.c_str(), "Sample 7");
    EXPECT_EQ(sTarget.stdMeanPairwiseDiffSd, 0.75);
}
