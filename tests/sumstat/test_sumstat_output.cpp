// The header and value lines built from a hand-filled record, and writing
// them to the statistics file.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "sumstat/TSumStat.h"

namespace quintle {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> splitTabs(std::string const& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1) {
        fields.push_back(line.substr(start, tab - start));
    }
    EXPECT_EQ(start, line.size()) << "every field ends with a tab";
    return fields;
}

void fill(TSumStat::Values& a, std::vector<double> const& v) {
    a.count = a.auxCount = 0;
    for (double x : v) a.Add(x);
}

TEST(SumStatLine, GroupAndPopulationPassesShareOneLine) {
    TSumStat s;
    s.checkForStat(my_string("GROUP_LEVEL POP_LEVEL MEAN_H ALL_K"));
    s.groupPass = true;
    s.meanH = 0.25;
    fill(s.kValues, {3, 4});
    s.outputHeader(STANDARD);
    s.outputStats(STANDARD);
    EXPECT_EQ(s.headerLine, "gr_K_1\tgr_K_2\tgr_mean_H\t");
    // The population pass's writer did not refill kValues: the group values
    // are written again.
    s.groupPass = false;
    s.meanH = 0.5;
    s.outputHeader(STANDARD);
    s.outputStats(STANDARD);
    EXPECT_EQ(s.headerLine, "gr_K_1\tgr_K_2\tgr_mean_H\tK_1\tK_2\tmean_H\t\n");
    EXPECT_EQ(s.statsLine, "3\t4\t0.25\t3\t4\t0.5\t\n");
}

// Names follow the lower triangle; an incomplete array (or none: a single
// sample) keeps header and values aligned.
TEST(SumStatLine, IncompletePairwiseArraysKeepHeaderAndValuesAligned) {
    for (int m : {0, 2, 4, 7}) {
        TSumStat s;
        s.checkForStat(my_string("PAIRWISE_PI GROUP_LEVEL"));
        s.groupPass = true;
        std::vector<double> v;
        for (int i = 0; i < m; ++i) v.push_back(i + 0.5);
        fill(s.pairPi, v);
        s.outputHeader(DNA);
        s.outputStats(DNA);
        ASSERT_EQ(s.headerLine.back(), '\n');
        auto const names = splitTabs(s.headerLine.substr(0, s.headerLine.size() - 1));
        auto const values = splitTabs(s.statsLine.substr(0, s.statsLine.size() - 1));
        ASSERT_EQ(names.size(), static_cast<std::size_t>(m)) << m;
        ASSERT_EQ(values.size(), static_cast<std::size_t>(m)) << m;
        // Row by row: 2_1, 3_1, 3_2, 4_1, ...
        int k = 0;
        for (int i = 2; k < m; ++i) {
            for (int j = 1; j < i && k < m; ++j, ++k) {
                EXPECT_EQ(names[k], "gr_PI_" + std::to_string(i) + "_" + std::to_string(j));
            }
        }
    }
}

TEST(SumStatLine, PassesLongerThanAMillionCharactersStayWhole) {
    // 500 samples: 124750 pairs; each value prints with 11 characters, so each
    // pass is about 1.5 million characters and both stand on one line.
    int const n = 500;
    long const m = n * (n - 1) / 2;
    TSumStat s;
    s.checkForStat(my_string("PAIRWISE_FST GROUP_LEVEL POP_LEVEL"));
    std::vector<double> v;
    for (long i = 0; i < m; ++i) v.push_back((i + 1) * 1e-5 / 3.0 + 1e-6);
    s.pairFst.Resize(m);  // the growth step of 20 would make filling slow
    fill(s.pairFst, v);
    for (bool group : {true, false}) {
        s.groupPass = group;
        s.outputHeader(DNA);
        s.outputStats(DNA);
    }
    auto const names = splitTabs(s.headerLine.substr(0, s.headerLine.size() - 1));
    auto const values = splitTabs(s.statsLine.substr(0, s.statsLine.size() - 1));
    ASSERT_EQ(names.size(), static_cast<std::size_t>(2 * m));
    ASSERT_EQ(values.size(), static_cast<std::size_t>(2 * m));
    EXPECT_EQ(names[0], "gr_FST_2_1");
    EXPECT_EQ(names[m - 1], "gr_FST_500_499");
    EXPECT_EQ(names[m], "FST_2_1");
    EXPECT_EQ(names[2 * m - 1], "FST_500_499");
    for (long i = 0; i < m; i += 997) {
        char expected[32];
        std::snprintf(expected, sizeof expected, "%g", v[i]);
        EXPECT_EQ(values[i], expected);
        EXPECT_EQ(values[m + i], expected);
    }
}

