#pragma once

// The pieces of the program's entry that are worth having outside main: the
// usage text, the run file that describes the one project of a process, and
// the conversions applied to the command-line arguments.

#include <string>

#include "core/my_string.h"

namespace quintle {

// The usage text as printed by showHelp, without its final line end.
std::string usage_text();

// Writes the usage text, a line end and flushes standard output.
void showHelp();

// The working directory with every backslash turned into '/' and no
// separator added; empty when the operating system cannot give it.
std::string working_directory();

// The same as a my_string (empty also when it is too long for one).
my_string current_directory();

// Creates (or truncates) this process's run file "pml_run_<pid>.txt" in the
// working directory and writes its six lines: the working directory,
// "use_interf_settings", the project path, "0", "0" and "end". False, with
// errno telling why, when the file cannot be written.
bool make_pml_run_txt(std::string const& projectPath);

// Drops every "./" component that follows a separator ("a/./b" becomes
// "a/b"). A leading "./" stays, and ".." components are left alone.
std::string drop_dot_slash_components(std::string const& path);

// A numeric argument read with atof and truncated toward zero. Values beyond
// the int range give the nearest limit; a text that reads as NaN counts as
// absent and gives `absent`.
int numeric_argument(char const* text, int absent);

// True when the argument contains `keyword` (upper case) in any mix of cases.
bool argument_has_keyword(char const* argument, char const* keyword);

}  // namespace quintle
