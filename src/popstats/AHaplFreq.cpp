#include "popstats/AHaplFreq.h"

#include <cmath>
#include <iomanip>

namespace quintle {

void AHaplFreq::calc_mean_freq(int const& n, int const& m) {
    if (m == 0) {
        relFreq = relFreqSd = absFreq = absFreqSd = 0.0;
        return;
    }
    const double S = relFreq;
    const double Q = relFreqSd;
    const double mean = S / n;
    const double sd = n >= 2 ? std::sqrt((Q - S * S / n) / (n - 1)) : 0.0;
    absFreq = mean;
    absFreqSd = sd;
    relFreq = mean / m;
    relFreqSd = sd / m;
}

AHaplFreq& AHaplFreq::operator+=(AHaplFreq const& other) {
    relFreq += other.relFreq;
    relFreqSd += other.relFreqSd;
    return *this;
}

std::ostream& operator<<(std::ostream& os, AHaplFreq const& f) {
    os.setf(std::ios::fixed, std::ios::floatfield);
    os.setf(std::ios::showpoint);
    os.setf(std::ios::right, std::ios::adjustfield);
    os << std::setw(12) << std::setprecision(7) << f.relFreq << std::setw(12) << f.relFreqSd
       << std::setw(16) << std::setprecision(4) << f.absFreq << std::setw(12) << f.absFreqSd << "\n";
    return os;
}

}  // namespace quintle
