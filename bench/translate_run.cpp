// translate_run FROM TO SOURCE TARGET [EXTRA...]
//
// One conversion of the format translator, as a front end starts it: a run
// file in mode "translate" in the current folder (the program folder too),
// handed to the run driver. The log goes beside the source. Used by
// bench/translate_bench.sh.

#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

#include "core/public.h"
#include "run/command_line.h"
#include "run/pmlestart.h"
#include "run/settings.h"

int main(int argc, char** argv) {
    using namespace quintle;
    if (argc < 5) {
        std::cerr << "usage: " << argv[0] << " FROM TO SOURCE TARGET [EXTRA...]\n";
        return 2;
    }
    silentPellomar = true;
    std::string const run_file = getPmlRunString().c_str();
    {
        std::ofstream out(run_file, std::ios::out | std::ios::trunc);
        out << working_directory() << "\ntranslate\n";
        for (int i = 1; i < argc; ++i) out << argv[i] << "\n";
        if (!out.good()) {
            std::cerr << argv[0] << ": cannot write the run file " << run_file << "\n";
            return 2;
        }
    }
    char no_directory[] = "";
    pmlestart(no_directory);
    release_run_globals();
    std::remove(run_file.c_str());
    return 0;
}
