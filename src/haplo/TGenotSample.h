#pragma once

// The phasing sample of unphased diploid data: every individual's two
// gametes over the polymorphic loci, the chain that samples their phases
// (the Vosk pseudo-Gibbs sampler), the most often sampled phase of each
// individual and the distinct haplotypes of those phases.
//
// The sampler's state lives in `current` (one individual per entry of the
// phenotype table it was built from); the counting operations compare the
// other individuals' gametes with windows of a focal individual's
// sub-haplotypes. For them the sample keeps copies of all gametes: locus by
// locus as codes, and as bit planes (per locus and code, one bit per
// gamete), so that a window costs a few word operations per 64 gametes.
// Both follow every exchange of a current individual.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "core/MY_TArrayAsVector.h"
#include "core/my_string.h"
#include "core/random.h"
#include "haplo/PhasingParameters.h"
#include "haplo/TGamete.h"
#include "haplo/TGenotIndividual.h"
#include "haplo/vosk_counts.h"

namespace quintle {

class TAllele;
class TAlleleDB;
class TPhenDB;
class settings;

class TGenotSample {
public:
    // Valid while the call that built the sample lasts (see releasePhenotypes).
    TPhenDB const* phenotypes = nullptr;
    TAlleleDB* alleleDB = nullptr;  // not owned
    settings* options = nullptr;    // not owned; its stop flag ends the chain
    // Per locus of the allele database: the allele written for it when it
    // is monomorphic (null: the missing-data character), and whether it is
    // polymorphic (kept in the gametes).
    std::vector<TAllele*> referenceAlleles;
    std::unique_ptr<bool[]> polymorphic;
    int numPolymorphic = 0;
    int numLoci = 0;  // loci of the phenotype table
    std::vector<TGenotIndividual> current;
    std::vector<TGenotIndividual> best;
    int numIndividuals = 0;
    vosk::SubHaplCounts counts{};  // of the last counting operation
    double sumPosteriorAlpha = 0.0;
    int numAmbiguous = 0;
    MY_TArrayAsVector<TGamete> estimatedHaplotypes{0, 10};
    char missingChar = '?';
    int missingCode = -1;
    bool anyMissing = false;
    // This run's sampler settings and update counters.
    PhasingParameters phasing;
    PhasingCounters updates;

    // Builds the gametes of every entry of `phenotypes` (exploded: one
    // entry per individual) from the alleles of `db`; microsatellite data
    // keep allele sizes too.
    TGenotSample(TPhenDB const& phenotypes, TAlleleDB* db, settings& s, char missing, bool microsat);
    TGenotSample(TGenotSample const& other);
    TGenotSample& operator=(TGenotSample const& other);
    ~TGenotSample();

    // Flags the polymorphic loci and picks the reference alleles; returns
    // the number of polymorphic loci.
    int constructReferenceHaplotype();

    // The counting operations on one window of local positions of the focal
    // individual f (start, length, through its local list), focal local
    // position L; results in `counts`. The first is for samples with
    // missing data, the second for samples without.
    void computeSubHaplFreqsNoHetMissData(int const& start, int* localList, int const& f, int const& length,
                                          int const& L);
    void computeSubHaplFreqsHetAndHom(int const& start, int* localList, int const& f, int const& length, int const& L);

    // The whole chain, the distribution of the sampled phases and the
    // sampled-phase files.
    void performGibbs();
    // The report into `out` and the best-phase file.
    void writeResults(std::fstream* out);
    // The distinct haplotypes of the best phases.
    void constructEstimatedHaploDB();
    // Every current phase (writePhase).
    void writeSample(std::ostream& os, TAlleleDB& db);

