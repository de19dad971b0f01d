#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/xml.h"
#include "datatypes/dna_driver_fixture.h"

using namespace quintle;
using namespace quintle::testing_support;

namespace {

// Five sequences of ten sites (see the neutrality tests): S = 3, pi = 1.2;
// haplotype counts 2, 1, 1, 1; C 14, T 11, A 15 and G 10 of 50 nucleotides.
std::vector<std::pair<std::string, int>> worked_sample() {
    return {{"ACGTACGTAC", 2}, {"ACGTACGTAA", 1}, {"GCGTACGTAC", 1}, {"ACTTACGTAC", 1}};
}

// The result file in its HTML form for the length of a test.
class HtmlOutput {
public:
    HtmlOutput() : saved_(xmlOutput) { xmlOutput = false; }
    ~HtmlOutput() { xmlOutput = saved_; }

private:
    bool saved_;
};

}  // namespace

TEST(DnaDriver, StandardAndMolecularDiversitySections) {
    HtmlOutput html;
    DnaSample d("pop1", worked_sample());
    DriverRun run(1 | 2);
    run.s.project_allele_db = &d.alleles;
    run.s.ComputeTheta = 2 | 8;
    d.pop.test_methods(run.s);
    const std::string out = run.result();
    const std::string rule79(79, '=');

    // Gene diversity 5/4 (1 - 0.28) = 0.9; its s.d. from Nei (1987, eq.
    // 8.12): sum p^2 = 0.28, sum p^3 = 0.088, V = 2/20 (2 x 3 (0.088 - 0.0784)
    // + 0.28 - 0.0784) = 0.02592, s.d. 0.1610.
    const char* standard =
        "\n===============================\n== Standard diversity indices : (pop1)\n"
        "===============================\n\nReference: <i>";
    const char* counts =
        "</i>\nNo. of gene copies       : 5\nNo. of sequences         : 4\nNo. of loci              : 10\n"
        "No. of usable loci       : 10 loci with less than  5.00 % missing data\nNo. of polymorphic sites : 3\n";
    const char* haplotypeLevel =
        "\nHaplotype-level computations\n----------------------------\n\nSum of square freqs.     :  0.2800\n"
        "Gene diversity           :  0.9000 +/-  0.1610\n\n(Standard deviation is for the sampling process)\n";
    // The sample size keeps the 4 decimals the previous section left.
    const char* molecular =
        "Sample size                                  : 5.0000\n"
        "No. of haplotypes                            : 4\n"
        "\nDeletion weight                              : 1.0000"
        "\nTransition weight                            : 1.0000"
        "\nTransversion weight                          : 1.0000"
        "\nAllowed level of missing data                : 5.0000 %"
        "\nNumber of observed transitions               : 1"
        "\nNumber of observed transversions             : 2"
        "\nNumber of substitutions                      : 3"
        "\nNumber of observed indels                    : 0"
        "\nNumber of polymorphic sites                  : 3"
        "\nNumber of observed sites with transitions    : 1"
        "\nNumber of observed sites with transversions  : 2"
        "\nNumber of observed sites with substitutions  : 3"
        "\nNumber of observed sites with indels         : 0"
        "\nNumber of observed nucleotide sites          : 10"
        "\nNumber of usable nucleotide sites            : 10\n"
        "\nNucleotide composition (Relative values)"
        "\n   C : 28.00%\n   T : 22.00%\n   A : 30.00%\n   G : 20.00%\n   Total :100.00%\n\n"
        "\nDistance method                              : Pairwise difference (no Gamma correction)\n";
    // s.d. of pi (Tajima 1983): (3 n (n + 1) pi + 2 (n^2 + n + 3) pi^2) /
    // (11 n^2 - 7 n + 6) = 203.04 / 246, s.d. 0.908496. theta(S) = 3 / a1 =
    // 1.44.
    const char* diversity =
        "\nMean number of pairwise differences          :     1.200000 +/-     0.908496\n"
        "\nNucleotide diversity (average over loci)     :     0.120000 +/- ";
    const char* thetas = "\n         Theta(S) :     1.440000\n    S.D. Theta(S) : ";
    const char* thetaPi = "\n        Theta(Pi) :     1.200000\n   S.D. Theta(Pi) : ";

    std::size_t at = out.find("\n" + rule79 + "\n== Sample : \tpop1\n" + rule79 + "\n\n");
    ASSERT_NE(at, std::string::npos) << out;
    for (const char* excerpt : {standard, counts, haplotypeLevel, molecular, diversity, thetas, thetaPi}) {
        const std::size_t next = out.find(excerpt, at);
        ASSERT_NE(next, std::string::npos) << "missing after " << at << ":\n" << excerpt << "\n---\n" << out;
        at = next;
    }
    EXPECT_DOUBLE_EQ(d.pop.geneDiversity, 0.9);
}
