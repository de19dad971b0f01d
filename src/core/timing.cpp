#include "core/timing.h"

namespace quintle {

std::int64_t elapsed_ms_since(std::clock_t start) {
    return static_cast<std::int64_t>(static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC * 1000.0);
}

std::int64_t LapClock::lap_ms() {
    std::clock_t const now = std::clock();
    std::int64_t const ms = static_cast<std::int64_t>(static_cast<double>(now - last_) / CLOCKS_PER_SEC * 1000.0);
    last_ = now;
    return ms;
}

}  // namespace quintle