    // --- used by the updates of TGenotIndividual -------------------------------
    // A window, as the sampler sees it: its sub-haplotype counts condensed.
    struct Evaluation {
        double keep = 0.0;   // F(Aa) x F(Bb)
        double swap = 0.0;   // F(Ab) x F(Ba)
        double ratio = 1.0;  // (max + gamma) / (min + gamma)
        double mass = 0.0;   // F(Aa) + F(Ab) + F(Ba) + F(Bb)
        // Taken only where a visit reads it (a square root per window adds
        // up over millions of visits).
        double support() const { return std::sqrt(mass); }
        // The probability of keeping the phase: keep / (swap + keep).
        double keepShare() const { return keep / (swap + keep); }
    };
    // Windows [start, start + length) of local positions of individual f,
    // counted together around focal local position L (the counting
    // operation of the sample's kind: with or without missing data). Each
    // of the n (at most 5) windows must contain L; windows that differ by
    // more than three positions are counted one by one.
    struct WindowRequest {
        int start = 0;
        int length = 0;
    };
    void countWindows(int f, int L, WindowRequest const* windows, int n, vosk::SubHaplCounts* out);
    // The windows of a later visit of individual f (see vosk::VisitWindows):
    // the base and, with v.x >= 0, the extended window now; then any one
    // window [lo, hi] of the visit, as long as no gamete is exchanged in
    // between.
    // (Inline: the bit-plane counts are the hot path, two calls a visit.)
    void countVisit(int f, vosk::VisitWindows const& v, vosk::SubHaplCounts& base, vosk::SubHaplCounts& extended) {
        if (anyMissing || !usePlanes_) return countVisitColumns(f, v, base, extended);
        if (focal_ != f) prepareFocal(f);
        vosk::count_visit(focalView_, v, focalEq_.data(), focalAtL_.data(), visit_.data(), base, extended);
    }
    void countVisitWindow(int f, vosk::VisitWindows const& v, int lo, int hi, vosk::SubHaplCounts& out) {
        if (anyMissing || !usePlanes_) return countWindowColumns(f, v.L, lo, hi, out);
        vosk::count_visit_window(visit_.data(), focalView_, v, lo, hi, out);
    }
    // The counts condensed with the run's alpha, epsilon and gamma
    // (inline: three windows a visit). AddGamma = false leaves out the
    // sums with gamma, for runs where they change nothing (gammaIsInert).
    template <bool AddGamma = true>
    static Evaluation evaluate(PhasingParameters const& p, vosk::SubHaplCounts const& c) {
        using namespace vosk;
        double const alpha = p.alpha;
        double const eps = p.epsilon;
        double const gamma = p.gamma;
        double F[4];
        for (int x = 0; x < 4; ++x) F[x] = c.N[x] + eps * c.M[x] + alpha;
        Evaluation e;
        e.keep = F[Aa] * F[Bb];
        e.swap = F[Ab] * F[Ba];
        if constexpr (AddGamma)
            e.ratio = (std::max(e.keep, e.swap) + gamma) / (std::min(e.keep, e.swap) + gamma);
        else
            e.ratio = std::max(e.keep, e.swap) / std::min(e.keep, e.swap);
        e.mass = F[Aa] + F[Ab] + F[Ba] + F[Bb];
        return e;
    }
    // Whether adding gamma leaves every keep and swap as it is: x + 0 is x
    // for every x but -0, and with alpha and epsilon not negative (nor not
    // numbers) and counts that are never negative, keep and swap are never
    // -0. A gamma of -0 adds nothing to any x. (The default gamma is 0:
    // two sums off the chain of every visit.)
    static bool gammaIsInert(PhasingParameters const& p) {
        if (p.gamma != 0.0) return false;
        return std::signbit(p.gamma) || (p.alpha >= 0.0 && p.epsilon >= 0.0);
    }
    void evaluateWindows(int f, int L, WindowRequest const* windows, int n, Evaluation* out);
    Evaluation evaluateWindow(int f, int L, int start, int length);
    // Keeps the counting copies of individual i's gametes in step with its
    // exchange at polymorphic locus k (called by the individual).
    void mirrorExchange(int i, int k);
    // The next number of the shared random stream.
    static double draw() {
        long one = 1;
        return ran3(&one);
    }

    // Forgets the phenotype table once the call that built the sample ends.
    void releasePhenotypes();

private:
    // Phase distribution, sampled-phase files and report helpers.
    struct Chain;
    void setUpChain(Chain& chain);
    bool runChain(Chain& chain);
    void updateIndividual(Chain& chain);
    void recordSample(Chain& chain);
    bool distributePhases(Chain& chain);
    void writeSampledPhaseFiles(Chain& chain);
    void writeNoAmbiguousFiles();
    // The allele texts of a gamete (every locus, each followed by a blank).
    void appendAlleleTexts(TGamete const& g, std::string& out) const;
    void writeReportHead(std::ostream& out) const;
    // Width of the name column: the longest name, at least 11.
    int nameWidth() const;
    void bindColumns();

    // Kept from the phenotype table for the report.
    std::vector<my_string> names_;
    int numIndividualsRead_ = 0;  // TPhenDB::nb_individuals
    int firstIndividualLoci_ = 0;
    // The current gametes locus by locus, two columns per individual: at
    // each locus the compared codes renumbered 0, 1, ... in order of
    // appearance (equal codes, equal numbers; -1 stays missing).
    std::vector<int> columns_;
    // Per locus and code (missing first), words_ words of one bit per
    // gamete; the planes of locus l start at plane planeBase_[l].
    std::vector<std::uint64_t> planes_;
    std::vector<long> planeBase_;
    int words_ = 0;
    bool usePlanes_ = true;  // false: planes too large, counts from the columns
    std::uint64_t* plane(int locus, int code) {
        return planes_.data() + (planeBase_[static_cast<std::size_t>(locus)] + code + 1) * words_;
    }
    // The focal individual of the plain counts (-1: none yet): per local
    // position the planes of its two codes there, copied side by side
    // (vosk::FocalPlanes; 2 x words_ per position). They follow its
    // exchanges; an exchange of another individual voids them.
    int focal_ = -1;
    std::vector<std::uint64_t> focalEq_;
    vosk::FocalPlanes focalView_;  // focalEq_ with ones_ and valid_
    void prepareFocal(int f);
    vosk::FocalPlanes const& focalPlanes(int f) {
        if (focal_ != f) prepareFocal(f);
        return focalView_;
    }
    // The counts of a visit from the columns (missing data, or no planes).
    void countVisitColumns(int f, vosk::VisitWindows const& v, vosk::SubHaplCounts& base,
                           vosk::SubHaplCounts& extended);
    void countWindowColumns(int f, int L, int lo, int hi, vosk::SubHaplCounts& out);
    // The column kernels' view of a set: its loci and the focal codes.
    void setLoci(int f, int L, vosk::WindowSet& set);
    void countColumns(int f, int L, vosk::WindowSet const& set, vosk::SubHaplCounts* out);
    // Work space of the counting operations; valid_ holds the gametes of
    // every individual but validFocal_ (the last focal individual), ones_
    // (2 x words_) every gamete in both lanes (the block of a position
    // where every gamete matches).
    std::vector<int> coreLoci_, coreA_, coreB_;
    std::vector<std::uint64_t> valid_, ones_, focalAtL_;
    int validFocal_ = -1;
    // What the last countVisit left per word of gametes, for
    // countVisitWindow (bit planes only).
    std::vector<vosk::VisitWord> visit_;
};

}  // namespace quintle
