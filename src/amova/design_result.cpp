#include "amova/design_result.h"

#include "amova/amova_results.h"
#include "project/pass_results.h"

namespace quintle {

FixationIndices design_line_indices(AmovaDesignResult const& r) {
    if (!r.computed) return {};
    switch (r.design) {
        case 2: return {.fis = r.FIS};
        case 3:
        case 7: return {.fst = r.FST};
        case 4: return {.fis = r.FIS, .fst = r.FST, .fit = r.FIT};
        case 5:
        case 8: return {.fst = r.FST, .fct = r.FCT, .fsc = r.FSC};
        case 6: return {.fis = r.FIS, .fct = r.FCT, .fsc = r.FSC, .fit = r.FIT};
        default: return {};
    }
}

namespace {

MY_TArrayAsVector<double>* values_list(amova_results& record, int list) {
    switch (list) {
        case 1: return &record.perm_values1;
        case 2: return &record.perm_values2;
        case 3: return &record.perm_values3;
        case 4: return &record.perm_values4;
        default: return nullptr;
    }
}

double& p_field(amova_results& record, AmovaIndex index) {
    switch (index) {
        case AmovaIndex::FSC: return record.P_FSC;
        case AmovaIndex::FCT: return record.P_FCT;
        case AmovaIndex::FIT: return record.P_FIT;
        case AmovaIndex::FIS: return record.P_FIS;
        case AmovaIndex::FST: break;
    }
    return record.P_FST;
}

}  // namespace

void store_design_result(amova_results& record, AmovaDesignResult const& r) {
    if (r.computed) {
        int const n = static_cast<int>(r.names.size());
        record.set_amova_results(r.df[0], r.SSDAG, r.v[0], r.df[1], r.SSDAP, r.v[1], r.df[2], r.SSDWP, r.v[2],
                                 r.df[3], r.SSDWI, r.v[3], r.record_df_total, r.total_ss, r.total_v, r.FST, r.FSC,
                                 r.FCT, r.FIT, r.FIS, 0, 0, 0, 0, 0, r.pop_FST.empty() ? nullptr : r.pop_FST.data(),
                                 r.pop_FIS.empty() ? nullptr : r.pop_FIS.data(), nullptr,
                                 r.pop_FST.empty() && r.pop_FIS.empty() ? 0 : n);
    }
    if (!r.tests_allocated) return;
    // Each test's list is reset to the permutation count, then takes the
    // values of its test as far as it went.
    for (int list : r.planned_lists)
        if (MY_TArrayAsVector<double>* values = values_list(record, list))
            values->Reallocate(static_cast<int>(r.permutations));
    for (AmovaTestOutcome const& t : r.tests) {
        if (MY_TArrayAsVector<double>* values = values_list(record, t.list))
            for (double v : t.values) values->Add(v);
        if (t.complete) p_field(record, t.index) = t.p;
    }
}

}  // namespace quintle
