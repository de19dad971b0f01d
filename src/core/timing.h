#pragma once

#include <cstdint>
#include <ctime>

namespace quintle {

// Whole milliseconds of process time since `start`, a reading of std::clock()
// (or get_sys_clock()); the fraction is dropped.
std::int64_t elapsed_ms_since(std::clock_t start);

// Process time cut into consecutive laps with one clock reading per lap: a
// lap ends where the next one begins. Long series of short steps (the
// coalescent replicates) log each step's time this way, at half the system
// calls of a start and an end reading per step.
class LapClock {
public:
    // The first lap starts here.
    LapClock() : last_(std::clock()) {}
    // Whole milliseconds of process time since the end of the previous lap
    // (as elapsed_ms_since counts them), and the start of the next lap.
    std::int64_t lap_ms();

private:
    std::clock_t last_;
};

}  // namespace quintle
