// The file probe and the elapsed-time helper of the core library.

#include <gtest/gtest.h>

#include <ctime>

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

// Clock ticks become milliseconds through CLOCKS_PER_SEC: a start two
// seconds of ticks back is at least 2000 ms ago.
TEST(Timing, ElapsedMillisecondsCountTicksPerSecond) {
    std::clock_t const now = std::clock();
    EXPECT_GE(elapsed_ms_since(now - 2 * CLOCKS_PER_SEC), 2000);
    EXPECT_GE(elapsed_ms_since(now), 0);
}

}  // namespace
}  // namespace quintle
