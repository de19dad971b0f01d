#pragma once

// The simulated replicates of a DNA sample behind the P values of Tajima's D
// and Fu's Fs.

#include <string>

#include "data/Haplo_DB.h"
#include "datatypes/PopulDNA.h"
#include "popstats/mutations.h"

namespace quintle {

class settings;

// One simulated replicate of an observed DNA sample at a time. The sample
// object and its haplotype list are reused from replicate to replicate; each
// replicate starts from the same state a freshly built sample would have.
class DnaReplicate {
public:
    DnaReplicate() = default;
    DnaReplicate(DnaReplicate const&) = delete;
    DnaReplicate& operator=(DnaReplicate const&) = delete;

    // Draws a genealogy of the observed sample's size in its tree with
    // mutations at rate mu on its usable sites, and reads and analyses it:
    // site census, pairwise-difference matrix and molecular diversity.
    // Only the sites that mutations hit are read; the others, one base in
    // every sequence, are counted as omitted identical sites. The draws and
    // every result are those of simulate_full.
    PopulDNA& simulate(PopulDNA& observed, double mu, double deletionWeight, settings& s);
    // The same with a full sequence for every node of the tree and every
    // haplotype read; what simulate falls back on when omitted sites would
    // not read as identical ones.
    PopulDNA& simulate_full(PopulDNA& observed, double mu, double deletionWeight, settings& s);

private:
    void reset();
    bool can_omit_identical_sites(int nsites) const;
    void read_hit_sites(TTree& tree);
    void analyse(double sampleSize, double deletionWeight, settings& s);

    PopulDNA sample_;
    Haplo_DB list_;
    HitSiteStates states_;
    std::string text_;  // one haplotype's text
};

}  // namespace quintle
