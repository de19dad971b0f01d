// Simulated replicates of a DNA sample: a genealogy of the sample's size
// with mutations, read into a sample object that is analysed as an observed
// sample would be.

#include "datatypes/dna_neutrality.h"

#include "core/Errors.h"
#include "popstats/TNode.h"
#include "run/ProfileSettings.h"
#include "run/settings.h"

namespace quintle {

// --- simulation support -------------------------------------------------------

void DnaReplicate::reset() {
    // Everything a freshly built sample starts with; the entries point into
    // the list's definitions, so they go first.
    sample_.initialize_DNA();
    list_.haplotypes.Flush();
}

PopulDNA& DnaReplicate::simulate(PopulDNA& observed, double mu, double deletionWeight, settings& s) {
    const int nsites = observed.numUsableSites;
    if (!can_omit_identical_sites(nsites)) return simulate_full(observed, mu, deletionWeight, s);
    observed.fast_build_tree();
    observed.numSimMutations =
        states_.sprinkle(observed.tree, mu, nsites, DNA_MUT, observed.gammaA, 1.0, 1.0, 0.33);
    reset();
    read_hit_sites(observed.tree);
    analyse(observed.SampleSize, deletionWeight, s);
    return sample_;
}

PopulDNA& DnaReplicate::simulate_full(PopulDNA& observed, double mu, double deletionWeight, settings& s) {
    observed.simulate_sample(mu, observed.numUsableSites, DNA_MUT, observed.gammaA, 1.0, 1.0, 0.33);
    reset();
    sample_.read_simulated_sample(observed.tree, list_, DNA_MUT);
    analyse(observed.SampleSize, deletionWeight, s);
    return sample_;
}

// A site no mutation hit holds the root's base (A, C, G or T) in every
// sequence. Left out of the texts it must still read as a valid site with
// that base everywhere: neither missing data nor a locus separator, in a
// sample compared site by site. A hit table left for another number of
// sites is handled (and reported) by the full form.
bool DnaReplicate::can_omit_identical_sites(int nsites) const {
    auto is_base = [](char c) { return c == 'A' || c == 'C' || c == 'G' || c == 'T'; };
    MY_TArrayAsVector<long> const& hits = TNode::hits;
    ProfileSettings const& profile = sample_.profile;
    return nsites >= 1 && (hits.count == 0 || hits.count == nsites) && !is_base(profile.MissingData) &&
           !is_base(ProfileSettings::LocusSeparator) && !(profile.GenotypicData != 0 && profile.GameticPhase == 0);
}

// read_simulated_sample at the hit sites: the same haplotypes with the same
// ids and counts, each text holding the hit sites only (site 0 when no site
// was hit, so that no text is empty).
void DnaReplicate::read_hit_sites(TTree& tree) {
    static constexpr char kBases[] = {'A', 'G', 'C', 'T'};
    auto base = [](int state) { return state >= 0 && state <= 3 ? kBases[state] : 'A'; };

    sample_.simulatedSample = true;
    const int n = tree.num_genes;
    if (n < 1 || tree.node_capacity() < n || states_.num_leaves() < n) return;
    tree.compute_hapl_freq(states_);
    sample_.NbHaplotypeEntries = 0;
    sample_.SampleSize = n;

    const auto width = static_cast<int>(states_.hit_sites().size());
    sample_.omittedIdenticalSites = states_.num_sites() - (width > 0 ? width : 1);
    long total = 0;
    for (int i = 0; i < n; ++i) {
        TNode const& leaf = tree.nodes[i];
        if (!leaf.is_distinct) continue;
        if (width > 0) {
            int const* row = states_.leaf_states(i);
            text_.resize(static_cast<std::size_t>(width));
            for (int k = 0; k < width; ++k) text_[static_cast<std::size_t>(k)] = base(row[k]);
        } else {
            text_.assign(1, base(states_.root_states()[0]));
        }
        my_string id;
        id = i + 1;
        auto* def = new HaploDef(id);
        def->count = leaf.hapl_count;
        def->data = text_.c_str();
        list_.haplotypes.Add(def);
        sample_.haplotypes.Add(new PHaploDef{def, leaf.hapl_count});
        ++sample_.NbHaplotypeEntries;
        total += leaf.hapl_count;
    }
    if (static_cast<double>(total) != sample_.SampleSize) {
        E.error(ERROR, "PopGenetics::read_simulated sample()", 147);
    }
}

void DnaReplicate::analyse(double sampleSize, double deletionWeight, settings& s) {
    sample_.SampleSize = sampleSize;
    sample_.check_data();
    sample_.allowedMissingLevel = s.AllowedLevelOfMissingData;
    sample_.evaluate_polymorphism(s);
    sample_.transitionWeight = s.TransitionWeight;
    sample_.transversionWeight = s.TranversionWeight;
    sample_.deletionWeight = deletionWeight;
    sample_.compute_distance_matrix(nullptr, &s, 0);
    sample_.compute_molecular_diversity(s);
}

}  // namespace quintle
