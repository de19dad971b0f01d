// RFLP projects through the real program: the statistics line against
// values worked out independently, the batch files, and the same outputs
// under the same seed.
//
// Reference values. The worked sample (tests/data/datatypes/rflp_worked.pmp):
// K 5; H = 6/5 (1 - 8/36) = 0.933333 by hand; S, Pi and Tajima's D from
// dendropy 4 (popgenstat.num_segregating_sites, average_number_of_pairwise_
// differences, tajimas_d on the sites recoded 0 -> A, 1 -> C: 5, 2.066667,
// -0.314657; bpppopstats agrees on S and D); Fu's Fs = ln(S'/(1 - S')) with
// S' = P(K >= 5) at theta = Pi among 6 genes, exact |s(n, i)| from
// mpmath.stirling1: -2.041331. The groups project
// (tests/data/datatypes/rflp_groups.pmp): ade4::amova (R, Debian's
// r-cran-ade4) on the count table with distances sqrt(number of differing
// sites) and the groups {North} {Centre, South}: Phi-samples-total
// 0.2186047, Phi-g-total 0.006342495, Phi-samples-g 0.2136170; each pair of
// samples alone: 0.4585366 (Centre-North), -0.02352941 (South-North),
// 0.1767442 (South-Centre).

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "core/scratch.h"

namespace fs = std::filesystem;

namespace {

using quintle::scratch::read_file;
using quintle::scratch::write_file;

fs::path const data_dir = fs::path(QUINTLE_TEST_DATA_DIR);
fs::path const examples_dir = data_dir / ".." / ".." / "examples";

std::vector<std::string> split_tabs(std::string const& line) {
    std::vector<std::string> fields;
    std::stringstream in(line);
    std::string field;
    while (std::getline(in, field, '\t'))
        if (!field.empty()) fields.push_back(field);
    return fields;
}

// A project of tests/data/datatypes with the example's settings (TaskNumber
// and the keys given set) and statistics list, and every batch file
// switched on.
class RflpProjectRun {
public:
    RflpProjectRun(char const* project, long tasks, std::map<std::string, std::string> keys = {})
        : dir_("quintle_rflp_e2e"), project_(project) {
        fs::copy_file(data_dir / "datatypes" / project, dir_.path() / project);
        fs::copy_file(examples_dir / "ssdefs.txt", dir_.path() / "ssdefs.txt");
        fs::copy_file(data_dir / "compare" / "all_tasks" / "glbstreams.txt", dir_.path() / "glbstreams.txt");
        std::string settings = read_file(examples_dir / "pml_run.pms");
        keys["TaskNumber"] = std::to_string(tasks);
        for (auto const& [key, value] : keys)
            settings = std::regex_replace(settings, std::regex("\n" + key + "=[^\n]*"), "\n" + key + "=" + value);
        write_file(dir_.path() / "pml_run.pms", settings);
    }

