// The tests on whole projects: the real program on DNA projects (the
// linkage columns of the statistics line, the Hardy-Weinberg section of a
// phased diploid sample, a haploid project) and the Hardy-Weinberg section
// of RFLP, microsatellite and standard samples read from their projects.
//
// Reference values:
// - dna_ld_two.pmp: |D'| and r2 of every pair of polymorphic sites from a
//   separate python3 calculation over the haplotype counts (2 x 2 tables,
//   D = p11 - p1. p.1, Dmax by the sign of D, r2 = D^2 / (pa(1-pa) pb(1-pb))).
// - dna_diploid_hw.pmp and rflp_diploid.pmp (the same genotypes): genotype
//   counts, heterozygosities by hand; exact P by a python3 enumeration of
//   every genotype table with the observed allele counts (Levene's
//   probabilities): sites 1, 3, 4 P 0.0769231, 0.199378, 0.199378, whole
//   haplotypes 0.0427350.
// - standard_phased.pmp: the three-allele genotypes 11:3 12:1 13:1 22:2
//   23:2 33:3, P 0.0735080 by the same enumeration.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "core/scratch.h"
#include "program_run.h"
#include "project/project_test_support.h"

namespace quintle {
namespace {

namespace fs = std::filesystem;
fs::path const data_dir = fs::path(QUINTLE_TEST_DATA_DIR);

class ProjectRun : public ::testing::Test {
protected:
    int run(std::string const& project, std::map<std::string, std::string> const& keys, std::string const& ssdefs) {
        fs::copy_file(data_dir / "haplo" / project, work / project, fs::copy_options::overwrite_existing);
        scratch::write_file(work / "pml_run.pms", test::settings_with(keys));
        scratch::write_file(work / "ssdefs.txt", ssdefs);
        return test::run_program(work.path(), project, 13);
    }
    std::string file(std::string const& name) { return scratch::read_file(work / name); }
    // Column name -> value of the statistics file.
    std::map<std::string, double> columns() {
        std::istringstream in(file("stats.txt"));
        std::string header, values;
        std::getline(in, header);
        std::getline(in, values);
        std::istringstream h(header), v(values);
        std::map<std::string, double> out;
        for (std::string name, value; std::getline(h, name, '\t') && std::getline(v, value, '\t');)
            out[name] = std::stod(value);
        return out;
    }
    scratch::Dir work{"quintle_hw_ld"};
};

std::string const all_ld_keywords =
    "POP_LEVEL\nMEAN_ALL_DPRIME MEAN_ALL_R2 ALL_ADJ_DPRIME ALL_ADJ_R2 MEAN_ADJ_DPRIME MEAN_ADJ_R2 FLANK_DPRIME "
    "FLANK_R2\n";

// The line's linkage columns hold the last sample's values, with the exact
// test or without it: never those of the sample before.
TEST_F(ProjectRun, LinkageColumnsHoldTheLastSamplesValues) {
    std::map<std::string, double> const last = {{"mean_D'_1", 0.619048},
                                                {"mean_R2_1", 0.428571},
                                                {"adj_D'_1", 1},
                                                {"adj_D'_2", 0.428571},
                                                {"adj_R2_1", 1},
                                                {"adj_R2_2", 0.142857},
                                                {"mean_adj_D'_1", 0.714286},
                                                {"mean_adj_R2_1", 0.571429},
                                                {"flank_D'_1", 0.428571},
                                                {"flank_R2_1", 0.142857}};
    for (char const* exact : {"0", "1"}) {
        SCOPED_TRACE(exact);
        ASSERT_EQ(run("dna_ld_two.pmp",
                      {{"TaskNumber", "16"},
                       {"MakeExactTestLD", exact},
                       {"ComputeDvalues", "1"},
                       {"MarkovChainStepsLD", "2000"}},
                      all_ld_keywords),
                  0);
        auto const d = columns();
        EXPECT_EQ(d.size(), last.size()) << file("stats.txt");
        for (auto const& [name, value] : last) {
            ASSERT_TRUE(d.count(name)) << name;
            EXPECT_NEAR(d.at(name), value, 2e-6) << name;
        }
    }
    // The histogram file of the pass holds the last sample's tables.
    EXPECT_EQ(file("dna_ld_two.res/ld_dis.xl").rfind("y\\Locus: \t1\t2\t3\t", 0), 0u);
}

// One locus row of a Hardy-Weinberg section: genotypes, heterozygosities,
// P and its s.d.
struct HwRow {
    long genotypes = -1;
    double obs = -1, exp = -1, P = -1, sd = -1;
};

HwRow hw_row(std::string const& text, int locus) {
    std::smatch m;
    std::regex const row("\n +" + std::to_string(locus) +
                         " +(\\d+) +([0-9.]+) +([0-9.]+) +([0-9.]+) +([0-9.]+) +\\d+\n");
    HwRow r;
    if (std::regex_search(text, m, row))
        r = {std::stol(m[1]), std::stod(m[2]), std::stod(m[3]), std::stod(m[4]), std::stod(m[5])};
    return r;
}

double haplotype_p(std::string const& text, double& sd) {
    std::smatch m;
    std::regex const line(R"(Markov Chain test:  P value : ([0-9.]+) \+/- +([0-9.]+) )");
    if (!std::regex_search(text, m, line)) return -1;
    sd = std::stod(m[2]);
    return std::stod(m[1]);
}

// The genotypes of dna_diploid_hw.pmp and rflp_diploid.pmp.
void expect_ridge_section(std::string const& text) {
    struct Locus {
        int number;
        long genotypes;
        double obs, exp, reference;
    };
    for (Locus l : {Locus{1, 8, 0.125, 0.458333, 0.0769231},
                    {3, 8, 0.25, 0.533333, 0.199378},
                    {4, 8, 0.25, 0.533333, 0.199378}}) {
        HwRow const r = hw_row(text, l.number);
        EXPECT_EQ(r.genotypes, l.genotypes) << l.number << "\n" << text;
        EXPECT_NEAR(r.obs, l.obs, 1e-5);
        EXPECT_NEAR(r.exp, l.exp, 1e-5);
        EXPECT_NEAR(r.P, l.reference, std::max(6 * r.sd, 0.005)) << l.number;
    }
    EXPECT_NE(text.find("    2   This locus is monomorphic: no test done."), std::string::npos);
    double sd = 0;
    EXPECT_NEAR(haplotype_p(text, sd), 0.0427350, std::max(6 * sd, 0.005));
}

std::map<std::string, std::string> const hw_keys = {{"TaskNumber", "32"},
                                                    {"MakeHWExactTest", "1"},
                                                    {"TypeOfTestHW", "2"},
                                                    {"MarkovChainStepsHW", "100000"},
                                                    {"MarkovChainDememorisationStepsHW", "1000"},
                                                    {"XMLOutput", "0"}};

TEST_F(ProjectRun, HardyWeinbergOnPhasedDiploidDna) {
    ASSERT_EQ(run("dna_diploid_hw.pmp", hw_keys, "POP_LEVEL\n"), 0);
    expect_ridge_section(file("dna_diploid_hw.res/dna_diploid_hw.htm"));
}

// The exact linkage test with the default chain on the same phased
// genotypes: the gene-copy tables of pairs (0, 2) and (0, 3) are
// [[8, 3], [0, 5]], that of (2, 3) [[8, 0], [0, 8]], each the least probable
// table of its margins (exact P by scipy.stats.fisher_exact(table)[1]).
TEST_F(ProjectRun, ExactLinkageTestOnPhasedDiploidDna) {
    ASSERT_EQ(run("dna_diploid_hw.pmp",
                  {{"TaskNumber", "16"},
                   {"MakeExactTestLD", "1"},
                   {"MarkovChainStepsLD", "100000"},
                   {"MarkovChainDememorisationStepsLD", "1000"},
                   {"XMLOutput", "0"}},
                  "POP_LEVEL\n"),
              0);
    std::string const text = file("dna_diploid_hw.res/dna_diploid_hw.htm");
    struct Pair {
        char const* loci;
        double reference;
    };
    for (Pair p : {Pair{"0, 2", 0.0256410256}, {"0, 3", 0.0256410256}, {"2, 3", 0.0001554002}}) {
        std::smatch m;
        std::regex const line("Pair \\(" + std::string(p.loci) +
                              "\\) Exact P=([0-9.e-]+)  \\+-  ([0-9.e-]+) \\(100172 Steps done\\)\n");
        ASSERT_TRUE(std::regex_search(text, m, line)) << p.loci << "\n" << text;
        double const P = std::stod(m[1]), sd = std::stod(m[2]);
        EXPECT_GT(P, 0.0) << p.loci;
        EXPECT_NEAR(P, p.reference, std::max(6 * sd, 0.005)) << p.loci;
    }
}

// The run drops the test for haplotypic data before any sample is analysed.
TEST_F(ProjectRun, AHaploidProjectSkipsTheTest) {
    ASSERT_EQ(run("dna_ld_two.pmp", hw_keys, "POP_LEVEL\n"), 0);
    EXPECT_NE(file("dna_ld_two.res/Pellomar_log.txt").find("Hardy-Weinberg disequilibrium test is not possible"),
              std::string::npos);
    EXPECT_EQ(file("dna_ld_two.res/dna_ld_two.htm").find("Markov chain (for all Loci)"), std::string::npos);
}

// Samples of the other data types, read from their projects as a run reads
// them; their analysis drivers call the same member.
class OtherDataTypes : public test::ProjectDirTest {
protected:
    std::vector<std::string> sections(std::string const& project) {
        std::filesystem::copy_file(data_dir / project, dir / fs::path(project).filename());
        Project p;
        EXPECT_EQ(test::read_project(dir / fs::path(project).filename(), p), 1) << log();
        p.options.TaskNumber = 32;
        EXPECT_EQ(p.make_run_possible(), 1) << log();
        settings& s = p.options;
        s.MakeHWExactTest = 1;
        s.TypeOfTestHW = 2;
        s.MarkovChainStepsHW = 100000;
        s.MarkovChainDememorisationStepsHW = 1000;
        std::vector<std::string> out;
        for (long i = 0; i < p.samples->Populations.count; ++i) {
            Population& pop = *p.samples->Populations.data[i];
            std::fstream f(dir / "section.txt", std::ios::out | std::ios::trunc);
            pop.make_all_hw(f, pop.phenotypes, static_cast<long>(s.MarkovChainStepsHW), s);
            f.close();
            out.push_back(test::slurp(dir / "section.txt"));
        }
        return out;
    }
};

TEST_F(OtherDataTypes, Rflp) {
    auto const s = sections("haplo/rflp_diploid.pmp");
    ASSERT_EQ(s.size(), 1u);
    expect_ridge_section(s[0]);
}

TEST_F(OtherDataTypes, Microsatellites) {
    // Pop A: locus 1 120/122, 120/124 x2 (by hand: Exp.Het. (6/5)(1 - 14/36));
    // locus 2 known in one individual only. Pop B: one heterozygote at
    // locus 2, a table without moves.
    auto const s = sections("project/microsat_diploid.pmp");
    ASSERT_EQ(s.size(), 2u);
    HwRow const a = hw_row(s[0], 1);
    EXPECT_EQ(a.genotypes, 3);
    EXPECT_NEAR(a.obs, 1.0, 1e-9);
    EXPECT_NEAR(a.exp, 0.733333, 1e-5);
    EXPECT_NE(s[0].find("    2   This locus is monomorphic: no test done."), std::string::npos);
    EXPECT_NE(s[1].find("    1   This locus is monomorphic: no test done."), std::string::npos);
    HwRow const b = hw_row(s[1], 2);
    EXPECT_EQ(b.genotypes, 1);
    EXPECT_EQ(b.P, 1.0);
    EXPECT_EQ(b.sd, 0.0);
    EXPECT_EQ(s[0].find("Haplotypes"), std::string::npos);  // unphased
}

TEST_F(OtherDataTypes, Standard) {
    auto const s = sections("haplo/standard_phased.pmp");
    ASSERT_EQ(s.size(), 1u);
    HwRow const r = hw_row(s[0], 1);
    EXPECT_EQ(r.genotypes, 12);
    EXPECT_NEAR(r.P, 0.0735080, std::max(6 * r.sd, 0.005));
    double sd = 0;
    EXPECT_NEAR(haplotype_p(s[0], sd), 0.0735080, std::max(6 * sd, 0.005));
}

}  // namespace
}  // namespace quintle
