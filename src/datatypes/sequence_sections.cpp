// The distance settings of DNA and RFLP samples, the rows of the two data
// types, and the mismatch step.

#include "datatypes/sequence_sections.h"

#include <ctime>

#include "core/Errors.h"
#include "core/public.h"
#include "datatypes/PopulDNA.h"
#include "datatypes/PopulRFLP.h"
#include "datatypes/dna_sections.h"
#include "datatypes/driver_output.h"
#include "datatypes/rflp_sections.h"
#include "popstats/mismatch.h"
#include "run/settings.h"

namespace quintle {

SequenceWeights run_weights(settings const& s) { return {s.DeletionWeight, s.TransitionWeight, s.TranversionWeight}; }

void use_weights(PopulDNA& p, SequenceWeights const& w) {
    p.deletionWeight = w.deletion;
    p.transitionWeight = w.transition;
    p.transversionWeight = w.transversion;
}

void use_weights(PopulRFLP& p, SequenceWeights const& w) { p.deletionWeight = w.deletion; }

void use_distances(PopulDNA& p, SequenceDistances const& d) {
    p.distanceMethod = d.method;
    p.gammaA = d.gammaA;
    use_weights(p, d.weights);
}

void use_distances(PopulRFLP& p, SequenceDistances const& d) {
    p.distanceMethod = d.method;
    use_weights(p, d.weights);
}

namespace {

SequenceDriverType const dna_type = {
    .function = "PopulDNA::test_methods()",
    .gamma = true,
    .weighsStandardDiversity = true,
    .standardDiversity = &dna_standard_diversity_texts,
    .frequency = {"Computing haplotype frequencies ... \n", "\tComputing haplotype frequencies ...\n", "\tdone !\n"},
    .linkage = {"\tTesting linkage disequilibrium (phenotypic data)...\n",
                "\tTesting linkage disequilibrium (haplotypic data)...\n", "\tdone !\n\n"},
    .mismatchMarksEvaluated = false,
    .writeMismatchTable = write_dna_mismatch_method,
    .mismatchBatchMethod = dna_method_tag,
    .fitTitle = "Parameters estimated under the ",
    .fitRule = '*',
    .fitRuleWidth = 54,
    .fitRuleAbove = true,
    .onlyMismatchHeadAlways = true,
    .tajimaLog = "\n\t\tComputing Tajima's D ...\n",
    .tajimaFunction = "PopulDNA::test_methods#Tajima's test()",
    .tajimaCountsDeletions = false,
    .tajimaStopsBeforeReplicate = true,
    .tajimaTailFrom = 2,
    .tajimaSampleSizeAsCount = true,
    .tajimaSitesLabel = "No. of sites with substitutions (S)   : ",
    .tajimaDecimals = 5,
    .tajimaDistances = "Pairwise difference (no Gamma correction, indels not taken into account)\n\n",
    .ewensWattersonPlural = true,
    .ewensWattersonSingleHidesMissingTable = true,
    .chakrabortyMissingTable = "\t\tFile not found... skipping task !\n",
    .fuFunction = "PopulDNA::test_methods#Fu's test()",
    .fuSkipsUnformedReplicates = false,
    .fuOneAlleleBatchLine = true,
};

SequenceDriverType const rflp_type = {
    .function = "PopulRFLP::test_methods()",
    .gamma = false,
    .weighsStandardDiversity = false,
    .standardDiversity = &rflp_standard_diversity_texts,
    .frequency = {"Computing  haplotype frequencies ...\n", "\tComputing  haplotype frequencies ...\n", "\tdone!\n"},
    .linkage = {"\tTesting linkage disequilibrium (Phenotypic data)...\n",
                "\tTesting linkage disequilibrium (Haplotypic data)...\n", "\tdone !\n"},
    .mismatchMarksEvaluated = true,
    .writeMismatchTable = write_rflp_mismatch_table,
    .mismatchBatchMethod = rflp_method_name,
    .fitTitle = "Estimated parameters from the ",
    .fitRule = '-',
    .fitRuleWidth = 53,
    .fitRuleAbove = false,
    .onlyMismatchHeadAlways = false,
    .tajimaLog = "\tComputing Tajima's D ...\n",
    .tajimaFunction = "PopulRFLP::test_methods#Tajima's test()",
    .tajimaCountsDeletions = true,
    .tajimaStopsBeforeReplicate = false,
    .tajimaTailFrom = 1,
    .tajimaSampleSizeAsCount = false,
    .tajimaSitesLabel = "No. of segregating sites (S)          : ",
    .tajimaDecimals = 4,
    .tajimaDistances = "Pairwise difference (no Gamma correction)\n",
    .ewensWattersonPlural = false,
    .ewensWattersonSingleHidesMissingTable = false,
    .chakrabortyMissingTable = "\t\t\tFile not found... skipping task !\n",
    .fuFunction = "PopulRFLP::test_methods#Fu's test()",
    .fuSkipsUnformedReplicates = true,
    .fuOneAlleleBatchLine = false,
};

}  // namespace

SequenceDriverType const& driver_type(PopulDNA const&) { return dna_type; }
SequenceDriverType const& driver_type(PopulRFLP const&) { return rflp_type; }

// --- mismatch distribution ------------------------------------------------------

template <class Sample>
MismatchSectionResult sequence_mismatch_step(Sample& p, settings& s, SampleDriverState& st,
                                             SequenceDistances const& d) {
    SequenceDriverType const& t = driver_type(p);
    if (!st.dataChecked) p.evaluate_polymorphism(s);
    if (t.mismatchMarksEvaluated) st.polymorphismEvaluated = true;
    *_AOS_ << "\tComputing mismatch distribution...\n";
    const std::clock_t start = get_sys_clock();
    use_distances(p, d);
    // With a proportion the distances become numbers of sites.
    p.compute_distance_matrix(nullptr, &s, 1);
    mismatch_distribution_step(p);
    return mismatch_section_result(p, d.method, t.gamma ? d.gammaA : 0.0, start);
}

template MismatchSectionResult sequence_mismatch_step(PopulDNA&, settings&, SampleDriverState&,
                                                      SequenceDistances const&);
template MismatchSectionResult sequence_mismatch_step(PopulRFLP&, settings&, SampleDriverState&,
                                                      SequenceDistances const&);

}  // namespace quintle
