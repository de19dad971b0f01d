// Reading the statistics list: which keywords a line selects.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "sumstat/TSumStat.h"

namespace quintle {
namespace {

namespace fs = std::filesystem;

using Flag = bool TSumStat::*;

// Every selection flag by its keyword.
std::vector<std::pair<std::string, Flag>> const allFlags{
    {"POP_LEVEL", &TSumStat::POP_LEVEL}, {"GROUP_LEVEL", &TSumStat::GROUP_LEVEL},
    {"ALL_K", &TSumStat::ALL_K}, {"ALLSD_K", &TSumStat::ALLSD_K}, {"MEAN_K", &TSumStat::MEAN_K},
    {"SD_K", &TSumStat::SD_K}, {"TOT_K", &TSumStat::TOT_K},
    {"ALL_H", &TSumStat::ALL_H}, {"ALLSD_H", &TSumStat::ALLSD_H}, {"MEAN_H", &TSumStat::MEAN_H},
    {"SD_H", &TSumStat::SD_H}, {"TOT_H", &TSumStat::TOT_H},
    {"ALL_S", &TSumStat::ALL_S}, {"ALLSD_S", &TSumStat::ALLSD_S}, {"PRIVATE_S", &TSumStat::PRIVATE_S},
    {"MEAN_S", &TSumStat::MEAN_S}, {"SD_S", &TSumStat::SD_S}, {"TOT_S", &TSumStat::TOT_S},
    {"ALL_TAJIMAD", &TSumStat::ALL_TAJIMAD}, {"ALLSD_TAJIMAD", &TSumStat::ALLSD_TAJIMAD},
    {"MEAN_TAJIMAD", &TSumStat::MEAN_TAJIMAD}, {"SD_TAJIMAD", &TSumStat::SD_TAJIMAD},
    {"TOT_TAJIMAD", &TSumStat::TOT_TAJIMAD},
    {"ALL_FUFS", &TSumStat::ALL_FUFS}, {"ALLSD_FUFS", &TSumStat::ALLSD_FUFS},
    {"MEAN_FUFS", &TSumStat::MEAN_FUFS}, {"SD_FUFS", &TSumStat::SD_FUFS}, {"TOT_FUFS", &TSumStat::TOT_FUFS},
    {"ALL_PI", &TSumStat::ALL_PI}, {"MEAN_PI", &TSumStat::MEAN_PI}, {"SD_PI", &TSumStat::SD_PI},
    {"TOT_PI", &TSumStat::TOT_PI},
    {"ALL_GW", &TSumStat::ALL_GW}, {"ALLSD_GW", &TSumStat::ALLSD_GW}, {"MEAN_GW", &TSumStat::MEAN_GW},
    {"SD_GW", &TSumStat::SD_GW}, {"TOT_GW", &TSumStat::TOT_GW},
    {"ALL_NGW", &TSumStat::ALL_NGW}, {"ALLSD_NGW", &TSumStat::ALLSD_NGW},
    {"MEAN_NGW", &TSumStat::MEAN_NGW}, {"SD_NGW", &TSumStat::SD_NGW},
    {"ALL_RANGE", &TSumStat::ALL_RANGE}, {"ALLSD_RANGE", &TSumStat::ALLSD_RANGE},
    {"MEAN_RANGE", &TSumStat::MEAN_RANGE}, {"SD_RANGE", &TSumStat::SD_RANGE},
    {"TOT_RANGE", &TSumStat::TOT_RANGE},
    {"MEAN_ALL_DPRIME", &TSumStat::MEAN_ALL_DPRIME}, {"MEAN_ALL_R2", &TSumStat::MEAN_ALL_R2},
    {"ALL_ADJ_DPRIME", &TSumStat::ALL_ADJ_DPRIME}, {"ALL_ADJ_R2", &TSumStat::ALL_ADJ_R2},
    {"MEAN_ADJ_DPRIME", &TSumStat::MEAN_ADJ_DPRIME}, {"MEAN_ADJ_R2", &TSumStat::MEAN_ADJ_R2},
    {"FLANK_DPRIME", &TSumStat::FLANK_DPRIME}, {"FLANK_R2", &TSumStat::FLANK_R2},
    {"GLOBAL_FSTAT", &TSumStat::GLOBAL_FSTAT}, {"GLOBALSD_FSTAT", &TSumStat::GLOBALSD_FSTAT},
    {"PAIRWISE_FST", &TSumStat::PAIRWISE_FST}, {"PAIRWISE_PI", &TSumStat::PAIRWISE_PI},
    {"PAIRWISE_DMUSQR", &TSumStat::PAIRWISE_DMUSQR},
    {"hasFIS", &TSumStat::hasFIS}, {"hasFST", &TSumStat::hasFST}, {"hasFCT", &TSumStat::hasFCT},
    {"hasFSC", &TSumStat::hasFSC}, {"hasFIT", &TSumStat::hasFIT}, {"groupPass", &TSumStat::groupPass},
};

std::set<std::string> setFlags(TSumStat const& s) {
    std::set<std::string> on;
    for (auto const& [name, flag] : allFlags) {
        if (s.*flag) on.insert(name);
    }
    return on;
}

struct LineCase {
    std::string line;
    std::set<std::string> selected;
};

TEST(SumStatSelection, OneLineSelectsTheKeywordsItContains) {
    std::vector<LineCase> const cases{
        {"all_k and mean_k # TOT_K", {"ALL_K", "MEAN_K"}},
        {"ALLSD_K", {"ALLSD_K"}},
        {"ALLSD_K SD_K", {"ALLSD_K", "SD_K"}},
        {"ALLSD_K ALLSD_K", {"ALLSD_K", "SD_K"}},  // only the first occurrence is taken out
        {"xALL_Kyz", {"ALL_K"}},                    // inside a longer word
        {"ALLSD_NGW", {"ALLSD_NGW"}},
        {"ALL_NGW MEAN_NGW", {"ALL_NGW", "MEAN_NGW"}},
        {"GLOBALSD_FSTAT", {"GLOBALSD_FSTAT"}},
        {"TOT_PI", {"TOT_PI"}},
        {"pop_level,group_level\tPairwise_Fst", {"POP_LEVEL", "GROUP_LEVEL", "PAIRWISE_FST"}},
        {"MEAN_ALL_DPRIME", {"MEAN_ALL_DPRIME"}},
        {"", {}},
        {"# ALL_K POP_LEVEL", {}},
        {"ALL_K#", {"ALL_K"}},
        // Taking ALLSD_K out joins its neighbours: the keyword so formed counts
        // only when it is tested after ALLSD_K.
        {"MEAN_ALLSD_KK", {"ALLSD_K", "MEAN_K"}},
        {"SALLSD_KD_H", {"ALLSD_K", "SD_H"}},
        {"ALL_ALLSD_KK", {"ALLSD_K"}},
        {"ALLSD_SD_S", {"ALLSD_S"}},
    };
    for (auto const& c : cases) {
        TSumStat s;
        s.checkForStat(my_string(c.line.c_str()));
        EXPECT_EQ(setFlags(s), c.selected) << '"' << c.line << '"';
    }
}

class SumStatDefFile : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("quintle_ssdefs_" +
                std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        path_ = (dir_ / "ssdefs.txt").string();
    }
    void TearDown() override { fs::remove_all(dir_); }

