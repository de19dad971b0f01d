#pragma once

// Pieces of the sample analysis drivers that are the same for every data
// type: the data-kind tests, the sample header and the closing step.

#include <fstream>
#include <ostream>

namespace quintle {

class Population;
class PopGenetics;
class settings;
struct SampleDriverState;
struct StandardDiversityTexts;

// The sample's own profile: diploid data of unknown phase.
bool unphased_genotypes(Population const& p);
// The run's copies of the project profile: haplotypic, or phase known.
bool run_haplotypic_or_phased(settings const& s);
// The number of original haplotypes is reported.
bool shows_original(Population const& p, settings const& s);

// The mismatch section's opening, the same for every data type: the
// refusal for unphased genotypes (false: nothing more to do), else the
// banner and the citations.
bool open_mismatch_section(Population const& p, std::ostream& out);

// The anchor and the framed "== Sample : " heading.
void write_sample_header(Population& p, settings& s, std::ostream& out);

// The standard diversity indices after their section's opening: the step,
// the result-file block with the per-locus table, the gene-diversity batch
// line. The lines that name the haplotypes are the data type's.
void standard_diversity_block(PopGenetics& p, settings& s, std::fstream& out, SampleDriverState& st,
                              StandardDiversityTexts const& texts, bool showOriginal);

// The banner of the haplotype-frequency section and, for diploid data of
// unknown phase, the Gibbs and EM estimates the settings ask for. `phased`:
// the caller counts the haplotypes itself; `stopped`: a stop was asked.
enum class UnphasedEstimate { phased, done, stopped };
UnphasedEstimate estimate_unphased_haplotypes(PopGenetics& p, settings& s, std::fstream& out);

// The haplotype frequencies of haplotypic or phased data (after the
// opening above). Texts differ by data type.
struct FrequencySectionTexts {
    char const* progress;  // the progress message
    char const* log;       // the log line before
    char const* done;      // the log line after
};
bool haplotype_frequency_section(PopGenetics& p, settings& s, std::fstream& out, FrequencySectionTexts const& t);

// Linkage disequilibrium (unphased genotypes by EM, else the exact test)
// and Hardy-Weinberg sections of the sequence drivers, whose log lines
// differ by data type.
struct LinkageSectionTexts {
    char const* phenotypic;    // log line for unphased genotypes
    char const* haplotypic;    // log line for haplotypic or phased data
    char const* hardyWeinbergDone;
};
bool linkage_section(PopGenetics& p, settings& s, std::fstream& out, SampleDriverState const& st,
                     LinkageSectionTexts const& t);
bool hardy_weinberg_section(PopGenetics& p, settings& s, std::fstream& out, LinkageSectionTexts const& t);

// The sample-distance section's common start: false when a stop was asked;
// otherwise the data checked and the sites evaluated unless `st` says so.
bool sample_distances_ready(PopGenetics& p, settings& s, SampleDriverState const& st);
// With ComputeConventionalFST the 0/1 distances go to "<sample>.dis" in the
// working folder (true); otherwise nothing is done (false) and the caller
// computes the matrix the AMOVA reads.
bool write_conventional_fst_distances(PopGenetics& p, settings& s);

// Sequences or RFLP haplotypes with some usable site. A sample whose copies
// are deletions, or too often missing data, at every site has none: when
// `s` asks for the analyses of samples, that is said once, in the log (a
// WARNING from `function`) and in the result file; the caller skips what
// compares sites
// (molecular diversity, mismatch, linkage, distances, Tajima's and Fu's
// tests) instead of failing in each of them and in each of their simulated
// replicates.
bool has_usable_sites(Population const& p, settings const& s, std::ostream& out, char const* function);

// The last step of every driver. When the run asks for the preparation of
// the AMOVA permutations alone (task 4096, as the translator does): the
// allele vectors of the permutation tests, the blanks made first for
// recessive data. Any other task bit leaves the sample as it is.
void closing_step(Population& p, settings const& s);

}  // namespace quintle
