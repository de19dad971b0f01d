#pragma once

// The statistics record: which statistics go into the run's output line
// (read from the statistics-list file), the values the analyses collect for
// them, and the header and value lines built from those values. The one
// instance, SumStat, is declared in run/glbobj.h.

#include <string>
#include <string_view>

#include "core/MY_TArrayAsVector.h"
#include "core/my_string.h"
#include "run/ProfileSettings.h"

namespace quintle {

class TSumStat {
public:
    my_string outFileName;   // statistics file; empty: nothing is written
    my_string defFileName;   // statistics-list file ("ssdefs.txt")
    // Why the statistics list could not be read whole (empty: it was, or
    // there is none); a project is not run with half a list.
    std::string defFileProblem;
    std::string headerLine;  // header text built so far, with its line ends
    std::string statsLine;   // value text built so far, with its line ends
    bool append = false;     // true: append to the statistics file, else overwrite
    bool computing = false;  // summary-statistics mode: passes as POP_LEVEL/GROUP_LEVEL say

    // Family selection flags, one per keyword of the statistics list.
    bool ALL_K = false, ALLSD_K = false, MEAN_K = false, SD_K = false, TOT_K = false;
    bool ALL_H = false, ALLSD_H = false, MEAN_H = false, SD_H = false, TOT_H = false;
    bool ALL_S = false, ALLSD_S = false, PRIVATE_S = false, MEAN_S = false, SD_S = false,
         TOT_S = false;
    bool ALL_TAJIMAD = false, ALLSD_TAJIMAD = false, MEAN_TAJIMAD = false, SD_TAJIMAD = false,
         TOT_TAJIMAD = false;
    bool ALL_FUFS = false, ALLSD_FUFS = false, MEAN_FUFS = false, SD_FUFS = false,
         TOT_FUFS = false;
    bool ALL_PI = false, MEAN_PI = false, SD_PI = false, TOT_PI = false;
    bool ALL_GW = false, ALLSD_GW = false, MEAN_GW = false, SD_GW = false, TOT_GW = false;
    bool ALL_NGW = false, ALLSD_NGW = false, MEAN_NGW = false, SD_NGW = false;
    bool ALL_RANGE = false, ALLSD_RANGE = false, MEAN_RANGE = false, SD_RANGE = false,
         TOT_RANGE = false;

    // The F-statistic has a value in this run (set only by the AMOVA).
    bool hasFIS = false, hasFST = false, hasFCT = false, hasFSC = false, hasFIT = false;

    // Further selection flags.
    bool GLOBAL_FSTAT = false, GLOBALSD_FSTAT = false;
    bool PAIRWISE_FST = false, PAIRWISE_PI = false, PAIRWISE_DMUSQR = false;
    bool MEAN_ALL_DPRIME = false, MEAN_ALL_R2 = false;
    bool ALL_ADJ_DPRIME = false, ALL_ADJ_R2 = false;
    bool MEAN_ADJ_DPRIME = false, MEAN_ADJ_R2 = false;
    bool FLANK_DPRIME = false, FLANK_R2 = false;
    bool POP_LEVEL = false, GROUP_LEVEL = false;

    bool groupPass = false;  // the group-level analysis pass is running

    // Collected values. Writers empty an array by setting count and
    // auxCount to 0; nothing else empties them between passes.
    using Values = MY_TArrayAsVector<double>;

    Values kValues{0, 10}, kSdValues{0, 10};
    double meanK = 0, sdK = 0, totK = 0;
    Values hValues{0, 10}, hSdValues{0, 10};
    double meanH = 0, sdH = 0, totH = 0;
    Values sValues{0, 10}, sSdValues{0, 10}, privSValues{0, 10};
    double meanS = 0, sdS = 0, totS = 0;
    Values dValues{0, 10}, dSdValues{0, 10};
    double meanD = 0, sdD = 0;
    Values fsValues{0, 10}, fsSdValues{0, 10};
    double meanFS = 0, sdFS = 0;
    Values piValues{0, 10};
    double meanPi = 0, sdPi = 0;
    Values gwValues{0, 10}, gwSdValues{0, 10};
    double meanGW = 0, sdGW = 0, totGW = 0;
    Values ngwValues{0, 10}, ngwSdValues{0, 10};
    double meanNGW = 0, sdNGW = 0;
    Values rValues{0, 10}, rSdValues{0, 10};
    double meanR = 0, sdR = 0, totR = 0;
    double fis = 0, fst = 0, fct = 0, fsc = 0, fit = 0;
    Values pairFst{0, 20}, pairPi{0, 20}, pairDmuSqr{0, 20};
    Values meanDprimeValues{10, 10}, meanR2Values{10, 10};
    Values adjDprimeValues{10, 10}, adjR2Values{10, 10};
    Values meanAdjDprimeValues{10, 10}, meanAdjR2Values{10, 10};
    Values flankDprimeValues{10, 10}, flankR2Values{10, 10};

    TSumStat();
    ~TSumStat();
    TSumStat(TSumStat const&) = delete;
    TSumStat& operator=(TSumStat const&) = delete;

    // Keeps the name, clears every selection, groupPass and both lines, then
    // passes each line of the file to checkForStat. A missing file selects
    // nothing and is not reported. A file that is there but not a data file
    // (a pipe, a device, a file of /proc), or holds a line longer than
    // max_input_line, or cannot be read to its end, selects nothing and says
    // why in defFileProblem.
    void readDefSSFile(my_string const& fileName);

    // Sets the flag of every keyword the line contains (upper-cased, cut at
    // its first '#', keywords found inside longer words too).
    void checkForStat(my_string const& line);
    void checkForStat(std::string_view line);

    // Empties both lines and clears every selection flag and groupPass.
    void resetComputationFlags();

    // Append one pass's column names, or its values, to headerLine or
    // statsLine, ending the line unless a population pass is still to come.
    // outputStats first recomputes meanNGW and sdNGW for MICROSAT data.
    void outputHeader(TDataType dataType);
    void outputStats(TDataType dataType);

    // Writes to outFileName (appending or truncating by `append`): mode 1 the
    // header line then the value line, mode 0 the value line, mode 2 the
    // header line, any other mode nothing. A file that cannot be opened or
    // written is reported on standard error; an empty name is skipped.
    void writeToFile(int headerMode);

private:
    void clearSelection();
    std::string passText(TDataType dataType, bool values) const;
    void endPassLine(std::string& line) const;
    void recomputeNGW();
};

}  // namespace quintle
