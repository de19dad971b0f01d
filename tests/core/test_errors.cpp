#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/Errors.h"
#include "scratch.h"

namespace quintle {
namespace {

namespace fs = std::filesystem;

// E used from another unit's static initialisation, before any log is opened.
struct StaticInitProbe {
    bool aos_discards = false;
    bool memory_threw = false;
    StaticInitProbe() {
        *_AOS_ << "written before main";
        aos_discards = !_AOS_->good();
        try {
            E.error(MEMORY, "StaticInitProbe", 0);
        } catch (ExceptionType) {
            memory_threw = true;
        }
    }
};
const StaticInitProbe static_probe;

class ErrorsLog : public ::testing::Test {
protected:
    void SetUp() override {
        open(false);
        E.error(WARNING, "", -1);  // counters run from 1 in every test
    }
    void TearDown() override {
        E.echo = nullptr;
        E.CloseLog_file();
        // Leave E silent again for whatever runs next in this process.
        E.init_log_file(my_string((dir_ / "no_such_dir" / "x.txt").string().c_str()), false);
    }
    void open(bool append) { E.init_log_file(my_string(log_.string().c_str()), append); }
    std::string closed_log() {
        E.CloseLog_file();
        return scratch::read_file(log_);
    }

    scratch::Dir dir_{"quintle_errors"};
    fs::path log_ = dir_ / "log.txt";
};

TEST_F(ErrorsLog, LinesCarryRunningAndPerKindNumbersAndEchoShortForm) {
    const fs::path echo_path = dir_ / "echo.txt";
    {
        std::fstream echo(echo_path, std::ios::in | std::ios::out | std::ios::trunc);
        E.echo = &echo;
        E.error(WARNING, "Population::make_all_blanks()", Msg::m152_phenotype_db_empty);
        E.error(DEBUG, "debug note", 5);
        E.error(ERROR, "f()", 0);
        EXPECT_THROW(E.error(MEMORY, "m()", 0), ExceptionType);
        E.echo = nullptr;
        E.error(static_cast<ErrorType>(7), "h()", 1);  // unknown kinds count as errors
        E.error(WARNING, "bad index", 211);            // beyond the table: still one line
    }
    EXPECT_EQ(scratch::read_file(echo_path),
              " #[WARNING # 1] : phenotype data base is empty\n"
              " #[ERROR # 2] : not enough memory\n"
              " #[MEMORY # 1] : not enough memory\n");
    const std::string log = closed_log();
    EXPECT_EQ(log.substr(0, log.rfind("   6 ")),
              "   1 #[WARNING # 1] from function \"Population::make_all_blanks()\" : phenotype data base is empty\n"
              "   2 #[DEBUG # 1] debug note\n"  // debug notes share the error counter
              "   3 #[ERROR # 2] from function \"f()\" : not enough memory\n"
              "   4 #[MEMORY # 1] from function \"m()\" : not enough memory\n"
              "   5 #[ERROR # 3] from function \"h()\" : array out of bounds\n");
    EXPECT_EQ(log.find("   6 #[WARNING # 2] from function \"bad index\" : "), log.rfind("   6 "));
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 6);
}

TEST_F(ErrorsLog, FailedOpenSilencesReportsWithoutTouchingCounters) {
    E.error(WARNING, "before", 9);
    E.CloseLog_file();
    const fs::path bad = dir_ / "missing" / "log.txt";
    E.init_log_file(my_string(bad.string().c_str()), false);
    EXPECT_EQ(E.log_open(), 0);
    EXPECT_NO_THROW(E.error(MEMORY, "silent", 0));
    E.error(WARNING, "silent", 9);
    E.error(INFO, "silent", -1);  // a reset is ignored too

    open(true);
    E.error(WARNING, "after", 9);
    EXPECT_EQ(closed_log(),
              "   1 #[WARNING # 1] from function \"before\" : invalid stream\n"
              "   2 #[WARNING # 2] from function \"after\" : invalid stream\n");
}

TEST(ErrorsStatic, UsableFromOtherUnitsStaticInitialisation) {
    EXPECT_TRUE(static_probe.aos_discards);
    EXPECT_FALSE(static_probe.memory_threw);
}

TEST(ErrorsTable, WholeTableChecksum) {
    // 64-bit FNV-1a over every text followed by a newline, in number order.
    // Reference values computed by a separate script from the reference list
    // of messages: 8501 bytes, hash 0x5a710db2b32140d4.
    ASSERT_EQ(error_message_count, 211);
    EXPECT_EQ(Errors::message(211), nullptr);
    std::string all;
    for (int i = 0; i < error_message_count; ++i) all += std::string(Errors::message(i)) + '\n';
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (unsigned char c : all) h = (h ^ c) * 0x100000001b3ull;
    EXPECT_EQ(all.size(), 8501u);
    EXPECT_EQ(h, 0x5a710db2b32140d4ull);
}

}  // namespace
}  // namespace quintle
