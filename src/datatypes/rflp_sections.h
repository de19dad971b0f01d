#pragma once

// The sections of the RFLP sample driver where it differs from the DNA
// driver (the sections they share: sequence_sections.h): the molecular
// diversity, its step (which computes, logs its progress and leaves the
// results in the sample) and its writer, and the distance table of the
// mismatch distribution.

#include <fstream>
#include <functional>
#include <ostream>

#include "datatypes/diversity_sections.h"
#include "datatypes/driver_state.h"
#include "datatypes/mismatch_section.h"

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

// The section: its banner and citations, the step and the result file.
void molecular_diversity_section(PopulRFLP& p, settings& s, std::fstream& out, SampleDriverState& st);

// --- mismatch distribution ------------------------------------------------------

// "Distance method : ", the table's heading and its rows: one per class up
// to the last expected one (or the largest distance), or a single row of the
// number of pairs when there is no distribution.
void write_rflp_mismatch_table(std::ostream& out, MismatchSectionResult const& r);

}  // namespace quintle
