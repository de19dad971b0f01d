#pragma once

// The Mantel section of a project: what the project file says about the
// Mantel tests between the samples' genetic distances and the user's
// matrices. This first form only walks the section, so that the project
// reader can check which of its required keywords are present; the values
// and matrices, and the tests themselves, join later.

#include <fstream>

#include "core/my_string.h"
#include "run/ProfileSettings.h"

namespace quintle {

class Mantel {
public:
    // Kind of Y matrix ("fst", "log_fst", "slatkinlinearfst",
    // "log_slatkinlinearfst", "nm" or "custom"), lower case.
    my_string YMatrix{"fst"};
    // Copy of the project profile, taken when a section was read.
    ProfileSettings profile;

    Mantel() = default;

    // Reads the section from the line after its header to the end of the
    // project file (it is always the file's last section), one line at a
    // time into `buf`, adding one to `line` per line read. Each flag is set
    // when a line holding its keyword is met. Returns 1.
    int NewOpenMantel(std::ifstream& in, ProfileSettings& projectProfile, int& line, my_string& buf,
                      bool& hasMatrixSize, bool& hasYMatrix, bool& hasMatrixNumber,
                      bool& hasYMatrixLabels, bool& hasDistMatMantel, bool& hasUsedYMatrixLabels);
};

}  // namespace quintle
