#include "datatypes/driver_output.h"

#include <ios>
#include <string>

#include "core/References.h"
#include "core/public.h"
#include "core/timing.h"
#include "run/settings.h"

namespace quintle {

void write_banner(std::ostream& os, char const* title, int width, my_string const& sampleName) {
    const std::string rule(static_cast<std::size_t>(width > 0 ? width : 0), '=');
    os << "\n" << rule << "\n== " << title << " : (" << sampleName << ")\n" << rule << "\n\n";
}

void write_citations(std::ostream& os, std::initializer_list<char const*> keys) {
    if (keys.size() == 1) {
        References{os, my_string(*keys.begin())};
        return;
    }
    std::size_t i = 0;
    for (char const* key : keys) {
        const int position = i == 0 ? 0 : (i + 1 == keys.size() ? 2 : 1);
        References{os, my_string(key), position};
        ++i;
    }
}

bool progress_stops(settings& s, char const* text) {
    settings::message = text;
    settings::print_message();
    return s.stopFlag != 0;
}

std::ostream& set_fixed(std::ostream& os, int decimals) {
    os.setf(std::ios::fixed | std::ios::showpoint | std::ios::right);
    os.unsetf(std::ios::scientific | std::ios::left | std::ios::internal);
    os.precision(decimals);
    return os;
}

void write_batch_head(std::ostream& os, my_string const& sampleName) {
    os << '"' << settings::input_file << "\"\t\"" << sampleName << "\"\t";
}

std::fstream& no_result_stream() {
    // Never opened: every write fails quietly.
    static std::fstream sink;
    sink.clear();
    return sink;
}

}  // namespace quintle
