// quintle_run_list STATS_FILE APPEND HEADER_MODE PROJECT...
//
// Runs several projects in one process, as a run file that lists them does,
// so that the statistics record carries over from one project to the next
// (one header, the values a later project does not compute again). The
// program itself writes a run file of one project per call; the comparison
// corpus (scripts/compare_runs.sh, its run lists) runs this driver to see
// the carry-over. Silent, with the arguments of the program's call.

#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

#include "core/public.h"
#include "run/command_line.h"
#include "run/glbobj.h"
#include "run/pmlestart.h"
#include "run/settings.h"
#include "sumstat/TSumStat.h"

int main(int argc, char** argv) {
    using namespace quintle;
    if (argc < 5) {
        std::cerr << "usage: " << argv[0] << " STATS_FILE APPEND HEADER_MODE PROJECT...\n";
        return 2;
    }
    silentPellomar = true;
    std::string const run_file = getPmlRunString().c_str();
    {
        std::ofstream out(run_file, std::ios::out | std::ios::trunc);
        out << working_directory() << "\nuse_interf_settings\n";
        for (int i = 4; i < argc; ++i) out << argv[i] << "\n0\n0\n";
        out << "end\n";
        if (!out.good()) {
            std::cerr << argv[0] << ": cannot write the run file " << run_file << "\n";
            return 2;
        }
    }
    SumStat.defFileName = "ssdefs.txt";
    SumStat.outFileName = argv[1];
    SumStat.append = numeric_argument(argv[2], 1) != 0;
    SumStat.readDefSSFile(SumStat.defFileName);
    SumStat.computing = true;

    char no_directory[] = "";
    pmlestart(no_directory);

    SumStat.writeToFile(numeric_argument(argv[3], 0));
    release_run_globals();
    std::remove(run_file.c_str());
    return 0;
}
