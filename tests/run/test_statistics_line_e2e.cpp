// The main job end to end: the real program on the bundled example project,
// and the statistics line compared with values worked out independently.
//
// Reference values: a separate short python3 calculation over the example's
// sequences (K; H = n/(n-1) (1 - sum p_i^2); S; Pi as the mean number of
// differences over all pairs of gene copies; Tajima's D from the closed form
// with a1, a2, e1, e2; Fu's Fs = ln(S'/(1-S')) with S' = P(K >= k_obs) under
// the Ewens distribution at theta = Pi, using exact unsigned Stirling numbers;
// the AMOVA of two groups {North} {Centre, South} with the number of
// differences as squared distance and the usual n, n', n'' coefficients, and
// the same on each pair of samples for the pairwise FST).

#include <gtest/gtest.h>

#include "core/scratch.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

fs::path const examples_dir = fs::path(QUINTLE_TEST_DATA_DIR) / ".." / ".." / "examples";

using quintle::scratch::read_file;
using quintle::scratch::write_file;

std::vector<std::string> split_tabs(std::string const& line) {
    std::vector<std::string> fields;
    std::stringstream in(line);
    std::string field;
    while (std::getline(in, field, '\t'))
        if (!field.empty()) fields.push_back(field);
    return fields;
}

class ExampleRun : public ::testing::Test {
protected:
    void SetUp() override {
        work = fs::temp_directory_path() / ("quintle_stats_e2e_" + std::to_string(::getpid()));
        fs::remove_all(work);
        fs::create_directories(work);
        for (char const* f : {"example.pmp", "pml_run.pms", "ssdefs.txt"}) fs::copy_file(examples_dir / f, work / f);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(work, ec);
    }

