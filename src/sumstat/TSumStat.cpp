#include "sumstat/TSumStat.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>

#include "core/input_files.h"

namespace quintle {

namespace {

struct Keyword {
    std::string_view text;
    bool TSumStat::*flag;
    // The ALLSD_ keywords contain the SD_ keyword of their family; their
    // first occurrence is taken out of the line so it is not counted twice.
    bool consumes;
};

// Test order matters because of the ALLSD_ rule.
constexpr Keyword keywords[] = {
    {"POP_LEVEL", &TSumStat::POP_LEVEL, false},
    {"GROUP_LEVEL", &TSumStat::GROUP_LEVEL, false},
    {"ALL_K", &TSumStat::ALL_K, false},
    {"ALLSD_K", &TSumStat::ALLSD_K, true},
    {"MEAN_K", &TSumStat::MEAN_K, false},
    {"SD_K", &TSumStat::SD_K, false},
    {"TOT_K", &TSumStat::TOT_K, false},
    {"ALL_H", &TSumStat::ALL_H, false},
    {"ALLSD_H", &TSumStat::ALLSD_H, true},
    {"MEAN_H", &TSumStat::MEAN_H, false},
    {"SD_H", &TSumStat::SD_H, false},
    {"TOT_H", &TSumStat::TOT_H, false},
    {"ALL_S", &TSumStat::ALL_S, false},
    {"ALLSD_S", &TSumStat::ALLSD_S, true},
    {"PRIVATE_S", &TSumStat::PRIVATE_S, false},
    {"MEAN_S", &TSumStat::MEAN_S, false},
    {"SD_S", &TSumStat::SD_S, false},
    {"TOT_S", &TSumStat::TOT_S, false},
    {"ALL_TAJIMAD", &TSumStat::ALL_TAJIMAD, false},
    {"ALLSD_TAJIMAD", &TSumStat::ALLSD_TAJIMAD, true},
    {"MEAN_TAJIMAD", &TSumStat::MEAN_TAJIMAD, false},
    {"SD_TAJIMAD", &TSumStat::SD_TAJIMAD, false},
    {"TOT_TAJIMAD", &TSumStat::TOT_TAJIMAD, false},
    {"ALL_FUFS", &TSumStat::ALL_FUFS, false},
    {"ALLSD_FUFS", &TSumStat::ALLSD_FUFS, true},
    {"MEAN_FUFS", &TSumStat::MEAN_FUFS, false},
    {"SD_FUFS", &TSumStat::SD_FUFS, false},
    {"TOT_FUFS", &TSumStat::TOT_FUFS, false},
    {"ALL_PI", &TSumStat::ALL_PI, false},
    {"MEAN_PI", &TSumStat::MEAN_PI, false},
    {"SD_PI", &TSumStat::SD_PI, false},
    {"TOT_PI", &TSumStat::TOT_PI, false},
    {"ALL_GW", &TSumStat::ALL_GW, false},
    {"ALLSD_GW", &TSumStat::ALLSD_GW, true},
    {"MEAN_GW", &TSumStat::MEAN_GW, false},
    {"SD_GW", &TSumStat::SD_GW, false},
    {"TOT_GW", &TSumStat::TOT_GW, false},
    {"ALL_NGW", &TSumStat::ALL_NGW, false},
    {"ALLSD_NGW", &TSumStat::ALLSD_NGW, true},
    {"MEAN_NGW", &TSumStat::MEAN_NGW, false},
    {"SD_NGW", &TSumStat::SD_NGW, false},
    {"ALL_RANGE", &TSumStat::ALL_RANGE, false},
    {"ALLSD_RANGE", &TSumStat::ALLSD_RANGE, true},
    {"MEAN_RANGE", &TSumStat::MEAN_RANGE, false},
    {"SD_RANGE", &TSumStat::SD_RANGE, false},
    {"TOT_RANGE", &TSumStat::TOT_RANGE, false},
    {"MEAN_ALL_DPRIME", &TSumStat::MEAN_ALL_DPRIME, false},
    {"MEAN_ALL_R2", &TSumStat::MEAN_ALL_R2, false},
    {"ALL_ADJ_DPRIME", &TSumStat::ALL_ADJ_DPRIME, false},
    {"ALL_ADJ_R2", &TSumStat::ALL_ADJ_R2, false},
    {"MEAN_ADJ_DPRIME", &TSumStat::MEAN_ADJ_DPRIME, false},
    {"MEAN_ADJ_R2", &TSumStat::MEAN_ADJ_R2, false},
    {"FLANK_DPRIME", &TSumStat::FLANK_DPRIME, false},
    {"FLANK_R2", &TSumStat::FLANK_R2, false},
    {"GLOBAL_FSTAT", &TSumStat::GLOBAL_FSTAT, false},
    {"GLOBALSD_FSTAT", &TSumStat::GLOBALSD_FSTAT, false},
    {"PAIRWISE_FST", &TSumStat::PAIRWISE_FST, false},
    {"PAIRWISE_PI", &TSumStat::PAIRWISE_PI, false},
    {"PAIRWISE_DMUSQR", &TSumStat::PAIRWISE_DMUSQR, false},
};

constexpr bool TSumStat::*presenceFlags[] = {
    &TSumStat::hasFIS, &TSumStat::hasFST, &TSumStat::hasFCT, &TSumStat::hasFSC, &TSumStat::hasFIT,
};

}  // namespace

TSumStat::TSumStat() = default;

TSumStat::~TSumStat() = default;

void TSumStat::clearSelection() {
    for (auto const& k : keywords) this->*k.flag = false;
    for (auto flag : presenceFlags) this->*flag = false;
    groupPass = false;
}

void TSumStat::resetComputationFlags() {
    headerLine.clear();
    statsLine.clear();
    clearSelection();
}

void TSumStat::readDefSSFile(my_string const& fileName) {
    defFileName = fileName;
    resetComputationFlags();

    defFileProblem.clear();

    // Bounded: a pipe or a file without line ends must not hang the run or
    // take all the memory.
    std::string const name = fileName.c_str();
    if (exists_but_not_a_data_file(name)) {
        defFileProblem = input_file_problem(name);
        return;
    }
    std::ifstream in;
    if (!open_input_file(in, name)) return;
    std::string line;
    long lineNo = 0;
    LineRead read = LineRead::line;
    while ((read = read_bounded_line(in, line)) == LineRead::line) {
        ++lineNo;
        checkForStat(line);
    }
    if (read == LineRead::too_long) {
        defFileProblem = "line " + std::to_string(lineNo + 1) + " is longer than " + std::to_string(max_input_line) +
                         " characters";
    } else if (in.bad()) {
        defFileProblem = std::string("it cannot be read to its end");
    }
    // Half a list would give a statistics line without the columns asked for.
    if (!defFileProblem.empty()) resetComputationFlags();
}

void TSumStat::checkForStat(my_string const& line) {
    checkForStat(std::string_view(line.c_str(), static_cast<std::size_t>(line.length())));
}

void TSumStat::checkForStat(std::string_view line) {
    std::string work(line.substr(0, line.find('#')));
    std::transform(work.begin(), work.end(), work.begin(),
                   [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; });
    for (auto const& k : keywords) {
        auto const at = work.find(k.text);
        if (at == std::string::npos) continue;
        this->*k.flag = true;
        if (k.consumes) work.erase(at, k.text.size());
    }
}

}  // namespace quintle
