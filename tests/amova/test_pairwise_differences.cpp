// Mean pairwise differences and the distances derived from FST: the tables'
// layout and values against direct counts, the P values of PiXY and of the
// corrected difference against a transcription of the test drawing the same
// stream, (delta mu) squared at unit level, the coancestry, Slatkin and M
// cells at their limits, and the batch lines.

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "amova/pairwise_fixture.h"
#include "amova/pairwise_kernels.h"

namespace quintle {
namespace {

using namespace pairwise_testing;

TEST(DeltaMuSquared, MeanOverLociWithDataInBoth) {
    double const a[] = {10.0, 12.0, 0.0, 15.0};
    double const b[] = {11.0, 15.0, 14.0, 0.0};
    EXPECT_DOUBLE_EQ(delta_mu_squared(a, 4, b, 4), (1.0 + 9.0) / 2.0);
    // A locus beyond the second sample's loci has no data there.
    EXPECT_DOUBLE_EQ(delta_mu_squared(a, 4, b, 1), 1.0);
    double const none[] = {0.0, 0.0, 0.0, 0.0};
    EXPECT_EQ(delta_mu_squared(a, 4, none, 4), 0.0);
    EXPECT_EQ(delta_mu_squared(a, 0, b, 4), 0.0);
    EXPECT_EQ(delta_mu_squared(nullptr, 0, nullptr, 0), 0.0);
}

TEST(DerivedFromFst, CellsAtTheirLimits) {
    struct Case {
        double F;
        DerivedCell coancestry, slatkin, m;
    };
    using C = DerivedCell;
    Case const cases[] = {
        {0.5, {C::Number, std::log(2.0)}, {C::Number, 1.0}, {C::Number, 0.5}},
        {1.0, {C::Infinite, 0.0}, {C::Infinite, 0.0}, {C::Number, 0.0}},
        {-0.2, {C::ZeroText, 0.0}, {C::ZeroText, 0.0}, {C::Infinite, 0.0}},
        {0.0, {C::Number, 0.0}, {C::Number, 0.0}, {C::Infinite, 0.0}},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.F);
        DerivedCell const got[] = {coancestry_cell(c.F), slatkin_cell(c.F), m_value_cell(c.F)};
        DerivedCell const want[] = {c.coancestry, c.slatkin, c.m};
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(got[k].kind, want[k].kind) << k;
            if (want[k].kind == C::Number) {
                EXPECT_NEAR(got[k].value, want[k].value, 1e-15) << k;
            }
        }
    }
    // The diagonal's coancestry is the negation of ln 1: a negative zero.
    EXPECT_TRUE(std::signbit(coancestry_cell(0.0).value));
}

class PairwiseDifferences : public PairwiseTest {};

TEST_F(PairwiseDifferences, MatrixHoldsPiXYAbovePiXOnAndCorrectedBelow) {
    make_haplotypes(6, 15, 21);
    random_samples(3, 4, 9, 22);
    run.PrintFstVals = 0;
    run.PrintMissIntermatchs = 1;
    build();
    std::string const text = result_text();
    ASSERT_NE(text.find("\nBelow diagonal    : Corrected average pairwise difference (PiXY-(PiX+PiY)/2)\n\n"
                        "Distance method: Pairwise difference\n"),
              std::string::npos);
    std::vector<double> pix(3);
    for (int i = 0; i < 3; ++i) {
        double const n = static_cast<double>(copies[i].size());
        pix[i] = within_pairs(copies[i], d) / (n * (n - 1) / 2);
    }
    for (int i = 0; i < 3; ++i) {
        std::vector<std::string> const row = row_cells(text, "Population average pairwise differences", i + 1);
        ASSERT_EQ(row.size(), 3u);
        for (int j = 0; j < 3; ++j) {
            int const lo = std::min(i, j), hi = std::max(i, j);
            double const pixy = between_pairs(copies[lo], copies[hi], d) /
                                static_cast<double>(copies[lo].size() * copies[hi].size());
            double const expected = i == j ? pix[i] : (i < j ? pixy : pixy - (pix[i] + pix[j]) / 2);
            EXPECT_EQ(row[j], fixed5(expected)) << i << "," << j;
        }
    }
}

