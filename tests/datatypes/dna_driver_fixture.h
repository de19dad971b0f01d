#pragma once

// A DNA sample built by hand as the project reader builds one (haplotype
// definitions with their alleles in an allele base), and a run environment
// for its analysis driver: a result file (which also receives the short
// copies of the reports, as in a run) and a log in a fresh temporary
// directory, settings that write there, and on request the batch files.

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/Errors.h"
#include "core/xml.h"
#include "data/HaploDef.h"
#include "data/TAlleleDB.h"
#include "datatypes/PopulDNA.h"
#include "run/ProfileSettings.h"
#include "run/glbobj.h"
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
        E.echo = &result_;
        s.TaskNumber = tasks;
        s.ResultFile = &result_;
        s.GenotypicData = 0;
        s.GameticPhase = 0;
        s.NumSimulFuTest = 0;
        s.NumIterationsNeutralityTests = 0;
    }
    ~DriverRun() { E.echo = nullptr; }
    DriverRun(DriverRun const&) = delete;
    DriverRun& operator=(DriverRun const&) = delete;

    std::string result() {
        result_.flush();
        return read_file(log_.dir() / "result.htm");
    }
    std::string log() { return log_.text(); }
    // The run's folder, free for the test's own files.
    std::filesystem::path const& dir() const { return log_.dir(); }

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

// Every batch file a DNA sample writes, opened in a folder for the life of
// the object, with its flag set; flags and streams are put back afterwards
// (in reverse order: the mismatch files share one flag).
class DnaBatchFiles {
public:
    explicit DnaBatchFiles(std::filesystem::path dir) : dir_(std::move(dir)) {
        for (Target const& t : targets()) {
            saved_.emplace_back(*t.flag, *t.stream);
            files_.push_back(std::make_unique<std::ofstream>(dir_ / t.name));
            *t.flag = 1;
            *t.stream = files_.back().get();
        }
    }
    ~DnaBatchFiles() {
        for (std::size_t i = targets().size(); i-- > 0;) {
            *targets()[i].flag = saved_[i].first;
            *targets()[i].stream = saved_[i].second;
        }
    }
    DnaBatchFiles(DnaBatchFiles const&) = delete;
    DnaBatchFiles& operator=(DnaBatchFiles const&) = delete;

    // Each file's name on a line of its own, then its content.
    std::string text() {
        std::string all;
        for (std::size_t i = 0; i < targets().size(); ++i) {
            files_[i]->flush();
            all += "== " + std::string(targets()[i].name) + "\n" + read_file(dir_ / targets()[i].name);
        }
        return all;
    }

private:
    struct Target {
        char const* name;
        int* flag;
        std::ostream** stream;
    };
    static std::vector<Target> const& targets() {
        static std::vector<Target> const all = {
            {"gen_div", &_GENE_DIVERSITY_, &ofs_gen_div},     {"nucl_comp", &_NUCLEOTIDE_COMPOSITION_, &ofs_nuc_comp},
            {"mol_div", &_MOLECULAR_DIVERSITY_, &ofs_mol_div}, {"theta", &_THETA_, &ofs_theta},
            {"mismatch", &_MISMATCH_, &ofs_mismatch},          {"mismatch_sp3", &_MISMATCH_, &ofs_mismatch_sp3},
            {"mismatch_sp4", &_MISMATCH_, &ofs_mismatch_sp4},  {"only_mismatch", &_MISMATCH_, &ofs_only_mismatch},
            {"tajima", &_TAJIMA_, &ofs_tajima},                {"fu_fs", &_FU_FS_, &ofs_fu_fs},
            {"ewens", &_EWENS_WATTERSON_, &ofs_ewens_watt},    {"chakra", &_CHAKRABORTY_, &ofs_chakra},
        };
        return all;
    }

    std::filesystem::path dir_;
    std::vector<std::pair<int, std::ostream*>> saved_;
    std::vector<std::unique_ptr<std::ofstream>> files_;
};

// The result file in its HTML or XML form for the life of the object.
class MarkupOutput {
public:
    explicit MarkupOutput(bool xml) : saved_(xmlOutput) { xmlOutput = xml; }
    ~MarkupOutput() { xmlOutput = saved_; }
    MarkupOutput(MarkupOutput const&) = delete;
    MarkupOutput& operator=(MarkupOutput const&) = delete;

private:
    bool saved_;
};

}  // namespace quintle::testing_support
