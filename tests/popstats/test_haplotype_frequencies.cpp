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
#include "popstats/log_capture.h"
#include "popstats/sample_builder.h"
#include "run/glbobj.h"
#include "run/settings.h"

namespace quintle {
namespace {

namespace fs = std::filesystem;
using testing_support::LogCapture;
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

TEST(ComparePhenotypes, PolymorphicWhenTwoNamedAllelesOccur) {
    // Locus 1: missing copies and one allele -> monomorphic. Locus 2: first
    // copy missing, then A, then B -> polymorphic. Locus 3: one allele.
    SampleBuilder b(STANDARD, 3);
    b.individual({"?", "?", "X"}, {"A", "?", "X"}, 1.0);
    b.individual({"?", "A", "X"}, {"A", "B", "X"}, 1.0);
    PopGenetics& p = b.sample;
    p.polymorphicLocus = {1, 1, 1, 1, 1};  // left over from data with more loci
    EXPECT_EQ(p.compare_phenotypes(), 1);
    EXPECT_EQ(p.polymorphicLocus, (std::vector<int>{0, 1, 0}));
    EXPECT_EQ(p.numPolymorphicSites, 1);
}

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

TEST(CompareHaplotypes, ArraysFollowTheNumberOfLoci) {
    // The per-site arrays are sized anew when a later call sees another
    // number of loci; with sample size 0 the raw missing counts stay.
    PopGenetics reused;
    for (int loci : {2, 5, 1}) {
        SCOPED_TRACE(loci);
        SampleBuilder b(STANDARD, loci);
        const auto n = static_cast<std::size_t>(loci);
        std::vector<char const*> first(n, "A"), second(n, "?");
        second[0] = "B";
        auto to_list = [](std::vector<char const*> const& v, SampleBuilder& sb) {
            auto* def = new HaploDef(my_string("h"));
            for (std::size_t l = 0; l < v.size(); ++l) def->alleles.Add(sb.allele(static_cast<int>(l), v[l]));
            sb.definitions.emplace_back(def);
            return def;
        };
        reused.haplotypes.Flush();
        reused.haplotypes.Add(new PHaploDef{to_list(first, b), 3});
        reused.haplotypes.Add(new PHaploDef{to_list(second, b), 4});
        reused.profile.MissingData = '?';
        reused.SampleSize = 0;
        reused.allowedMissingLevel = 10.0;
        ASSERT_EQ(reused.compare_haplotypes(), 1);
        ASSERT_EQ(reused.usableSite.size(), n);
        ASSERT_EQ(reused.polymorphicLocus.size(), n);
        ASSERT_EQ(reused.missingFreqPerSite.size(), n);
        EXPECT_EQ(reused.missingFreqPerSite[0], 0.0);
        for (std::size_t l = 1; l < n; ++l) EXPECT_EQ(reused.missingFreqPerSite[l], 4.0);
        EXPECT_EQ(reused.polymorphicLocus[0], 1);
        EXPECT_EQ(reused.numPolymorphicSites, 1);
        EXPECT_EQ(reused.numUsableSites, loci);
        reused.haplotypes.Flush();  // before the builder's definitions go
    }
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

TEST(CheckHaplFreqs, SampleSizeMismatchAndSmallMatrix) {
    LogCapture log;
    for (double size : {5.0, 6.0}) {
        SampleBuilder b(STANDARD, 1);
        b.entry({"A"}, 3);
        b.entry({"A"}, 2);
        b.sample.SampleSize = size;
        AHaplFreqList classes(10, 10);
        EXPECT_EQ(b.sample.check_hapl_freqs(distances(2, {}), classes), size == 5.0 ? 1 : 0);
        EXPECT_EQ(rel_freqs(classes), (std::vector<double>{3.0, 2.0}));  // appended either way
    }
    EXPECT_NE(log.text().find("\"PopGenetics::check_hapl_freqs\" : sum of haplotype frequencies do not match "
                              "specified sample size"),
              std::string::npos);

    SampleBuilder b(STANDARD, 1);
    b.entry({"A"}, 3);
    b.entry({"A"}, 2);
    b.sample.SampleSize = 5;
    AHaplFreqList classes(10, 10);
    EXPECT_EQ(b.sample.check_hapl_freqs(RectMat(1, 2), classes), 0);
    EXPECT_EQ(classes.count, 0);
}

TEST(CheckHaplRedond, MergesLaterEntriesIntoEarlierOnes) {
    SampleBuilder b(STANDARD, 1);
    HaploDef* h0 = b.entry({"A"}, 1);
    HaploDef* h1 = b.entry({"B"}, 2);
    b.entry({"A"}, 4);
    b.entry({"B"}, 8);
    PopGenetics& p = b.sample;
    EXPECT_EQ(p.check_hapl_redond(distances(4, {{0, 2}, {1, 3}})), 1);
    ASSERT_EQ(p.haplotypes.count, 2);
    EXPECT_EQ(p.NbHaplotypeEntries, 2);
    EXPECT_EQ(p.haplotypes.data[0]->haplotype, h0);
    EXPECT_EQ(p.haplotypes.data[0]->count, 5);
    EXPECT_EQ(p.haplotypes.data[1]->haplotype, h1);
    EXPECT_EQ(p.haplotypes.data[1]->count, 10);

    EXPECT_EQ(p.check_hapl_redond(distances(3, {})), 0);  // size differs from the list
    EXPECT_EQ(p.haplotypes.count, 2);
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
        savedFlag_ = _ALLELE_FREQS_;
        savedStream_ = ofs_allele_freqs;
    }
    void TearDown() override {
        _ALLELE_FREQS_ = savedFlag_;
        ofs_allele_freqs = savedStream_;
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
    int savedFlag_ = 0;
    std::ofstream* savedStream_ = nullptr;
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

TEST_F(HaplFreqTable, DnaSiteTable) {
    // 3 AC and 1 AT of 4: s.d. sqrt(0.75 * 0.25) / sqrt(3) = 0.25.
    SampleBuilder b(DNA, 2);
    b.entry({"A", "C"}, 3);
    b.entry({"A", "T"}, 1);
    b.sample.SampleSize = 4;
    s_.project_allele_db = &b.db;
    s_.ComputeAllAllelesEM = 1;
    b.sample.calc_hapl_dat_hapl_freq(s_);
    EXPECT_EQ(result(),
              "\nHaplotype database content:\n\n"
              "  No.     Freq.      s.d.    Haplotype:\n"
              "    1  0.750000  0.250000    AC\n"
              "    2  0.250000  0.250000    AT\n"
              "\nAllele Data base content:\n\n"
              "Site#\tStates\tState frequencies\n"
              "=====\t======\t=================\n"
              "    1\t1\tA : 1.0000\t\n"
              "    2\t2\tC : 0.7500\tT : 0.2500\t\n");
}

TEST_F(HaplFreqTable, FrequencyDataPoolsByIdentifierOnly) {
    // "x" twice with different alleles: one row; "y" shares x's alleles but
    // not its identifier: a row of its own. No locus blocks for this type.
    SampleBuilder b(FREQUENCY, 1);
    b.entry({"A"}, 1, "x");
    b.entry({"B"}, 1, "x");
    b.entry({"A"}, 2, "y");
    b.sample.SampleSize = 1;  // s.d. divisor 1
    b.sample.name = "f";
    s_.project_allele_db = &b.db;
    s_.ComputeAllAllelesEM = 1;
    open_batch();
    b.sample.calc_hapl_dat_hapl_freq(s_);
    EXPECT_EQ(result(),
              "\nHaplotype database content:\n\n"
              "  No.     Freq.      s.d.    Ext ID:\n"
              "    1  0.500000  0.500000    x\n"
              "    2  0.500000  0.500000    y\n"
              "\nAllele Data base content:\n\n");
    EXPECT_EQ(batch(), "\tSample \"f\"\n");
}

TEST_F(HaplFreqTable, ZeroTotalsAreReported) {
    LogCapture log;
    const std::string report = "\"PopGenetics::calc_hapl_dat_hapl_freq()\" : sum of haplotype frequencies is zero";
    {
        // Empty list: nothing written.
        SampleBuilder b(STANDARD, 1);
        s_.project_allele_db = &b.db;
        b.sample.calc_hapl_dat_hapl_freq(s_);
        EXPECT_EQ(result(), "");
        EXPECT_NE(log.text().find(report), std::string::npos);
    }
    {
        // The allele base has a second locus that no haplotype carries: the
        // first locus is written, then the report, and no line end on the
        // batch stream.
        SampleBuilder b(STANDARD, 2);
        b.entry({"A"}, 1);
        b.sample.SampleSize = 1;
        b.sample.name = "z";
        s_.project_allele_db = &b.db;
        s_.ComputeAllAllelesEM = 1;
        open_batch();
        b.sample.calc_hapl_dat_hapl_freq(s_);
        const std::string out = result();
        EXPECT_NE(out.find("Alleles for the locus 0:"), std::string::npos);
        EXPECT_EQ(out.find("Alleles for the locus 1:"), std::string::npos);
        EXPECT_EQ(batch(), "\tSample \"z\"\tLocus_1\t1");
        const std::string text = log.text();
        EXPECT_NE(text.find(report, text.find(report) + 1), std::string::npos);
    }
}

}  // namespace
}  // namespace quintle