TEST_F(PairwiseDifferences, PValuesFollowTheRecordedStream) {
    // Integer distances keep every sum exact, so the transcription below
    // meets the same ties as the pass.
    make_haplotypes(5, 10, 8);
    add_sample({{0, 2}, {1, 2}, {2, 1}});
    add_sample({{1, 1}, {3, 2}, {4, 3}});
    run.PrintMissIntermatchs = 1;
    run.NumPermutationsFST = 30;  // 5 blocks of 7: 35 permutations
    reseed(31);
    build();
    double const after = next_draw();

    reseed(31);
    int const na = 5, nb = 6;
    auto pix = [&](std::vector<int> const& c, double n) {
        double const divided = within_pairs(c, d) / n;  // as the within sum divided by the size
        return 2 * divided / (n - 1);
    };
    auto observedPix = [&](std::vector<int> const& c, double n) {
        double const raw = within_pairs(c, d) / n * n;
        return 2 * raw / ((n - 1) * n);
    };
    double const pixy = between_pairs(copies[0], copies[1], d) / (na * nb);
    double const corrected = pixy - (observedPix(copies[0], na) + observedPix(copies[1], nb)) / 2;
    std::vector<int> v = copies[0];
    v.insert(v.end(), copies[1].begin(), copies[1].end());
    int countPixy = 0, countCorr = 0;
    for (int p = 0; p < 35; ++p) {
        reference_shuffle_copies(v, na);
        std::vector<int> const a(v.begin(), v.begin() + na), b(v.begin() + na, v.end());
        double const permuted = between_pairs(a, b, d) / (na * nb);
        if (permuted >= pixy) ++countPixy;
        if (permuted - (pix(a, na) + pix(b, nb)) / 2 >= corrected) ++countCorr;
    }
    EXPECT_EQ(next_draw(), after);

    std::string const text = result_text();
    std::size_t const at = text.find("\n\n-----------\nPXY P value\n-----------\n\n");
    ASSERT_NE(at, std::string::npos);
    // An empty first row and n - 1 column numbers.
    EXPECT_EQ(text.substr(at + 39, 28), std::string(25, ' ') + "1\n\n");
    std::vector<std::string> const p = row_cells(text, "PXY P value", 2);
    ASSERT_EQ(p.size(), 1u);
    EXPECT_EQ(p[0], fixed5(countPixy / 35.0));
    std::vector<std::string> const c = row_cells(text, "Corrected PXY P value", 2);
    ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ(c[0], fixed5(countCorr / 35.0));
}

TEST_F(PairwiseDifferences, CoancestrySlatkinAndMTablesAndTheirBatchLines) {
    // Two monomorphic samples of different haplotypes (FST = 1) and two
    // identical samples (FST below 0).
    set_matrix(2, [](int i, int j) { return i == j ? 0.0 : 3.0; });
    add_sample({{0, 3}});
    add_sample({{1, 3}});
    add_sample({{0, 2}, {1, 2}});
    add_sample({{0, 2}, {1, 2}});
    run.PrintConcestryCoeff = 1;
    run.PrintSlatkinsDist = 1;

    std::ofstream concest(dir_ / "c.sum"), nm(dir_ / "m.sum");
    _PAIRWISE_DIST_ = 1;
    ofs_concest = &concest;
    ofs_NM_vals = &nm;
    my_string const input = settings::input_file;
    settings::input_file = "in.pmp";
    build();
    settings::input_file = input;
    _PAIRWISE_DIST_ = 0;
    ofs_concest = ofs_NM_vals = nullptr;
    concest.close();
    nm.close();

    ASSERT_EQ(SumStat.pairFst.count, 6);
    EXPECT_EQ(SumStat.pairFst.data[0], 1.0);
    ASSERT_LT(SumStat.pairFst.data[5], 0.0);

    std::string const text = result_text();
    std::string const inf = "       inf";  // w = 10
    EXPECT_NE(text.find("           2" + inf + "  -0.00000\n"), std::string::npos);
    std::vector<std::string> row = row_cells(text, "Matrix of coancestry coefficients", 4);
    ASSERT_EQ(row.size(), 4u);
    EXPECT_EQ(row[2], "0");
    row = row_cells(text, "Matrix of Slatkin linearized FSTs", 4);
    ASSERT_EQ(row.size(), 4u);
    EXPECT_EQ(row[2], "0");
    EXPECT_EQ(row[3], "0.00000");
    // M: no diagonal; FST = 1 gives 0, FST below 0 gives inf.
    row = row_cells(text, "Matrix of M values", 2);
    EXPECT_EQ(row, (std::vector<std::string>{"0.00000"}));
    row = row_cells(text, "Matrix of M values", 4);
    ASSERT_EQ(row.size(), 3u);
    EXPECT_EQ(row[2], "inf");

    std::string const c = slurp_file(dir_ / "c.sum");
    EXPECT_EQ(c.rfind("\"in.pmp\"\t-0\tinf\t-0\t", 0), 0u) << c;
    EXPECT_NE(c.find("\t0\t-0\t\n"), std::string::npos) << "F < 0 as 0, then the diagonal and the line end";
    std::string const m = slurp_file(dir_ / "m.sum");
    EXPECT_EQ(m.rfind("\"in.pmp\"\t0\t", 0), 0u) << m;
    EXPECT_NE(m.find("inf\t\n"), std::string::npos) << m;
}

}  // namespace
}  // namespace quintle
