// The linked-loci histogram, worked out by hand on three biallelic loci with
// minor-allele counts 1, 4 and 9 (haplotypes a b c 10, a b d 5, a e d 4,
// f b c 1): classes 1 to 5; loci 0 and 1 linked (P 0.01); loci 1 and 2 at
// P equal to the level, so not linked.

#include <gtest/gtest.h>

#include <string>

#include "core/TriMat.h"
#include "haplo_fixture.h"

namespace quintle {
namespace {

using haplo_test::AnalysisTest;
using haplo_test::PhasedSample;

class Histogram : public AnalysisTest {
protected:
    Histogram() { s.SignificanceLevelLD = 0.05; }
    PhasedSample sample{{{"a b c", 10}, {"a b d", 5}, {"a e d", 4}, {"f b c", 1}}};
};

TEST_F(Histogram, MinorAlleleCounts) {
    int loci[3] = {0, 1, 2};
    int minor[3] = {};
    sample.pop.init_all_min_allele(3, loci, minor);
    EXPECT_EQ(minor[0], 1);
    EXPECT_EQ(minor[1], 4);
    EXPECT_EQ(minor[2], 9);
}

TEST_F(Histogram, TheThreeOutputsOfTheExample) {
    open_batch_streams();
    TriMat p(3);
    p(1, 0) = 0.01;
    p(2, 0) = 0.5;
    p(2, 1) = 0.05;
    int loci[3] = {0, 1, 2};
    sample.pop.print_ld_histo(3, loci, p, s, result_);

    EXPECT_EQ(histogram(),
              "y\\Locus: \t0\t1\t2\t   No. of Loci\n"
              "1\t1\t1\t0\t3\n2\t-1\t0\t0\t2\n3\t-1\t0\t0\t2\n4\t-1\t0\t0\t2\n5\t-1\t-1\t0\t1\n"
              "\n\n\n"
              "y\\Locus: \t0\t1\t2\t   No. of Loci\n"
              "1\t50\t50\t0\t3\n2\t-1\t0\t0\t2\n3\t-1\t0\t0\t2\n4\t-1\t0\t0\t2\n5\t-1\t-1\t0\t2\n");
    EXPECT_EQ(batch("link_dis.sum"),
              "\t\t\t0\t1\t2\t\n"
              "0.05\t1\t3\t1\t1\t0\t\n0.05\t2\t2\t-1\t0\t0\t\n0.05\t3\t2\t-1\t0\t0\t\n0.05\t4\t2\t-1\t0\t0\t\n"
              "0.05\t5\t1\t-1\t-1\t0\t\n");
    std::string const text = result();
    EXPECT_NE(text.find("\n     5       *    *    0            1\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\n     1       50.0    50.0     0.0            3\n"), std::string::npos) << text;
    // A class of one locus divides by one.
    EXPECT_NE(text.find("\n     5          *       *     0.0            2\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Remark: All these results can be found in the file: "), std::string::npos);
}

TEST_F(Histogram, EachSampleRewritesTheFile) {
    TriMat p(3);
    int loci[3] = {0, 1, 2};
    sample.pop.print_ld_histo(3, loci, p, s, result_);
    PhasedSample second({{"g h", 3}, {"k l", 2}});
    TriMat q(2);
    q(1, 0) = 0.001;
    sample.pop.print_ld_histo(0, loci, p, s, result_);  // no loci: the file still starts afresh
    EXPECT_EQ(histogram(), "y\\Locus: \t   No. of Loci\n\n\n\ny\\Locus: \t   No. of Loci\n");
    second.pop.print_ld_histo(2, loci, q, s, result_);
    EXPECT_EQ(histogram(),
              "y\\Locus: \t0\t1\t   No. of Loci\n1\t1\t1\t2\n2\t1\t1\t2\n\n\n\n"
              "y\\Locus: \t0\t1\t   No. of Loci\n1\t100\t100\t2\n2\t100\t100\t2\n");
}

}  // namespace
}  // namespace quintle
