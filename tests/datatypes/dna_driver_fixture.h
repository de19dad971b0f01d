#pragma once

// A DNA sample built by hand as the project reader builds one (haplotype
// definitions with their alleles in an allele base), and a run environment
// for its analysis driver: a result file and a log in a fresh temporary
// directory, and settings that write there.

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/Errors.h"
#include "data/HaploDef.h"
#include "data/TAlleleDB.h"
#include "datatypes/PopulDNA.h"
#include "run/ProfileSettings.h"
#include "run/settings.h"
#include "support/process_state.h"

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
// driver reads is set for DNA data, and put back afterwards with the
// project-wide alleles and the hit table the driver fills.
class DriverRun {
public:
    explicit DriverRun(std::int64_t tasks) {
        result_.open(log_.dir() / "result.htm", std::ios::out | std::ios::trunc);
        s.TaskNumber = tasks;
        s.ResultFile = &result_;
        s.GenotypicData = 0;
        s.GameticPhase = 0;
        s.NumSimulFuTest = 0;
        s.NumIterationsNeutralityTests = 0;
    }

    std::string result() {
        result_.flush();
        return read_file(log_.dir() / "result.htm");
    }
    std::string log() { return log_.text(); }

private:
    // Declared first: the guards outlive the result file and the settings.
    test::LogGuard log_{"quintle_dna_driver"};
    test::ProfileGuard profile_{DNA, '\0'};
    test::AllelicDBGuard projectAlleles_;
    test::HitsGuard hits_;
    std::fstream result_;

public:
    settings s;
};

}  // namespace quintle::testing_support
