#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/Errors.h"
#include "scratch.h"

namespace quintle {
namespace {

namespace fs = std::filesystem;

// What E and _AOS_ look like from another unit's static initialisation, long
// before any log is opened.
struct StaticInitProbe {
    bool aos_set = false;
    bool aos_discards = false;
    bool memory_threw = false;
    int log_open = -1;
    bool path_empty = false;

    StaticInitProbe() {
        aos_set = _AOS_ != nullptr;
        if (aos_set) {
            *_AOS_ << "written before main";
            aos_discards = !_AOS_->good();
        }
        log_open = E.log_open();
        path_empty = std::strlen(E.log_path().c_str()) == 0;
        try {
            E.error(MEMORY, "StaticInitProbe", 0);
        } catch (ExceptionType) {
            memory_threw = true;
        }
    }
};
const StaticInitProbe static_probe;

using scratch::read_file;

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

class ErrorsLog : public ::testing::Test {
protected:
    void SetUp() override {
        log_ = dir_ / "log.txt";
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
        return read_file(log_);
    }

    scratch::Dir dir_{"quintle_errors"};
    fs::path log_;
};

TEST_F(ErrorsLog, LinesCarryRunningAndPerKindNumbers) {
    ASSERT_EQ(E.log_open(), 1);
    E.error(WARNING, "Population::make_all_blanks()", 152);
    E.error(ERROR, "TriMat::operator+=()", 44);
    E.error(WARNING, "initialize_ran3(const int seed) ", 181);
    E.error(DEBUG, "debug note", 5);
    E.error(ERROR, "f()", 0);
    E.error(INFO, "g()", 17);
    E.error(static_cast<ErrorType>(7), "h()", 1);
    E.error(static_cast<ErrorType>(-3), "k()", 1);

    const std::string expected =
        "   1 #[WARNING # 1] from function \"Population::make_all_blanks()\" : phenotype data base is empty\n"
        "   2 #[ERROR # 1] from function \"TriMat::operator+=()\" : attempt to operate on two matrices of different "
        "size\n"
        "   3 #[WARNING # 2] from function \"initialize_ran3(const int seed) \" : given seed is too large, "
        "initializing ran3 with random seed \n"
        "   4 #[DEBUG # 2] debug note\n"
        "   5 #[ERROR # 3] from function \"f()\" : not enough memory\n"
        "   6 #[INFO # 1] from function \"g()\" : reading distance matrix in external file\n"
        "   7 #[ERROR # 4] from function \"h()\" : array out of bounds\n"
        "   8 #[ERROR # 5] from function \"k()\" : array out of bounds\n";
    EXPECT_EQ(closed_log(), expected);
}

TEST_F(ErrorsLog, ResetRestartsEveryCounterAndWritesNothing) {
    E.error(WARNING, "a", 1);
    E.error(ERROR, "b", 1);
    E.error(INFO, "c", 1);
    E.error(WARNING, "d", -1);
    E.error(ERROR, "e", 2);
    E.error(WARNING, "f", 2);
    E.error(INFO, "g", 2);

    const auto lines = lines_of(closed_log());
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[3], "   1 #[ERROR # 1] from function \"e\" : ill-defined genetic structure");
    EXPECT_EQ(lines[4], "   2 #[WARNING # 1] from function \"f\" : ill-defined genetic structure");
    EXPECT_EQ(lines[5], "   3 #[INFO # 1] from function \"g\" : ill-defined genetic structure");
}

TEST_F(ErrorsLog, RunningNumberWidensBeyondFourColumns) {
    for (int i = 0; i < 10000; ++i) E.error(INFO, "n", 105);
    const auto lines = lines_of(closed_log());
    ASSERT_EQ(lines.size(), 10000u);
    EXPECT_EQ(lines[8], "   9 #[INFO # 9] from function \"n\" : numerical error");
    EXPECT_EQ(lines[99], " 100 #[INFO # 100] from function \"n\" : numerical error");
    EXPECT_EQ(lines[9999], "10000 #[INFO # 10000] from function \"n\" : numerical error");
}

TEST_F(ErrorsLog, MemoryReportThrowsAfterItsLine) {
    bool thrown = false;
    try {
        E.error(MEMORY, "my_string::reverse_string()", 0);
    } catch (ExceptionType e) {
        thrown = true;
        EXPECT_EQ(static_cast<int>(e), 0);
    }
    EXPECT_TRUE(thrown);
    EXPECT_EQ(closed_log(), "   1 #[MEMORY # 1] from function \"my_string::reverse_string()\" : not enough memory\n");
}

TEST_F(ErrorsLog, OtherKindsDoNotThrow) {
    EXPECT_NO_THROW(E.error(ERROR, "x", 0));
    EXPECT_NO_THROW(E.error(WARNING, "x", 0));
    EXPECT_NO_THROW(E.error(INFO, "x", 0));
    EXPECT_NO_THROW(E.error(DEBUG, "x", 0));
}

TEST_F(ErrorsLog, FailedOpenSilencesReportsWithoutTouchingCounters) {
    E.error(WARNING, "before", 9);
    E.CloseLog_file();

    const fs::path bad = dir_ / "missing" / "log.txt";
    E.init_log_file(my_string(bad.string().c_str()), false);
    EXPECT_EQ(E.log_open(), 0);
    EXPECT_STREQ(E.log_path().c_str(), bad.string().c_str());
    // _AOS_ follows the new stream even though it failed to open.
    EXPECT_EQ(_AOS_, E.log_stream());
    EXPECT_FALSE(E.log_stream()->is_open());
    EXPECT_FALSE(fs::exists(bad));

    EXPECT_NO_THROW(E.error(MEMORY, "silent", 0));
    E.error(WARNING, "silent", 9);
    E.error(ERROR, "silent", 9);
    E.error(INFO, "silent", -1);  // a reset is ignored too

    open(true);
    EXPECT_EQ(E.log_open(), 1);
    E.error(WARNING, "after", 9);
    EXPECT_EQ(closed_log(),
              "   1 #[WARNING # 1] from function \"before\" : invalid stream\n"
              "   2 #[WARNING # 2] from function \"after\" : invalid stream\n");
}

TEST_F(ErrorsLog, TruncatingOpenEmptiesAppendingOpenKeeps) {
    E.error(INFO, "first", 3);
    E.CloseLog_file();

    open(true);
    E.error(INFO, "second", 4);
    E.CloseLog_file();
    EXPECT_EQ(lines_of(read_file(log_)).size(), 2u);

    open(false);
    E.error(INFO, "third", 5);
    // A second open replaces the stream but keeps the counters going.
    EXPECT_EQ(closed_log(), "   3 #[INFO # 3] from function \"third\" : missing file (Var B null distribution)\n");
}

TEST_F(ErrorsLog, OpenPointsAosAtTheLog) {
    EXPECT_EQ(_AOS_, E.log_stream());
    *_AOS_ << "free text line" << std::endl;
    E.error(WARNING, "w", 11);
    EXPECT_EQ(closed_log(),
              "free text line\n"
              "   1 #[WARNING # 1] from function \"w\" : missing haplotype label(s)\n");
}

TEST_F(ErrorsLog, ClosedLogStillCountsAndThrows) {
    E.error(WARNING, "w", 1);
    E.CloseLog_file();
    EXPECT_EQ(E.log_open(), 1);
    EXPECT_EQ(_AOS_, E.log_stream());

    E.error(WARNING, "lost", 1);
    EXPECT_THROW(E.error(MEMORY, "lost", 0), ExceptionType);
    EXPECT_EQ(read_file(log_), "   1 #[WARNING # 1] from function \"w\" : array out of bounds\n");

    open(true);
    E.error(WARNING, "w", 1);
    const auto lines = lines_of(closed_log());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], "   4 #[WARNING # 3] from function \"w\" : array out of bounds");
}

