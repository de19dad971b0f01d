#pragma once

// One simulated replicate of an observed RFLP sample at a time, for the
// P values of Tajima's D and Fu's Fs: a coalescent genealogy of the sample's
// size with two-state mutations (no rate heterogeneity) on its usable
// sites, read and analysed as an RFLP sample.

#include "data/Haplo_DB.h"
#include "datatypes/PopulRFLP.h"
#include "popstats/hit_site_alignment.h"
#include "popstats/mutations.h"

namespace quintle {

class settings;
struct RflpReplicateColumns;

// The sample object, its haplotype list and every buffer are reused from
// replicate to replicate; each replicate starts from the state a freshly
// built sample would have.
class RflpReplicate {
public:
    RflpReplicate() = default;
    RflpReplicate(RflpReplicate const&) = delete;
    RflpReplicate& operator=(RflpReplicate const&) = delete;

    // Draws a genealogy of the observed sample's size in its tree with
    // mutations at rate mu on its usable sites, and gives the replicate's
    // site counts (numSubstitutionSites and the others), its
    // meanPairwiseDiff with s.d., its gene diversity over sites, its number
    // of haplotypes and its sample size. Where the sites are read as plain
    // '0' and '1' these come straight from the sites the mutations hit (an
    // unhit site is '0' everywhere), without haplotype list or distance
    // matrix (distMat stays empty); otherwise this is simulate_full. The
    // draws, the reports and every number are those of simulate_full.
    PopulRFLP& simulate(PopulRFLP& observed, double mu, settings& s);
    // The same with a full sequence for every node of the tree, every
    // haplotype read into the sample and its distance matrix computed.
    PopulRFLP& simulate_full(PopulRFLP& observed, double mu, settings& s);

private:
    void reset();
    // The replicate is read as data of the observed sample's type and
    // separator.
    void take_context(PopulRFLP const& observed);
    bool can_read_hit_sites(int nsites, double allowedMissing) const;
    void analyse(double sampleSize, settings& s);
    void take_statistics(RflpReplicateColumns const& c, double sampleSize, int nsites, settings& s);

    PopulRFLP sample_;
    Haplo_DB list_;
    HitSiteStates states_;
    CompactAlignment alignment_;
};

}  // namespace quintle
