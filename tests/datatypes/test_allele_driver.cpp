// The microsatellite and standard-data drivers section by section: texts,
// label widths, refusals, batch lines and the reports after a refused
// distance matrix.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "datatypes/PopulMicrosat.h"
#include "datatypes/PopulStandard.h"
#include "datatypes/allele_fixture.h"

namespace quintle {
namespace {

using testing_support::AlleleRun;
using testing_support::DnaBatchFiles;
using testing_support::reports;
using Microsat = testing_support::AlleleSample<PopulMicrosat>;
using Standard = testing_support::AlleleSample<PopulStandard>;

std::string after(std::string const& text, std::string const& from) {
    const std::size_t at = text.find(from);
    return at == std::string::npos ? std::string() : text.substr(at);
}

bool ends_with(std::string const& text, std::string const& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Counts 2, 1, 1 at two loci; distances 1, 1 and 2 between the haplotypes,
// so S = 6 and pi = 1 over n = 4. Reference values (python3, the formulas of
// the diversity indices; theta(Hom) by scipy.optimize.brentq on
// theta (1 + 2 (theta + 1) / ((theta + 2)(theta + 3))) = 1 / Hom - 1):
// pi s.d. 0.829646, per locus 0.5 +/- 0.495349, theta(Hom) 4.042026 +/- 7.071457.
TEST(MicrosatDriver, MolecularDiversityBlockAndBatchLines) {
    AlleleRun run(MICROSAT, 2);
    run.s.ComputeTheta = 1;
    run.s.AllowedLevelOfMissingData = 0.05;
    DnaBatchFiles batch(run.dir());
    Microsat m("m", {{"10 12", 2}, {"11 12", 1}, {"10 14", 1}});
    m.pop.test_methods(run.s);

    EXPECT_EQ(after(run.result(), "Sample size"),
              "Sample size                         : 4\n"
              "No. of haplotypes                   : 3\n"
              "\nAllowed level of missing data       : 5 %"
              "\nNumber of usable loci               : 2\n\n"
              "\nDistance method                     : No. of different alleles"
              "\nMean number of pairwise differences :     1.000000 +/-     0.829646\n"
              "\nAverage gene diversity over loci    :     0.500000 +/-     0.495349\n\n"
              "(Standard deviations are for both the sampling and the stochastic processes)\n"
              "\nUnable to compute some theta values for microsatellite data type\n"
              "\nInfinite allele model:\n\n"
              "       Theta(Hom) :     4.042026\n"
              "  S.D. Theta(Hom) :     7.071457\n");
    const std::string files = batch.text();
    EXPECT_NE(files.find("== mol_div\nnone\tnone\tnone\t0.05\tnone\tnone\tnone\tnone\t2\tnone\t2\t1.000000\t0.500000\n"),
              std::string::npos)
        << files;
    EXPECT_NE(files.find("\"\t\"m\"\t4.04203\t(Hom)\t\n== "), std::string::npos) << "one ended theta line\n" << files;
    const std::string log = run.log();
    EXPECT_NE(log.find("\tComputing molecular diversity...\n\t\tBeginning distance computations ...\n"),
              std::string::npos)
        << log;
}

TEST(MicrosatDriver, ThetaRefusedWhenAllCopiesDiffer) {
    AlleleRun run(MICROSAT, 2);
    run.s.ComputeTheta = 1;
    Microsat m("m", {{"10", 1}, {"11", 1}, {"12", 1}, {"13", 1}, {"14", 1},
                     {"15", 1}, {"16", 1}, {"17", 1}, {"18", 1}, {"19", 1}});
    m.pop.test_methods(run.s);
    EXPECT_TRUE(ends_with(run.result(),
                          "\nUnable to compute some theta values for microsatellite data type\n"
                          "\nUnable to compute theta(Hom) when all gene copies are different\n"))
        << run.result();
}

TEST(MicrosatDriver, MonomorphicMismatchHasOneRow) {
    AlleleRun run(MICROSAT, 4);
    Microsat m("m", {{"10 12", 4}});
    m.pop.test_methods(run.s);
    const std::string text = after(run.result(), "  #Diff.");
    EXPECT_EQ(text.substr(0, text.find("Mismatch observed mean")),
              "  #Diff.   Count  Exp. Count\n"
              "  ------   -----  ----------\n"
              "       0       6       0\n\n\n");
    EXPECT_NE(text.find("\n\nImposible to estimate the parameters of the sudden expansion model of Rogers 1995\n"
                        "using the current observed mismatch distribution\n"),
              std::string::npos)
        << text;
}

// The mismatch classes count squared size differences, while molecular
// diversity of the same run counts different alleles.
TEST(MicrosatDriver, MismatchTakesItsOwnDistance) {
    AlleleRun run(MICROSAT, 2 | 4);
    run.s.MismatchDistanceMethod = 1;
    Microsat m("m", {{"10 12", 2}, {"10 14", 1}});
    m.pop.test_methods(run.s);
    const std::string text = run.result();
    EXPECT_NE(text.find("Distance method                     : No. of different alleles"), std::string::npos);
    EXPECT_EQ(m.pop.maxPairwiseDistance, 4);
    // Pairs: one at distance 0, two at 4.
    EXPECT_NE(text.find("       0       1"), std::string::npos) << text;
    EXPECT_NE(text.find("       4       2"), std::string::npos) << text;
    EXPECT_EQ(m.pop.meanPairwiseDiff, 2.0 / 3.0) << "from the matrix of different alleles";
}

// Squared size differences can reach 2^31: a distribution of 2M + 1
// classes that large is refused rather than allocated.
TEST(MicrosatDriver, MismatchOfHugeDistancesIsRefused) {
    AlleleRun run(MICROSAT, 4);
    run.s.MismatchDistanceMethod = 1;
    Microsat m("m", {{"0", 2}, {"4000", 1}});
    m.pop.test_methods(run.s);
    EXPECT_EQ(m.pop.maxPairwiseDistance, 16000000);
    EXPECT_TRUE(m.pop.mismatchObs.empty());
    EXPECT_EQ(reports(run.log()),
              std::vector<std::string>{"ERROR PopGenetics::compute_mm_distr() : mismatch vector not available"});
    EXPECT_NE(run.result().find("       0       3       0\n"), std::string::npos) << run.result();
}

TEST(MicrosatDriver, TajimaAndFuAreRefused) {
    AlleleRun run(MICROSAT, 64 | 0x4000);
    Microsat m("m", {{"10", 2}, {"12", 1}});
    m.pop.fuFs = 5.0;
    m.pop.tajimaP = 0.5;
    m.pop.test_methods(run.s);
    const std::string text = run.result();
    EXPECT_NE(text.find("== Tajima's test of selective neutrality : (m)\n==========================================\n"),
              std::string::npos);
    EXPECT_NE(text.find("\n\n Tajima's test is not possible for Microsatellite data\n\n\n"), std::string::npos);
    EXPECT_NE(text.find("== Fu's Fs test of selective neutrality : (m)\n==========================================\n"),
              std::string::npos);
    EXPECT_NE(text.find("\n\n Fu's Fs test is not possible for Microsatellite data\n\n\n"), std::string::npos);
    EXPECT_EQ(m.pop.fuFs, 5.0);
    EXPECT_EQ(m.pop.tajimaP, 0.5);
}

TEST(MicrosatDriver, NoSampleHeadingWithoutWithinSampleTasks) {
    AlleleRun run(MICROSAT, 4096);
    Microsat m("m", {{"10", 2}, {"12", 1}});
    m.pop.test_methods(run.s);
    EXPECT_EQ(run.result().find("== Sample"), std::string::npos);
}

TEST(MicrosatDriver, StopRequestEndsTheDriver) {
    AlleleRun run(MICROSAT, 1 | 2 | 4);
    run.s.stopFlag = 1;
    Microsat m("m", {{"10", 2}, {"12", 1}});
    m.pop.test_methods(run.s);
    EXPECT_EQ(run.result().find("Standard diversity"), std::string::npos);
    EXPECT_EQ(run.result().find("Molecular diversity"), std::string::npos);
}

// After a refused matrix no section reads a partly filled one: molecular
// diversity computes again (a second refusal) and reports the missing
// matrix, as do the printed matrix and the mismatch distribution.
TEST(MicrosatDriver, RefusedMatrixIsMissingForEverySection) {
    AlleleRun run(MICROSAT, 2 | 4);
    run.s.PrintHaplDistMat = 1;
    Microsat m("m", {{"10 12", 2}, {"1e999 12", 1}});
    m.pop.test_methods(run.s);
    constexpr char refused[] =
        "ERROR PopulMicrosat::compute_distance_matrix() : microsatellite allele not coded as an integer value";
    EXPECT_EQ(reports(run.log()),
              (std::vector<std::string>{
                  refused, refused,
                  "ERROR PopulMicrosat::compute_molecular_diversity() : distance matrix does not exist",
                  "ERROR PopGenetics::print_out_dist_mat() : distance matrix does not exist", refused,
                  "ERROR PopGenetics::compute_mm_distr(ofstream ofs) : distance matrix does not exist"}));
    EXPECT_FALSE(m.pop.distMat);
    EXPECT_TRUE(m.pop.mismatchObs.empty());
    EXPECT_NE(run.result().find("       0       3       0\n"), std::string::npos) << "the row of no distribution";
}

TEST(MicrosatDriver, StandardDiversityNamesLociAndCitesTwoWorks) {
    AlleleRun run(MICROSAT, 1);
    Microsat m("m", {{"100 20", 2}, {"104 20", 2}});
    m.pop.test_methods(run.s);
    const std::string text = run.result();
    EXPECT_NE(text.find("No. of gene copies       : 4\nNo. haplotypes           : 2\nNo. of loci              : 2\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\nNo. of polymorphic loci  : 1\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Detection of reduction in population size"), std::string::npos) << "second citation";
    // Alleles 100 and 104, two copies each: range 4, index 2 / 5.
    EXPECT_NE(text.find("     1         4         2   0.66667         4     0.40000\n"), std::string::npos) << text;
    EXPECT_NE(run.log().find("\tComputing standard diversity indices ...\n\tdone !\n"), std::string::npos);
}

TEST(StandardDriver, RecessiveDataAreRefusedInStandardDiversity) {
    AlleleRun run(STANDARD, 1);
    run.s.RecessiveAllelesEM = 1;
    Standard st("s", {{"A B", 2}, {"C B", 1}});
    st.pop.test_methods(run.s);
    const std::string text = run.result();
    EXPECT_TRUE(ends_with(text,
                          "Most standard diversity indices cannot be computed \n"
                          "for recessive data\n\n"
                          "No. of gene copies in sample       : 3\n"))
        << text;
    EXPECT_EQ(text.find("Locus#"), std::string::npos) << "no per-locus table";
    EXPECT_EQ(text.find("Detection of reduction"), std::string::npos) << "one citation";
    EXPECT_NE(run.log().find("\tComputing standard diversity indices ...\n\tdone ! ("), std::string::npos);
}

TEST(StandardDriver, ThetaHomAndKThenTheRefusals) {
    AlleleRun run(STANDARD, 2);
    run.s.ComputeTheta = 15;
    Standard st("s", {{"A B", 3}, {"C B", 2}, {"C D", 1}});
    st.pop.test_methods(run.s);
    const std::string text = after(run.result(), "Sample size");
    const std::size_t hom = text.find("       Theta(Hom) : ");
    const std::size_t k = text.find("         Theta(k) : ");
    const std::size_t interval = text.find("\n95 % confidence interval limits for theta(k) : [ ");
    const std::size_t s = text.find("\nUnable to compute theta(S) for standard data type \n");
    const std::size_t pi = text.find("\nUnable to compute theta(Pi) for standard data type \n");
    ASSERT_NE(pi, std::string::npos) << text;
    EXPECT_TRUE(hom < k && k < interval && interval < s && s < pi) << text;
    EXPECT_EQ(text.find("Distance method"), std::string::npos);
    EXPECT_EQ(text.find("some theta values"), std::string::npos);
    EXPECT_NE(text.find("Sample size                                  : 6\n"
                        "No. of haplotypes                            : 3\n"),
              std::string::npos);
    EXPECT_NE(text.find("\nMean number of pairwise differences           : "), std::string::npos);
    EXPECT_NE(text.find("\nAverage gene diversity over loci              : "), std::string::npos);
}

TEST(StandardDriver, AllCopiesDifferentRefusesBothThetas) {
    AlleleRun run(STANDARD, 2);
    run.s.ComputeTheta = 0;
    Standard st("s", {{"A", 1}, {"B", 1}});
    st.pop.test_methods(run.s);
    EXPECT_TRUE(ends_with(run.result(),
                          "\nUnable to compute theta(Hom) and theta(k) when all gene copies are different\n"))
        << run.result();
}

// Haplotype counts without alleles: counts and "none" for the means, then the
// mismatch heading and its refusal.
TEST(FrequencyDriver, MolecularCountsAndMismatchRefusal) {
    AlleleRun run(FREQUENCY, 2 | 4);
    DnaBatchFiles batch(run.dir());
    Standard f("f", {{"", 6}, {"", 4}});
    f.pop.dataType = FREQUENCY;
    f.pop.test_methods(run.s);
    const std::string text = run.result();
    EXPECT_NE(text.find("No. of haplotypes                            : 2\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("Average gene diversity"), std::string::npos);
    EXPECT_NE(text.find("== Mismatch distribution : (f)\n"), std::string::npos);
    EXPECT_TRUE(ends_with(text, "Mismatch distribution cannot be computed \nin case of FREQUENCY data type.\n"));
    EXPECT_NE(batch.text().find("\tnone\tnone\n== theta"), std::string::npos) << batch.text();
    EXPECT_EQ(run.log().find("Computing molecular diversity"), std::string::npos) << "no distances";
}

// The haplotypes of frequency data have no alleles to compare: merging them
// by distance would leave one class. The list comes from the counts.
TEST(FrequencyDriver, EwensWattersonListComesFromTheCounts) {
    AlleleRun run(FREQUENCY, 128);
    run.s.InferHaplotypeDefinitionFromDistanceMatrix = 1;
    run.s.NumIterationsNeutralityTests = 20;
    Standard f("f", {{"", 6}, {"", 4}});
    f.pop.dataType = FREQUENCY;
    f.pop.test_methods(run.s);
    EXPECT_DOUBLE_EQ(f.pop.ewObservedF, 0.36 + 0.16) << run.result();
}

TEST(StandardDriver, EwensWattersonRefusesASingleHaplotype) {
    AlleleRun run(STANDARD, 128);
    Standard st("s", {{"A B", 5}});
    st.pop.test_methods(run.s);
    constexpr char warning[] = "Warning: Ewens-Watterson's test of selective neutrality cannot be performed \n";
    EXPECT_NE(run.result().find(warning), std::string::npos);
    EXPECT_NE(run.log().find(std::string("\t\t") + warning), std::string::npos);
    EXPECT_EQ(run.log().find("Testing neutrality (Ewens-Watterson )"), std::string::npos);
}

}  // namespace
}  // namespace quintle