    void write(std::string const& text) {
        std::ofstream(path_, std::ios::binary) << text;
    }

    fs::path dir_;
    std::string path_;
};

TEST_F(SumStatDefFile, LinesAccumulateAndTheLastLineNeedsNoLineEnd) {
    write("POP_LEVEL\r\n# GROUP_LEVEL\n\nmean_h # tot_h\r\nALL_K");
    TSumStat s;
    s.readDefSSFile(my_string(path_.c_str()));
    EXPECT_EQ(setFlags(s), (std::set<std::string>{"POP_LEVEL", "MEAN_H", "ALL_K"}));
    EXPECT_EQ(std::string(s.defFileName.c_str()), path_);
}

TEST_F(SumStatDefFile, VeryLongLinesAreReadWhole) {
    // Longer than any single text the string type can hold.
    std::string const filler(2'000'000, '.');
    write(filler + "TOT_H\n" + filler + filler + "FLANK_R2\nPOP_LEVEL\n");
    TSumStat s;
    s.readDefSSFile(my_string(path_.c_str()));
    EXPECT_EQ(setFlags(s), (std::set<std::string>{"TOT_H", "FLANK_R2", "POP_LEVEL"}));
}

TEST_F(SumStatDefFile, ReadingAgainStartsFromNothing) {
    write("MEAN_K\n");
    TSumStat s;
    s.ALL_H = s.hasFST = s.groupPass = true;
    s.append = s.computing = true;
    s.headerLine = "x\t\n";
    s.statsLine = "1\t\n";
    s.meanK = 4.5;
    s.readDefSSFile(my_string(path_.c_str()));
    EXPECT_EQ(setFlags(s), std::set<std::string>{"MEAN_K"});
    EXPECT_EQ(s.headerLine, "");
    EXPECT_EQ(s.statsLine, "");
    EXPECT_TRUE(s.append);
    EXPECT_TRUE(s.computing);
    EXPECT_EQ(s.meanK, 4.5);  // values belong to their writers

    // A missing or empty file selects nothing.
    s.readDefSSFile(my_string((dir_ / "absent.txt").string().c_str()));
    EXPECT_TRUE(setFlags(s).empty());
    write("# only a comment\n\n");
    s.readDefSSFile(my_string(path_.c_str()));
    EXPECT_TRUE(setFlags(s).empty());
}

TEST(SumStatSelection, ResetClearsSelectionAndLinesOnly) {
    TSumStat s;
    s.checkForStat(my_string("POP_LEVEL ALL_K PAIRWISE_PI"));
    s.hasFIT = s.groupPass = s.append = s.computing = true;
    s.headerLine = "K_1\t\n";
    s.statsLine = "3\t\n";
    s.kValues.Add(3.0);
    s.resetComputationFlags();
    EXPECT_TRUE(setFlags(s).empty());
    EXPECT_EQ(s.headerLine, "");
    EXPECT_EQ(s.statsLine, "");
    EXPECT_TRUE(s.append);
    EXPECT_TRUE(s.computing);
    EXPECT_EQ(s.kValues.count, 1);
}

}  // namespace
}  // namespace quintle
