#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

#include "data/HaploDef.h"
#include "datatypes/PopulDNA.h"
#include "datatypes/dna_distances.h"
#include "run/settings.h"
#include "support/process_state.h"

using namespace quintle;

namespace {

struct DnaSample {
    std::vector<std::unique_ptr<HaploDef>> defs;
    PopulDNA pop;

    explicit DnaSample(std::vector<std::string> const& seqs, char missing = '?') {
        pop.profile.MissingData = missing;
        for (auto const& text : seqs) {
            auto def = std::make_unique<HaploDef>(my_string("h"));
            def->data = text.c_str();
            pop.haplotypes.Add(new PHaploDef{def.get(), 1});
            defs.push_back(std::move(def));
        }
        pop.SampleSize = static_cast<double>(seqs.size());
        pop.NbHaplotypeEntries = static_cast<int>(seqs.size());
    }
    char const* text(int i) const { return defs[static_cast<std::size_t>(i)]->data.c_str(); }
};

int occurrences(std::string const& text, std::string const& needle) {
    int n = 0;
    for (auto pos = text.find(needle); pos != std::string::npos; pos = text.find(needle, pos + 1)) ++n;
    return n;
}

// --- reference formulas, in their published forms ---------------------------

double jc_ref(double p) { return -0.75 * std::log(1.0 - 4.0 * p / 3.0); }
double jc_gamma_ref(double p, double a) { return 0.75 * a * (std::pow(1.0 - 4.0 * p / 3.0, -1.0 / a) - 1.0); }
double k2p_ref(double P, double Q) {
    return 0.5 * std::log(1.0 / (1.0 - 2.0 * P - Q)) + 0.25 * std::log(1.0 / (1.0 - 2.0 * Q));
}
double k2p_var_ref(double P, double Q, double n) {
    double const c1 = 1.0 / (1.0 - 2.0 * P - Q), c2 = 1.0 / (1.0 - 2.0 * Q), c3 = (c1 + c2) / 2.0;
    return (c1 * c1 * P + c3 * c3 * Q - (c1 * P + c3 * Q) * (c1 * P + c3 * Q)) / n;
}
double tamura_ref(double P, double Q, double gc) {
    double const h = 2.0 * gc * (1.0 - gc);
    return -h * std::log(1.0 - P / h - Q) - 0.5 * (1.0 - h) * std::log(1.0 - 2.0 * Q);
}
// pi in the order C, T, A, G.
double tn93_ref(double P1, double P2, double Q, std::array<double, 4> const& pi) {
    double const pC = pi[0], pT = pi[1], pA = pi[2], pG = pi[3];
    double const pR = pA + pG, pY = pC + pT;
    return -(2 * pA * pG / pR) * std::log(1 - pR * P1 / (2 * pA * pG) - Q / (2 * pR)) -
           (2 * pC * pT / pY) * std::log(1 - pY * P2 / (2 * pC * pT) - Q / (2 * pY)) -
           2 * (pR * pY - pA * pG * pY / pR - pC * pT * pR / pY) * std::log(1 - Q / (2 * pR * pY));
}
// x: pair proportions in the lower triangle of C, T, A, G.
double tn84_ref(double p, double const x[4][4], std::array<double, 4> const& g) {
    double h = 0.0, sum = 0.0;
    for (int i = 0; i < 4; ++i) {
        sum += g[i] * g[i];
        for (int j = 0; j < i; ++j) h += x[i][j] * x[i][j] / (2 * g[i] * g[j]);
    }
    double const b = 0.5 * (1 - sum + p * p / h);
    return -b * std::log(1 - p / b);
}

// 20 compared sites: 2 A/G and 1 C/T transitions, an A/C and a G/T
// transversion, 15 identical sites. P = 0.15 (P1 0.10, P2 0.05), Q = 0.10.
DnaPairCounts clean_counts() {
    DnaPairCounts c;
    c.equal = 15;
    c.nucleotides[kPairAG] = 2;
    c.nucleotides[kPairCT] = 1;
    c.nucleotides[dna_nucleotide_pair_index(2, 0)] = 1;  // A/C
    c.nucleotides[dna_nucleotide_pair_index(3, 1)] = 1;  // G/T
    return c;
}

std::array<double, 4> const kFreq{0.3, 0.2, 0.25, 0.25};  // C, T, A, G

DistanceParams params(double gamma = 0.0) {
    DistanceParams p;
    p.gamma = gamma;
    p.freq = kFreq;
    p.gcContent = kFreq[0] + kFreq[3];
    return p;
}

}  // namespace

