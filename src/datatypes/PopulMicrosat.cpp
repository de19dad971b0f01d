#include "datatypes/PopulMicrosat.h"

#include "core/Errors.h"

namespace quintle {

PopulMicrosat::PopulMicrosat() {
    microsatDistanceMethod = 1;
    meanPairwiseDiff = meanPairwiseDiffSd = 0.0;
    piPerSite = piPerSiteSd = 0.0;
}

PopulMicrosat::PopulMicrosat(Population const& data) : PopulMicrosat() { Population::operator=(data); }

PopulMicrosat::PopulMicrosat(PopulMicrosat const& other) : PopulMicrosat() { *this = other; }

PopulMicrosat& PopulMicrosat::operator=(Population const& data) {
    Population::operator=(data);
    return *this;
}

PopulMicrosat& PopulMicrosat::operator=(PopulMicrosat const& other) {
    if (this == &other) return *this;
    PopGenetics::operator=(other);
    microsatDistanceMethod = other.microsatDistanceMethod;
    meanPairwiseDiff = other.meanPairwiseDiff;
    meanPairwiseDiffSd = other.meanPairwiseDiffSd;
    piPerSite = other.piPerSite;
    piPerSiteSd = other.piPerSiteSd;
    return *this;
}

// The analysis driver and the allele-size computations come with the
// microsatellite analyses; until then nothing is done.
// The microsatellite analysis driver is not part of this version: say so in the
// log rather than leave the sample's "not computed" values unexplained.
void PopulMicrosat::test_methods(settings&) {
    *_AOS_ << "\tAnalyses of microsatellite samples are not available: sample \"" << name
           << "\" keeps its values of \"not computed\"\n";
}

int PopulMicrosat::check_data() { return 0; }

int PopulMicrosat::compute_distance_matrix(std::fstream*, settings*, int) { return 0; }

int PopulMicrosat::evaluate_polymorphism(settings const&) { return 0; }

}  // namespace quintle
