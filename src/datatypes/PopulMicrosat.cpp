#include "datatypes/PopulMicrosat.h"

namespace quintle {

PopulMicrosat::PopulMicrosat() {
    dataType = MICROSAT;
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

}  // namespace quintle
