#pragma once

// The sections of the DNA sample driver where it differs from the RFLP
// driver (the sections they share: sequence_sections.h): the molecular
// diversity with the nucleotide composition, its step (which takes the
// settings it needs as arguments, writes its progress lines to the log and
// sets the sample's fields the summary tables read afterwards) and its
// writers, and the distance-method line of the mismatch distribution.

#include <array>
#include <fstream>
#include <functional>
#include <ostream>
#include <string>

#include "core/my_string.h"
#include "datatypes/diversity_sections.h"
#include "datatypes/dna_replicate_statistics.h"
#include "datatypes/driver_state.h"
#include "datatypes/mismatch_section.h"
#include "datatypes/sequence_sections.h"

namespace quintle {

class PopulDNA;
class settings;

// Result-file name and batch tag of a distance method; `fallback` names the
// codes outside 0 .. 6 (tags fall back to pairwise difference).
char const* dna_method_name(int method, char const* fallback);
char const* dna_method_tag(int method);

// --- molecular diversity and theta estimators -----------------------------------

struct MolecularDiversityArgs {
    SequenceDistances distances;
    double allowedMissing = 0.0;
    bool showOriginal = false;        // number of original haplotypes
    bool haplotypicOrPhased = true;   // mean number of pairwise differences
    int computeTheta = 0;
};

struct MolecularDiversityResult {
    double sampleSize = 0.0;
    int numHaplotypes = 0;
    int numOriginal = 0;
    bool showOriginal = false;
    SequenceWeights weights;
    double allowedMissing = 0.0;
    DnaSiteCensus census;  // as the section prints it
    std::array<double, 4> nuclFreq{};  // C, T, A, G
    int method = 0;
    double gammaA = 0.0;
    bool distances = false;  // the distance matrix could be computed
    bool showMeanPairwise = false;
    double meanPairwiseDiff = 0.0;
    double meanPairwiseDiffSd = 0.0;
    double piPerSite = 0.0;
    double piPerSiteSd = 0.0;
    ThetaResult theta;
    // Reports echoed into the result file while the nucleotide composition,
    // and then the distances, were computed.
    std::string echoComposition;
    std::string echoDistances;
};

MolecularDiversityResult dna_molecular_diversity_step(PopulDNA& p, settings& s, SampleDriverState& st,
                                                      MolecularDiversityArgs const& a);
// distanceTables prints the sample's distance matrix where it belongs.
void write_dna_molecular_diversity(std::ostream& out, MolecularDiversityResult const& r,
                                   std::function<void()> const& distanceTables);
void write_molecular_diversity_batch(std::ostream& b, my_string const& sampleName, MolecularDiversityResult const& r);
void write_nucleotide_composition_batch(std::ostream& b, my_string const& sampleName,
                                        MolecularDiversityResult const& r);

// The section: its log lines, banner and citations, the step, the result
// file and the batch lines.
void molecular_diversity_section(PopulDNA& p, settings& s, std::fstream& out, SampleDriverState& st);

// --- mismatch distribution ------------------------------------------------------

// "Distance method : " with the method's name and the gamma part.
void write_dna_mismatch_method(std::ostream& out, MismatchSectionResult const& r);

}  // namespace quintle
