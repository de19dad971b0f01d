// The older, token-based project reader (Project::open, the translator's) on
// any bytes, read as the translator reads its intermediate project: without
// a working copy.

#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "popstats/PopGenetics.h"
#include "project/Project.h"
#include "run/settings.h"

using namespace quintle;

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
    fuzz::open_discarding_log();
    std::string const path = fuzz::put_input(data, size, "f.pmp");

    Project project;
    settings::input_file = path.c_str();
    project.build_res_bac_names();
    ProfileSettings::LocusSeparator = 0;
    try {
        project.options.ProjectFolder = fuzz::folder().c_str();
        project.initialize();
        PopGenetics::globalAllelicDB.destroy();
        project.mantel.clear();
        project.open();
        project.clean();
    } catch (ExceptionType) {
        // A MEMORY report: the translator's run ends here.
        project.clean();
    }
    PopGenetics::globalAllelicDB.destroy();
    return 0;
}