TEST(DnaDistances, CountsEveryKindOfSitePair) {
    //        0123456789012345
    char const* a = "AGCTA-RN?TTcAAG?";
    char const* b = "GGTAC-YA-T?c-MM?";
    DnaPairCounts c = count_sequence_pair(a, b, {}, '?');
    DnaPairCounts e;
    e.equal = 3;  // G/G, T/T, c/c
    e.equalGap = 1;
    e.nucleotides[kPairAG] = 1;
    e.nucleotides[kPairCT] = 1;
    e.nucleotides[dna_nucleotide_pair_index(2, 0)] = 1;  // A/C
    e.nucleotides[dna_nucleotide_pair_index(2, 1)] = 1;  // T/A
    e.transversionsAmbiguous = 1;                        // R/Y
    e.ambiguous = 1;                                     // G/M
    e.indels = 1;                                        // A/-
    e.other = 4;                                         // N/A, ?/-, T/?, A/M
    e.otherMissingOrGap = 2;
    e.otherGap = 1;
    EXPECT_EQ(c, e);

    // Only usable sites count; a text too short reads as missing data.
    std::vector<int> usable(16, 1);
    usable[0] = 0;
    DnaPairCounts masked = count_sequence_pair(a, "GGTAC-YA-T?c-M", usable, '?');
    e.nucleotides[kPairAG] = 0;
    e.ambiguous = 0;
    e.other = 5;
    e.otherMissingOrGap = 3;
    EXPECT_EQ(masked, e);
}

// Hand values for the clean counts: JC 0.3040988 (var 0.02109375), JC with
// a = 1: 0.375, K2P 0.3111987, K2P with a = 1: 19/48, Tajima-Nei 0.3248648,
// Tamura 0.3117088, Tamura-Nei 0.3186647.
TEST(DnaDistances, CleanCountsMatchPublishedFormulas) {
    DnaPairCounts const c = clean_counts();
    struct Case {
        int method;
        double gamma;
        double expected;
        double hand;
    };
    double const x[4][4] = {{0, 0, 0, 0}, {0.05, 0, 0, 0}, {0.05, 0, 0, 0}, {0, 0.05, 0.10, 0}};
    Case const cases[] = {
        {1, 0.0, jc_ref(0.25), 0.3040988},
        {1, 1.0, jc_gamma_ref(0.25, 1.0), 0.375},
        {2, 0.0, k2p_ref(0.15, 0.10), 0.3111987},
        {2, 1.0, 19.0 / 48.0, 19.0 / 48.0},
        {4, 0.0, tn84_ref(0.25, x, kFreq), 0.3248648},
        {5, 0.0, tamura_ref(0.15, 0.10, 0.55), 0.3117088},
        {6, 0.0, tn93_ref(0.10, 0.05, 0.10, kFreq), 0.3186647},
    };
    for (auto const& k : cases) {
        DistanceResult const r = dna_distance(k.method, c, params(k.gamma));
        ASSERT_TRUE(r.ok) << k.method;
        EXPECT_NEAR(r.distance, k.expected, 1e-12) << k.method << " a=" << k.gamma;
        EXPECT_NEAR(r.distance, k.hand, 5e-7) << k.method << " a=" << k.gamma;
    }
    EXPECT_NEAR(dna_distance(1, c, params()).variance, 0.02109375, 1e-15);
    EXPECT_NEAR(dna_distance(2, c, params()).variance, k2p_var_ref(0.15, 0.10, 20), 1e-15);
}

