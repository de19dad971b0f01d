#pragma once

// STAND-INS. The sample distance outputs that the sample drivers call: the
// distances for conventional FST written to the sample's ".dis" file, and the
// printed inter-haplotypic distance matrix with its spanning network. Until
// that code lands they do nothing: no output, no change to the sample. They
// take the sample as first argument where the final code has member
// functions.

#include <fstream>

namespace quintle {

class PopGenetics;
class settings;

// 1 on success, 0 on failure (the stand-in always succeeds).
int compute_dist_mat_for_conventional_FST(PopGenetics& sample, std::ostream& out, settings* s);
void print_out_dist_mat(PopGenetics& sample, std::fstream* out, settings& s);

}  // namespace quintle
