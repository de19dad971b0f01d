#include "project/Project.h"

#include <fstream>
#include <ostream>
#include <string>

#include "core/Errors.h"
#include "core/xml.h"
#include "run/ProfileSettings.h"
#include "run/cleaner.h"
#include "run/pmlestart.h"

namespace quintle {

Project::Project() = default;

Project::~Project() = default;

int Project::run() {
    xmlOutput = options.XMLOutput != 0;
    if (ready == 0) {
        *_AOS_ << "\n No valid project is opened...." << std::endl;
        return 0;
    }
    {
        std::ifstream probe(settings::input_file.c_str());
        if (!probe.is_open()) {
            E.error(ERROR, "Project::run()", 126);
            return 0;
        }
    }

    // The project is read from its cleaned working copy in the result folder.
    std::string const source = settings::input_file.c_str();
    cleaner working_copy;
    if (working_copy.execute(ProfileSettings::LocusSeparator, source.c_str()) &&
        working_copy.get_clean_proj() != nullptr) {
        settings::input_file = working_copy.get_clean_proj();
    } else {
        *_AOS_ << "\nAn error has occurred while cleaning-up the project...\n" << std::endl;
    }

    // Reading the project and running its analyses are not part of this
    // form of the project: the run ends here, with nothing computed.

    working_copy.rm_clean_files();
    return 1;
}

void Project::build_res_bac_names() {
    my_string base = settings::input_file;
    base.remove_extension();
    options.ResultFileName = base + ".htm";
    options.BackupFileName = base + ".bac";
    my_string folder = options.ResultFileName;
    folder.extract_path();
    options.ProjectFolder = folder;
}

int Project::explore(char* /*exeDirectory*/) {
    std::ifstream in(settings::input_file.c_str());
    return in.is_open() ? 1 : 0;
}

void Project::print_error_message() {
    std::ofstream marker(PellomarExeDirectory + "pml_pro.txt", std::ios::out | std::ios::trunc);
    marker << "error" << std::endl;
}

}  // namespace quintle
