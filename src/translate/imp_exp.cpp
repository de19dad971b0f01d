#include "translate/imp_exp.h"

#include <ostream>

#include "core/Errors.h"

namespace quintle {

namespace {
constexpr int project_format = 7;
}

imp_exp::imp_exp() = default;

imp_exp::~imp_exp() = default;

void imp_exp::copy_lines() {
    std::ifstream in(in_file_name);
    std::string line;
    while (of_str != nullptr && std::getline(in, line)) *of_str << line << "\n";
}

void imp_exp::import_data(int code, char const* source, char const* target,
                          std::ofstream* stream) {
    in_file_name = source != nullptr ? source : "";
    out_file_name = target != nullptr ? target : "";
    *_AOS_ << "\tReading  " << in_file_name << " ...";
    of_str = stream;
    format = code;
    // Only the project format is known so far.
    if (code == project_format) copy_lines();
    *_AOS_ << "\tdone." << std::endl;
}

void imp_exp::export_data(int code, char const* source, char const* target,
                          std::ofstream* stream) {
    in_file_name = source != nullptr ? source : "";
    out_file_name = target != nullptr ? target : "";
    of_str = stream;
    format = code;
    if (code == project_format) copy_lines();
    *_AOS_ << "    Writing  " << out_file_name << "... done." << std::endl;
}

}  // namespace quintle
