// The header and value lines of the statistics file, and writing them.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <iostream>
#include <sstream>

#include "sumstat/TSumStat.h"

namespace quintle {

namespace {

enum class Kind { Array, Scalar, Pairs };

// Data types for which a row is walked, as bits 1 << TDataType.
constexpr unsigned AnyType = ~0u;
constexpr unsigned DnaOnly = 1u << DNA;
constexpr unsigned DnaRflp = (1u << DNA) | (1u << RFLP);
constexpr unsigned Microsat = 1u << MICROSAT;

struct Row {
    bool TSumStat::*flag;
    char const* name;
    Kind kind;
    unsigned types;
    TSumStat::Values TSumStat::*array;  // Array and Pairs rows
    double TSumStat::*scalar;           // Scalar rows
};

constexpr Row arrayRow(bool TSumStat::*flag, char const* name, TSumStat::Values TSumStat::*a,
                       unsigned types) {
    return {flag, name, Kind::Array, types, a, nullptr};
}
constexpr Row scalarRow(bool TSumStat::*flag, char const* name, double TSumStat::*s, unsigned types) {
    return {flag, name, Kind::Scalar, types, nullptr, s};
}
constexpr Row pairRow(bool TSumStat::*flag, char const* name, TSumStat::Values TSumStat::*a) {
    return {flag, name, Kind::Pairs, AnyType, a, nullptr};
}

using S = TSumStat;

// The fixed order of the columns.
constexpr Row rows[] = {
    arrayRow(&S::ALL_K, "K_", &S::kValues, AnyType),
    arrayRow(&S::ALLSD_K, "Ksd_", &S::kSdValues, AnyType),
    scalarRow(&S::MEAN_K, "mean_K", &S::meanK, AnyType),
    scalarRow(&S::SD_K, "sd_K", &S::sdK, AnyType),
    scalarRow(&S::TOT_K, "tot_K", &S::totK, AnyType),
    arrayRow(&S::ALL_H, "H_", &S::hValues, AnyType),
    arrayRow(&S::ALLSD_H, "Hsd_", &S::hSdValues, AnyType),
    scalarRow(&S::MEAN_H, "mean_H", &S::meanH, AnyType),
    scalarRow(&S::SD_H, "sd_H", &S::sdH, AnyType),
    scalarRow(&S::TOT_H, "tot_H", &S::totH, AnyType),
    arrayRow(&S::ALL_S, "S_", &S::sValues, DnaRflp),
    arrayRow(&S::ALLSD_S, "Ssd_", &S::sSdValues, DnaRflp),
    arrayRow(&S::PRIVATE_S, "prS_", &S::privSValues, DnaOnly),
    scalarRow(&S::MEAN_S, "mean_S", &S::meanS, DnaRflp),
    scalarRow(&S::SD_S, "sd_S", &S::sdS, DnaRflp),
    scalarRow(&S::TOT_S, "tot_S", &S::totS, DnaRflp),
    arrayRow(&S::ALL_TAJIMAD, "D_", &S::dValues, DnaRflp),
    arrayRow(&S::ALLSD_TAJIMAD, "Dsd_", &S::dSdValues, DnaRflp),
    scalarRow(&S::MEAN_TAJIMAD, "mean_D", &S::meanD, DnaRflp),
    scalarRow(&S::SD_TAJIMAD, "sd_D", &S::sdD, DnaRflp),
    arrayRow(&S::ALL_FUFS, "FS_", &S::fsValues, DnaRflp),
    arrayRow(&S::ALLSD_FUFS, "FSsd_", &S::fsSdValues, DnaRflp),
    scalarRow(&S::MEAN_FUFS, "mean_FS", &S::meanFS, DnaRflp),
    scalarRow(&S::SD_FUFS, "sd_FS", &S::sdFS, DnaRflp),
    arrayRow(&S::ALL_PI, "Pi_", &S::piValues, DnaRflp),
    scalarRow(&S::MEAN_PI, "mean_Pi", &S::meanPi, DnaRflp),
    scalarRow(&S::SD_PI, "sd_Pi", &S::sdPi, DnaRflp),
    arrayRow(&S::ALL_GW, "GW_", &S::gwValues, Microsat),
    arrayRow(&S::ALLSD_GW, "GWsd_", &S::gwSdValues, Microsat),
    scalarRow(&S::MEAN_GW, "mean_GW", &S::meanGW, Microsat),
    scalarRow(&S::SD_GW, "sd_GW", &S::sdGW, Microsat),
    scalarRow(&S::TOT_GW, "tot_GW", &S::totGW, Microsat),
    arrayRow(&S::ALL_NGW, "NGW_", &S::ngwValues, Microsat),
    arrayRow(&S::ALLSD_NGW, "NGWsd_", &S::ngwSdValues, Microsat),
    scalarRow(&S::MEAN_NGW, "mean_NGW", &S::meanNGW, Microsat),
    scalarRow(&S::SD_NGW, "sd_NGW", &S::sdNGW, Microsat),
    arrayRow(&S::ALL_RANGE, "R_", &S::rValues, Microsat),
    arrayRow(&S::ALLSD_RANGE, "Rsd_", &S::rSdValues, Microsat),
    scalarRow(&S::MEAN_RANGE, "mean_R", &S::meanR, Microsat),
    scalarRow(&S::SD_RANGE, "sd_R", &S::sdR, Microsat),
    scalarRow(&S::TOT_RANGE, "tot_R", &S::totR, Microsat),
    arrayRow(&S::MEAN_ALL_DPRIME, "mean_D'_", &S::meanDprimeValues, AnyType),
    arrayRow(&S::MEAN_ALL_R2, "mean_R2_", &S::meanR2Values, AnyType),
    arrayRow(&S::ALL_ADJ_DPRIME, "adj_D'_", &S::adjDprimeValues, AnyType),
    arrayRow(&S::ALL_ADJ_R2, "adj_R2_", &S::adjR2Values, AnyType),
    arrayRow(&S::MEAN_ADJ_DPRIME, "mean_adj_D'_", &S::meanAdjDprimeValues, AnyType),
    arrayRow(&S::MEAN_ADJ_R2, "mean_adj_R2_", &S::meanAdjR2Values, AnyType),
    arrayRow(&S::FLANK_DPRIME, "flank_D'_", &S::flankDprimeValues, AnyType),
    arrayRow(&S::FLANK_R2, "flank_R2_", &S::flankR2Values, AnyType),
    scalarRow(&S::hasFIS, "FIS", &S::fis, AnyType),
    scalarRow(&S::hasFST, "FST", &S::fst, AnyType),
    scalarRow(&S::hasFCT, "FCT", &S::fct, AnyType),
    scalarRow(&S::hasFSC, "FSC", &S::fsc, AnyType),
    scalarRow(&S::hasFIT, "FIT", &S::fit, AnyType),
    pairRow(&S::PAIRWISE_FST, "FST_", &S::pairFst),
    pairRow(&S::PAIRWISE_PI, "PI_", &S::pairPi),
    pairRow(&S::PAIRWISE_DMUSQR, "DMUSQ_", &S::pairDmuSqr),
};

bool walked(Row const& row, TDataType dataType) {
    if (row.types == AnyType) return true;
    if (dataType < DNA || dataType > FREQUENCY) return false;
    return (row.types & (1u << dataType)) != 0;
}

// Names the lower triangle row by row (2_1, 3_1, 3_2, 4_1, ...), one name
// per stored value, so an array that is not complete still lines up with
// its values.
void pairNames(std::ostream& os, std::string_view prefix, char const* stem, long count) {
    long written = 0;
    for (long i = 2; written < count; ++i) {
        for (long j = 1; j < i && written < count; ++j, ++written) {
            os << prefix << stem << i << '_' << j << '\t';
        }
    }
}

// Writes all of `text` at the current end of the file in one call where the
// system allows it, so lines of concurrent writers do not interleave.
bool writeAll(int fd, std::string const& text) {
    char const* p = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        ssize_t const n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

std::string TSumStat::passText(TDataType dataType, bool values) const {
    std::ostringstream os;
    // A failed growth must not pass for the end of the line.
    os.exceptions(std::ios::badbit);
    std::string_view const prefix = groupPass ? "gr_" : "";
    for (Row const& row : rows) {
        if (!(this->*row.flag) || !walked(row, dataType)) continue;
        switch (row.kind) {
            case Kind::Scalar:
                if (values) {
                    os << this->*row.scalar << '\t';
                } else {
                    os << prefix << row.name << '\t';
                }
                break;
            case Kind::Array: {
                Values const& a = this->*row.array;
                for (long i = 0; i < a.count; ++i) {
                    if (values) {
                        os << a[i] << '\t';
                    } else {
                        os << prefix << row.name << i + 1 << '\t';
                    }
                }
                break;
            }
            case Kind::Pairs: {
                Values const& a = this->*row.array;
                if (values) {
                    for (long i = 0; i < a.count; ++i) os << a[i] << '\t';
                } else {
                    pairNames(os, prefix, row.name, a.count);
                }
                break;
            }
        }
    }
    return std::move(os).str();
}

// The group pass leaves the line open when the population pass follows, so
// both passes' columns stand on one line.
void TSumStat::endPassLine(std::string& line) const {
    if (groupPass && (!GROUP_LEVEL || POP_LEVEL)) return;
    line += '\n';
}

void TSumStat::recomputeNGW() {
    long const n = ngwValues.count;
    double sum = 0;
    double sumSq = 0;
    for (long i = 0; i < n; ++i) {
        double const v = ngwValues[i];
        sum += v;
        sumSq += v * v;
    }
    if (n > 0) meanNGW = sum / static_cast<double>(n);
    if (n > 1) {
        double const dn = static_cast<double>(n);
        double const var = (sumSq / dn - meanNGW * meanNGW) * dn / (dn - 1);
        // Rounding can push the variance of near-equal values just below 0.
        sdNGW = var > 0 ? std::sqrt(var) : 0.0;
    }
}

void TSumStat::outputHeader(TDataType dataType) {
    headerLine += passText(dataType, false);
    endPassLine(headerLine);
}

void TSumStat::outputStats(TDataType dataType) {
    if (dataType == MICROSAT) recomputeNGW();
    statsLine += passText(dataType, true);
    endPassLine(statsLine);
}

void TSumStat::writeToFile(int headerMode) {
    // No statistics file was named: nothing asked for, nothing to report.
    if (outFileName.length() == 0) return;

    // A file rewritten (append 0) is not emptied by the open: see below.
    int const flags = O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : 0);
    int fd = -1;
    do {
        fd = ::open(outFileName.c_str(), flags, 0666);
    } while (fd < 0 && errno == EINTR);

    bool ok = fd >= 0;
    if (ok) {
        std::string text;
        switch (headerMode) {
            case 1: text = headerLine + statsLine; break;
            case 0: text = statsLine; break;
            case 2: text = headerLine; break;
            default: break;
        }
        if (!append) {
            // A text at least as long as the file goes over its old bytes in
            // one write: the file is never seen empty or cut, and none of
            // its blocks is given back (which costs more than the write on
            // some file systems). A shorter one empties the file first, as
            // the truncating open did.
            struct stat info {};
            if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > static_cast<off_t>(text.size()))
                ok = ::ftruncate(fd, 0) == 0;
        }
        ok = ok && writeAll(fd, text);
        if (::close(fd) != 0 && ok) ok = errno == EINTR;
    }
    if (!ok) {
        int const err = errno;
        std::cerr << "quintle: cannot write the statistics file \"" << outFileName.c_str()
                  << "\": " << std::strerror(err) << '\n';
    }
}

}  // namespace quintle
