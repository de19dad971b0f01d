// The chain of the phasing sampler: its set-up (heterozygous sites, random
// initial phases), the burn-in and sampling steps, and the two updates of
// one individual. Every random draw continues the shared stream, in the
// order the steps below make them.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "core/quotient_compare.h"
#include "haplo/TGenotIndividual.h"
#include "haplo/TGenotSample.h"
#include "haplo/vosk_chain.h"
#include "haplo/vosk_counts.h"
#include "run/settings.h"

namespace quintle {

namespace {

using Evaluation = TGenotSample::Evaluation;

// a or b, as `second` says, read by index instead of branched on: the
// draws make `second` unpredictable, and a wrong guess of a branch would
// throw away the work begun after it.
template <class T>
T pick(bool second, T const& a, T const& b) {
    T const both[2] = {a, b};
    return both[second ? 1 : 0];
}

// A window as the updates move it: start, length, heterozygous sites.
struct Span {
    int start = 0;
    int length = 0;
    int het = 0;
};

// a or b, as `second` says, field by field with masks: a Span picked
// through memory would be read by one load across two stores, which waits
// until the stores are written back instead of taking their values.
inline Span pick_span(bool second, Span const& a, Span const& b) {
    int const mask = -static_cast<int>(second);
    auto const field = [mask](int x, int y) { return x ^ ((x ^ y) & mask); };
    return {field(a.start, b.start), field(a.length, b.length), field(a.het, b.het)};
}

template <class Draw>
[[gnu::always_inline]] inline void shuffle_visits(std::vector<int>& order, int H, Draw& draw) {
    for (int j = H; j >= 1; --j) {
        int const pick = std::min(static_cast<int>(j * draw()), j - 1);
        std::swap(order[static_cast<std::size_t>(pick)], order[static_cast<std::size_t>(j - 1)]);
    }
}

// The first visit of heterozygous site h: its windows from the neighbouring
// heterozygous sites, and the one whose counts decide the site's phase.
template <class Draw>
[[gnu::always_inline]] inline void first_visit(TGenotIndividual& F, TGenotSample& S, int f, int h, Evaluation& use, Draw& draw) {
    auto const at = [&F](int i) { return F.hetPositions[static_cast<std::size_t>(i)]; };
    int const H = F.hetCount;
    int const L = at(h);
    int start = h == 0 ? L : at(h - 1);
    int length = h == 0 ? at(1) - L + 1 : L - start + 1;
    Evaluation const e1 = S.evaluateWindow(f, L, start, length);
    VoskWindow& w1 = F.window1[static_cast<std::size_t>(h)];
    VoskWindow& w2 = F.window2[static_cast<std::size_t>(h)];
    w1 = VoskWindow{start, length, 2, e1.support()};
    if (h == 0 || h == H - 1) {
        w2.support = 0.0;
        use = e1;
        return;
    }
    length = at(h + 1) - L + 1;
    Evaluation const e2 = S.evaluateWindow(f, L, L, length);
    w2 = VoskWindow{L, length, 2, e2.support()};
    double const r1 = e1.ratio - 1.0;
    double const r2 = e2.ratio - 1.0;
    double const sum = r1 + r2;
    double const w = sum > 0.0 ? r1 / sum : 0.5;
    use = draw() < w ? e1 : e2;
}

// Record 1 or 2 of site h, drawn by their supports. Record 2 exists only
// between two heterozygous sites; a draw that would take it elsewhere
// (supports that are no numbers) keeps record 1.
template <class Draw>
[[gnu::always_inline]] inline VoskWindow& choose_record(TGenotIndividual& F, int h, Draw& draw) {
    VoskWindow& w1 = F.window1[static_cast<std::size_t>(h)];
    VoskWindow& w2 = F.window2[static_cast<std::size_t>(h)];
    double const u = draw();
    // Without record 2 the draw only moves the stream on.
    bool const second = (w2.start >= 0) & !below_quotient(u, w1.support, w2.support + w1.support);
    auto const a = reinterpret_cast<std::uintptr_t>(&w1);
    auto const b = reinterpret_cast<std::uintptr_t>(&w2);
    return *reinterpret_cast<VoskWindow*>(a ^ ((a ^ b) & (std::uintptr_t{0} - second)));
}

enum class Side { none, left, right };

// The extension of a later visit: which end may grow, by the draws the
// focal position calls for.
template <class Draw>
[[gnu::always_inline]] inline Side extension_side(TGenotIndividual const& F, int L, Span const& s, Draw& draw) {
    bool right = s.start + s.length < F.localCount;
    bool left = s.start > 0;
    if (L == 0) {
        if (draw() < 0.5) right = false;
    } else if (L == F.localCount - 1) {
        if (draw() < 0.5) left = false;
    } else if (right && left) {
        return draw() < 0.5 ? Side::right : Side::left;
    }
    if (right) return Side::right;
    if (left) return Side::left;
    return Side::none;
}

// A later visit of the simple update: the recorded window, possibly grown
// by one locus at one end, then possibly shrunk by one at the other. The
// base and the extended window are counted at once; the one shrunk window
// the visit reads, from what their count left. Returns the share of keep
// in the window the visit ends on.
template <bool AddGamma, class Draw>
[[gnu::always_inline]] inline double later_visit(TGenotIndividual& F, TGenotSample& S, int f, int h, Draw& draw) {
    int const L = F.hetPositions[static_cast<std::size_t>(h)];
    auto const flag = [&F](int pos) { return F.hetFlags[static_cast<std::size_t>(pos)] != 0 ? 1 : 0; };
    VoskWindow& rec = choose_record(F, h, draw);
    Span const base{rec.start, rec.length, rec.hetCount};
    int const s = base.start;
    int const e = base.start + base.length - 1;
    Side const side = extension_side(F, L, base, draw);
    Span ext = base;
    vosk::VisitWindows v{L, s, e, -1};
    if (side == Side::right) {
        ext = Span{s, base.length + 1, base.het + flag(e + 1)};
        v.x = e + 1;
    } else if (side == Side::left) {
        ext = Span{s - 1, base.length + 1, base.het + flag(s - 1)};
        v.x = s - 1;
    }

    vosk::SubHaplCounts counts, grown;
    S.countVisit(f, v, counts, grown);
    Evaluation cur = TGenotSample::evaluate<AddGamma>(S.phasing, counts);
    Span win = base;
    double r0 = cur.ratio - 1.0;
    double rExt = 0.0;
    Evaluation extended;
    if (side != Side::none) {
        extended = TGenotSample::evaluate<AddGamma>(S.phasing, grown);
        // The support is at least 1 exactly when the mass is (a square
        // root is rounded correctly), so no root is taken here.
        rExt = extended.mass >= 1.0 ? extended.ratio - 1.0 : 0.0;
    }
    double const u = draw();  // drawn also when no extension was possible
    double const sum = r0 + rExt;
    bool const keep = side == Side::none || (sum > 0.0 && below_quotient(u, r0, sum)) || sum <= 0.0;
    if (!keep) {
        cur = extended;
        win = ext;
        r0 = rExt;
    }

    // An end may be dropped unless it is the focal position, the end just
    // grown, or a heterozygous site of a window holding no more than two
    // of them.
    int const we = win.start + win.length - 1;
    // (Each test on its own, joined without a branch: they depend on the
    // draws so far, and a chain of jumps would be mispredicted often.)
    bool const several = win.het > 2;
    auto const may_drop = [&](int end) { return (end != L) & (end != v.x) & ((flag(end) == 0) | several); };
    bool const canLeft = may_drop(win.start);
    bool const canRight = may_drop(we);
    Side drop = Side::none;
    if (canLeft & canRight)
        drop = static_cast<int>(2.0 * draw()) == 0 ? Side::left : Side::right;
    else if (canLeft)
        drop = Side::left;
    else if (canRight)
        drop = Side::right;
    double support = cur.support();
    double share = cur.keepShare();
    if (drop != Side::none) {
        Span const next = drop == Side::left ? Span{win.start + 1, win.length - 1, win.het - flag(win.start)}
                                             : Span{win.start, win.length - 1, win.het - flag(we)};
        S.countVisitWindow(f, v, next.start, next.start + next.length - 1, counts);
        Evaluation const shrunk = TGenotSample::evaluate<AddGamma>(S.phasing, counts);
        double const d = (shrunk.ratio - 1.0) + r0;
        double const u2 = draw();
        // Adopted when u2 >= q = r0 / d (q = 0 without a positive d).
        bool const adopt = d > 0.0 ? at_or_above_quotient(u2, r0, d) : u2 >= 0.0;
        // The root and the share of either window are taken beside the
        // draw, which then only selects.
        support = pick(adopt, support, shrunk.support());
        share = pick(adopt, share, shrunk.keepShare());
        win = pick_span(adopt, win, next);
    }
    rec = VoskWindow{win.start, win.length, win.het, support};
    return share;
}

// The site's phase redrawn: exchanged when the draw exceeds keep's share.
template <class Draw>
[[gnu::always_inline]] inline void gibbs_step(TGenotIndividual& F, PhasingCounters& updates, double share, int G, Draw& draw) {
    if (draw() > share) {
        F.exchangeAt(G);
        ++updates.accepted;
    } else {
        ++updates.rejected;
    }
}

// A later visit of the recombination update: the gametes' tails from the
// focal locus (or the one after it) exchanged, kept by the ratio of the
// window's counts after and before.
template <class Draw>
[[gnu::always_inline]] inline void tail_exchange(TGenotIndividual& F, TGenotSample& S, int f, int h, Draw& draw) {
    int const H = F.hetCount;
    int const L = F.hetPositions[static_cast<std::size_t>(h)];
    int const G = F.localList[static_cast<std::size_t>(L)];
    VoskWindow& rec = choose_record(F, h, draw);
    Span const win{rec.start, rec.length, rec.hetCount};
    Evaluation const before = S.evaluateWindow(f, L, win.start, win.length);
    int from = G;
    if (h == 0)
        from = G + 1;
    else if (h != H - 1)
        from = draw() >= 0.5 ? G + 1 : G;
    F.exchangeFrom(from);
    Evaluation const after = S.evaluateWindow(f, L, win.start, win.length);
    if (draw() < after.keep / (before.keep + after.keep) && after.keep != before.keep) {
        ++S.updates.accepted;
        rec.support = after.support();
    } else {
        ++S.updates.rejected;
        F.exchangeFrom(from);
        rec.support = before.support();
    }
    for (VoskWindow* w : {&F.window1[static_cast<std::size_t>(h)], &F.window2[static_cast<std::size_t>(h)]}) {
        w->start = win.start;
        w->length = win.length;
        w->hetCount = win.het;
    }
}

template <bool AddGamma, class Draw>
[[gnu::always_inline]] inline void update_with(TGenotIndividual& F, TGenotSample& S, int f, bool recombination, Draw& draw) {
    int const H = F.hetCount;
    shuffle_visits(F.visitingOrder, H, draw);
    for (int idx = 0; idx < H; ++idx) {
        int const h = F.visitingOrder[static_cast<std::size_t>(idx)];
        int const G = F.localList[static_cast<std::size_t>(F.hetPositions[static_cast<std::size_t>(h)])];
        double share = 0.0;
        if (F.window1[static_cast<std::size_t>(h)].start == -1) {
            Evaluation use;
            first_visit(F, S, f, h, use, draw);
            share = use.keepShare();
        } else if (recombination) {
            tail_exchange(F, S, f, h, draw);
            continue;
        } else {
            share = later_visit<AddGamma>(F, S, f, h, draw);
        }
        gibbs_step(F, S.updates, share, G, draw);
    }
}

// One update, its draws through a cursor on the stream when it can take
// one (the stream's position then stays in registers for the update).
template <bool AddGamma>
void update_as(TGenotIndividual& F, TGenotSample& S, int f, bool recombination) {
    if (Ran3Cursor::usable()) {
        Ran3Cursor draw;
        update_with<AddGamma>(F, S, f, recombination, draw);
    } else {
        auto draw = [] { return TGenotSample::draw(); };
        update_with<AddGamma>(F, S, f, recombination, draw);
    }
}

void update(TGenotIndividual& F, TGenotSample& S, int f, bool recombination) {
    if (TGenotSample::gammaIsInert(S.phasing))
        update_as<false>(F, S, f, recombination);
    else
        update_as<true>(F, S, f, recombination);
}

}  // namespace

void TGenotIndividual::buildLocalGenotype_Zorvel_simple_around_het_loci(TGenotSample* sample, int const& i) {
    update(*this, *sample, i, false);
}

void TGenotIndividual::buildLocalGenotype_Zorvel_simple_around_het_loci_with_rec_step(TGenotSample* sample,
                                                                                      int const& i) {
    update(*this, *sample, i, true);
}

// ---------------------------------------------------------------------------
// The chain

void TGenotSample::setUpChain(Chain& c) {
    settings const& s = *options;
    phasing.alpha = s.GibbsAlphaInitValue;
    phasing.epsilon = s.GibbsEpsilonValue;
    phasing.gamma = s.GibbsGamma;
    phasing.winAroundHetSites = s.GibbsHetSiteInfluenceZone;
    phasing.winSize = s.GibbsWindowSize;
    sumPosteriorAlpha = 0.0;
    numAmbiguous = 0;
    c.burnIn = s.GibbsBurnIn;
    c.interval = s.GibbsSamplingInterval;
    c.numSamples = std::max(s.GibbsNumSamples, 0);
    c.recombinationShare = s.GibbsPercentageOfRecSteps;
    c.writeFiles = s.GibbsOutputGamPhase != 0;
    c.phases.assign(static_cast<std::size_t>(numIndividuals), SampledPhases{});
    if (numIndividuals == 0) return;

    std::vector<double> const ones(static_cast<std::size_t>(numPolymorphic), 1.0);
    TGenotIndividual::createAndFillSiteWeight(phasing.siteWeight, ones.data(), numPolymorphic);
    for (int i = 0; i < numIndividuals; ++i) {
        TGenotIndividual& g = current[static_cast<std::size_t>(i)];
        if (g.checkIfAmbiguousAndFillArrays(phasing.winAroundHetSites)) {
            c.ambiguousIndexes.push_back(i);
            ++numAmbiguous;
        }
        if (g.hasMissing) anyMissing = true;
        for (int k = 0; k < numPolymorphic; ++k)
            if (draw() >= 0.5) g.exchangeAt(k);
    }
    focal_ = -1;  // the local lists are new
}

void TGenotSample::updateIndividual(Chain& c) {
    int const pick = std::min(static_cast<int>(draw() * numAmbiguous), numAmbiguous - 1);
    int const i = c.ambiguousIndexes[static_cast<std::size_t>(pick)];
    TGenotIndividual& g = current[static_cast<std::size_t>(i)];
    if (c.recombinationShare > 0.0 && draw() < c.recombinationShare)
        g.buildLocalGenotype_Zorvel_simple_around_het_loci_with_rec_step(this, i);
    else
        g.buildLocalGenotype_Zorvel_simple_around_het_loci(this, i);
}

void TGenotSample::recordSample(Chain& c) {
    int const L = numPolymorphic;
    for (int i = 0; i < numIndividuals; ++i) {
        SampledPhases& list = c.phases[static_cast<std::size_t>(i)];
        int const* g1 = current[static_cast<std::size_t>(i)].gamete1.alleles.data();
        int const* g2 = current[static_cast<std::size_t>(i)].gamete2.alleles.data();
        // Distinct phases are never the same phase (the loci both test on
        // are those where the individual knows both alleles), so at most
        // one entry matches: trying the last match first finds that entry.
        auto const matches = [&](int j) { return same_phase(list.gamete1(j, L), list.gamete2(j, L), g1, g2, L); };
        int hit = -1;
        if (list.lastMatch >= 0 && matches(list.lastMatch)) {
            hit = list.lastMatch;
        } else {
            for (int j = 0; j < list.size() && hit < 0; ++j)
                if (matches(j)) hit = j;
        }
        if (hit >= 0) {
            ++list.counts[static_cast<std::size_t>(hit)];
        } else {
            list.codes.insert(list.codes.end(), g1, g1 + L);
            list.codes.insert(list.codes.end(), g2, g2 + L);
            list.counts.push_back(1);
            hit = list.size() - 1;
        }
        list.lastMatch = hit;
    }
}

bool TGenotSample::runChain(Chain& c) {
    updates = PhasingCounters{};
    if (numAmbiguous == 0) return true;
    settings const& s = *options;
    char text[128];
    for (long long step = 1; step <= c.burnIn; ++step) {
        updateIndividual(c);
        if (step % 500 != 0) continue;
        settings::global_work_done += 100.0;
        std::snprintf(text, sizeof text, " burnin  Vosk algorithm: %lli/%lli", step, c.burnIn);
        settings::message = text;
        settings::print_message();
        if (s.stopFlag != 0) return false;
    }
    updates = PhasingCounters{};
    for (int sample = 1; sample <= c.numSamples; ++sample) {
        for (long long k = 0; k < c.interval; ++k) updateIndividual(c);
        recordSample(c);
        if (sample % 10 != 0) continue;
        settings::global_work_done += 300.0;
        std::snprintf(text, sizeof text, " Gibbs sampling Vosk algorithm: %i/%i ", sample, c.numSamples);
        settings::message = text;
        settings::print_message();
        if (s.stopFlag != 0) return false;
    }
    return true;
}

void TGenotSample::performGibbs() {
    Chain chain;
    setUpChain(chain);
    bool finished = runChain(chain);
    if (finished && chain.numSamples != 0 && numAmbiguous > 0) finished = distributePhases(chain);
    if (finished && chain.writeFiles) {
        if (numAmbiguous == 0)
            writeNoAmbiguousFiles();
        else
            writeSampledPhaseFiles(chain);
    }
    phasing.siteWeight.clear();
    phasing.siteWeight.shrink_to_fit();
}

}  // namespace quintle