    int run(std::string const& arguments, std::string const& seed = "11") {
        std::string const command = "cd '" + work.string() + "' && QUINTLE_SEED=" + seed + " '" + QUINTLE_BINARY +
                                    "' " + arguments + " > console.txt 2>&1";
        int const status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // Header names mapped to the values of the line that follows them.
    std::map<std::string, std::string> columns(std::string const& text) {
        std::string const header = text.substr(0, text.find('\n'));
        std::string const values = text.substr(header.size() + 1, text.find('\n', header.size() + 1) - header.size() - 1);
        std::vector<std::string> const names = split_tabs(header), cells = split_tabs(values);
        EXPECT_EQ(names.size(), cells.size());
        std::map<std::string, std::string> out;
        for (std::size_t i = 0; i < names.size() && i < cells.size(); ++i) out[names[i]] = cells[i];
        return out;
    }

    fs::path work;
};

TEST_F(ExampleRun, StatisticsLineMatchesIndependentValues) {
    ASSERT_EQ(run("example.pmp stats.txt 0 1"), 0);
    std::string const text = read_file(work / "stats.txt");
    auto const c = columns(text);

    // Printed with six significant digits.
    std::map<std::string, std::string> const expected = {
        {"K_1", "4"},          {"K_2", "4"},          {"K_3", "4"},           {"mean_K", "4"},
        {"H_1", "0.777778"},   {"H_2", "0.822222"},   {"H_3", "0.733333"},    {"mean_H", "0.777778"},
        {"S_1", "3"},          {"S_2", "3"},          {"S_3", "3"},           {"mean_S", "3"},
        {"D_1", "-0.129722"},  {"D_2", "0.699617"},   {"D_3", "-0.506695"},   {"mean_D", "0.0210669"},
        {"FS_1", "-0.83052"},  {"FS_2", "-0.384079"}, {"FS_3", "-1.07085"},   {"mean_FS", "-0.761818"},
        {"Pi_1", "1.02222"},   {"Pi_2", "1.26667"},   {"Pi_3", "0.911111"},   {"mean_Pi", "1.06667"},
        {"FST", "0.53824"},    {"FCT", "0.142857"},   {"FSC", "0.461279"},
        // Two-sample AMOVA of each pair, the same calculation on two samples.
        {"FST_2_1", "0.237037"}, {"FST_3_1", "0.688172"}, {"FST_3_2", "0.455556"},
    };
    for (auto const& [name, value] : expected) {
        ASSERT_TRUE(c.count(name)) << name << " missing from\n" << text;
        EXPECT_EQ(c.at(name), value) << name;
    }
}

TEST_F(ExampleRun, SameSeedGivesTheSameLineAndAppendAddsOneLine) {
    ASSERT_EQ(run("example.pmp a.txt 0 1", "5"), 0);
    ASSERT_EQ(run("example.pmp b.txt 0 1", "5"), 0);
    EXPECT_EQ(read_file(work / "a.txt"), read_file(work / "b.txt"));

    // Appending without a header adds exactly the value line again.
    std::string const first = read_file(work / "a.txt");
    ASSERT_EQ(run("example.pmp a.txt 1 0", "5"), 0);
    std::string const second = read_file(work / "a.txt");
    std::string const value_line = first.substr(first.find('\n') + 1);
    EXPECT_EQ(second, first + value_line);
}

// A project as a spreadsheet on another system might write it: CRLF line
// ends, tabs, a comment, a locus separator inside the sequences and a sample
// read from an external file. K, H and S worked out by hand: sample A holds
// ACGT x2 and ACGA x2 (K 2, S 1, H = 4/3 (1 - 1/2) = 0.666667); sample B
// holds ACGT x1 and TCGT x2 (K 2, S 1, H = 3/2 (1 - 5/9) = 0.666667).
TEST_F(ExampleRun, CrlfProjectWithSeparatorAndExternalSampleReadsCleanly) {
    std::ofstream(work / "p.pmp", std::ios::binary)
        << "[Profile]\r\n\tTitle=\"crlf\"  # a comment\r\n\tNbSamples=2\r\n\tDataType=DNA\r\n"
           "\tGenotypicData=0\r\n\tLocusSeparator=','\r\n\tMissingData='?'\r\n[Data]\r\n[[Samples]]\r\n"
           "\tSampleName=\"A\"\r\n\tSampleSize=4\r\n\tSampleData={\r\n\t\th1\t2\tA,C,G,T\r\n"
           "\t\th2\t2\tA,C,G,A\r\n}\r\n\tSampleName=\"B\"\r\n\tSampleSize=3\r\n"
           "\tSampleData= EXTERN \"b.txt\"\r\n";
    std::ofstream(work / "b.txt", std::ios::binary) << "h1\t1\tA,C,G,T\r\nh3\t2\tT,C,G,T\r\n";
    std::ofstream(work / "ssdefs.txt", std::ios::binary) << "POP_LEVEL\r\nALL_K ALL_S ALL_H\r\n";
    ASSERT_EQ(run("p.pmp st.txt 0 1"), 0);
    EXPECT_EQ(read_file(work / "st.txt"),
              "K_1\tK_2\tH_1\tH_2\tS_1\tS_2\t\n2\t2\t0.666667\t0.666667\t1\t1\t\n");
    std::string const log = read_file(work / "p.res" / "Pellomar_log.txt");
    EXPECT_NE(log.find("Successful run of p.pmp"), std::string::npos) << log;
    EXPECT_EQ(log.find("ERROR"), std::string::npos) << log;
    // The cleaned copies live in the result folder and are gone afterwards.
    EXPECT_FALSE(fs::exists(work / "p.res" / "p.pmp"));
    EXPECT_FALSE(fs::exists(work / "p.res" / "b.txt"));
}

// Both levels on one line, with s.d., totals and private sites. Worked by
// hand from the example: pooling Centre and South gives 20 copies in 7
// haplotypes (3, 3, 7, 2, 2, 2, 1; c3 and s1 are the same sequence), so
// K = 7, H = 20/19 (1 - 80/400) = 0.842105, and S = 6. Each sample's three
// polymorphic sites are its own (private S = 3), nine in all; the pooled
// group Centre+South keeps six private sites. The s.d. of Pi (1.02222,
// 1.26667, 0.911111) is 0.181897; the s.d. of H is 0.0444444. TOT_K counts
// the project's haplotype list: twelve definitions.
TEST_F(ExampleRun, GroupAndPopulationLevelsShareOneLine) {
    std::ofstream(work / "ssdefs.txt", std::ios::binary)
        << "GROUP_LEVEL POP_LEVEL\nALL_K SD_K TOT_K\nALL_H SD_H\nALL_S PRIVATE_S TOT_S\nSD_PI\n";
    ASSERT_EQ(run("example.pmp stats.txt 0 1"), 0);
    std::string const text = read_file(work / "stats.txt");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2) << text;
    EXPECT_EQ(text.rfind("gr_K_1\tgr_K_2\tgr_sd_K\tgr_tot_K\t", 0), 0u) << text;
    auto const c = columns(text);
    std::map<std::string, std::string> const expected = {
        {"gr_K_1", "4"},      {"gr_K_2", "7"},        {"gr_sd_K", "2.12132"}, {"gr_tot_K", "12"},
        {"gr_H_2", "0.842105"}, {"gr_S_1", "3"},      {"gr_S_2", "6"},        {"gr_prS_1", "3"},
        {"gr_prS_2", "6"},    {"gr_tot_S", "9"},      {"sd_K", "0"},          {"tot_K", "12"},
        {"sd_H", "0.0444444"}, {"prS_1", "3"},        {"prS_2", "3"},         {"prS_3", "3"},
        {"tot_S", "9"},       {"sd_Pi", "0.181897"},
    };
    for (auto const& [name, value] : expected) {
        ASSERT_TRUE(c.count(name)) << name << " missing from\n" << text;
        EXPECT_EQ(c.at(name), value) << name;
    }
}

