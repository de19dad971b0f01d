#include "run/command_line.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <vector>

#include "core/public.h"

namespace quintle {

namespace {

// The usage text, piece by piece as it has always been printed (its wording,
// spacing and slips included: scripts compare against it).
constexpr char const* usage_pieces[] = {
    "\n                        QUINTLE ver 3.5.2.1 (30.04.15)",
    "\n                        =================================\n",
    "\n  QUINTLE is a modified version of Pellomar for computing summary statistics",
    "\n  listed in the file named \"ssdefs.txt\", and reporting them in an output file.",
    "\n",
    "\n  Usage:",
    "\n     quintle <project file name> <sum. stat. output file>",
    "\n                <[int] append output file> <[int] write header>",
    "\n                | run_silent\n",
    "\n",
    "\n  The parameter <project file name> needs to be put within quotes if ",
    "\n  it contains whitepaces",
    "\n",
    "\n  The parameter <[int] append output file> controls if the output file needs",
    "\n  to be overwritten (0) or appended (1).",
    "\n  A value of 0 will reset the output file.",
    "\n  Default value is 1.",
    "\n",
    "\n  The parameter <[int] write header> controls if a header with ",
    "\n  the names of the sum. stats. needs to be written",
    "\n    Possible values:",
    "\n      0: no, only computed summary statistics will be output",
    "\n      1: yes, header and statistics will be output",
    "\n      2, yes, only header will be output",
    "\n    Default value is 0.",
    "\n",
    "\n  run_silent: if present on the command line, quintle will not output",
    "\n              computation progress in the console",
    "\n",
    "\n  Examples (replace quintle by your executable version):",
    "\n    ./quintle_32bit test.pmp outSS.txt 0 1",
    "\n       This will analyse the file 'test.pmp' and and write the summary",
    "\n       statistics in the file outSS.txt, which will be reset, and which will",
    "\n        beginwith a header line with the names of the summary statistics",
    "\n",
    "\n    quintle test1.pmp outSS.txt 1 0",
    "\n       This will append summary statistics computed on the file test1.pmp",
    "\n       to the same output file outSS.txt, without writing a header line",
    "\n",
    "\n    quintle test2.pmp outSS.txt 1 1",
    "\n       This will append summary statistics computed on the file test2.pmp",
    "\n       to the same output file outSS.txt, but this time including a",
    "\n        header line, with the names of the summary stats",
    "\n",
};

static_assert(std::size(usage_pieces) == 44);

bool is_separator(char c) { return c == '/' || c == '\\'; }

}  // namespace

std::string usage_text() {
    std::string text;
    for (char const* piece : usage_pieces) text += piece;
    return text;
}

void showHelp() {
    std::cout << usage_text() << std::endl;
}

std::string working_directory() {
    // Grow the buffer until the whole path fits: deep working directories
    // must not be cut or lost.
    std::vector<char> buffer(1024);
    while (true) {
        if (::getcwd(buffer.data(), buffer.size()) != nullptr) break;
        if (errno != ERANGE) return std::string();
        buffer.resize(buffer.size() * 2);
    }
    std::string dir(buffer.data());
    for (char& c : dir) {
        if (c == '\\') c = '/';
    }
    return dir;
}

my_string current_directory() {
    return my_string(working_directory().c_str());
}

bool make_pml_run_txt(std::string const& projectPath) {
    std::ofstream out(getPmlRunString().c_str(), std::ios::out | std::ios::trunc);
    if (!out.is_open()) return false;
    out << working_directory() << "\n";
    out << "use_interf_settings" << "\n";
    out << projectPath << "\n";
    out << "0" << "\n";
    out << "0" << "\n";
    out << "end" << "\n";
    out.flush();
    return out.good();
}

std::string drop_dot_slash_components(std::string const& path) {
    std::string result;
    result.reserve(path.size());
    std::size_t i = 0;
    while (i < path.size()) {
        // A "." component right after a separator, followed by '/': skip it
        // together with its '/'. The separator before it is already copied.
        if (path[i] == '.' && i > 0 && is_separator(path[i - 1]) && i + 1 < path.size() &&
            path[i + 1] == '/') {
            i += 2;
            continue;
        }
        result += path[i];
        ++i;
    }
    return result;
}

int numeric_argument(char const* text, int absent) {
    double const value = std::atof(text != nullptr ? text : "");
    if (std::isnan(value)) return absent;
    double const whole = std::trunc(value);
    if (whole >= static_cast<double>(INT_MAX)) return INT_MAX;
    if (whole <= static_cast<double>(INT_MIN)) return INT_MIN;
    return static_cast<int>(whole);
}

bool argument_has_keyword(char const* argument, char const* keyword) {
    std::string upper = argument != nullptr ? argument : "";
    // Only a to z change, as in the program's own upper-casing.
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return upper.find(keyword) != std::string::npos;
}

}  // namespace quintle
