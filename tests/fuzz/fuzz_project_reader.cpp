// The project reader on any bytes: the working copy made by the cleaner,
// then Project::newOpen on it, as a run reads a project.

#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "popstats/PopGenetics.h"
#include "project/Project.h"
#include "run/cleaner.h"
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
        cleaner copy;
        if (!copy.execute(0, path.c_str()) || copy.get_clean_proj() == nullptr) return 0;
        settings::input_file = copy.get_clean_proj();
        project.options.ResultFolder = copy.get_proj_dir();
        project.RunSettings = &project.options;
        project.initialize();
        PopGenetics::globalAllelicDB.destroy();
        project.mantel.clear();
        project.newOpen();
        project.clean();
    } catch (ExceptionType) {
        // A MEMORY report: the run driver ends the project here.
        project.clean();
    }
    PopGenetics::globalAllelicDB.destroy();
    return 0;
}
