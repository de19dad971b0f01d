#pragma once

#include <cstdint>
#include <ctime>

namespace quintle {

// Whole milliseconds of process time since `start`, a reading of std::clock()
// (or get_sys_clock()); the fraction is dropped.
std::int64_t elapsed_ms_since(std::clock_t start);

}  // namespace quintle
