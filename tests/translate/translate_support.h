#pragma once
// Shared by the translator tests: a fresh work folder (the current folder
// during the test) and program folder, the process-wide values put back, and
// a conversion run as a caller runs it: a run file in mode "translate"
// handed to the run driver.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "core/public.h"
#include "project/project_test_support.h"
#include "run/pmlestart.h"
#include "translate/text_lines.h"

namespace quintle::test {

namespace fs = std::filesystem;

inline fs::path const translateData = fs::path(QUINTLE_TEST_DATA_DIR) / "translate";

// The text with every "\n" written as "\r\n".
inline std::string crlf(std::string const& text) {
    std::string out;
    for (char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return out;
}

// The lines of a text, without their line ends.
inline std::vector<std::string> lines_of(std::string const& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) {
        if (!l.empty() && l.back() == '\r') l.pop_back();
        out.push_back(l);
    }
    return out;
}

// The lines of `text` from the first that starts with `first` up to, not
// including, the next that starts with `stop` (an empty `stop`: the next
// empty line), or to the end.
inline std::vector<std::string> lines_from(std::string const& text, std::string const& first,
                                           std::string const& stop = "") {
    std::vector<std::string> out;
    for (std::string const& l : lines_of(text)) {
        if (out.empty() && l.rfind(first, 0) != 0) continue;
        if (!out.empty() && (stop.empty() ? l.empty() : l.rfind(stop, 0) == 0)) break;
        out.push_back(l);
    }
    return out;
}

class TranslateTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("QUINTLE_SEED", "5", 1);
        fs::create_directories(work);
        fs::create_directories(program);
        fs::current_path(work);
    }
    void TearDown() override {
        release_run_globals();
        ::unsetenv("QUINTLE_SEED");
        fs::current_path(before);
    }

    // Converts `source` (in the work folder unless absolute) from one
    // format to another into `target`; `extra` holds the lines a Genepop
    // or Tarvola source adds. `eol` ends every run-file line.
    void translate(std::string const& from, std::string const& to, std::string const& source,
                   std::string const& target, std::vector<std::string> const& extra = {},
                   std::string const& eol = "\n") {
        std::string const runDir = work.string() + "/";
        std::string text = program.string() + "/" + eol + "translate" + eol + from + eol + to + eol +
                           path(source) + eol + path(target) + eol;
        for (std::string const& e : extra) text += e + eol;
        put(runDir + getPmlRunString().c_str(), text);
        std::string directory = runDir;
        pmlestart(directory.data());
    }

    std::string path(std::string const& name) const {
        return fs::path(name).is_absolute() ? name : (work / name).string();
    }
    std::string file(std::string const& name) const { return slurp(path(name)); }
    // The log of a conversion whose source is in the work folder.
    std::string run_log() const { return slurp(work / "Pellomar_log.txt"); }
    bool failed() const { return run_log().find("Error during run of") != std::string::npos; }

    // A conversion of `source` to a project refused for `reason` as a
    // source that cannot be read is: the target holds the refusal line, the
    // log ends with the failure and standard error names the reason.
    void expect_source_refused(std::string const& from, std::string const& source, std::string const& reason,
                               std::vector<std::string> const& extra = {}) {
        ::testing::internal::CaptureStderr();
        translate(from, "Pellomar", source, "refused.pmp", extra);
        std::string const told = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(file("refused.pmp"), "  Impossible to translate this file: its data could not be read (see the log).\n");
        EXPECT_TRUE(run_log().ends_with("Error during run of " + path(source) + "\n")) << run_log();
        EXPECT_NE(told.find("; " + reason + ": the file is not converted; "), std::string::npos) << told;
    }

    // Reads a project file with the program's own reader into `p`.
    int read_back(std::string const& name, Project& p) {
        ProfileSettings::DataType = STANDARD;
        ProfileSettings::LocusSeparator = '\0';
        return read_project(path(name), p);
    }

    test::LogGuard log_{"quintle_translate"};
    test::ProfileGuard profile_{STANDARD, '\0'};
    test::SumStatGuard sumStat_;
    test::AllelicDBGuard projectAlleles_;
    test::HitsGuard hits_;
    test::Saved<bool> xml_{xmlOutput, false};
    test::Saved<my_string> input_{settings::input_file};
    fs::path const before = fs::current_path();
    fs::path const work = log_.dir() / "work";
    fs::path const program = log_.dir() / "program";
};

}  // namespace quintle::test
