// Microsatellite, standard and frequency projects end to end: the real
// program on the small projects of tests/data/alleles (and the haploid
// microsatellites of tests/data/pairwise), their statistics line, result
// file and batch lines against values worked out elsewhere.

#include <gtest/gtest.h>

#include "core/scratch.h"

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using quintle::scratch::read_file;
using quintle::scratch::write_file;

fs::path const data_dir = fs::path(QUINTLE_TEST_DATA_DIR);

std::vector<std::string> split(std::string const& line, char sep) {
    std::vector<std::string> out;
    std::istringstream in(line);
    for (std::string field; std::getline(in, field, sep);) out.push_back(field);
    return out;
}

class AlleleRun : public ::testing::Test {
protected:
    // A working folder with the project, the settings of alleles.pms with
    // `extra` lines first (the first line naming a key wins), the statistics
    // list and the batch files asked for.
    fs::path prepare(std::string const& name, fs::path const& project, std::string const& extra,
                     std::string const& ssdefs, std::string const& batch = "") {
        fs::path const work = base / name;
        fs::create_directories(work);
        fs::copy_file(data_dir / project, work / "p.pmp");
        std::string settings = read_file(data_dir / "alleles" / "alleles.pms");
        settings.insert(settings.find('\n') + 1, extra);
        write_file(work / "pml_run.pms", settings);
        write_file(work / "ssdefs.txt", "POP_LEVEL\n" + ssdefs + "\n");
        if (!batch.empty()) write_file(work / "glbstreams.txt", "flags\n" + batch + "\n");
        return work;
    }

