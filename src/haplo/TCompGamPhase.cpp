#include "haplo/TCompGamPhase.h"

namespace quintle {

double TCompGamPhase::compare_phase(std::ostream&) { return 1.0; }

double TCompGamPhase::compare_hapl_freq(std::ostream&) { return 1.0; }

}  // namespace quintle
