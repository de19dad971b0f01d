#include "datatypes/haplotype_counts.h"

#include <cstdint>

#include "data/Population.h"

namespace quintle {

int reconcile_haplotype_counts(Population& p, ErrorType countKind, char const* function, char const* countFunction) {
    PHaploDefList const& list = p.haplotypes;
    if (list.count == 0) return 1;
    // 64 bits: the counts of a large frequency sample may pass 2^31 together.
    std::int64_t total = 0;
    for (long i = 0; i < list.count; ++i)
        if (PHaploDef const* e = list.data[i]) total += e->count;
    const int k = static_cast<int>(list.count);

    int result = 1;
    const double T = static_cast<double>(total);
    if (p.SampleSize > 0.0 && p.SampleSize != T) {
        p.SampleSize = T;
        E.error(WARNING, function, Msg::m110_haplotype_sum_not_specified);
        result = 0;
    } else if (!(p.SampleSize > 0.0)) {
        p.SampleSize = T;
    }
    if (p.NbHaplotypeEntries == 0 || p.NbHaplotypeEntries == k) {
        p.NbHaplotypeEntries = k;
        return result;
    }
    if (p.profile.GenotypicData != 0 && p.profile.GameticPhase != 0) {
        p.NbHaplotypeEntries = k;
        return result;
    }
    E.error(countKind, countFunction != nullptr ? countFunction : function, Msg::m111_haplotype_count_changed);
    return 0;
}

}  // namespace quintle
