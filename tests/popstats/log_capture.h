#pragma once

// Opens the message log on a file in a fresh temporary directory for the
// lifetime of the object, so that a test can read what was reported.

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <unistd.h>

#include "core/Errors.h"

namespace quintle::testing_support {

class LogCapture {
public:
    LogCapture() {
        static std::atomic<int> serial{0};
        dir_ = std::filesystem::temp_directory_path() /
               ("quintle_popstats_log_" + std::to_string(::getpid()) + "_" + std::to_string(serial++));
        std::filesystem::create_directories(dir_);
        path_ = dir_ / "log.txt";
        E.init_log_file(my_string(path_.string().c_str()), false);
        E.error(WARNING, "", -1);
    }
    ~LogCapture() {
        E.CloseLog_file();
        // Leave E silent for whatever runs next in this process.
        E.init_log_file(my_string((dir_ / "absent" / "log.txt").string().c_str()), false);
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::string text() const {
        _AOS_->flush();
        std::ifstream in(path_, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    std::filesystem::path dir_;
    std::filesystem::path path_;
};

}  // namespace quintle::testing_support
