// The arithmetic of the frequency spectra on cases worked by hand, and the
// spectrum files of a sample set whose frequencies are set by hand.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "allele_tables_fixture.h"
#include "sumstat/TSFSCoord.h"
#include "sumstat/site_frequency_spectra.h"

namespace quintle {
namespace {

using namespace testing_support;

TEST(SpectrumArithmetic, DerivedCopiesRoundAndStayWithinTheSample) {
    struct Case {
        double ancestral, missing;
        int n, expected;
    } const cases[] = {
        {0.25, 0.0, 4, 3},     // "0" at 0.25 in a sample of 4: three derived copies
        {0.0, 0.0, 5, 5},      // no ancestral allele: every copy derived
        {0.375, 0.0, 4, 3},    // 2.5 rounds up
        {0.5, 0.25, 4, 1},     // missing copies are neither
        {1.0, 0.0, 6, 0},
        {1.5, 0.0, 4, 0},      // inconsistent frequencies stay within 0..n
        {-0.5, 0.0, 4, 4},
    };
    for (Case const& c : cases)
        EXPECT_EQ(derived_copies(c.ancestral, c.missing, c.n), c.expected) << c.ancestral << " " << c.n;
}

TEST(SpectrumArithmetic, PooledMinorIsTheFirstSmallestNonzeroCountButNeverMissing) {
    std::vector<double> const counts{3, 0, 2, 2, 5};
    PooledMinor m = pooled_minor(counts, -1);
    EXPECT_EQ(m.position, 2);
    EXPECT_EQ(m.count, 2.0);
    m = pooled_minor(counts, 2);
    EXPECT_EQ(m.position, 3) << "the missing-data allele is skipped";
    EXPECT_TRUE(holds_half(pooled_minor(std::vector<double>{6, 6}, -1), 12.0));
    m = pooled_minor(std::vector<double>{0, 0}, -1);
    EXPECT_EQ(m.position, -1);
    EXPECT_FALSE(holds_half(m, 0.0));
}

TEST(SpectrumArithmetic, TiesPutHalvesInMirrorCellsOfEveryMinorSpectrum) {
    SiteClass const tie{false, true, false};
    std::vector<int> daf(5, 0);
    std::vector<double> maf(5, 0.0);
    add_single(daf, maf, tie, 1, 4);
    EXPECT_EQ(daf, (std::vector<int>{0, 1, 0, 0, 0}));
    EXPECT_EQ(maf, (std::vector<double>{0, 0.5, 0, 0.5, 0}));

    JointSpectrum j(2, 3);
    add_joint(j, tie, 0, 1);
    EXPECT_EQ(j.daf[static_cast<std::size_t>(j.cell(0, 1))], 1);
    EXPECT_EQ(j.maf[static_cast<std::size_t>(j.cell(0, 1))], 0.5);
    EXPECT_EQ(j.maf[static_cast<std::size_t>(j.cell(2, 2))], 0.5);

    // Samples of 2 and 3: cells 4 x d1 + d2; the complement of (0, 1) is (2, 2).
    MultiLayout const layout = multi_layout(std::vector<int>{2, 3});
    std::vector<double> dsfs(12, 0.0), msfs(12, 0.0);
    add_multi(dsfs, msfs, layout.strides, 11, std::vector<int>{0, 1}, tie);
    EXPECT_EQ(dsfs[1], 1.0);
    EXPECT_EQ(msfs[1], 0.5);
    EXPECT_EQ(msfs[10], 0.5);
}

TEST(SpectrumArithmetic, MinorCopiesFollowTheAncestralAlleleWhenItIsTheMinorOne) {
    std::vector<int> daf(4, 0);
    std::vector<double> maf(4, 0.0);
    add_single(daf, maf, SiteClass{false, false, true}, 1, 3);   // minor: 2 ancestral copies
    add_single(daf, maf, SiteClass{false, false, false}, 1, 3);  // minor: 1 derived copy
    EXPECT_EQ(maf, (std::vector<double>{0, 1, 1, 0}));

    JointSpectrum j(2, 3);
    add_joint(j, SiteClass{false, false, true}, 0, 1);
    EXPECT_EQ(j.maf[static_cast<std::size_t>(j.cell(2, 2))], 1.0);
}

TEST(SpectrumArithmetic, MultiSampleCellsAreCountedInSixtyFourBits) {
    // Five samples of 40 copies: 41^5 cells, the last sample fastest.
    MultiLayout const five = multi_layout(std::vector<int>(5, 40));
    ASSERT_TRUE(five.fits);
    EXPECT_EQ(five.cells, 115856201);
    EXPECT_EQ(five.strides, (std::vector<std::int64_t>{2825761, 68921, 1681, 41, 1}));
    // Six: 41^6 = 4750104241 passes 2^31 - 1, which a 32-bit count wraps.
    EXPECT_FALSE(multi_layout(std::vector<int>(6, 40)).fits);
    // Forty samples of 100: far past 64 bits as well.
    EXPECT_FALSE(multi_layout(std::vector<int>(40, 100)).fits);
    EXPECT_EQ(multi_layout(std::vector<int>{}).cells, 1);
}

// ------------------------------------------------------------ cell records

class SpectrumFiles : public AlleleTablesFixture {
protected:
    std::string obs(std::string const& name) const { return file("data_" + name + ".obs"); }
    bool exists(std::string const& name) const { return std::filesystem::exists(dir_ / name); }
};

TEST_F(SpectrumFiles, CoordinateStridesInBothLayouts) {
    sample("a", 2);
    sample("b", 3);
    sample("c", 4.9);  // the axis of 4.9 copies is 0..4
    TSFSCoord c;
    c.initDadiLike(&set_);
    ASSERT_EQ(c.numSamples, 3);
    EXPECT_EQ((std::vector<std::int64_t>{c.strides[0], c.strides[1], c.strides[2]}),
              (std::vector<std::int64_t>{20, 5, 1}));
    c.coords[0] = 1, c.coords[1] = 2, c.coords[2] = 3;
    std::vector<double> cells(60, 0.0);
    incMultiSFS(cells.data(), c);
    incOneHalfMultiSFS(cells.data(), c);
    EXPECT_EQ(cells[33], 1.5);

    c.init(&set_);
    EXPECT_EQ((std::vector<std::int64_t>{c.strides[0], c.strides[1], c.strides[2]}),
              (std::vector<std::int64_t>{1, 3, 12}));
    EXPECT_EQ(c.coords[1], 0) << "coordinates start at 0";

    Samples none;
    TSFSCoord empty;
    empty.initDadiLike(&none);
    EXPECT_EQ(empty.cell(), 0);
}

TEST_F(SpectrumFiles, SamplesOfTwoAndThree) {
    sample("a", 2);
    sample("b", 3);
    // Locus 1: derived copies (1, 2); "0" pooled 2 of 5, the minor allele.
    allele(0, "1", {0.5, 2.0 / 3.0});
    allele(0, "0", {0.5, 1.0 / 3.0});
    // Locus 2 holds missing data (in the second sample only): left out.
    allele(1, "0", {1.0, 0.0});
    allele(1, "?", {0.0, 1.0});
    // Locus 3 has no "0": every copy derived, (2, 3); "1" is its minor allele.
    allele(2, "2", {0.5, 2.0 / 3.0});
    allele(2, "1", {0.5, 1.0 / 3.0});
    s_.ComputePopSFS = 1, s_.ComputeJointSFS = 1, s_.ComputeMultiSFS = 1;

    set_.computeAndOutputSFS(s_);

    std::string const head = "1 observation. No. of demes and sample sizes are on next line\n2\t2\t3\n";
    EXPECT_EQ(obs("DSFS"), head + "0\t0\t0\t0\t0\t0\t1\t0\t0\t0\t0\t1\n");
    EXPECT_EQ(obs("MSFS"), head + "0\t0\t0\t0\t0\t1\t0\t0\t0\t0\t0\t1\n");
    EXPECT_EQ(obs("DAFpop1"), "1 observation\nd2_0\td2_1\td2_2\td2_3\n0\t0\t1\t1\n");
    EXPECT_EQ(obs("MAFpop0"), "1 observation\nd1_0\td1_1\td1_2\n0\t1\t1\n");
    EXPECT_EQ(obs("jointDAFpop1_0"),
              "1 observation\n\td1_0\td1_1\td1_2\nd2_0\t0\t0\t0\nd2_1\t0\t0\t0\nd2_2\t0\t1\t0\nd2_3\t0\t0\t1\n");
    EXPECT_EQ(file("data_numPolymSites.obs"),
              " 1 observation  (tot num. simulated sites and num. polym. sites on next line)\n3\t2\n");
    EXPECT_FALSE(exists("bootSFS"));
}

TEST_F(SpectrumFiles, HalvesAreWrittenWithOneDecimalOnlyWhereTheyOccur) {
    sample("a", 2);
    sample("b", 2);
    // Locus 1: all ancestral in the first sample, all derived in the
    // second; two copies of each allele among four, a tie.
    allele(0, "0", {1.0, 0.0});
    allele(0, "1", {0.0, 1.0});
    // Locus 2: all ancestral; its only allele "0" is the minor one.
    allele(1, "0", {1.0, 1.0});
    allele(1, "1", {0.0, 0.0});
    s_.ComputePopSFS = 1, s_.ComputeMultiSFS = 1;

    set_.computeAndOutputSFS(s_);

    EXPECT_EQ(obs("MAFpop0"), "1 observation\nd1_0\td1_1\td1_2\n0.5\t0\t1.5\n");
    std::string const head = "1 observation. No. of demes and sample sizes are on next line\n2\t2\t2\n";
    // Cells 3 x d1 + d2: locus 1 derived at (0, 2), its halves at (0, 2)
    // and (2, 0); locus 2 derived at (0, 0), minor at (2, 2).
    EXPECT_EQ(obs("DSFS"), head + "1\t0\t1\t0\t0\t0\t0\t0\t0\n");
    EXPECT_EQ(obs("MSFS"), head + "0\t0\t0.5\t0\t0\t0\t0.5\t0\t1\n");
    EXPECT_FALSE(exists("data_numPolymSites.obs")) << "written with the joint spectra only";
}

TEST_F(SpectrumFiles, NegativeReplicateCountWritesNothing) {
    sample("a", 2);
    allele(0, "0", {1.0});
    s_.ComputePopSFS = 1, s_.ComputeJointSFS = 1, s_.ComputeMultiSFS = 1, s_.NumBootSFS = -1;
    set_.computeAndOutputSFS(s_);
    for (auto const& entry : std::filesystem::directory_iterator(dir_))
        EXPECT_NE(entry.path().extension(), ".obs") << entry.path();
    EXPECT_FALSE(exists("bootSFS"));
}

}  // namespace
}  // namespace quintle
