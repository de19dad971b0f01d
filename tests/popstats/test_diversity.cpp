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

TEST(GeneDiversity, ValuesBelowOneAreFrequenciesAlready) {
    // 0.5 and 0.2 are frequencies, 3 is a count of 10: the same sample as above.
    const std::vector<double> mixed{0.5, 3, 0.2};
    EXPECT_NEAR(calc_F(mixed, 10.0), 0.38, 1e-15);
    EXPECT_EQ(calc_F(std::vector<double>{}, 10.0), 0.0);

    double ewF = untouched;
    EXPECT_NEAR(calc_sample_homozygosity(mixed, 10.0, ewF), 1.0 - 6.2 / 9.0, 1e-15);
    EXPECT_NEAR(ewF, 0.38, 1e-15);

    // List form: as many records as copies, or one copy: nothing written;
    // H = 3/2 * (1 - 2/9) above 1 gives homozygosity 0.
    ewF = untouched;
    EXPECT_EQ(calc_sample_homozygosity(std::vector<double>{1, 1, 1}, 3.0, ewF), 0.0);
    EXPECT_EQ(calc_sample_homozygosity(std::vector<double>{1, 1}, 1.0, ewF), 1.0);
    EXPECT_EQ(ewF, untouched);
    EXPECT_EQ(calc_sample_homozygosity(std::vector<double>{1, 1}, 3.0, ewF), 0.0);
}

TEST(GeneDiversity, DegenerateSamples) {
    struct Case {
        const char* what;
        std::vector<double> counts;
        double n;
        int k;
        double sumSq, hom, div;
    };
    const Case cases[] = {
        {"every copy distinct", {1, 1, 1, 1}, 4, 4, untouched, 0.0, 1.0},
        {"one haplotype", {10}, 10, 1, 1.0, 1.0, 0.0},
        {"fewer than two copies", {}, 1, 0, untouched, 1.0, 0.0},
        // 2/9 < 1/3: the unbiased estimate 7/6 is stored as exactly 1.
        {"estimate above one", {1, 1}, 3, 2, 2.0 / 9.0, 0.0, 1.0},
    };
    for (const Case& c : cases) {
        Fields f;
        calc_sample_homozygosity(c.counts, c.n, c.k, f.refs());
        if (c.sumSq == untouched)
            EXPECT_EQ(f.sumSquaredFreq, untouched) << c.what;
        else
            EXPECT_NEAR(f.sumSquaredFreq, c.sumSq, 1e-15) << c.what;
        EXPECT_DOUBLE_EQ(f.homozygosity, c.hom) << c.what;
        EXPECT_DOUBLE_EQ(f.geneDiversity, c.div) << c.what;
    }
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
