// STAND-IN: see the header. It deliberately does nothing.

#include "haplo/sample_haplotype_analyses.h"

namespace quintle {

int comp_gam_phase_Gibbs(PopGenetics&, settings&) { return 1; }

}  // namespace quintle
