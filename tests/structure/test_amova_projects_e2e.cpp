// The AMOVA with the individual level and the locus-by-locus AMOVA end to
// end: the real program on the small diploid projects of tests/data/amova
// (DNA phased and unphased, microsatellites, standard data), the same
// individuals in each.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "core/scratch.h"

namespace fs = std::filesystem;

namespace {

using quintle::scratch::read_file;
using quintle::scratch::write_file;

fs::path const data_dir = fs::path(QUINTLE_TEST_DATA_DIR);

// Reference values, for all four projects: ade4::amova with the individuals
// as samples (a haplotype x individual count table), distances
// as.dist(sqrt(D)) with D the number of loci at which two haplotypes
// differ, structures data.frame(pop, group), Phi printed with digits = 15:
// Phi-samples-factor.pop. (FIS), Phi-factor.pop.-factor.grp. (FSC),
// Phi-factor.grp.-total (FCT), Phi-samples-total (FIT).
constexpr double kFIS = 0.375975039001560, kFSC = -0.126043039086517, kFCT = 0.532306338028169,
                 kFIT = 0.671361502347418;

class AmovaProjectRun : public ::testing::Test {
protected:
    // A working folder with the project (its structure section replaced by
    // `structure` when given) and the individual-level settings, `extra`
    // lines first.
    fs::path prepare(std::string const& name, char const* project, std::string const& extra = "",
                     std::string const& structure = "") {
        fs::path const work = base / name;
        fs::create_directories(work);
        std::string text = read_file(data_dir / "amova" / project);
        if (!structure.empty()) text = text.substr(0, text.find("  [[Structure]]")) + structure;
        write_file(work / "p.pmp", text);
        write_file(work / "pml_run.pms", "[Setting for Calculations]\n" + extra +
                                             read_file(data_dir / "amova" / "individual.pms").substr(27));
        write_file(work / "ssdefs.txt", "POP_LEVEL\nGLOBAL_FSTAT\n");
        return work;
    }
    static int run(fs::path const& work, std::string const& seed = "3") {
        std::string const command = "cd '" + work.string() + "' && QUINTLE_SEED=" + seed + " '" + QUINTLE_BINARY +
                                    "' p.pmp stats.txt 0 1 > console.txt 2>&1";
        int const status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    // The statistics line as column -> value.
    static std::map<std::string, double> stats(fs::path const& work) {
        std::istringstream in(read_file(work / "stats.txt"));
        std::string header, values;
        std::getline(in, header);
        std::getline(in, values);
        std::istringstream h(header), v(values);
        std::map<std::string, double> m;
        for (std::string name, value; h >> name && v >> value;) m[name] = std::stod(value);
        return m;
    }
    static std::string result(fs::path const& work) { return read_file(work / "p.res" / "p.htm"); }
    static std::string log(fs::path const& work) { return read_file(work / "p.res" / "Pellomar_log.txt"); }
    // The index lines that follow the n-th " Fixation Indices" heading.
    static std::string indices(std::string const& text, int n) {
        std::size_t at = std::string::npos;
        for (int k = 0; k <= n; ++k) at = text.find(" Fixation Indices\n", at == std::string::npos ? 0 : at + 1);
        if (at == std::string::npos) return {};
        std::string block = text.substr(at, text.find("---", at) - at);
        while (!block.empty() && block.back() == '\n') block.pop_back();
        return block;
    }

    quintle::scratch::Dir base{"quintle_amova_e2e"};
};

// Every data type, phased or not: the groups design's indices on the
// statistics line equal ade4's, and the average over loci (pairwise
// differences, no missing data) equals the whole-sample AMOVA.
TEST_F(AmovaProjectRun, GroupsDesignOfEveryDataType) {
    for (char const* project : {"dna_phased.pmp", "dna_unphased.pmp", "microsat_unphased.pmp", "standard_unphased.pmp"}) {
        SCOPED_TRACE(project);
        fs::path const work = prepare(project, project);
        ASSERT_EQ(run(work), 0) << log(work);
        std::map<std::string, double> const line = stats(work);
        EXPECT_NEAR(line.at("FIS"), kFIS, 5e-6);
        EXPECT_NEAR(line.at("FSC"), kFSC, 5e-6);
        EXPECT_NEAR(line.at("FCT"), kFCT, 5e-6);
        EXPECT_NEAR(line.at("FIT"), kFIT, 5e-6);
        std::string const text = result(work);
        std::string const whole = indices(text, 0);
        EXPECT_NE(whole.find("      FIS :      0.37598\n      FSC :     -0.12604\n      FCT :      0.53231\n"
                             "      FIT :      0.67136"),
                  std::string::npos)
            << text;
        EXPECT_NE(text.find("Global AMOVA results as a weighted average over loci"), std::string::npos);
        EXPECT_EQ(indices(text, 1), whole) << "average over loci";
        EXPECT_EQ(log(work).find("ERROR"), std::string::npos) << log(work);
    }
}

// One group: FIS, FST, FIT (ade4 with data.frame(pop) over A, B, C) and the
// FIS of each sample (ade4 on the sample alone: A 0.5, B 0.571428571428571,
// C 0.5). One sample (B): FIS of ade4 without structures.
TEST_F(AmovaProjectRun, OneGroupAndOneSample) {
    fs::path const group = prepare("group", "microsat_unphased.pmp", "",
                                   "  [[Structure]]\n    StructureName=\"one\"\n    NbGroups=1\n"
                                   "    Group={ \"A\" \"B\" \"C\" }\n");
    ASSERT_EQ(run(group), 0) << log(group);
    std::map<std::string, double> line = stats(group);
    EXPECT_NEAR(line.at("FIS"), 0.544715447154472, 5e-6);
    EXPECT_NEAR(line.at("FST"), 0.300654720882150, 5e-6);
    EXPECT_NEAR(line.at("FIT"), 0.681598897312199, 5e-6);
    std::string const text = result(group);
    std::size_t const table = text.find("Population specific FIS indices (110 permutations)");
    ASSERT_NE(table, std::string::npos) << text;
    EXPECT_NE(text.find("     1         A   0.50000", table), std::string::npos);
    EXPECT_NE(text.find("     2         B   0.57143", table), std::string::npos);
    EXPECT_NE(text.find("     3         C   0.50000", table), std::string::npos);

    fs::path const one = prepare("one", "standard_unphased.pmp", "",
                                 "  [[Structure]]\n    StructureName=\"one\"\n    NbGroups=1\n    Group={ \"B\" }\n");
    ASSERT_EQ(run(one), 0) << log(one);
    line = stats(one);
    EXPECT_NEAR(line.at("FIS"), 0.571428571428571, 5e-6);
    EXPECT_NE(result(one).find(" Fixation Index     FIS :      0.57143\n"), std::string::npos);
}

// A fixed seed repeats every P value and the population-specific ones; a
// different seed changes them.
TEST_F(AmovaProjectRun, SeedRepeatsPValues) {
    auto tests = [](std::string const& text) {
        std::string out;
        for (std::size_t at = text.find("P-value ="); at != std::string::npos; at = text.find("P-value =", at + 1))
            out += text.substr(at, text.find('\n', at) - at) + "\n";
        std::size_t const fis = text.find("Population specific FIS indices (");
        return out + (fis == std::string::npos ? "" : text.substr(fis, 600));
    };
    fs::path const a = prepare("a", "dna_unphased.pmp");
    fs::path const b = prepare("b", "dna_unphased.pmp");
    fs::path const c = prepare("c", "dna_unphased.pmp");
    ASSERT_EQ(run(a, "21"), 0);
    ASSERT_EQ(run(b, "21"), 0);
    ASSERT_EQ(run(c, "22"), 0);
    std::string const first = tests(result(a));
    EXPECT_NE(first.find("P-value"), std::string::npos);
    EXPECT_EQ(tests(result(b)), first);
    EXPECT_NE(tests(result(c)), first);
}

// Without the individual level an unphased individual with one missing
// allele keeps one gene copy at that locus: the locus's sample has an odd
// size, and its AMOVA runs like the others' (no "ill-defined genetic
// structure"), with its own row.
TEST_F(AmovaProjectRun, LocusWithAMissingAlleleWithoutIndividualLevel) {
    std::string text = read_file(data_dir / "amova" / "microsat_unphased.pmp");
    std::size_t const at = text.find("a2 1 100 100 100 100");
    ASSERT_NE(at, std::string::npos);
    text.replace(at, 20, "a2 1 100 100 ? 100");
    fs::path const work = base / "missing";
    fs::create_directories(work);
    write_file(work / "p.pmp", text);
    write_file(work / "pml_run.pms",
               "[Setting for Calculations]\nIncludeIndividualLevel=0\n" +
                   read_file(data_dir / "amova" / "individual.pms").substr(27));
    write_file(work / "ssdefs.txt", "POP_LEVEL\nGLOBAL_FSTAT\n");
    ASSERT_EQ(run(work), 0) << log(work);
    std::string const out = result(work);
    std::size_t const table = out.find("AMOVA Results for polymorphic loci only:");
    ASSERT_NE(table, std::string::npos) << out;
    std::string const rows = out.substr(table, out.find("Global AMOVA results", table) - table);
    auto has_row = [&rows](int locus) {
        return rows.find("\n      " + std::to_string(locus) + "  ") != std::string::npos;
    };
    EXPECT_TRUE(has_row(1));
    EXPECT_TRUE(has_row(2));
    EXPECT_TRUE(has_row(3)) << rows;
    EXPECT_TRUE(has_row(4));
    EXPECT_EQ(log(work).find("ill-defined genetic structure"), std::string::npos) << log(work);
}

// tests/data/amova/half_missing.pmp: three samples of eight unphased
// individuals, three microsatellite loci, the second allele missing at
// locus 1 in three individuals of each sample (13 copies per sample there).
// Reference values: ade4::amova (R) with one row per gene copy (a copy x
// sample count table), distances as.dist(sqrt(D)), D the number of loci at
// which two copies differ, printed with digits = 15. Per locus: the copies
// that carry an allele there. The whole data: a locus where either copy is
// missing adds nothing to D, as the program's distance does; those
// distances are not Euclidean, so ade4's check was switched off
// (assignInNamespace("is.euclid", function(...) TRUE, "ade4")). Two groups:
// structures = data.frame(grp = c("G1", "G1", "G2")) over A, B, C.
class HalfMissingRun : public AmovaProjectRun {
protected:
    fs::path prepare_half(std::string const& name, std::string const& structure = "") {
        fs::path const work = base / name;
        fs::create_directories(work);
        std::string text = read_file(data_dir / "amova" / "half_missing.pmp");
        if (!structure.empty()) text = text.substr(0, text.find("  [[Structure]]")) + structure;
        write_file(work / "p.pmp", text);
        write_file(work / "pml_run.pms",
                   "[Setting for Calculations]\nTaskNumber=512\nXMLOutput=0\nHaplAMOVA=1\nLocByLocAMOVA=1\n"
                   "IncludeIndividualLevel=0\nNumPermutationsAMOVA=100\nComputeDistanceMatrixAMOVA=1\n"
                   "DistanceMethodAMOVA=0\nAllowedLevelOfMissingData=0.5\n");
        write_file(work / "ssdefs.txt", "POP_LEVEL\nGLOBAL_FSTAT\n");
        return work;
    }
    // The cells of each row of the per-locus table, by locus.
    static std::map<int, std::vector<double>> locus_rows(std::string const& text) {
        std::size_t const from = text.find("AMOVA Results for polymorphic loci only:");
        std::size_t const to = text.find("Global AMOVA results", from);
        std::map<int, std::vector<double>> rows;
        if (to == std::string::npos) return rows;
        std::istringstream lines(text.substr(from, to - from));
        for (std::string line; std::getline(lines, line);) {
            std::istringstream cells(line);
            std::vector<std::string> c;
            for (std::string w; cells >> w;) c.push_back(w);
            if (c.size() < 10 || c[0].find_first_not_of("0123456789") != std::string::npos) continue;
            for (std::string const& w : c) rows[std::stoi(c[0])].push_back(std::stod(w));
        }
        return rows;
    }
    // The significance part of the average over loci.
    static std::string average_tests(std::string const& text) {
        std::size_t const at = text.find("Global AMOVA results as a weighted average over loci");
        return at == std::string::npos ? "" : text.substr(at);
    }
};

// One group (design 1G_P_IH): the locus with lone copies has its row, the
// average and the statistics line take all three loci, and the average
// reports the permutations the loci ran.
TEST_F(HalfMissingRun, OneGroupEveryLocusHasItsRow) {
    fs::path const work = prepare_half("one");
    ASSERT_EQ(run(work), 0) << log(work);
    std::string const text = result(work);
    std::map<int, std::vector<double>> const rows = locus_rows(text);
    ASSERT_EQ(rows.size(), 3u) << text;
    // Locus, SSD, d.f., Va, %, SSD, d.f., Vb, %, FST, P (5 decimals printed).
    struct Ref {
        int locus;
        double ss1, df1, va, ss2, df2, vb, fst;
    };
    Ref const ade4[] = {
        {1, 0.615384615384615, 2, -0.00641025641025644, 14.076923076923077, 36, 0.391025641025641,
         -0.0166666666666668},
        {2, 1.95833333333333, 2, 0.0387152777777778, 16.18749999999999, 45, 0.359722222222222, 0.0971677559912855},
        {3, 0.75, 2, -0.0015625, 18.0, 45, 0.4, -0.00392156862745104},
    };
    for (Ref const& r : ade4) {
        SCOPED_TRACE(r.locus);
        std::vector<double> const& c = rows.at(r.locus);
        ASSERT_EQ(c.size(), 11u);
        EXPECT_NEAR(c[1], r.ss1, 5.1e-6);
        EXPECT_EQ(c[2], r.df1);
        EXPECT_NEAR(c[3], r.va, 5.1e-6);
        EXPECT_NEAR(c[5], r.ss2, 5.1e-6);
        EXPECT_EQ(c[6], r.df2);
        EXPECT_NEAR(c[7], r.vb, 5.1e-6);
        EXPECT_NEAR(c[9], r.fst, 5.1e-6);
    }
    // The AMOVA of all loci together (ade4: d.f. 2 and 45, sums 3.20833 and
    // 45.625, FST 0.0351094589012805) is the same as before the mend.
    EXPECT_NE(text.find(" populations      2          3.208"), std::string::npos) << text;
    EXPECT_NE(text.find(" populations     45         45.625"), std::string::npos);
    EXPECT_NE(text.find(" Fixation Index      FST :      0.03511\n"), std::string::npos);
    // Average over the three loci: sum of Va over sum of VT, from ade4's
    // per-locus components: 0.0260201198146264.
    std::string const average = average_tests(text);
    EXPECT_NE(average.find("(average over 3 loci)"), std::string::npos);
    EXPECT_NE(average.find("       FST :      0.02602\n"), std::string::npos) << average;
    EXPECT_NEAR(stats(work).at("FST"), 0.0260201198146264, 1e-6);
    EXPECT_NE(average.find("Significance tests (110 permutations)"), std::string::npos) << average;
    EXPECT_EQ(average.find("No permutations were done"), std::string::npos);
    EXPECT_EQ(log(work).find("ill-defined genetic structure"), std::string::npos) << log(work);
}

// Two groups (design G_P_IH): {A, B} and {C}.
TEST_F(HalfMissingRun, TwoGroupsEveryLocusHasItsRow) {
    fs::path const work = prepare_half("two", "  [[Structure]]\n    StructureName=\"two\"\n    NbGroups=2\n"
                                              "    Group={ \"A\" \"B\" }\n    Group={ \"C\" }\n");
    ASSERT_EQ(run(work), 0) << log(work);
    std::string const text = result(work);
    std::map<int, std::vector<double>> const rows = locus_rows(text);
    ASSERT_EQ(rows.size(), 3u) << text;
    // Locus 1 (39 copies): Va, Vb, Vc, then FSC, FST, FCT.
    std::vector<double> const& c = rows.at(1);
    ASSERT_EQ(c.size(), 19u);
    EXPECT_EQ(c[2], 1);
    EXPECT_EQ(c[6], 1);
    EXPECT_EQ(c[10], 36);
    EXPECT_NEAR(c[3], -0.02218934911242608, 5.1e-6);
    EXPECT_NEAR(c[7], 0.00838264299802761, 5.1e-6);
    EXPECT_NEAR(c[11], 0.39102564102564102, 5.1e-6);
    EXPECT_NEAR(c[13], 0.0209876543209877, 5.1e-6);
    EXPECT_NEAR(c[15], -0.0366013071895425, 5.1e-6);
    EXPECT_NEAR(c[17], -0.0588235294117648, 5.1e-6);
    // All loci together (ade4: FST 0.0124709363770873, FSC
    // 0.0774091627172196, FCT -0.0703868103994927).
    EXPECT_NE(text.find("      FST :      0.01247\n      FSC :      0.07741\n      FCT :     -0.07039\n"),
              std::string::npos)
        << text;
    // Average over the loci, from ade4's per-locus components.
    std::map<std::string, double> const line = stats(work);
    EXPECT_NEAR(line.at("FST"), 0.00358505912184225, 1e-6);
    EXPECT_NEAR(line.at("FSC"), 0.06798998669815842, 1e-6);
    EXPECT_NEAR(line.at("FCT"), -0.06910325710788039, 1e-6);
    std::string const average = average_tests(text);
    EXPECT_NE(average.find("Significance tests (110 permutations)"), std::string::npos) << average;
    EXPECT_EQ(log(work).find("ill-defined genetic structure"), std::string::npos) << log(work);
}

// The per-locus AMOVA computes a matrix per locus into the project's own:
// the matrix given in the project is back for the population pass that
// follows the group pass, whose AMOVA is the same with or without it.
TEST_F(AmovaProjectRun, GivenMatrixSurvivesTheLocusByLocusAmova) {
    std::string const whole = "      FSC :      0.18584\n      FST :      0.29268\n      FCT :      0.13122\n";
    for (char const* perLocus : {"0", "1"}) {
        SCOPED_TRACE(perLocus);
        fs::path const work = base / (std::string("given") + perLocus);
        fs::create_directories(work);
        fs::copy_file(data_dir / "amova" / "given_matrix.pmp", work / "p.pmp");
        write_file(work / "pml_run.pms", std::string("[Setting for Calculations]\nTaskNumber=512\nHaplAMOVA=1\n") +
                                             "LocByLocAMOVA=" + perLocus +
                                             "\nNumPermutationsAMOVA=0\nComputeDistanceMatrixAMOVA=0\nXMLOutput=0\n");
        write_file(work / "ssdefs.txt", "GROUP_LEVEL POP_LEVEL\nGLOBAL_FSTAT\n");
        ASSERT_EQ(run(work), 0) << log(work);
        std::string const text = result(work);
        EXPECT_NE(text.find(" Fixation Index      FST :      0.20177\n"), std::string::npos) << "group pass";
        EXPECT_NE(text.find(whole), std::string::npos) << text;
    }
}

// adegenet's microbov, four breeds in two groups, 30 loci with missing
// genotypes: each locus's row equals ade4::amova on that locus alone.
// Reference (tests/data/amova/make_microbov4.R): per locus, the individuals
// with both alleles, an allele x individual count table, distances
// as.dist(sqrt(1 - diag(k))), structures data.frame(pop, grp);
// componentsofcovariance$Sigma printed with %.10f.
TEST_F(AmovaProjectRun, MicrobovPerLocusTableEqualsAde4) {
    struct Row {
        int locus;
        double va, vb, vc, vd;
    };
    Row const ade4[] = {
        {1, 0.1052045022, 0.0054305330, -0.0059349920, 0.3296703297},
        {2, 0.0153456612, 0.0052113352, 0.0017103661, 0.3038674033},
        {3, 0.0458691973, 0.0106914973, 0.0096361062, 0.3641304348},
        {4, 0.0351337757, 0.0262934952, 0.0041622643, 0.2959770115},
        {5, 0.0358629797, 0.0100944627, 0.0704430118, 0.3138888889},
        {6, 0.0797836360, 0.0291526223, 0.0143199322, 0.3224043716},
        {7, -0.0042183617, 0.0281662756, 0.0846197576, 0.1813186813},
        {8, 0.0729787206, 0.0180803683, 0.0404029168, 0.2823529412},
        {9, 0.0617900196, 0.0082979577, 0.0083355849, 0.3735955056},
        {10, 0.1995449175, 0.0089600791, 0.0085228976, 0.2608695652},
        {11, 0.0220416339, 0.0153776117, 0.0091001440, 0.3828571429},
        {12, 0.0120557856, 0.0130958222, 0.0038057589, 0.3977900552},
        {13, 0.0664288664, 0.0052115466, 0.0049260578, 0.3587570621},
        {14, 0.0072744513, 0.0236684350, 0.0000465666, 0.3611111111},
        {15, 0.0280258305, 0.0124743358, -0.0125346758, 0.4293478261},
        {16, 0.0313686466, 0.0028501511, -0.0031588744, 0.3715846995},
        {17, 0.1565763646, 0.0288146584, 0.0190474602, 0.2640449438},
        {18, 0.0107102898, 0.0242115869, -0.0102631866, 0.3966480447},
        {19, 0.0243272789, 0.0185477401, 0.0168344764, 0.3735294118},
        {20, 0.0410977290, 0.0194589901, -0.0132634009, 0.3764705882},
        {21, 0.0235190057, 0.0257597151, 0.0281137272, 0.3641304348},
        {22, 0.0913937935, 0.0135538545, -0.0128877202, 0.3232044199},
        {23, 0.0189085232, 0.0385887801, 0.0420715873, 0.3173652695},
        {24, 0.0329189258, 0.0132115094, 0.0248395062, 0.3750000000},
        {25, 0.0191718146, 0.0085291517, 0.0421743156, 0.3315217391},
        {26, 0.0649010008, 0.0316474643, 0.0254965561, 0.3524590164},
        {27, 0.0448467027, 0.0151756532, -0.0045487105, 0.3478260870},
        {28, 0.0372866681, 0.0236442876, -0.0084428240, 0.3478260870},
        {29, 0.0191488398, 0.0146279892, 0.0336755539, 0.3994252874},
        {30, 0.0045577232, 0.0050026651, 0.0217501383, 0.2206703911},
    };
    fs::path const work = base / "microbov";
    fs::create_directories(work);
    fs::copy_file(data_dir / "amova" / "microbov4.txt", work / "p.pmp");
    write_file(work / "pml_run.pms", "[Setting for Calculations]\nNumPermutationsAMOVA=0\n" +
                                         read_file(data_dir / "amova" / "individual.pms").substr(27));
    write_file(work / "ssdefs.txt", "POP_LEVEL\nGLOBAL_FSTAT\n");
    ASSERT_EQ(run(work), 0) << log(work);
    std::string const text = result(work);
    std::size_t const from = text.find("AMOVA Results for polymorphic loci only:");
    std::size_t const to = text.find("Global AMOVA results", from);
    ASSERT_NE(to, std::string::npos) << text;
    std::map<int, std::vector<double>> rows;
    std::istringstream lines(text.substr(from, to - from));
    for (std::string line; std::getline(lines, line);) {
        std::istringstream cells(line);
        std::vector<std::string> c;
        for (std::string w; cells >> w;) c.push_back(w);
        if (c.size() < 16 || c[0].find_first_not_of("0123456789") != std::string::npos) continue;
        rows[std::stoi(c[0])] = {std::stod(c[3]), std::stod(c[7]), std::stod(c[11]), std::stod(c[15])};
    }
    ASSERT_EQ(rows.size(), std::size(ade4));
    for (Row const& r : ade4) {
        SCOPED_TRACE(r.locus);
        std::vector<double> const& got = rows[r.locus];
        ASSERT_EQ(got.size(), 4u);
        // Printed with 5 decimals.
        EXPECT_NEAR(got[0], r.va, 5.1e-6);
        EXPECT_NEAR(got[1], r.vb, 5.1e-6);
        EXPECT_NEAR(got[2], r.vc, 5.1e-6);
        EXPECT_NEAR(got[3], r.vd, 5.1e-6);
    }
}

// A recessive diploid project with pairwise FST and a Mantel test: refused
// before any work with a warning, instead of an index read beyond the
// permutation vectors ("fill_bipop_vector(): array out of bounds").
TEST_F(AmovaProjectRun, RecessiveDataRefusePairwiseFstCleanly) {
    fs::path const work = base / "recessive";
    fs::create_directories(work);
    fs::copy_file(data_dir / "project" / "standard_diploid.pmp", work / "p.pmp");
    fs::copy_file(data_dir / "project" / "standard_barn.txt", work / "standard_barn.txt");
    write_file(work / "pml_run.pms", "[Setting for Calculations]\nTaskNumber=67072\nComputePairwiseFST=1\n"
                                     "HaplAMOVA=1\nNumPermutationsFST=10\nNumPermMantel=10\n");
    write_file(work / "ssdefs.txt", "POP_LEVEL\nPAIRWISE_FST\n");
    ASSERT_EQ(run(work), 0) << log(work);
    std::string const text = log(work);
    EXPECT_EQ(text.find("array out of bounds"), std::string::npos) << text;
    EXPECT_NE(text.find("\"GenStructCalculations()\" : unable to compute Genetic Structure with current settings"),
              std::string::npos)
        << text;
    EXPECT_NE(result(work).find("not implemented yet with recessive data"), std::string::npos);
}

}  // namespace
