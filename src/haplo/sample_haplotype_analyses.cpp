// STAND-INS: see the header. Each one deliberately does nothing.

#include "haplo/sample_haplotype_analyses.h"

namespace quintle {

void comp_gam_phase_EM(PopGenetics&, settings&) {}

int comp_gam_phase_Gibbs(PopGenetics&, settings&) { return 1; }

void calc_all_link_dis(Population&, std::fstream&, TPhenDB const&, settings&, int const&, long const&, int const&,
                       double const&) {}

}  // namespace quintle
