#pragma once
// Runs of the real program in a scratch folder: the corpus settings file
// with some keys replaced, and the command line a pipeline uses.

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>

#include "core/scratch.h"

namespace quintle::test {

// Every key of the corpus settings file (all task bits), the given ones
// replaced by their values.
inline std::string settings_with(std::map<std::string, std::string> const& keys) {
    std::istringstream in(scratch::read_file(std::filesystem::path(QUINTLE_TEST_DATA_DIR) / "compare" / "all_tasks" /
                                             "pml_run.pms"));
    std::string out;
    for (std::string line; std::getline(in, line);) {
        auto const eq = line.find('=');
        if (eq != std::string::npos && keys.count(line.substr(0, eq)))
            line = line.substr(0, eq + 1) + keys.at(line.substr(0, eq));
        out += line + "\n";
    }
    return out;
}

// The program on `project` in `folder` (settings, definitions and batch
// flags already there), statistics to stats.txt with a header, the console
// to console.txt; the exit status, or -1 when it did not exit.
inline int run_program(std::filesystem::path const& folder, std::string const& project, long seed) {
    std::string const command = "cd '" + folder.string() + "' && QUINTLE_SEED=" + std::to_string(seed) + " '" +
                                QUINTLE_BINARY + "' " + project + " stats.txt 0 1 > console.txt 2>&1";
    int const status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace quintle::test
