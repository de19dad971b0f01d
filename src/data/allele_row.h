#pragma once

// The allele vector of a haplotype definition: one allele pointer per locus,
// borrowed from a catalogue. Rows are shared: a copy of a definition, and a
// definition whose text repeats an earlier one of its list, hold the same row
// instead of a copy of it, so a list of many equal sequences costs one row
// per distinct text. It is read like the program's other arrays, through
// `data` and `count`; every writer first gives this holder a row of its own
// when the row is shared, so a write never shows through another holder.

#include <cstddef>
#include <memory>

#include "data/TAllele.h"

namespace quintle {

// Room for the rows of many definitions in one block (a table of 100,000
// sites for each distinct sequence), handed out row by row. Each row keeps
// the block alive, and is still a row of its own for AlleleRow::shared.
class AlleleRowBlock {
public:
    // Room for `slots` pointers in all; the run ends with the arrays'
    // memory message when it cannot be had.
    explicit AlleleRowBlock(std::size_t slots);

private:
    friend class AlleleRow;
    std::shared_ptr<TAllele*[]> block_;
    std::size_t next_ = 0;
    std::size_t size_ = 0;
};

class AlleleRow {
public:
    TAllele* const* data = nullptr;  // count slots, then a null one; null when no row
    long count = 0;

    AlleleRow() = default;
    AlleleRow(AlleleRow const& other) = default;
    AlleleRow& operator=(AlleleRow const& other) = default;
    AlleleRow(AlleleRow&& other) noexcept;
    AlleleRow& operator=(AlleleRow&& other) noexcept;
    ~AlleleRow() = default;

    // Appends a pointer, growing the row as needed. Returns the new count.
    long Add(TAllele* allele);
    // An empty row of its own with room for n pointers.
    void Reallocate(int n);
    // A row of its own of n slots for the caller to fill at once; count is n
    // and the slot after the last is null.
    TAllele** fill(int n);
    // The same, the row taken from `block` (a row of its own when the block
    // has no room left for n + 1 slots).
    TAllele** fill(int n, AlleleRowBlock& block);
    // No pointer left; a shared row is let go, an own row keeps its room.
    void Flush();
    // True when another holder shares this row.
    bool shared() const { return slots_ != nullptr && slots_.use_count() > 1; }

private:
    void own(long room);

    std::shared_ptr<TAllele*[]> slots_;
    long capacity_ = 0;  // slots allocated, the null one after the last included
};

}  // namespace quintle
