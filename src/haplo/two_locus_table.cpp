#include "haplo/two_locus_table.h"

#include <cstdint>

#include "core/Errors.h"
#include "core/messages.h"
#include "data/HaploDef.h"
#include "haplo/table_counts.h"

namespace quintle {

namespace {

// Beyond this many cells a table would take hundreds of megabytes.
constexpr std::int64_t max_table_cells = std::int64_t{1} << 24;

struct PairEntry {
    int row, col;
    std::int64_t count;
};

}  // namespace

int haplotype_list_loci(PHaploDefList const& list) {
    if (list.count == 0 || list.data[0] == nullptr || list.data[0]->haplotype == nullptr) return 0;
    return static_cast<int>(list.data[0]->haplotype->alleles.count);
}

TableBuild build_two_locus_table(PHaploDefList const& list, char missing, int a, int b, TwoLocusTable& table,
                                 char const* function) {
    AlleleNumbering rows, cols;
    std::vector<PairEntry> entries;
    entries.reserve(static_cast<std::size_t>(list.count));
    std::int64_t total = 0;
    for (long i = 0; i < list.count; ++i) {
        PHaploDef const* e = list.data[i];
        if (e == nullptr || e->haplotype == nullptr) continue;
        auto const& alleles = e->haplotype->alleles;
        if (a < 0 || b < 0 || a >= alleles.count || b >= alleles.count) {
            E.error(ERROR, function, Msg::m60_invalid_contingency_index);
            return TableBuild::failed;
        }
        TAllele const* x = alleles.data[a];
        TAllele const* y = alleles.data[b];
        if (is_missing_allele(x, missing) || is_missing_allele(y, missing)) continue;
        std::int64_t const n = e->count > 0 ? e->count : 0;
        entries.push_back({rows.number(x), cols.number(y), n});
        total += n;
    }
    int const k1 = rows.size();
    int const k2 = cols.size();
    if (k1 < 2 || k2 < 2) return TableBuild::monomorphic;
    if (total > max_table_total || std::int64_t{k1} * k2 > max_table_cells) {
        E.error(ERROR, function, Msg::m155_cannot_build_contingency_table);
        return TableBuild::failed;
    }
    table.rowAlleles.resize(static_cast<std::size_t>(k1));
    table.colAlleles.resize(static_cast<std::size_t>(k2));
    for (int i = 0; i < k1; ++i) table.rowAlleles[static_cast<std::size_t>(i)] = rows.allele(i);
    for (int j = 0; j < k2; ++j) table.colAlleles[static_cast<std::size_t>(j)] = cols.allele(j);
    table.counts = FlatTable(k1, k2);
    for (PairEntry const& e : entries) table.counts.at(e.row, e.col) += static_cast<int>(e.count);
    return TableBuild::built;
}

}  // namespace quintle
