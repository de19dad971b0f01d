#pragma once

// Comparison of an estimated gametic phase and haplotype frequencies with
// known ones. Both comparisons are empty: they write nothing and give 1.

#include <ostream>

namespace quintle {

class TCompGamPhase {
public:
    double compare_phase(std::ostream& os);
    double compare_hapl_freq(std::ostream& os);
};

}  // namespace quintle