TEST(DnaDistances, WeightedPairwiseDifferenceAndProportion) {
    // 3 transitions, 2 transversions, 1 ambiguous, 1 indel, 1 other, 6 equal
    // (1 of them a common gap). wTs 1, wTv 2, wD 0.5:
    // D = 3 + 4 + 1 + 0.5 = 8.5; N = 6 + 1 + 3 + 4 + 1 + 0.5 = 15.5.
    DnaPairCounts c;
    c.equal = 5;
    c.equalGap = 1;
    c.nucleotides[kPairAG] = 2;
    c.nucleotides[kPairCT] = 1;
    c.nucleotides[dna_nucleotide_pair_index(2, 0)] = 1;
    c.transversionsAmbiguous = 1;
    c.ambiguous = 1;
    c.indels = 1;
    c.other = 1;
    DistanceParams p;
    p.weights = DistanceWeights{0.5, 1.0, 2.0};
    DistanceResult const diff = pairwise_difference(c, p);
    DistanceResult const prop = proportion_of_difference(c, p);
    EXPECT_DOUBLE_EQ(diff.distance, 8.5);
    EXPECT_DOUBLE_EQ(diff.variance, 8.5 * (1 - 8.5 / 15.5));
    EXPECT_DOUBLE_EQ(prop.distance, 8.5 / 15.5);
    EXPECT_DOUBLE_EQ(prop.variance, (8.5 / 15.5) * (1 - 8.5 / 15.5) / 15.5);
}

TEST(DnaDistances, FailedPairDiscardsTheMatrixEveryTime) {
    test::LogGuard log;
    DnaSample d({"AAAA", "ACGT"});  // p = 3/4 under Jukes and Cantor
    settings s;
    ASSERT_EQ(d.pop.compute_distance_matrix(nullptr, &s, 0), 1);
    ASSERT_TRUE(d.pop.distMat);
    EXPECT_EQ(d.pop.maxPairwiseDistance, 3);

    d.pop.distanceMethod = 1;
    for (int call = 0; call < 2; ++call) {
        EXPECT_EQ(d.pop.compute_distance_matrix(nullptr, &s, 0), 0);
        EXPECT_FALSE(d.pop.distMat);
        EXPECT_EQ(d.pop.maxPairwiseDistance, 0);
    }
    std::string const text = log.text();
    EXPECT_EQ(occurrences(text, "sequences too divergent for Jukes and Cantor correction"), 2);
    EXPECT_EQ(occurrences(text, "\"PopulDNA::compute_distance_matrix(ofstream)\" : distance matrix could not be computed"),
              2);
}

TEST(DnaDistances, TamuraNeiGammaRefusesNonPositiveTerms) {
    // A/G differences far beyond what the A and G frequencies allow: the first
    // term is negative, so no real power of it exists.
    DnaPairCounts c;
    c.equal = 5;
    c.nucleotides[kPairAG] = 5;
    for (double a : {0.7, 2.0}) {
        DistanceResult const r = tamura_nei(c, params(a));
        EXPECT_FALSE(r.ok) << a;
        ASSERT_EQ(r.numReports, 1) << a;
        EXPECT_EQ(r.reports[0].kind, WARNING);
        EXPECT_EQ(r.reports[0].number, 176);
        EXPECT_EQ(r.distance, 0.0);
    }
}

TEST(DnaDistances, MatrixPrintout) {
    namespace fs = std::filesystem;
    fs::path const path = fs::temp_directory_path() / ("quintle_dna_matrix_" + std::to_string(::getpid()) + ".txt");
    DnaSample d({"ACGT", "ACGA"});
    settings s;
    {
        std::fstream out(path, std::ios::in | std::ios::out | std::ios::trunc);
        ASSERT_EQ(d.pop.compute_distance_matrix(&out, &s, 0), 1);
    }
    std::ifstream in(path);
    std::string const text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // D = 1 of N = 4 sites: s.d. sqrt(4 x 0.25 x 0.75) = 0.8660.
    EXPECT_EQ(text, "\nInter-haplotypic distance matrix:\n\n"
                    "          0.8660\n"
                    "  1.0000        \n");
    fs::remove(path);
}
