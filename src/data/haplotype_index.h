#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/MY_TIArrayAsVector.h"
#include "data/TPopHaplotype.h"

namespace quintle {

// Hash of a haplotype's allele pointers (and their number): equal haplotypes
// by pointer identity hash alike.
std::uint64_t haplotype_hash(TPopHaplotype const& h);

// Lookup table over a haplotype list: for every distinct allele sequence the
// position of its FIRST occurrence in stored order. It never reorders the
// list. The table follows appends made after it was built and is rebuilt on
// its own when the list shrank or its front changed; code that changes the
// alleles of stored haplotypes in place (or removes or reorders haplotypes)
// calls invalidate() afterwards.
class HaploIndex {
public:
    using List = MY_TIArrayAsVector<TPopHaplotype>;

    // Position of the first haplotype of list equal to h, or -1. hash must
    // be haplotype_hash(h).
    long find_first(List const& list, TPopHaplotype const& h, std::uint64_t hash) const;
    long find_first(List const& list, TPopHaplotype const& h) const {
        return find_first(list, h, haplotype_hash(h));
    }

    // Records that list[pos] (the last element) was appended with this hash.
    void appended(List const& list, long pos, std::uint64_t hash);

    // Forget everything; the next lookup rebuilds.
    void invalidate();

private:
    // Brings the table up to date with list: rebuilds when it is stale or
    // adds the positions appended since.
    void sync(List const& list) const;
    void rebuild(List const& list) const;
    void add_position(List const& list, long pos, std::uint64_t hash) const;
    void grow() const;

    static constexpr long kEmpty = -1;

    mutable std::vector<long> slots_;            // positions, kEmpty when free; size a power of 2
    mutable std::vector<std::uint64_t> hashes_;  // hash of the haplotype at each occupied slot
    mutable long used_ = 0;                      // occupied slots
    mutable long indexedCount_ = 0;              // list positions covered
    mutable TPopHaplotype const* lastIndexed_ = nullptr;  // list[indexedCount_ - 1] when built
    mutable bool valid_ = false;
};

}  // namespace quintle
