// Entry of the summary-statistics command: one project per process, its
// statistics line appended to the file named on the command line.

#include <cstdio>
#include <iostream>
#include <string>

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

}  // namespace

int main(int argc, char** argv) {
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

    std::string project_path = argv[1];
    if (project_path.find("./") != std::string::npos) {
        project_path = drop_dot_slash_components(project_path);
    }
    make_pml_run_txt(project_path);

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
