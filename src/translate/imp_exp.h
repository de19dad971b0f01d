#pragma once

// The format translator between project files and foreign data formats.
// This first form carries the translator's fields and its two steps for the
// project format itself (code 7); the foreign readers and writers join later.

#include <fstream>
#include <string>

namespace quintle {

class Project;

class imp_exp {
public:
    std::string in_file_name;   // file read by the current step
    std::string prog_dir;       // program directory, set by the run driver
    std::string out_file_name;  // file written by the current step
    std::ofstream* of_str = nullptr;  // stream of the current step, not owned
    int of_str_open = 0;
    int format = 0;             // format code of the current step
    Project* proj = nullptr;    // the run's project, not owned
    std::string extra_file_b;   // second extra line of a Tarvola source
    std::string extra_file_a;   // first extra line of a Tarvola source
    int genotypic = 0;          // Genepop source: nonzero for diploid data

    imp_exp();
    ~imp_exp();
    imp_exp(imp_exp const&) = delete;
    imp_exp& operator=(imp_exp const&) = delete;

    // Reads `source` in the format of `code` (1 Genepop, 2 Phylip, 3 Mega,
    // 4 Biosys, 5 Tarvola, 7 project file) and writes it as project text to
    // `stream`, which the caller has opened on `target`.
    void import_data(int code, char const* source, char const* target, std::ofstream* stream);

    // Writes the project `source` in the format of `code` to `stream`, which
    // the caller has opened on `target`.
    void export_data(int code, char const* source, char const* target, std::ofstream* stream);

private:
    // Copies in_file_name line by line to of_str.
    void copy_lines();
};

}  // namespace quintle