    int run(std::string const& stats, std::string const& seed) {
        std::string const command = "cd '" + dir_.path().string() + "' && QUINTLE_SEED=" + seed + " '" +
                                    QUINTLE_BINARY + "' " + project_ + " " + stats + " 0 1 > console.txt 2>&1";
        int const status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string file(std::string const& name) const { return read_file(dir_.path() / name); }
    fs::path const& path() const { return dir_.path(); }

    // Header names mapped to the values of the line that follows them.
    std::map<std::string, std::string> columns(std::string const& stats) const {
        std::string const text = file(stats);
        std::string const header = text.substr(0, text.find('\n'));
        std::string const rest = text.substr(header.size() + 1);
        std::vector<std::string> const names = split_tabs(header), cells = split_tabs(rest.substr(0, rest.find('\n')));
        EXPECT_EQ(names.size(), cells.size());
        std::map<std::string, std::string> out;
        for (std::size_t i = 0; i < names.size() && i < cells.size(); ++i) out[names[i]] = cells[i];
        return out;
    }

private:
    quintle::scratch::Dir dir_;
    std::string project_;
};

void expect_columns(std::map<std::string, std::string> const& c,
                    std::map<std::string, std::string> const& expected) {
    for (auto const& [name, value] : expected) {
        ASSERT_TRUE(c.count(name)) << name;
        EXPECT_EQ(c.at(name), value) << name;
    }
}

// The last line of a batch file, split at its tabs (empty fields kept).
std::vector<std::string> last_line_fields(std::string const& text) {
    std::string body = text;
    EXPECT_FALSE(body.empty());
    if (body.empty()) return {};
    EXPECT_EQ(body.back(), '\n') << "line not ended:\n" << text;
    body.pop_back();
    std::string const line = body.substr(body.rfind('\n') + 1);
    std::vector<std::string> fields;
    std::stringstream in(line);
    std::string field;
    while (std::getline(in, field, '\t')) fields.push_back(field);
    return fields;
}

}  // namespace

TEST(RflpEndToEnd, WorkedSampleLineAndBatchFiles) {
    RflpProjectRun p("rflp_worked.pmp", 1 | 2 | 4 | 8 | 64 | 128 | 256 | 16384,
                     {{"MismatchDemogExp", "1"}, {"MismatchSpatialExp", "1"}, {"NumBootExpDem", "10"}});
    ASSERT_EQ(p.run("stats.txt", "7"), 0) << p.file("console.txt");
    expect_columns(p.columns("stats.txt"), {{"K_1", "5"},
                                            {"mean_K", "5"},
                                            {"H_1", "0.933333"},
                                            {"S_1", "5"},
                                            {"Pi_1", "2.06667"},
                                            {"mean_Pi", "2.06667"},
                                            {"D_1", "-0.314657"},
                                            {"FS_1", "-2.04133"}});

    // Each batch line: the project and the sample first, then its fields.
    struct Batch {
        char const* file;
        std::size_t fields;  // the line's fields (a last tab ends one, it adds none)
        std::vector<std::pair<std::size_t, std::string>> values;
    };
    const Batch batches[] = {
        {"gen_div.sum", 8, {{2, "6"}, {3, "5"}, {4, "7"}, {5, "7"}, {6, "5"}, {7, "0.933333"}}},
        // Method, mean, variance, the fit's three (spatial: four) values,
        // the five classes.
        {"mismatch.sum", 13, {{2, "Pairwise difference inf"}, {3, "2.06667"}, {9, "5"}, {12, "2"}}},
        {"mismatch_sp3.sum", 14, {{2, "Pairwise difference inf"}, {3, "2.06667"}, {10, "5"}, {13, "2"}}},
        {"mismatch_sp4.sum", 3, {{2, "Pairwise difference inf"}}},
        {"only_mismatch_sp.txt", 7, {{2, "1"}, {3, "5"}, {4, "3"}, {5, "4"}, {6, "2"}}},
        {"tajima.sum", 11, {{2, "6"}, {3, "5"}, {4, "2.189781"}, {5, "2.066667"}, {6, "-0.314657"}}},
        {"fu_fs.sum", 9, {{2, "6"}, {3, "5"}, {4, "2.066667"}, {5, "-2.041331"}}},
        {"ewens.sum", 8, {{2, "6"}, {3, "5"}, {4, "0.22222"}}},
        {"chakra.sum", 8, {{2, "6"}, {3, "5"}, {4, "0.06667"}}},
    };
    for (Batch const& b : batches) {
        SCOPED_TRACE(b.file);
        std::vector<std::string> const f = last_line_fields(p.file(b.file));
        ASSERT_EQ(f.size(), b.fields);
        EXPECT_EQ(f[0], "\"rflp_worked.res/rflp_worked.pmp\"");
        EXPECT_EQ(f[1], "\"worked\"");
        for (auto const& [at, value] : b.values) EXPECT_EQ(f[at], value) << at;
    }
    EXPECT_NE(p.file("allele_freqs.sum").find("\"rflp_worked.res/rflp_worked.pmp\"\t"), std::string::npos);
    // The replicates' numbers: a P value, the fraction at most 0, their number.
    std::vector<std::string> const t = last_line_fields(p.file("tajima.sum"));
    EXPECT_EQ(t[10], "1000");
}

TEST(RflpEndToEnd, SameSeedSameOutputs) {
    RflpProjectRun p("rflp_worked.pmp", 1 | 2 | 4 | 64 | 16384);
    ASSERT_EQ(p.run("a.txt", "5"), 0);
    std::string const result = std::regex_replace(p.file("rflp_worked.res/rflp_worked.xml"),
                                                  std::regex("[0-9]+ ms|[0-9/]+ at [0-9:]+|[0-9_]+at[0-9_]+"), "");
    std::string const tajima = p.file("tajima.sum");
    ASSERT_EQ(p.run("b.txt", "5"), 0);
    EXPECT_EQ(p.file("a.txt"), p.file("b.txt"));
    EXPECT_EQ(std::regex_replace(p.file("rflp_worked.res/rflp_worked.xml"),
                                 std::regex("[0-9]+ ms|[0-9/]+ at [0-9:]+|[0-9_]+at[0-9_]+"), ""),
              result);
    // The batch file gains the same head and line again.
    EXPECT_EQ(p.file("tajima.sum"), tajima + tajima);
}

TEST(RflpEndToEnd, AmovaAndPairwiseFstAgainstAde4) {
    RflpProjectRun p("rflp_groups.pmp", 1 | 2 | 512 | 1024);
    ASSERT_EQ(p.run("stats.txt", "3"), 0) << p.file("console.txt");
    expect_columns(p.columns("stats.txt"), {{"FST", "0.218605"},
                                            {"FCT", "0.00634249"},
                                            {"FSC", "0.213617"},
                                            {"FST_2_1", "0.458537"},
                                            {"FST_3_1", "-0.0235294"},
                                            {"FST_3_2", "0.176744"},
                                            {"Pi_1", "1.2"},
                                            {"Pi_3", "2.66667"}});
}
