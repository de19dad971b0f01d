#include "data/record_arena.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdlib>

namespace quintle {

namespace {

constexpr std::size_t kFirstBlock = std::size_t{1} << 12;
constexpr std::size_t kLargestBlock = std::size_t{1} << 21;

std::size_t rounded(std::size_t bytes) {
    constexpr std::size_t a = ArenaRecord::header;
    return (bytes + a - 1) / a * a;
}

// The header holds the record's arena, null for a heap record.
void* marked(void* raw, RecordArena* arena) {
    *static_cast<RecordArena**>(raw) = arena;
    return static_cast<std::byte*>(raw) + ArenaRecord::header;
}

}  // namespace

// Huge pages (madvise) were tried for the large blocks: fewer page faults
// when the system has free huge pages, but a stall of the run when it has
// to compact memory first (after any process that used much of it), so
// the blocks are plain memory.
void* allocate_block(std::size_t bytes) {
    void* const raw = std::malloc(std::max<std::size_t>(bytes, 1));
    if (raw == nullptr) throw std::bad_alloc();
    return raw;
}

void release_block(void* block) noexcept { std::free(block); }

void RecordArena::Free::operator()(std::byte* block) const noexcept { release_block(block); }

void* RecordArena::allocate(std::size_t bytes) {
    if (bytes > left_) {
        // Blocks double up to a ceiling, so small catalogues stay small.
        constexpr auto doublings = static_cast<std::size_t>(std::countr_zero(kLargestBlock / kFirstBlock));
        std::size_t size = kFirstBlock << std::min<std::size_t>(blocks_.size(), doublings);
        size = std::max(size, bytes);
        std::unique_ptr<std::byte, Free> block(static_cast<std::byte*>(allocate_block(size)));
        blocks_.push_back(std::move(block));  // a failure here releases the block
        next_ = blocks_.back().get();
        left_ = size;
    }
    void* const p = next_;
    next_ += bytes;
    left_ -= bytes;
    return p;
}

void RecordArena::adopt(std::shared_ptr<double[]> const& block) {
    if (adopted_.empty() || adopted_.back() != block) adopted_.push_back(block);
}

void RecordArena::drop() noexcept {
    dropped_ = true;
    if (live_ == 0) delete this;
}

void RecordArena::record_gone() noexcept {
    if (--live_ == 0 && dropped_) delete this;
}

void* ArenaRecord::operator new(std::size_t bytes) { return marked(::operator new(header + bytes), nullptr); }

void* ArenaRecord::operator new(std::size_t bytes, RecordArena& arena) {
    void* const record = marked(arena.allocate(header + rounded(bytes)), &arena);
    arena.record_made();
    return record;
}

void ArenaRecord::operator delete(void* record) noexcept {
    if (record == nullptr) return;
    std::byte* const raw = static_cast<std::byte*>(record) - header;
    RecordArena* const arena = *reinterpret_cast<RecordArena**>(raw);
    if (arena == nullptr)
        ::operator delete(raw);
    else
        arena->record_gone();  // the last one of a dropped arena takes its blocks along
}

void ArenaRecord::operator delete(void*, RecordArena& arena) noexcept { arena.record_gone(); }

RecordArena* ArenaRecord::arena_of(ArenaRecord const* record) noexcept {
    auto const* raw = reinterpret_cast<std::byte const*>(record) - header;
    return *reinterpret_cast<RecordArena* const*>(raw);
}

}  // namespace quintle
