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
#include <sstream>
#include <string>
#include <variant>
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

std::string joinTabs(std::vector<std::string> const& fields) {
    std::string out;
    for (auto const& f : fields) out += f + "\t";
    return out;
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

TEST(SumStatLine, LineEndsAfterEachPassThatClosesIt) {
    struct Case {
        char const* keywords;
        bool groupPass;
        char const* header;
    };
    std::vector<Case> const cases{
        {"GROUP_LEVEL MEAN_H", true, "gr_mean_H\t\n"},  // the only pass
        {"GROUP_LEVEL POP_LEVEL MEAN_H", true, "gr_mean_H\t"},
        {"POP_LEVEL MEAN_H", true, "gr_mean_H\t"},      // group pass without GROUP_LEVEL
        {"MEAN_H", false, "mean_H\t\n"},
        {"POP_LEVEL", false, "\n"},                     // nothing selected still ends the line
    };
    for (auto const& c : cases) {
        TSumStat s;
        s.checkForStat(my_string(c.keywords));
        s.groupPass = c.groupPass;
        s.outputHeader(DNA);
        EXPECT_EQ(s.headerLine, c.header) << c.keywords;
    }
}

// Every row of the walk with one stored value per array and three per
// pairwise array (three samples); each column has its own value so that the
// value line shows which member feeds which column.
struct Column {
    std::string name;
    double value;
    char types;  // 'a' all, 'd' DNA and RFLP, 'D' DNA only, 'm' MICROSAT
};

TEST(SumStatLine, TheWalkFollowsItsFixedOrderAndDataTypeGates) {
    using S = TSumStat;
    struct ArrayCol { S::Values S::*array; Column col; };
    struct ScalarCol { double S::*member; Column col; };
    TSumStat s;
    s.checkForStat(my_string(
        "ALL_K ALLSD_K MEAN_K SD_K TOT_K ALL_H ALLSD_H MEAN_H SD_H TOT_H ALL_S ALLSD_S PRIVATE_S "
        "MEAN_S SD_S TOT_S ALL_TAJIMAD ALLSD_TAJIMAD MEAN_TAJIMAD SD_TAJIMAD TOT_TAJIMAD ALL_FUFS "
        "ALLSD_FUFS MEAN_FUFS SD_FUFS TOT_FUFS ALL_PI MEAN_PI SD_PI TOT_PI ALL_GW ALLSD_GW MEAN_GW "
        "SD_GW TOT_GW ALL_NGW ALLSD_NGW MEAN_NGW SD_NGW ALL_RANGE ALLSD_RANGE MEAN_RANGE SD_RANGE "
        "TOT_RANGE MEAN_ALL_DPRIME MEAN_ALL_R2 ALL_ADJ_DPRIME ALL_ADJ_R2 MEAN_ADJ_DPRIME MEAN_ADJ_R2 "
        "FLANK_DPRIME FLANK_R2 GLOBAL_FSTAT GLOBALSD_FSTAT PAIRWISE_FST PAIRWISE_PI PAIRWISE_DMUSQR "
        "POP_LEVEL"));
    s.hasFIS = s.hasFST = s.hasFCT = s.hasFSC = s.hasFIT = true;

    // In walk order; arrays and scalars interleaved as the columns appear.
    std::vector<std::variant<ArrayCol, ScalarCol>> const walk{
        ArrayCol{&S::kValues, {"K_1", 1, 'a'}}, ArrayCol{&S::kSdValues, {"Ksd_1", 2, 'a'}},
        ScalarCol{&S::meanK, {"mean_K", 3, 'a'}}, ScalarCol{&S::sdK, {"sd_K", 4, 'a'}},
        ScalarCol{&S::totK, {"tot_K", 5, 'a'}},
        ArrayCol{&S::hValues, {"H_1", 6, 'a'}}, ArrayCol{&S::hSdValues, {"Hsd_1", 7, 'a'}},
        ScalarCol{&S::meanH, {"mean_H", 8, 'a'}}, ScalarCol{&S::sdH, {"sd_H", 9, 'a'}},
        ScalarCol{&S::totH, {"tot_H", 10, 'a'}},
        ArrayCol{&S::sValues, {"S_1", 11, 'd'}}, ArrayCol{&S::sSdValues, {"Ssd_1", 12, 'd'}},
        ArrayCol{&S::privSValues, {"prS_1", 13, 'D'}},
        ScalarCol{&S::meanS, {"mean_S", 14, 'd'}}, ScalarCol{&S::sdS, {"sd_S", 15, 'd'}},
        ScalarCol{&S::totS, {"tot_S", 16, 'd'}},
        ArrayCol{&S::dValues, {"D_1", 17, 'd'}}, ArrayCol{&S::dSdValues, {"Dsd_1", 18, 'd'}},
        ScalarCol{&S::meanD, {"mean_D", 19, 'd'}}, ScalarCol{&S::sdD, {"sd_D", 20, 'd'}},
        ArrayCol{&S::fsValues, {"FS_1", 21, 'd'}}, ArrayCol{&S::fsSdValues, {"FSsd_1", 22, 'd'}},
        ScalarCol{&S::meanFS, {"mean_FS", 23, 'd'}}, ScalarCol{&S::sdFS, {"sd_FS", 24, 'd'}},
        ArrayCol{&S::piValues, {"Pi_1", 25, 'd'}},
        ScalarCol{&S::meanPi, {"mean_Pi", 26, 'd'}}, ScalarCol{&S::sdPi, {"sd_Pi", 27, 'd'}},
        ArrayCol{&S::gwValues, {"GW_1", 28, 'm'}}, ArrayCol{&S::gwSdValues, {"GWsd_1", 29, 'm'}},
        ScalarCol{&S::meanGW, {"mean_GW", 30, 'm'}}, ScalarCol{&S::sdGW, {"sd_GW", 31, 'm'}},
        ScalarCol{&S::totGW, {"tot_GW", 32, 'm'}},
        // With a single NGW value its mean is that value (recomputed).
        ArrayCol{&S::ngwValues, {"NGW_1", 33, 'm'}}, ArrayCol{&S::ngwSdValues, {"NGWsd_1", 34, 'm'}},
        ScalarCol{&S::meanNGW, {"mean_NGW", 33, 'm'}}, ScalarCol{&S::sdNGW, {"sd_NGW", 36, 'm'}},
        ArrayCol{&S::rValues, {"R_1", 37, 'm'}}, ArrayCol{&S::rSdValues, {"Rsd_1", 38, 'm'}},
        ScalarCol{&S::meanR, {"mean_R", 39, 'm'}}, ScalarCol{&S::sdR, {"sd_R", 40, 'm'}},
        ScalarCol{&S::totR, {"tot_R", 41, 'm'}},
        ArrayCol{&S::meanDprimeValues, {"mean_D'_1", 42, 'a'}},
        ArrayCol{&S::meanR2Values, {"mean_R2_1", 43, 'a'}},
        ArrayCol{&S::adjDprimeValues, {"adj_D'_1", 44, 'a'}},
        ArrayCol{&S::adjR2Values, {"adj_R2_1", 45, 'a'}},
        ArrayCol{&S::meanAdjDprimeValues, {"mean_adj_D'_1", 46, 'a'}},
        ArrayCol{&S::meanAdjR2Values, {"mean_adj_R2_1", 47, 'a'}},
        ArrayCol{&S::flankDprimeValues, {"flank_D'_1", 48, 'a'}},
        ArrayCol{&S::flankR2Values, {"flank_R2_1", 49, 'a'}},
        ScalarCol{&S::fis, {"FIS", 50, 'a'}}, ScalarCol{&S::fst, {"FST", 51, 'a'}},
        ScalarCol{&S::fct, {"FCT", 52, 'a'}}, ScalarCol{&S::fsc, {"FSC", 53, 'a'}},
        ScalarCol{&S::fit, {"FIT", 54, 'a'}},
    };
    for (auto const& entry : walk) {
        if (auto const* a = std::get_if<ArrayCol>(&entry)) {
            fill(s.*(a->array), {a->col.value});
        } else {
            auto const& c = std::get<ScalarCol>(entry);
            s.*(c.member) = c.col.value;
        }
    }
    fill(s.pairFst, {55.1, 55.2, 55.3});
    fill(s.pairPi, {56.1, 56.2, 56.3});
    fill(s.pairDmuSqr, {57.1, 57.2, 57.3});

    auto const expected = [&](TDataType type, bool values) {
        std::vector<std::string> fields;
        for (auto const& entry : walk) {
            Column const& c = std::visit([](auto const& e) -> Column const& { return e.col; }, entry);
            bool const shown = c.types == 'a' || (c.types == 'd' && (type == DNA || type == RFLP)) ||
                               (c.types == 'D' && type == DNA) || (c.types == 'm' && type == MICROSAT);
            if (!shown) continue;
            std::ostringstream v;
            v << c.value;
            fields.push_back(values ? v.str() : c.name);
        }
        std::vector<std::string> const pairNames{"FST_2_1",   "FST_3_1",   "FST_3_2",   "PI_2_1",
                                                 "PI_3_1",    "PI_3_2",    "DMUSQ_2_1", "DMUSQ_3_1",
                                                 "DMUSQ_3_2"};
        std::vector<std::string> const pairValues{"55.1", "55.2", "55.3", "56.1", "56.2",
                                                  "56.3", "57.1", "57.2", "57.3"};
        for (auto const& f : values ? pairValues : pairNames) fields.push_back(f);
        return joinTabs(fields) + "\n";
    };

    for (TDataType type : {DNA, RFLP, MICROSAT, STANDARD, FREQUENCY}) {
        s.headerLine.clear();
        s.statsLine.clear();
        s.outputHeader(type);
        s.outputStats(type);
        EXPECT_EQ(s.headerLine, expected(type, false)) << "data type " << type;
        EXPECT_EQ(s.statsLine, expected(type, true)) << "data type " << type;
    }
}

TEST(SumStatLine, ValuesAreWrittenLikePercentG) {
    std::vector<std::pair<double, std::string>> const cases{
        {1.0 / 3.0, "0.333333"}, {12.0, "12"},       {0.0, "0"},          {-2.5, "-2.5"},
        {123456.0, "123456"},    {1e6, "1e+06"},     {1234567.0, "1.23457e+06"},
        {0.0001, "0.0001"},      {0.00001, "1e-05"}, {2.0 / 3.0 * 1e-7, "6.66667e-08"},
        {99999.94, "99999.9"},   {99999.96, "100000"}, {999999.5, "1e+06"},
    };
    for (auto const& [value, text] : cases) {
        TSumStat s;
        s.checkForStat(my_string("TOT_K"));
        s.totK = value;
        s.outputStats(STANDARD);
        EXPECT_EQ(s.statsLine, text + "\t\n");
    }
}

// Names follow the lower triangle; an incomplete array (or none: a single
// sample) keeps header and values aligned.
TEST(SumStatLine, IncompletePairwiseArraysKeepHeaderAndValuesAligned) {
    for (int m : {0, 1, 2, 4, 5, 6, 7, 9, 11}) {
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
    ASSERT_GT(s.statsLine.size(), 2'002'200u);
    ASSERT_EQ(s.statsLine.back(), '\n');
    ASSERT_EQ(s.headerLine.back(), '\n');
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
    s.outputHeader(MICROSAT);  // the header alone changes nothing
    EXPECT_EQ(s.meanNGW, 99);
    s.outputStats(DNA);  // not microsatellite data: not recomputed, not written
    EXPECT_EQ(s.statsLine, "\n");
    EXPECT_EQ(s.meanNGW, 99);
    s.outputStats(MICROSAT);
    EXPECT_EQ(s.statsLine, "\n2\t1\t\n");

    // One value: the mean follows, the s.d. is kept; none: both are kept.
    fill(s.ngwValues, {0.75});
    s.statsLine.clear();
    s.outputStats(MICROSAT);
    EXPECT_EQ(s.statsLine, "0.75\t1\t\n");
    fill(s.ngwValues, {});
    s.meanNGW = 5;
    s.sdNGW = 6;
    s.statsLine.clear();
    s.outputStats(MICROSAT);
    EXPECT_EQ(s.statsLine, "5\t6\t\n");

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

TEST(SumStatLine, EmptyArraysGiveNeitherNamesNorValues) {
    TSumStat s;
    s.checkForStat(my_string("ALLSD_TAJIMAD ALL_S MEAN_S ALL_GW FLANK_R2"));
    fill(s.sValues, {4, 5});
    fill(s.gwValues, {0.5});  // no GW column for DNA data
    s.meanS = 4.5;
    s.outputHeader(DNA);
    s.outputStats(DNA);
    EXPECT_EQ(s.headerLine, "S_1\tS_2\tmean_S\t\n");
    EXPECT_EQ(s.statsLine, "4\t5\t4.5\t\n");
    // Values stay for the next pass: only their writers empty them.
    EXPECT_EQ(s.sValues.count, 2);
}

// Writing the file.
class SumStatWrite : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("quintle_sumstat_out_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        path_ = (dir_ / "stats.txt").string();
    }
    void TearDown() override { fs::remove_all(dir_); }

    static std::string read(std::string const& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    fs::path dir_;
    std::string path_;
};

TEST_F(SumStatWrite, HeaderModeAndAppendFlagChooseWhatIsWritten) {
    std::map<int, std::string> const modeText{
        {1, "gr_mean_H\tmean_H\t\n0.5\t0.25\t\n"}, {0, "0.5\t0.25\t\n"}, {2, "gr_mean_H\tmean_H\t\n"},
        {3, ""}, {-1, ""}};
    for (bool append : {false, true}) {
        for (auto const& [mode, text] : modeText) {
            TSumStat s;
            s.outFileName = path_.c_str();
            s.append = append;
            s.headerLine = "gr_mean_H\tmean_H\t\n";
            s.statsLine = "0.5\t0.25\t\n";
            std::ofstream(path_) << "old\n";
            s.writeToFile(mode);
            EXPECT_EQ(read(path_), (append ? "old\n" : "") + text) << "mode " << mode << " append " << append;

            // A missing file is created in either case.
            fs::remove(path_);
            s.writeToFile(mode);
            EXPECT_TRUE(fs::exists(path_));
            EXPECT_EQ(read(path_), text);
        }
    }
}

TEST_F(SumStatWrite, FailuresAreReportedOnStandardError) {
    TSumStat s;
    s.statsLine = "1\t\n";
    s.append = true;
    std::string const missing = (dir_ / "no_such_dir" / "stats.txt").string();
    s.outFileName = missing.c_str();
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    s.writeToFile(0);
    std::string const err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_NE(err.find(missing), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_EQ(err.back(), '\n');

    // Opened but not written.
    if (fs::exists("/dev/full")) {
        s.outFileName = "/dev/full";
        ::testing::internal::CaptureStderr();
        s.writeToFile(0);
        std::string const full = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(full.find("/dev/full"), std::string::npos) << full;
    }

    // No name: nothing asked for, nothing said.
    s.outFileName = "";
    ::testing::internal::CaptureStderr();
    s.writeToFile(1);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

TEST_F(SumStatWrite, ConcurrentAppendsNeverInterleaveInsideALine) {
    int const children = 6;
    int const linesEach = 150;
    // Long lines, so that a split write would show.
    auto const valueLine = [](int child, int k) {
        std::string line = "c" + std::to_string(child) + "_" + std::to_string(k) + "\t";
        for (int i = 0; i < 2000; ++i) line += std::to_string(child) + ".5\t";
        return line + "\n";
    };
    auto const headerLine = [](int child) { return "h" + std::to_string(child) + "\t\n"; };

    std::vector<pid_t> pids;
    for (int c = 0; c < children; ++c) {
        pid_t const pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            TSumStat s;
            s.outFileName = path_.c_str();
            s.append = true;
            s.headerLine = headerLine(c);
            for (int k = 0; k < linesEach; ++k) {
                s.statsLine = valueLine(c, k);
                s.writeToFile(1);
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

    std::istringstream in(read(path_));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line + "\n");
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(2 * children * linesEach));
    std::vector<int> nextLine(children, 0);
    for (std::size_t i = 0; i < lines.size(); i += 2) {
        ASSERT_EQ(lines[i][0], 'h') << "line " << i;
        int const c = std::stoi(lines[i].substr(1));
        ASSERT_TRUE(c >= 0 && c < children);
        EXPECT_EQ(lines[i], headerLine(c));
        EXPECT_EQ(lines[i + 1], valueLine(c, nextLine[c]++)) << "line " << i + 1;
    }
    for (int c = 0; c < children; ++c) EXPECT_EQ(nextLine[c], linesEach);
}

}  // namespace
}  // namespace quintle
