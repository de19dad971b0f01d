#pragma once

// One project file and its run. This is the first, minimal form of the
// project: it owns the run's settings and the ready-to-run flag, makes the
// cleaned working copy of the project file, and names the result files.
// Reading the project and running the analyses join later.

#include "run/settings.h"

namespace quintle {

class Project {
public:
    // 1: the project may be run. The run driver sets it before each run.
    int ready = 0;
    // The analysis settings of the project being run.
    settings options;

    Project();
    ~Project();
    Project(Project const&) = delete;
    Project& operator=(Project const&) = delete;

    // Runs the project named by settings::input_file: 1 when it was run,
    // 0 when it was not ready or its file cannot be opened.
    int run();

    // ResultFileName (".htm"), BackupFileName (".bac") and ProjectFolder
    // from settings::input_file.
    void build_res_bac_names();

    // Scans the project named by settings::input_file without analysing it;
    // 0 when it cannot be read.
    int explore(char* exeDirectory);

    // Writes "error" and a line end into PellomarExeDirectory + "pml_pro.txt".
    static void print_error_message();
};

}  // namespace quintle
