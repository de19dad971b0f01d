#include "project/Project.h"

#include <ctime>
#include <fstream>
#include <new>
#include <ostream>
#include <string>

#include "core/Errors.h"
#include "core/platform.h"
#include "core/xml.h"
#include "popstats/PopGenetics.h"
#include "project/Samples.h"
#include "project/Structure.h"
#include "run/cleaner.h"
#include "run/pmlestart.h"

namespace quintle {

Project::Project() {
    try {
        samples = std::make_unique<Samples>();
        structure = std::make_unique<Structure>();
    } catch (std::bad_alloc const&) {
        E.error(MEMORY, "Project::Project()", 0);
        throw;
    }
}

Project::~Project() {
    // The structure borrows the set's samples: it goes first.
    structure.reset();
    samples.reset();
}

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
    if (working_copy.execute(LocusSeparator, source.c_str()) && working_copy.get_clean_proj() != nullptr) {
        settings::input_file = working_copy.get_clean_proj();
        options.ResultFileName = settings::input_file;
        options.ResultFolder = working_copy.get_proj_dir();
        options.LDHistoFileName = options.ResultFolder + "ld_dis.xl";
        RunSettings = &options;
        options.ResultFileName.remove_extension();
        options.ResultFileName += xmlOutput ? ".xml" : ".htm";
    } else {
        *_AOS_ << "\nAn error has occurred while cleaning-up the project...\n" << std::endl;
    }
    settings::input_file.convert_to_slash();
    options.ResultFileName.convert_to_slash();
    options.ResultFolder.convert_to_slash();
    options.BackupFileName.convert_to_slash();
    options.ProjectFolder.convert_to_slash();
    start_clock = static_cast<std::int64_t>(std::clock());
    vectors_built = 0;
    phen_converted = 0;
    ++run_number;

    // The result file and its frame, and the analyses of the project, join
    // later: this form of the run reads the project and frees it again.

    initialize();
    RunSettings = &options;
    settings::message = "Opening Project...";
    settings::print_message();
    PopGenetics::globalAllelicDB.destroy();
    if (newOpen() == 0) {
        *_AOS_ << "Error opening project... " << settings::input_file << std::endl;
        clean();
        print_error_message();
        working_copy.rm_clean_files();
        return 0;
    }

    clean();
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

void Project::clean() {
    distance_matrix.reset();
    structure->reset();
    samples->clean();
    haplotypes.reset();
    allele_db.destroy();
    E.echo = nullptr;
    // Only what this process's translator wrote: a file of the same name
    // that was there before belongs to someone else.
    for (std::string const& path : translator_files_) {
        std::ifstream probe(path);
        if (!probe.is_open()) continue;
        probe.close();
        MY_DeleteFile(path.c_str());
    }
    translator_files_.clear();
}

void Project::translator_made(std::string const& path) {
    translator_files_.push_back(path);
}

void Project::print_error_message() {
    std::ofstream marker(PellomarExeDirectory + "pml_pro.txt", std::ios::out | std::ios::trunc);
    marker << "error" << std::endl;
}

}  // namespace quintle
