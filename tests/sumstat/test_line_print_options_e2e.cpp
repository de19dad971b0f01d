// The statistics line is filled from the results of a pass, never from what
// the result file prints: the real program gives the same line, column for
// column and value for value, with every print option of the result file on
// or off, one at a time and all at once, on a DNA project of phased diploid
// genotypes in two groups (summary, linkage values, AMOVA with the
// individual level, pairwise lists, both passes) and on a microsatellite
// project in groups.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "core/scratch.h"
#include "haplo/program_run.h"

namespace quintle {
namespace {

namespace fs = std::filesystem;

fs::path const data_dir = fs::path(QUINTLE_TEST_DATA_DIR);

// The print options and the value that differs from the corpus settings'.
std::map<std::string, std::string> const print_options = {
    {"PrintFstVals", "0"},          {"PrintConcestryCoeff", "0"},     {"PrintSlatkinsDist", "0"},
    {"PrintHistoPopDiff", "0"},     {"PrintFlagHistogramLD", "1"},    {"PrintHaplDistMat", "0"},
    {"PrintPopDistMat", "0"},       {"PrintMinSpannNetworkPop", "0"}, {"PrintDistanceMatrix", "0"},
    {"PrintMinSpannNetworkGlob", "0"}, {"XMLOutput", "0"},
};

class LinePrintOptions : public ::testing::TestWithParam<char const*> {
protected:
    // The statistics file of a run with the corpus settings (every task,
    // D' and r2 computed) and `keys` changed.
    std::string line(std::string const& name, std::map<std::string, std::string> keys) {
        fs::path const project = data_dir / GetParam();
        fs::path const folder = work / name;
        fs::create_directories(folder);
        fs::copy_file(project, folder / project.filename());
        for (char const* f : {"ssdefs.txt", "glbstreams.txt"})
            fs::copy_file(data_dir / "compare" / "all_tasks" / f, folder / f);
        keys["ComputeDvalues"] = "1";
        scratch::write_file(folder / "pml_run.pms", test::settings_with(keys));
        EXPECT_EQ(test::run_program(folder, project.filename().string(), 7), 0) << name;
        return scratch::read_file(folder / "stats.txt");
    }
    scratch::Dir work{"quintle_line_print_options"};
};

TEST_P(LinePrintOptions, TheLineDoesNotDependOnThem) {
    std::string const base = line("base", {});
    ASSERT_NE(base.find('\t'), std::string::npos) << base;
    for (auto const& [key, value] : print_options) {
        SCOPED_TRACE(key);
        EXPECT_EQ(line(key, {{key, value}}), base);
    }
    EXPECT_EQ(line("all", print_options), base);
}

INSTANTIATE_TEST_SUITE_P(Projects, LinePrintOptions,
                         ::testing::Values("compare/dna_diploid_phased.pmp", "amova/microsat_unphased.pmp"));

}  // namespace
}  // namespace quintle
