#include "sumstat/amova_sumstat.h"

#include "run/glbobj.h"
#include "run/settings.h"
#include "sumstat/TSumStat.h"

namespace quintle {

namespace {

void set_index(std::optional<double> const& value, bool& has, double& slot) {
    if (!value) return;
    has = true;
    slot = *value;
}

}  // namespace

void store_amova_statistics(settings const& options, FixationIndices const& indices) {
    TSumStat& line = SumStat;
    // The selection scan's AMOVAs of simulated and one-locus data are not
    // the project's.
    if (!line.GLOBAL_FSTAT || options.quietMode) return;
    set_index(indices.fis, line.hasFIS, line.fis);
    set_index(indices.fst, line.hasFST, line.fst);
    set_index(indices.fct, line.hasFCT, line.fct);
    set_index(indices.fsc, line.hasFSC, line.fsc);
    set_index(indices.fit, line.hasFIT, line.fit);
}

void store_amova_statistics(settings const& options, PairwiseList list, int samples, PairValue const& value) {
    if (options.quietMode) return;
    TSumStat& line = SumStat;
    TSumStat::Values* target = &line.pairFst;
    bool selected = line.PAIRWISE_FST;
    if (list == PairwiseList::Pi) {
        target = &line.pairPi;
        selected = line.PAIRWISE_PI;
    } else if (list == PairwiseList::DmuSqr) {
        target = &line.pairDmuSqr;
        selected = line.PAIRWISE_DMUSQR;
    }
    target->count = 0;
    target->auxCount = 0;
    if (!selected) return;
    for (int i = 1; i < samples; ++i)
        for (int j = 0; j < i; ++j) target->Add(value(i, j));
}

}  // namespace quintle
