#pragma once

// Random allele configurations from Ewens' sampling distribution given the
// number of genes n and of alleles k, and the statistics the Ewens-Watterson
// homozygosity test and Slatkin's exact test compare between the observed
// and the random configurations.
//
// The draws rest on the B table: the count c of the next allele, with m genes
// left for j alleles, has probability B(m - c, j - 1) / (c B(m, j)). The
// ordered configurations then have probabilities proportional to 1 / prod c,
// which gives Ewens' distribution of allelic partitions conditioned on k.

#include <fstream>
#include <ostream>
#include <span>
#include <vector>

#include "core/MY_TIArrayAsVector.h"
#include "core/my_string.h"
#include "data/Population.h"
#include "popstats/AHaplFreq.h"
#include "popstats/BnumMat.h"

namespace quintle {

class PopGenetics;
class settings;

// Largest sample and number of alleles the test accepts.
inline constexpr int ew_max_genes = 5000;
inline constexpr int ew_max_alleles = 1000;

// Count of the next allele when m genes remain for j >= 2 alleles, for u
// uniform in [0, 1): the first c at which sum_{i <= c} B(m - i, j - 1) / i
// reaches u B(m, j), at most m - j + 1; 0 when u B(m, j) is not positive.
// The table must hold rows up to m and columns up to j.
int draw_allele_count(int m, int j, double u, BnumMat const& table);

// Draws one configuration of n genes into counts.size() alleles from ran3
// (one draw per allele but the last, which takes the remaining genes) and
// leaves the counts in decreasing order.
void draw_ewens_configuration(int n, BnumMat const& table, std::span<int> counts);

// F = sum of squared frequencies: a value of at least 1 is a count and is
// divided by n, a smaller value is taken as the frequency itself.
double ew_F(std::span<const double> values, double n);
double ew_F(std::span<const int> counts, double n);

// Slatkin's statistic -sum_c spectrum[c] ln c over c = 1 .. n, where
// spectrum[c] is the number of alleles of count c. spectrum needs n + 1
// slots; it is cleared and refilled. Counts outside 0 .. n are not entered.
double slatkin_statistic(std::span<const int> counts, std::span<int> spectrum);

// Makes sure the table holds every B(m, j) with m <= n and j <= k: when it
// has no more than n rows or no more than k columns it is rebuilt at
// (n + 10) x (k + 10). False when that is refused (tableExists is then
// cleared).
bool ensure_B_table(double n, int k, BnumMat& table, int& tableExists);

// --- report helpers shared by the neutrality tests ---------------------------

// The 60-dash rule that closes a refusal.
inline constexpr char long_rule[] = "\n------------------------------------------------------------\n";

// Result blocks: fixed notation with the point shown, 5 decimals, numbers
// right-aligned (each in the width its writer sets).
void report_format(std::ostream& os);

// The batch stream when its flag is set and it has not failed, in fixed notation
// with 5 decimals; otherwise null.
std::ostream* batch_stream(int flag, std::ostream* stream);

// The project file and the sample name, each in double quotes, separated by
// a tab: the first two fields of a batch line.
void batch_prefix(std::ostream& os, my_string const& sampleName);

// Observed-frequency table of a sorted list of counts (or relative
// frequencies) in a sample of n genes, with a "pop" attribute of `name` on
// its XML tag.
void print_obs_hapl_freq(std::ostream& os, AHaplFreqList const& list, int const& n, my_string name);
void print_obs_hapl_freq(std::ostream& os, std::span<const double> values, int n, my_string const& name);
// The same table from a sample's haplotype list, without the Total row.
void print_obs_hapl_freq(std::ostream& os, PHaploDefList const& list, int const& n);
// Expected-frequency table: one row per rank of the mean random
// configuration, with a "pop" attribute of `name` on its XML tag.
void print_exp_freq(std::ostream& os, std::span<const AHaplFreq> ranks, my_string const& name);

// --- the test as a step and its writers --------------------------------------

// What one Ewens-Watterson test found. The report and the batch line are
// written from it; the sample's fields were set by the step.
struct EwensWattersonResult {
    enum class Outcome {
        silent,         // stopped, an empty list or no replicates: nothing to print
        all_different,  // k equals n
        single_allele,  // k is 1
        too_many,       // more alleles or genes than the test takes
        table_refused,  // the B table cannot cover the sample
        tested,
    };
    Outcome outcome = Outcome::silent;
    double n = 0.0;  // sample size
    int k = 0;       // records of the list
    int numHaplotypes = 0;
    int numOriginal = 0;
    bool inferred = false;      // the list merges haplotypes that do not really differ
    bool showOriginal = false;  // the original haplotype count is reported
    int replicates = 0;
    double observedF = 0.0;
    double expectedF = 0.0;
    double probF = 0.0;
    double slatkinP = 0.0;
    std::vector<double> observed;     // the list's values, most frequent first
    std::vector<AHaplFreq> expected;  // mean random configuration by rank

    // The all-different and single-allele refusals and the result have a
    // batch line.
    bool has_batch_line() const;
};

// The test on the allele counts of `list` with `replicates` random
// configurations; `inferred` tells whether the list merges haplotypes. Sets
// the sample's Ewens-Watterson and Slatkin fields. `s` gives the progress
// and the stop request.
EwensWattersonResult ewens_watterson_step(PopGenetics& p, AHaplFreqList const& list, int replicates, bool inferred,
                                          settings& s);
// The report of the result stream (refusal or result block with both
// frequency tables).
void write_ewens_watterson(std::ostream& os, EwensWattersonResult const& r, my_string const& sampleName);
// The batch line, for the outcomes that have one.
void write_ewens_watterson_batch(std::ostream& batch, EwensWattersonResult const& r, my_string const& sampleName);

}  // namespace quintle
