#pragma once

#include <cstddef>
#include <cstring>
#include <memory>
#include <ostream>
#include <utility>

#include "core/MY_TArrayAsVector.h"
#include "core/my_string.h"
#include "data/record_arena.h"

namespace quintle {

// Array of per-population (or per-group) frequencies of one allele: its
// own, or a stretch of a block its catalogue holds for all its alleles (see
// TAlleleDB::create_pop_freq_vector). It knows its own length, so copying
// an allele after the class-wide length has changed never reads past the
// source's storage. Null until created.
class FreqArray {
public:
    FreqArray() = default;
    FreqArray(FreqArray&& other) noexcept { take(other); }
    FreqArray& operator=(FreqArray&& other) noexcept {
        if (this != &other) {
            reset();
            take(other);
        }
        return *this;
    }
    // Copies need an explicit length: see resized_copy.
    FreqArray(FreqArray const&) = delete;
    FreqArray& operator=(FreqArray const&) = delete;
    ~FreqArray() { reset(); }

    // n zeros; throws std::bad_alloc (also for a negative n).
    static FreqArray zeros(int n);
    // n values: the source's first ones, zeros beyond its end. A null
    // source gives a null array. Throws std::bad_alloc.
    static FreqArray resized_copy(FreqArray const& source, int n);
    // The n values at `values`, owned by whoever made them (a catalogue's
    // block); they must outlive the array's use.
    static FreqArray borrowed(double* values, int n) noexcept {
        FreqArray array;
        array.values_ = values;
        array.size_ = n;
        return array;
    }

    double& operator[](std::ptrdiff_t i) noexcept { return values_[i]; }
    double const& operator[](std::ptrdiff_t i) const noexcept { return values_[i]; }
    double* get() noexcept { return values_; }
    double const* get() const noexcept { return values_; }
    int size() const noexcept { return size_; }
    bool is_borrowed() const noexcept { return values_ != nullptr && !owned_; }
    explicit operator bool() const noexcept { return values_ != nullptr; }
    void reset() noexcept {
        if (owned_) delete[] values_;
        values_ = nullptr;
        size_ = 0;
        owned_ = false;
    }

    friend bool operator==(FreqArray const& a, std::nullptr_t) noexcept { return !a.values_; }

private:
    void take(FreqArray& other) noexcept {
        values_ = std::exchange(other.values_, nullptr);
        size_ = std::exchange(other.size_, 0);
        owned_ = std::exchange(other.owned_, false);
    }

    // Sixteen bytes, as a catalogue holds two per allele.
    double* values_ = nullptr;
    int size_ = 0;
    bool owned_ = false;  // values_ from new[], released here
};

// One allele of a locus. Alleles live on the heap or in their catalogue's
// arena, owned by their TLocus; everything else refers to them by pointer,
// and that pointer is the allele's identity.
class TAllele : public ArenaRecord {
public:
    // Length given to the popFreq / groupFreq arrays of every allele; a copy
    // takes these lengths.
    static int numPop;
    static int numGroup;

    my_string name;
    double weight = 0.0;   // sum of the weights it was inserted with
    int locus = 0;         // index of the locus it was inserted for
    // Position within the multi-locus haplotype a sub-haplotype was last cut
    // from; written by that cut, not copied by assignment. -1 until then.
    int sourcePos = -1;
    int selected = 1;      // 1: takes part in computations
    FreqArray popFreq;     // numPop per-population frequencies, or null
    FreqArray groupFreq;   // numGroup per-group frequencies, or null
    double expFreq = 0.0;
    double inbreedingCorr = 0.0;

    TAllele();
    TAllele(TAllele const& other);
    // Copies everything but sourcePos; each present array becomes one of the
    // current class-wide length.
    TAllele& operator=(TAllele const& other);
    ~TAllele() = default;
};

// Writes the name only.
std::ostream& operator<<(std::ostream& os, TAllele const& allele);

// Alleles sort by name in ascending byte order (the order of the written
// allele tables and spectra). Names are distinct within a locus, so this
// order is total there.
template <>
struct ArrayOrder<TAllele> {
    static bool before(TAllele const& a, TAllele const& b) { return std::strcmp(a.name.c_str(), b.name.c_str()) < 0; }
};

}  // namespace quintle
