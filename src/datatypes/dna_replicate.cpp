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

void DnaReplicate::take_context(PopulDNA const& observed) {
    sample_.dataType = observed.dataType;
    sample_.locusSeparator = observed.locusSeparator;
}

PopulDNA& DnaReplicate::simulate(PopulDNA& observed, double mu, double deletionWeight, settings& s) {
    take_context(observed);
    const int nsites = observed.numUsableSites;
    if (!can_omit_identical_sites(nsites) || static_cast<int>(observed.SampleSize) < 1)
        return simulate_full(observed, mu, deletionWeight, s);
    observed.fast_build_tree();
    observed.numSimMutations =
        states_.sprinkle(observed.tree, mu, nsites, DNA_MUT, observed.gammaA, 1.0, 1.0, 0.33);
    // A sample left by the full form (haplotype list, matrix) starts afresh.
    if (sample_.haplotypes.count != 0 || sample_.distMat) reset();
    DnaReplicateSettings in = statistics_settings(deletionWeight, s);
    const int copies = states_.num_leaves();
    if (states_.single_hits() && single_hit_statistics_apply(states_.mutations(), copies, in)) {
        const int width = states_.mutations().empty() ? 1 : static_cast<int>(states_.mutations().size());
        start_statistics(states_.single_hit_sequences(), copies, nsites - width, observed.SampleSize, in);
        take_statistics(
            timed_statistics([&] { return single_hit_statistics(states_.mutations(), copies, nsites, in); }));
        return sample_;
    }
    if (!read_hit_site_alignment(observed.tree, states_, DNA_MUT, alignment_)) {
        // Nothing to read: what an empty replicate gives.
        reset();
        sample_.simulatedSample = true;
        analyse(observed.SampleSize, deletionWeight, s);
        return sample_;
    }
    double total = 0.0;
    for (int count : alignment_.counts) total += count;
    start_statistics(alignment_.rows(), total, alignment_.omittedSites, observed.SampleSize, in);
    take_statistics(timed_statistics([&] { return dna_replicate_statistics(alignment_, in, work_); }));
    return sample_;
}

PopulDNA& DnaReplicate::simulate_full(PopulDNA& observed, double mu, double deletionWeight, settings& s) {
    take_context(observed);
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
           !is_base(sample_.locusSeparator) && !(profile.GenotypicData != 0 && profile.GameticPhase == 0);
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

// The settings of the replicate's statistics: those of a fresh sample for
// the census, the test's weights for the differences.
DnaReplicateSettings DnaReplicate::statistics_settings(double deletionWeight, settings const& s) const {
    DnaReplicateSettings in;
    in.missing = sample_.profile.MissingData;
    in.separator = sample_.locusSeparator;
    in.allowedMissingLevel = s.AllowedLevelOfMissingData;
    in.censusWeights = DistanceWeights{};  // 1, 1, 1
    in.distanceWeights = DistanceWeights{deletionWeight, s.TransitionWeight, s.TranversionWeight};
    return in;
}

// What analyse leaves in the sample before its distance computation, for a
// replicate of `rows` distinct sequences of `total` copies: the result
// members that the tests' calls write start as in a fresh sample, then the
// checks of check_data on the sample size (in.sampleSize gets the one the
// statistics use) and the weights.
void DnaReplicate::start_statistics(int rows, double total, long omitted, double sampleSize,
                                    DnaReplicateSettings& in) {
    PopulDNA& p = sample_;
    p.tajimaD = 0.0;
    p.tajimaP = -1.0;
    p.thetaS = p.thetaSsd = -1.0;
    p.thetaPi = p.thetaPiSd = -1.0;
    p.simulatedSample = true;
    p.NbHaplotypeEntries = rows;
    p.omittedIdenticalSites = static_cast<int>(omitted);
    p.SampleSize = sampleSize;
    if (p.SampleSize > 0) {
        if (p.SampleSize != total) {
            p.SampleSize = total;
            E.error(WARNING, "PopulDNA::check_data()", Msg::m110_haplotype_sum_not_specified);
        }
    } else {
        p.SampleSize = total;
    }
    p.allowedMissingLevel = in.allowedMissingLevel;
    p.deletionWeight = in.distanceWeights.deletion;
    p.transitionWeight = in.distanceWeights.transition;
    p.transversionWeight = in.distanceWeights.transversion;
    in.sampleSize = p.SampleSize;
}

// The two log lines of the distance computation around the statistics.
template <class Statistics>
DnaReplicateStatistics DnaReplicate::timed_statistics(Statistics&& statistics) {
    *_AOS_ << "\t\t\tBeginning distance computations ...\n";
    DnaReplicateStatistics const r = statistics();
    write_done_line(laps_.lap_ms());
    return r;
}

// What analyse leaves in the sample: the site census and the molecular
// diversity.
void DnaReplicate::take_statistics(DnaReplicateStatistics const& r) {
    PopulDNA& p = sample_;
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
