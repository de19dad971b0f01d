#pragma once

// Fragments of project-file text for programs that write project files of
// their own: a "[Profile]" block that opens "[Data]" and "[[Samples]]", and
// the frame of one sample block. The caller writes the data lines between a
// sample's header and footer. Nothing is reported: a failed stream stays
// failed for the caller to test.

#include <ostream>

#include "core/my_string.h"
#include "run/ProfileSettings.h"

namespace quintle {

// Profile of a series of simulated samples (title fixed, phase unknown).
std::ostream& write_Pellomar_header(int const& nbSamples, TDataType const& type, std::ostream& os);
// Profile of a phasing output: the given title, phase known, and the
// missing-data character its data lines use.
std::ostream& write_Pellomar_header_gibbs(my_string title, int const& nbSamples, TDataType const& type,
                                          std::ostream& os, char missing = '?');
// Opening of a sample block named "Sample <sampleNo>", or named `name`.
std::ostream& write_Pellomar_sample_header(int const& sampleNo, int const& sampleSize, std::ostream& os);
std::ostream& write_Pellomar_sample_header_gibbs(my_string const& name, int const& sampleSize, std::ostream& os);
// Closing brace of a sample block: at the start of the line, or on a new
// line after two tabs. Both flush.
std::ostream& write_Pellomar_sample_footer(std::ostream& os);
std::ostream& write_Pellomar_sample_footer_gibbs(std::ostream& os);

}  // namespace quintle
