#pragma once

// Pieces of the sample analysis drivers that are the same for every data
// type: the data-kind tests, the sample header and the closing step.

#include <fstream>
#include <ostream>

namespace quintle {

class Population;
class PopGenetics;
class settings;

// The sample's own profile: diploid data of unknown phase.
bool unphased_genotypes(Population const& p);
// The run's copies of the project profile: haplotypic, or phase known.
bool run_haplotypic_or_phased(settings const& s);
// The number of original haplotypes is reported.
bool shows_original(Population const& p, settings const& s);

// The anchor and the framed "== Sample : " heading.
void write_sample_header(Population& p, settings& s, std::ostream& out);

// The banner of the haplotype-frequency section and, for diploid data of
// unknown phase, the Gibbs and EM estimates the settings ask for. `phased`:
// the caller counts the haplotypes itself; `stopped`: a stop was asked.
enum class UnphasedEstimate { phased, done, stopped };
UnphasedEstimate estimate_unphased_haplotypes(PopGenetics& p, settings& s, std::fstream& out);

// When the run asks for task 4096 alone: the allele vectors of the
// permutation tests (blanks made first for recessive data).
void closing_step(Population& p, settings const& s);

}  // namespace quintle
