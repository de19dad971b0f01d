#pragma once

// Ewens' sampling formula written out directly, as a reference for the
// table-based computations: P(K = j) = |s(n, j)| theta^j / (theta (theta + 1)
// ... (theta + n - 1)), with the unsigned Stirling numbers of the first kind
// from their own recurrence.

#include <cmath>
#include <vector>

namespace quintle::testing_support {

inline std::vector<std::vector<long double>> stirling_rows(int nmax) {
    std::vector<std::vector<long double>> s(nmax + 1, std::vector<long double>(nmax + 1, 0.0L));
    s[0][0] = 1.0L;
    for (int n = 1; n <= nmax; ++n)
        for (int j = 1; j <= n; ++j) s[n][j] = (n - 1) * s[n - 1][j] + s[n - 1][j - 1];
    return s;
}

// P(K = j) for j = 0 .. n.
inline std::vector<long double> ewens(int n, long double theta) {
    const auto s = stirling_rows(n);
    long double rising = 1.0L;
    for (int i = 0; i < n; ++i) rising *= theta + i;
    std::vector<long double> p(n + 1, 0.0L);
    for (int j = 1; j <= n; ++j) p[j] = s[n][j] * std::pow(theta, static_cast<long double>(j)) / rising;
    return p;
}

}  // namespace quintle::testing_support
