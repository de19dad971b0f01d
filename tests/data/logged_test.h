#pragma once
// Shared by the data tests: one fresh folder with its own message log per
// test, and the class-wide data type restored afterwards.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "core/Errors.h"
#include "core/my_string.h"
#include "run/ProfileSettings.h"

namespace quintle::test {

inline std::string slurp(std::filesystem::path const& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class LoggedTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto const* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = "quintle_data_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                           "_" + info->test_suite_name() + "_" + info->name();
        for (char& c : name)
            if (c == '/') c = '_';  // parameterised names carry slashes
        dir_ = std::filesystem::temp_directory_path() / name;
        std::filesystem::create_directories(dir_);
        E.init_log_file(my_string((dir_ / "log.txt").string().c_str()), false);
        savedType_ = ProfileSettings::DataType;
        savedSep_ = ProfileSettings::LocusSeparator;
    }
    void TearDown() override {
        E.CloseLog_file();
        ProfileSettings::DataType = savedType_;
        ProfileSettings::LocusSeparator = savedSep_;
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    std::string log() const {
        if (auto* s = E.log_stream()) s->flush();
        return slurp(dir_ / "log.txt");
    }
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

    std::filesystem::path dir_;

private:
    TDataType savedType_ = STANDARD;
    char savedSep_ = '\0';
};

}  // namespace quintle::test
