// The plain loops the chain benchmark compares the program's chains with:
// the same draws from ran3 and the same table updates as a step of the
// Hardy-Weinberg chain and of the short linkage chain, the running log-ratio
// and the hit count, and nothing else (no bins, no progress, no stop test).
//
// Usage: chain_loop TABLES HW_STEPS LD_STEPS
//   TABLES    lines "hw n00 n01 n11" and "ld n00 n01 n10 n11"
//   HW_STEPS  steps per genotype table, LD_STEPS per two-locus table
// Prints, per kind, the tables, the steps, the seconds and the steps per
// second, and the sum of the hits (so that no loop can be left out).

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/random.h"

using quintle::ran3;

namespace {

struct Timing {
    long tables = 0;
    std::int64_t steps = 0;
    double seconds = 0.0;
    std::int64_t hits = 0;
};

// Index 0 or 1, as the chains draw it for two alleles; the second form
// differs from `other`.
inline int index2(long& seed) {
    int i;
    do {
        i = static_cast<int>(2 * ran3(&seed));
    } while (i == 2);
    return i;
}

inline int index2_except(int other, long& seed) {
    int i;
    do {
        i = static_cast<int>(2 * ran3(&seed));
    } while (i == other || i == 2);
    return i;
}

std::int64_t hw_loop(int n00, int n01, int n11, std::int64_t steps) {
    int t[2][2] = {{n00, n01}, {0, n11}};
    long seed = 1;
    long double lnRatio = 0.0L;
    std::int64_t hits = 0;
    for (std::int64_t s = 0; s < steps; ++s) {
        int const a = index2(seed);
        int const b = index2(seed);
        int const c = index2_except(a, seed);
        int const d = index2_except(b, seed);
        int& nab = a <= b ? t[a][b] : t[b][a];
        int& ncd = c <= d ? t[c][d] : t[d][c];
        int& nad = a <= d ? t[a][d] : t[d][a];
        int& ncb = c <= b ? t[c][b] : t[b][c];
        double r;
        if (a == b && c == d)
            r = nab && ncd ? double(std::int64_t{nab} * ncd) / double((std::int64_t{ncb} + 2) * (nad + 1)) : 0.0;
        else if (a == d && b == c)
            r = nab >= 2 ? double(std::int64_t{nab} * (nab - 1)) / double((std::int64_t{ncb} + 1) * (nad + 1)) : 0.0;
        else
            r = nab && ncd ? double(std::int64_t{nab} * ncd) / double((std::int64_t{ncb} + 1) * (nad + 1)) : 0.0;
        if (a == b) r *= 2.0;
        if (c == d) r *= 2.0;
        if (a == d) r *= 0.5;
        if (c == b) r *= 0.5;
        if (ran3(&seed) < r) {
            --nab;
            --ncd;
            ++nad;
            ++ncb;
            lnRatio += std::log(r);
        }
        if (lnRatio <= 1e-6) ++hits;
    }
    return hits;
}

std::int64_t ld_loop(int const cells[4], std::int64_t steps) {
    int t[2][2] = {{cells[0], cells[1]}, {cells[2], cells[3]}};
    long seed = 1;
    long double lnRatio = 0.0L;
    std::int64_t hits = 0;
    for (std::int64_t s = 0; s < steps; ++s) {
        int const r1 = index2(seed);
        int const c1 = index2(seed);
        int const r2 = index2_except(r1, seed);
        int const c2 = index2_except(c1, seed);
        double const R =
            double(std::int64_t{t[r1][c1]} * t[r2][c2]) / double((std::int64_t{t[r1][c2]} + 1) * (t[r2][c1] + 1));
        bool move = R >= 1.0;
        if (!move) move = !(ran3(&seed) > R || R == 0.0);
        if (move) {
            --t[r1][c1];
            --t[r2][c2];
            ++t[r1][c2];
            ++t[r2][c1];
            if (R != 1.0) lnRatio += std::log(R);
        }
        if (lnRatio <= 0.0L) ++hits;
    }
    return hits;
}

void report(char const* kind, Timing const& t) {
    std::printf("%s %ld %lld %.6f %.0f %lld\n", kind, t.tables, static_cast<long long>(t.steps), t.seconds,
                t.seconds > 0 ? static_cast<double>(t.steps) / t.seconds : 0.0, static_cast<long long>(t.hits));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: chain_loop TABLES HW_STEPS LD_STEPS\n");
        return 2;
    }
    std::ifstream in(argv[1]);
    if (!in) {
        std::fprintf(stderr, "chain_loop: cannot read %s\n", argv[1]);
        return 1;
    }
    std::int64_t const hwSteps = std::stoll(argv[2]);
    std::int64_t const ldSteps = std::stoll(argv[3]);
    long seed = -4242;
    ran3(&seed);

    Timing hw, ld;
    using clock = std::chrono::steady_clock;
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::string kind;
        words >> kind;
        auto const start = clock::now();
        if (kind == "hw") {
            int n[3];
            words >> n[0] >> n[1] >> n[2];
            hw.hits += hw_loop(n[0], n[1], n[2], hwSteps);
            hw.seconds += std::chrono::duration<double>(clock::now() - start).count();
            hw.steps += hwSteps;
            ++hw.tables;
        } else if (kind == "ld") {
            int n[4];
            words >> n[0] >> n[1] >> n[2] >> n[3];
            ld.hits += ld_loop(n, ldSteps);
            ld.seconds += std::chrono::duration<double>(clock::now() - start).count();
            ld.steps += ldSteps;
            ++ld.tables;
        }
    }
    report("hw", hw);
    report("ld", ld);
    return 0;
}
