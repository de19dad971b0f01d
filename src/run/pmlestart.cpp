#include "run/pmlestart.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <iostream>
#include <new>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "core/Errors.h"
#include "core/input_files.h"
#include "core/platform.h"
#include "core/public.h"
#include "core/random.h"
#include "popstats/PopGenetics.h"
#include "project/Project.h"
#include "run/ProfileSettings.h"
#include "run/glbobj.h"
#include "run/run_lock.h"
#include "run/settings.h"
#include "sumstat/TSumStat.h"
#include "translate/imp_exp.h"

namespace quintle {

Project* PPP = nullptr;
std::string PellomarExeDirectory;
std::string proj_file;
std::string set_file;
std::string run_file;

namespace {

constexpr long largest_seed = 161803398L;
constexpr char const* log_file_name = "Pellomar_log.txt";

// One line of the run file, without its '\n'. An empty text once the file
// has failed.
std::string next_line(std::istream& in) {
    std::string line;
    if (!in.fail()) std::getline(in, line);
    return line;
}

void remove_eol_and_lf(std::string& text) {
    std::erase_if(text, [](char c) { return c == '\r' || c == '\n'; });
}

// The line on standard error of a project that failed: a pipeline learns of
// it even though the exit status stays 0.
void report_failure(std::string const& project, std::string const& why) {
    std::cerr << "quintle: error during run of " << project << "; " << why << std::endl;
}

// Closing line of a failed project in its log, and its line on standard error.
void end_failed_project(std::string const& project, std::string const& log_path, std::string const& reason) {
    *_AOS_ << "Error during run of " << project << std::endl;
    report_failure(project, (reason.empty() ? std::string() : reason + "; ") + "see " + log_path);
}

// A statistics list that is there but could not be read whole fails every
// project, rather than giving lines without the columns asked for. True when
// the project was failed.
bool statistics_list_failed(std::string const& project, std::string const& log_path) {
    if (SumStat.defFileProblem.empty()) return false;
    std::string const name = SumStat.defFileName.c_str();
    *_AOS_ << "The statistics list \"" << name << "\" cannot be read: " << SumStat.defFileProblem << std::endl;
    end_failed_project(project, log_path, "cannot read the statistics list " + name + ": " + SumStat.defFileProblem);
    return true;
}

// Ends a project whose settings file cannot be read; one that is there but
// is not a data file (a pipe, a device, a file of /proc) is named as such.
void fail_without_settings(std::string const& project, std::string const& log_path, bool associated) {
    *_AOS_ << (associated ? "The Core Routine did not find the associated settings:\n"
                          : "Core Routine did not find its settings in:\n")
           << "    " << set_file << std::endl;
    std::string problem = input_file_problem(set_file);
    if (exists_but_not_a_data_file(set_file)) {
        *_AOS_ << "\t\"" << set_file << "\" is " << problem << ": it is not read." << std::endl;
    }
    if (problem.empty()) problem = "it cannot be opened";
    end_failed_project(project, log_path, "cannot read the settings file " + set_file + ": " + problem);
}

// Why the project file cannot be opened, for a project without a log.
std::string project_file_problem(std::string const& path) {
    std::string const problem = input_file_problem(path);
    return "cannot read the project file: " + (problem.empty() ? std::string("it cannot be opened") : problem);
}

// What a project left behind when an exception ended it: pointers to its
// closed result file, half-built statistics lines (a failed project adds
// none to what earlier projects built) and its data.
void abandon_project(std::size_t header_size, std::size_t stats_size) {
    E.echo = nullptr;
    PPP->options.ResultFile = nullptr;
    SumStat.groupPass = false;
    if (SumStat.headerLine.size() > header_size) SumStat.headerLine.resize(header_size);
    if (SumStat.statsLine.size() > stats_size) SumStat.statsLine.resize(stats_size);
    try {
        PPP->clean();
    } catch (...) {
        // What could not be freed now goes with the project object.
    }
}

// Reads the project's settings and runs (or explores) it. A MEMORY report or
// any exception ends the project the way a failed one ends, never the
// process. True when the project ran successfully; a failed project adds
// nothing to the statistics lines, even when it failed after a pass.
template <class Step>
bool guarded_project(Step step) {
    std::size_t const header_size = SumStat.headerLine.size();
    std::size_t const stats_size = SumStat.statsLine.size();
    enum class Stop { memory_reported, memory, internal, unknown } stop = Stop::unknown;
    // Copied into a fixed buffer: nothing may allocate while memory is short.
    char what[256] = {};
    try {
        if (step()) return true;
        SumStat.headerLine.resize(std::min(SumStat.headerLine.size(), header_size));
        SumStat.statsLine.resize(std::min(SumStat.statsLine.size(), stats_size));
        return false;
    } catch (ExceptionType) {
        stop = Stop::memory_reported;
    } catch (std::bad_alloc const&) {
        stop = Stop::memory;
    } catch (std::exception const& e) {
        stop = Stop::internal;
        std::strncpy(what, e.what(), sizeof what - 1);
    } catch (...) {
    }
    // First, as the reports below would still copy themselves into the
    // result file that the unwinding closed.
    abandon_project(header_size, stats_size);
    try {
        switch (stop) {
            case Stop::memory_reported: break;  // its report is in the log already
            case Stop::memory: E.error(MEMORY, "pmlestart()", Msg::m0_not_enough_memory); break;
            case Stop::internal:
                *_AOS_ << "\tThe run was stopped by an internal error: " << what << std::endl;
                break;
            case Stop::unknown:
                *_AOS_ << "\tThe run was stopped by an unexpected internal error." << std::endl;
                break;
        }
    } catch (...) {
        // The MEMORY report throws once written; and if even the report
        // cannot be made, the closing line still can.
    }
    return false;
}

void write_log_head(std::string const& logPath) {
    *_AOS_ << "Log file path: " << logPath << "\n";
    *_AOS_ << "Core Program Directory: " << PellomarExeDirectory << "\n";
}

// The batch files whose lines are lost, from the `told`-th on, on standard
// error. Returns how many have been told.
std::size_t tell_lost_batch_files(std::size_t told) {
    std::vector<std::string> const& lost = lost_batch_files();
    for (std::size_t i = told; i < lost.size(); ++i)
        std::cerr << "quintle: cannot write the batch file " << lost[i] << "; its lines are lost" << std::endl;
    return lost.size();
}

// The same in the log, from the `from`-th on.
void log_lost_batch_files(std::size_t from) {
    std::vector<std::string> const& lost = lost_batch_files();
    for (std::size_t i = from; i < lost.size(); ++i)
        *_AOS_ << "Cannot write the batch file " << lost[i] << "; its lines of this run are lost" << std::endl;
}

// Ending shared by every road out of the driver: the log, the batch summary
// streams and the shared line buffer are closed or released, so that no
// buffered line is lost whatever became of the run. A batch file whose
// writing fails now is told on standard error and at the end of the last
// log. `told`: the lost batch files told already.
int end_of_run(std::size_t told) {
    E.CloseLog_file();
    close_all_global_streams();
    if (lost_batch_files().size() > told) {
        tell_lost_batch_files(told);
        if (E.log_path().length() > 0) {
            E.init_log_file(E.log_path(), true);
            if (E.log_open() != 0) log_lost_batch_files(told);
            E.CloseLog_file();
        }
    }
    my_string::release_line_buffer();
    return static_cast<int>(ProfileSettings::DataType);
}

int format_code(std::string const& name) {
    if (name == "Pellomar") return 7;
    if (name == "Genepop") return 1;
    if (name == "Phylip") return 2;
    if (name == "Mega") return 3;
    if (name == "Biosys") return 4;
    return 5;
}

// One conversion through the translator; the rest of the run file after the
// mode word describes it. The log goes beside the source. `told`: the lost
// batch files told already.
int translate(std::istream& in, std::size_t told) {
    std::string source_format = next_line(in);
    std::string target_format = next_line(in);
    std::string input_path = next_line(in);
    std::string output_path = next_line(in);
    for (std::string* line : {&source_format, &target_format, &input_path, &output_path}) remove_eol_and_lf(*line);

    my_string log_folder(input_path.c_str());
    log_folder.extract_path();
    std::string const log_path = std::string(log_folder.c_str()) + log_file_name;
    E.init_log_file(my_string(log_path.c_str()), false);
    write_log_head(log_path);
    initialize_ran3(run_seed());

    imp_exp translator;
    translator.proj = PPP;
    if (source_format == "Genepop") {
        translator.genotypic = my_atoi(next_line(in).c_str());
    } else if (source_format == "Tarvola") {
        translator.extra_file_a = next_line(in);
        translator.extra_file_b = next_line(in);
        remove_eol_and_lf(translator.extra_file_a);
        remove_eol_and_lf(translator.extra_file_b);
    }
    translator.prog_dir = PellomarExeDirectory;

    int const source_code = format_code(source_format);
    int const target_code = format_code(target_format);
    if (source_code == target_code) return end_of_run(told);

    // The intermediate project, this process's own; the project's cleaning
    // deletes it, as it deletes every file the translator recorded, and
    // only those.
    std::string const temporary = PellomarExeDirectory + imp_exp::own_file_name("dum_pml", ".pmp");
    Project::translator_made(temporary);
    bool const ok = guarded_project([&] {
        bool imported = false;
        {
            std::ofstream out(temporary, std::ios::out | std::ios::trunc);
            imported = translator.import_data(source_code, input_path.c_str(), temporary.c_str(), &out) != 0;
        }
        if (!imported) {
            PPP->clean();
            return false;
        }
        std::ofstream out(output_path, std::ios::out | std::ios::trunc);
        return translator.export_data(target_code, temporary.c_str(), output_path.c_str(), &out) != 0;
    });
    if (!ok) end_failed_project(input_path, log_path, translator.refusal());
    return end_of_run(told);
}

}  // namespace

long seed_from_text(char const* text) {
    if (text == nullptr || *text == '\0') return 1;
    char const* const end = text + std::strlen(text);
    long value = 0;
    auto const [stop, error] = std::from_chars(text, end, value);
    if (error != std::errc() || stop != end) return 1;
    if (value < 1 || value > largest_seed) return 1;
    return -value;
}

long run_seed() {
    char const* const text = std::getenv("QUINTLE_SEED");
    long const seed = seed_from_text(text);
    // A pipeline that meant to fix its seed must learn that this call cannot
    // be repeated: told in the log and on standard error, the run goes on.
    if (seed == 1 && text != nullptr && *text != '\0') {
        std::string const told = std::string("QUINTLE_SEED=\"") + text + "\" is not a whole number from 1 to " +
                                 std::to_string(largest_seed) + ": the random generator is seeded from the clock";
        warn_log_and_console(told);
    }
    return seed;
}

int create_log_dir(char const* exeDirectory, char const* projectPath, my_string& resultFolder) {
    std::string const project = projectPath != nullptr ? projectPath : "";
    if (!can_open_for_reading(project)) {
        std::string const marker = std::string(exeDirectory != nullptr ? exeDirectory : "") +
                                   "pml_pro.txt";
        std::ofstream out(marker, std::ios::out | std::ios::trunc);
        out << "error" << "\n";
        return 0;
    }
    resultFolder = result_folder_of(project).c_str();
    MY_CreateDirectory(resultFolder.c_str());
    return 1;
}

int pmlestart(char* directory) {
    my_string::allocate_line_buffer();

    // A driver called again starts from a fresh project.
    delete PPP;
    PPP = nullptr;  // not left dangling should the new one fail
    PPP = new Project();
    PopGenetics::globalAllelicDB.destroy();

    PellomarExeDirectory = directory != nullptr ? directory : "";
    {
        std::string flags_dir = PellomarExeDirectory;
        read_global_flags(flags_dir.data());
    }
    initialize_pellomar_global_objects();
    // Told once for the run, and in the log of each project.
    std::size_t const told = tell_lost_batch_files(0);

    proj_file.clear();
    set_file.clear();
    run_file = PellomarExeDirectory + getPmlRunString().c_str();

    std::ifstream in(run_file);
    if (!in.is_open()) return end_of_run(told);

    // Head of the run file; a run file written with CRLF line ends reads
    // as one written with LF.
    PellomarExeDirectory = next_line(in);
    remove_eol_and_lf(PellomarExeDirectory);
    if (!PellomarExeDirectory.empty() && PellomarExeDirectory.back() != '/' &&
        PellomarExeDirectory.back() != '\\') {
        PellomarExeDirectory += '/';
    }
    settings::num_proj_done = 0;
    std::string mode = next_line(in);
    remove_eol_and_lf(mode);
    if (mode == "translate") return translate(in, told);

    bool const associated = mode == "use_ass_settings";
    bool const exploring = mode == "explore";
    if (mode == "use_spe_settings") {
        set_file = next_line(in);
    } else {
        set_file = PellomarExeDirectory + "pml_run.pms";
    }
    proj_file = next_line(in);
    remove_eol_and_lf(proj_file);
    remove_eol_and_lf(PellomarExeDirectory);
    remove_eol_and_lf(set_file);

    // Project loop.
    while (true) {
        if (proj_file == "end" || proj_file == "END") break;
        if (in.fail()) break;

        settings::input_file = proj_file.c_str();
        PPP->build_res_bac_names();

        my_string result_folder;
        if (!create_log_dir(PellomarExeDirectory.c_str(), proj_file.c_str(), result_folder)) {
            report_failure(proj_file, project_file_problem(proj_file));
            break;
        }
        // Held until this project is done; a run of the same project in
        // another process waits here.
        ResultFolderLock const lock(result_folder.c_str());
        if (!lock.problem().empty()) {
            report_failure(proj_file, lock.problem());
            break;
        }

        std::string const log_path = std::string(result_folder.c_str()) + log_file_name;
        E.init_log_file(my_string(log_path.c_str()), false);
        if (E.log_open() == 0) {
            report_failure(proj_file, "cannot create the log " + log_path + ": " + std::strerror(errno));
            break;
        }
        write_log_head(log_path);
        log_lost_batch_files(0);
        if (statistics_list_failed(proj_file, log_path)) break;

        // The settings file this project is run with. In the associated
        // mode it sits beside the project, and the check is made on it.
        if (associated) {
            my_string own = settings::input_file;
            own.remove_extension();
            set_file = std::string(own.c_str()) + ".pms";
        }
        PPP->options.SettingsFileName = set_file.c_str();
        if (!can_open_for_reading(set_file) && (associated || !exploring)) {
            fail_without_settings(proj_file, log_path, associated);
            break;
        }
        initialize_ran3(run_seed());

        *_AOS_ << "Reading project profile section..." << std::endl;
        *_AOS_ << "done !" << std::endl;

        // The two integers of the project override the settings file; a
        // line that is not there leaves the field as it is. They are read
        // first, so that a project stopped while its settings are read still
        // leaves the run file at the next project.
        std::optional<int> run_file_flag;
        std::optional<int> keep_null_distrib;
        if (!in.fail()) {
            std::string line;
            if (std::getline(in, line)) run_file_flag = my_atoi(line.c_str());
        }
        if (!in.fail()) {
            std::string line;
            if (std::getline(in, line)) keep_null_distrib = my_atoi(line.c_str());
        }

        bool const ok = guarded_project([&] {
            PPP->options.read_settings(my_string(set_file.c_str()));
            if (run_file_flag) PPP->options.RunFileFlag = *run_file_flag;
            if (keep_null_distrib) PPP->options.KeepNullDistrib = *keep_null_distrib;

            if (exploring) {
                *_AOS_ << "Exploring  " << proj_file << " ..." << std::endl;
                if (PPP->explore(PellomarExeDirectory.data()) == 0) Project::print_error_message();
                *_AOS_ << "done!" << std::endl;
                return true;
            }
            PPP->ready = 1;
            *_AOS_ << "Opening next project..." << std::endl;
            *_AOS_ << proj_file << std::endl;
            return PPP->run() != 0;
        });
        if (ok) {
            if (!exploring) *_AOS_ << "Successful run of " << proj_file << std::endl;
        } else {
            end_failed_project(proj_file, log_path, std::string());
        }

        proj_file = next_line(in);
        E.CloseLog_file();
        if (PPP->options.stopFlag != 0) proj_file = "end";
        ++settings::num_proj_done;
    }
    return end_of_run(told);
}

void release_run_globals() {
    proj_file.clear();
    set_file.clear();
    run_file.clear();
    PellomarExeDirectory.clear();
    delete PPP;
    PPP = nullptr;
}

}  // namespace quintle
