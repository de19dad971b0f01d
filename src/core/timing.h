#pragma once

#include <cstdint>
#include <ctime>

namespace quintle {

// Whole milliseconds of process time since `start`, a reading of std::clock()
// (or get_sys_clock()); the fraction is dropped.
std::int64_t elapsed_ms_since(std::clock_t start);

// Process time cut into consecutive laps, a lap ending where the next one
// begins; each lap gives its whole milliseconds of process time, as
// elapsed_ms_since counts them. Long series of short steps (the coalescent
// replicates, a few microseconds each) log each step's time this way.
//
// Reading the process clock is a system call, about twenty times the cost of
// reading the elapsed-time clock. The process runs one thread, so a lap
// cannot use more process time than elapses in it: a lap that ends within
// kShortLapNs of elapsed time is 0 ms, and the process clock is read only
// at the end of a longer lap, and at a lap's end when the last reading is
// kRefreshNs old or more. A longer lap that began without a reading starts
// from the last reading plus the elapsed time since (the most process time
// the process can have used by then): within kRefreshNs of its process time
// at the start, and exact where the process was not held up in between.
class LapClock {
public:
    using ElapsedNs = std::int64_t (*)();
    using ProcessTicks = std::clock_t (*)();

    // The first lap starts here.
    LapClock();
    // The same on the given clocks: nanoseconds of elapsed time and process
    // time in std::clock() ticks (the tests' stand-ins).
    LapClock(ElapsedNs elapsed, ProcessTicks process);

    // Whole milliseconds of process time of the lap that ends here; the next
    // lap starts.
    std::int64_t lap_ms();

    // Below 1 ms with room for the rounding of the process clock to its
    // ticks and for the two clocks' rates.
    static constexpr std::int64_t kShortLapNs = 990'000;
    static constexpr std::int64_t kRefreshNs = 100'000;

private:
    ElapsedNs elapsed_;
    ProcessTicks process_;
    std::clock_t readTicks_;    // process clock at the last reading
    std::int64_t readNs_;       // elapsed time at that reading
    std::int64_t lapStartNs_;   // elapsed time at the start of the lap
};

}  // namespace quintle
