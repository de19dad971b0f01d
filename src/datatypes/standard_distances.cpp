#include "datatypes/standard_distances.h"

#include "data/TAllele.h"
#include "datatypes/allele_data.h"

namespace quintle {

StandardAlleleRows read_standard_alleles(std::vector<PHaploDef const*> const& entries,
                                         std::vector<int> const& loci, char missing) {
    StandardAlleleRows t;
    t.rows = static_cast<int>(entries.size());
    t.loci = static_cast<int>(loci.size());
    t.allele.assign(static_cast<std::size_t>(t.rows) * loci.size(), nullptr);
    std::size_t c = 0;
    for (int i = 0; i < t.rows; ++i) {
        for (int l : loci) {
            TAllele const* a = allele_at(entries[static_cast<std::size_t>(i)], l);
            t.allele[c++] = allele_is_missing(a, missing) ? nullptr : a;
        }
    }
    return t;
}

int standard_pair_distance(StandardAlleleRows const& t, int i, int j) {
    const std::size_t L = static_cast<std::size_t>(t.loci);
    TAllele const* const* a = t.allele.data() + static_cast<std::size_t>(i) * L;
    TAllele const* const* b = t.allele.data() + static_cast<std::size_t>(j) * L;
    int d = 0;
    for (std::size_t l = 0; l < L; ++l) d += a[l] != b[l] && a[l] != nullptr && b[l] != nullptr ? 1 : 0;
    return d;
}

}  // namespace quintle
