// The files of a result folder written again over longer ones (a call
// repeated on its project, as pipelines make it): what a run leaves is what
// it wrote, whether it ends well or fails part way.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <regex>
#include <string>

#include "core/scratch.h"

namespace fs = std::filesystem;

namespace quintle {
namespace {

using scratch::read_file;
using scratch::write_file;

fs::path const data_dir = fs::path(QUINTLE_TEST_DATA_DIR) / "run";

bool has(std::string const& text, std::string const& part) { return text.find(part) != std::string::npos; }

// Dates, anchors made of them and millisecond figures change from one run
// to the next.
std::string masked(std::string text) {
    static std::regex const date("\\d\\d/\\d\\d/\\d\\d at \\d\\d:\\d\\d:\\d\\d");
    static std::regex const anchor("\\d\\d_\\d\\d_\\d\\dat\\d\\d_\\d\\d_\\d\\d");
    static std::regex const millis("\\d+ ?ms");
    text = std::regex_replace(text, date, "DATE");
    text = std::regex_replace(text, anchor, "ANCHOR");
    return std::regex_replace(text, millis, "N ms");
}

class RunAgain : public ::testing::Test {
protected:
    void prepare(bool xml) {
        fs::copy_file(data_dir / "dna_groups.pmp", work / "p.pmp");
        std::string settings_text = read_file(data_dir / "html.pms");
        if (xml) settings_text.replace(settings_text.find("XMLOutput=0"), 11, "XMLOutput=1");
        write_file(work / "pml_run.pms", settings_text);
        write_file(work / "ssdefs.txt", "POP_LEVEL\nALL_K\nALL_H\n");
    }
    int run() {
        std::string const command = "cd '" + work.string() + "' && QUINTLE_SEED=7 '" + QUINTLE_BINARY +
                                    "' p.pmp stats.txt 0 1 > console.txt 2>&1";
        int const status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    // Every file of the result folder and the statistics file, masked.
    std::map<std::string, std::string> outputs() const {
        std::map<std::string, std::string> files;
        for (auto const& entry : fs::directory_iterator(work / "p.res"))
            if (entry.is_regular_file() && entry.path().filename().string()[0] != '.')
                files[entry.path().filename().string()] = masked(read_file(entry.path()));
        files["stats.txt"] = read_file(work / "stats.txt");
        return files;
    }
    // Lengthens every output file with text no run writes.
    void lengthen_outputs() {
        for (auto const& entry : fs::directory_iterator(work / "p.res"))
            if (entry.is_regular_file() && entry.path().filename().string()[0] != '.')
                write_file(entry.path(), read_file(entry.path()) + stale);
        write_file(work / "stats.txt", read_file(work / "stats.txt") + stale);
    }

    std::string const stale = "\nSTALE Successful run of p.pmp\n" + std::string(30000, '~');
    scratch::Dir dir{"quintle_run_again"};
    fs::path work = dir.path();
};

TEST_F(RunAgain, FilesLongerThanTheNewTextsKeepNothingOfTheOldOnes) {
    for (bool const xml : {false, true}) {
        SCOPED_TRACE(xml ? "xml" : "html");
        fs::remove_all(work);
        fs::create_directories(work);
        prepare(xml);
        ASSERT_EQ(run(), 0);
        std::map<std::string, std::string> const first = outputs();
        ASSERT_EQ(first.count("Pellomar_log.txt"), 1u);
        ASSERT_EQ(first.count(xml ? "p.xml" : "p.htm"), 1u);
        ASSERT_EQ(first.count("p.js"), 1u);
        ASSERT_EQ(first.count("p_tree.htm"), 1u);
        ASSERT_EQ(first.count("p_main.htm"), 1u);

        lengthen_outputs();
        ASSERT_EQ(run(), 0);
        std::map<std::string, std::string> const second = outputs();
        EXPECT_EQ(second.size(), first.size());
        for (auto const& [name, text] : first) {
            ASSERT_EQ(second.count(name), 1u) << name;
            EXPECT_EQ(second.at(name), text) << name;
            EXPECT_FALSE(has(second.at(name), "STALE")) << name;
        }
    }
}

// A run that fails part way still leaves its own log, result file and menu
// script, closed and whole, and an empty statistics file: nothing of the
// longer files of the run before it.
TEST_F(RunAgain, AFailedRunLeavesOnlyWhatItWrote) {
    prepare(true);
    ASSERT_EQ(run(), 0);
    ASSERT_TRUE(has(read_file(work / "p.res" / "Pellomar_log.txt"), "Successful run of p.pmp\n"));
    ASSERT_TRUE(has(read_file(work / "p.res" / "p.xml"), "Project information:"));

    fs::copy_file(data_dir / "bad_section.pmp", work / "p.pmp", fs::copy_options::overwrite_existing);
    ASSERT_EQ(run(), 0);
    EXPECT_TRUE(has(read_file(work / "console.txt"), "quintle: error during run of p.pmp"));

    std::string const log = read_file(work / "p.res" / "Pellomar_log.txt");
    EXPECT_FALSE(has(log, "Successful run")) << log;
    std::string const end = "Error during run of p.pmp\n";
    ASSERT_GE(log.size(), end.size());
    EXPECT_EQ(log.substr(log.size() - end.size()), end) << log;

    std::string const result = read_file(work / "p.res" / "p.xml");
    EXPECT_FALSE(has(result, "Project information:"));
    EXPECT_EQ(result.substr(result.size() - 23), "\n</data>\n\n</Pellomar>\n\n");
    std::string const menu = read_file(work / "p.res" / "p.js");
    EXPECT_FALSE(has(menu, "Settings")) << menu;
    EXPECT_TRUE(has(menu, "gLnk(\"R\", \"Pellomar log file\", \"Pellomar_log.txt\")")) << menu;
    EXPECT_EQ(read_file(work / "stats.txt"), "");
}

}  // namespace
}  // namespace quintle