TEST_F(ErrorsLog, EchoGetsShortFormExceptDebug) {
    const fs::path echo_path = dir_ / "echo.txt";
    {
        std::fstream echo(echo_path, std::ios::in | std::ios::out | std::ios::trunc);
        ASSERT_TRUE(echo.is_open());
        E.echo = &echo;
        E.error(WARNING, "Population::make_all_blanks()", 152);
        E.error(DEBUG, "only in the log", 0);
        E.error(ERROR, "e()", 178);
        EXPECT_THROW(E.error(MEMORY, "m()", 0), ExceptionType);
        E.echo = nullptr;
        E.error(INFO, "not echoed", 1);
    }
    EXPECT_EQ(read_file(echo_path),
              " #[WARNING # 1] : phenotype data base is empty\n"
              " #[ERROR # 2] : negative S value, Fs cannot be computed \n"
              " #[MEMORY # 1] : not enough memory\n");
    EXPECT_EQ(lines_of(closed_log()).size(), 5u);
}

TEST_F(ErrorsLog, IndexOutsideTableStillWritesOneLine) {
    E.error(WARNING, "bad index", 211);
    E.error(WARNING, "next", 1);
    const auto lines = lines_of(closed_log());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].rfind("   1 #[WARNING # 1] from function \"bad index\" : ", 0), 0u);
    EXPECT_EQ(lines[1], "   2 #[WARNING # 2] from function \"next\" : array out of bounds");
}

TEST(ErrorsStatic, UsableFromOtherUnitsStaticInitialisation) {
    EXPECT_TRUE(static_probe.aos_set);
    EXPECT_TRUE(static_probe.aos_discards);
    EXPECT_EQ(static_probe.log_open, 0);
    EXPECT_TRUE(static_probe.path_empty);
    EXPECT_FALSE(static_probe.memory_threw);
}

TEST(ErrorsTable, HasExactly211Messages) {
    EXPECT_EQ(error_message_count, 211);
    EXPECT_EQ(std::size(error_messages), 211u);
    EXPECT_EQ(Errors::message(-1), nullptr);
    EXPECT_EQ(Errors::message(211), nullptr);
    for (int i = 0; i < 211; ++i) {
        ASSERT_NE(Errors::message(i), nullptr) << i;
        EXPECT_GT(std::strlen(Errors::message(i)), 0u) << i;
    }
}

TEST(ErrorsTable, SampleTextsByteForByte) {
    // Spot checks that name the culprit; the checksum below pins the rest.
    EXPECT_STREQ(Errors::message(0), "not enough memory");
    EXPECT_STREQ(Errors::message(74), "invalid value assigned to \"GenotypicData: setting to default\"");
    EXPECT_STREQ(Errors::message(164), "a nucleotide is not found, impossible to apply Tajima-Nei correction ");
    EXPECT_STREQ(Errors::message(210), "Too many mutations during simulations");
}

TEST(ErrorsTable, WholeTableChecksum) {
    // 64-bit FNV-1a over every text followed by a newline, in number order.
    // Reference values computed by a separate script from the reference list
    // of messages: 8501 bytes, hash 0x5a710db2b32140d4.
    std::string all;
    for (int i = 0; i < error_message_count; ++i) {
        all += Errors::message(i);
        all += '\n';
    }
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (unsigned char c : all) {
        h ^= c;
        h *= 0x100000001b3ull;
    }
    EXPECT_EQ(all.size(), 8501u);
    EXPECT_EQ(h, 0x5a710db2b32140d4ull);
}

}  // namespace
}  // namespace quintle
