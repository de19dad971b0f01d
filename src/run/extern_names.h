#pragma once

// Where a file that a project names after EXTERN is read from.
//
// Two kinds of reader meet such names, and they do not start from the same
// folder:
// - The section readers of the project file (samples, the haplotype list and
//   the distance matrix of their sections, Mantel matrices) and the cleaner
//   read the original files: a name beginning with '/' stands alone, any
//   other is relative to the folder of the project file (ProjectFolder).
// - The haplotype store's own reader of "HaplList EXTERN" reads a cleaned
//   working copy of the project, which lives in the result folder together
//   with the cleaned copy of every file the project names after EXTERN; so
//   its bare names are relative to the result folder (ResultFolder), and a
//   name holding a '/' or a '\' is taken as it stands.

#include <string>
#include <string_view>

namespace quintle {

class settings;

enum class ExternBase { ProjectFolder, ResultFolder };

// The path of `name` for a reader whose relative names start in `folder`
// (which ends with its separator, or is empty).
std::string extern_file_path(std::string_view name, std::string_view folder, ExternBase base);

// The same with the folder taken from the run settings. Without settings
// the name is used as it stands; for the result folder the log says so.
std::string extern_file_path(std::string_view name, settings const* run, ExternBase base);

}  // namespace quintle
