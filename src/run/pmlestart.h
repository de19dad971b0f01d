#pragma once

// The run driver: builds the one project object of the process, reads the run
// file and loops over the projects it lists, giving each its result folder,
// log file, seed and settings. Paths have no length limit.

#include <string>

#include "core/my_string.h"

namespace quintle {

class Project;

// The one project of the process: built by pmlestart, destroyed by
// release_run_globals (main's ending).
extern Project* PPP;
// Program directory: the run file's first line, with its trailing '/' (empty
// when that line is empty). The settings file and the marker file
// "pml_pro.txt" are looked up there.
extern std::string PellomarExeDirectory;
// Current project path, current settings-file path and run-file path.
extern std::string proj_file;
extern std::string set_file;
extern std::string run_file;

// Runs the projects of the run file found under `directory` (null counts as
// empty); "glbstreams.txt" is looked up under the same prefix. Returns the
// data-type code of the last project read.
int pmlestart(char* directory);

// When the project file can be opened: sets `resultFolder` to the path
// without extension followed by ".res/", creates that folder and returns 1.
// Otherwise writes "error" into `exeDirectory` + "pml_pro.txt", leaves
// `resultFolder` alone and returns 0.
int create_log_dir(char const* exeDirectory, char const* projectPath, my_string& resultFolder);

// Seed for initialize_ran3 from the text of the QUINTLE_SEED variable: -n for
// a decimal integer n from 1 to 161803398, otherwise 1 (the time-based seed).
long seed_from_text(char const* text);
// The same for the process's own environment; a variable that is set but
// gives no seed is told in the log and on standard error.
long run_seed();

// End of a process: deletes the project and empties the path globals.
void release_run_globals();

}  // namespace quintle
