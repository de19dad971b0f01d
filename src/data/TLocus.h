#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <string_view>

#include "core/MY_TIArrayAsVector.h"
#include "core/my_string.h"
#include "data/TAllele.h"

namespace quintle {

class TAlleleDB;

// The twelve per-locus values of a locus: zero until one is written, and
// held out of line until then, so that a catalogue of one locus per site
// does not carry a block of zeros per site that no analysis reads.
class LocusValues {
public:
    static constexpr std::size_t size() { return 12; }

    LocusValues() = default;
    LocusValues(LocusValues const& other) : values_(copy_of(other)) {}
    LocusValues& operator=(LocusValues const& other) {
        if (this != &other) values_ = copy_of(other);
        return *this;
    }
    LocusValues(LocusValues&&) noexcept = default;
    LocusValues& operator=(LocusValues&&) noexcept = default;
    ~LocusValues() = default;

    double operator[](std::size_t i) const { return values_ ? (*values_)[i] : 0.0; }
    double& operator[](std::size_t i) {
        if (!values_) values_ = std::make_unique<Block>();
        return (*values_)[i];
    }

private:
    using Block = std::array<double, 12>;
    static std::unique_ptr<Block> copy_of(LocusValues const& other) {
        return other.values_ ? std::make_unique<Block>(*other.values_) : nullptr;
    }
    std::unique_ptr<Block> values_;  // null: all zero
};

// Where the locus-by-locus AMOVA leaves the results of a locus's own AMOVA
// in TLocus::values: the four variance components in the design's table
// order, their total and the five fixation indices. All ten are -2.0 for a
// locus whose one-locus samples could not be built, and 0 for a locus that
// was not analysed.
enum LocusAmovaValue : std::size_t {
    locus_V1 = 0,
    locus_V2,
    locus_V3,
    locus_V4,
    locus_VT,
    locus_FIS,
    locus_FST,
    locus_FSC,
    locus_FCT,
    locus_FIT,
    locus_amova_values  // their number
};

// One locus: a named list of alleles that owns them. A locus made by a
// catalogue lives in the catalogue's arena and takes its new alleles from
// there too; any other locus (a copy among them) uses the heap. An allele keeps its
// position for as long as the locus lives, unless other code rearranges
// `alleles` itself (for instance to order a printed table by name); lookups
// stay correct after such a rearrangement. Slots of `alleles` may be null
// and are then skipped.
class TLocus : public ArenaRecord {
public:
    // In insertion order, owned; room for the blank and two alleles, what
    // most loci of a sequence hold.
    MY_TIArrayAsVector<TAllele> alleles{3, 5};
    my_string name;
    int printWidth = 1;                    // longest allele name + 1, set by the printer
    LocusValues values;                    // per-locus results kept by other analyses
    // Expected heterozygosity of the locus over the samples of a structure,
    // weighted by sample size: within samples, and of the groups' pooled
    // frequencies (the selection scan).
    double meanSampleHet = 0.0;
    double meanGroupHet = 0.0;

    explicit TLocus(my_string const& locusName);
    explicit TLocus(char const* locusName);
    TLocus(TLocus const& other);
    TLocus& operator=(TLocus const& other);
    ~TLocus();

    // First allele whose name begins with c / equals s; null when none.
    TAllele* find_allele_by_name(char const& c) const;
    TAllele* find_allele_by_name(my_string const& s) const;
    // Their positions; -1 when none.
    int find_allele_pos_by_name(char const& c) const;
    int find_allele_pos_by_name(my_string const& s) const;
    // Position of that very allele; -1 when it is not in this locus.
    int get_allele_index(TAllele const* a) const;

    // 1 when the locus carries more than one real allele: more than 3
    // entries, or exactly 3 of which entry 2 is not the missing-data allele
    // (entry 0 being the recessive blank).
    int is_polymorph(char missing) const;
    // 1 when more than one allele is named neither by the missing-data
    // character nor by `other`.
    int is_polymorph(char missing, my_string const& other) const;

private:
    friend class TAlleleDB;

    // Find-or-append used by the catalogue: an existing allele gains
    // `weight`, a new one starts with it and records `locusIndex`.
    // Returns the allele's position.
    int insert(my_string const& alleleName, double weight, int locusIndex);
    int insert(char c, double weight, int locusIndex);
    int append_new(my_string const& alleleName, double weight, int locusIndex);
    int append_new(char c, double weight, int locusIndex);
    int append(std::unique_ptr<TAllele> allele, double weight, int locusIndex);
    // Position of the first allele named by c, or of a new one (weight 0)
    // appended for it; `created` tells which.
    long find_or_append(char c, int locusIndex, bool& created);

    // Small loci are searched directly; from this many alleles on, a name
    // index answers instead.
    static constexpr long index_threshold = 9;

    // Where an allele stood when the index was built.
    struct IndexSlot {
        long pos = -1;
        TAllele const* allele = nullptr;
    };
    struct NameIndex;
    // Drops the index when the locus is small, (re)builds it when missing or
    // when `alleles` no longer has the count it was built for.
    NameIndex* synced_index() const;
    NameIndex* rebuild_index() const;
    template <class Matches>
    bool still_first(IndexSlot const& s, Matches const& matches) const;
    long lookup_name(std::string_view key) const;
    long lookup_first_char(char c) const;

    // Built on demand by the const lookups, never copied.
    mutable std::unique_ptr<NameIndex> index_;
    // Where new alleles come from: the owning catalogue's arena, or the
    // heap when null. Not copied.
    RecordArena* arena_ = nullptr;
};

}  // namespace quintle