    static int run(fs::path const& work, std::string const& seed = "11") {
        std::string const command = "cd '" + work.string() + "' && QUINTLE_SEED=" + seed + " '" + QUINTLE_BINARY +
                                    "' p.pmp stats.txt 0 1 > console.txt 2>&1";
        int const status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // Column name to value, from the header and value lines.
    static std::map<std::string, std::string> line(fs::path const& work) {
        std::vector<std::string> const lines = split(read_file(work / "stats.txt"), '\n');
        std::map<std::string, std::string> values;
        if (lines.size() < 2) return values;
        std::vector<std::string> const names = split(lines[0], '\t');
        std::vector<std::string> const cells = split(lines[1], '\t');
        for (std::size_t i = 0; i < names.size() && i < cells.size(); ++i) values[names[i]] = cells[i];
        return values;
    }

    static std::string result(fs::path const& work) { return read_file(work / "p.res" / "p.htm"); }
    static std::string log(fs::path const& work) { return read_file(work / "p.res" / "Pellomar_log.txt"); }

    static void expect_line(fs::path const& work, std::map<std::string, std::string> const& expected) {
        std::map<std::string, std::string> const values = line(work);
        for (auto const& [name, value] : expected) {
            auto const at = values.find(name);
            ASSERT_NE(at, values.end()) << name << " missing from\n" << read_file(work / "stats.txt");
            EXPECT_EQ(at->second, value) << name;
        }
    }

    quintle::scratch::Dir base{"quintle_allele_e2e"};
};

// Haploid microsatellites, by hand. m1: 3 x (120 134 200), 1 x (124 136 204);
// m2: two copies differing at two loci; m3: 2 x (126 ? 210), 1 x (120 ? 216).
// H = (1 - sum p^2) n / (n - 1): 0.5, 1, 0.666667. GW = k / (range + 1) over
// polymorphic loci: m1 (2/5 + 2/3 + 2/5) / 3 = 0.488889; R = (4 + 2 + 4) / 3.
// theta(Hom) (python3, scipy.optimize.brentq on
// t (1 + 2 (t + 1) / ((t + 2)(t + 3))) = 1 / Hom - 1): m1 0.746568 +/- 0.800710,
// m3 1.518817 +/- 2.236583. m1's mismatch: 3 pairs at 0 and 3 at 3 loci;
// mean 1.5, variance 2.7, theta0 sqrt(1.2), tau 1.5 - theta0, raggedness
// (9 + 9 + 9) / 36; expected counts by the sudden-expansion formula.
TEST_F(AlleleRun, HaploidMicrosatellitesByHand) {
    fs::path const work = prepare("msat3", "pairwise/msat3.pmp", "TaskNumber=7\n",
                                  "ALL_K ALL_H ALL_GW ALL_RANGE", "_GENE_DIVERSITY_ _MOLECULAR_DIVERSITY_ _THETA_ _MISMATCH_");
    ASSERT_EQ(run(work), 0);
    expect_line(work, {{"K_1", "2"}, {"K_2", "2"}, {"K_3", "2"}, {"H_1", "0.5"}, {"H_2", "1"}, {"H_3", "0.666667"},
                       {"GW_1", "0.488889"}, {"R_1", "3.33333"}, {"R_3", "6"}});

    std::string const text = result(work);
    EXPECT_NE(text.find("       Theta(Hom) :     0.746568\n  S.D. Theta(Hom) :     0.800710\n"), std::string::npos);
    EXPECT_NE(text.find("       Theta(Hom) :     1.518817\n  S.D. Theta(Hom) :     2.236583\n"), std::string::npos);
    EXPECT_NE(text.find("       0       3       1.911\n"
                        "       1       0       1.772\n"
                        "       2       0       1.083\n"
                        "       3       3       0.587\n"
                        "       4       0       0.309\n"
                        "       5       0       0.162\n"
                        "       6       0       0.085\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Mismatch observed mean              :        1.500\n"
                        "Mismatch observed variance          :        2.700\n\n"
                        "Parameters estimated under the sudden expansion model of Rogers 1995\n\n"
                        "Theta_0                             :        1.095\n"
                        "Tau                                 :        0.405\n"
                        "Harpending's Raggedness index       :        0.750\n"),
              std::string::npos)
        << text;
    // m2: a single pair, no variance.
    EXPECT_NE(text.find("       2       1       0.000\n"), std::string::npos);
    EXPECT_NE(text.find("\n\nImposible to estimate the parameters"), std::string::npos);

    // Batch lines: the head-less molecular line, one ended theta(Hom) line
    // per sample, and no mismatch line.
    std::string const mol = read_file(work / "mold_div.sum");
    EXPECT_NE(mol.find("\nnone\tnone\tnone\t0.05\tnone\tnone\tnone\tnone\t3\tnone\t3\t1.500000\t0.500000\n"),
              std::string::npos)
        << mol;
    std::string const theta = read_file(work / "theta.sum");
    EXPECT_NE(theta.find("\"\t\"m1\"\t0.746568\t(Hom)\t\n"), std::string::npos) << theta;
    EXPECT_NE(theta.find("\"\t\"m3\"\t1.51882\t(Hom)\t\n"), std::string::npos) << theta;
    EXPECT_EQ(read_file(work / "mismatch.sum").find("m1"), std::string::npos);
    EXPECT_NE(read_file(work / "gen_div.sum").find("\"\t\"m1\"\t4\t2\t3\t3\t3\t0.500000\n"), std::string::npos);
}

// The chi-square test of the mismatch distribution, for both distances.
// Reference (python3): classes, moments and pooled chi-square by the rules
// of the distribution, P = scipy.stats.chi2.sf(chi2, df):
//   different alleles: chi2 9.821735, 5 d.f., P 0.080447, theta0 0.520, tau 1.980
//   squared size differences: chi2 10.359750, 6 d.f., P 0.110297, theta0 1.658, tau 1.372
TEST_F(AlleleRun, MismatchChiSquareForBothDistances) {
    struct Case {
        char const* method;
        char const* block;
    } const cases[] = {
        {"0",
         "Theta_0                             :        0.520\n"
         "Tau                                 :        1.980\n"
         "Harpending's Raggedness index       :        0.016\n\n"
         "Test of goodness of fit between observed and expected mismatch counts \n\n"
         "Chi2 value                          :           9.822\n"
         "P value                             :           0.080 (5 d.f.)\n"},
        {"1",
         "Theta_0                             :        1.658\n"
         "Tau                                 :        1.372\n"
         "Harpending's Raggedness index       :        0.021\n\n"
         "Test of goodness of fit between observed and expected mismatch counts \n\n"
         "Chi2 value                          :          10.360\n"
         "P value                             :           0.110 (6 d.f.)\n"},
    };
    for (Case const& c : cases) {
        fs::path const work = prepare(std::string("mm") + c.method, "alleles/msat_mismatch.pmp",
                                      std::string("TaskNumber=4\nMismatchDistanceMethod=") + c.method + "\n", "ALL_K");
        ASSERT_EQ(run(work), 0);
        EXPECT_NE(result(work).find(c.block), std::string::npos) << result(work);
    }
}

// A subset of a public cattle data set (R package adegenet, data(microbov):
// breeds Borgou, Zebu and Lagunaire, the first 12, 10 and 15 individuals
// typed at INRA63, INRA5, ETH225, ILSTS5, HEL5, HEL1). Reference values:
//   K, Ksd: mean and sd over loci of adegenet::nAll(seppop(x, drop = TRUE)[[b]])
//   H, Hsd: mean and sd over loci of summary(xb)$Hexp * n / (n - 1), n = 2 nInd
//   GW, NGW, R: python3 from the per-locus sizes (k / (range + 1) and range
//     over polymorphic loci; k / (pooled range + 1) over all loci)
//   FST, FST_i_j: ade4::amova(samples, dist) on gene copies (two per
//     individual, in file column order) with distances sqrt(number of
//     differing loci), statphi[1, 1]
TEST_F(AlleleRun, DiploidMicrosatellitesAgainstPublishedTools) {
    fs::path const work = prepare("microbov", "alleles/microbov3.txt", "",
                                  "ALL_K ALLSD_K ALL_H ALLSD_H ALL_GW ALL_NGW ALL_RANGE GLOBAL_FSTAT PAIRWISE_FST");
    ASSERT_EQ(run(work), 0);
    expect_line(work, {{"K_1", "5.33333"},   {"K_2", "4.5"},       {"K_3", "3.66667"},   {"Ksd_1", "2.06559"},
                       {"Ksd_2", "0.547723"}, {"Ksd_3", "1.21106"}, {"H_1", "0.690821"},  {"H_2", "0.659649"},
                       {"H_3", "0.598084"},  {"Hsd_1", "0.120226"}, {"Hsd_2", "0.100065"}, {"Hsd_3", "0.12438"},
                       {"GW_1", "0.447422"}, {"GW_2", "0.408458"},  {"GW_3", "0.391053"},  {"NGW_1", "0.377492"},
                       {"NGW_2", "0.335938"}, {"NGW_3", "0.270207"}, {"R_1", "11.6667"},   {"R_2", "11"},
                       {"R_3", "8.66667"},   {"FST", "0.107508"},   {"FST_2_1", "0.0375031"},
                       {"FST_3_1", "0.097911"}, {"FST_3_2", "0.171228"}});
    EXPECT_EQ(log(work).find("ERROR"), std::string::npos) << log(work);
}

// Standard data. Diploid K and H (python3: per sample the mean and sd over
// loci of the number of alleles and of (1 - sum p^2) n / (n - 1)); haploid
// theta(Hom) (as above) and theta(k) with its interval (python3: E[K] =
// sum theta / (theta + i) = k, and the limits where P(K < k) = 0.025 and
// P(K <= k) = 0.975 under Ewens' distribution with exact Stirling numbers,
// scipy.optimize.brentq).
TEST_F(AlleleRun, StandardDataAgainstASeparateCalculation) {
    fs::path const diploid = prepare("diploid", "alleles/standard_diploid.pmp", "TaskNumber=3\nComputeTheta=15\n",
                                     "ALL_K ALLSD_K ALL_H ALLSD_H");
    ASSERT_EQ(run(diploid), 0);
    expect_line(diploid, {{"K_1", "2.66667"}, {"K_2", "2.33333"}, {"Ksd_1", "0.57735"}, {"H_1", "0.575758"},
                          {"H_2", "0.343434"}, {"Hsd_1", "0.0787296"}, {"Hsd_2", "0.0573627"}});
    EXPECT_EQ(result(diploid).find("Theta(k) :"), std::string::npos) << "unknown phase: no theta(k)";

    fs::path const haploid = prepare("haploid", "alleles/standard_haploid.pmp", "TaskNumber=3\nComputeTheta=15\n",
                                     "ALL_K ALL_H");
    ASSERT_EQ(run(haploid), 0);
    std::string const text = result(haploid);
    EXPECT_NE(text.find("       Theta(Hom) :     2.512639\n  S.D. Theta(Hom) :     0.884564\n\n"
                        "         Theta(k) :     1.804669\n"
                        "95 % confidence interval limits for theta(k) : [     0.651242,     4.676555 ]\n"
                        "\nUnable to compute theta(S) for standard data type \n"
                        "\nUnable to compute theta(Pi) for standard data type \n"),
              std::string::npos)
        << text;
}

// Samples A (t1 6, t2 4) and B (t2 3, t3 7) in one group, by hand:
// H_A = (1 - 0.52) 10/9, H_B = (1 - 0.58) 10/9; the pooled group
// (t1 6, t2 7, t3 7) has K 3 and H (1 - 134/400) 20/19 = 0.7. FST with 0/1
// distances between haplotypes: 0.431818 (ade4::amova on the same
// distances agrees).
TEST_F(AlleleRun, FrequencyData) {
    fs::path const work = prepare("frequency", "alleles/frequency2.pmp", "TaskNumber=1543\n",
                                  "ALL_K ALL_H GLOBAL_FSTAT PAIRWISE_FST", "_MOLECULAR_DIVERSITY_");
    std::string settings = read_file(work / "pml_run.pms");
    write_file(work / "pml_run.pms", settings + "ComputeSumStatsWithinGroups=1\n");
    write_file(work / "ssdefs.txt", "POP_LEVEL GROUP_LEVEL\nALL_K ALL_H GLOBAL_FSTAT PAIRWISE_FST\n");
    ASSERT_EQ(run(work), 0);
    expect_line(work, {{"K_1", "2"}, {"K_2", "2"}, {"H_1", "0.533333"}, {"H_2", "0.466667"}, {"FST", "0.431818"},
                       {"FST_2_1", "0.431818"}, {"gr_K_1", "3"}, {"gr_H_1", "0.7"}});
    std::string const mol = read_file(work / "mold_div.sum");
    EXPECT_NE(mol.find("\t0\tnone\t0\tnone\tnone\n"), std::string::npos) << mol;
    EXPECT_NE(result(work).find("Mismatch distribution cannot be computed \nin case of FREQUENCY data type.\n"),
              std::string::npos);
}

// With the Ewens-Watterson replicates (the only draws of these drivers), one
// seed gives the same files.
TEST_F(AlleleRun, OneSeedOneResult) {
    std::string const batch = "_GENE_DIVERSITY_ _MOLECULAR_DIVERSITY_ _EWENS_WATTERSON_ _CHAKRABORTY_";
    fs::path const first = prepare("first", "alleles/standard_haploid.pmp", "TaskNumber=391\n", "ALL_K ALL_H", batch);
    fs::path const second = prepare("second", "alleles/standard_haploid.pmp", "TaskNumber=391\n", "ALL_K ALL_H", batch);
    ASSERT_EQ(run(first, "5"), 0);
    ASSERT_EQ(run(second, "5"), 0);
    for (char const* file : {"stats.txt", "ewens.sum", "chakra.sum", "gen_div.sum", "mold_div.sum"})
        EXPECT_EQ(read_file(first / file), read_file(second / file)) << file;
    std::string const ewens = read_file(first / "ewens.sum");
    EXPECT_NE(ewens.find("\"hap\""), std::string::npos) << ewens;
    auto const section = [](std::string const& text) { return text.substr(text.find("== Ewens-Watterson")); };
    std::string const a = result(first);
    ASSERT_NE(a.find("== Ewens-Watterson"), std::string::npos);
    std::string b = result(second);
    EXPECT_EQ(section(a).substr(0, 2000), section(b).substr(0, 2000));
}

}  // namespace
