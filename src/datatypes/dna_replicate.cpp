#include "datatypes/dna_replicate.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <ctime>
#include <ostream>

#include "core/Errors.h"
#include "core/public.h"
#include "core/timing.h"
#include "popstats/TNode.h"
#include "run/ProfileSettings.h"
#include "run/settings.h"

namespace quintle {

namespace {

// "\t\t\tdone ! (" ms " ms)\n" to the log in one insertion: two thousand
// of these lines per sample.
void write_done_line(std::int64_t ms) {
    static constexpr char kHead[] = "\t\t\tdone ! (";
    static constexpr char kTail[] = " ms)\n";
    char line[sizeof kHead + sizeof kTail + 24];
    char* p = std::copy(kHead, kHead + sizeof kHead - 1, line);
    p = std::to_chars(p, line + sizeof line, ms).ptr;
    p = std::copy(kTail, kTail + sizeof kTail - 1, p);
    *p = '\0';
    *_AOS_ << line;
}

}  // namespace

void DnaReplicate::reset() {
    // Everything a freshly built sample starts with; the entries point into
    // the list's definitions, so they go first.
    sample_.initialize_DNA();
    list_.haplotypes.Flush();
}

PopulDNA& DnaReplicate::simulate(PopulDNA& observed, double mu, double deletionWeight, settings& s) {
    const int nsites = observed.numUsableSites;
    if (!can_omit_identical_sites(nsites) || static_cast<int>(observed.SampleSize) < 1)
        return simulate_full(observed, mu, deletionWeight, s);
    observed.fast_build_tree();
    observed.numSimMutations =
        states_.sprinkle(observed.tree, mu, nsites, DNA_MUT, observed.gammaA, 1.0, 1.0, 0.33);
    if (!read_hit_site_alignment(observed.tree, states_, DNA_MUT, alignment_)) {
        // Nothing to read: what an empty replicate gives.
        reset();
        sample_.simulatedSample = true;
        analyse(observed.SampleSize, deletionWeight, s);
        return sample_;
    }
    take_statistics(observed.SampleSize, deletionWeight, s);
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

// What analyse leaves in the sample, from the rows of the replicate: the
// checks of check_data on the sample size, the site census with a fresh
// sample's weights, then the two log lines of the distance computation and
// the molecular diversity under the test's weights.
void DnaReplicate::take_statistics(double sampleSize, double deletionWeight, settings& s) {
    // A sample left by the full form (haplotype list, matrix) starts afresh;
    // the result members that the tests' calls write start as in a fresh one.
    if (sample_.haplotypes.count != 0 || sample_.distMat) reset();
    PopulDNA& p = sample_;
    p.tajimaD = 0.0;
    p.tajimaP = -1.0;
    p.thetaS = p.thetaSsd = -1.0;
    p.thetaPi = p.thetaPiSd = -1.0;
    p.simulatedSample = true;
    p.NbHaplotypeEntries = alignment_.rows();
    p.omittedIdenticalSites = static_cast<int>(alignment_.omittedSites);

    double total = 0.0;
    for (int count : alignment_.counts) total += count;
    p.SampleSize = sampleSize;
    if (p.SampleSize > 0) {
        if (p.SampleSize != total) {
            p.SampleSize = total;
            E.error(WARNING, "PopulDNA::check_data()", Msg::m110_haplotype_sum_not_specified);
        }
    } else {
        p.SampleSize = total;
    }
    p.allowedMissingLevel = s.AllowedLevelOfMissingData;
    p.transitionWeight = s.TransitionWeight;
    p.transversionWeight = s.TranversionWeight;
    p.deletionWeight = deletionWeight;

    DnaReplicateSettings in;
    in.missing = p.profile.MissingData;
    in.separator = ProfileSettings::LocusSeparator;
    in.allowedMissingLevel = p.allowedMissingLevel;
    in.sampleSize = p.SampleSize;
    in.censusWeights = DistanceWeights{};  // those of a fresh sample: 1, 1, 1
    in.distanceWeights = DistanceWeights{deletionWeight, s.TransitionWeight, s.TranversionWeight};

    const std::clock_t start = get_sys_clock();
    *_AOS_ << "\t\t\tBeginning distance computations ...\n";
    DnaReplicateStatistics const r = dna_replicate_statistics(alignment_, in, work_);
    write_done_line(elapsed_ms_since(start));

    DnaSiteCensus const& c = r.census;
    p.numTransitions = c.transitions;
    p.numTransversions = c.transversions;
    p.numSubstitutions = c.substitutions;
    p.numIndels = c.indels;
    p.numTransitionSites = c.transitionSites;
    p.numTransversionSites = c.transversionSites;
    p.numSubstitutionSites = c.substitutionSites;
    p.numIndelSites = c.indelSites;
    p.numValidSites = c.validSites;
    p.numPolymorphicSites = c.polymorphicSites;
    p.numUsableSites = c.usableSites;
    p.meanPairwiseDiff = r.diversity.meanPairwiseDiff;
    p.meanPairwiseDiffSd = r.diversity.meanPairwiseDiffSd;
    p.piPerSite = r.diversity.piPerSite;
    p.piPerSiteSd = r.diversity.piPerSiteSd;
}

}  // namespace quintle
