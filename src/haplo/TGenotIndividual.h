#pragma once

// One diploid individual of the phasing sampler: its two gametes in the
// current phase and the bookkeeping of its heterozygous sites, of the local
// loci around them and of the windows its updates evaluate. The class-wide
// sampler's settings come with each call (PhasingParameters).

#include <cstdint>
#include <ostream>
#include <vector>

#include "core/MY_TArrayAsVector.h"
#include "haplo/PhasingParameters.h"
#include "haplo/TGamete.h"

namespace quintle {

class TAlleleDB;
class TGenotSample;

// A window of consecutive local positions around one heterozygous site:
// first position, number of positions, heterozygous sites in it, and the
// support of its last evaluation.
struct VoskWindow {
    int start = -1;
    int length = -1;
    int hetCount = 0;
    double support = 0.0;
};

class TGenotIndividual {
public:
    // --- the individual -----------------------------------------------------
    TGamete gamete1;
    TGamete gamete2;
    int count = 0;  // samples in which this phase was drawn
    bool ambiguous = true;
    // Per heterozygous site (in locus order): its local position.
    std::vector<int> hetPositions;
    // Per local position: its polymorphic locus.
    std::vector<int> localList;
    int localCount = 0;
    // Per heterozygous site: the two windows of its updates.
    std::vector<VoskWindow> window1;
    std::vector<VoskWindow> window2;
    std::vector<int> visitingOrder;  // heterozygous site numbers
    int hetCount = 0;
    // Per local position (per locus with a negative influence zone): 1 at
    // heterozygous sites.
    std::vector<char> hetFlags;
    bool hasMissing = false;

    TGenotIndividual() = default;
    // Copies the phase and what describes it (count, gametes, flags,
    // heterozygous positions, local list); not the windows, the visiting
    // order or the heterozygous flags. The copy compares its own gametes.
    TGenotIndividual(TGenotIndividual const& other);
    TGenotIndividual& operator=(TGenotIndividual const& other);
    TGenotIndividual(TGenotIndividual&&) noexcept = default;
    TGenotIndividual& operator=(TGenotIndividual&&) noexcept = default;
    ~TGenotIndividual() = default;

    // Sets TGamete's numLoci to n and gives every per-locus array n fresh
    // entries; microsatellite data also get allele sizes.
    void allocateLoci(int const& n, bool microsat);
    // Heterozygous sites, local list and flags for influence zone `zone`;
    // true (ambiguous) with at least two heterozygous sites.
    bool checkIfAmbiguousAndFillArrays(int zone);
    // A run's site weights: n copies of w[0..n-1].
    static void createAndFillSiteWeight(std::vector<double>& weights, double const* w, int const& n);

    // The codes comparisons read: the allele sizes for microsatellite data,
    // else the allele positions.
    int const* compared1() const { return gamete1.compared(); }
    int const* compared2() const { return gamete2.compared(); }
    // Makes this individual number `index` of the sample, which from now on
    // hears of every exchange (it keeps copies of the gametes for counting).
    void bindSample(TGenotSample* sample, int index);
    // Exchanges the two gametes' alleles (and sizes) at polymorphic locus
    // k, or at every locus from k to the last.
    void exchangeAt(int k);
    void exchangeFrom(int k);

    // The same phase: over the loci where this one knows both alleles,
    // equal gametes in one orientation or the other.
    bool operator==(TGenotIndividual const& other) const;
    // Minus the number of loci where the two genotypes differ, when some do;
    // else the number of switches between the two phases.
    int operator-(TGenotIndividual const& other) const;
    // The count, a tab, gamete 1's alleles at the polymorphic loci of the
    // n loci, "\n\t", gamete 2's, "\n"; a missing allele as `missing`.
    void writePhase(std::ostream& os, TAlleleDB& db, int n, bool const* polymorphic, char missing = '?') const;

    // One update of this individual, number i of the sample: every
    // heterozygous site in random order redrawn from its window's counts;
    // the second form proposes exchanging the gametes' tails instead once a
    // site's windows exist.
    void buildLocalGenotype_Zorvel_simple_around_het_loci(TGenotSample* sample, int const& i);
    void buildLocalGenotype_Zorvel_simple_around_het_loci_with_rec_step(TGenotSample* sample, int const& i);

private:
    TGenotSample* sample_ = nullptr;
    int index_ = -1;
};

// Lists of sampled phases are sorted by descending count.
template <>
struct ArrayOrder<TGenotIndividual> {
    static bool before(TGenotIndividual const& a, TGenotIndividual const& b) { return a.count > b.count; }
};

// The same phase test on allele positions: gametes (a, b) against (c, d),
// n loci, over the loci where a and b are both known.
bool same_phase(int const* a, int const* b, int const* c, int const* d, int n);

// Shuffles a[0..n-1]: from the last entry down, each exchanged with a
// position drawn up to it.
void permute(int* a, int n);
// Draws one phase of a list of distinct phases by count / total: the first
// whose running sum reaches the draw, else the first; null for an empty
// list.
TGenotIndividual const* getRandomPhase(MY_TArrayAsVector<TGenotIndividual>& list, int const& total);

}  // namespace quintle
