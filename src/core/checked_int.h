#pragma once

// The one conversion of a number read from a project file (getValue gives a
// double) to an int field: MatrixSize, NbSamples, SampleSize, NbGroups,
// GenotypicData, GameticPhase, RecessiveData, ...
//
// strtod takes "nan", "-inf" and "1e30"; converting such a value to int is
// undefined behaviour, and an enormous count would size an allocation. Every
// project-file reader converts through checked_int and, when it refuses,
// treats the value as it treats any other bad value of that keyword (same
// message, same default or same abandon).
//
// Shared by the project reader, the samples reader and the structure and
// matrix readers: use it instead of a bare static_cast<int>.

#include <climits>

namespace quintle {

// True when `value` is finite and its truncation toward zero fits an int;
// `result` then receives that truncation. Otherwise false and `result` is
// left as it was.
[[nodiscard]] inline bool checked_int(double value, int& result) noexcept {
    // Both bounds are exact in a double; NaN fails both comparisons.
    constexpr double below = static_cast<double>(INT_MIN) - 1.0;
    constexpr double above = static_cast<double>(INT_MAX) + 1.0;
    if (!(value > below && value < above)) return false;
    result = static_cast<int>(value);  // truncates toward zero
    return true;
}

}  // namespace quintle
