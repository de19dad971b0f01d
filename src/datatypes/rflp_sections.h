#pragma once

// The sections of the RFLP sample driver where they differ from the DNA
// driver's: their steps (which compute, log their progress and leave the
// results in the sample) and the writers of their result-file text. The
// neutrality-test sections run whole, banner to batch line
// (rflp_neutrality.cpp).

#include <ctime>
#include <fstream>
#include <functional>
#include <optional>
#include <ostream>
#include <string>

#include "core/my_string.h"
#include "datatypes/diversity_sections.h"
#include "datatypes/driver_state.h"
#include "datatypes/mismatch_section.h"
#include "datatypes/neutrality_sections.h"
#include "popstats/chakraborty.h"
#include "popstats/ewens_watterson.h"

namespace quintle {

class PopulRFLP;
class settings;

extern StandardDiversityTexts const rflp_standard_diversity_texts;

// "Proportion of difference" for method 1, else "Pairwise difference".
char const* rflp_method_name(int method);

// The deletion weight of the molecular-diversity distances: the setting
// truncated toward zero, its low 32 bits read as an unsigned number (so a
// weight between 0 and 1 counts as 0 there). A value without a whole part
// in 64 bits gives 0.
double truncated_deletion_weight(double w);

// --- molecular diversity and theta estimators -----------------------------------

struct RflpMolecularDiversityArgs {
    int method = 0;
    double deletionWeight = 1.0;      // the setting, truncated by the step
    bool showOriginal = false;        // the number of original haplotypes
    bool haplotypicOrPhased = true;   // the run's data: mean number of pairwise differences
    int computeTheta = 0;
};

struct RflpMolecularDiversityResult {
    double sampleSize = 0.0;
    int numHaplotypes = 0;
    int numOriginal = 0;
    bool showOriginal = false;
    double allowedMissing = 0.0;
    int indelSites = 0;
    int polymorphicSites = 0;
    int usableSites = 0;
    int method = 0;
    bool showMeanPairwise = false;
    double meanPairwiseDiff = 0.0;
    double meanPairwiseDiffSd = 0.0;
    double piPerSite = 0.0;
    double piPerSiteSd = 0.0;
    ThetaResult theta;
};

// Checks and evaluates the sample unless done, then the distance matrix and
// the molecular diversity (whether or not the matrix could be computed) and
// the theta estimators.
RflpMolecularDiversityResult rflp_molecular_diversity_step(PopulRFLP& p, settings& s, SampleDriverState& st,
                                                           RflpMolecularDiversityArgs const& a);
// distanceTables prints the sample's distance matrix where it belongs.
void write_rflp_molecular_diversity(std::ostream& out, RflpMolecularDiversityResult const& r,
                                    std::function<void()> const& distanceTables);

// --- mismatch distribution ------------------------------------------------------

// Evaluates the polymorphism unless the data were checked, then the distance
// matrix of the method (numbers of differing sites) and the distribution.
MismatchSectionResult rflp_mismatch_step(PopulRFLP& p, settings& s, SampleDriverState& st, int method,
                                         double deletionWeight);
// "Distance method : ", the table's heading and its rows: one per class up
// to the last expected one (or the largest distance), or a single row of the
// number of pairs when there is no distribution.
void write_rflp_mismatch_table(std::ostream& out, MismatchSectionResult const& r);
// Whether write_rflp_mismatch_table gave one row per class.
bool rflp_mismatch_rows_by_class(MismatchSectionResult const& r);

// --- neutrality tests (rflp_neutrality.cpp) ---------------------------------------

// Tajima's D of the sample on its polymorphic sites (substitutions and
// deletions), against replicates simulated under theta(S) of its
// substitution sites; deletionWeight of the distances.
TajimaResult rflp_tajima_step(PopulRFLP& p, settings& s, SampleDriverState& st, double deletionWeight,
                              long replicates);
void write_rflp_tajima(std::ostream& out, TajimaResult const& r);

struct RflpFuFsArgs {
    double deletionWeight = 1.0;
    bool inferred = false;  // haplotypes without real differences are merged
    long replicates = 0;
};
// Fu's Fs against replicates simulated under theta(pi); the sample's Fu
// fields are set.
FuFsResult rflp_fu_fs_step(PopulRFLP& p, settings& s, SampleDriverState& st, RflpFuFsArgs const& a);

// Each section writes its banner, runs its step and writes the result file
// and the batch line; false when the run asks to stop.

bool rflp_tajima_section(PopulRFLP& p, settings& s, std::fstream& out, SampleDriverState& st);
bool rflp_ewens_watterson_section(PopulRFLP& p, settings& s, std::fstream& out, SampleDriverState& st);
bool rflp_chakraborty_section(PopulRFLP& p, settings& s, std::fstream& out, SampleDriverState& st);
bool rflp_fu_fs_section(PopulRFLP& p, settings& s, std::fstream& out, SampleDriverState& st);

}  // namespace quintle
