// Microsatellite and molecular-diversity tables of the within-sample summary,
// and the private substitution sites, on hand-built samples whose results
// are set directly. Expected values are worked out by hand.

#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <string>
#include <vector>

#include "data/TAlleleDB.h"
#include "datatypes/PopulMicrosat.h"
#include "datatypes/PopulRFLP.h"
#include "popstats/PopGenetics.h"
#include "summary_fixture.h"

namespace quintle {
namespace {

using namespace testing_support;

class SummaryMolecular : public SummaryFixture {
protected:
    void SetUp() override {
        SummaryFixture::SetUp();
        PopGenetics::globalSubstPolymSites.count = 0;
    }
    void TearDown() override {
        SummaryFixture::TearDown();
        PopGenetics::globalSubstPolymSites.count = 0;
        SumStat.TOT_S = SumStat.MEAN_PI = SumStat.SD_PI = false;
        SumStat.MEAN_GW = SumStat.SD_GW = SumStat.MEAN_NGW = SumStat.SD_NGW = false;
    }

    void site_flags(std::initializer_list<bool> flags) {
        auto& a = PopGenetics::globalSubstPolymSites;
        a.count = 0;
        for (bool f : flags) a.Add(f);
    }
};

// --- private substitution sites ---------------------------------------------

TEST_F(SummaryMolecular, PrivateSitesCountSitesVaryingInExactlyOneSample) {
    ProfileSettings::DataType = DNA;
    auto* a = add<PopulDNA>("a");
    auto* b = add<PopulDNA>("b");
    auto* c = add<PopulDNA>("c");
    // site 0: a alone (transition)                -> a
    // site 1: a (transition), b (transversion)     -> nobody
    // site 2: flagged, but no sample varies        -> nobody
    // site 3: c varies but the site is not flagged -> nobody
    // site 4: c alone (transversion)               -> c
    site_flags({true, true, true, false, true});
    a->transitionAtSite = {1, 1, 0, 0, 0};
    a->transversionAtSite = {0, 0, 0, 0, 0};
    b->transitionAtSite = {0, 0, 0, 0, 0};
    b->transversionAtSite = {0, 2, 0, 0, 0};
    c->transitionAtSite = {0, 0, 0, 1, 0};
    c->transversionAtSite = {0, 0, 0, 0, 1};
    b->numPrivateSubstSites = 9;  // reset before counting

    set_.computeNumPrivateSubstSitesPerPop(s_);
    EXPECT_EQ(a->numPrivateSubstSites, 1);
    EXPECT_EQ(b->numPrivateSubstSites, 0);
    EXPECT_EQ(c->numPrivateSubstSites, 1);

    // Left alone for other data types and when the first sample does not
    // weigh transitions.
    a->numPrivateSubstSites = 7;
    ProfileSettings::DataType = RFLP;
    set_.computeNumPrivateSubstSitesPerPop(s_);
    EXPECT_EQ(a->numPrivateSubstSites, 7);
    ProfileSettings::DataType = DNA;
    a->transitionWeight = 0.0;
    set_.computeNumPrivateSubstSitesPerPop(s_);
    EXPECT_EQ(a->numPrivateSubstSites, 7);
}

// --- molecular diversity table ------------------------------------------------

// States per site for the pooled count; entry 0 is the recessive blank.
void add_states(TAlleleDB& db, int site, std::initializer_list<char const*> states) {
    db.InsertAllPos(site, my_string("null"), 0.0);
    for (char const* st : states) db.InsertAllPos(site, my_string(st), 1.0);
}

TEST_F(SummaryMolecular, DnaTableRowsValuesAndPooledSites) {
    ProfileSettings::DataType = DNA;
    s_.TaskNumber = 2;
    s_.ComputeTheta = 2;  // theta(S) rows only
    auto* a = add<PopulDNA>("north");
    auto* b = add<PopulDNA>("south");
    a->numTransitions = 3;
    b->numTransitions = 5;
    a->numSubstitutionSites = 2;
    b->numSubstitutionSites = 4;
    a->meanPairwiseDiff = 1.5;
    b->meanPairwiseDiff = 2.25;
    a->thetaS = -1.0;  // not computed
    b->thetaS = 2.5;
    a->thetaSsd = 0.5;
    b->thetaSsd = 1.5;

    TAlleleDB db;
    add_states(db, 0, {"A", "G"});       // two states: counts
    add_states(db, 1, {"A", "-", "N"});  // gap and ambiguity set aside
    add_states(db, 2, {"C", "n"});       // lower-case n is a state
    add_states(db, 3, {"A", "?G"});      // missing data set aside
    add_states(db, 4, {"A", "T"});       // no sample marks it
    a->alleleDB = &db;
    b->alleleDB = &db;
    a->profile.MissingData = '?';
    a->usableSite = {1, 1, 1, 1, 0};
    a->polymorphicLocus = {1, 0, 0, 1, 1};
    b->usableSite = {0, 1, 1, 1, 1};
    b->polymorphicLocus = {1, 1, 1, 0, 0};
    site_flags({true, true, true, true, true});
    // Private sites: site 0 varies in a only.
    a->transitionAtSite = {1, 0, 0, 0, 0};
    a->transversionAtSite = {0, 0, 0, 0, 0};
    b->transitionAtSite = {0, 0, 0, 0, 0};
    b->transversionAtSite = {0, 0, 0, 0, 0};

    SumStat.TOT_S = SumStat.MEAN_PI = SumStat.SD_PI = true;
    SumStat.totS = -5;
    fill(SumStat.piValues, {9.0, 9.0, 9.0});
    set_.WriteMolecularDiversityTable(s_, 12);

    EXPECT_EQ(SumStat.totS, 2);  // sites 0 and 2
    EXPECT_EQ(values_of(SumStat.piValues), (std::vector<double>{1.5, 2.25}));
    EXPECT_DOUBLE_EQ(SumStat.meanPi, 1.875);
    EXPECT_NEAR(SumStat.sdPi, 0.53033009, 1e-8);  // 0.75 / sqrt(2)
    EXPECT_EQ(values_of(SumStat.privSValues), (std::vector<double>{1.0, 0.0}));

    std::string const rule(73, '-');  // 2 x 12 + 49
    std::string const expected =
        "\n---------------------------\nMolecular diversity indexes\n" + rule + "\n" +
        "               Statistics       north       south        Mean        s.d.\n" + rule + "\n" +
        "       No. of transitions           3           5       4.000       1.414\n";
    EXPECT_NE(output().find(expected), std::string::npos) << output();
    EXPECT_NE(output().find("      No. of subst. sites           2           4       3.000       1.414  Total:"
                            "           2\n"),
              std::string::npos)
        << output();
    EXPECT_NE(output().find(" No. private subst. sites           1           0       0.500       0.707\n"),
              std::string::npos);
    EXPECT_NE(output().find("                       Pi     1.50000     2.25000     1.87500     0.53033\n\n"),
              std::string::npos);
    EXPECT_NE(output().find("                  Theta_S        N.A.     2.50000        N.A.        N.A.\n"
                            "             s.d. Theta_S     0.50000     1.50000     1.00000     0.70711\n" +
                            rule + "\n"),
              std::string::npos)
        << output();
    EXPECT_EQ(output().find("Theta_pi"), std::string::npos);
}

TEST_F(SummaryMolecular, RflpTotalWithoutAmbiguityTestAndEmptySiteArrayKeepsTotal) {
    ProfileSettings::DataType = RFLP;
    s_.TaskNumber = 2;
    auto* a = add<PopulRFLP>("r1");
    TAlleleDB db;
    add_states(db, 0, {"A", "-", "N"});  // for RFLP data N is a state
    a->alleleDB = &db;
    a->usableSite = {1};
    a->polymorphicLocus = {1};
    SumStat.TOT_S = true;

    SumStat.totS = -5;
    set_.WriteMolecularDiversityTable(s_, 12);
    EXPECT_EQ(SumStat.totS, -5);  // no site array: total kept
    EXPECT_EQ(output().find("No. of transitions"), std::string::npos);
    EXPECT_EQ(output().find("Pi"), std::string::npos);

    site_flags({true});
    set_.WriteMolecularDiversityTable(s_, 12);
    EXPECT_EQ(SumStat.totS, 1);
}

TEST_F(SummaryMolecular, GatesAndThetaKForUnphasedGenotypes) {
    add<PopulDNA>("a")->thetaK = 1.0;
    s_.ComputeTheta = 4;
    s_.TaskNumber = 2;
    for (TDataType type : {MICROSAT, STANDARD}) {
        ProfileSettings::DataType = type;
        set_.WriteMolecularDiversityTable(s_, 12);
    }
    ProfileSettings::DataType = DNA;
    s_.RecessiveAllelesEM = 1;
    set_.WriteMolecularDiversityTable(s_, 12);
    EXPECT_EQ(output(), "");

    s_.RecessiveAllelesEM = 0;
    s_.GenotypicData = 1;
    s_.GameticPhase = 0;
    set_.WriteMolecularDiversityTable(s_, 12);
    EXPECT_EQ(output().find("Theta_k"), std::string::npos);
    s_.GameticPhase = 1;
    set_.WriteMolecularDiversityTable(s_, 12);
    EXPECT_NE(output().find("                  Theta_k     1.00000"), std::string::npos);
}

// --- microsatellite tables ---------------------------------------------------

// Two samples, two loci:
//   a: range 4, 0; sizes [10,14], [20,20]; GW 0.6, 1.0
//   b: range 2, 6; sizes [12,14], [18,24]; GW 1.0, 0.5
// Pooled ranges: 14 - 10 = 4 and 24 - 18 = 6.
// Modified GW: a: 0.6*5/5 = 0.6, 1.0*1/7; b: 1.0*3/5 = 0.6, 0.5*7/7 = 0.5.
class SummaryMicrosat : public SummaryMolecular {
protected:
    void SetUp() override {
        SummaryMolecular::SetUp();
        ProfileSettings::DataType = MICROSAT;
        a_ = add<PopulMicrosat>("a");
        b_ = add<PopulMicrosat>("b");
        fill(a_->locusAllelicRange, {4, 0});
        fill(a_->locusMinAlleleSize, {10, 20});
        fill(a_->locusMaxAlleleSize, {14, 20});
        fill(a_->locusGarzaWilliamson, {0.6, 1.0});
        fill(b_->locusAllelicRange, {2, 6});
        fill(b_->locusMinAlleleSize, {12, 18});
        fill(b_->locusMaxAlleleSize, {14, 24});
        fill(b_->locusGarzaWilliamson, {1.0, 0.5});
        a_->meanAllelicRange = 2.0;
        b_->meanAllelicRange = 4.0;
        a_->meanAllelicRangeSd = 2.8;
        b_->meanAllelicRangeSd = 2.9;
        a_->meanGW = 0.8;
        b_->meanGW = 0.75;
        a_->meanGWSd = 0.28;
        b_->meanGWSd = 0.35;
    }
    PopulMicrosat* a_ = nullptr;
    PopulMicrosat* b_ = nullptr;
};

TEST_F(SummaryMicrosat, RangeAndGarzaWilliamsonValues) {
    SumStat.MEAN_GW = SumStat.SD_GW = SumStat.MEAN_NGW = SumStat.SD_NGW = true;
    std::vector<double> const totalAlleles{4.0, 3.0};
    set_.WriteMicrosatSummaryTables(s_, 12, totalAlleles);

    EXPECT_NEAR(SumStat.totGW, (4.0 / 5.0 + 3.0 / 7.0) / 2.0, 1e-12);
    EXPECT_EQ(values_of(SumStat.rValues), (std::vector<double>{2.0, 4.0}));
    EXPECT_DOUBLE_EQ(SumStat.meanR, 3.0);
    EXPECT_NEAR(SumStat.sdR, 1.41421356, 1e-8);
    EXPECT_DOUBLE_EQ(SumStat.totR, 5.0);  // mean of the pooled ranges 4 and 6
    EXPECT_DOUBLE_EQ(SumStat.meanGW, 0.775);

    double const aMean = (0.6 + 1.0 / 7.0) / 2.0;
    double const aSd = (0.6 - 1.0 / 7.0) / std::sqrt(2.0);
    std::vector<double> const ngw = values_of(SumStat.ngwValues);
    ASSERT_EQ(ngw.size(), 2u);
    EXPECT_NEAR(ngw[0], aMean, 1e-12);
    EXPECT_NEAR(ngw[1], 0.55, 1e-12);
    EXPECT_NEAR(SumStat.ngwSdValues[0], aSd, 1e-12);
    EXPECT_NEAR(SumStat.ngwSdValues[1], 0.1 / std::sqrt(2.0), 1e-12);
    EXPECT_NEAR(SumStat.meanNGW, (aMean + 0.55) / 2.0, 1e-12);
    EXPECT_NEAR(SumStat.sdNGW, (0.55 - aMean) / std::sqrt(2.0), 1e-12);
    // The samples keep their modified-index mean and s.d.
    EXPECT_NEAR(a_->meanModifiedGW, aMean, 1e-12);
    EXPECT_NEAR(a_->meanModifiedGWSd, aSd, 1e-12);

    std::string const out = output();
    std::string const rule42(24 + 42, '-');
    EXPECT_NE(out.find("\n------------------\nAllelic size range\n" + rule42 + "\n" +
                       "Locus#           a           b        Mean        s.d.  Tot. range\n" + rule42 + "\n" +
                       "     1           4           2       3.000       1.414           4\n" +
                       "     2           0           6       3.000       4.243           6\n" +
                       "  Mean       2.000       4.000       3.000       1.414       5.000\n" +
                       "  s.d.       2.800       2.900       2.850       0.071       1.414\n" + rule42 + "\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("     2     0.14286     0.50000     0.32143     0.25254\n"), std::string::npos) << out;
}

TEST_F(SummaryMicrosat, ModifiedIndexWithoutLocusRowsIsZero) {
    SumStat.MEAN_NGW = true;
    SumStat.meanNGW = 3.0;
    a_->meanModifiedGW = 0.0;
    set_.WriteMicrosatSummaryTables(s_, 12, std::span<double const>{});

    EXPECT_EQ(values_of(SumStat.ngwValues), (std::vector<double>{0.0, 0.0}));
    EXPECT_EQ(SumStat.meanNGW, 0.0);
    EXPECT_EQ(a_->meanModifiedGW, 0.0);
    EXPECT_EQ(SumStat.totGW, 0.0);
    std::string const out = output();
    EXPECT_EQ(out.find("nan"), std::string::npos) << out;
    EXPECT_NE(out.find("  Mean     0.00000     0.00000     0.00000     0.00000\n"), std::string::npos) << out;
}

}  // namespace
}  // namespace quintle
