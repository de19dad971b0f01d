// Polymorphism and usability of loci, pooling of haplotypes at distance 0,
// and the haplotype / allele frequency tables.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/RectMat.h"
#include "popstats/PopGenetics.h"
#include "popstats/sample_builder.h"
#include "run/glbobj.h"
#include "run/settings.h"
#include "support/process_state.h"

namespace quintle {
namespace {

namespace fs = std::filesystem;
using testing_support::SampleBuilder;

std::string slurp(fs::path const& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// n x n distances; `zeros` lists the (i, j) pairs at distance 0, every other
// pair is at distance 1.
RectMat distances(int n, std::vector<std::pair<int, int>> const& zeros) {
    RectMat d(n, n);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) d(i, j) = i == j ? 0.0 : 1.0;
    for (auto [i, j] : zeros) d(i, j) = d(j, i) = 0.0;
    return d;
}

std::vector<double> rel_freqs(AHaplFreqList const& list) {
    std::vector<double> v;
    for (long i = 0; i < list.count; ++i) v.push_back(list.data[i]->relFreq);
    return v;
}

// ---------------------------------------------------------------- phenotypes

// ---------------------------------------------------------------- haplotypes

TEST(CompareHaplotypes, MissingFractionsUsableAndPolymorphicLoci) {
    // 10 gene copies, allowed missing level 0.2.
    // locus 1: A/B, 2 missing (0.2, exactly the limit) -> usable, polymorphic
    // locus 2: A/B, 3 missing (0.3) -> flagged polymorphic, not usable
    // locus 3: "?x" is a real allele next to A -> polymorphic, usable
    // locus 4: A only, nothing missing -> usable, monomorphic
    SampleBuilder b(STANDARD, 4);
    b.entry({"A", "A", "?x", "A"}, 5);
    b.entry({"B", "B", "A", "A"}, 2);
    b.entry({"?", "?", "A", "A"}, 2);
    b.entry({"A", "?", "A", "A"}, 1);
    PopGenetics& p = b.sample;
    p.SampleSize = 10;
    p.allowedMissingLevel = 0.2;
    ASSERT_EQ(p.compare_haplotypes(), 1);
    EXPECT_EQ(p.missingFreqPerSite, (std::vector<double>{0.2, 0.3, 0.0, 0.0}));
    EXPECT_EQ(p.usableSite, (std::vector<int>{1, 0, 1, 1}));
    EXPECT_EQ(p.polymorphicLocus, (std::vector<int>{1, 1, 1, 0}));
    EXPECT_EQ(p.numUsableSites, 3);
    EXPECT_EQ(p.numPolymorphicSites, 2);
}

// Entries that share one definition (one allele row) count as often as
// their counts say, wherever they stand in the list: the same sample as
// above with its entries split and interleaved, 10 copies in all.
TEST(CompareHaplotypes, EntriesSharingARowCountEachCopy) {
    SampleBuilder b(STANDARD, 4);
    HaploDef* a = b.entry({"A", "A", "?x", "A"}, 2);
    HaploDef* missing = b.entry({"?", "?", "A", "A"}, 1);
    b.entry({"B", "B", "A", "A"}, 2);
    b.entry(a, 3);
    b.entry({"A", "?", "A", "A"}, 1);
    b.entry(missing, 1);
    PopGenetics& p = b.sample;
    p.SampleSize = 10;
    p.allowedMissingLevel = 0.2;
    ASSERT_EQ(p.compare_haplotypes(), 1);
    EXPECT_EQ(p.missingFreqPerSite, (std::vector<double>{0.2, 0.3, 0.0, 0.0}));
    EXPECT_EQ(p.usableSite, (std::vector<int>{1, 0, 1, 1}));
    EXPECT_EQ(p.polymorphicLocus, (std::vector<int>{1, 1, 1, 0}));
    EXPECT_EQ(p.numPolymorphicSites, 2);
}

// ---------------------------------------------------------- distance classes

TEST(CheckHaplFreqs, PoolsThroughTheFirstEarlierMatch) {
    // d(1,0) = 0 and d(2,1) = 0 but d(2,0) > 0: haplotype 2 joins the class
    // of haplotype 1, so one class of 1 + 2 + 4; haplotype 3 alone (3).
    SampleBuilder b(STANDARD, 1);
    for (int count : {1, 2, 4, 3}) b.entry({"A"}, count);
    PopGenetics& p = b.sample;
    p.SampleSize = 10;
    AHaplFreqList classes(10, 10);
    EXPECT_EQ(p.check_hapl_freqs(distances(4, {{1, 0}, {2, 1}}), classes), 1);
    ASSERT_EQ(classes.count, 2);
    EXPECT_EQ(rel_freqs(classes), (std::vector<double>{7.0, 3.0}));
    EXPECT_EQ(classes.data[0]->relFreqSd, 49.0);
    EXPECT_EQ(classes.data[0]->absFreq, 0.0);
}

// Held by classes, the matrix pools alike: rows 0, 2 (class 0), 1, 4
// (class 1), 3 (class 2); classes 1 and 2 at 0, class 0 at 0 with itself,
// class 1 not (a distance above 0 between its two rows).
TEST(CheckHaplFreqs, ClassModePoolsAsTheFullMatrix) {
    SampleBuilder b(STANDARD, 1);
    for (int count : {1, 2, 4, 3, 5}) b.entry({"A"}, count);
    PopGenetics& p = b.sample;
    p.SampleSize = 15;
    RectMat d(0, 0);
    ASSERT_TRUE(d.make_classed({0, 1, 0, 2, 1}, 3));
    d.below(1, 0) = 1.0;
    d.below(2, 0) = 2.0;
    d.below(2, 1) = 0.0;
    d.below(0, 0) = 0.0;
    d.below(1, 1) = 1.0;
    RectMat full(5, 5);
    for (int i = 0; i < 5; ++i)
        for (int j = 0; j < 5; ++j) full(i, j) = d(i, j);
    AHaplFreqList byClass(10, 10), byEntry(10, 10);
    EXPECT_EQ(p.check_hapl_freqs(d, byClass), 1);
    EXPECT_EQ(p.check_hapl_freqs(full, byEntry), 1);
    EXPECT_EQ(rel_freqs(byClass), rel_freqs(byEntry));
    // Row 0 and row 2 pool (1 + 4); row 1 alone, row 3 joins it (2 + 3),
    // row 4 joins row 1's pool through row 3 (+ 5); the list keeps the
    // larger first.
    EXPECT_EQ(rel_freqs(byClass), (std::vector<double>{10.0, 5.0}));
}

// ----------------------------------------------------------- frequency table

class HaplFreqTable : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("quintle_haplfreq_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
        result_.open(dir_ / "result.txt", std::ios::out | std::ios::trunc);
        s_.ResultFile = &result_;
    }
    void TearDown() override {
        result_.close();
        batch_.close();
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    void open_batch() {
        batch_.open(dir_ / "batch.txt", std::ios::out | std::ios::trunc);
        ofs_allele_freqs = &batch_;
        _ALLELE_FREQS_ = 1;
    }
    std::string result() {
        result_.flush();
        return slurp(dir_ / "result.txt");
    }
    std::string batch() {
        batch_.flush();
        return slurp(dir_ / "batch.txt");
    }

    settings s_;
    fs::path dir_;

private:
    std::fstream result_;
    std::ofstream batch_;
    // After the stream, so that the batch pointer is put back before it goes.
    test::Saved<int> batchFlag_{_ALLELE_FREQS_};
    test::Saved<std::ostream*> batchStream_{ofs_allele_freqs};
};

TEST_F(HaplFreqTable, PoolsSameContentInFirstAppearanceOrder) {
    // Entries 1 and 3 are different definitions with the same alleles: one
    // row of 4/5. s.d. divisor sqrt(5 - 1) = 2: sqrt(0.8 * 0.2) / 2 = 0.2.
    SampleBuilder b(RFLP, 2);
    b.entry({"0", "1"}, 2);
    b.entry({"0", "0"}, 1);
    b.entry({"0", "1"}, 2);
    b.sample.SampleSize = 5;
    b.sample.name = "pop";
    s_.project_allele_db = &b.db;
    s_.ComputeAllAllelesEM = 1;
    open_batch();
    b.sample.calc_hapl_dat_hapl_freq(s_);

    EXPECT_EQ(result(),
              "\nHaplotype database content:\n\n"
              "  No.     Freq.      s.d.    Haplotype:\n"
              "    1  0.800000  0.200000    01\n"
              "    2  0.200000  0.200000    00\n"
              "\nAllele Data base content:\n\n"
              "\nAlleles for the locus 0:\n\n"
              "  No.     Freq.      s.d.  Allele:\n"
              "    1  1.000000  0.000000   0\n"
              "\nAlleles for the locus 1:\n\n"
              "  No.     Freq.      s.d.  Allele:\n"
              "    1  0.800000  0.200000   1\n"
              "    2  0.200000  0.200000   0\n");
    EXPECT_EQ(batch(), "\tSample \"pop\"\tLocus_1\t1\tLocus_2\t0.8\t0.2\n");
}

}  // namespace
}  // namespace quintle
