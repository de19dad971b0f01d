#pragma once

// The standard diversity indices and the theta estimators of a sample, each
// as a step that computes into a small result (and the sample's fields) and
// writers that print the result-file text and the batch line from it. Not
// tied to a data type: the drivers pass what differs.

#include <ctime>
#include <functional>
#include <ostream>
#include <string>

#include "core/my_string.h"
#include "datatypes/driver_state.h"

namespace quintle {

class PopGenetics;
class settings;

// --- standard diversity indices ------------------------------------------------

struct StandardDiversityArgs {
    bool haplotypicOrPhased = true;   // the run's data: haplotype line and haplotype-level block
    bool showOriginal = false;        // the number of original haplotypes is reported
    double allowedMissing = 0.0;      // allowed level of missing data, a fraction
    bool batchGeneDiversity = false;  // the batch line wants 1 - homozygosity
};

struct StandardDiversityResult {
    int sampleSize = 0;  // truncated
    int numHaplotypes = 0;
    int numOriginal = 0;
    bool showHaplotypes = false;
    bool showOriginal = false;
    int numLoci = 0;
    int numUsableSites = 0;
    int numPolymorphicSites = 0;
    double allowedMissing = 0.0;
    double sumSquaredFreq = 0.0;
    double geneDiversity = 0.0;
    double geneDiversitySd = 0.0;
    double batchGeneDiversity = 0.0;  // 1 - homozygosity, computed when the batch line wants it
};

// Checks the data and evaluates the polymorphism (both flags set), settles
// the number of loci and, for haplotypic or phased data, the homozygosity,
// gene diversity and its s.d.
StandardDiversityResult standard_diversity_step(PopGenetics& p, settings& s, SampleDriverState& st,
                                                StandardDiversityArgs const& a);

// The lines that name the haplotypes differ between data types.
struct StandardDiversityTexts {
    char const* haplotypes;  // "\nNo. of ...: " before the number of haplotypes
    char const* original;    // before the number of original haplotypes
    // before the number of polymorphic sites (or loci)
    char const* polymorphic = "\nNo. of polymorphic sites : ";
};
extern StandardDiversityTexts const dna_standard_diversity_texts;

// The counts, the per-locus table (printed by perLocusTable where it
// belongs) and the haplotype-level block.
void write_standard_diversity(std::ostream& out, StandardDiversityResult const& r, StandardDiversityTexts const& t,
                              std::function<void()> const& perLocusTable);
void write_gene_diversity_batch(std::ostream& b, my_string const& sampleName, StandardDiversityResult const& r);

// --- theta estimators ------------------------------------------------------------

struct ThetaArgs {
    int computeTheta = 0;  // bits: 1 Hom, 2 S, 4 k, 8 pi
    bool haplotypicOrPhased = true;
    int segregatingSites = 0;  // S of theta(S)
};

// The log lines around the B table of theta(k).
struct ThetaLog {
    char const* start;       // before the table is built
    char const* doneIndent;  // before "done ! (" when it is
    bool endlAfterDone;      // flush after the elapsed time
    char const* tooMany;     // when theta(k) has no interval; null for none
};
extern ThetaLog const dna_theta_log;

struct ThetaResult {
    enum class K { not_run, no_table, without_interval, with_interval };
    int computeTheta = 0;
    bool allDifferent = false;  // theta(Hom) and theta(k) cannot be formed
    bool hom = false;
    double thetaHom = 0.0;
    double thetaHomSd = 0.0;
    K k = K::not_run;
    double thetaK = 0.0;
    double thetaKLow = 0.0;
    double thetaKHigh = 0.0;
    bool s = false;
    double thetaS = 0.0;
    double thetaSsd = 0.0;
    bool pi = false;
    double thetaPi = 0.0;
    double thetaPiSd = 0.0;
    // Reports echoed into the result file before the theta(k) lines and
    // after the last line.
    std::string echoBeforeK;
    std::string echoAfter;
};

// The estimators the bits ask for, from the sample's haplotype counts and
// its mean number of pairwise differences.
ThetaResult theta_step(PopGenetics& p, ThetaArgs const& a, ThetaLog const& log = dna_theta_log);

// What the data types print differently around theta(Hom) and theta(k).
struct ThetaTexts {
    // When every gene copy differs: one line whatever the bits (null: one
    // line for each of theta(Hom) and theta(k) their bits ask for).
    char const* allDifferent;
    int intervalWidth;  // of each limit of theta(k)'s interval
    bool intervalEndl;  // the interval line is flushed
};
extern ThetaTexts const dna_theta_texts;
void write_theta(std::ostream& out, ThetaResult const& r, ThetaTexts const& t = dna_theta_texts);
void write_theta_batch(std::ostream& b, my_string const& sampleName, ThetaResult const& r);

}  // namespace quintle
