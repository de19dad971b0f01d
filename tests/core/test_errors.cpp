#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "core/Errors.h"
#include "scratch.h"
#include "support/process_state.h"

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

// A log of its own, numbered from 1, for every test.
class ErrorsLog : public ::testing::Test {
protected:
    void open(bool append) { E.init_log_file(my_string(log_.string().c_str()), append); }
    std::string closed_log() {
        E.CloseLog_file();
        return scratch::read_file(log_);
    }

    test::LogGuard guard_{"quintle_errors"};
    fs::path const& dir_ = guard_.dir();
    fs::path const log_ = guard_.path();
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

// A capture holds the echo back, hands it over piece by piece, nests, and on
// its end gives what was not taken to the echo it found.
TEST_F(ErrorsLog, EchoCaptureHoldsReportsBackUntilTaken) {
    std::ostringstream echo;
    E.echo = &echo;
    {
        EchoCapture outer;
        E.error(WARNING, "f", 110);
        {
            EchoCapture inner;
            E.error(ERROR, "g", 108);
            EXPECT_EQ(inner.take(), std::string(" #[ERROR # 1] : ") + Errors::message(108) + "\n");
            E.error(INFO, "h", 110);
        }
        EXPECT_EQ(echo.str(), "");
        const std::string held = outer.take();
        EXPECT_EQ(held, std::string(" #[WARNING # 1] : ") + Errors::message(110) + "\n #[INFO # 1] : " +
                            Errors::message(110) + "\n");
        E.error(WARNING, "f", 111);
    }
    EXPECT_EQ(E.echo, &echo);
    EXPECT_EQ(echo.str(), std::string(" #[WARNING # 2] : ") + Errors::message(111) + "\n");

    // Without an echo there is nothing to hold.
    E.echo = nullptr;
    EchoCapture none;
    E.error(WARNING, "f", 110);
    EXPECT_EQ(E.echo, nullptr);
    EXPECT_EQ(none.take(), "");
}

TEST(ErrorsStatic, UsableFromOtherUnitsStaticInitialisation) {
    EXPECT_TRUE(static_probe.aos_discards);
    EXPECT_FALSE(static_probe.memory_threw);
}

// The texts that other parts look for under their numbers: the logs of the
// comparison corpus, the tests of the readers and analyses, and whoever
// reads a log for them. A message moved or reworded would silently break
// them.
TEST(ErrorsTable, TextsOthersRelyOn) {
    struct Known {
        int number;
        char const* text;
    };
    Known const known[] = {
        {0, "not enough memory"},
        {1, "array out of bounds"},
        {2, "ill-defined genetic structure"},
        {9, "invalid stream"},
        {11, "missing haplotype label(s)"},
        {17, "reading distance matrix in external file"},
        {30, "invalid distance matrix size"},
        {62, "invalid value assigned to \"SampleName\""},
        {72, "no degrees of freedom left"},
        {105, "numerical error"},
        {123, "no samples have been defined"},
        {124, "no group(s) have been defined"},
        {125, "invalid structure: only one population per group"},
        {126, "unable to open project file"},
        {133, "unable to write project back-up file"},
        {134, "project contains invalid data after check"},
        {135, "haplotype list incompatible with distance matrix"},
        {136, "distance matrix could not be computed"},
        {146, "data already defined"},
        {152, "phenotype data base is empty"},
        {162, "sequences too divergent for Jukes and Cantor correction"},
        {163, "sequences too divergent for Kimura-2P correction"},
        {164, "a nucleotide is not found, impossible to apply Tajima-Nei correction "},
        {165, "sequences too divergent for Tajima-Nei correction"},
        {171, "nucleotide composition too unbalanced for Tamura correction"},
        {176, "nucleotide composition too unbalanced for Tamura-Nei correction"},
        {177, "hits vector has a bad size "},
        {179, "too many alleles, or too large sample "},
        {180, "attempt to compute negative sqrt "},
        {181, "given seed is too large, initializing ran3 with random seed "},
        {187, "No molecular diversity within a sample while performing Fu's test"},
        {190, "bad value assigned to keyword in project file"},
        {191, "reading sample data in external file"},
        {203, "missing required keywords definition in project file"},
        {207, "\"SampleName\" keyword not found"},
    };
    for (Known const& k : known) {
        ASSERT_NE(Errors::message(k.number), nullptr) << k.number;
        EXPECT_STREQ(Errors::message(k.number), k.text) << k.number;
    }
    // Outside the table there is no text (the log says "unknown message").
    EXPECT_EQ(Errors::message(-1), nullptr);
    EXPECT_EQ(Errors::message(error_message_count), nullptr);
}

}  // namespace
}  // namespace quintle
