// The scan for loci under selection end to end: the real program on the
// diploid DNA projects of tests/data/selection (nineteen loci drawn around
// FST 0.05 and a planted one; see make_scan_projects.py), with a fixed seed.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "core/scratch.h"
#include "support/sanitized_build.h"

namespace fs = std::filesystem;

namespace {

using quintle::scratch::read_file;
using quintle::scratch::write_file;

fs::path const data_dir = fs::path(QUINTLE_TEST_DATA_DIR);

// Fewer simulations where every one costs many times more.
int const kSims = quintle::test::sanitized_build ? 400 : 2000;

std::vector<std::string> split(std::string const& text, char sep) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string field; std::getline(in, field, sep);) out.push_back(field);
    return out;
}

bool has(std::string const& text, std::string const& part) { return text.find(part) != std::string::npos; }

// A menu script without its run's clock time and folder.
std::string masked(std::string const& script, fs::path const& work) {
    std::string text = std::regex_replace(script, std::regex("[0-9][0-9][:_][0-9][0-9][:_][0-9][0-9]"), "T");
    for (std::size_t at = text.find(work.string()); at != std::string::npos; at = text.find(work.string()))
        text.replace(at, work.string().size(), "WORK");
    return text;
}

std::string scan_settings(int sims) {
    return "DetectSelectedLoci=1\nNumberOfSimsForFDist2=" + std::to_string(sims) +
           "\nNumberOfDemesForFDist2=20\nTaskNumber=513\nHaplAMOVA=1\nNumPermutationsAMOVA=20\nXMLOutput=0\n";
}

class SelectionScan : public ::testing::Test {
protected:
    // A working folder with the project as p.pmp, the settings (`extra`
    // first: the first line naming a key wins), the statistics list and the
    // batch flag of the scan.
    fs::path prepare(std::string const& name, char const* project, std::string const& extra) {
        fs::path const work = base / name;
        fs::create_directories(work);
        fs::copy_file(data_dir / "selection" / project, work / "p.pmp");
        write_file(work / "pml_run.pms", extra + read_file(data_dir / "run" / "settings_default.pms"));
        write_file(work / "ssdefs.txt", "POP_LEVEL\nGLOBAL_FSTAT\n");
        write_file(work / "glbstreams.txt", "flags\n_DETECT_SELECTION_ _AMOVA_RES_\n");
        return work;
    }
    static int run(fs::path const& work, char const* project = "p.pmp") {
        std::string const command = "cd '" + work.string() + "' && QUINTLE_SEED=17 timeout 300 '" + QUINTLE_BINARY +
                                    "' " + project + " stats.txt 0 1 > console.txt 2>&1";
        int const status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    static std::string result(fs::path const& work) { return read_file(work / "p.res" / "p.htm"); }
    static std::string log(fs::path const& work) { return read_file(work / "p.res" / "Pellomar_log.txt"); }
    // The scan's section of the result file.
    static std::string section(fs::path const& work) {
        std::string const text = result(work);
        std::size_t const from = text.find("== DETECTION OF LOCI UNDER SELECTION");
        std::size_t const to = text.find("END OF RUN", from);
        return from == std::string::npos || to == std::string::npos ? std::string() : text.substr(from, to - from);
    }
    // Fields of the lines of fdist2_ObsOut.txt after its head.
    static std::vector<std::vector<std::string>> observed_rows(fs::path const& work) {
        std::vector<std::vector<std::string>> rows;
        std::vector<std::string> const lines = split(read_file(work / "p.res" / "fdist2_ObsOut.txt"), '\n');
        for (std::size_t i = 1; i < lines.size(); ++i) rows.push_back(split(lines[i], '\t'));
        return rows;
    }

    quintle::scratch::Dir base{"quintle_selection_e2e"};
};

TEST_F(SelectionScan, PlantedLocusStandsOutAndTheRunRepeats) {
    fs::path const first = prepare("first", "scan.txt", scan_settings(kSims));
    fs::path const second = prepare("second", "scan.txt", scan_settings(kSims));
    ASSERT_EQ(run(first), 0) << read_file(first / "console.txt");
    ASSERT_EQ(run(second), 0);
    EXPECT_TRUE(has(log(first), "Successful run of")) << log(first);

    // Twenty rows; the planted locus far out in the upper tail.
    auto const rows = observed_rows(first);
    ASSERT_EQ(rows.size(), 20u);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        ASSERT_EQ(rows[i].size(), 5u) << i;
        EXPECT_EQ(rows[i][0], std::to_string(i + 1));
    }
    EXPECT_LT(std::stod(rows[19][3]), 0.01);
    EXPECT_LT(std::stod(rows[19][1]), 0.45);
    EXPECT_GT(std::stod(rows[19][2]), 0.2);
    int significant = 0;
    for (std::size_t i = 0; i < 19; ++i) significant += std::stod(rows[i][3]) < 0.01 ? 1 : 0;
    EXPECT_LE(significant, 2) << "neutral loci rarely reach 1 %";

