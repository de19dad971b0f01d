#include "data/flat_site_alleles.h"

#include <memory>

namespace quintle {

double* FlatSiteAlleles::enter(long l, char c, double weight, long& at) {
    at = -1;
    if (l < 0) return nullptr;
    if (l >= count_) {
        // One site only, even for an index further beyond the end.
        if (chunk_of(count_) >= chunks_.size()) chunks_.push_back(std::make_unique_for_overwrite<Site[]>(kChunk));
        Site& added = site_mut(count_);
        added.count = 0;
        added.asked = l;
        l = count_++;
    }
    Site& s = site_mut(l);
    for (int k = 0; k < s.count; ++k) {
        if (s.name[k] == c) {
            s.weight[k] += weight;
            at = l;
            return &s.weight[k];
        }
    }
    if (s.count >= kSlots) return nullptr;
    int const k = s.count++;
    s.name[k] = c;
    s.weight[k] = weight;
    at = l;
    return &s.weight[k];
}

FlatSiteAlleles::FlatSiteAlleles(FlatSiteAlleles const& other) { *this = other; }

FlatSiteAlleles& FlatSiteAlleles::operator=(FlatSiteAlleles const& other) {
    if (this == &other) return *this;
    std::vector<std::unique_ptr<Site[]>> chunks;
    chunks.reserve(other.chunks_.size());
    for (std::size_t c = 0; c < other.chunks_.size(); ++c) {
        chunks.push_back(std::make_unique_for_overwrite<Site[]>(kChunk));
        long const first = static_cast<long>(c) * kChunk;
        for (long i = 0; i < kChunk && first + i < other.count_; ++i) chunks.back()[i] = other.chunks_[c][i];
    }
    chunks_ = std::move(chunks);
    count_ = other.count_;
    return *this;
}

void FlatSiteAlleles::clear() noexcept {
    chunks_.clear();
    count_ = 0;
}

}  // namespace quintle
