#include "datatypes/PopulDNA.h"

#include <new>
#include <utility>

namespace quintle {

namespace {
constexpr char kAmbiguityCodes[] = {'R', 'Y', 'M', 'K', 'S', 'W', 'H', 'B', 'V', 'D', 'N'};
}

PopulDNA::PopulDNA() { initialize_DNA(); }

PopulDNA::PopulDNA(Population const& data) : PopulDNA() { Population::operator=(data); }

PopulDNA::PopulDNA(PopulDNA const& other) : PopulDNA() { *this = other; }

PopulDNA::~PopulDNA() = default;

PopulDNA& PopulDNA::operator=(Population const& data) {
    Population::operator=(data);
    return *this;
}

PopulDNA& PopulDNA::operator=(PopulDNA const& other) {
    if (this == &other) return *this;
    PopGenetics::operator=(other);
    piPerSite = other.piPerSite;
    piPerSiteSd = other.piPerSiteSd;
    deletionWeight = other.deletionWeight;
    transitionWeight = other.transitionWeight;
    transversionWeight = other.transversionWeight;
    numTransitions = other.numTransitions;
    numTransversions = other.numTransversions;
    numSubstitutions = other.numSubstitutions;
    numIndels = other.numIndels;
    numTransitionSites = other.numTransitionSites;
    numTransversionSites = other.numTransversionSites;
    numSubstitutionSites = other.numSubstitutionSites;
    numIndelSites = other.numIndelSites;
    numValidSites = other.numValidSites;
    omittedIdenticalSites = other.omittedIdenticalSites;
    pairNuclFreq = other.pairNuclFreq;
    nuclFreq = other.nuclFreq;
    pairDistance = other.pairDistance;
    pairDistanceVar = other.pairDistanceVar;
    gcContent = other.gcContent;
    gammaA = other.gammaA;
    pairDistanceFn = other.pairDistanceFn;
    distanceMethod = other.distanceMethod;
    // Copies are complete before anything is replaced.
    try {
        std::vector<int> transitions(other.transitionAtSite);
        std::vector<int> transversions(other.transversionAtSite);
        std::vector<int> indels(other.indelAtSite);
        std::vector<int> ambiguous(other.ambiguousAtSite);
        std::vector<int> polymorphic(other.polymorphicLocus);
        transitionAtSite = std::move(transitions);
        transversionAtSite = std::move(transversions);
        indelAtSite = std::move(indels);
        ambiguousAtSite = std::move(ambiguous);
        polymorphicLocus = std::move(polymorphic);
    } catch (std::bad_alloc const&) {
        arrayMemoryFailure("PopulDNA::operator=(const PopulDNA& P)");
    }
    return *this;
}

void PopulDNA::initialize_DNA() {
    PopGenetics::initialize();
    piPerSite = piPerSiteSd = 0.0;
    deletionWeight = transitionWeight = transversionWeight = 1.0;
    numTransitions = numTransversions = numSubstitutions = numIndels = 0;
    numTransitionSites = numTransversionSites = numSubstitutionSites = numIndelSites = 0;
    numValidSites = 0;
    omittedIdenticalSites = 0;
    ambiguityCodes.count = 0;
    ambiguityCodes.auxCount = 0;
    for (char code : kAmbiguityCodes) ambiguityCodes.Add(code);
    // Both tables start cleared: a Tajima and Nei pair count is summed into them.
    for (auto& row : pairNuclFreq) row.fill(0.0);
    nuclFreq.fill(0.0);
    pairDistance = pairDistanceVar = 0.0;
    gcContent = 0.0;
    gammaA = 0.0;
    pairDistanceFn = nullptr;
    distanceMethod = 0;
    transitionAtSite.clear();
    transversionAtSite.clear();
    indelAtSite.clear();
    ambiguousAtSite.clear();
    meanPairwiseDiff = 0.0;
    meanPairwiseDiffSd = 0.0;
}

// The analysis driver is in sequence_driver.cpp (shared with RFLP samples);
// the sequence computations are in dna_compare.cpp, dna_distances.cpp and
// dna_diversity.cpp.

}  // namespace quintle
