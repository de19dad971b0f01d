#include "sumstat/TSumStat.h"

#include <fstream>

namespace quintle {

TSumStat::TSumStat() = default;

TSumStat::~TSumStat() = default;

void TSumStat::readDefSSFile(my_string const& fileName) {
    defFileName = fileName;
    headerLine = "";
    statsLine = "";

    std::ifstream in(fileName.c_str());
    if (!in.is_open()) return;
    my_string line;
    while (!in.fail() && !in.bad()) {
        line.read_line(in);
        checkForStat(line);
    }
}

void TSumStat::checkForStat(my_string const&) {
    // No statistic can be selected yet.
}

void TSumStat::writeToFile(int headerMode) {
    std::ofstream out(outFileName.c_str(), append ? std::ios::app : std::ios::trunc);
    if (!out.is_open()) return;
    switch (headerMode) {
        case 1: out << headerLine << statsLine; break;
        case 0: out << statsLine; break;
        case 2: out << headerLine; break;
        default: break;
    }
}

}  // namespace quintle
