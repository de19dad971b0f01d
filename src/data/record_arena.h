#pragma once

// Storage for the loci and alleles of one allele catalogue. A catalogue of
// haplotypic sequences holds a locus per site and an allele per character
// seen there, hundreds of thousands of small records that mostly live and
// die together; cut from large blocks, they cost a few allocations instead
// of one each, lie next to one another and go back in one step.

#include <cstddef>
#include <memory>
#include <new>
#include <vector>

namespace quintle {

// Made on the heap by its owner (a catalogue) and let go with drop(): the
// blocks go when the owner has let go and no record cut from them is left,
// so records moved out of their catalogue stay valid until deleted.
class RecordArena {
public:
    RecordArena() = default;
    RecordArena(RecordArena const&) = delete;
    RecordArena& operator=(RecordArena const&) = delete;

    // `bytes` (a multiple of the record alignment) from the current block,
    // or from a new one; throws std::bad_alloc.
    void* allocate(std::size_t bytes);
    // The owner lets go: the arena is deleted now when no record is alive,
    // else with the last one.
    void drop() noexcept;
    std::size_t blocks() const noexcept { return blocks_.size(); }
    long live() const noexcept { return live_; }
    // Keeps `block` (values that records of this arena borrow) for as long
    // as the arena lives.
    void adopt(std::shared_ptr<double[]> const& block);

private:
    friend class ArenaRecord;
    ~RecordArena() = default;
    void record_made() noexcept { ++live_; }
    void record_gone() noexcept;

    struct Free {
        void operator()(std::byte* block) const noexcept;
    };
    std::vector<std::unique_ptr<std::byte, Free>> blocks_;
    std::vector<std::shared_ptr<double[]>> adopted_;
    std::byte* next_ = nullptr;
    std::size_t left_ = 0;
    long live_ = 0;
    bool dropped_ = false;
};

// A block of `bytes` for a large table (throws std::bad_alloc), released by
// release_block.
void* allocate_block(std::size_t bytes);
void release_block(void* block) noexcept;

// Base of the record classes a catalogue may hold in its arena. `new T`
// takes the record from the heap, `new (arena) T` from the arena; `delete`
// hands a heap record back and tells an arena record's arena, so an owner
// deletes both kinds alike. Each record carries a small header naming its
// arena (none for the heap).
class ArenaRecord {
public:
    static void* operator new(std::size_t bytes);
    static void* operator new(std::size_t bytes, RecordArena& arena);
    static void operator delete(void* record) noexcept;
    // Called only when a constructor fails on an arena record.
    static void operator delete(void* record, RecordArena& arena) noexcept;
    // The arena of a record made by `new`; null for a heap record.
    static RecordArena* arena_of(ArenaRecord const* record) noexcept;

    static constexpr std::size_t header = alignof(std::max_align_t);
};

}  // namespace quintle
