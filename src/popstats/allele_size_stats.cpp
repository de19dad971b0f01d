#include "popstats/allele_size_stats.h"

#include <algorithm>
#include <cstdlib>

#include "data/TPhenotype.h"

namespace quintle {

int allele_size(my_string const& name) { return truncate_count(std::atof(name.c_str()) + 0.5); }

double expected_heterozygosity(std::span<const double> counts, double n) {
    if (n < 2.0) return 0.0;
    double sumSq = 0.0;
    for (double c : counts) sumSq += c * c;
    return (1.0 - sumSq / (n * n)) * n / (n - 1.0);
}

AlleleSizeSummary summarize_allele_sizes(std::span<const int> sizes, std::span<const double> freqs) {
    AlleleSizeSummary out;
    if (sizes.empty()) return out;
    double lo = 2147483647.0;
    double hi = -2147483647.0;
    double mean = 0.0;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const double size = sizes[i];
        lo = std::min(lo, size);
        hi = std::max(hi, size);
        if (i < freqs.size()) mean += freqs[i] * size;
    }
    out.minSize = static_cast<int>(lo);
    out.maxSize = static_cast<int>(hi);
    // In double: sizes at both ends of the int range would overflow an int.
    out.range = truncate_count(hi - lo);
    out.garzaWilliamson = static_cast<double>(sizes.size()) / (hi - lo + 1.0);
    out.meanSize = mean;
    return out;
}

}  // namespace quintle
