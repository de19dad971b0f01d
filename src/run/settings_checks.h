#pragma once

// The values of the analysis settings against what their use can hold,
// checked once per project before any analysis: a count that would size an
// allocation beyond memory or overflow the arithmetic built on it, a value
// clamped at the limit of its field, or a weight or gamma shape that is
// negative or not a finite number. Each value out of range is reported in the
// log with its key and makes the project fail; nothing is wrapped or clamped
// silently.

#include "run/settings.h"

namespace quintle {

// True when every checked value of `s` that the asked analyses read is in
// range. Otherwise every value out of range has been reported (a line naming
// the key, its value and the range, and ERROR 55 from a function text naming
// the key) and the result is false.
bool settings_in_range(settings const& s);

}  // namespace quintle
