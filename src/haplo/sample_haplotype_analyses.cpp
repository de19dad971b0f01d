// STAND-INS: see the header. Each one deliberately does nothing.

#include "haplo/sample_haplotype_analyses.h"

namespace quintle {

void calc_all_gam_des(PopGenetics&, std::fstream&, long, settings&) {}

void make_all_hw(Population&, std::fstream&, TPhenDB const&, long const&, settings&) {}

}  // namespace quintle
