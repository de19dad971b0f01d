#include "core/input_files.h"

#include <sys/stat.h>

#ifdef __linux__
#include <linux/magic.h>
#include <sys/vfs.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ostream>

#include "core/Errors.h"

namespace quintle {

namespace {

constexpr std::streamsize chunk_size = 65536;

// True for a file of the kernel's own file systems (/proc, /sys and their
// kind): regular files of size 0 whose reading may never end (a process's
// memory map) or wait for the kernel (its message buffer). No user's data
// file lives there.
bool on_kernel_file_system(char const* path) {
#ifdef __linux__
    struct statfs fs {};
    if (::statfs(path, &fs) != 0) return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
        case PROC_SUPER_MAGIC:
        case SYSFS_MAGIC:
        case DEBUGFS_MAGIC:
        case TRACEFS_MAGIC:
        case SECURITYFS_MAGIC:
        case CGROUP_SUPER_MAGIC:
        case CGROUP2_SUPER_MAGIC:
        case BPF_FS_MAGIC:
        case EFIVARFS_MAGIC:
            return true;
        default:
            return false;
    }
#else
    (void)path;
    return false;
#endif
}

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
    if (on_kernel_file_system(path.c_str())) return "a file of the kernel (/proc, /sys), not a data file";
    return std::string();
}

bool exists_but_not_a_data_file(std::string const& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return false;
    return !S_ISREG(info.st_mode) || on_kernel_file_system(path.c_str());
}

bool open_input_file(std::ifstream& in, std::string const& path, std::ios::openmode mode, bool* not_a_data_file) {
    if (not_a_data_file != nullptr) *not_a_data_file = false;
    if (exists_but_not_a_data_file(path)) {
        if (not_a_data_file != nullptr) *not_a_data_file = true;
        *_AOS_ << "\t\"" << path << "\" is " << input_file_problem(path) << ": it is not read." << std::endl;
        return false;
    }
    in.open(path, mode | std::ios::in);
    return in.is_open();
}

}  // namespace quintle
