#pragma once

// Small output helpers shared by the sample analysis drivers: section
// banners, citation groups, progress messages with the stop check, number
// formats, elapsed times and the head of a batch summary line.

#include <ctime>
#include <fstream>
#include <initializer_list>
#include <ostream>

#include "core/my_string.h"
#include "core/timing.h"  // elapsed_ms_since, for the drivers

namespace quintle {

class settings;

// "\n", width equals signs, "\n== ", title, " : (", sample name, ")\n",
// width equals signs, "\n\n".
void write_banner(std::ostream& os, char const* title, int width, my_string const& sampleName);

// One key: the single-citation form. Several: first, middle and last
// positions, so that XML closes and reopens its data element once.
void write_citations(std::ostream& os, std::initializer_list<char const*> keys);

// Puts the text into the progress message and calls the progress hook.
// Returns true when the run asks to stop.
bool progress_stops(settings& s, char const* text);

// Fixed notation, point always shown, right-aligned, with that precision.
std::ostream& set_fixed(std::ostream& os, int decimals);


// The head of most batch lines: the project file and the sample name, each
// in double quotes and followed by a tab.
void write_batch_head(std::ostream& os, my_string const& sampleName);

// A batch stream is written only while its flag is set (and it was opened).
inline bool batch_on(int flag, std::ostream* stream) { return flag != 0 && stream != nullptr; }

// Where a driver writes when the run has no result file: a stream that takes
// nothing.
std::fstream& no_result_stream();

}  // namespace quintle