// Every simulation-based analysis of a DNA sample, twice with one seed: the
// statistics line, the batch files and the result file (apart from the
// lines that carry the date or computing times) are identical.
TEST_F(ExampleRun, FixedSeedReproducesEverySimulationBasedOutput) {
    // Diversity 1, molecular diversity 2, mismatch 4, Tajima 64,
    // Ewens-Watterson 128, Chakraborty 256, Fu 16384.
    std::string settings = read_file(work / "pml_run.pms");
    settings.replace(settings.find("TaskNumber=17987"), 16, "TaskNumber=16839");
    std::ofstream(work / "pml_run.pms", std::ios::binary) << settings;
    std::ofstream(work / "ssdefs.txt", std::ios::binary)
        << "POP_LEVEL\nALL_K ALL_H ALL_S ALL_PI ALL_TAJIMAD ALL_FUFS\n";
    std::ofstream(work / "glbstreams.txt", std::ios::binary)
        << "flags\n_MOLECULAR_DIVERSITY_ _MISMATCH_ _TAJIMA_ _FU_FS_ _EWENS_WATTERSON_ _CHAKRABORTY_\n";

    auto one_run = [&](std::string const& tag) {
        EXPECT_EQ(run("example.pmp stats.txt 0 1", "77"), 0);
        fs::create_directories(work / tag);
        for (auto const& entry : fs::directory_iterator(work))
            if (entry.path().extension() == ".sum" || entry.path().filename() == "stats.txt")
                fs::rename(entry.path(), work / tag / entry.path().filename());
        fs::rename(work / "example.res", work / tag / "example.res");
    };
    one_run("first");
    one_run("second");

    std::vector<std::string> compared;
    for (auto const& entry : fs::directory_iterator(work / "first")) {
        if (!entry.is_regular_file()) continue;
        std::string const name = entry.path().filename().string();
        compared.push_back(name);
        EXPECT_EQ(read_file(entry.path()), read_file(work / "second" / name)) << name;
    }
    EXPECT_GE(compared.size(), 5u) << "statistics file and batch files";

    // In the result file only dated and timed lines may differ.
    auto timeless = [](std::string const& text) {
        // The run's time stamp also names anchors ("06_12_26at18_29_42_...").
        static std::regex const stamp(R"(\d\d[/_]\d\d[/_]\d\d ?at ?\d\d[:_]\d\d[:_]\d\d)");
        std::stringstream in(std::regex_replace(text, stamp, "<stamp>"));
        std::string line, out;
        while (std::getline(in, line)) {
            bool const timed = line.find(" ms") != std::string::npos || line.find(" at ") != std::string::npos ||
                               line.find("time") != std::string::npos || line.find("Time") != std::string::npos;
            if (!timed) out += line + '\n';
        }
        return out;
    };
    std::string const a = read_file(work / "first" / "example.res" / "example.xml");
    ASSERT_FALSE(a.empty());
    EXPECT_NE(a.find("Tajima"), std::string::npos);
    EXPECT_EQ(timeless(a), timeless(read_file(work / "second" / "example.res" / "example.xml")));
}

// Every data type has its driver: a microsatellite project runs without a
// word about analyses that are not available.
TEST_F(ExampleRun, MicrosatelliteSamplesAreAnalysed) {
    fs::copy_file(fs::path(QUINTLE_TEST_DATA_DIR) / "pairwise" / "msat3.pmp", work / "m.pmp");
    ASSERT_EQ(run("m.pmp st.txt 0 1"), 0);
    std::string const log = read_file(work / "m.res" / "Pellomar_log.txt");
    EXPECT_EQ(log.find("not available"), std::string::npos) << log;
    EXPECT_NE(log.find("\tComputing molecular diversity...\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Successful run of m.pmp"), std::string::npos) << log;
}

}  // namespace
