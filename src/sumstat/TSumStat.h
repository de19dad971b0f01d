#pragma once

// The statistics selection and output record. For now it carries only the
// file names, the header and value lines and the run flags that the command
// line sets; the statistic selection and the collected values join later.
// The one instance, SumStat, is declared in run/glbobj.h.

#include "core/my_string.h"

namespace quintle {

class TSumStat {
public:
    my_string outFileName;  // statistics file; empty: nothing is written
    my_string defFileName;  // statistics-list file ("ssdefs.txt")
    my_string headerLine;   // header text built so far, with its line ends
    my_string statsLine;    // value text built so far, with its line ends
    bool append = false;     // true: append to the statistics file, else overwrite
    bool computing = false;  // summary-statistics mode

    TSumStat();
    ~TSumStat();
    TSumStat(TSumStat const&) = delete;
    TSumStat& operator=(TSumStat const&) = delete;

    // Keeps the name, empties both lines and reads the file line by line
    // through checkForStat; a file that cannot be opened selects nothing.
    void readDefSSFile(my_string const& fileName);

    // Records the statistics that one line of the list file asks for.
    void checkForStat(my_string const& line);

    // Writes to outFileName (appending or truncating by `append`): mode 1 the
    // header line then the value line, mode 0 the value line, mode 2 the
    // header line, any other mode nothing. Unopenable files are skipped.
    void writeToFile(int headerMode);
};

}  // namespace quintle