TEST(SumStatLine, ModifiedGarzaWilliamsonSummaryIsRecomputedForMicrosatellites) {
    TSumStat s;
    s.checkForStat(my_string("MEAN_NGW SD_NGW"));
    s.meanNGW = 99;
    s.sdNGW = 98;
    fill(s.ngwValues, {1, 2, 3});
    s.outputStats(DNA);  // not microsatellite data: not recomputed, not written
    EXPECT_EQ(s.meanNGW, 99);
    s.statsLine.clear();
    s.outputStats(MICROSAT);
    EXPECT_EQ(s.statsLine, "2\t1\t\n");

    // Equal values: rounding must not turn the s.d. into "nan".
    fill(s.ngwValues, {0.1, 0.1, 0.1});
    s.statsLine.clear();
    s.outputStats(MICROSAT);
    EXPECT_EQ(s.statsLine, "0.1\t0\t\n");
    // Sample s.d. with divisor n - 1, worked out by hand: values 0.2, 0.4,
    // 0.9, mean 0.5, squared deviations 0.09 + 0.01 + 0.16 = 0.26, / 2 = 0.13.
    fill(s.ngwValues, {0.2, 0.4, 0.9});
    s.outputStats(MICROSAT);
    EXPECT_DOUBLE_EQ(s.meanNGW, 0.5);
    EXPECT_NEAR(s.sdNGW, std::sqrt(0.13), 1e-12);
}

std::string readFile(fs::path const& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Header modes (1 both, 0 values, 2 header, others nothing) with and without
// the append flag; a file that cannot be opened or written is reported on
// standard error in one line naming it.
TEST(SumStatWrite, ModesAppendAndFailureReport) {
    fs::path const dir = fs::temp_directory_path() / ("quintle_sumstat_out_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::string const path = (dir / "stats.txt").string();
    std::map<int, std::string> const modeText{
        {1, "gr_mean_H\tmean_H\t\n0.5\t0.25\t\n"}, {0, "0.5\t0.25\t\n"}, {2, "gr_mean_H\tmean_H\t\n"}, {3, ""}};
    for (bool append : {false, true}) {
        for (auto const& [mode, text] : modeText) {
            TSumStat s;
            s.outFileName = path.c_str();
            s.append = append;
            s.headerLine = "gr_mean_H\tmean_H\t\n";
            s.statsLine = "0.5\t0.25\t\n";
            std::ofstream(path) << "old\n";
            s.writeToFile(mode);
            EXPECT_EQ(readFile(path), (append ? "old\n" : "") + text) << "mode " << mode << " append " << append;
        }
    }

    TSumStat s;
    s.statsLine = "1\t\n";
    s.append = true;
    std::string const missing = (dir / "no_such_dir" / "stats.txt").string();
    s.outFileName = missing.c_str();
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    s.writeToFile(0);
    std::string const err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_NE(err.find(missing), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    if (fs::exists("/dev/full")) {  // opened but not written
        s.outFileName = "/dev/full";
        ::testing::internal::CaptureStderr();
        s.writeToFile(0);
        std::string const full = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(full.find("/dev/full"), std::string::npos) << full;
    }
    fs::remove_all(dir);
}

// Many processes appending to one statistics file: every header and value
// line arrives whole (each mode's text goes out in one write).
TEST(SumStatWrite, ConcurrentAppendsNeverInterleaveInsideALine) {
    fs::path const dir = fs::temp_directory_path() / ("quintle_sumstat_cc_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::string const path = (dir / "stats.txt").string();
    auto const line = [](int child, int k) {  // long, so that a split write would show
        return "c" + std::to_string(child) + "_" + std::to_string(k) + "\t" + std::string(12000, 'a' + child) + "\t\n";
    };
    int const children = 4, linesEach = 60;
    std::vector<pid_t> pids;
    for (int c = 0; c < children; ++c) {
        pid_t const pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            TSumStat s;
            s.outFileName = path.c_str();
            s.append = true;
            for (int k = 0; k < linesEach; ++k) {
                s.statsLine = line(c, k);
                s.writeToFile(0);
            }
            ::_exit(0);
        }
        pids.push_back(pid);
    }
    for (pid_t pid : pids) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    std::ifstream in(path);
    std::vector<int> next(children, 0);
    int total = 0;
    for (std::string l; std::getline(in, l); ++total) {
        int const c = std::stoi(l.substr(1));
        ASSERT_TRUE(c >= 0 && c < children) << total;
        EXPECT_EQ(l + "\n", line(c, next[c]++)) << "line " << total;
    }
    EXPECT_EQ(total, children * linesEach);
    fs::remove_all(dir);
}

}  // namespace
}  // namespace quintle
