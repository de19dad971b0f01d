#include "core/timing.h"

#include <algorithm>
#include <chrono>

namespace quintle {

namespace {

std::int64_t steady_ns() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::clock_t process_ticks() { return std::clock(); }

std::int64_t whole_ms(double ticks) { return static_cast<std::int64_t>(ticks / CLOCKS_PER_SEC * 1000.0); }

}  // namespace

std::int64_t elapsed_ms_since(std::clock_t start) {
    return static_cast<std::int64_t>(static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC * 1000.0);
}

LapClock::LapClock() : LapClock(&steady_ns, &process_ticks) {}

LapClock::LapClock(ElapsedNs elapsed, ProcessTicks process)
    : elapsed_(elapsed), process_(process), readTicks_(process()), readNs_(elapsed()), lapStartNs_(readNs_) {}

std::int64_t LapClock::lap_ms() {
    std::int64_t const now = elapsed_();
    bool const shortLap = now - lapStartNs_ < kShortLapNs;
    if (shortLap && now - readNs_ < kRefreshNs) {
        lapStartNs_ = now;
        return 0;
    }
    std::clock_t const ticks = process_();
    std::int64_t ms = 0;
    if (!shortLap) {
        // Process time at the lap's start: exact when read there, else the
        // last reading plus the elapsed time between the two, at most.
        double const sinceRead = static_cast<double>(ticks - readTicks_);
        double const gap = static_cast<double>(lapStartNs_ - readNs_) * (CLOCKS_PER_SEC / 1e9);
        ms = whole_ms(std::max(0.0, sinceRead - gap));
    }
    readTicks_ = ticks;
    readNs_ = lapStartNs_ = now;
    return ms;
}

}  // namespace quintle
