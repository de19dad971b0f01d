// The older Mantel-section reader (Mantel::get_settings, used by the
// translator's project reader) on any bytes, standing inside the section.

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "fuzz_support.h"
#include "mantel/Mantel.h"
#include "run/settings.h"

using namespace quintle;

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
    fuzz::open_discarding_log();
    // External matrix files are looked for in the fuzzer's own folder.
    static settings run = [] {
        settings s;
        s.ProjectFolder = fuzz::folder().c_str();
        return s;
    }();
    std::istringstream in(std::string(reinterpret_cast<char const*>(data), size));
    Mantel mantel;
    mantel.profile.RunSettings = &run;
    try {
        mantel.get_settings(in);
    } catch (ExceptionType) {
        // A MEMORY report ends the project read here.
    }
    return 0;
}
