#include "popstats/gene_diversity.h"

#include <algorithm>
#include <cmath>

namespace quintle {

double calc_F(std::span<const double> values, double n) {
    double sum = 0.0;
    for (double v : values) {
        const double p = haplotype_frequency(v, n);
        sum += p * p;
    }
    return sum;
}

double calc_sample_homozygosity(std::span<const double> counts, double n, int k, DiversityFields out) {
    if (static_cast<double>(k) == n) {
        out.homozygosity = 0.0;
        out.geneDiversity = 1.0;
        return out.homozygosity;
    }
    if (n <= 1.0) {
        out.geneDiversity = 0.0;
        out.homozygosity = 1.0;
        return out.homozygosity;
    }
    out.sumSquaredFreq = calc_F(counts, n);
    out.geneDiversity = std::min(1.0, n / (n - 1.0) * (1.0 - out.sumSquaredFreq));
    out.homozygosity = 1.0 - out.geneDiversity;
    return out.homozygosity;
}

double calc_sample_homozygosity(std::span<const double> list, double n, double& ewObservedF) {
    const double k = static_cast<double>(list.size());
    if (k == n) return 0.0;
    if (n <= 1.0) return 1.0;
    ewObservedF = calc_F(list, n);
    const double H = n / (n - 1.0) * (1.0 - ewObservedF);
    return H > 1.0 ? 0.0 : 1.0 - H;
}

double calc_sample_sd_heterozygosity(std::span<const double> counts, double n, double& sumSquaredFreq,
                                     double& geneDiversitySd) {
    double S2 = 0.0;
    double S3 = 0.0;
    for (double c : counts) {
        const double p = haplotype_frequency(c, n);
        S2 += p * p;
        S3 += p * p * p;
    }
    sumSquaredFreq = S2;
    if (n <= 1.0) {
        geneDiversitySd = 0.0;
        return geneDiversitySd;
    }
    const double V = 2.0 / (n * (n - 1.0)) * (2.0 * (n - 2.0) * (S3 - S2 * S2) + S2 - S2 * S2);
    if (V >= 0.0) geneDiversitySd = std::sqrt(V);
    return geneDiversitySd;
}

}  // namespace quintle
