#pragma once
// Shared by the data tests: one fresh folder with its own message log per
// test, and the class-wide data type and separator restored afterwards.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "core/Errors.h"
#include "core/my_string.h"
#include "run/ProfileSettings.h"
#include "support/process_state.h"

namespace quintle::test {

inline std::string slurp(std::filesystem::path const& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class LoggedTest : public ::testing::Test {
protected:
    std::string log() const { return logGuard_.text(); }
    int count_in_log(std::string const& needle) const {
        std::string const all = log();
        int n = 0;
        for (auto pos = all.find(needle); pos != std::string::npos; pos = all.find(needle, pos + 1)) ++n;
        return n;
    }
    // Number of log lines reporting `message` from `function`.
    int reports(std::string const& function, std::string const& message) const {
        return count_in_log("from function \"" + function + "\" : " + message);
    }
    int reports(std::string const& function, int number) const {
        return reports(function, std::string(Errors::message(number)));
    }

private:
    test::LogGuard logGuard_{"quintle_data"};
    test::ProfileGuard profileGuard_;

protected:
    // Free for the test's own files.
    std::filesystem::path const& dir_ = logGuard_.dir();
};

}  // namespace quintle::test
