// Times the minimum spanning network (TMinSpaNet::MakeNetwork) on haplotypes
// written by make_mantel_project.py --haplotypes: distances are the numbers
// of differing sites.
//   network_bench FILE
// Prints: haplotypes, milliseconds, total tree length, alternative links.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "core/RectMat.h"
#include "mantel/TMinSpaNet.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: network_bench FILE\n");
        return 2;
    }
    std::ifstream in(argv[1]);
    std::vector<std::string> haps;
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) haps.push_back(line);
    int const n = static_cast<int>(haps.size());
    quintle::RectMat d(n, n);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j <= i; ++j) {
            int c = 0;
            for (std::size_t k = 0; k < haps[i].size(); ++k) c += haps[i][k] != haps[j][k];
            d(i, j) = d(j, i) = c;
        }
    auto const start = std::chrono::steady_clock::now();
    quintle::TMinSpaNet net(&d);
    net.MakeNetwork();
    double const ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    double total = 0.0;
    for (double l : net.linkLength) total += l;
    long links = 0;
    for (auto const& l : net.alternativeLinks) links += static_cast<long>(l.size());
    std::printf("network %d %.1f %.1f %ld\n", n, ms, total, links);
    return 0;
}
