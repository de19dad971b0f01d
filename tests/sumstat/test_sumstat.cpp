// Reading the statistics list: which keywords a line selects.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

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

TEST(SumStatSelection, OneLineSelectsTheKeywordsItContains) {
    std::vector<std::pair<std::string, std::set<std::string>>> const cases{
        {"all_k and mean_k # TOT_K", {"ALL_K", "MEAN_K"}},
        {"ALLSD_K SD_K", {"ALLSD_K", "SD_K"}},
        {"ALLSD_K ALLSD_K", {"ALLSD_K", "SD_K"}},  // only the first occurrence is taken out
        {"xALL_Kyz", {"ALL_K"}},                    // inside a longer word
        {"pop_level,group_level\tPairwise_Fst", {"POP_LEVEL", "GROUP_LEVEL", "PAIRWISE_FST"}},
        {"# ALL_K POP_LEVEL", {}},
        {"ALL_K#", {"ALL_K"}},
        // Taking ALLSD_K out joins its neighbours: the keyword so formed counts
        // only when it is tested after ALLSD_K.
        {"MEAN_ALLSD_KK", {"ALLSD_K", "MEAN_K"}},
        {"ALL_ALLSD_KK", {"ALLSD_K"}},
        {"ALLSD_SD_S", {"ALLSD_S"}},
    };
    for (auto const& [line, selected] : cases) {
        TSumStat s;
        s.checkForStat(my_string(line.c_str()));
        EXPECT_EQ(setFlags(s), selected) << '"' << line << '"';
    }
}

// Comments, CR LF ends, a last line without its end, and lines longer than
// any single text the string type can hold are all read whole.
TEST(SumStatDefFile, LinesOfAnyLengthAccumulate) {
    fs::path const path = fs::temp_directory_path() / ("quintle_ssdefs_" + std::to_string(::getpid()) + ".txt");
    std::string const filler(2'000'000, '.');
    std::ofstream(path, std::ios::binary) << "POP_LEVEL\r\n# GROUP_LEVEL\n\nmean_h # tot_h\r\n" << filler << "TOT_K\n"
                                          << filler << filler << "FLANK_R2\nALL_K";
    TSumStat s;
    s.readDefSSFile(my_string(path.string().c_str()));
    fs::remove(path);
    EXPECT_EQ(setFlags(s), (std::set<std::string>{"POP_LEVEL", "MEAN_H", "TOT_K", "FLANK_R2", "ALL_K"}));
}

// A list that is there but cannot be read whole selects nothing and says
// why: the run then fails the project rather than give a line without the
// columns asked for. A missing list is no problem (nothing is asked for).
TEST(SumStatDefFile, ListsThatCannotBeReadWholeSayWhy) {
    fs::path const dir = fs::temp_directory_path() / ("quintle_ssdefs_dir_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    ::mkfifo((dir / "pipe.txt").c_str(), 0644);
    struct Case {
        fs::path path;
        std::string problem;
    };
    Case const cases[] = {
        {dir / "absent.txt", ""},
        {dir / "pipe.txt", "not a regular file (a device or a pipe)"},
        {"/dev/zero", "not a regular file (a device or a pipe)"},
        {"/proc/self/status", "a file of the kernel (/proc, /sys), not a data file"},
        {dir, "a folder, not a regular file"},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.path.string());
        TSumStat s;
        s.POP_LEVEL = true;
        s.defFileProblem = "earlier";
        s.readDefSSFile(my_string(c.path.string().c_str()));
        EXPECT_EQ(s.defFileProblem, c.problem);
        EXPECT_EQ(setFlags(s), std::set<std::string>{});
    }
    fs::remove_all(dir);
}

}  // namespace
}  // namespace quintle
