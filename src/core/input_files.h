#pragma once

// Reading the user's files with bounds: only regular files are opened (a
// device or a pipe never ends, or blocks the open), none of the kernel's
// /proc or /sys files (size 0, and some never end or wait), and no line may grow
// past a limit far above any real line, so that a file without line ends
// cannot take all the memory there is.

#include <cstddef>
#include <fstream>
#include <istream>
#include <string>

namespace quintle {

// Longest line accepted from a user's file: far above a real line (a
// sequence of millions of sites), far below what would exhaust memory.
inline constexpr std::size_t max_input_line = std::size_t{256} << 20;

enum class LineRead { line, end, too_long };

// Reads one line without its '\n' into `line`, leaving the stream as
// std::getline would. A line longer than `limit` is not read to its end: the
// stream fails, `line` holds the first `limit` characters and the answer is
// too_long.
LineRead read_bounded_line(std::istream& in, std::string& line, std::size_t limit = max_input_line);

// Empty when `path` names a regular file (links followed) outside the
// kernel's file systems; otherwise why it cannot serve as an input file, in
// words fit for the log.
std::string input_file_problem(std::string const& path);

// True for a path that exists but is not a data file: not a regular file (a
// folder, a device, a pipe, a socket), or a file of /proc or /sys.
bool exists_but_not_a_data_file(std::string const& path);

// Opens `path` for reading when it is a data file. Another kind of file
// is not opened at all (no blocking open of a pipe): a line saying so goes
// to the log and the answer is false, as for a file that cannot be opened;
// `not_a_data_file`, when given, tells that case apart.
bool open_input_file(std::ifstream& in, std::string const& path,
                     std::ios::openmode mode = std::ios::in, bool* not_a_data_file = nullptr);

}  // namespace quintle
