#pragma once

// One allele's (haplotype's) frequency record. While replicates are being
// accumulated, relFreq holds the sum of the allele's counts and relFreqSd
// the sum of their squares; calc_mean_freq turns them into means and s.d.

#include <ostream>

#include "core/MY_TISArrayAsVector.h"

namespace quintle {

class AHaplFreq {
public:
    double relFreq = 0.0;
    double relFreqSd = 0.0;
    double absFreq = 0.0;
    double absFreqSd = 0.0;

    // n replicates, m gene copies in the sample. m = 0 gives four zeros.
    void calc_mean_freq(int const& n, int const& m);

    // Accumulates the other's sum and sum of squares.
    AHaplFreq& operator+=(AHaplFreq const& other);
};

// Sorted frequency lists keep the most frequent record first; equal ones
// stay in their order of arrival.
template <>
struct ArrayOrder<AHaplFreq> {
    static bool before(AHaplFreq const& a, AHaplFreq const& b) { return a.relFreq > b.relFreq; }
};

using AHaplFreqList = MY_TISArrayAsVector<AHaplFreq>;

// relFreq and relFreqSd in width 12 with 7 decimals, absFreq in width 16 and
// absFreqSd in width 12 with 4 decimals, then a line end. Leaves the stream
// in fixed notation with the point shown and right alignment.
std::ostream& operator<<(std::ostream& os, AHaplFreq const& f);

}  // namespace quintle
