// The given distance matrix of a project on any bytes. The first byte
// chooses the reader: even, the body reader of the current project reader
// (DistMat::ReadDistanceMatrix) on a matrix of 1 + byte 2 % 64 rows, labels
// in a line or a column (byte 3), read in the project file or from an
// external file (byte 1); odd, the older token reader of the whole
// sub-section (DistMat::get_settings). The rest is the text read.

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "fuzz_support.h"
#include "project/DistMat.h"
#include "run/settings.h"

using namespace quintle;

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
    fuzz::open_discarding_log();
    if (size < 4) return 0;
    // External matrix files are looked for in the fuzzer's own folder.
    static settings run = [] {
        settings s;
        s.ProjectFolder = fuzz::folder().c_str();
        s.ResultFolder = fuzz::folder().c_str();
        return s;
    }();
    bool const older = (data[0] & 1) != 0;
    bool const external = (data[1] & 1) != 0;
    int const rows = 1 + data[2] % 64;
    int const labels = data[3] & 1;
    std::istringstream in(std::string(reinterpret_cast<char const*>(data + 4), size - 4));
    DistMat matrix;
    matrix.RunSettings = &run;
    try {
        if (older) {
            matrix.get_settings(in);
        } else {
            matrix.initializeMatrixAndArrays(rows);
            matrix.LabelPosition = labels;
            int line = 0;
            matrix.ReadDistanceMatrix(in, external, line);
        }
    } catch (ExceptionType) {
        // A MEMORY report ends the project read here.
    }
    return 0;
}
