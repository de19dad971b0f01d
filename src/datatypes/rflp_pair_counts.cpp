#include "datatypes/rflp_pair_counts.h"

#include <algorithm>
#include <array>
#include <bit>
#include <unordered_map>

namespace quintle {

namespace {

// More states than this (unusual characters in the texts) are compared
// character by character: the planes would cost more than they save.
constexpr std::size_t kMaxPlaneStates = 6;

}  // namespace

void RflpTexts::build(std::vector<std::string_view> const& texts, std::vector<int> const& sites, char missing,
                      bool deletions) {
    missing_ = missing;
    deletions_ = deletions;
    distinctOf_.assign(texts.size(), 0);
    rows_.clear();
    std::unordered_map<std::string, int> seen;
    std::string row(sites.size(), missing);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        std::string_view const text = texts[i];
        for (std::size_t k = 0; k < sites.size(); ++k) {
            const auto s = static_cast<std::size_t>(sites[k]);
            row[k] = s < text.size() ? text[s] : missing;
        }
        auto const [it, added] = seen.emplace(row, static_cast<int>(rows_.size()));
        if (added) rows_.push_back(row);
        distinctOf_[i] = it->second;
    }
    build_planes();
}

void RflpTexts::build_planes() {
    std::array<bool, 256> present{};
    for (std::string const& r : rows_)
        for (char c : r) present[static_cast<unsigned char>(c)] = true;
    states_.clear();
    for (int c = 0; c < 256; ++c) {
        const char state = static_cast<char>(c);
        // Missing data is never equal to anything; deletions that do not
        // count are left out of the comparable sites.
        if (present[static_cast<std::size_t>(c)] && state != missing_ && (deletions_ || state != '-'))
            states_.push_back(state);
    }
    planes_ = states_.size() <= kMaxPlaneStates;
    bits_.clear();
    if (!planes_) return;
    const std::size_t width = rows_.empty() ? 0 : rows_[0].size();
    words_ = (width + 63) / 64;
    const std::size_t perRow = words_ * (states_.size() + 1);
    bits_.assign(perRow * rows_.size(), 0);
    for (std::size_t r = 0; r < rows_.size(); ++r) {
        std::uint64_t* comparable = bits_.data() + r * perRow;
        for (std::size_t k = 0; k < width; ++k) {
            const char c = rows_[r][k];
            const auto at = static_cast<std::size_t>(std::find(states_.begin(), states_.end(), c) - states_.begin());
            if (at == states_.size()) continue;
            const std::uint64_t bit = std::uint64_t{1} << (k % 64);
            comparable[k / 64] |= bit;
            comparable[(at + 1) * words_ + k / 64] |= bit;
        }
    }
}

int RflpTexts::differences(int a, int b) const {
    if (!planes_) {
        std::string const& x = rows_[static_cast<std::size_t>(a)];
        std::string const& y = rows_[static_cast<std::size_t>(b)];
        int d = 0;
        for (std::size_t k = 0; k < x.size(); ++k) d += rflp_states_differ(x[k], y[k], missing_, deletions_) ? 1 : 0;
        return d;
    }
    // Sites comparable in both, less those where both hold the same state.
    const std::size_t perRow = words_ * (states_.size() + 1);
    std::uint64_t const* x = bits_.data() + static_cast<std::size_t>(a) * perRow;
    std::uint64_t const* y = bits_.data() + static_cast<std::size_t>(b) * perRow;
    int d = 0;
    for (std::size_t w = 0; w < words_; ++w) d += std::popcount(x[w] & y[w]);
    for (std::size_t w = words_; w < perRow; ++w) d -= std::popcount(x[w] & y[w]);
    return d;
}

}  // namespace quintle
