// Settings values against what their use can hold.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>

#include "run/settings.h"
#include "run/settings_checks.h"
#include "support/process_state.h"

namespace quintle {
namespace {


constexpr std::int64_t every_task = 0x1FFFF;

settings asking_everything() {
    settings s;
    s.TaskNumber = every_task;
    s.GibbsOutputGamPhase = 1;
    s.GibbsInferGamPhase = 1;
    s.ComputePopSFS = 1;
    s.DetectSelectedLoci = 1;
    return s;
}

TEST(SettingsInRange, DefaultsAndLargeRealisticValuesPass) {
    test::LogGuard log;
    settings s = asking_everything();
    EXPECT_TRUE(settings_in_range(s));
    s.NumPermutationsAMOVA = 10000000;
    s.NumPermutationsFST = 1000000000;
    s.NumSimulFuTest = 100000;
    s.MarkovChainStepsHW = 100000000;
    s.TransitionWeight = 10.0;
    s.GammaAValue = 0.0;
    s.GammaAValueAMOVA = 1e6;
    EXPECT_TRUE(settings_in_range(s));
    s.NumPermutationsAMOVA = 0;  // no test at all
    s.EpsilonValue = 0.0;        // exact convergence
    s.NumBootSFS = 10000;
    s.InitialConditionsEM = 1000;
    s.NumberOfGroupsForFDist2 = 100;
    s.NumberOfDemesForFDist2 = 10000;
    EXPECT_TRUE(settings_in_range(s));
    // The lowest counts that mean something, and values their analyses
    // take as they are.
    s.NumberOfSimsForFDist2 = 0;  // the scan decides whether it needs any
    s.NumberOfDemesForFDist2 = 1;
    s.NumPermutPopDiff = -1;      // the test returns at once
    s.TargetHetLowBound = 0.8;    // bounds the wrong way round: drawn between as given
    s.TargetHetHighBound = 0.2;
    EXPECT_TRUE(settings_in_range(s));
    EXPECT_EQ(log.text().find("ERROR"), std::string::npos) << log.text();
}

TEST(SettingsInRange, EachValueOutOfRangeIsNamedAndRefused) {
    double const nan = std::numeric_limits<double>::quiet_NaN();
    double const inf = std::numeric_limits<double>::infinity();
    struct Case {
        char const* key;
        std::function<void(settings&)> set;
        char const* shown;
    } const cases[] = {
        {"NumPermutationsAMOVA", [](settings& s) { s.NumPermutationsAMOVA = 2147483648; }, "2147483648"},
        // The reader keeps a longer number at the type's limit.
        {"NumPermutationsFST", [](settings& s) { s.NumPermutationsFST = INT64_MAX; }, "9223372036854775807"},
        {"NumPermMantel", [](settings& s) { s.NumPermMantel = 3000000000; }, "3000000000"},
        {"NumSimulFuTest", [](settings& s) { s.NumSimulFuTest = INT_MAX; }, "2147483647"},
        {"MarkovChainStepsLD", [](settings& s) { s.MarkovChainStepsLD = INT64_MAX; }, "9223372036854775807"},
        {"GibbsNumSamples", [](settings& s) { s.GibbsNumSamples = 2000000; }, "2000000"},
        {"TransitionWeight", [](settings& s) { s.TransitionWeight = 1e40; }, "1e+40"},
        {"TranversionWeight", [=](settings& s) { s.TranversionWeight = -1.0; }, "-1"},
        {"DeletionWeight", [=](settings& s) { s.DeletionWeight = nan; }, "nan"},
        {"GammaAValue", [=](settings& s) { s.GammaAValue = -0.5; }, "-0.5"},
        {"GammaAValueAMOVA", [=](settings& s) { s.GammaAValueAMOVA = inf; }, "inf"},
        // One folder of files per replicate.
        {"NumBootSFS", [](settings& s) { s.NumBootSFS = 40000; }, "40000"},
        // 2^31 and 2^63 as the reader keeps them in an int.
        {"InitialConditionsEM", [](settings& s) { s.InitialConditionsEM = INT_MAX; }, "2147483647"},
        {"InitialCondEMLD", [](settings& s) { s.InitialCondEMLD = INT_MAX; }, "2147483647"},
        {"NumBootstrapReplicatesEM", [](settings& s) { s.NumBootstrapReplicatesEM = INT_MAX; }, "2147483647"},
        {"GibbsBurnIn", [](settings& s) { s.GibbsBurnIn = INT_MAX; }, "2147483647"},
        {"EpsilonValue", [](settings& s) { s.EpsilonValue = -1e-7; }, "-1e-07"},
        {"EpsilonValue", [=](settings& s) { s.EpsilonValue = nan; }, "nan"},
        {"FSTSignifLevel", [=](settings& s) { s.FSTSignifLevel = nan; }, "nan"},
        {"TargetHetHighBound", [](settings& s) { s.TargetHetHighBound = 1.5; }, "1.5"},
        // The scan keeps two values per simulated locus and storage per deme.
        {"NumberOfSimsForFDist2", [](settings& s) { s.NumberOfSimsForFDist2 = 20000000; }, "20000000"},
        {"NumberOfDemesForFDist2", [](settings& s) { s.NumberOfDemesForFDist2 = INT_MAX; }, "2147483647"},
        {"NumberOfGroupsForFDist2", [](settings& s) { s.NumberOfGroupsForFDist2 = 5000000; }, "5000000"},
        // Counts below what they can mean: a negative number of permutations
        // or simulations, no deme to share theta out among.
        {"NumPermutationsAMOVA", [](settings& s) { s.NumPermutationsAMOVA = -5; }, "-5"},
        {"NumberOfSimsForFDist2", [](settings& s) { s.NumberOfSimsForFDist2 = -100; }, "-100"},
        {"NumberOfDemesForFDist2", [](settings& s) { s.NumberOfDemesForFDist2 = 0; }, "0"},
        {"NumberOfDemesForFDist2", [](settings& s) { s.NumberOfDemesForFDist2 = -3; }, "-3"},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.key);
        test::LogGuard log;
        settings s = asking_everything();
        c.set(s);
        EXPECT_FALSE(settings_in_range(s));
        std::string const text = log.text();
        EXPECT_NE(text.find(std::string("\tValue ") + c.shown + " of setting \"" + c.key + "\" is outside"),
                  std::string::npos)
            << text;
        EXPECT_NE(text.find(std::string("settings_in_range() (") + c.key + "=" + c.shown +
                            ")\" : invalid value assigned to keyword"),
                  std::string::npos)
            << text;
    }
}

// A count is only checked when an asked analysis reads it.
TEST(SettingsInRange, CountsOfAnalysesNotAskedForAreLeftAlone) {
    test::LogGuard log;
    settings s;
    s.TaskNumber = 1;
    s.NumPermutationsAMOVA = 2147483648;
    s.NumPermutationsFST = INT64_MAX;
    s.GibbsNumSamples = INT_MAX;
    s.GibbsBurnIn = INT_MAX;
    s.InitialConditionsEM = INT_MAX;
    s.NumBootSFS = INT_MAX;
    EXPECT_TRUE(settings_in_range(s));
    s.TaskNumber = 1 | 0x200;
    EXPECT_FALSE(settings_in_range(s));
    EXPECT_NE(log.text().find("NumPermutationsAMOVA"), std::string::npos);
    EXPECT_EQ(log.text().find("NumPermutationsFST"), std::string::npos);
}

}  // namespace
}  // namespace quintle
