#include "datatypes/PopulRFLP.h"

#include "core/Errors.h"

#include <new>
#include <utility>

namespace quintle {

PopulRFLP::PopulRFLP() {
    dataType = RFLP;
    PopGenetics::initialize();
    initialize_RFLP();
}

PopulRFLP::PopulRFLP(Population const& data) : PopulRFLP() { Population::operator=(data); }

PopulRFLP::PopulRFLP(PopulRFLP const& other) : PopulRFLP() { *this = other; }

PopulRFLP::~PopulRFLP() = default;

PopulRFLP& PopulRFLP::operator=(Population const& data) {
    Population::operator=(data);
    return *this;
}

PopulRFLP& PopulRFLP::operator=(PopulRFLP const& other) {
    if (this == &other) return *this;
    PopGenetics::operator=(other);
    piPerSite = other.piPerSite;
    piPerSiteSd = other.piPerSiteSd;
    deletionWeight = other.deletionWeight;
    numValidSites = other.numValidSites;
    numIndels = other.numIndels;
    numIndelSites = other.numIndelSites;
    numSubstitutionSites = other.numSubstitutionSites;
    numComparedSites = other.numComparedSites;
    numDifferences = other.numDifferences;
    pairDistance = other.pairDistance;
    pairDistanceVar = other.pairDistanceVar;
    distanceMethod = other.distanceMethod;
    pairDistanceFn = other.pairDistanceFn;
    // Copies are complete before anything is replaced.
    try {
        std::vector<int> substitutions(other.substitutionAtSite);
        std::vector<int> indels(other.indelAtSite);
        substitutionAtSite = std::move(substitutions);
        indelAtSite = std::move(indels);
    } catch (std::bad_alloc const&) {
        arrayMemoryFailure("PopulRFLP::operator=(const PopulRFLP& P)");
    }
    return *this;
}

void PopulRFLP::initialize_RFLP() {
    piPerSite = piPerSiteSd = 0.0;
    deletionWeight = 1.0;
    numValidSites = 0;
    numIndels = numIndelSites = numSubstitutionSites = 0;
    substitutionAtSite.clear();
    indelAtSite.clear();
    numComparedSites = numDifferences = 0;
    pairDistance = pairDistanceVar = 0.0;
    distanceMethod = 0;
    pairDistanceFn = nullptr;
    meanPairwiseDiff = 0.0;
}

}  // namespace quintle
