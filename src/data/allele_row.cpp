#include "data/allele_row.h"

#include <algorithm>
#include <new>
#include <utility>

#include "core/MY_TArrayAsVector.h"
#include "data/record_arena.h"

namespace quintle {

namespace {

// Room for `room` slots, the null one after the last included; the run ends
// with the arrays' memory message when it cannot be had.
std::shared_ptr<TAllele*[]> new_slots(long room, char const* function) {
    try {
        if (room < 1) throw std::bad_array_new_length();
        return std::shared_ptr<TAllele*[]>(new TAllele*[static_cast<std::size_t>(room)]);
    } catch (std::bad_alloc const&) {
        arrayMemoryFailure(function);
    }
}

struct ReleaseBlock {
    void operator()(TAllele** block) const noexcept { release_block(block); }
};

}  // namespace

AlleleRowBlock::AlleleRowBlock(std::size_t slots) : size_(slots) {
    try {
        block_ = std::shared_ptr<TAllele*[]>(static_cast<TAllele**>(allocate_block(slots * sizeof(TAllele*))),
                                             ReleaseBlock{});
    } catch (std::bad_alloc const&) {
        arrayMemoryFailure("AlleleRowBlock::AlleleRowBlock()");
    }
}

AlleleRow::AlleleRow(AlleleRow&& other) noexcept
    : data(std::exchange(other.data, nullptr)),
      count(std::exchange(other.count, 0)),
      slots_(std::move(other.slots_)),
      capacity_(std::exchange(other.capacity_, 0)) {}

AlleleRow& AlleleRow::operator=(AlleleRow&& other) noexcept {
    if (this != &other) {
        data = std::exchange(other.data, nullptr);
        count = std::exchange(other.count, 0);
        slots_ = std::move(other.slots_);
        capacity_ = std::exchange(other.capacity_, 0);
    }
    return *this;
}

// A row of its own with room for `room` slots, holding the current pointers.
void AlleleRow::own(long room) {
    room = std::max(room, count + 1);
    auto slots = new_slots(room, "AlleleRow::Add()");
    std::copy(data, data + count, slots.get());
    std::fill(slots.get() + count, slots.get() + room, nullptr);
    slots_ = std::move(slots);
    capacity_ = room;
    data = slots_.get();
}

long AlleleRow::Add(TAllele* allele) {
    if (slots_ == nullptr || shared() || count + 1 >= capacity_) own(std::max<long>(2 * capacity_, count + 11));
    slots_[count++] = allele;
    return count;
}

void AlleleRow::Reallocate(int n) {
    count = 0;
    capacity_ = static_cast<long>(std::max(n, 0)) + 1;
    slots_ = new_slots(capacity_, "AlleleRow::Reallocate()");
    std::fill(slots_.get(), slots_.get() + capacity_, nullptr);
    data = slots_.get();
}

TAllele** AlleleRow::fill(int n) {
    count = 0;
    long const length = std::max(n, 0);
    slots_ = new_slots(length + 1, "AlleleRow::fill()");
    capacity_ = length + 1;
    slots_[length] = nullptr;
    data = slots_.get();
    count = length;
    return slots_.get();
}

TAllele** AlleleRow::fill(int n, AlleleRowBlock& block) {
    long const length = std::max(n, 0);
    if (block.next_ + static_cast<std::size_t>(length) + 1 > block.size_) return fill(n);  // no room left
    TAllele** const row = block.block_.get() + block.next_;
    block.next_ += static_cast<std::size_t>(length) + 1;
    try {
        // A control block of its own: the row counts its own holders.
        slots_ = std::shared_ptr<TAllele*[]>(row, [keep = block.block_](TAllele**) noexcept {});
    } catch (std::bad_alloc const&) {
        arrayMemoryFailure("AlleleRow::fill()");
    }
    capacity_ = length + 1;
    row[length] = nullptr;
    data = row;
    count = length;
    return row;
}

void AlleleRow::Flush() {
    if (shared()) {
        slots_.reset();
        data = nullptr;
        capacity_ = 0;
    } else if (slots_ != nullptr) {
        std::fill(slots_.get(), slots_.get() + capacity_, nullptr);
    }
    count = 0;
}

}  // namespace quintle
