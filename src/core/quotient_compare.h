#pragma once

// A number u (a draw) against a quotient a / b, answered as the division
// answers it (the quotient rounded to the nearest double), mostly without
// dividing. A division takes several times as long as a multiplication, and
// in the phasing chain every acceptance waits for one.
//
// When a, b and u are ordinary numbers (below), u * b is compared with a
// widened by four units in the last place each way: that margin takes in
// the rounding of the product, of the widened bound and of the quotient
// (each at most half a unit, 2^-53 relatively, none leaving the normal
// range), so outside it u lies on the same side of the rounded quotient
// as of the exact one. Proof, with e = 2^-53 and q = a / b:
//   below:  u b (1 - e) <= fl(u b) < fl(a (1 - 4e)) <= a (1 - 4e)(1 + e),
//           so u < q (1 - 4e)(1 + e) / (1 - e) < q (1 - e) <= fl(q);
//   above:  u b (1 + e) >= fl(u b) > fl(a (1 + 4e)) >= a (1 + 4e)(1 - e),
//           so u > q (1 + 4e)(1 - e) / (1 + e) > q (1 + e) >= fl(q).
// A u within the margin (about one in 10^15), or numbers outside the range
// (zero, negative, huge, tiny, infinite, not a number), take the division.

namespace quintle {

namespace quotient_detail {

// Where u lies against a / b by the product alone: below, above, or
// neither (within the margin, or numbers out of range). Both answers are
// values, not branches: the draws make them unpredictable.
struct Side {
    bool below;
    bool above;
    bool known() const { return below != above; }
};

inline Side side(double u, double a, double b) {
    // Products and quotients of numbers from 2^-500 to 2^500 stay normal.
    constexpr double lowest = 0x1p-500;
    constexpr double highest = 0x1p500;
    bool const ordinary = a >= lowest && a <= highest && b >= lowest && b <= highest &&
                          (u == 0.0 || (u >= lowest && u <= highest));
    double const p = u * b;
    return {ordinary && p < a * (1.0 - 0x1p-51), ordinary && p > a * (1.0 + 0x1p-51)};
}

}  // namespace quotient_detail

// u < a / b
inline bool below_quotient(double u, double a, double b) {
    quotient_detail::Side const s = quotient_detail::side(u, a, b);
    if (!s.known()) [[unlikely]]
        return u < a / b;
    return s.below;
}

// u >= a / b
inline bool at_or_above_quotient(double u, double a, double b) {
    quotient_detail::Side const s = quotient_detail::side(u, a, b);
    if (!s.known()) [[unlikely]]
        return u >= a / b;
    return s.above;
}

// u > a / b
inline bool above_quotient(double u, double a, double b) {
    quotient_detail::Side const s = quotient_detail::side(u, a, b);
    if (!s.known()) [[unlikely]]
        return u > a / b;
    return s.above;
}

}  // namespace quintle
