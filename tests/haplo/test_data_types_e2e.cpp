// The real program on RFLP, microsatellite and standard projects, unphased
// and phased, through task bits 8 (EM haplotype frequencies, conventional
// and zipper), 16 (the linkage test of each kind of data) and 32
// (Hardy-Weinberg), with the batch files of both linkage analyses on: the
// log, the report, the histogram file and the batch lines.
//
// Reference values:
// - EM log-likelihoods: R 4.2.2, haplo.stats 1.9.3, the genotypes as a
//   matrix of two columns per locus, for seeds 1..5 (the same maximum
//   from each):
//     set.seed(k); haplo.em(g, miss.val = NA,
//                           control = haplo.em.control(tol = 1e-10, n.try = 50))$lnlike
//   on all loci, and on the first two loci (g[, 1:4]) for the LD
//   log-likelihood of pair (0, 1) of the unphased test. miss.val = NA
//   keeps the RFLP allele "0" from being read as missing.
// - Exact P of the phased pairs: the two-locus tables of gene copies with
//   R 4.2.2, fisher.test(matrix(c(...), nrow, byrow = TRUE))$p.value.
// - D, D', r and r2 of rflp_diploid.pmp by hand: its pairs (0, 2) and
//   (0, 3) have the table [[8, 3], [0, 5]], so for the last allele pair
//   D = 5/16 - (5/16)(8/16) = 0.15625, D' = 1, r2 = D^2 / ((11/16)(5/16)
//   (8/16)(8/16)) = 5/11; pair (2, 3) has [[8, 0], [0, 8]], D = 0.25 and
//   D' = r = r2 = 1.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <ostream>
#include <regex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core/scratch.h"
#include "program_run.h"

