// The per-sample analysis loop: a later pass replaces the phase files of an
// earlier one and releases their names and streams.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "core/Errors.h"
#include "data/Population.h"
#include "project/Samples.h"
#include "run/ProfileSettings.h"
#include "run/settings.h"
#include "summary_fixture.h"

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
    fs::path const dir = fs::temp_directory_path() / ("quintle_compute_stuff_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    E.init_log_file(my_string((dir / "log.txt").string().c_str()), false);
    TDataType const savedType = ProfileSettings::DataType;
    ProfileSettings::DataType = MICROSAT;
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

    E.CloseLog_file();
    E.init_log_file(my_string((dir / "absent" / "log.txt").string().c_str()), false);
    ProfileSettings::DataType = savedType;
    fs::remove_all(dir);
}

}  // namespace
}  // namespace quintle
