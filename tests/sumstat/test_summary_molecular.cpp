// Private substitution sites on a tiny alignment worked by hand, and the
// guarded modified Garza-Williamson index.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "datatypes/PopulMicrosat.h"
#include "popstats/PopGenetics.h"
#include "summary_fixture.h"

namespace quintle {
namespace {

using namespace testing_support;

class SummaryMolecular : public SummaryFixture {
    test::AllelicDBGuard projectSites_;
};

TEST_F(SummaryMolecular, PrivateSitesCountSitesVaryingInExactlyOneSample) {
    set_.set_data_context(DNA, '\0');
    auto* a = add<PopulDNA>("a");
    auto* b = add<PopulDNA>("b");
    auto* c = add<PopulDNA>("c");
    // site 0: a alone (transition)                -> a
    // site 1: a (transition), b (transversion)     -> nobody
    // site 2: flagged, but no sample varies        -> nobody
    // site 3: c varies but the site is not flagged -> nobody
    // site 4: c alone (transversion)               -> c
    for (bool f : {true, true, true, false, true}) PopGenetics::globalSubstPolymSites.Add(f);
    a->transitionAtSite = {1, 1, 0, 0, 0}, a->transversionAtSite = {0, 0, 0, 0, 0};
    b->transitionAtSite = {0, 0, 0, 0, 0}, b->transversionAtSite = {0, 2, 0, 0, 0};
    c->transitionAtSite = {0, 0, 0, 1, 0}, c->transversionAtSite = {0, 0, 0, 0, 1};
    b->numPrivateSubstSites = 9;  // reset before counting

    set_.computeNumPrivateSubstSitesPerPop(s_);
    EXPECT_EQ(a->numPrivateSubstSites, 1);
    EXPECT_EQ(b->numPrivateSubstSites, 0);
    EXPECT_EQ(c->numPrivateSubstSites, 1);
}

// The modified Garza-Williamson mean is 0/0 when the samples have no locus
// rows: stored and written as 0, never "nan".
TEST_F(SummaryMolecular, ModifiedIndexWithoutLocusRowsIsZero) {
    set_.set_data_context(MICROSAT, ' ');
    auto* a = add<PopulMicrosat>("a");
    auto* b = add<PopulMicrosat>("b");
    fill(a->locusAllelicRange, {4, 0}), fill(a->locusMinAlleleSize, {10, 20});
    fill(a->locusMaxAlleleSize, {14, 20}), fill(a->locusGarzaWilliamson, {0.6, 1.0});
    fill(b->locusAllelicRange, {2, 6}), fill(b->locusMinAlleleSize, {12, 18});
    fill(b->locusMaxAlleleSize, {14, 24}), fill(b->locusGarzaWilliamson, {1.0, 0.5});
    set_.WriteMicrosatSummaryTables(s_, 12, std::span<double const>{});

    SummaryLine const& line = set_.summary_line;
    EXPECT_EQ(*line.ngw, (std::vector<double>{0.0, 0.0}));
    EXPECT_EQ(*line.meanNGW, 0.0);
    EXPECT_EQ(a->meanModifiedGW, 0.0);
    EXPECT_EQ(*line.totGW, 0.0);
    std::string const out = output();
    EXPECT_NE(out.find("  Mean     0.00000     0.00000     0.00000     0.00000\n"), std::string::npos) << out;
}

}  // namespace
}  // namespace quintle