    // The same seed gives the same files and section.
    for (char const* file : {"fdist2_ObsOut.txt", "fdist2_simOut.txt", "p_sim1.pmp"})
        EXPECT_EQ(read_file(first / "p.res" / file), read_file(second / "p.res" / file)) << file;
    std::string const text = section(first);
    EXPECT_EQ(text, section(second));

    // One line per simulation: the target heterozygosity is "NA" for DNA.
    std::vector<std::string> const sims = split(read_file(first / "p.res" / "fdist2_simOut.txt"), '\n');
    ASSERT_EQ(static_cast<int>(sims.size()), kSims + 1);
    EXPECT_EQ(sims[0].rfind("FST\tTarget Het.\tMeanHetBP\tMeanHetWP\tNumMutsOnTree\tTarget Mean FST = 0.0", 0), 0u)
        << sims[0];
    EXPECT_EQ(split(sims[1], '\t')[1], "NA");
    EXPECT_EQ(split(sims[1], '\t')[4], "1");

    // The tables: finite model, 53 "=", "2" only as text, 20 quantile rows.
    std::string const rule53 = std::string(53, '=') + "\n";
    EXPECT_TRUE(has(text, "Finite island model:\n--------------------\nNo. of simulated demes:             20\n"
                          "No. of coalescent simulations performed: " +
                              std::string(8 - std::to_string(kSims).size(), ' ') + std::to_string(kSims) + "\n\n" +
                              rule53 + "   Locus   Obs. Het. BP       Obs. FST         FST P-value      1-FST quantile"
                                       "\t(if P-value=2 -> uncomputed value due to Obs.Het.BP out. of simulated bounds)\n" +
                              rule53))
        << text;
    std::string const head = "                  0.01        0.05        0.10        0.50        0.90        0.95"
                             "        0.99\n    " +
                             std::string(91, '-') + "\n";
    std::size_t const at = text.find(head);
    ASSERT_NE(at, std::string::npos) << text;
    std::vector<std::string> const quantileRows = split(text.substr(at + head.size()), '\n');
    for (int r = 0; r < 20; ++r) EXPECT_EQ(quantileRows[static_cast<std::size_t>(r)].size(), 94u) << r;
    EXPECT_EQ(quantileRows[20], std::string(94, '-'));

    // No samples outside export mode; the batch line counts the planted
    // locus among the loci above the mean FST at every level.
    std::string const exported = read_file(first / "p.res" / "p_sim1.pmp");
    EXPECT_TRUE(has(exported, "[[Samples]]\n\n\n\n")) << exported;
    EXPECT_TRUE(has(exported, "\t\tNbGroups = 1\n"));
    std::vector<std::string> const batch = split(read_file(first / "selectionDetection.sum"), '\n');
    ASSERT_GE(batch.size(), 4u);
    std::vector<std::string> const fields = split(batch.back(), '\t');
    ASSERT_EQ(fields.size(), 13u) << batch.back();
    EXPECT_EQ(fields[1], std::to_string(kSims));
    EXPECT_EQ(fields[2], "20");  // every locus within the simulated range
    for (int k = 8; k < 13; ++k) EXPECT_GE(std::stoi(fields[static_cast<std::size_t>(k)]), 1) << k;

