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

// A replicate read at its hit sites: its distinct sequences, its copies,
// its sites with both states and the sum over pairs of copies of the sites
// at which they differ.
struct RflpReplicateColumns {
    int rows = 0;
    std::int64_t copies = 0;
    int segregating = 0;
    std::int64_t pairsApart = 0;

    // A site carried by `ones` of the copies.
    void add_site(std::int64_t ones) {
        if (ones > 0 && ones < copies) {
            ++segregating;
            pairsApart += ones * (copies - ones);
        }
    }
};

namespace {

RflpReplicateColumns columns_of(CompactAlignment const& a) {
    RflpReplicateColumns c;
    c.rows = a.rows();
    for (int count : a.counts) c.copies += count;
    for (int site = 0; site < a.width; ++site) {
        std::int64_t ones = 0;
        for (int r = 0; r < c.rows; ++r)
            if (a.at(r, site) == '1') ones += a.counts[static_cast<std::size_t>(r)];
        c.add_site(ones);
    }
    return c;
}

// Each mutation hit a site of its own and turned '0' into '1' in the copies
// below its branch.
RflpReplicateColumns columns_of_single_hits(HitSiteStates const& states) {
    RflpReplicateColumns c;
    c.rows = states.single_hit_sequences();
    c.copies = states.num_leaves();
    for (HitSiteStates::Mutation const& m : states.mutations()) c.add_site(m.carriers);
    return c;
}

bool every_hit_from_0_to_1(HitSiteStates const& states) {
    for (HitSiteStates::Mutation const& m : states.mutations())
        if (m.before != 0 || m.after != 1) return false;
    return true;
}

}  // namespace

void RflpReplicate::reset() {
    // Everything a freshly built sample starts with; the entries point into
    // the list's definitions, so they go first.
    sample_.initialize();
    sample_.initialize_RFLP();
    list_.haplotypes.Flush();
}

void RflpReplicate::take_context(PopulRFLP const& observed) {
    sample_.dataType = observed.dataType;
    sample_.locusSeparator = observed.locusSeparator;
}

PopulRFLP& RflpReplicate::simulate(PopulRFLP& observed, double mu, settings& s) {
    take_context(observed);
    const int nsites = observed.numUsableSites;
    if (!can_read_hit_sites(nsites, s.AllowedLevelOfMissingData) || static_cast<int>(observed.SampleSize) < 1)
        return simulate_full(observed, mu, s);
    observed.fast_build_tree();
    observed.numSimMutations =
        states_.sprinkle(observed.tree, mu, nsites, TWO_STATE_MUT, kGammaA, kRate, kClassShare, kTransitions);
    // Every site hit once: the mutations alone give the columns.
    if (states_.single_hits() && every_hit_from_0_to_1(states_)) {
        take_statistics(columns_of_single_hits(states_), observed.SampleSize, nsites, s);
        return sample_;
    }
    if (!read_hit_site_alignment(observed.tree, states_, TWO_STATE_MUT, alignment_)) {
        // Nothing to read: what analyse leaves in an empty replicate, without
        // its reports of an empty list, which would come once per replicate.
        reset();
        sample_.simulatedSample = true;
        sample_.SampleSize = observed.SampleSize;
        sample_.allowedMissingLevel = s.AllowedLevelOfMissingData;
        sample_.deletionWeight = s.DeletionWeight;
        return sample_;
    }
    take_statistics(columns_of(alignment_), observed.SampleSize, nsites, s);
    return sample_;
}

PopulRFLP& RflpReplicate::simulate_full(PopulRFLP& observed, double mu, settings& s) {
    take_context(observed);
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
           !is_state(sample_.locusSeparator) && !(0.0 > allowedMissing) &&
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
void RflpReplicate::take_statistics(RflpReplicateColumns const& c, double sampleSize, int nsites, settings& s) {
    // A sample left by the full form (haplotype list, matrix) starts afresh;
    // the result members that the tests' calls write start as in a fresh one.
    if (sample_.haplotypes.count != 0 || sample_.distMat) reset();
    PopulRFLP& p = sample_;
    p.tajimaD = 0.0;
    p.tajimaP = -1.0;
    p.thetaS = p.thetaSsd = -1.0;
    p.thetaPi = p.thetaPiSd = -1.0;
    p.simulatedSample = true;
    p.NbHaplotypeEntries = c.rows;

    const auto total = static_cast<double>(c.copies);
    p.SampleSize = sampleSize;
    if (p.SampleSize > 0) {
        if (p.SampleSize != total) {
            p.SampleSize = total;
            E.error(WARNING, "PopulRFLP::check_data()", Msg::m110_haplotype_sum_not_specified);
        }
    } else {
        p.SampleSize = total;
    }
    p.allowedMissingLevel = s.AllowedLevelOfMissingData;
    p.numValidSites = nsites;
    p.numUsableSites = nsites;
    p.numSubstitutionSites = c.segregating;
    p.numPolymorphicSites = c.segregating;
    p.numIndelSites = p.numIndels = 0;

    const MolecularDiversity d = molecular_diversity(static_cast<double>(c.pairsApart), p.SampleSize, nsites);
    p.meanPairwiseDiff = d.meanPairwiseDiff;
    p.meanPairwiseDiffSd = d.meanPairwiseDiffSd;
    p.piPerSite = d.piPerSite;
    p.piPerSiteSd = d.piPerSiteSd;
}

}  // namespace quintle
