#pragma once

// The results of one analysis pass (the group pass or the population pass
// of a project) that the statistics line takes: what the summary of the
// samples, the linkage measures of a sample, the AMOVA designs and the
// pairwise comparisons computed. The project collects one record per pass;
// fill_statistics_record (sumstat/statistics_fill.h) then fills the
// statistics record from it once, at the end of the pass. No analysis and no
// writer touches the statistics record itself.
//
// A member left empty means that its table or test did not run in the pass:
// the statistics record then keeps what an earlier pass or project left.

#include <optional>
#include <vector>

namespace quintle {

// The global fixation indices of an AMOVA design; those it has no level for
// stay empty.
struct FixationIndices {
    std::optional<double> fis{}, fst{}, fct{}, fsc{}, fit{};

    // Each index present in `later` replaces this one's: the last design of
    // the pass to give an index wins.
    void merge(FixationIndices const& later) {
        if (later.fis) fis = later.fis;
        if (later.fst) fst = later.fst;
        if (later.fct) fct = later.fct;
        if (later.fsc) fsc = later.fsc;
        if (later.fit) fit = later.fit;
    }
};

// What the AMOVA engines of a pass hand on: the indices of every design that
// printed its results (and of the average over loci), merged in run order,
// and the pairwise lists of the last pairwise comparison of the pass, each
// pair's value in the order (2,1), (3,1), (3,2), (4,1), ... of 1-based
// sample ids (the order of the FST_i_j, PI_i_j and DMUSQ_i_j columns).
struct AmovaLine {
    FixationIndices indices;
    std::optional<std::vector<double>> pairFst, pairPi, pairDmuSqr;
};

// The linkage values of one sample's D' and r2 measures.
struct LinkageLine {
    std::vector<double> adjDprime, adjR2;  // each pair of adjacent loci that has the value
    std::optional<double> flankDprime, flankR2;  // the first and the last polymorphic locus
    double meanAdjDprime = 0.0, meanAdjR2 = 0.0;  // of the adjacent values; 0 without any
    std::optional<double> meanDprime, meanR2;     // over all pairs; none without pairs
};

// The values of the summary tables of the samples of a pass. Arrays hold
// one value per sample in set order.
struct SummaryLine {
    std::optional<std::vector<double>> k, kSd, h, hSd, s, sSd, privS, pi;
    std::optional<std::vector<double>> d, dSd, fs, fsSd;
    std::optional<std::vector<double>> gw, gwSd, ngw, ngwSd, r, rSd;
    std::optional<double> meanK, sdK, totK, meanH, sdH, totH, meanS, sdS, totS, meanPi, sdPi;
    std::optional<double> meanD, sdD, meanFS, sdFS;
    std::optional<double> meanGW, sdGW, totGW, meanNGW, sdNGW, meanR, sdR, totR;
};

struct PassResults {
    SummaryLine summary;
    // The last sample of the pass whose linkage measures ran.
    std::optional<LinkageLine> linkage;
    AmovaLine amova;
};

}  // namespace quintle
