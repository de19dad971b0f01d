#pragma once

// What the DNA and RFLP sample drivers share beyond the frame of every
// driver (driver_frame.h): their distance settings, the row of texts and
// gates in which the two data types differ, and the steps they run alike.
// A step is a template over the sample's class, defined for PopulDNA and
// PopulRFLP (sequence_sections.cpp, sequence_neutrality.cpp): it computes,
// logs its progress, leaves the results in the sample and returns what the
// section's writers print.

#include <ostream>

#include "datatypes/diversity_sections.h"
#include "datatypes/driver_frame.h"
#include "datatypes/driver_state.h"
#include "datatypes/mismatch_section.h"
#include "datatypes/neutrality_sections.h"

namespace quintle {

class PopulDNA;
class PopulRFLP;
class settings;

// --- distances ---------------------------------------------------------------------

// The weights of the distances; RFLP samples read the deletion weight only.
struct SequenceWeights {
    double deletion = 1.0;
    double transition = 1.0;
    double transversion = 1.0;
};
// The run's DeletionWeight, TransitionWeight and TranversionWeight.
SequenceWeights run_weights(settings const& s);

// A distance method with its gamma shape (0: no correction; RFLP samples
// have none) and weights. The default: pairwise differences, weights 1.
struct SequenceDistances {
    int method = 0;
    double gammaA = 0.0;
    SequenceWeights weights;
};

// Put into the sample for its next distance matrix.
void use_weights(PopulDNA& p, SequenceWeights const& w);
void use_weights(PopulRFLP& p, SequenceWeights const& w);
void use_distances(PopulDNA& p, SequenceDistances const& d);
void use_distances(PopulRFLP& p, SequenceDistances const& d);

// --- the row of a data type ---------------------------------------------------------

// How the DNA and the RFLP driver differ, in texts and gates.
struct SequenceDriverType {
    char const* function;  // names the driver's reports ("PopulDNA::test_methods()")
    bool gamma;            // the distances take the run's gamma shapes
    // The run's weights are put into the sample before the standard
    // diversity indices (RFLP sites are classified with the weight the
    // sample holds).
    bool weighsStandardDiversity;
    StandardDiversityTexts const* standardDiversity;
    FrequencySectionTexts frequency;
    LinkageSectionTexts linkage;

    // Mismatch distribution: the step marks the polymorphism as evaluated
    // even when it did not evaluate it; the distance method and table, the
    // method's name on the batch lines, the opening of the fit blocks (a
    // title between two rules, or above one), and the only-mismatch line's
    // head written also without counts.
    bool mismatchMarksEvaluated;
    void (*writeMismatchTable)(std::ostream& out, MismatchSectionResult const& r);
    char const* (*mismatchBatchMethod)(int method);
    char const* fitTitle;
    char fitRule;
    int fitRuleWidth;
    bool fitRuleAbove;
    bool onlyMismatchHeadAlways;

    // Tajima's D. With tajimaCountsDeletions (RFLP), D counts the deletion
    // sites among the segregating ones and the distances take the run's
    // deletion weight; otherwise deletions weigh 0 and D counts the
    // substitution sites. The replicates may stop before each one; the batch
    // line's tail comes from tajimaTailFrom replicates on.
    char const* tajimaLog;
    char const* tajimaFunction;
    bool tajimaCountsDeletions;
    bool tajimaStopsBeforeReplicate;
    long tajimaTailFrom;
    bool tajimaSampleSizeAsCount;  // the sample size printed truncated
    char const* tajimaSitesLabel;
    int tajimaDecimals;
    char const* tajimaDistances;  // the distance method line's text, its line end(s) included

    // Ewens-Watterson and Chakraborty.
    bool ewensWattersonPlural;  // the refusal names the tests
    // A single haplotype ends the Ewens-Watterson section before a missing
    // B table is told.
    bool ewensWattersonSingleHidesMissingTable;
    char const* chakrabortyMissingTable;

    // Fu's Fs: a replicate whose Fs is not formed counts in neither tail
    // (and the refusals are told); a sample of one allele has a batch line.
    char const* fuFunction;
    bool fuSkipsUnformedReplicates;
    bool fuOneAlleleBatchLine;
};

SequenceDriverType const& driver_type(PopulDNA const& p);
SequenceDriverType const& driver_type(PopulRFLP const& p);

// --- steps -----------------------------------------------------------------------------

// Evaluates the polymorphism unless the data were checked, then the
// distance matrix of `d` in numbers of differing sites and the
// distribution. The fits are not part of the step.
template <class Sample>
MismatchSectionResult sequence_mismatch_step(Sample& p, settings& s, SampleDriverState& st,
                                             SequenceDistances const& d);

// Tajima's D of the sample (pairwise differences without gamma
// correction), against replicates simulated under theta(S) of its
// substitution sites.
struct TajimaArgs {
    SequenceWeights weights;
    long replicates = 0;
};
template <class Sample>
TajimaResult sequence_tajima_step(Sample& p, settings& s, SampleDriverState& st, TajimaArgs const& a);
void write_sequence_tajima(std::ostream& out, TajimaResult const& r, SequenceDriverType const& t);

// Fu's Fs against replicates simulated under theta(pi); the sample's Fu
// fields are set.
struct FuFsArgs {
    SequenceWeights weights;
    bool inferred = false;  // haplotypes without real differences are merged
    long replicates = 0;
};
template <class Sample>
FuFsResult sequence_fu_fs_step(Sample& p, settings& s, SampleDriverState& st, FuFsArgs const& a);

// The arguments of the Ewens-Watterson step (ewensWatterson) or of
// Chakraborty's: the merged list is made of the pairwise differences with
// every weight 1.
template <class Sample>
CountTestArgs sequence_count_test_args(Sample& p, settings const& s, bool ewensWatterson);

}  // namespace quintle