    // The statistics line and the menu script are those of a run without
    // the scan, but for the scan's own menu entry.
    fs::path const without = prepare("without", "scan.txt", "DetectSelectedLoci=0\n" + scan_settings(kSims));
    ASSERT_EQ(run(without), 0);
    EXPECT_EQ(read_file(first / "stats.txt"), read_file(without / "stats.txt"));
    // The scan's own AMOVAs add no line to amovares.sum.
    EXPECT_EQ(read_file(first / "amovares.sum"), read_file(without / "amovares.sum"));
    std::string menu = read_file(first / "p.res" / "p.js");
    std::string const plain = read_file(without / "p.res" / "p.js");
    std::size_t const entry = menu.find("_fdist2_");
    ASSERT_NE(entry, std::string::npos);
    std::size_t const from = menu.rfind('\n', entry) + 1;
    menu.erase(from, menu.find('\n', entry) + 1 - from);
    EXPECT_EQ(masked(menu, first), masked(plain, without));
    EXPECT_FALSE(fs::exists(first / "p.res" / "MissDataPerLocus.txt") &&
                 read_file(first / "p.res" / "MissDataPerLocus.txt") != read_file(without / "p.res" / "MissDataPerLocus.txt"));
}

TEST_F(SelectionScan, HierarchicalModelAndItsRefusals) {
    int const sims = kSims / 4;
    fs::path const work = prepare("groups", "scan_groups.txt",
                                  "UseHierarchicalIslandModel=1\nNumberOfGroupsForFDist2=4\nNumberOfDemesForFDist2=10\n" +
                                      scan_settings(sims));
    ASSERT_EQ(run(work), 0);
    std::string const text = section(work);
    std::string const rule84 = std::string(84, '=') + "\n";
    EXPECT_TRUE(has(text, "Hierarchical island model:\n--------------------------\n"
                          "No. of simulated groups:                        4\n"
                          "No. of simulated demes per groups:             10\n"))
        << text;
    EXPECT_TRUE(has(text, "\t(if P-value=2 -> uncomputed value due to Obs.Het.BP out of simulated bounds)\n" + rule84));
    EXPECT_TRUE(has(text, "No. of groups : 2\n"));
    EXPECT_TRUE(has(read_file(work / "p.res" / "fdist2_simOut.txt"), "FST\tTarget Het.\tExpHetBP\t"));
    auto const rows = [&] {
        std::vector<std::vector<std::string>> r;
        std::vector<std::string> const lines = split(read_file(work / "p.res" / "fdist2_ObsOut.txt"), '\n');
        for (std::size_t i = 1; i < lines.size(); ++i) r.push_back(split(lines[i], '\t'));
        return r;
    }();
    ASSERT_EQ(rows.size(), 20u);
    EXPECT_LT(std::stod(rows[19][3]), 0.01);

    // Groups of five samples cannot be placed in four demes each.
    fs::path const crowded = prepare("crowded", "scan_groups.txt",
                                     "UseHierarchicalIslandModel=1\nNumberOfDemesForFDist2=4\n" + scan_settings(sims));
    ASSERT_EQ(run(crowded), 0);
    std::string const refusal = "\tGroup 1 holds 5 samples, more than the 4 simulated demes per group "
                                "(NumberOfDemesForFDist2): coalescent simulations cannot be performed.\n";
    EXPECT_TRUE(has(log(crowded), refusal)) << log(crowded);
    EXPECT_TRUE(has(section(crowded), refusal));
    EXPECT_FALSE(fs::exists(crowded / "p.res" / "fdist2_ObsOut.txt"));

    // Nine loci: the two-line refusal, in the log and in the result file.
    fs::path const nine = prepare("nine", "scan_nine.txt", scan_settings(sims));
    ASSERT_EQ(run(nine), 0);
    std::string const lines = "\tThe input file contains information on only 9 loci!\n"
                              "\tDetecting outlier loci is not possible when fewer than 10 loci are available\n";
    EXPECT_TRUE(has(log(nine), lines)) << log(nine);
    EXPECT_TRUE(has(section(nine), lines));
    EXPECT_FALSE(fs::exists(nine / "p.res" / "fdist2_simOut.txt"));

    // Ten loci of one allele: no heterozygosity, no valid target FST.
    fs::path const mono = prepare("mono", "scan_monomorphic.txt", scan_settings(sims));
    ASSERT_EQ(run(mono), 0);
    std::string const invalid =
        "\tObserved F-statistics lead to invalid migration rates. Coalescent simulations cannot be performed.\n"
        "Perform a simple AMOVA to check that all F-statistics are within the interval ]0..1[\n";
    EXPECT_TRUE(has(log(mono), invalid)) << log(mono);
    EXPECT_TRUE(has(section(mono), invalid));
}

