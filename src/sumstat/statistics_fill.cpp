#include "sumstat/statistics_fill.h"

#include <optional>
#include <vector>

#include "project/pass_results.h"
#include "sumstat/TSumStat.h"

namespace quintle {

namespace {

using Values = TSumStat::Values;

void assign(Values& to, std::vector<double> const& from) {
    to.count = 0;
    to.auxCount = 0;
    for (double x : from) to.Add(x);
}

void assign(Values& to, std::optional<std::vector<double>> const& from) {
    if (from) assign(to, *from);
}

// A scalar kept when its keyword is selected (or always, with no keyword).
void assign(double& to, std::optional<double> const& from, bool selected = true) {
    if (from && selected) to = *from;
}

void fill_summary(SummaryLine const& v, TSumStat& t) {
    for (auto [to, from] : {std::pair{&t.kValues, &v.k}, {&t.kSdValues, &v.kSd}, {&t.hValues, &v.h},
                            {&t.hSdValues, &v.hSd}, {&t.sValues, &v.s}, {&t.sSdValues, &v.sSd},
                            {&t.privSValues, &v.privS}, {&t.piValues, &v.pi}, {&t.dValues, &v.d},
                            {&t.dSdValues, &v.dSd}, {&t.fsValues, &v.fs}, {&t.fsSdValues, &v.fsSd},
                            {&t.gwValues, &v.gw}, {&t.gwSdValues, &v.gwSd}, {&t.ngwValues, &v.ngw},
                            {&t.ngwSdValues, &v.ngwSd}, {&t.rValues, &v.r}, {&t.rSdValues, &v.rSd}})
        assign(*to, *from);

    assign(t.meanK, v.meanK, t.MEAN_K);
    assign(t.sdK, v.sdK, t.SD_K);
    assign(t.totK, v.totK, t.TOT_K);
    assign(t.meanH, v.meanH, t.MEAN_H);
    assign(t.sdH, v.sdH, t.SD_H);
    assign(t.totH, v.totH, t.TOT_H);
    assign(t.meanS, v.meanS, t.MEAN_S);
    assign(t.sdS, v.sdS, t.SD_S);
    assign(t.totS, v.totS, t.TOT_S);
    assign(t.meanPi, v.meanPi, t.MEAN_PI);
    assign(t.sdPi, v.sdPi, t.SD_PI);
    assign(t.meanD, v.meanD, t.MEAN_TAJIMAD);
    assign(t.sdD, v.sdD, t.SD_TAJIMAD);
    assign(t.meanFS, v.meanFS, t.MEAN_FUFS);
    assign(t.sdFS, v.sdFS, t.SD_FUFS);
    assign(t.meanGW, v.meanGW, t.MEAN_GW);
    assign(t.sdGW, v.sdGW, t.SD_GW);
    assign(t.totGW, v.totGW);
    assign(t.meanNGW, v.meanNGW, t.MEAN_NGW);
    assign(t.sdNGW, v.sdNGW, t.SD_NGW);
    assign(t.meanR, v.meanR);
    assign(t.sdR, v.sdR);
    assign(t.totR, v.totR);
}

void fill_linkage(LinkageLine const& v, TSumStat& t) {
    for (Values* a : {&t.meanDprimeValues, &t.meanR2Values, &t.adjDprimeValues, &t.adjR2Values,
                      &t.meanAdjDprimeValues, &t.meanAdjR2Values, &t.flankDprimeValues, &t.flankR2Values})
        assign(*a, std::vector<double>{});
    // The adjacent values are kept for their mean as well.
    if (t.MEAN_ADJ_DPRIME || t.ALL_ADJ_DPRIME) assign(t.adjDprimeValues, v.adjDprime);
    if (t.MEAN_ADJ_R2 || t.ALL_ADJ_R2) assign(t.adjR2Values, v.adjR2);
    if (t.FLANK_DPRIME && v.flankDprime) t.flankDprimeValues.Add(*v.flankDprime);
    if (t.FLANK_R2 && v.flankR2) t.flankR2Values.Add(*v.flankR2);
    if (t.MEAN_ADJ_DPRIME) t.meanAdjDprimeValues.Add(v.meanAdjDprime);
    if (t.MEAN_ADJ_R2) t.meanAdjR2Values.Add(v.meanAdjR2);
    if (t.MEAN_ALL_DPRIME && v.meanDprime) t.meanDprimeValues.Add(*v.meanDprime);
    if (t.MEAN_ALL_R2 && v.meanR2) t.meanR2Values.Add(*v.meanR2);
}

void set_index(std::optional<double> const& value, bool& has, double& slot) {
    if (!value) return;
    has = true;
    slot = *value;
}

void fill_pairwise(std::optional<std::vector<double>> const& from, bool selected, Values& to) {
    if (!from) return;
    assign(to, selected ? *from : std::vector<double>{});
}

void fill_amova(AmovaLine const& v, TSumStat& t) {
    if (t.GLOBAL_FSTAT) {
        set_index(v.indices.fis, t.hasFIS, t.fis);
        set_index(v.indices.fst, t.hasFST, t.fst);
        set_index(v.indices.fct, t.hasFCT, t.fct);
        set_index(v.indices.fsc, t.hasFSC, t.fsc);
        set_index(v.indices.fit, t.hasFIT, t.fit);
    }
    fill_pairwise(v.pairFst, t.PAIRWISE_FST, t.pairFst);
    fill_pairwise(v.pairPi, t.PAIRWISE_PI, t.pairPi);
    fill_pairwise(v.pairDmuSqr, t.PAIRWISE_DMUSQR, t.pairDmuSqr);
}

}  // namespace

void fill_statistics_record(PassResults const& pass, TSumStat& line) {
    fill_summary(pass.summary, line);
    if (pass.linkage) fill_linkage(*pass.linkage, line);
    fill_amova(pass.amova, line);
}

}  // namespace quintle
