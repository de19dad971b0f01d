#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "core/xml.h"
#include "datatypes/dna_driver_fixture.h"
#include "run/glbobj.h"

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

// Batch summary streams switched on for the length of a test.
class BatchStreams {
public:
    struct Stream {
        int* flag;
        std::ofstream** stream;
        char const* file;
    };

    BatchStreams(std::filesystem::path dir, std::vector<Stream> streams)
        : dir_(std::move(dir)), streams_(std::move(streams)), savedInput_(settings::input_file) {
        settings::input_file = "proj.pmp";
        for (Stream const& s : streams_) {
            *s.flag = 1;
            *s.stream = new std::ofstream(dir_ / s.file);
        }
    }
    ~BatchStreams() {
        for (Stream const& s : streams_) {
            delete *s.stream;
            *s.stream = nullptr;
            *s.flag = 0;
        }
        settings::input_file = savedInput_;
    }
    std::string text(char const* file) {
        for (Stream const& s : streams_) (*s.stream)->flush();
        return read_file(dir_ / file);
    }

private:
    std::filesystem::path dir_;
    std::vector<Stream> streams_;
    my_string savedInput_;
};

std::string fixed(double v, int decimals) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return buf;
}

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
    EXPECT_EQ(out.find("Theta(Hom)"), std::string::npos);

    EXPECT_NE(run.log().find("\tComputing standard diversity indices ...\n\tdone !\n"
                             "\tComputing molecular diversity indices ...\n"),
              std::string::npos)
        << run.log();
    EXPECT_DOUBLE_EQ(d.pop.geneDiversity, 0.9);
}

// Neither task writes anything; without Fu's test its fields are reset
// whatever they held.
TEST(DnaDriver, SilentTaskSets) {
    for (std::int64_t tasks : {0, 4096}) {
        DnaSample d("pop1", worked_sample());
        d.pop.fuFs = -4.0;
        d.pop.fuFsP = 0.3;
        DriverRun run(tasks);
        d.pop.test_methods(run.s);
        EXPECT_EQ(run.result(), "") << tasks;
        EXPECT_EQ(run.log(), "") << tasks;
        EXPECT_EQ(d.pop.fuFs, 0.0);
        EXPECT_EQ(d.pop.fuFsP, -1.0);
    }
}

TEST(DnaDriver, RecessiveDataRefuseDiversityIndices) {
    DnaSample d("pop1", worked_sample());
    DriverRun run(1 | 2);
    run.s.PrintSampleAnchor = 0;
    run.s.RecessiveAllelesEM = 1;
    d.pop.test_methods(run.s);
    EXPECT_EQ(run.result(), "Molecular diversity indices cannot be computed \nfor recessive data\n\n");
    EXPECT_EQ(d.pop.recessiveAllelesEM, 1);
}

TEST(DnaDriver, HaplotypeFrequenciesWithoutSampleHeader) {
    HtmlOutput html;
    DnaSample d("pop1", worked_sample());
    DriverRun run(8);
    run.s.project_allele_db = &d.alleles;
    run.s.PrintSampleAnchor = 0;
    d.pop.test_methods(run.s);
    const std::string out = run.result();
    EXPECT_EQ(out.find("== "), std::string::npos) << out;
    EXPECT_NE(out.find("Haplotype database content"), std::string::npos) << out;
    EXPECT_NE(run.log().find("\tComputing haplotype frequencies ...\n\tdone !\n"), std::string::npos);
}

TEST(DnaDriver, BatchLinesWhenFlagsAreOn) {
    DnaSample d("pop1", worked_sample());
    DriverRun run(1 | 2 | 64 | 16384);
    run.s.project_allele_db = &d.alleles;
    run.s.ComputeTheta = 2 | 8;
    run.s.NumSimulFuTest = 1;
    BatchStreams batch(run.dir(), {{&_GENE_DIVERSITY_, &ofs_gen_div, "gen.sum"},
                                   {&_MOLECULAR_DIVERSITY_, &ofs_mol_div, "mol.sum"},
                                   {&_NUCLEOTIDE_COMPOSITION_, &ofs_nuc_comp, "nuc.sum"},
                                   {&_THETA_, &ofs_theta, "theta.sum"},
                                   {&_TAJIMA_, &ofs_tajima, "tajima.sum"},
                                   {&_FU_FS_, &ofs_fu_fs, "fu.sum"}});
    d.pop.test_methods(run.s);

    const std::string head = "\"proj.pmp\"\t\"pop1\"\t";
    EXPECT_EQ(batch.text("gen.sum"), head + "5\t4\t10\t10\t3\t0.900000\n");
    EXPECT_EQ(batch.text("mol.sum"), head + "1\t1\t1\t0.05\t1\t2\t3\t0\t3\t10\t10\t#Diff\t inf\t1.200000\t0.120000\n");
    EXPECT_EQ(batch.text("nuc.sum"), head + "28.00\t22.00\t30.00\t20.00\t100.00\n");
    // No theta(Hom): the line has no head and starts with theta(S).
    EXPECT_EQ(batch.text("theta.sum"), "1.44\t(S)\t1.2\t(Pi)\t\n");
    // One replicate: Tajima's line has no tail, Fu's has one.
    EXPECT_EQ(batch.text("tajima.sum"),
              head + "5\t3\t1.440000\t1.200000\t" + fixed(d.pop.tajimaD, 6) + "\t-1.000000\n");
    const std::string fu = batch.text("fu.sum");
    const std::string fuHead = head + "5\t4\t1.200000\t" + fixed(d.pop.fuFs, 6);
    ASSERT_EQ(fu.substr(0, fuHead.size()), fuHead) << fu;
    EXPECT_TRUE(std::regex_match(fu.substr(fuHead.size()), std::regex("\t[01]\\.000000\t[01]\\.000000\t1\n"))) << fu;
}
