// quintle_translate PROGRAM_FOLDER FROM TO SOURCE TARGET [EXTRA...]
//
// A front end of the format translator, as a caller writes one: the run
// file "pml_run_<process id>.txt" in mode "translate" in the current folder
// (the program folder, "translate", the two format names, the two files and
// the extra lines of a Genepop or Tarvola source), then the run driver on
// it. The tests start several of these at once to see that translations in
// one folder keep apart.

#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

#include "core/public.h"
#include "run/settings.h"
#include "run/pmlestart.h"

int main(int argc, char** argv) {
    using namespace quintle;
    if (argc < 6) {
        std::cerr << "usage: " << argv[0] << " PROGRAM_FOLDER FROM TO SOURCE TARGET [EXTRA...]\n";
        return 2;
    }
    silentPellomar = true;
    std::string const run_file = getPmlRunString().c_str();
    {
        std::ofstream out(run_file, std::ios::out | std::ios::trunc);
        out << argv[1] << "\ntranslate\n";
        for (int i = 2; i < argc; ++i) out << argv[i] << "\n";
        if (!out.good()) {
            std::cerr << argv[0] << ": cannot write the run file " << run_file << "\n";
            return 2;
        }
    }
    char here[] = "";
    pmlestart(here);
    release_run_globals();
    std::remove(run_file.c_str());
    return 0;
}
