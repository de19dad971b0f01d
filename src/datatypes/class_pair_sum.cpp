#include "datatypes/class_pair_sum.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace quintle {

namespace {

// Below this every term, partial sum and weight is a whole number a double
// holds exactly.
constexpr double kExact = 4503599627370496.0;  // 2^52
constexpr std::int64_t kMaxCopies = std::int64_t{1} << 26;

// A class value that enters the sum as a whole number: finite, integral and
// small enough.
bool whole(double x) { return std::isfinite(x) && std::trunc(x) == x && std::fabs(x) < kExact; }

}  // namespace

std::optional<double> exact_class_pair_sum(PHaploDefList const& list, RectMat const& d) {
    long const n = list.count;
    if (!d.classed() || d.nRows < n) return std::nullopt;
    int const G = d.num_classes();
    // Per class: the sum of the counts, of their magnitudes and of their
    // squares.
    std::vector<std::int64_t> sum(static_cast<std::size_t>(G), 0);
    std::vector<std::int64_t> magnitude(static_cast<std::size_t>(G), 0);
    std::vector<std::int64_t> squares(static_cast<std::size_t>(G), 0);
    std::vector<long> rows(static_cast<std::size_t>(G), 0);
    std::int64_t copies = 0;
    for (long i = 0; i < n; ++i) {
        PHaploDef const* e = list.data[i];
        // The entry-by-entry sums differ on whether an absent entry has a
        // term: leave those lists to them.
        if (e == nullptr) return std::nullopt;
        std::int64_t const c = e->count;
        copies += std::llabs(c);
        if (copies > kMaxCopies) return std::nullopt;
        auto const a = static_cast<std::size_t>(d.row_class(static_cast<int>(i)));
        sum[a] += c;
        magnitude[a] += std::llabs(c);
        squares[a] += c * c;
        ++rows[a];
    }
    // Every pair of classes that two entries form (a zero weight times a
    // value that is not a number is still not a number), pairs within a
    // class with the weight (sum^2 - squares) / 2.
    double bound = 0.0;
    std::int64_t total = 0;
    for (int a = 0; a < G; ++a) {
        auto const ua = static_cast<std::size_t>(a);
        if (rows[ua] == 0) continue;
        for (int b = rows[ua] >= 2 ? a : a - 1; b >= 0; --b) {
            auto const ub = static_cast<std::size_t>(b);
            if (rows[ub] == 0) continue;
            double const value = d.below(a, b);
            if (!whole(value)) return std::nullopt;
            std::int64_t const weight = a == b ? (sum[ua] * sum[ua] - squares[ua]) / 2 : sum[ua] * sum[ub];
            std::int64_t const size =
                a == b ? (magnitude[ua] * magnitude[ua] - squares[ua]) / 2 : magnitude[ua] * magnitude[ub];
            bound += static_cast<double>(size) * std::fabs(value);
            if (!(bound < kExact)) return std::nullopt;
            total += weight * static_cast<std::int64_t>(value);
        }
    }
    return static_cast<double>(total);
}

}  // namespace quintle
