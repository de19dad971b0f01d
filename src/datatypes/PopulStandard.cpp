#include "datatypes/PopulStandard.h"

#include "core/Errors.h"

namespace quintle {

PopulStandard::PopulStandard() = default;

PopulStandard::PopulStandard(Population const& data) : PopulStandard() {
    PopGenetics::initialize();
    Population::operator=(data);
}

PopulStandard::PopulStandard(PopulStandard const& other) : PopulStandard() { *this = other; }

PopulStandard& PopulStandard::operator=(Population const& data) {
    Population::operator=(data);
    return *this;
}

PopulStandard& PopulStandard::operator=(PopulStandard const& other) {
    if (this == &other) return *this;
    PopGenetics::operator=(other);
    piPerSite = other.piPerSite;
    piPerSiteSd = other.piPerSiteSd;
    stdMeanPairwiseDiff = other.stdMeanPairwiseDiff;
    stdMeanPairwiseDiffSd = other.stdMeanPairwiseDiffSd;
    return *this;
}

// The analysis driver and the standard-data computations come with those
// analyses; until then nothing is done.
// The standard analysis driver is not part of this version: say so in the
// log rather than leave the sample's "not computed" values unexplained.
void PopulStandard::test_methods(settings&) {
    *_AOS_ << "\tAnalyses of standard samples are not available: sample \"" << name
           << "\" keeps its values of \"not computed\"\n";
}

int PopulStandard::check_data() { return 0; }

int PopulStandard::compute_distance_matrix(std::fstream*, settings*, int) { return 0; }

int PopulStandard::evaluate_polymorphism(settings const&) { return 0; }

}  // namespace quintle
