// Entry of the summary-statistics command: one project per process, its
// statistics line appended to the file named on the command line.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>
#include <new>
#include <string>

#include "core/Errors.h"
#include "core/public.h"
#include "run/command_line.h"
#include "run/glbobj.h"
#include "run/pmlestart.h"
#include "run/settings.h"
#include "sumstat/TSumStat.h"

namespace {

// Releases what the run built and removes this process's run file.
int ending() {
    quintle::release_run_globals();
    std::remove(quintle::getPmlRunString().c_str());
    return 0;
}

int run_main(int argc, char** argv, std::string& project_path) {
    using namespace quintle;

    if (argc < 2) {
        showHelp();
        return ending();
    }

    // Keywords are looked for in every argument; the arguments still count
    // as positions.
    for (int i = 1; i < argc; ++i) {
        if (argument_has_keyword(argv[i], "RUN_SILENT")) {
            silentPellomar = true;
            std::cout << "Running quintle in silent mode ..." << std::endl;
        } else if (argument_has_keyword(argv[i], "-HELP")) {
            showHelp();
            return 0;
        }
    }

    SumStat.defFileName = "ssdefs.txt";

    project_path = argv[1];
    if (project_path.find("./") != std::string::npos) {
        project_path = drop_dot_slash_components(project_path);
    }
    if (!make_pml_run_txt(project_path)) {
        // Without its run file the project is not run at all (a read-only
        // working folder): say so, as no log will.
        int const err = errno;
        std::cerr << "quintle: error during run of " << project_path << "; cannot write the run file "
                  << getPmlRunString().c_str() << " in the working folder: " << std::strerror(err) << std::endl;
    }

    int append_value = 1;
    int header_mode = 0;
    if (argc >= 3) SumStat.outFileName = argv[2];
    if (argc >= 4) append_value = numeric_argument(argv[3], 1);
    if (argc >= 5) header_mode = numeric_argument(argv[4], 0);
    SumStat.append = append_value != 0;

    SumStat.readDefSSFile(SumStat.defFileName);
    SumStat.computing = true;

    char no_directory[] = "";
    pmlestart(no_directory);

    SumStat.writeToFile(header_mode);
    return ending();
}

}  // namespace

int main(int argc, char** argv) {
    // The project loop ends a project on any exception; what may still
    // escape (the statistics list, the statistics file) must not abort the
    // process either.
    std::string project_path;
    try {
        return run_main(argc, argv, project_path);
    } catch (quintle::ExceptionType) {
        std::cerr << "quintle: error during run of " << project_path << "; not enough memory" << std::endl;
    } catch (std::bad_alloc const&) {
        std::cerr << "quintle: error during run of " << project_path << "; not enough memory" << std::endl;
    } catch (std::exception const& e) {
        std::cerr << "quintle: error during run of " << project_path << "; " << e.what() << std::endl;
    } catch (...) {
        std::cerr << "quintle: error during run of " << project_path << "; unexpected internal error" << std::endl;
    }
    try {
        return ending();
    } catch (...) {
        return 0;
    }
}
