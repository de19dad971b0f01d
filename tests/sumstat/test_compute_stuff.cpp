// The per-sample analysis loop: a later pass replaces the phase files of an
// earlier one and releases their names and streams.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "data/Population.h"
#include "project/Samples.h"
#include "run/ProfileSettings.h"
#include "run/settings.h"
#include "summary_fixture.h"
#include "support/process_state.h"

namespace quintle {
namespace {

namespace fs = std::filesystem;

// A sample whose drivers do nothing.
class Probe : public Population {
public:
    Probe(char const* name, int entries) : Population(my_string(name)) { nbEntries = entries; }
    void test_methods(settings&) override {}
    void clean_bnum() override {}
};

TEST(ComputeStuff, ALaterPassReplacesThePhaseFilesAndTheirEntries) {
    test::LogGuard log("quintle_compute_stuff");
    test::ProfileGuard profile(MICROSAT);
    test::SumStatGuard sumStat;
    fs::path const& dir = log.dir();
    settings s;
    s.ResultBaseName = (dir / "proj").string().c_str();
    s.TaskNumber = 0;  // no summary section
    s.GibbsOutputGamPhase = 1;
    {
        Samples groups;
        groups.Populations.Add(new Probe("group1", 9));
        s.GibbsNumSamples = 3;
        groups.compute_stuff(nullptr, s);
        EXPECT_EQ(s.GibbsPhaseFileNames.size(), 4u);
    }
    // The population pass, with no sampled phases asked for, releases the
    // first pass's names and streams.
    Samples none;
    s.GibbsNumSamples = 0;
    none.compute_stuff(nullptr, s);

    EXPECT_EQ(s.GibbsPhaseFileNames.size(), 1u);
    EXPECT_EQ(s.GibbsPhaseStreams.size(), 1u);
    EXPECT_EQ(testing_support::slurp(dir / "PhaseDistribution" / "Vosk_PhaseDistribution.pmb"), "Vosk_Best_Phases.pmp\n");
}

}  // namespace
}  // namespace quintle
