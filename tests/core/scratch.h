#pragma once

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace quintle::scratch {

namespace fs = std::filesystem;

inline std::string read_file(fs::path const& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void write_file(fs::path const& p, std::string const& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
}

// A fresh temporary folder, removed with its content at the end.
class Dir {
public:
    explicit Dir(std::string const& tag) {
        static int counter = 0;
        auto const stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        path_ = fs::temp_directory_path() / (tag + "_" + std::to_string(::getpid()) + "_" +
                                             std::to_string(stamp) + "_" + std::to_string(++counter));
        fs::create_directories(path_);
    }
    ~Dir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    Dir(Dir const&) = delete;
    Dir& operator=(Dir const&) = delete;

    fs::path const& path() const { return path_; }
    fs::path operator/(std::string const& name) const { return path_ / name; }

private:
    fs::path path_;
};

}  // namespace quintle::scratch
