// Sums of squared differences: hand-worked one-group and two-group
// examples, checked also against a brute-force sum over pairs of gene
// copies, and the agreement of the two sources of distances.

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "amova/Amova.h"
#include "amova/ssd.h"
#include "data/Population.h"
#include "project/DistMat.h"
#include "run/settings.h"

namespace quintle {
namespace {

// d(0,1) = 1, d(0,2) = 2, d(1,2) = 3, zero diagonal.
void fill_three(DistMat& d) {
    d.MatrixSize = 3;
    d(1, 0) = 1.0;
    d(2, 0) = 2.0;
    d(2, 1) = 3.0;
}

// A sample whose counts come from its gene copies.
std::unique_ptr<Population> sample(char const* name, int id, std::vector<int> const& copies, int haplotypes) {
    auto p = std::make_unique<Population>(my_string(name));
    p->id = id;
    p->SampleSize = static_cast<double>(copies.size());
    p->CreatePermutationVectors(haplotypes);
    p->SetUpVectorsAfterPermutation(copies.data());
    return p;
}

// Independent transcription: the plain sum of d over unordered pairs of
// copies (within one list, or one from each list).
double pairs_within(std::vector<int> const& c, TriMat const& d) {
    double s = 0.0;
    for (std::size_t i = 0; i < c.size(); ++i)
        for (std::size_t j = i + 1; j < c.size(); ++j) s += d(c[i], c[j]);
    return s;
}
double pairs_between(std::vector<int> const& a, std::vector<int> const& b, TriMat const& d) {
    double s = 0.0;
    for (int x : a)
        for (int y : b) s += d(x, y);
    return s;
}

TEST(SumsOfSquares, OneGroupWorkedByHand) {
    DistMat d(3);
    fill_three(d);
    std::vector<int> const a{0, 0, 1}, b{1, 2, 2};
    auto A = sample("A", 0, a, 3);
    auto B = sample("B", 1, b, 3);

    // A: the h0-h0 pair adds 0, the two h0-h1 pairs 1 each. B: two h1-h2
    // pairs of 3 (distances are summed as they stand, not squared).
    EXPECT_DOUBLE_EQ(*A->ComputeSSDWP(d), 2.0);
    EXPECT_DOUBLE_EQ(A->SSDWP_divN, 2.0 / 3.0);
    EXPECT_DOUBLE_EQ(*B->SSDWP_div_freq(d), 2.0);
    EXPECT_DOUBLE_EQ(B->SSDWP, 6.0);
    // h0 x h1: 2, h0 x h2: 2*2*2 = 8, h1 x h1: 0, h1 x h2: 2*3 = 6.
    EXPECT_DOUBLE_EQ(A->ComputeSSDAP(B.get(), d), 16.0);
    EXPECT_DOUBLE_EQ(B->ComputeSSDAP(A.get(), d), 16.0);

    EXPECT_DOUBLE_EQ(A->SSDWP, pairs_within(a, d));
    EXPECT_DOUBLE_EQ(A->ComputeSSDAP(B.get(), d), pairs_between(a, b, d));
}

TEST(SumsOfSquares, DiagonalEntriesCountForIdenticalCopies) {
    DistMat d(2);
    d.MatrixSize = 2;
    d(0, 0) = 0.5;
    d(1, 1) = 0.25;
    d(1, 0) = 1.0;
    auto A = sample("A", 0, {0, 0, 0, 0}, 2);
    auto B = sample("B", 1, {0, 1}, 2);
    // n(n-1)/2 pairs of the same haplotype: 6 * 0.5.
    EXPECT_DOUBLE_EQ(*A->ComputeSSDWP(d), 3.0);
    // Same-haplotype terms between samples too: 4*1*0.5 + 4*1*1.
    EXPECT_DOUBLE_EQ(A->ComputeSSDAP(B.get(), d), 6.0);

    auto empty = sample("E", 2, {}, 2);
    EXPECT_EQ(*empty->ComputeSSDWP(d), 0.0);
    EXPECT_EQ(empty->ComputeSSDAP(A.get(), d), 0.0);
    EXPECT_EQ(A->ComputeSSDAP(empty.get(), d), 0.0);
}

// Engine-level sums over three samples in two groups: {A, B} and {C}.
class GroupSums : public ::testing::Test {
protected:
    void SetUp() override {
        fill_three(dist);
        A = sample("A", 0, a, 3);
        B = sample("B", 1, b, 3);
        C = sample("C", 2, c, 3);
        engine = std::make_unique<Amova>(run, nullptr, nullptr, &dist, nullptr, nullptr, nullptr, 0, 0, nullptr);
        engine->pops_by_id = {A.get(), B.get(), C.get()};
        engine->group_pops = {{A.get(), B.get()}, {C.get()}};
        engine->group_size = {0.0, 0.0};
        engine->SSDWG = {0.0, 0.0};
        engine->SSDP.create(3);
        engine->SSDG.create(2);
        engine->N = 8.0;
    }

