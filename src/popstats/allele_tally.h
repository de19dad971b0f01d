#pragma once

// Counts of the distinct alleles met at one locus, in order of first
// appearance. Alleles are told apart by identity (pointer), as everywhere:
// equal alleles of one locus are one object of the allele base.
//
// Meant to be reused locus after locus: clear() keeps the storage.

#include <cstddef>
#include <unordered_map>
#include <vector>

namespace quintle {

class TAllele;

// Whether a gene copy whose allele name starts with `first` is counted in
// the per-locus tables: not the missing-data character and, for DNA, not an
// ambiguity code.
inline bool counted_allele_char(char first, char missing, bool dna) {
    if (first == missing) return false;
    if (!dna) return true;
    switch (first) {
        case 'B': case 'D': case 'H': case 'K': case 'M': case 'N':
        case 'R': case 'S': case 'V': case 'W': case 'Y':
            return false;
        default:
            return true;
    }
}

class AlleleTally {
public:
    void clear() {
        alleles_.clear();
        counts_.clear();
        index_.clear();
    }

    // Adds c to the allele's count, listing the allele when it is new;
    // returns its place.
    std::size_t add(TAllele* a, double c) {
        std::size_t const i = position(a);
        counts_[i] += c;
        return i;
    }
    // Adds c to the count of the allele at place i.
    void add_at(std::size_t i, double c) { counts_[i] += c; }

    std::size_t size() const { return alleles_.size(); }
    TAllele* allele(std::size_t i) const { return alleles_[i]; }
    double count(std::size_t i) const { return counts_[i]; }
    std::vector<double> const& counts() const { return counts_; }

private:
    // Most loci carry a handful of alleles, searched directly; a locus with
    // many gets an index so that long samples stay linear.
    static constexpr std::size_t direct_limit = 16;

    std::size_t position(TAllele* a) {
        if (alleles_.size() <= direct_limit) {
            for (std::size_t i = 0; i < alleles_.size(); ++i)
                if (alleles_[i] == a) return i;
        } else {
            if (index_.empty())
                for (std::size_t i = 0; i < alleles_.size(); ++i) index_.emplace(alleles_[i], i);
            auto found = index_.find(a);
            if (found != index_.end()) return found->second;
            index_.emplace(a, alleles_.size());
        }
        alleles_.push_back(a);
        counts_.push_back(0.0);
        return alleles_.size() - 1;
    }

    std::vector<TAllele*> alleles_;
    std::vector<double> counts_;
    std::unordered_map<TAllele const*, std::size_t> index_;
};

}  // namespace quintle
