#pragma once

// STAND-INS. The per-sample haplotype analyses that the sample drivers call:
// phase estimation (EM and Gibbs sampler), the linkage-disequilibrium tests
// and the Hardy-Weinberg exact test. Until the haplotype-estimation code
// lands they do nothing: no output, no change to the sample. They take the
// sample as first argument where the final code has member functions.

#include <fstream>

namespace quintle {

class PopGenetics;
class Population;
class TPhenDB;
class settings;

// Exact linkage-disequilibrium test between the loci of haplotypic data.
void calc_all_gam_des(PopGenetics& sample, std::fstream& out, long steps, settings& s);
// Hardy-Weinberg exact test by Markov chain.
void make_all_hw(Population& sample, std::fstream& out, TPhenDB const& phenotypes, long const& steps, settings& s);

}  // namespace quintle
