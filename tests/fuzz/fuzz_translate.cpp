// The translator on any bytes as the source of one foreign format, compiled
// once per format (QUINTLE_FUZZ_SOURCE, an imp_exp format code): the import
// into an intermediate project, then the export of that project, as the run
// driver makes them. The export reads the reader's text back with the older
// project reader and prepares it; its target is chosen by the input's length,
// so that every writer and the project format are reached:
//   length % 6: 0 project, 1 GenePop, 2 Phylip, 3 Mega, 4 Biosys, 5 Tarvola;
// a GenePop source is read as diploid genotypes when (length / 6) is odd.
// A Tarvola source is a set of files: the input is cut at lines "%%" into the
// group file, the distance file and the population files p1.pop, p2.pop, ...
// (the prefix is "p"), so that the group file's words 1, 2, ... find them.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "popstats/PopGenetics.h"
#include "project/Project.h"
#include "run/ProfileSettings.h"
#include "run/settings.h"
#include "translate/imp_exp.h"

#ifndef QUINTLE_FUZZ_SOURCE
#error "QUINTLE_FUZZ_SOURCE names the source format"
#endif

using namespace quintle;

namespace {

void put_file(std::string const& path, std::string_view text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

// The Tarvola set of one input; answers the group file's path.
std::string put_tarvola_set(std::string_view input, imp_exp& t) {
    std::string const dir = fuzz::folder();
    t.extra_file_a = dir + "d.txt";
    t.extra_file_b = dir + "p";
    std::string groups = dir + "g.txt";
    int part = 0;
    std::size_t start = 0;
    while (true) {
        std::size_t cut = input.find("\n%%\n", start);
        std::string_view const text = input.substr(start, cut == std::string_view::npos ? cut : cut - start + 1);
        std::string const name =
            part == 0 ? groups : (part == 1 ? t.extra_file_a : t.extra_file_b + std::to_string(part - 1) + ".pop");
        put_file(name, text);
        if (cut == std::string_view::npos || part >= 64) break;
        start = cut + 4;
        ++part;
    }
    return groups;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
    fuzz::open_discarding_log();
    // The writers make their extra files (Tarvola's) in the current folder:
    // the private one during the translation, the fuzzer's own again after
    // it (its corpus and artifact paths may be relative).
    static std::filesystem::path const home = std::filesystem::current_path();
    if (::chdir(fuzz::folder().c_str()) != 0) return 0;

    int const source_code = QUINTLE_FUZZ_SOURCE;
    static constexpr int targets[] = {imp_exp::project_code, imp_exp::genepop_code, imp_exp::phylip_code,
                                      imp_exp::mega_code,    imp_exp::biosys_code,  imp_exp::tarvola_code};
    int const target_code = targets[size % 6];

    imp_exp t;
    std::string_view const input(reinterpret_cast<char const*>(data), size);
    std::string source;
    if (source_code == imp_exp::tarvola_code) {
        source = put_tarvola_set(input, t);
    } else {
        source = fuzz::put_input(data, size, "source.txt");
    }
    if (source_code == imp_exp::genepop_code) t.genotypic = (size / 6) % 2;
    t.prog_dir = fuzz::folder();

    ProfileSettings::DataType = STANDARD;
    ProfileSettings::LocusSeparator = 0;
    PopGenetics::globalAllelicDB.destroy();
    Project project;
    t.proj = &project;
    std::string const intermediate = fuzz::folder() + "dum.pmp";
    std::string const target = fuzz::folder() + "target.txt";
    Project::translator_made(intermediate);
    try {
        bool imported = false;
        {
            std::ofstream out(intermediate, std::ios::out | std::ios::trunc);
            imported = t.import_data(source_code, source.c_str(), intermediate.c_str(), &out) != 0;
        }
        if (imported) {
            std::ofstream out(target, std::ios::out | std::ios::trunc);
            t.export_data(target_code, intermediate.c_str(), target.c_str(), &out);
        } else {
            project.clean();
        }
    } catch (ExceptionType) {
        // A MEMORY report: the run driver ends the translation here.
        project.clean();
    } catch (std::bad_alloc const&) {
        project.clean();
    }
    PopGenetics::globalAllelicDB.destroy();
    // What this input wrote (a Tarvola set's files) is not seen by the next.
    std::error_code ec;
    for (auto const& entry : std::filesystem::directory_iterator(fuzz::folder(), ec))
        std::filesystem::remove(entry.path(), ec);
    std::filesystem::current_path(home, ec);
    return 0;
}
