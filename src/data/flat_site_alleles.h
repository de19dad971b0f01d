#pragma once
// Alleles with one-character names kept per site without a record each.

#include <cstdint>
#include <memory>
#include <vector>

namespace quintle {

// Per site, the characters in the order they were first entered, each with
// its summed weight. A catalogue keeps its alleles here while every name
// entered has one character (the global table of the per-locus tables of
// sequence data) and makes records of them only when a reader of records
// asks (TAlleleDB::make_records). Sites live in chunks that never move, so a
// weight's address stays valid while the table lives.
class FlatSiteAlleles {
public:
    static constexpr int kSlots = 6;
    struct Site {
        double weight[kSlots];
        // The index the site was asked for when it was appended (an index
        // further beyond the end than the next one gives its name to the
        // next site, as it does to a locus record).
        long asked;
        char name[kSlots];
        std::uint8_t count;
    };

    long sites() const noexcept { return count_; }
    Site const& site(long l) const noexcept { return chunks_[chunk_of(l)][offset_of(l)]; }

    // What TAlleleDB::InsertAllPos(l, c, weight) does to a catalogue of
    // these sites: a site index not below sites() appends one site, the
    // character's weight grows by `weight` or it is appended with it. Sets
    // `at` to the site it went to and returns the weight's address; null
    // (and nothing entered) when the site already holds kSlots other
    // characters or l is negative.
    double* enter(long l, char c, double weight, long& at);

    void clear() noexcept;

    FlatSiteAlleles() = default;
    FlatSiteAlleles(FlatSiteAlleles&&) noexcept = default;
    FlatSiteAlleles& operator=(FlatSiteAlleles&&) noexcept = default;
    // Copies every site (a catalogue copied whole).
    FlatSiteAlleles(FlatSiteAlleles const& other);
    FlatSiteAlleles& operator=(FlatSiteAlleles const& other);

private:
    static constexpr long kChunkBits = 12;
    static constexpr long kChunk = 1L << kChunkBits;
    static std::size_t chunk_of(long l) noexcept { return static_cast<std::size_t>(l >> kChunkBits); }
    static std::size_t offset_of(long l) noexcept { return static_cast<std::size_t>(l & (kChunk - 1)); }
    Site& site_mut(long l) noexcept { return chunks_[chunk_of(l)][offset_of(l)]; }

    std::vector<std::unique_ptr<Site[]>> chunks_;
    long count_ = 0;
};

}  // namespace quintle
