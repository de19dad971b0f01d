#pragma once

// One simulated replicate of an observed DNA sample at a time, for the
// P values of Tajima's D and Fu's Fs: a coalescent genealogy of the sample's
// size with mutations on its usable sites, read and analysed as a sample.

#include <string>

#include "data/Haplo_DB.h"
#include "datatypes/PopulDNA.h"
#include "datatypes/dna_replicate_statistics.h"
#include "popstats/hit_site_alignment.h"
#include "popstats/mutations.h"

namespace quintle {

class settings;

// The sample object, its haplotype list and every buffer are reused from
// replicate to replicate; each replicate starts from the state a freshly
// built sample would have. The time each replicate logs runs from the
// previous replicate's log line (the first one's from construction): one
// clock reading per replicate.
class DnaReplicate {
public:
    DnaReplicate() { sample_.replicateLaps = &laps_; }
    DnaReplicate(DnaReplicate const&) = delete;
    DnaReplicate& operator=(DnaReplicate const&) = delete;

    // Draws a genealogy of the observed sample's size in its tree with
    // mutations at rate mu on its usable sites, and gives the replicate's
    // site census (numSubstitutionSites and the other counters), its
    // meanPairwiseDiff (with deletionWeight and the settings' transition and
    // transversion weights), its number of haplotypes and its sample size.
    // Where the sites no mutation hit can be left out, these come straight
    // from the hit sites, without haplotype list or distance matrix
    // (distMat stays empty), and from the genealogy itself when each
    // mutation hit a site of its own; otherwise this is simulate_full. The
    // draws, the log lines and every number are those of simulate_full.
    PopulDNA& simulate(PopulDNA& observed, double mu, double deletionWeight, settings& s);
    // The same with a full sequence for every node of the tree, every
    // haplotype read into the sample and its distance matrix computed.
    PopulDNA& simulate_full(PopulDNA& observed, double mu, double deletionWeight, settings& s);

private:
    void reset();
    // The replicate is read as data of the observed sample's type and
    // separator.
    void take_context(PopulDNA const& observed);
    bool can_omit_identical_sites(int nsites) const;
    void analyse(double sampleSize, double deletionWeight, settings& s);
    DnaReplicateSettings statistics_settings(double deletionWeight, settings const& s) const;
    void start_statistics(int rows, double total, long omitted, double sampleSize, DnaReplicateSettings& in);
    template <class Statistics>
    DnaReplicateStatistics timed_statistics(Statistics&& statistics);
    void take_statistics(DnaReplicateStatistics const& r);

    LapClock laps_;
    PopulDNA sample_;
    Haplo_DB list_;
    HitSiteStates states_;
    CompactAlignment alignment_;
    DnaReplicateWork work_;
};

}  // namespace quintle
