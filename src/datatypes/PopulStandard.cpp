#include "datatypes/PopulStandard.h"

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

}  // namespace quintle
