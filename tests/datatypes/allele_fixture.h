#pragma once

// Microsatellite and standard-data samples built by hand as the project
// reader builds them (haplotype definitions whose blank-separated alleles
// sit in an allele base), and a run environment for their driver: result
// file, log and settings in a fresh folder, the class-wide data type and
// locus separator set for the test's life.

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "core/Errors.h"
#include "data/HaploDef.h"
#include "data/TAlleleDB.h"
#include "datatypes/dna_driver_fixture.h"
#include "run/ProfileSettings.h"
#include "run/settings.h"
#include "support/process_state.h"

namespace quintle::testing_support {

// Haplotypes given as blank-separated allele names with their counts;
// Sample is PopulMicrosat or PopulStandard.
template <class Sample>
class AlleleSample {
public:
    AlleleSample(char const* name, std::vector<std::pair<std::string, int>> const& haplotypes) {
        pop.name = name;
        pop.id = 0;
        pop.profile.MissingData = '?';
        pop.profile.GenotypicData = 0;
        pop.profile.GameticPhase = 0;
        pop.locusSeparator = ' ';  // the texts' alleles are blank-separated
        pop.alleleDB = &alleles;
        double total = 0.0;
        int k = 0;
        for (auto const& [text, count] : haplotypes) {
            auto def = std::make_unique<HaploDef>(my_string(("h" + std::to_string(++k)).c_str()));
            def->data = text.c_str();
            def->build_haplovect(&alleles, ' ', 0, count);
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
    Sample pop;
};

// Result file (which also takes the short copies of the reports), log and
// settings of one driver run for data of `type`.
class AlleleRun {
public:
    AlleleRun(TDataType type, std::int64_t tasks) : profile_(type, ' ') {
        result_.open(log_.dir() / "result.htm", std::ios::out | std::ios::trunc);
        E.echo = &result_;
        s.TaskNumber = tasks;
        s.ResultFile = &result_;
        s.GenotypicData = 0;
        s.GameticPhase = 0;
        s.NumIterationsNeutralityTests = 0;
    }
    ~AlleleRun() { E.echo = nullptr; }
    AlleleRun(AlleleRun const&) = delete;
    AlleleRun& operator=(AlleleRun const&) = delete;

    std::string result() {
        result_.flush();
        return read_file(log_.dir() / "result.htm");
    }
    std::string log() { return log_.text(); }
    std::filesystem::path const& dir() const { return log_.dir(); }

private:
    test::LogGuard log_{"quintle_allele_driver"};
    test::ProfileGuard profile_;
    test::AllelicDBGuard projectAlleles_;
    test::HitsGuard hits_;
    std::fstream result_;

public:
    settings s;
};

// The reports of a log, in order, each as "KIND function : text"
// ("ERROR PopulMicrosat::compute_distance_matrix() : microsatellite ...").
inline std::vector<std::string> reports(std::string const& log) {
    std::vector<std::string> out;
    std::istringstream in(log);
    for (std::string line; std::getline(in, line);) {
        const std::size_t open = line.find("#[");
        const std::size_t from = line.find("from function \"");
        if (open == std::string::npos || from == std::string::npos) continue;
        const std::string kind = line.substr(open + 2, line.find(' ', open) - open - 2);
        const std::size_t name = from + 15;
        const std::size_t close = line.find('"', name);
        out.push_back(kind + " " + line.substr(name, close - name) + line.substr(close + 1));
    }
    return out;
}

}  // namespace quintle::testing_support
