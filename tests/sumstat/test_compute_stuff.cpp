// The per-sample analysis loop: drivers and the B-table reset, the timing
// lines of the log, the LD histogram file and the phase files.

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/Errors.h"
#include "data/Population.h"
#include "data/TAllele.h"
#include "data/TAlleleDB.h"
#include "data/TLocus.h"
#include "project/Samples.h"
#include "run/ProfileSettings.h"
#include "run/settings.h"
#include "summary_fixture.h"

namespace quintle {
namespace {

namespace fs = std::filesystem;

using testing_support::slurp;

// A sample that records what the loop asks of it.
class Probe : public Population {
public:
    Probe(char const* name, int entries, std::vector<std::string>& calls) : Population(my_string(name)), calls_(calls) {
        nbEntries = entries;
    }
    void test_methods(settings&) override { calls_.push_back("test " + std::string(name.c_str())); }
    void clean_bnum() override { calls_.push_back("clean " + std::string(name.c_str())); }

private:
    std::vector<std::string>& calls_;
};

class ComputeStuff : public ::testing::Test {
protected:
    void SetUp() override {
        static std::atomic<int> serial{0};
        dir_ = fs::temp_directory_path() /
               ("quintle_compute_stuff_" + std::to_string(::getpid()) + "_" + std::to_string(serial++));
        fs::create_directories(dir_);
        E.init_log_file(my_string((dir_ / "log.txt").string().c_str()), false);
        s_.ResultBaseName = (dir_ / "proj").string().c_str();
        s_.LDHistoFileName = (dir_ / "ld_dis.xl").string().c_str();
        s_.TaskNumber = 0;  // no summary section
        savedType_ = ProfileSettings::DataType;
        ProfileSettings::DataType = MICROSAT;
    }
    void TearDown() override {
        E.CloseLog_file();
        E.init_log_file(my_string((dir_ / "absent" / "log.txt").string().c_str()), false);
        ProfileSettings::DataType = savedType_;
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    void add(Samples& set, char const* name, int entries) { set.Populations.Add(new Probe(name, entries, calls_)); }
    std::string log() {
        _AOS_->flush();
        return slurp(dir_ / "log.txt");
    }
    fs::path phaseDir() const { return dir_ / "PhaseDistribution"; }

    static std::string profile(char const* title, int n) {
        return std::string("\n[Profile]\n\tTitle=\"") + title + "\"\n\tNbSamples=" + std::to_string(n) +
               "\n\tGenotypicData=1\n\tGameticPhase=1\n\tRecessiveData=0\n\tDataType=MICROSAT\n"
               "\tLocusSeparator=TAB\n\tMissingData='?'\n\n[Data]\n\t[[Samples]]\n\n";
    }

    fs::path dir_;
    settings s_;
    std::vector<std::string> calls_;
    TDataType savedType_{};
};

TEST_F(ComputeStuff, RunsEveryDriverInOrderThenResetsTheSharedTableOnce) {
    Samples set;
    add(set, "first", 4);
    add(set, "second", 2);
    add(set, "third", 1);
    // Standard indices: the project's alleles get one frequency per sample,
    // and the summary section follows the drivers.
    int const savedNumPop = TAllele::numPop;
    TAlleleDB db;
    db.InsertAllPos(0, my_string("A"), 1.0);
    s_.project_allele_db = &db;
    s_.TaskNumber = 1;
    std::fstream result(dir_ / "res.htm", std::ios::in | std::ios::out | std::ios::trunc);
    s_.ResultFile = &result;

    EXPECT_EQ(set.compute_stuff(nullptr, s_), 1);

    EXPECT_EQ(calls_, (std::vector<std::string>{"test first", "test second", "test third", "clean first"}));
    TAllele const* a = db.loci.data[0]->alleles.data[0];
    ASSERT_TRUE(a->popFreq);
    EXPECT_EQ(a->popFreq.size(), 3);
    result.flush();
    EXPECT_NE(slurp(dir_ / "res.htm").find("== Summary of computations done within populations\n"), std::string::npos);
    s_.ResultFile = nullptr;
    TAllele::numPop = savedNumPop;
    std::string const text = log();
    for (char const* name : {"first", "second", "third"}) {
        std::string const line = std::string("\nPopulation '") + name + "' : \ndone in ";
        EXPECT_NE(text.find(line), std::string::npos) << text;
    }
    EXPECT_NE(text.find(" ms\n"), std::string::npos);
    EXPECT_FALSE(fs::exists(phaseDir()));
}

TEST_F(ComputeStuff, LinkageTaskEmptiesAnExistingHistogramFileOnly) {
    Samples set;
    s_.TaskNumber = 16;
    set.compute_stuff(nullptr, s_);
    EXPECT_FALSE(fs::exists(dir_ / "ld_dis.xl"));

    std::ofstream(dir_ / "ld_dis.xl") << "an earlier pass\n";
    set.compute_stuff(nullptr, s_);
    ASSERT_TRUE(fs::exists(dir_ / "ld_dis.xl"));
    EXPECT_EQ(fs::file_size(dir_ / "ld_dis.xl"), 0u);
}

TEST_F(ComputeStuff, PhaseFilesHoldEverySampleFrameAndAStructure) {
    Samples set;
    add(set, "p1", 5);
    add(set, "p2", 3);
    add(set, "p3", 8);
    s_.GibbsOutputGamPhase = 1;
    s_.GibbsNumSamples = 3;

    set.compute_stuff(nullptr, s_);

    EXPECT_EQ(std::string(settings::gibbs_BatchFilename.c_str()),
              (phaseDir() / "Vosk_PhaseDistribution.pmb").string());
    EXPECT_EQ(slurp(phaseDir() / "Vosk_PhaseDistribution.pmb"),
              "Vosk_Best_Phases.pmp\nVosk_EstimatedPhase#0.pmp\nVosk_EstimatedPhase#1.pmp\n"
              "Vosk_EstimatedPhase#2.pmp\n");
    ASSERT_EQ(s_.GibbsPhaseFileNames.size(), 4u);
    ASSERT_EQ(s_.GibbsPhaseStreams.size(), 4u);
    EXPECT_EQ(std::string(s_.GibbsPhaseFileNames[3].c_str()), (phaseDir() / "Vosk_EstimatedPhase#2.pmp").string());
    for (auto const& f : s_.GibbsPhaseStreams) EXPECT_FALSE(f.is_open());

    std::string blocks;
    for (auto [name, size] : {std::pair{"p1", 5}, {"p2", 3}, {"p3", 8}})
        blocks += std::string("\t\tSampleName=\"") + name + "\"\n\t\tSampleSize=" + std::to_string(size) +
                  "\n\t\tSampleData= {\n\n\t\t}\n";
    std::string const structure =
        "[[Structure]]\nStructureName=\"Simulated data\"\nNbGroups=1\nGroup={\n"
        "    \"p1\"\n    \"p2\"\n    \"p3\"\n\t}\n";
    EXPECT_EQ(slurp(phaseDir() / "Vosk_Best_Phases.pmp"),
              profile("Modal phase estimated with the Vosk algorithm", 3) + blocks + structure);
    EXPECT_EQ(slurp(phaseDir() / "Vosk_EstimatedPhase#1.pmp"),
              profile("Genotypic data with phase estimated with the Vosk algorithm", 3) + blocks + structure);
}

TEST_F(ComputeStuff, ALaterPassReplacesThePhaseFilesAndTheirEntries) {
    s_.GibbsOutputGamPhase = 1;
    {
        Samples groups;
        add(groups, "group1", 9);
        s_.GibbsNumSamples = 3;
        groups.compute_stuff(nullptr, s_);
    }
    // The population pass: no sampled phases asked for, an empty set (no
    // driver, no timing line, no B-table reset).
    calls_.clear();
    Samples none;
    s_.GibbsNumSamples = 0;
    none.compute_stuff(nullptr, s_);
    EXPECT_TRUE(calls_.empty());
    std::string const text = log();
    EXPECT_EQ(text.find("Population '"), text.rfind("Population '")) << "only group1's line";

    ASSERT_EQ(s_.GibbsPhaseFileNames.size(), 1u);
    ASSERT_EQ(s_.GibbsPhaseStreams.size(), 1u);
    EXPECT_EQ(slurp(phaseDir() / "Vosk_PhaseDistribution.pmb"), "Vosk_Best_Phases.pmp\n");
    EXPECT_EQ(slurp(phaseDir() / "Vosk_Best_Phases.pmp"),
              profile("Modal phase estimated with the Vosk algorithm", 0) +
                  "[[Structure]]\nStructureName=\"Simulated data\"\nNbGroups=1\nGroup={\n\t}\n");

    // A negative count is taken as none.
    s_.GibbsNumSamples = -4;
    none.compute_stuff(nullptr, s_);
    EXPECT_EQ(s_.GibbsPhaseFileNames.size(), 1u);
    EXPECT_EQ(slurp(phaseDir() / "Vosk_PhaseDistribution.pmb"), "Vosk_Best_Phases.pmp\n");
}

}  // namespace
}  // namespace quintle
