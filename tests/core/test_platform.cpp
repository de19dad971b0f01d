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

}  // namespace
}  // namespace quintle
