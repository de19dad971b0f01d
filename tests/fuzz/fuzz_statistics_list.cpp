// The statistics list on any bytes, as a run reads "ssdefs.txt", and the
// header and value lines it then builds for every data type.

#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "run/ProfileSettings.h"
#include "sumstat/TSumStat.h"

using namespace quintle;

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
    fuzz::open_discarding_log();
    std::string const path = fuzz::put_input(data, size, "ssdefs.txt");
    TSumStat stats;
    stats.readDefSSFile(my_string(path.c_str()));
    stats.computing = true;
    for (TDataType type : {DNA, RFLP, MICROSAT, STANDARD, FREQUENCY}) {
        stats.outputHeader(type);
        stats.outputStats(type);
    }
    return 0;
}