    settings run;
    DistMat dist{3};
    std::vector<int> const a{0, 0, 1}, b{1, 2, 2}, c{0, 2};
    std::unique_ptr<Population> A, B, C;
    std::unique_ptr<Amova> engine;
};

TEST_F(GroupSums, TwoGroupsWorkedByHand) {
    engine->compute_SSDP();
    engine->compute_total_SSD();
    // Within: A 2, B 6, C 2 (one h0-h2 pair). Between: A-B 16, A-C 0+4+1+3,
    // B-C 1+3+4+0.
    EXPECT_DOUBLE_EQ(engine->SSDP(0, 0), 2.0);
    EXPECT_DOUBLE_EQ(engine->SSDP(2, 2), 2.0);
    EXPECT_DOUBLE_EQ(engine->SSDP(0, 2), 8.0);
    EXPECT_DOUBLE_EQ(engine->SSDP(1, 2), 8.0);
    EXPECT_DOUBLE_EQ(engine->total_SSD, 42.0);
    std::vector<int> all(a);
    all.insert(all.end(), b.begin(), b.end());
    all.insert(all.end(), c.begin(), c.end());
    EXPECT_DOUBLE_EQ(engine->total_SSD, pairs_within(all, dist));

    engine->compute_SSDG_SSDAG();
    // Group 0: 2 + 16 + 6 over 6 copies; group 1: 2 over 2 copies.
    EXPECT_DOUBLE_EQ(engine->SSDG(0, 0), 24.0);
    EXPECT_DOUBLE_EQ(engine->group_size[0], 6.0);
    EXPECT_DOUBLE_EQ(engine->SSDWG[0], 4.0);
    EXPECT_DOUBLE_EQ(engine->SSDWG[1], 1.0);
    EXPECT_DOUBLE_EQ(engine->SSDAG, 42.0 / 8.0 - 4.0 - 1.0);
    EXPECT_DOUBLE_EQ(*engine->compute_SSDAG(), 0.25);
    // Within samples: 2/3 + 6/3 + 2/2; among samples within groups:
    // (24/6 - 2/3 - 6/3) + (2/2 - 2/2).
    EXPECT_DOUBLE_EQ(*engine->compute_SSDWP(), 11.0 / 3.0);
    EXPECT_DOUBLE_EQ(*engine->compute_SSDAP(), 4.0 / 3.0);
    // The three levels add up to the total sum over N.
    EXPECT_NEAR(engine->SSDAG + engine->SSDAP + engine->SSDWP, 42.0 / 8.0, 1e-12);
}

TEST_F(GroupSums, WithinIndividualsWalksTheVectorAcrossSamples) {
    // Individuals (0,0) (1,2) | (1,1) (2,2) | (0,2); sizes 4, 4, 2.
    A->SampleSize = 4.0;
    B->SampleSize = 4.0;
    C->SampleSize = 2.0;
    engine->HaplotypeIndexVector = {0, 0, 1, 2, 1, 1, 2, 2, 0, 2, 0, 0, 0, 0};
    engine->compute_SSDWI();
    EXPECT_DOUBLE_EQ(A->SSDWI, 1.5);  // (0 + 3) / 2
    EXPECT_DOUBLE_EQ(B->SSDWI, 0.0);
    EXPECT_DOUBLE_EQ(C->SSDWI, 1.0);
    EXPECT_DOUBLE_EQ(engine->SSDWI, 2.5);

    // A sample of size 0 reads nothing and does not move the cursor.
    B->SampleSize = 0.0;
    engine->HaplotypeIndexVector = {0, 0, 1, 2, 0, 2, 0, 0, 0, 0};
    engine->compute_SSDWI();
    EXPECT_DOUBLE_EQ(engine->SSDWI, 2.5);
}

TEST(FlatDistances, GivesTheMatrixValuesBitForBit) {
    DistMat d(6);
    d.MatrixSize = 6;
    for (int i = 0; i < 6; ++i)
        for (int j = 0; j <= i; ++j) d(i, j) = i == j ? 0.1 * i : 0.37 * (i + 1) / (j + 3) + 1e-3 * i * j;
    std::vector<int> const a{5, 1, 1, 3, 5, 5, 0}, b{3, 3, 4, 1};
    auto A = sample("A", 0, a, 6);
    auto B = sample("B", 1, b, 6);
    std::vector<int> all(a);
    all.insert(all.end(), b.begin(), b.end());

    FlatDistances flat;
    ASSERT_TRUE(flat.build(d, 6, all.data(), all.size()));
    EXPECT_EQ(raw_within_sum(*A, flat), raw_within_sum(*A, d));
    EXPECT_EQ(raw_between_sum(*A, *B, flat), raw_between_sum(*A, *B, d));
    EXPECT_EQ(raw_between_sum(*B, *A, flat), raw_between_sum(*B, *A, d));

    // Indexes outside the range, or a block over the limit, leave it unbuilt.
    int const outside[] = {0, 6};
    EXPECT_FALSE(flat.build(d, 6, outside, 2));
    EXPECT_FALSE(flat.ready());
    EXPECT_FALSE(flat.build(d, 6, all.data(), all.size(), 4));
}

TEST(FlatDistances, ReproducesAConstantMatrix) {
    // Conventional F-statistics: 0 on the diagonal, 1 elsewhere.
    DistMat d(0);
    d.constantMode = 1;
    d.diagonalValue = 0.0;
    d.offDiagonalValue = 1.0;
    int const present[] = {3, 0, 7};
    FlatDistances flat;
    ASSERT_TRUE(flat.build(d, 8, present, 3));
    EXPECT_EQ(flat(3, 3), 0.0);
    EXPECT_EQ(flat(7, 0), 1.0);
    EXPECT_EQ(flat(0, 3), 1.0);
}

}  // namespace
}  // namespace quintle
