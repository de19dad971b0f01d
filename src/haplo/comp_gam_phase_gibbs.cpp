// The phasing analysis of one sample of unphased diploid data: the Vosk
// sampler on a copy of the sample's individuals, then its report.

#include <memory>

#include "data/TPhenDB.h"
#include "haplo/TGenotSample.h"
#include "popstats/PopGenetics.h"
#include "run/settings.h"

namespace quintle {

int PopGenetics::comp_gam_phase_Gibbs(settings& s) {
    // One entry per individual, whatever the counts of the table.
    TPhenDB individuals(phenotypes);
    individuals.explode_base();
    genotSample.reset();
    genotSample = std::make_unique<TGenotSample>(individuals, alleleDB, s, profile.MissingData, dataType == MICROSAT);
    genotSample->performGibbs();
    int result = 0;
    if (s.stopFlag == 0) {
        result = 1;
        // A negative number of samples keeps none, as 0 does: no report.
        if (s.GibbsNumSamples > 0) genotSample->writeResults(s.ResultFile);
    }
    genotSample->releasePhenotypes();
    return result;
}

}  // namespace quintle