TEST_F(SelectionScan, OtherDataTypes) {
    // The genotypes of scan.pmp as RFLP sites (two-state model), microsatellite
    // sizes (stepwise) and standard alleles (a new allele per mutation).
    int const sims = kSims / 5;
    for (char const* project : {"scan_rflp.txt", "scan_msat.txt", "scan_standard.txt"}) {
        SCOPED_TRACE(project);
        fs::path const work = prepare(project, project, scan_settings(sims));
        ASSERT_EQ(run(work), 0);
        EXPECT_TRUE(has(log(work), "Successful run of")) << log(work);
        auto const rows = observed_rows(work);
        ASSERT_EQ(rows.size(), 20u);
        EXPECT_LT(std::stod(rows[19][3]), 0.01);
        std::vector<std::string> const first = split(split(read_file(work / "p.res" / "fdist2_simOut.txt"), '\n')[1], '\t');
        ASSERT_EQ(first.size(), 5u);
        // The target heterozygosity is written for the stepwise and new-allele models.
        EXPECT_EQ(first[1] == "NA", std::string(project) == "scan_rflp.txt");
    }

    // Standard alleles at target heterozygosities of 0.95 and more in 200
    // demes: some loci take more than 200 mutations, have no one-character
    // allele for every state and are written as failed ("NA", -1 mutations);
    // the others lie far above the observed heterozygosities, which are out
    // of the simulated range: "2", not a significant P value.
    fs::path const high = prepare("high", "scan_standard.txt",
                                  "TargetHetLowBound=0.95\nNumberOfDemesForFDist2=200\n" + scan_settings(100));
    ASSERT_EQ(run(high), 0);
    std::vector<std::string> const lines = split(read_file(high / "p.res" / "fdist2_simOut.txt"), '\n');
    int failed = 0;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        std::vector<std::string> const f = split(lines[i], '\t');
        ASSERT_EQ(f.size(), 5u) << lines[i];
        if (f[0] != "NA") continue;
        ++failed;
        EXPECT_EQ(f[2], "NA");
        EXPECT_EQ(f[3], "NA");
        EXPECT_EQ(f[4], "-1");
    }
    EXPECT_GT(failed, 0);
    EXPECT_LT(failed, 100);
    for (auto const& row : observed_rows(high)) {
        ASSERT_EQ(row.size(), 4u);
        EXPECT_EQ(row[3], "2");
    }
}

TEST_F(SelectionScan, SimulationFileGivesTheSameTables) {
    // The pairs of a scan's own simulation file, read back instead of
    // simulated (its "NA" column skipped), give the same P values; the
    // table still reports NumberOfSimsForFDist2.
    int const sims = kSims / 4;
    fs::path const simulated = prepare("simulated", "scan.txt", scan_settings(sims));
    ASSERT_EQ(run(simulated), 0);
    fs::path const read = prepare("read", "scan.txt",
                                  "UseSimFileForFDist2=1\nSimFileNameForFDist2=pairs.txt\n" + scan_settings(777));
    fs::copy_file(simulated / "p.res" / "fdist2_simOut.txt", read / "pairs.txt");
    ASSERT_EQ(run(read), 0);
    // The file holds six significant digits: the P values agree to about as much.
    auto const from_file = observed_rows(read);
    auto const from_sims = observed_rows(simulated);
    ASSERT_EQ(from_file.size(), 20u);
    ASSERT_EQ(from_sims.size(), 20u);
    for (std::size_t i = 0; i < 20; ++i) {
        EXPECT_EQ(from_file[i][2], from_sims[i][2]);
        EXPECT_NEAR(std::stod(from_file[i][3]), std::stod(from_sims[i][3]), 1e-5 + 1e-4 * std::stod(from_sims[i][3]))
            << i;
    }
    EXPECT_TRUE(has(section(read), "No. of coalescent simulations performed:      777\n"));
}

