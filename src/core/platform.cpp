#include "core/platform.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "core/input_files.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace quintle {

namespace fs = std::filesystem;

bool MY_CreateDirectory(char const* path) {
    if (path == nullptr || *path == '\0') return false;
    std::error_code ec;
#ifdef _WIN32
    fs::create_directory(path, ec);
#else
    ::mkdir(path, 0755);
#endif
    return fs::is_directory(path, ec);
}

bool MY_DeleteFile(char const* path) {
    if (path == nullptr || *path == '\0') return true;
    std::error_code ec;
    if (!fs::is_directory(path, ec)) fs::remove(path, ec);
    return true;
}

bool MY_CopyFile(char const* dest, char const* src) {
    if (dest == nullptr || src == nullptr) return false;
    std::ifstream in(src);
    if (!in) return false;
    std::ofstream out(dest, std::ios::out | std::ios::trunc);
    if (!out) return false;
    // Every line read is written with a line end, including the empty text
    // of the read that meets the end of the source: the copy has one more
    // (empty) line than the source, which readers of the copy expect.
    std::string line;
    for (;;) {
        line.clear();
        std::getline(in, line);
        out << line << '\n';
        if (in.fail()) break;
    }
    out.flush();
    bool ok = !in.bad() && out.good();
    out.close();
    return ok && !out.fail();
}

bool can_open_for_reading(char const* path) {
    if (path == nullptr) return false;
    // Only a data file: opening a pipe waits for a writer, and a device or
    // a file of /proc may never end.
    if (exists_but_not_a_data_file(path)) return false;
#ifdef _WIN32
    std::ifstream probe(path);
    return probe.is_open();
#else
    // The open a stream would make, without the stream's buffer and locale.
    int fd = -1;
    do {
        fd = ::open(path, O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return false;
    ::close(fd);
    return true;
#endif
}

namespace {

// Writes `text` into the file under an exclusive lock, after emptying it
// (replace) or at its end (append). Truncating only under the lock: another
// writer's text is never cut in the middle of being written. A file system
// without locks still gets the text.
bool write_locked(char const* path, std::string const& text, bool replace) {
    if (path == nullptr || *path == '\0') return false;
#ifdef _WIN32
    std::ofstream out(path, std::ios::out | (replace ? std::ios::trunc : std::ios::app) | std::ios::binary);
    out << text;
    out.close();
    return !out.fail();
#else
    int fd = -1;
    do {
        fd = ::open(path, O_WRONLY | O_CREAT | O_CLOEXEC | (replace ? 0 : O_APPEND), 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return false;
    while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
    }
    bool ok = !replace || ::ftruncate(fd, 0) == 0;
    std::size_t done = 0;
    while (ok && done < text.size()) {
        ssize_t const n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) done += static_cast<std::size_t>(n);
    }
    // Closing releases the lock.
    return ::close(fd) == 0 && ok;
#endif
}

}  // namespace

bool MY_ReplaceFileContent(char const* path, std::string const& text) { return write_locked(path, text, true); }

bool MY_RewriteFile(char const* path, std::string_view text) {
    if (path == nullptr || *path == '\0') return false;
#ifdef _WIN32
    std::ofstream out(path, std::ios::out | std::ios::trunc | std::ios::binary);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    return !out.fail();
#else
    auto open_file = [path](int flags) {
        int fd = -1;
        do {
            fd = ::open(path, O_WRONLY | O_CLOEXEC | flags, 0666);
        } while (fd < 0 && errno == EINTR);
        return fd;
    };
    // Without a reader a pipe refuses a non-blocking open instead of waiting.
    int fd = open_file(O_CREAT | O_NONBLOCK);
    struct stat info {};
    bool const regular = fd >= 0 && ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    if (!regular) {
        if (fd >= 0) ::close(fd);
        ::unlink(path);
        fd = open_file(O_CREAT | O_EXCL);
        if (fd < 0) return false;
        info.st_size = 0;
    }
    bool ok = true;
    std::size_t done = 0;
    while (ok && done < text.size()) {
        ssize_t const n = ::pwrite(fd, text.data() + done, text.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) done += static_cast<std::size_t>(n);
    }
    if (info.st_size > static_cast<off_t>(done)) ok = ::ftruncate(fd, static_cast<off_t>(done)) == 0 && ok;
    return ::close(fd) == 0 && ok;
#endif
}

bool MY_AppendToFile(char const* path, std::string const& text) { return write_locked(path, text, false); }

}  // namespace quintle
