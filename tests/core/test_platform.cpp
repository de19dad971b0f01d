// The file probe and the elapsed-time helper of the core library.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <ctime>
#include <algorithm>
#include <string>
#include <vector>

#include "core/platform.h"
#include "core/scratch.h"
#include "core/timing.h"

namespace quintle {
namespace {

TEST(Platform, CanOpenForReadingOnlyWhatExists) {
    scratch::Dir dir("quintle_platform");
    scratch::write_file(dir / "there.txt", "x");
    EXPECT_TRUE(can_open_for_reading((dir / "there.txt").string()));
    EXPECT_FALSE(can_open_for_reading((dir / "absent.txt").string()));
    EXPECT_FALSE(can_open_for_reading(static_cast<char const*>(nullptr)));
}

// Processes appending large texts to one file at once leave each text whole
// and none lost; replacing leaves exactly one writer's text.
TEST(Platform, LockedWritesNeverMixTheTextsOfProcesses) {
    scratch::Dir dir("quintle_platform");
    std::string const file = (dir / "shared.txt").string();
    constexpr int writers = 6;
    constexpr std::size_t size = 1 << 20;
    auto text_of = [](int k) { return std::string(size - 1, static_cast<char>('a' + k)) + "\n"; };
    for (bool const replace : {false, true}) {
        SCOPED_TRACE(replace ? "replace" : "append");
        std::vector<pid_t> children;
        for (int k = 0; k < writers; ++k) {
            pid_t const pid = ::fork();
            ASSERT_GE(pid, 0);
            if (pid == 0) {
                std::string const text = text_of(k);
                bool const ok = replace ? MY_ReplaceFileContent(file.c_str(), text)
                                        : MY_AppendToFile(file.c_str(), text);
                ::_exit(ok ? 0 : 1);
            }
            children.push_back(pid);
        }
        for (pid_t pid : children) {
            int status = 0;
            ASSERT_EQ(::waitpid(pid, &status, 0), pid);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        }
        std::string const got = scratch::read_file(dir / "shared.txt");
        ASSERT_EQ(got.size(), replace ? size : writers * size);
        std::string seen;
        for (std::size_t at = 0; at < got.size(); at += size) {
            char const c = got[at];
            EXPECT_EQ(got.substr(at, size), text_of(c - 'a')) << "a text cut at " << at;
            seen += c;
        }
        if (!replace) {
            std::sort(seen.begin(), seen.end());
            EXPECT_EQ(seen, "abcdef");
        }
    }
}

// Clock ticks become milliseconds through CLOCKS_PER_SEC: a start two
// seconds of ticks back is at least 2000 ms ago.
TEST(Timing, ElapsedMillisecondsCountTicksPerSecond) {
    std::clock_t const now = std::clock();
    EXPECT_GE(elapsed_ms_since(now - 2 * CLOCKS_PER_SEC), 2000);
    EXPECT_GE(elapsed_ms_since(now), 0);
}

// Stand-in clocks of the lap tests: elapsed nanoseconds and process ticks
// set by the test, and the number of process clock readings.
std::int64_t fakeElapsedNs = 0;
std::clock_t fakeTicks = 0;
int processReadings = 0;
std::int64_t fake_elapsed() { return fakeElapsedNs; }
std::clock_t fake_process() {
    ++processReadings;
    return fakeTicks;
}
// Elapsed and process time move on by the given microseconds.
void advance(std::int64_t elapsedUs, std::int64_t processUs) {
    fakeElapsedNs += elapsedUs * 1000;
    fakeTicks += static_cast<std::clock_t>(processUs * CLOCKS_PER_SEC / 1000000);
}

// Laps of a few microseconds are 0 ms without a process clock reading each;
// the process clock is read again once 100 us have elapsed since the last
// reading, and at the end of every lap of 990 us or more.
TEST(Timing, ShortLapsAreZeroWithoutReadingTheProcessClock) {
    fakeElapsedNs = 5'000'000;
    fakeTicks = 7 * CLOCKS_PER_SEC;
    processReadings = 0;
    LapClock laps(&fake_elapsed, &fake_process);
    EXPECT_EQ(processReadings, 1);
    for (int i = 0; i < 24; ++i) {  // 96 us
        advance(4, 4);
        EXPECT_EQ(laps.lap_ms(), 0);
    }
    EXPECT_EQ(processReadings, 1);
    advance(4, 4);  // 100 us since the reading: read again, still 0
    EXPECT_EQ(laps.lap_ms(), 0);
    EXPECT_EQ(processReadings, 2);
    advance(989, 989);
    EXPECT_EQ(laps.lap_ms(), 0);
    EXPECT_EQ(processReadings, 3);
}

// A long lap that starts at a reading gives the whole milliseconds of
// process time it used (2.5 ms of process time in 3 ms elapsed: 2), as
// elapsed_ms_since counts them; a lap held up (5 ms elapsed, 0.7 ms of
// process time) gives 0.
TEST(Timing, LongLapsGiveTheirProcessTime) {
    fakeElapsedNs = 0;
    fakeTicks = 0;
    processReadings = 0;
    LapClock laps(&fake_elapsed, &fake_process);
    advance(3000, 2500);
    EXPECT_EQ(laps.lap_ms(), 2);
    advance(5000, 700);
    EXPECT_EQ(laps.lap_ms(), 0);
    advance(1500, 1500);
    EXPECT_EQ(laps.lap_ms(), 1);
    advance(12'345, 11'999);
    EXPECT_EQ(laps.lap_ms(), 11);
    EXPECT_EQ(processReadings, 5);
}

// A long lap after short laps without a reading: the process time of the
// short laps (here as much as elapsed, 60 us) is not counted in it. 60 us of
// short laps then a lap of 1.98 ms of process time: 1, where the time since
// the last reading (2.04 ms) would give 2. Held up during the short laps
// (60 us elapsed, 10 us used), the lap is counted from 50 us later than its
// start: 1.95 ms of its 2.0 ms, still 1. A long lap that used no process
// time after a short one is 0.
TEST(Timing, LongLapAfterShortOnesStartsAfterThem) {
    fakeElapsedNs = 0;
    fakeTicks = 0;
    processReadings = 0;
    LapClock laps(&fake_elapsed, &fake_process);
    for (int i = 0; i < 3; ++i) {
        advance(20, 20);
        EXPECT_EQ(laps.lap_ms(), 0);
    }
    advance(1980, 1980);
    EXPECT_EQ(laps.lap_ms(), 1);
    for (int i = 0; i < 3; ++i) {
        advance(20, i == 0 ? 10 : 0);
        EXPECT_EQ(laps.lap_ms(), 0);
    }
    advance(2000, 2000);
    EXPECT_EQ(laps.lap_ms(), 1);
    advance(50, 50);
    EXPECT_EQ(laps.lap_ms(), 0);
    advance(3000, 10);
    EXPECT_EQ(laps.lap_ms(), 0);
    advance(99, 99);
    EXPECT_EQ(laps.lap_ms(), 0);
    advance(4000, 0);
    EXPECT_EQ(laps.lap_ms(), 0);
    EXPECT_EQ(processReadings, 5);
}

}  // namespace
}  // namespace quintle
