// The per-sample analysis loop: a later pass replaces the phase files of an
// earlier one and releases their names and streams.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "data/Population.h"
#include "data/TPhenotype.h"
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

// The sample blocks of the phase files count individuals for genotypic data
// (the reader counts each individual's two lines as entries), and the
// profile names the missing-data character the phaser writes.
TEST(ComputeStuff, PhaseFilesCountIndividualsAndNameTheMissingDataCharacter) {
    test::LogGuard log("quintle_compute_stuff");
    test::ProfileGuard profile(DNA);
    test::SumStatGuard sumStat;
    fs::path const& dir = log.dir();
    settings s;
    s.ResultBaseName = (dir / "proj").string().c_str();
    s.TaskNumber = 0;
    s.GibbsOutputGamPhase = 1;
    s.GibbsNumSamples = 1;
    Samples set;
    set.MissingData = 'N';
    auto* diploid = new Probe("diploid", 6);
    diploid->profile.GenotypicData = 1;
    diploid->phenotypes.add(new TPhenotype(my_string("x"), 1.0));
    diploid->phenotypes.add(new TPhenotype(my_string("y"), 2.0));
    auto* haploid = new Probe("haploid", 5);
    haploid->profile.GenotypicData = 0;
    set.Populations.Add(diploid);
    set.Populations.Add(haploid);
    set.compute_stuff(nullptr, s);

    for (char const* name : {"Vosk_Best_Phases.pmp", "Vosk_EstimatedPhase#0.pmp"}) {
        std::string const f = testing_support::slurp(dir / "PhaseDistribution" / name);
        EXPECT_NE(f.find("\tMissingData='N'\n"), std::string::npos) << f;
        EXPECT_NE(f.find("SampleName=\"diploid\"\n\t\tSampleSize=3\n"), std::string::npos) << f;
        EXPECT_NE(f.find("SampleName=\"haploid\"\n\t\tSampleSize=5\n"), std::string::npos) << f;
    }
}

TEST(ComputeStuff, NegativeSampleCountWritesTheBestPhasesOnly) {
    test::LogGuard log("quintle_compute_stuff");
    test::ProfileGuard profile(DNA);
    test::SumStatGuard sumStat;
    fs::path const& dir = log.dir();
    settings s;
    s.ResultBaseName = (dir / "proj").string().c_str();
    s.TaskNumber = 0;
    s.GibbsOutputGamPhase = 1;
    s.GibbsNumSamples = -4;
    Samples set;
    set.Populations.Add(new Probe("p", 2));
    set.compute_stuff(nullptr, s);
    EXPECT_EQ(s.GibbsPhaseFileNames.size(), 1u);
    EXPECT_EQ(testing_support::slurp(dir / "PhaseDistribution" / "Vosk_PhaseDistribution.pmb"), "Vosk_Best_Phases.pmp\n");
    EXPECT_NE(testing_support::slurp(dir / "PhaseDistribution" / "Vosk_Best_Phases.pmp").find("\tMissingData='?'\n"),
              std::string::npos);
}

}  // namespace
}  // namespace quintle
