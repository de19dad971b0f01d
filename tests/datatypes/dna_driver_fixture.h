#pragma once

// A DNA sample built by hand as the project reader builds one (haplotype
// definitions with their alleles in an allele base), and a run environment
// for its analysis driver: a result file and a log in a fresh temporary
// directory, and settings that write there.

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <unistd.h>

#include "core/Errors.h"
#include "data/HaploDef.h"
#include "data/TAlleleDB.h"
#include "datatypes/PopulDNA.h"
#include "run/ProfileSettings.h"
#include "run/settings.h"

namespace quintle::testing_support {

inline std::string read_file(std::filesystem::path const& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class DnaSample {
public:
    DnaSample(char const* name, std::vector<std::pair<std::string, int>> const& sequences) {
        pop.name = name;
        pop.id = 0;
        pop.profile.MissingData = '?';
        pop.profile.GenotypicData = 0;
        pop.profile.GameticPhase = 0;
        pop.alleleDB = &alleles;
        double total = 0.0;
        int k = 0;
        for (auto const& [text, count] : sequences) {
            auto def = std::make_unique<HaploDef>(my_string(std::to_string(++k).c_str()));
            def->data = text.c_str();
            def->build_haplovect(&alleles, '\0', 0, count);
            pop.haplotypes.Add(new PHaploDef{def.get(), count});
            definitions.push_back(std::move(def));
            total += count;
        }
        pop.SampleSize = total;
        pop.NbHaplotypeEntries = k;
        pop.NbHaplotypeEntriesRead = k;
    }

    // Declared in this order so that the sample goes first.
    TAlleleDB alleles{0};
    std::vector<std::unique_ptr<HaploDef>> definitions;
    PopulDNA pop;
};

// Result file, log and settings of one driver run; the class-wide state the
// driver reads is set for DNA data and put back afterwards.
class DriverRun {
public:
    explicit DriverRun(std::int64_t tasks) : savedType_(ProfileSettings::DataType), savedSeparator_(ProfileSettings::LocusSeparator) {
        static std::atomic<int> serial{0};
        dir_ = std::filesystem::temp_directory_path() /
               ("quintle_dna_driver_" + std::to_string(::getpid()) + "_" + std::to_string(serial++));
        std::filesystem::create_directories(dir_);
        E.init_log_file(my_string((dir_ / "log.txt").string().c_str()), false);
        E.error(WARNING, "", -1);
        result_.open(dir_ / "result.htm", std::ios::out | std::ios::trunc);
        ProfileSettings::DataType = DNA;
        ProfileSettings::LocusSeparator = 0;
        s.TaskNumber = tasks;
        s.ResultFile = &result_;
        s.GenotypicData = 0;
        s.GameticPhase = 0;
        s.NumSimulFuTest = 0;
        s.NumIterationsNeutralityTests = 0;
    }
    ~DriverRun() {
        result_.close();
        E.CloseLog_file();
        // Leave the log silent for whatever runs next in this process.
        E.init_log_file(my_string((dir_ / "absent" / "log.txt").string().c_str()), false);
        ProfileSettings::DataType = savedType_;
        ProfileSettings::LocusSeparator = savedSeparator_;
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    std::string result() {
        result_.flush();
        return read_file(dir_ / "result.htm");
    }
    std::string log() {
        _AOS_->flush();
        return read_file(dir_ / "log.txt");
    }

    settings s;

private:
    std::filesystem::path dir_;
    std::fstream result_;
    TDataType savedType_;
    char savedSeparator_;
};

}  // namespace quintle::testing_support
