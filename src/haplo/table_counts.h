#pragma once

// What the contingency tables of the exact tests share: which alleles count
// as missing, the whole number a table takes from an entry's count, and the
// numbering of alleles in order of first appearance.

#include <climits>
#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "data/TAllele.h"

namespace quintle {

// An allele whose name begins with the sample's missing-data character
// (or no allele at all) is missing.
inline bool is_missing_allele(TAllele const* a, char missing) { return a == nullptr || a->name.c_str()[0] == missing; }

// An entry's count as a table takes it: truncated, never negative.
inline std::int64_t whole_count(double count) {
    if (!(count > 0.0)) return 0;
    if (count >= static_cast<double>(INT_MAX)) return INT_MAX;
    return static_cast<std::int64_t>(count);
}

// Numbers alleles 0, 1, ... in order of first appearance, by identity.
class AlleleNumbering {
public:
    int number(TAllele const* a) {
        if (alleles_.size() <= direct_limit) {
            for (std::size_t i = 0; i < alleles_.size(); ++i)
                if (alleles_[i] == a) return static_cast<int>(i);
        } else {
            auto const found = index_.find(a);
            if (found != index_.end()) return found->second;
        }
        alleles_.push_back(a);
        int const n = static_cast<int>(alleles_.size()) - 1;
        if (alleles_.size() > direct_limit) {
            if (index_.empty())
                for (std::size_t i = 0; i < alleles_.size(); ++i) index_[alleles_[i]] = static_cast<int>(i);
            else
                index_[a] = n;
        }
        return n;
    }
    int size() const { return static_cast<int>(alleles_.size()); }
    TAllele const* allele(int i) const { return alleles_[static_cast<std::size_t>(i)]; }

private:
    // Most loci carry a handful of alleles, searched directly.
    static constexpr std::size_t direct_limit = 16;
    std::vector<TAllele const*> alleles_;
    std::unordered_map<TAllele const*, int> index_;
};

}  // namespace quintle