TEST_F(SelectionScan, ExportModeWritesDataSetsThatReadBack) {
    // "simParamFile.txt": 3 files of 12 loci, 2 groups of 5 demes, indices
    // 0.05 and 0.05 (F = 0.0975, FCT = 0.05), on the two-group project.
    fs::path const work = prepare("export", "scan_groups.txt", "UseHierarchicalIslandModel=1\n" + scan_settings(100));
    write_file(work / "simParamFile.txt",
               "export\nfiles\n3\nloci\n12\ngroups\n2\ndemes\n5\nwithin\n0.05\namong\n0.05\n");
    ASSERT_EQ(run(work), 0) << log(work);
    EXPECT_FALSE(fs::exists(work / "p.res" / "fdist2_simOut.txt"));
    EXPECT_FALSE(fs::exists(work / "p.res" / "fdist2_ObsOut.txt"));
    EXPECT_FALSE(has(section(work), "FST P-value"));
    std::vector<std::string> const listed = split(read_file(work / "sims.pmb"), '\n');
    ASSERT_EQ(listed.size(), 3u);
    for (int k = 1; k <= 3; ++k) {
        fs::path const file = work / "p.res" / ("p_sim" + std::to_string(k) + ".pmp");
        EXPECT_EQ(listed[static_cast<std::size_t>(k - 1)], "p.res/p_sim" + std::to_string(k) + ".pmp");
        std::string const text = read_file(file);
        ASSERT_TRUE(has(text, "SampleName=\"pop10\"")) << text;
        // Ten individuals per sample, twelve one-site loci in each gamete.
        std::vector<std::string> const lines = split(text, '\n');
        int individuals = 0;
        for (std::string const& l : lines) {
            std::istringstream in(l);
            std::string name, count, gamete;
            if (!(in >> name >> count >> gamete) || name.find("simGen") != 0) continue;
            ++individuals;
            EXPECT_EQ(gamete.size(), 12u) << l;
        }
        EXPECT_EQ(individuals, 100);
    }
    // A parameter file asking for more demes than the scan can hold.
    fs::path const large = prepare("large", "scan_groups.txt", "UseHierarchicalIslandModel=1\n" + scan_settings(100));
    write_file(large / "simParamFile.txt",
               "export\nfiles\n1\nloci\n12\ngroups\n2000\ndemes\n1000\nwithin\n0.05\namong\n0.05\n");
    ASSERT_EQ(run(large), 0);
    EXPECT_TRUE(has(log(large), "\tThe simulations asked for (2000000 demes, 12 loci) are more than the scan can hold"))
        << log(large);
    EXPECT_FALSE(fs::exists(large / "p.res" / "p_sim1.pmp"));

    // A data set is a project of its own.
    fs::path const again = base / "again";
    fs::create_directories(again);
    fs::copy_file(work / "p.res" / "p_sim2.pmp", again / "p.pmp");
    write_file(again / "pml_run.pms", "TaskNumber=1\n" + read_file(data_dir / "run" / "settings_default.pms"));
    write_file(again / "ssdefs.txt", "POP_LEVEL\nALL_K\n");
    ASSERT_EQ(run(again), 0);
    EXPECT_TRUE(has(log(again), "Successful run of")) << log(again);
    std::vector<std::string> const stats = split(read_file(again / "stats.txt"), '\n');
    ASSERT_EQ(stats.size(), 2u);
    EXPECT_EQ(split(stats[1], '\t').size(), 10u) << stats[1];
}

}  // namespace
