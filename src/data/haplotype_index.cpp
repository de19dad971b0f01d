#include "data/haplotype_index.h"

#include <algorithm>

namespace quintle {

namespace {

// Final mixing step of a 64-bit generator: spreads pointer bits (whose low
// bits are mostly alignment zeros) over the whole word.
std::uint64_t mix(std::uint64_t x) {
    x ^= x >> 30;
    x *= 0xbf58476d1ce4e5b9ULL;
    x ^= x >> 27;
    x *= 0x94d049bb133111ebULL;
    x ^= x >> 31;
    return x;
}

}  // namespace

std::uint64_t haplotype_hash(TPopHaplotype const& h) {
    std::uint64_t x = mix(static_cast<std::uint64_t>(h.alleles.count) + 0x9e3779b97f4a7c15ULL);
    for (long i = 0; i < h.alleles.count; ++i) {
        x = mix(x ^ static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(h.alleles.data[i])));
    }
    return x;
}

long HaploIndex::find_first(List const& list, TPopHaplotype const& h, std::uint64_t hash) const {
    sync(list);
    if (slots_.empty()) return -1;
    std::size_t const mask = slots_.size() - 1;
    for (std::size_t i = hash & mask; slots_[i] != kEmpty; i = (i + 1) & mask) {
        TPopHaplotype const* stored = list.data[slots_[i]];
        if (hashes_[i] == hash && stored != nullptr && *stored == h) return slots_[i];
    }
    return -1;
}

void HaploIndex::appended(List const& list, long pos, std::uint64_t hash) {
    // A stale table is rebuilt by the next lookup anyway.
    if (!valid_ || pos != indexedCount_ || pos >= list.count || list.data[pos] == nullptr) {
        valid_ = false;
        return;
    }
    add_position(list, pos, hash);
    indexedCount_ = pos + 1;
    lastIndexed_ = list.data[pos];
}

void HaploIndex::invalidate() {
    valid_ = false;
    slots_.clear();
    hashes_.clear();
    used_ = 0;
    indexedCount_ = 0;
    lastIndexed_ = nullptr;
}

void HaploIndex::sync(List const& list) const {
    bool const stale = !valid_ || list.count < indexedCount_ ||
                       (indexedCount_ > 0 && list.data[indexedCount_ - 1] != lastIndexed_);
    if (stale) {
        rebuild(list);
        return;
    }
    for (long pos = indexedCount_; pos < list.count; ++pos) {
        if (list.data[pos] != nullptr) add_position(list, pos, haplotype_hash(*list.data[pos]));
    }
    indexedCount_ = list.count;
    lastIndexed_ = list.count > 0 ? list.data[list.count - 1] : nullptr;
}

void HaploIndex::rebuild(List const& list) const {
    slots_.clear();
    hashes_.clear();
    used_ = 0;
    for (long pos = 0; pos < list.count; ++pos) {
        if (list.data[pos] != nullptr) add_position(list, pos, haplotype_hash(*list.data[pos]));
    }
    indexedCount_ = list.count;
    lastIndexed_ = list.count > 0 ? list.data[list.count - 1] : nullptr;
    valid_ = true;
}

// Positions arrive in ascending order, so the entry kept for a key is its
// first occurrence; later equal haplotypes are not entered.
void HaploIndex::add_position(List const& list, long pos, std::uint64_t hash) const {
    if (static_cast<std::size_t>(used_ + 1) * 2 > slots_.size()) grow();
    std::size_t const mask = slots_.size() - 1;
    TPopHaplotype const& h = *list.data[pos];
    std::size_t i = hash & mask;
    for (; slots_[i] != kEmpty; i = (i + 1) & mask) {
        TPopHaplotype const* stored = list.data[slots_[i]];
        if (hashes_[i] == hash && stored != nullptr && *stored == h) return;
    }
    slots_[i] = pos;
    hashes_[i] = hash;
    ++used_;
}

void HaploIndex::grow() const {
    std::size_t const size = std::max<std::size_t>(16, slots_.size() * 2);
    std::vector<long> slots(size, kEmpty);
    std::vector<std::uint64_t> hashes(size, 0);
    std::size_t const mask = size - 1;
    for (std::size_t k = 0; k < slots_.size(); ++k) {
        if (slots_[k] == kEmpty) continue;
        std::size_t i = hashes_[k] & mask;
        while (slots[i] != kEmpty) i = (i + 1) & mask;
        slots[i] = slots_[k];
        hashes[i] = hashes_[k];
    }
    slots_.swap(slots);
    hashes_.swap(hashes);
}

}  // namespace quintle