namespace quintle {
namespace {

namespace fs = std::filesystem;

enum class Task { em, zipper, unphasedLinkage, phasedLinkage, hardyWeinberg };

struct PairP {
    int first, second;
    double reference;      // exact P
    std::string measures;  // the D ... r2_w fields of the pair's l_d_val.sum line, when worked out
};

struct Sample {
    std::string name;
    int loci;
    std::set<int> monomorphic;  // 0-based
    double lnL;                 // EM, all loci (unphased samples)
    double pairLnL;             // EM, loci 0 and 1 (NaN: the pair is skipped)
    std::vector<PairP> pairs;   // phased samples
};

struct Project {
    std::string path;  // under tests/data
    std::vector<std::string> beside;
    std::vector<Sample> samples;
};

struct Case {
    Project const* project;
    Task task;
};

double const skipped = std::nan("");

std::vector<Project> const unphased = {
    {"haplo/em_microsat.pmp", {}, {{"Ridge", 4, {}, -168.6104794187, -150.0922853442, {}}}},
    {"haplo/em_standard.pmp", {}, {{"Meadow", 3, {}, -172.5080663763, -140.1223811053, {}}}},
    // Recessive data; the second sample comes from a file beside it.
    {"project/standard_diploid.pmp",
     {"standard_barn.txt"},
     {{"Field", 2, {}, -3.9889840466, -3.9889840466, {}}, {"Barn", 2, {0}, -1.3862943611, skipped, {}}}},
    {"haplo/rflp_unphased.pmp", {}, {{"Creek", 5, {2}, -31.0670060029, -22.8744407060, {}}}},
};

std::vector<Project> const phased = {
    {"haplo/rflp_diploid.pmp",
     {},
     {{"Ridge",
       4,
       {1},
       0,
       0,
       {{0, 2, 0.0256410256, "  0.156\t      1\t      1\t  0.674\t  0.455\t  0.455"},
        {0, 3, 0.0256410256, "  0.156\t      1\t      1\t  0.674\t  0.455\t  0.455"},
        {2, 3, 0.0001554002, "   0.25\t      1\t      1\t      1\t      1\t      1"}}}}},
    // Tables [[6,1,1],[1,5,1],[1,1,3]], [[7,1,0],[0,5,2],[4,0,1]], [[6,2,0],[2,3,2],[3,1,1]].
    {"haplo/microsat_phased.pmp",
     {},
     {{"Marsh", 3, {}, 0, 0, {{0, 1, 0.0296090219, ""}, {0, 2, 0.0006569024, ""}, {1, 2, 0.4030523140, ""}}}}},
    // Tables [[8,1],[0,7],[3,1]], [[8,1,0],[0,5,2],[2,0,2]], [[9,1,1],[1,5,3]].
    {"haplo/standard_phased_ld.pmp",
     {},
     {{"Heath", 3, {}, 0, 0, {{0, 1, 0.0009764230, ""}, {0, 2, 0.0003280002, ""}, {1, 2, 0.0056561086, ""}}}}},
};

void PrintTo(Case const& c, std::ostream* os) { *os << c.project->path << ", task " << static_cast<int>(c.task); }

std::vector<Case> cases() {
    std::vector<Case> out;
    for (Project const& p : unphased)
        for (Task t : {Task::em, Task::zipper, Task::unphasedLinkage, Task::hardyWeinberg}) out.push_back({&p, t});
    for (Project const& p : phased)
        for (Task t : {Task::phasedLinkage, Task::hardyWeinberg}) out.push_back({&p, t});
    return out;
}

std::map<std::string, std::string> keys_of(Task t) {
    switch (t) {
        case Task::em:
            return {{"TaskNumber", "8"}, {"ComputeAllHaplotypesEM", "1"}};
        case Task::zipper:
            return {{"TaskNumber", "8"}, {"ComputeAllHaplotypesEM", "1"}, {"EMUseZipper", "1"}};
        case Task::unphasedLinkage:
            return {{"TaskNumber", "16"},
                    {"MarkovChainStepsLD", "1000"},
                    {"MakeExactTestLD", "1"},
                    {"PrintFlagHistogramLD", "1"}};
        case Task::phasedLinkage:
            return {{"TaskNumber", "16"},
                    {"MarkovChainStepsLD", "10000"},
                    {"MakeExactTestLD", "1"},
                    {"ComputeDvalues", "1"}};
        case Task::hardyWeinberg:
            return {{"TaskNumber", "32"}, {"MakeHWExactTest", "1"}};
    }
    return {};
}

std::size_t occurrences(std::string const& text, std::string const& part) {
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++n;
    return n;
}

// The pieces of `text` that start at each occurrence of `head`, in order.
std::vector<std::string> sections(std::string const& text, std::string const& head) {
    std::vector<std::string> out;
    for (auto at = text.find(head); at != std::string::npos;) {
        auto const next = text.find(head, at + head.size());
        out.push_back(text.substr(at, next == std::string::npos ? std::string::npos : next - at));
        at = next;
    }
    return out;
}

// What a batch file holds after its column header line.
std::string after_header(std::string const& file, std::string const& header) {
    auto const at = file.find(header + "\n");
    return at == std::string::npos ? "(no header)" : file.substr(at + header.size() + 1);
}

std::string const ld_pro_header = "file_name\tpop_name\tloc_1\tloc_2\t#resampl\tl_d_proba\ts.d.";
std::string const ld_val_header = "file_name\tpop_name\tloc_1\tloc_2\tD\tDprime\tD_hedrick\tR\tR2\tR2_hedrick";
std::string const link_dis_header = "alpha_lev\ty\t#usable_loci";

class DataTypesRun : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override {
        Project const& p = *GetParam().project;
        fs::path const source = fs::path(QUINTLE_TEST_DATA_DIR) / p.path;
        name = source.stem().string();
        fs::copy_file(source, work / source.filename().string());
        for (std::string const& f : p.beside) fs::copy_file(source.parent_path() / f, work / f);
        auto keys = keys_of(GetParam().task);
        keys["XMLOutput"] = "0";
        scratch::write_file(work / "pml_run.pms", test::settings_with(keys));
        scratch::write_file(work / "ssdefs.txt", "POP_LEVEL\n");
        scratch::write_file(work / "glbstreams.txt", "# linkage and Hardy-Weinberg batch files\n"
                                                     "_LINKAGE_DISEQUILIBRIUM_\n_HARDY_WEINBERG_\n");
        ASSERT_EQ(test::run_program(work.path(), source.filename().string(), 29), 0);
        log = scratch::read_file(work / (name + ".res") / "Pellomar_log.txt");
        report = scratch::read_file(work / (name + ".res") / (name + ".htm"));
    }
    std::string file(std::string const& relative) { return scratch::read_file(work / relative); }

