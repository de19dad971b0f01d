#pragma once

// The computing steps of the DNA sample driver's sections. Each takes the
// settings it needs as arguments, writes its progress lines to the log,
// sets the sample's fields the summary tables read afterwards (distance
// settings and weights, distance matrix, diversity, Tajima's and Fu's
// values) and returns what the section's writers print.

#include <array>
#include <ctime>
#include <functional>
#include <optional>
#include <ostream>
#include <string>

#include "core/my_string.h"
#include "datatypes/diversity_sections.h"
#include "datatypes/dna_replicate_statistics.h"
#include "datatypes/driver_state.h"
#include "datatypes/mismatch_section.h"
#include "datatypes/neutrality_sections.h"
#include "popstats/chakraborty.h"
#include "popstats/ewens_watterson.h"

namespace quintle {

class PopulDNA;
class settings;

// The three weights of the DNA distances.
struct DnaWeights {
    double deletion = 1.0;
    double transition = 1.0;
    double transversion = 1.0;
};
DnaWeights dna_weights(settings const& s);
void apply_weights(PopulDNA& p, DnaWeights const& w);

// A distance method with its gamma shape (0: no correction) and weights.
struct DnaDistanceSettings {
    int method = 0;
    double gammaA = 0.0;
    DnaWeights weights;
};

// Result-file name and batch tag of a distance method; `fallback` names the
// codes outside 0 .. 6 (tags fall back to pairwise difference).
char const* dna_method_name(int method, char const* fallback);
char const* dna_method_tag(int method);

// --- molecular diversity and theta estimators -----------------------------------

struct MolecularDiversityArgs {
    DnaDistanceSettings distances;
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
    DnaWeights weights;
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

// --- mismatch distribution ------------------------------------------------------

// Evaluates the polymorphism unless the data were checked, then the
// distance matrix of the mismatch settings (numbers of differing sites) and
// the distribution. The fits are not part of the step.
MismatchSectionResult dna_mismatch_step(PopulDNA& p, settings& s, SampleDriverState const& st,
                                        DnaDistanceSettings const& d);

// --- neutrality tests -----------------------------------------------------------

struct TajimaArgs {
    double transitionWeight = 1.0;
    double transversionWeight = 1.0;
    long replicates = 0;
};
TajimaResult dna_tajima_step(PopulDNA& p, settings& s, SampleDriverState& st, TajimaArgs const& a);
void write_dna_tajima(std::ostream& out, TajimaResult const& r);

struct FuFsArgs {
    DnaWeights weights;
    bool inferred = false;  // haplotypes without real differences are merged
    long replicates = 0;
};
FuFsResult dna_fu_fs_step(PopulDNA& p, settings& s, SampleDriverState& st, FuFsArgs const& a);

}  // namespace quintle
