#pragma once
// Shared by the project tests: a fresh folder and log for each test, the
// class-wide settings put back, and a dump of what the project reader fills.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "core/Errors.h"
#include "core/xml.h"
#include "data/HaploDef.h"
#include "data/Population.h"
#include "data/TPhenotype.h"
#include "project/Project.h"
#include "project/Samples.h"
#include "project/Structure.h"
#include "run/cleaner.h"
#include "support/process_state.h"

namespace quintle::test {

inline std::string slurp(std::filesystem::path const& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void put(std::filesystem::path const& path, std::string const& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

inline int occurrences(std::string const& text, std::string const& pattern) {
    int n = 0;
    for (auto pos = text.find(pattern); pos != std::string::npos; pos = text.find(pattern, pos + 1)) ++n;
    return n;
}

class ProjectDirTest : public ::testing::Test {
protected:
    std::string log() const { return log_.text(); }
    // An empty folder and log, and the class-wide values as at program
    // start, for the next case of a table.
    void start_again() {
        log_.restart();
        ProfileSettings::DataType = STANDARD;
        ProfileSettings::LocusSeparator = '\0';
        xmlOutput = false;
    }
    // True when the log holds a report of that kind and message number.
    bool reported(char const* kind, int index) const {
        std::istringstream lines(log());
        std::string const label = std::string(" #[") + kind + " # ";
        std::string const text = std::string(" : ") + Errors::message(index);
        for (std::string l; std::getline(lines, l);)
            if (l.find(label) != std::string::npos && l.size() >= text.size() &&
                l.compare(l.size() - text.size(), text.size(), text) == 0)
                return true;
        return false;
    }

private:
    test::LogGuard log_{"quintle_project"};
    // Class-wide values as at program start, put back afterwards.
    test::ProfileGuard profile_{STANDARD, '\0'};
    test::SumStatGuard sumStat_;
    test::AllelicDBGuard projectAlleles_;
    test::HitsGuard hits_;
    test::Saved<bool> xml_{xmlOutput, false};
    test::Saved<my_string> input_{settings::input_file};

protected:
    // Free for the test's own files.
    std::filesystem::path const& dir = log_.dir();
};

inline std::string trimmed(my_string const& text) {
    std::string s = text.c_str();
    s.erase(0, s.find_first_not_of(' '));
    return s;
}

// Everything the reader fills, one fact per line, in a fixed order.
// `whole` false leaves out what a back-up does not write again (frequency
// mode, thresholds, label position).
inline std::string dump(Project& p, bool whole = true) {
    std::ostringstream os;
    os << "title \"" << p.Title << "\"\n";
    os << "profile nb=" << p.NbSamples << " type=" << static_cast<int>(ProfileSettings::DataType)
       << " genotypic=" << p.GenotypicData << " phase=" << p.GameticPhase
       << " sep=" << static_cast<int>(ProfileSettings::LocusSeparator) << " missing=" << p.MissingData
       << (whole ? " freq=" + std::to_string(p.Frequency) : std::string()) << " recessive=" << p.RecessiveData
       << " allele=" << p.RecessiveAllele;
    if (whole) os << " threshold=" << p.FrequencyThreshold << " epsilon=" << p.EpsilonValue;
    os << "\n";
    os << "haplist \"" << p.haplotypes.name << "\"";
    for (long i = 0; i < p.haplotypes.haplotypes.count; ++i) {
        HaploDef const* h = p.haplotypes.haplotypes[i];
        os << " " << h->id << "=" << h->data;
    }
    os << "\n";
    DistMat& m = p.distance_matrix;
    os << "matrix \"" << m.MatrixName << "\" size=" << m.MatrixSize;
    if (whole) os << (m.LabelPosition == 0 ? " LINE" : " COLUMN");
    os << " labels";
    for (int i = 0; i < m.MatrixSize && m.Labels; ++i) os << " " << m.Labels[i];
    os << " rows";
    for (int i = 0; i < m.MatrixSize; ++i) {
        os << (i == 0 ? " " : " | ");
        for (int j = 0; j <= i; ++j) os << (j == 0 ? "" : " ") << m(i, j);
    }
    os << "\n";
    for (long s = 0; s < p.samples->Populations.count; ++s) {
        Population const* pop = p.samples->Populations[s];
        os << "sample " << pop->id << " \"" << pop->name << "\" size=" << pop->SampleSize << ":";
        for (long k = 0; k < pop->haplotypes.count; ++k) {
            PHaploDef const* e = pop->haplotypes[k];
            os << " " << e->haplotype->id << "x" << e->count;
        }
        for (long k = 0; k < pop->phenotypes.size(); ++k) {
            TPhenotype const* ph = pop->phenotypes[k];
            os << " " << ph->name << "x" << ph->count << "[" << trimmed(ph->alleleString1) << "/"
               << trimmed(ph->alleleString2) << "]";
        }
        os << "\n";
    }
    Structure const& st = *p.structure;
    os << "structure \"" << st.StructureName << "\" groups=" << st.NbGroups;
    for (int g = 0; g < st.NbGroups && st.Groups; ++g) {
        os << " {";
        for (long k = 0; k < st.Groups[g].count; ++k) os << (k == 0 ? "" : " ") << st.Groups[g][k]->name;
        os << "}";
    }
    os << "\n";
    return os.str();
}

// Cleans the project into its working copy and reads the copy, as a run does.
inline int read_project(std::filesystem::path const& source, Project& target) {
    cleaner working_copy;
    if (working_copy.execute(ProfileSettings::LocusSeparator, source.string().c_str()) &&
        working_copy.get_clean_proj() != nullptr)
        settings::input_file = working_copy.get_clean_proj();
    else
        settings::input_file = source.string().c_str();
    target.options.ProjectFolder = (source.parent_path().string() + "/").c_str();
    target.initialize();
    target.RunSettings = &target.options;
    int const result = target.newOpen();
    working_copy.rm_clean_files();
    return result;
}

}  // namespace quintle::test
