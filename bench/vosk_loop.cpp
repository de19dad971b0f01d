// The plain loop the phasing benchmark compares an update step with: per
// step, draw an individual as the chain does (one ran3 draw) and count, for
// every gamete of the other individuals, its differences with each of the
// individual's two gametes over all sites, tallying the gametes at 0 and 1
// difference. Gametes are contiguous int arrays, one per gamete.
//
// Usage: vosk_loop TABLE STEPS
//   TABLE  one row per individual, two columns per site (make_genotypes.py
//          --table)
// Prints the individuals, sites, steps, seconds, seconds per step and the
// tally (so that no work can be left out).

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/random.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: vosk_loop TABLE STEPS\n");
        return 2;
    }
    std::ifstream in(argv[1]);
    std::vector<std::vector<int>> rows;
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::vector<int> row;
        for (std::string x; fields >> x;) row.push_back(static_cast<unsigned char>(x[0]));
        if (!row.empty()) rows.push_back(row);
    }
    if (rows.empty() || rows[0].size() % 2 != 0) {
        std::fprintf(stderr, "vosk_loop: no genotypes in %s\n", argv[1]);
        return 1;
    }
    int const n = static_cast<int>(rows.size());
    int const L = static_cast<int>(rows[0].size() / 2);
    // Gamete 2i and 2i + 1 of individual i, site after site.
    std::vector<int> g(static_cast<std::size_t>(2 * n * L));
    for (int i = 0; i < n; ++i)
        for (int l = 0; l < L; ++l) {
            g[static_cast<std::size_t>((2 * i) * L + l)] =
                rows[static_cast<std::size_t>(i)][static_cast<std::size_t>(2 * l)];
            g[static_cast<std::size_t>((2 * i + 1) * L + l)] =
                rows[static_cast<std::size_t>(i)][static_cast<std::size_t>(2 * l + 1)];
        }
    long const steps = std::atol(argv[2]);
    long seed = -4242;
    quintle::ran3(&seed);
    long tally = 0;
    auto const t0 = std::chrono::steady_clock::now();
    for (long s = 0; s < steps; ++s) {
        long one = 1;
        int const f = static_cast<int>(quintle::ran3(&one) * n);
        int const* a = &g[static_cast<std::size_t>(2 * f * L)];
        int const* b = a + L;
        for (int r = 0; r < 2 * n; ++r) {
            if (r / 2 == f) continue;
            int const* x = &g[static_cast<std::size_t>(r * L)];
            int dA = 0, dB = 0;
            for (int l = 0; l < L; ++l) {
                dA += x[l] != a[l];
                dB += x[l] != b[l];
            }
            tally += (dA < 2) + (dB < 2);
        }
    }
    double const seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::printf("%d %d %ld %.6f %.3e %ld\n", n, L, steps, seconds, seconds / static_cast<double>(steps), tally);
    return 0;
}
