#pragma once

// STAND-INS. The per-sample haplotype analyses that the sample drivers call:
// phase estimation (EM and Gibbs sampler) and the linkage-disequilibrium test
// of unphased genotypes. Until the haplotype-estimation code
// lands they do nothing: no output, no change to the sample. They take the
// sample as first argument where the final code has member functions.

#include <fstream>

namespace quintle {

class PopGenetics;
class Population;
class TPhenDB;
class settings;

// EM estimation of the haplotype frequencies of unphased genotypes.
void comp_gam_phase_EM(PopGenetics& sample, settings& s);
// Gibbs-sampler phase estimation; 1, or 0 when the run was stopped.
int comp_gam_phase_Gibbs(PopGenetics& sample, settings& s);
// Linkage-disequilibrium test between the loci of unphased genotypes.
void calc_all_link_dis(Population& sample, std::fstream& out, TPhenDB const& phenotypes, settings& s,
                       int const& initialConditions, long const& steps, int const& maxIterations,
                       double const& epsilon);

}  // namespace quintle
