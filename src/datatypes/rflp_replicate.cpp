#include "datatypes/rflp_replicate.h"

#include <cstdint>

#include "core/Errors.h"
#include "datatypes/dna_replicate_statistics.h"
#include "popstats/TNode.h"
#include "run/ProfileSettings.h"
#include "run/settings.h"

namespace quintle {

namespace {

// The arguments of every simulation call of the RFLP tests: two-state
// sites, no gamma rates, rate 1, one class of sites, ts unused.
constexpr double kGammaA = 0.0;
constexpr double kRate = 1.0;
constexpr double kClassShare = 1.0;
constexpr double kTransitions = 0.33;

bool is_state(char c) { return c == '0' || c == '1'; }

}  // namespace

void RflpReplicate::reset() {
    // Everything a freshly built sample starts with; the entries point into
    // the list's definitions, so they go first.
    sample_.initialize();
    sample_.initialize_RFLP();
    list_.haplotypes.Flush();
}

PopulRFLP& RflpReplicate::simulate(PopulRFLP& observed, double mu, settings& s) {
    const int nsites = observed.numUsableSites;
    if (!can_read_hit_sites(nsites, s.AllowedLevelOfMissingData) || static_cast<int>(observed.SampleSize) < 1)
        return simulate_full(observed, mu, s);
    observed.fast_build_tree();
    observed.numSimMutations =
        states_.sprinkle(observed.tree, mu, nsites, TWO_STATE_MUT, kGammaA, kRate, kClassShare, kTransitions);
    if (!read_hit_site_alignment(observed.tree, states_, TWO_STATE_MUT, alignment_)) {
        // Nothing to read: what an empty replicate gives.
        reset();
        sample_.simulatedSample = true;
        analyse(observed.SampleSize, s);
        return sample_;
    }
    take_statistics(observed.SampleSize, nsites, s);
    return sample_;
}

PopulRFLP& RflpReplicate::simulate_full(PopulRFLP& observed, double mu, settings& s) {
    observed.simulate_sample(mu, observed.numUsableSites, TWO_STATE_MUT, kGammaA, kRate, kClassShare, kTransitions);
    reset();
    sample_.read_simulated_sample(observed.tree, list_, TWO_STATE_MUT);
    analyse(observed.SampleSize, s);
    return sample_;
}

// Read at its hit sites, every site of a replicate is usable and holds '0'
// or '1' in every copy: true when neither is the missing-data character or
// the locus separator, no site is barred by a negative allowed level of
// missing data, the data are haplotypic and the hit table fits. Anything
// else (reported as it must be) takes the full form.
bool RflpReplicate::can_read_hit_sites(int nsites, double allowedMissing) const {
    MY_TArrayAsVector<long> const& hits = TNode::hits;
    ProfileSettings const& profile = sample_.profile;
    return nsites >= 1 && (hits.count == 0 || hits.count == nsites) && !is_state(profile.MissingData) &&
           !is_state(ProfileSettings::LocusSeparator) && !(0.0 > allowedMissing) &&
           !(profile.GenotypicData != 0 && profile.GameticPhase == 0);
}

void RflpReplicate::analyse(double sampleSize, settings& s) {
    sample_.SampleSize = sampleSize;
    sample_.check_data();
    sample_.allowedMissingLevel = s.AllowedLevelOfMissingData;
    sample_.evaluate_polymorphism(s);
    sample_.compute_distance_matrix(nullptr, &s, 0);
    sample_.compute_molecular_diversity(s);
}

// What analyse leaves in the sample, from the columns of the replicate:
// every site usable, a site with both states a substitution site, and the
// sum over pairs of copies of their differing sites, which the distance
// matrix of numbers of differences adds up pair by pair (all integers, so
// the same double).
void RflpReplicate::take_statistics(double sampleSize, int nsites, settings& s) {
    // A sample left by the full form (haplotype list, matrix) starts afresh;
    // the result members that the tests' calls write start as in a fresh one.
    if (sample_.haplotypes.count != 0 || sample_.distMat) reset();
    PopulRFLP& p = sample_;
    p.tajimaD = 0.0;
    p.tajimaP = -1.0;
    p.thetaS = p.thetaSsd = -1.0;
    p.thetaPi = p.thetaPiSd = -1.0;
    p.simulatedSample = true;
    p.NbHaplotypeEntries = alignment_.rows();

    std::int64_t total = 0;
    for (int count : alignment_.counts) total += count;
    p.SampleSize = sampleSize;
    if (p.SampleSize > 0) {
        if (p.SampleSize != static_cast<double>(total)) {
            p.SampleSize = static_cast<double>(total);
            E.error(WARNING, "PopulRFLP::check_data()", Msg::m110_haplotype_sum_not_specified);
        }
    } else {
        p.SampleSize = static_cast<double>(total);
    }
    p.allowedMissingLevel = s.AllowedLevelOfMissingData;

    // Copies carrying '1' in each hit column.
    int segregating = 0;
    std::int64_t pairsApart = 0;
    const int rows = alignment_.rows();
    for (int site = 0; site < alignment_.width; ++site) {
        std::int64_t ones = 0;
        for (int r = 0; r < rows; ++r)
            if (alignment_.at(r, site) == '1') ones += alignment_.counts[static_cast<std::size_t>(r)];
        if (ones > 0 && ones < total) {
            ++segregating;
            pairsApart += ones * (total - ones);
        }
    }
    p.numValidSites = nsites;
    p.numUsableSites = nsites;
    p.numSubstitutionSites = segregating;
    p.numPolymorphicSites = segregating;
    p.numIndelSites = p.numIndels = 0;

    const MolecularDiversity d = molecular_diversity(static_cast<double>(pairsApart), p.SampleSize, nsites);
    p.meanPairwiseDiff = d.meanPairwiseDiff;
    p.meanPairwiseDiffSd = d.meanPairwiseDiffSd;
    p.piPerSite = d.piPerSite;
    p.piPerSiteSd = d.piPerSiteSd;
}

}  // namespace quintle