    scratch::Dir work{"quintle_data_types"};
    std::string name, log, report;
};

TEST_P(DataTypesRun, RunsCleanlyWithTheExpectedResults) {
    Project const& p = *GetParam().project;
    EXPECT_NE(log.find("Successful run of " + name + ".pmp"), std::string::npos) << log;
    EXPECT_EQ(log.find("WARNING"), std::string::npos) << log;
    EXPECT_EQ(log.find("ERROR"), std::string::npos) << log;
    EXPECT_EQ(log.find("Error during run of"), std::string::npos) << log;

    switch (GetParam().task) {
        case Task::em:
        case Task::zipper: {
            std::vector<double> got;
            std::regex const line(R"(\nLogL[Hh]ood  : (-?[0-9.]+)\n)");
            for (std::sregex_iterator i(report.begin(), report.end(), line), end; i != end; ++i)
                got.push_back(std::stod((*i)[1]));
            ASSERT_EQ(got.size(), p.samples.size()) << report;
            for (std::size_t k = 0; k < got.size(); ++k) EXPECT_NEAR(got[k], p.samples[k].lnL, 1e-4) << k;
            break;
        }
        case Task::unphasedLinkage: {
            auto const blocks = sections(report, "Test of linkage disequilibrium for all pairs of loci:");
            auto const histograms = sections(file(name + ".res/ld_dis.xl"), "Histogram for population : ");
            ASSERT_EQ(blocks.size(), p.samples.size());
            ASSERT_EQ(histograms.size(), p.samples.size());
            for (std::size_t k = 0; k < p.samples.size(); ++k) {
                Sample const& s = p.samples[k];
                SCOPED_TRACE(s.name);
                std::string const& block = blocks[k];
                // Every pair in driver order; a pair with a monomorphic
                // locus is skipped, the others run 31 blocks of 33.
                std::vector<int> linked(static_cast<std::size_t>(s.loci), 0);
                std::regex const pair(
                    R"(Pair\((\d+), (\d+)\)\n +LnLHood LD : +(-?[0-9.]+) +LnLHood LE : +(-?[0-9.]+)\n +Exact P= +([0-9.]+) +\+- +[0-9.]+ \((\d+) permutations done\)     (.*)\n)");
                std::size_t n = 0;
                for (std::sregex_iterator i(block.begin(), block.end(), pair), end; i != end; ++i, ++n) {
                    int const j = std::stoi((*i)[1]), l = std::stoi((*i)[2]);
                    bool const skip = s.monomorphic.count(j) + s.monomorphic.count(l) > 0;
                    SCOPED_TRACE(std::to_string(j) + ", " + std::to_string(l));
                    EXPECT_EQ((*i)[6], skip ? "0" : "1023");
                    if (skip) {
                        EXPECT_EQ((*i)[7], "Chi-square test value= 0.00000 (P =  1.00000,  0 d.f.)");
                    }
                    if (j == 0 && l == 1 && !std::isnan(s.pairLnL)) {
                        EXPECT_NEAR(std::stod((*i)[3]), s.pairLnL, 1e-4);
                    }
                    if (std::stod((*i)[5]) < 0.05) {
                        ++linked[static_cast<std::size_t>(j)];
                        ++linked[static_cast<std::size_t>(l)];
                    }
                }
                EXPECT_EQ(n, static_cast<std::size_t>(s.loci * (s.loci - 1) / 2)) << block;
                // The sample's block of the histogram file.
                std::string expected = "Histogram for population : " + s.name +
                                       "\n\nLoci \t  Number of linked loci\t Polymorphic Locus\n";
                for (int l = 0; l < s.loci; ++l)
                    expected += std::to_string(l) + "\t" + std::to_string(linked[static_cast<std::size_t>(l)]) +
                                "\t" + (s.monomorphic.count(l) ? "0" : "1") + "\n";
                EXPECT_EQ(histograms[k], expected + "\n\n");
            }
            // The unphased test writes no batch lines.
            EXPECT_EQ(after_header(file("l_d_pro.sum"), ld_pro_header), "");
            EXPECT_EQ(after_header(file("l_d_val.sum"), ld_val_header), "");
            EXPECT_EQ(after_header(file("link_dis.sum"), link_dis_header), "");
            break;
        }
        case Task::phasedLinkage: {
            Sample const& s = p.samples[0];
            std::string const prefix = "\"" + name + ".res/" + name + ".pmp\"\t\"" + s.name + "\"\t";
            std::string const pro = after_header(file("l_d_pro.sum"), ld_pro_header);
            std::string const val = after_header(file("l_d_val.sum"), ld_val_header);
            EXPECT_EQ(occurrences(pro, "\n"), s.pairs.size()) << pro;
            EXPECT_EQ(occurrences(val, "\n"), s.pairs.size()) << val;
            for (PairP const& pair : s.pairs) {
                std::string const loci = std::to_string(pair.first) + "\t" + std::to_string(pair.second) + "\t";
                SCOPED_TRACE(loci);
                std::smatch m;
                std::regex const line(prefix + loci + R"(10100\t([0-9.e-]+)\t([0-9.e-]+)\n)");
                ASSERT_TRUE(std::regex_search(pro, m, line)) << pro;
                EXPECT_NEAR(std::stod(m[1]), pair.reference, std::max(6 * std::stod(m[2]), 0.005));
                // The report prints the same P and s.d. with the precision
                // that earlier sections left on the result stream.
                std::smatch r;
                std::regex const reported("Pair \\(" + std::to_string(pair.first) + ", " +
                                          std::to_string(pair.second) +
                                          R"(\) Exact P=([0-9.e-]+)  \+-  ([0-9.e-]+) \(10100 Steps done\)\n)");
                ASSERT_TRUE(std::regex_search(report, r, reported));
                EXPECT_NEAR(std::stod(r[1]), std::stod(m[1]), 5e-3 * std::stod(m[1]));
                EXPECT_NEAR(std::stod(r[2]), std::stod(m[2]), 5e-3 * std::stod(m[2]));
                if (!pair.measures.empty())
                    EXPECT_NE(val.find(prefix + loci + pair.measures + "\n"), std::string::npos) << val;
                else
                    EXPECT_TRUE(std::regex_search(val, std::regex(prefix + loci + R"(( *-?[0-9.e-]+\t){5} *-?[0-9.e-]+\n)")))
                        << val;
            }
            EXPECT_EQ(occurrences(report, "Table of standardized disequilibrium values (D'=D/Dmax)"), s.pairs.size());
            EXPECT_EQ(occurrences(report, "Table of standardized disequilibrium values (r2)"), s.pairs.size());
            // The linked-loci tables over the polymorphic loci.
            std::string loci;
            for (int l = 0; l < s.loci; ++l)
                if (!s.monomorphic.count(l)) loci += "\t" + std::to_string(l);
            EXPECT_EQ(file(name + ".res/ld_dis.xl").rfind("y\\Locus: " + loci + "\t   No. of Loci\n", 0), 0u);
            std::string const histogram = after_header(file("link_dis.sum"), link_dis_header);
            EXPECT_EQ(histogram.rfind("\t\t" + loci + "\t\n0.05\t1\t3\t", 0), 0u) << histogram;
            break;
        }
        case Task::hardyWeinberg: {
            auto const blocks = sections(report, "Exact test using a Markov chain (for all Loci):");
            ASSERT_EQ(blocks.size(), p.samples.size());
            for (std::size_t k = 0; k < p.samples.size(); ++k) {
                Sample const& s = p.samples[k];
                for (int l = 0; l < s.loci; ++l) {
                    std::string const number = std::to_string(l + 1);
                    if (s.monomorphic.count(l))
                        EXPECT_NE(blocks[k].find("\n    " + number + "   This locus is monomorphic: no test done.\n"),
                                  std::string::npos)
                            << s.name << " " << number;
                    else
                        EXPECT_TRUE(std::regex_search(
                            blocks[k], std::regex("\n +" + number + R"( +\d+ +[0-9.]+ +[0-9.]+ +[0-9.]+ +[0-9.]+ +2024\n)")))
                            << s.name << " " << number << "\n"
                            << blocks[k];
                }
            }
            EXPECT_EQ(after_header(file("hw.sum"), "Hardy-Weinberg equilibrium indices\tfile_name\tpop_name"), "");
            break;
        }
    }
}

std::string case_name(::testing::TestParamInfo<Case> const& info) {
    static char const* const tasks[] = {"em", "zipper", "linkage", "linkage", "hardy_weinberg"};
    std::string project = fs::path(info.param.project->path).stem().string();
    project.erase(std::remove(project.begin(), project.end(), '_'), project.end());
    return project + "_" + tasks[static_cast<int>(info.param.task)];
}

INSTANTIATE_TEST_SUITE_P(HaplotypeAnalyses, DataTypesRun, ::testing::ValuesIn(cases()), case_name);

}  // namespace
}  // namespace quintle
