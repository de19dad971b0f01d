#pragma once

// Whole runs of the program on small projects of tests/data, with the
// corpus settings file (tests/data/compare/all_tasks) and some keys
// replaced; each run in a fresh folder with a fixed seed.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <string>

#include "core/scratch.h"

namespace quintle::structure_test {

namespace fs = std::filesystem;
inline fs::path const data_dir = fs::path(QUINTLE_TEST_DATA_DIR);

// The corpus settings with the given keys replaced (HTML output unless
// asked otherwise).
inline std::string settings_with(std::map<std::string, std::string> keys) {
    keys.emplace("XMLOutput", "0");
    std::istringstream in(scratch::read_file(data_dir / "compare" / "all_tasks" / "pml_run.pms"));
    std::string out;
    for (std::string line; std::getline(in, line);) {
        auto const eq = line.find('=');
        if (eq != std::string::npos && keys.count(line.substr(0, eq)))
            line = line.substr(0, eq + 1) + keys.at(line.substr(0, eq));
        out += line + "\n";
    }
    return out;
}

class ProjectRun : public ::testing::Test {
protected:
    // Runs the project (a path under tests/data) in a fresh folder; the exit
    // status, or -1.
    int run(std::string const& project, std::map<std::string, std::string> const& keys,
            std::string const& ssdefs = "POP_LEVEL\nALL_K\n", int seed = 13) {
        folder = std::make_unique<scratch::Dir>("quintle_structure");
        name = fs::path(project).stem().string();
        fs::copy_file(data_dir / project, *folder / (name + ".pmp"));
        scratch::write_file(*folder / "pml_run.pms", settings_with(keys));
        scratch::write_file(*folder / "ssdefs.txt", ssdefs);
        std::string const command = "cd '" + folder->path().string() + "' && QUINTLE_SEED=" + std::to_string(seed) +
                                    " timeout 300 '" + QUINTLE_BINARY + "' " + name +
                                    ".pmp stats.txt 0 1 > console.txt 2>&1";
        int const status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string file(std::string const& relative) const { return scratch::read_file(*folder / relative); }
    std::string result() const { return file(name + ".res/" + name + ".htm"); }
    std::string log() const { return file(name + ".res/Pellomar_log.txt"); }
    // The part of the result file from the first line holding `from` up to
    // (not including) the first later line holding `to` ("" when absent).
    std::string section(std::string const& from, std::string const& to) const {
        std::string const text = result();
        auto const at = text.find(from);
        if (at == std::string::npos) return "";
        auto const start = text.rfind('\n', at);
        auto const end = text.find(to, start + 1 + from.size());
        return text.substr(start + 1, end == std::string::npos ? std::string::npos : end - start - 1);
    }

    std::unique_ptr<scratch::Dir> folder;
    std::string name;
};

inline int occurrences(std::string const& text, std::string const& pattern) {
    int n = 0;
    for (auto pos = text.find(pattern); pos != std::string::npos; pos = text.find(pattern, pos + 1)) ++n;
    return n;
}

}  // namespace quintle::structure_test
