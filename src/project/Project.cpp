#include "project/Project.h"

#include <fstream>
#include <new>
#include <ostream>
#include <string>

#include "core/Errors.h"
#include "core/platform.h"
#include "popstats/PopGenetics.h"
#include "project/Samples.h"
#include "project/Structure.h"
#include "run/pmlestart.h"

namespace quintle {

Project::Project() {
    try {
        samples = std::make_unique<Samples>();
        structure = std::make_unique<Structure>();
    } catch (std::bad_alloc const&) {
        E.error(MEMORY, "Project::Project()", Msg::m0_not_enough_memory);
        throw;
    }
}

Project::~Project() {
    // The structure borrows the set's samples: it goes first.
    structure.reset();
    samples.reset();
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
        if (can_open_for_reading(path)) MY_DeleteFile(path.c_str());
    }
    translator_files_.clear();
}

void Project::convertMicrosatToNumberOfRepeats() {
    if (samples->dataType == MICROSAT) *_AOS_ << "\nSkipping microsat repeat length detection\n";
}

void Project::translator_made(std::string const& path) {
    translator_files_.push_back(path);
}

void Project::print_error_message() {
    std::ofstream marker(PellomarExeDirectory + "pml_pro.txt", std::ios::out | std::ios::trunc);
    marker << "error" << std::endl;
}

}  // namespace quintle
