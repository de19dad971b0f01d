// The sample distance outputs: the distances of conventional FST and their
// ".dis" rows, and the printed matrix, haplotype list and spanning tree.

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/RectMat.h"
#include "core/xml.h"
#include "popstats/PopGenetics.h"
#include "popstats/sample_builder.h"
#include "popstats/sample_distance_matrices.h"
#include "run/settings.h"
#include "support/process_state.h"

namespace quintle {
namespace {

using testing_support::SampleBuilder;

class SampleDistances : public ::testing::Test {
protected:
    test::LogGuard log_{"quintle_dis"};
    test::Saved<bool> xml_{xmlOutput, false};
    settings s;
    std::ostringstream out;
};

TEST_F(SampleDistances, ConventionalDistancesOfThreeHaplotypes) {
    SampleBuilder b(DNA, 3);
    b.entry({"A", "C", "G"}, 2, "h1");
    b.entry({"A", "C", "T"}, 1, "h2");
    b.entry({"T", "C", "T"}, 4, "h3");
    ASSERT_EQ(b.sample.compute_dist_mat_for_conventional_FST(out, &s), 1);
    // Below the diagonal 1 for every pair of distinct haplotypes, a blank of
    // width 8 in place of the diagonal, the never-set upper triangle as 0.
    EXPECT_EQ(out.str(),
              "          0.0000  0.0000\n"
              "  1.0000          0.0000\n"
              "  1.0000  1.0000        \n");
    EXPECT_EQ((*b.sample.distMat)(2, 0), 1.0);
    EXPECT_EQ((*b.sample.distMat)(1, 1), 0.0);
    EXPECT_NE(log_.text().find("\t\tWriting matrix to file ...\n"), std::string::npos);

    // A failed stream: the matrix without the rows.
    std::ostringstream failed;
    failed.setstate(std::ios::failbit);
    EXPECT_EQ(b.sample.compute_dist_mat_for_conventional_FST(failed, &s), 1);
    EXPECT_EQ((*b.sample.distMat)(1, 0), 1.0);
}

// Microsatellite and standard data compare usable loci, skipping a missing
// allele; DNA haplotypes that differ only at unusable sites stay at 1.
TEST_F(SampleDistances, LociWithMissingDataAndUnusableSites) {
    SampleBuilder m(MICROSAT, 3);
    m.entry({"120", "?", "88"}, 1, "a");
    m.entry({"120", "140", "90"}, 1, "b");
    m.entry({"120", "140", "88"}, 1, "c");
    m.sample.profile.MissingData = '?';
    m.sample.usableSite = {1, 1, 0};
    ASSERT_EQ(m.sample.compute_dist_mat_for_conventional_FST(out, &s), 1);
    RectMat const& d = *m.sample.distMat;
    EXPECT_EQ(d(1, 0), 0.0) << "differ only where a is missing, and at an unusable locus";
    EXPECT_EQ(d(2, 0), 0.0);
    EXPECT_EQ(d(2, 1), 0.0);
    m.sample.usableSite = {1, 1, 1};
    ASSERT_EQ(m.sample.compute_dist_mat_for_conventional_FST(out, &s), 1);
    EXPECT_EQ((*m.sample.distMat)(1, 0), 1.0);
    EXPECT_EQ((*m.sample.distMat)(2, 0), 0.0);

    SampleBuilder dna(DNA, 2);
    dna.entry({"A", "C"}, 1, "x");
    dna.entry({"A", "G"}, 1, "y");
    dna.sample.usableSite = {1, 0};
    ASSERT_EQ(dna.sample.compute_dist_mat_for_conventional_FST(out, &s), 1);
    EXPECT_EQ((*dna.sample.distMat)(1, 0), 1.0);
}

TEST_F(SampleDistances, FrequencyDataAndEmptySamples) {
    SampleBuilder f(FREQUENCY, 1);
    f.entry({"h1"}, 3, "h1");
    f.entry({"h2"}, 3, "h2");
    f.entry({"h3"}, 3, "h3");
    ASSERT_EQ(f.sample.compute_dist_mat_for_conventional_FST(out, &s), 1);
    RectMat const& d = *f.sample.distMat;
    EXPECT_EQ(d.constantMode, 1);
    EXPECT_EQ(d.nRows, 2);
    EXPECT_EQ(d(2, 1), 1.0);
    EXPECT_EQ(d(2, 2), 0.0);
    EXPECT_TRUE(out.str().empty());

    SampleBuilder empty(DNA, 1);
    EXPECT_EQ(empty.sample.compute_dist_mat_for_conventional_FST(out, &s), 0);
    EXPECT_NE(log_.text().find("haplotype list is empty"), std::string::npos);
}

// Sum of the link lengths printed by the spanning tree.
double printed_tree_length(std::string const& text) {
    std::istringstream in(text.substr(text.find("=====  ")));
    std::string line;
    std::getline(in, line);
    double total = 0.0;
    while (std::getline(in, line) && !line.empty()) {
        std::istringstream fields(line);
        std::string a, b;
        double length = 0.0;
        fields >> a >> b >> length;
        total += length;
    }
    return total;
}

// The tree's length against ape::mst (R package ape 5.7, Debian
// r-cran-ape): sum(m[mst(as.dist(m)) == 1]) / 2 gives 13 and 3.75.
TEST_F(SampleDistances, SpanningTreeLengthAgreesWithApe) {
    std::vector<std::vector<double>> const six = {{0, 3, 5, 4, 7, 6}, {3, 0, 2, 6, 5, 8}, {5, 2, 0, 3, 4, 9},
                                                  {4, 6, 3, 0, 2, 5}, {7, 5, 4, 2, 0, 3}, {6, 8, 9, 5, 3, 0}};
    std::vector<std::vector<double>> const four = {
        {0, 1.5, 2.25, 4}, {1.5, 0, 1.75, 3.5}, {2.25, 1.75, 0, 0.5}, {4, 3.5, 0.5, 0}};
    for (auto const& [m, length] : {std::pair{six, 13.0}, std::pair{four, 3.75}}) {
        const int n = static_cast<int>(m.size());
        SampleBuilder b(DNA, 1);
        for (int i = 0; i < n; ++i) b.entry({"A"}, 1, ("hap" + std::to_string(i)).c_str());
        b.sample.distMat = std::make_unique<RectMat>(n, n);
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j) (*b.sample.distMat)(i, j) = m[i][j];
        s.PrintMinSpannNetworkPop = 1;
        std::ostringstream text;
        b.sample.print_out_dist_mat(&text, s);
        EXPECT_EQ(printed_tree_length(text.str()), length);
        EXPECT_NE(text.str().find("MINIMUM SPANNING TREE between " + std::string(7, ' ') + std::to_string(n) + " OTUs\n"),
                  std::string::npos);
    }
}

TEST_F(SampleDistances, PrintedMatrixListAndTreeLayout) {
    SampleBuilder b(DNA, 2);
    b.entry({"A", "C"}, 2, "h1");
    b.entry({"A", "G"}, 1, "long_id_10");
    b.sample.distMat = std::make_unique<RectMat>(2, 2);
    (*b.sample.distMat)(1, 0) = 1.0;
    (*b.sample.distMat)(0, 1) = 0.5;
    s.PrintHaplDistMat = 1;
    s.PrintMinSpannNetworkPop = 1;
    b.sample.print_out_dist_mat(&out, s);
    const std::string w14 = std::string(14, ' ');
    EXPECT_EQ(out.str().rfind("\nInter-haplotypic distance matrix (s.d. above diagonal):\n\n" + w14 +
                                  "            h1    long_id_10\n\n"
                                  "            h1" + w14 + "        0.5000\n"
                                  "    long_id_10        1.0000" + w14 + "\n\n"
                                  "\nList of Haplotypes:\n\n"
                                  "            h1 : AC\n"
                                  "    long_id_10 : AG\n\n",
                              0),
              0u)
        << out.str();
    EXPECT_NE(out.str().find("            h1      long_id_10             1.00000\n"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find(std::string(11, ' ') + "OTU" + std::string(4, ' ') + "List of alternative links\n" +
                             std::string(11, ' ') + "===" + std::string(4, ' ') + "=========================\n"),
              std::string::npos);

    // One haplotype: the tree headings without a link.
    SampleBuilder one(DNA, 1);
    one.entry({"A"}, 3, "h");
    one.sample.distMat = std::make_unique<RectMat>(1, 1);
    std::ostringstream single;
    one.sample.print_out_dist_mat(&single, s);
    const std::string t = single.str();
    EXPECT_NE(t.find("    =================\n\n"), std::string::npos) << t;
}

// Without a matrix, or with one smaller than the list, only the list is
// printed, after ERROR 122.
TEST_F(SampleDistances, MissingOrShortMatrixPrintsTheListOnly) {
    SampleBuilder b(DNA, 1);
    b.entry({"A"}, 1, "h1");
    b.entry({"C"}, 1, "h2");
    b.entry({"G"}, 1, "h3");
    s.PrintHaplDistMat = 1;
    s.PrintMinSpannNetworkPop = 1;
    for (int size : {0, 2}) {
        if (size > 0) b.sample.distMat = std::make_unique<RectMat>(size, size);
        std::ostringstream text;
        b.sample.print_out_dist_mat(&text, s);
        EXPECT_EQ(text.str(), "\nList of Haplotypes:\n\n      h1 : A\n      h2 : C\n      h3 : G\n\n") << size;
    }
    const std::string log = log_.text();
    const std::size_t first = log.find("distance matrix does not exist");
    ASSERT_NE(first, std::string::npos);
    EXPECT_NE(log.find("distance matrix does not exist", first + 1), std::string::npos);
    EXPECT_EQ(haplotype_column_width(b.sample.haplotypes), 8);
}

}  // namespace
}  // namespace quintle
