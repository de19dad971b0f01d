#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "popstats/gene_diversity.h"

namespace quintle {
namespace {

constexpr double untouched = -7.25;  // marks a field a routine must not write

struct Fields {
    double sumSquaredFreq = untouched, homozygosity = untouched, geneDiversity = untouched,
           geneDiversitySd = untouched, thetaHom = untouched, thetaHomSd = untouched, ewObservedF = untouched;
    DiversityFields refs() {
        return {sumSquaredFreq, homozygosity, geneDiversity, geneDiversitySd, thetaHom, thetaHomSd, ewObservedF};
    }
};

// Counts 5, 3, 2 of 10 gene copies, worked by hand: sum p^2 = 0.38,
// sum p^3 = 0.16, H = 10/9 * 0.62 = 0.6888..., and the sampling variance
// 2/90 * (2*8*(0.16 - 0.38^2) + 0.38 - 0.38^2) = 1213/112500.
TEST(GeneDiversity, ThreeHaplotypeSampleByHand) {
    const std::vector<double> counts{5, 3, 2};
    Fields f;
    EXPECT_NEAR(calc_sample_homozygosity(counts, 10.0, 3, f.refs()), 1.0 - 6.2 / 9.0, 1e-15);
    EXPECT_NEAR(f.sumSquaredFreq, 0.38, 1e-15);
    EXPECT_NEAR(f.geneDiversity, 6.2 / 9.0, 1e-15);
    EXPECT_EQ(f.geneDiversitySd, untouched);

    double sumSq = untouched, sd = untouched;
    EXPECT_NEAR(calc_sample_sd_heterozygosity(counts, 10.0, sumSq, sd), std::sqrt(1213.0 / 112500.0), 1e-15);
    EXPECT_NEAR(sumSq, 0.38, 1e-15);
    EXPECT_NEAR(calc_F(counts, 10.0), 0.38, 1e-15);
}

TEST(GeneDiversity, StandardDeviationGuards) {
    double sumSq = untouched, sd = untouched;
    calc_sample_sd_heterozygosity(std::vector<double>{1}, 1.0, sumSq, sd);
    EXPECT_EQ(sd, 0.0);
    EXPECT_EQ(sumSq, 1.0);

    // A frequency of 1.5 (3 of 2) makes the variance negative: the s.d.
    // keeps its previous value while the sum of squares is still written.
    sd = 0.125;
    calc_sample_sd_heterozygosity(std::vector<double>{3}, 2.0, sumSq, sd);
    EXPECT_EQ(sd, 0.125);
    EXPECT_DOUBLE_EQ(sumSq, 2.25);
}

}  // namespace
}  // namespace quintle
