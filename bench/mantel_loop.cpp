// The least a Mantel permutation test can do: shuffle an index and gather the
// permuted lower triangle of Y against X, as plain loops over full matrices.
// The measure against which the program's own test is compared.
//   mantel_loop N PERMUTATIONS
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <utility>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: mantel_loop N PERMUTATIONS\n");
        return 2;
    }
    int const n = std::atoi(argv[1]);
    long const perms = std::atol(argv[2]);
    std::mt19937_64 rng(12345);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::vector<double> y(static_cast<std::size_t>(n) * n), x(static_cast<std::size_t>(n) * n);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < i; ++j) {
            y[i * n + j] = y[j * n + i] = u(rng);
            x[i * n + j] = x[j * n + i] = u(rng);
        }
    std::vector<int> idx(n);
    for (int i = 0; i < n; ++i) idx[i] = i;
    auto z = [&]() {
        double s = 0.0;
        for (int i = 1; i < n; ++i) {
            double const* yr = &y[static_cast<std::size_t>(idx[i]) * n];
            double const* xr = &x[static_cast<std::size_t>(i) * n];
            for (int j = 0; j < i; ++j) s += yr[idx[j]] * xr[j];
        }
        return s;
    };
    double const observed = z();
    long larger = 0;
    auto const start = std::chrono::steady_clock::now();
    for (long p = 0; p < perms; ++p) {
        for (int k = n; k >= 1; --k) {
            int r = static_cast<int>(k * u(rng));
            if (r == k) r = k - 1;
            std::swap(idx[r], idx[k - 1]);
        }
        if (z() >= observed) ++larger;
    }
    double const ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::printf("loop %d %ld %.1f %ld\n", n, perms, ms, larger);
    return 0;
}
