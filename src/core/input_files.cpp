#include "core/input_files.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ostream>

#include "core/Errors.h"

namespace quintle {

namespace {

constexpr std::streamsize chunk_size = 65536;

}  // namespace

LineRead read_bounded_line(std::istream& in, std::string& line, std::size_t limit) {
    line.clear();
    // Chunks through istream::getline, which scans its buffer for the line
    // end at once instead of character by character.
    char chunk[chunk_size];
    bool extracted = false;
    for (;;) {
        in.getline(chunk, chunk_size);
        std::streamsize n = in.gcount();
        std::ios::iostate const state = in.rdstate();
        bool const ended_by_newline = (state & (std::ios::failbit | std::ios::eofbit)) == 0;
        if (ended_by_newline) --n;  // the '\n' counts but is not stored
        if (n > 0 || ended_by_newline) extracted = true;
        if (static_cast<std::size_t>(n) > limit - std::min(limit, line.size())) {
            line.append(chunk, limit - line.size());
            in.setstate(std::ios::failbit);
            return LineRead::too_long;
        }
        line.append(chunk, static_cast<std::size_t>(n));
        if (ended_by_newline) return LineRead::line;
        if ((state & std::ios::eofbit) != 0) {
            if (!extracted) return LineRead::end;  // eof and fail, as std::getline leaves them
            in.clear(std::ios::eofbit);
            return LineRead::line;
        }
        if (n != chunk_size - 1) return LineRead::end;  // failed for another reason
        // The chunk filled up before the line end: read on.
        in.clear(state & ~std::ios::failbit);
    }
}

std::string input_file_problem(std::string const& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return std::strerror(errno);
    if (!S_ISREG(info.st_mode)) {
        return S_ISDIR(info.st_mode) ? "a folder, not a regular file" : "not a regular file (a device or a pipe)";
    }
    return std::string();
}

bool exists_but_not_regular(std::string const& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode);
}

bool open_input_file(std::ifstream& in, std::string const& path, std::ios::openmode mode) {
    if (exists_but_not_regular(path)) {
        *_AOS_ << "\t\"" << path << "\" is " << input_file_problem(path) << ": it is not read." << std::endl;
        return false;
    }
    in.open(path, mode | std::ios::in);
    return in.is_open();
}

}  // namespace quintle
