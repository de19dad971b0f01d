#include "datatypes/standard_distances.h"

#include <unordered_map>

#include "data/HaploDef.h"
#include "data/TAllele.h"
#include "datatypes/allele_data.h"

namespace quintle {

StandardAlleleRows read_standard_alleles(std::vector<PHaploDef const*> const& entries,
                                         std::vector<int> const& loci, char missing) {
    // A locus where every entry holds the same allele object (or none) adds
    // nothing to any distance: only the others are kept. In a long sequence
    // most sites are such loci.
    std::vector<TAllele const*> first(loci.size(), nullptr);
    std::vector<unsigned char> differs(loci.size(), 0);
    std::unordered_map<TAllele* const*, long> read;  // rows read, with their length
    for (std::size_t e = 0; e < entries.size(); ++e) {
        HaploDef const* h = entries[e] != nullptr ? entries[e]->haplotype : nullptr;
        TAllele* const* row = h != nullptr ? h->alleles.data : nullptr;
        long const length = row != nullptr ? h->alleles.count : 0;
        // A row shared with an entry read before differs where that one did.
        if (auto const [it, added] = read.try_emplace(row, length); !added && it->second == length) continue;
        for (std::size_t k = 0; k < loci.size(); ++k) {
            int const l = loci[k];
            TAllele const* a = l < length ? row[l] : nullptr;
            if (e == 0) first[k] = a;
            else differs[k] |= a != first[k] ? 1 : 0;
        }
    }
    std::vector<int> varying;
    for (std::size_t k = 0; k < loci.size(); ++k)
        if (differs[k] != 0) varying.push_back(loci[k]);
    StandardAlleleRows t;
    t.rows = static_cast<int>(entries.size());
    t.loci = static_cast<int>(varying.size());
    t.allele.assign(static_cast<std::size_t>(t.rows) * varying.size(), nullptr);
    std::size_t c = 0;
    for (int i = 0; i < t.rows; ++i) {
        for (int l : varying) {
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
