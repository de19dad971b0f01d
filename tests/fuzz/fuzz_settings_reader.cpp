// The settings reader on any bytes, as a run reads "pml_run.pms".

#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "run/settings.h"

using namespace quintle;

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
    fuzz::open_discarding_log();
    std::string const path = fuzz::put_input(data, size, "pml_run.pms");
    settings options;
    try {
        options.read_settings(my_string(path.c_str()));
    } catch (ExceptionType) {
    }
    return 0;
}
