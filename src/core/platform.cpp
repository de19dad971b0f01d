#include "core/platform.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/types.h>
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
    std::ifstream probe(path);
    return probe.is_open();
}

}  // namespace quintle
