#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "core/scratch.h"
#include "run/glbobj.h"
#include "sumstat/TSumStat.h"

namespace fs = std::filesystem;

namespace quintle {
namespace {

// Read during this unit's own static initialisation: the objects built before
// main must already exist, whichever unit the linker initialises first.
std::string const haplDefaultSeenBeforeMain = UsedHaplListDefault.c_str();
std::string const recessiveDefaultSeenBeforeMain = RecessiveAlleleDefault.c_str();
std::string const statsFileSeenBeforeMain = SumStat.outFileName.c_str();

std::string const kTitle =
    "\n\n" + std::string(67, '-') + "\nPellomar batch run summary file\n";

using quintle::scratch::read_file;
using quintle::scratch::write_file;

std::vector<int*> allFlags() {
    return {&_GENE_DIVERSITY_, &_NUCLEOTIDE_COMPOSITION_, &_MOLECULAR_DIVERSITY_, &_MISMATCH_,
            &_THETA_,          &_LINKAGE_DISEQUILIBRIUM_, &_HARDY_WEINBERG_,      &_TAJIMA_,
            &_FU_FS_,          &_EWENS_WATTERSON_,        &_CHAKRABORTY_,         &_PAIRWISE_DIST_,
            &_AMOVA_RES_,      &_ALLELE_FREQS_,           &_DETECT_SELECTION_};
}

std::vector<std::ofstream**> allStreams() {
    return {&ofs_gen_div,      &ofs_nuc_comp,     &ofs_mol_div,        &ofs_mismatch,
            &ofs_mismatch_sp3, &ofs_mismatch_sp4, &ofs_only_mismatch,  &ofs_theta,
            &ofs_link_dis,     &ofs_link_dis_pro, &ofs_link_dis_pro_inbreeding,
            &ofs_distrib_LD,   &ofs_HW,           &ofs_tajima,         &ofs_fu_fs,
            &ofs_ewens_watt,   &ofs_chakra,       &ofs_pairw_dist,     &ofs_FST_dist,
            &ofs_varComp_dist, &ofs_pairw_diffs,  &ofs_tau_uneq,       &ofs_concest,
            &ofs_slatkins,     &ofs_NM_vals,      &ofs_amova_res,      &ofs_selection_res,
            &ofs_allele_freqs};
}

// What a single run leaves in each batch file, written out independently of
// the table in the implementation.
std::map<std::string, std::string> expectedBatchFiles() {
    std::string const T = kTitle;
    std::string const eol = "\n";
    std::map<std::string, std::string> m;
    m["gen_div.sum"] = T + "Gene diversity indices:\n" +
                       "file_name\tpop_name\tnb_gene_copies\tnb_haplotypes\t[orig_nb_haplotypes]"
                       "\tnum_loci\t_nb_usable_loci\t_nb_pol_sites\tgene_diversity" + eol;
    m["nucl_comp.sum"] =
        T + "Nucleotide composition\n" + "file_name\tpop_name\tC\tT\tA\tG\tsum(CTAG)" + eol;
    m["mold_div.sum"] = T + "Molecular diversity indices\n" +
                        "file_name\tpop_name\tindel_w\tts_w\ttv_w\tmiss_lev\t#ts_s\t#tv_s\t#subs_s"
                        "\t#del_s\t#pol_s\t#nucl_s\t#usa_loci\tdist_met\tgamma_a\tmol_div\tnucl_div" +
                        eol;
    std::string const zeroClass = "Mismatch distribution starting from the zero difference class";
    m["mismatch.sum"] = T + "Mismatch distribution\n" +
                        "file_name\tpop_name\tDistance\tgamma_a\tmean\tvariance\ttheta0\ttau\t" +
                        zeroClass + eol;
    m["mismatch_sp3.sum"] = T + "Mismatch distribution\n" +
                            "file_name\tpop_name\tDistance\tgamma_a\tmean\tvariance\ttau\ttheta\tM\t" +
                            zeroClass + eol;
    m["mismatch_sp4.sum"] =
        T + "Mismatch distribution\n" +
        "file_name\tpop_name\tDistance\tgamma_a\tmean\tvariance\ttheta0\ttau\ttheta\tM\t" +
        zeroClass + eol;
    m["only_mismatch_sp.txt"] = "Mismatch distributions\n";
    m["theta.sum"] = T + "\tfile_name" + eol;
    m["link_dis.sum"] = T + "Linkage disequilibrium indices\n" + "alpha_lev\ty\t#usable_loci" + eol;
    m["l_d_pro.sum"] = T + "Linkage disequilibrium probabilities\n" +
                       "file_name\tpop_name\tloc_1\tloc_2\t#resampl\tl_d_proba\ts.d." + eol;
    m["l_d_proIBD.sum"] =
        T + "Linkage disequilibrium likelihood ration test with inbreeding\n" +
        "file_name\tpop_name\tComp_inbreeding \tlnLHoodLDf \tf_coeff_LD \tlnLHoodLEf \tf_coeff_LE"
        "\tChi2f \tdf \tP_Chi2f\tComp_inbreeding \tlnLHoodLDf \tf_coeff_LD \tlnLHoodLE "
        "\tf_coeff_LE\tChi2 \tdf \tP_Chi2\t\tP_Chi2_resamp\tnum_boot" + eol;
    m["l_d_val.sum"] = T + "Linkage disequilibrium values\n" +
                       "file_name\tpop_name\tloc_1\tloc_2\tD\tDprime\tD_hedrick\tR\tR2\tR2_hedrick" +
                       eol;
    m["hw.sum"] = T + "Hardy-Weinberg equilibrium indices\tfile_name\tpop_name" + eol;
    m["tajima.sum"] = T + "Tajima's D indices:\n" +
                      "file_name\tpop_name\tnum gene copies\tnum polym sites\ttheta_S\ttheta_pi"
                      "\tTajima's D\tP-value beta approx.\tP-value simul.\tProb(Simulated D <= 0)"
                      "\tNum. simulations" + eol;
    m["fu_fs.sum"] = T +
                     "file_name\tpop_name\tNo. of Genes copies\tNo. of Haplotypes\tTheta\tFs"
                     "\tProb(sim_Fs <=obs_Fs)\tP( Fs <= 0\tNo. Simulations" + eol;
    m["ewens.sum"] = T + "Ewens-Watterson neutrality test indices\n" +
                     "file_name\tpop_name\tnb_genes\t[nb_orig_hapl]\tnb_#all\tobs_F\texp_F"
                     "\tp_Ewens_Watt\tp_exact_Slatkin" + eol;
    m["chakra.sum"] = T + "Chakraborty's neutrality test indices\n" +
                      "file_name\tpop_name\tnb_genes\tnb_haplotypes\thomozygosity\texp_k(hom)"
                      "\tp_k_all\tp_>=k_all" + eol;
    for (char const* name : {"pairdist.sum", "FSTdist.sum", "pairdiff.sum", "tau_uneq.sum",
                             "coanst_c.sum", "slatkin.sum", "NM_value.sum"}) {
        m[name] = T + "\tfile_name" + eol;
    }
    m["VCompdist.sum"] = T + eol;
    m["amovares.sum"] = "\nAMOVA computations ...\nfile_name\n";
    std::string selection = "\nDetection of loci under selection:\nfileName\tnumSims\tNumTestedLoci";
    for (char const* stem : {"numLowFSTLociBelow_", "numHighFCTLociBelow_", "numLowFCTLociBelow_",
                             "numHighFCTLociBelow_"}) {
        bool const low = std::string(stem).find("Low") != std::string::npos;
        for (char const* level : {"1e-3", "5e-3", "1e-2", "2.5e-2", "5e-2"}) {
            // The last column of the two "Low" groups is named without its stem.
            bool const last = std::strcmp(level, "5e-2") == 0;
            selection += std::string("\t") + (low && last ? "numLociBelow_" : stem) + level;
        }
    }
    selection += "\n";
    m["selectionDetection.sum"] = selection;
    m["allele_freqs.sum"] = T + "Allele frequencies\nfile_name\n" +
                            "Population 1 id\tFreq. all. 1\tFreq. all. 2\t...\tPopulation 2 id"
                            "\tFreq. all. 1\tFreq. all. 2\t..." + eol;
    return m;
}

std::string const kAllFlagsFile =
    "free comment line\n"
    "_GENE_DIVERSITY_\n"
    "_NUCLEOTIDE_COMPOSITION_\n"
    "_MOLECULAR_DIVERSITY_\n"
    "_MISMATCH_\n"
    "_THETA_\n"
    "_LINKAGE_DISEQUILIBRIUM_\n"
    "_HARDY_WEINBERG_\n"
    "_TAJIMA_\n"
    "_FU_FS_\n"
    "_EWENS_WATTERSON_\n"
    "_CHAKRABORTY_\n"
    "_PAIRWISE_DIST_\n"
    "_AMOVA_RES_\n"
    "_ALLELE_FREQS_\n"
    "_DETECT_SELECTION_\n";

// Every test runs in its own empty working directory with all batch state
// cleared.
class GlbStreams : public ::testing::Test {
protected:
    void SetUp() override {
        previousDir_ = fs::current_path();
        std::string const unique = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        dir_ = fs::temp_directory_path() / ("quintle_glbstreams_" + unique + "_" +
                                            std::to_string(reinterpret_cast<std::uintptr_t>(this)));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        fs::current_path(dir_);
        close_all_global_streams();
        for (int* f : allFlags()) *f = 0;
    }

    void TearDown() override {
        close_all_global_streams();
        for (int* f : allFlags()) *f = 0;
        fs::current_path(previousDir_);
        fs::remove_all(dir_);
    }

    // Reads the flags file from the working directory and opens the streams,
    // as the run driver does before its first project.
    static void startRun() {
        char empty[] = "";
        read_global_flags(empty);
        initialize_pellomar_global_objects();
    }

    static int flagCount() {
        int n = 0;
        for (int* f : allFlags()) n += *f;
        return n;
    }

    std::vector<std::string> filesInDir() const {
        std::vector<std::string> names;
        for (auto const& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path previousDir_;
    fs::path dir_;
};

TEST_F(GlbStreams, EveryFlagWritesEveryFileWithItsExactHeader) {
    write_file("glbstreams.txt", kAllFlagsFile);
    startRun();
    for (int* f : allFlags()) EXPECT_EQ(*f, 1);
    for (std::ofstream** s : allStreams()) EXPECT_NE(*s, nullptr);
    close_all_global_streams();

    auto const expected = expectedBatchFiles();
    ASSERT_EQ(expected.size(), 28u);
    std::vector<std::string> expectedNames{"glbstreams.txt"};
    for (auto const& [name, text] : expected) {
        expectedNames.push_back(name);
        EXPECT_EQ(read_file(name), text) << name;
    }
    std::sort(expectedNames.begin(), expectedNames.end());
    EXPECT_EQ(filesInDir(), expectedNames);
}

TEST_F(GlbStreams, WithoutFlagsFileNothingIsOpened) {
    startRun();
    EXPECT_EQ(flagCount(), 0);
    for (std::ofstream** s : allStreams()) EXPECT_EQ(*s, nullptr);
    close_all_global_streams();
    EXPECT_TRUE(filesInDir().empty());
}

TEST_F(GlbStreams, OneFlagOpensOnlyItsOwnFiles) {
    write_file("glbstreams.txt", "comment\n_MISMATCH_\n");
    write_file("only_mismatch_sp.txt", "left over from an earlier run\n");
    startRun();
    EXPECT_EQ(flagCount(), 1);
    EXPECT_EQ(_MISMATCH_, 1);
    for (std::ofstream** s : allStreams()) {
        bool const mine = s == &ofs_mismatch || s == &ofs_mismatch_sp3 || s == &ofs_mismatch_sp4 ||
                          s == &ofs_only_mismatch;
        EXPECT_EQ(*s != nullptr, mine);
    }
    close_all_global_streams();
    EXPECT_EQ(filesInDir(), (std::vector<std::string>{"glbstreams.txt", "mismatch.sum",
                                                      "mismatch_sp3.sum", "mismatch_sp4.sum",
                                                      "only_mismatch_sp.txt"}));
    // The plain-text mismatch file is rewritten, not appended to.
    EXPECT_EQ(read_file("only_mismatch_sp.txt"), "Mismatch distributions\n");
}

TEST_F(GlbStreams, SecondRunAppendsAnotherTitleBlock) {
    write_file("glbstreams.txt", "comment\n_THETA_ _MISMATCH_\n");
    startRun();
    close_all_global_streams();
    startRun();
    close_all_global_streams();
    std::string const block = kTitle + "\tfile_name\n";
    EXPECT_EQ(read_file("theta.sum"), block + block);
    EXPECT_EQ(read_file("only_mismatch_sp.txt"), "Mismatch distributions\n");
}

TEST_F(GlbStreams, LinesAreMatchedAsUpperCasedSubstrings) {
    write_file("glbstreams.txt",
              "_THETA_ on the comment line does not count\n"
              "_gene_diversity_\n"
              "GENE_DIVERSITY TAJIMA\n"
              "no _Tajima_ and no _FU_FS_ either\n"
              "ALLELE_FREQS CHAKRABORTY_");
    startRun();
    EXPECT_EQ(_THETA_, 0);
    EXPECT_EQ(_GENE_DIVERSITY_, 1);
    EXPECT_EQ(_TAJIMA_, 1);
    EXPECT_EQ(_FU_FS_, 1);
    EXPECT_EQ(_ALLELE_FREQS_, 0);
    EXPECT_EQ(_CHAKRABORTY_, 0);
    EXPECT_EQ(flagCount(), 3);
}

TEST_F(GlbStreams, LastLineWithoutNewlineStillCounts) {
    write_file("glbstreams.txt", "comment\n_HARDY_WEINBERG_");
    startRun();
    EXPECT_EQ(_HARDY_WEINBERG_, 1);
    EXPECT_EQ(flagCount(), 1);
    close_all_global_streams();
    EXPECT_EQ(read_file("hw.sum"), kTitle + "Hardy-Weinberg equilibrium indices\tfile_name\tpop_name\n");
}

TEST_F(GlbStreams, OnlyLinesUpTo201AreRead) {
    std::string text = "comment\n";
    for (int line = 2; line <= 200; ++line) text += "nothing here\n";
    text += "_AMOVA_RES_\n";  // line 201
    text += "_THETA_\n";      // line 202
    write_file("glbstreams.txt", text);
    startRun();
    EXPECT_EQ(_AMOVA_RES_, 1);
    EXPECT_EQ(_THETA_, 0);
}

TEST_F(GlbStreams, DirectoryPrefixOf350CharactersIsTheLimit) {
    // Two nested folders whose relative path, with its trailing '/', is
    // exactly 350 characters long.
    std::string const first = std::string(200, 'd') + "/";
    std::string dir350 = first + std::string(148, 'e') + "/";
    std::string dir351 = first + std::string(149, 'e') + "/";
    ASSERT_EQ(dir350.size(), 350u);
    ASSERT_EQ(dir351.size(), 351u);
    for (std::string const& d : {dir350, dir351}) {
        fs::create_directories(d);
        write_file(d + "glbstreams.txt", "comment\n_TAJIMA_\n");
    }

    read_global_flags(dir350.data());
    EXPECT_EQ(_TAJIMA_, 1);

    read_global_flags(dir351.data());
    EXPECT_EQ(flagCount(), 0);
}

TEST_F(GlbStreams, NullDirectoryMeansWorkingDirectory) {
    write_file("glbstreams.txt", "comment\n_FU_FS_\n");
    read_global_flags(nullptr);
    EXPECT_EQ(_FU_FS_, 1);
    ASSERT_NE(_batch_dir, nullptr);
    EXPECT_STREQ(_batch_dir, "");
}

TEST_F(GlbStreams, ClosingTwiceIsSafeAndKeepsFlags) {
    write_file("glbstreams.txt", "comment\n_TAJIMA_\n_PAIRWISE_DIST_\n");
    startRun();
    ASSERT_NE(ofs_tajima, nullptr);
    *ofs_tajima << "proj.pmp\tpop1\t10\n";

    close_all_global_streams();
    close_all_global_streams();
    for (std::ofstream** s : allStreams()) EXPECT_EQ(*s, nullptr);
    EXPECT_EQ(_batch_dir, nullptr);
    EXPECT_EQ(_TAJIMA_, 1);
    EXPECT_EQ(_PAIRWISE_DIST_, 1);

    // What a writer put in before closing reached the file.
    std::string const tajima = read_file("tajima.sum");
    ASSERT_GE(tajima.size(), std::string("proj.pmp\tpop1\t10\n").size());
    EXPECT_EQ(tajima.substr(tajima.size() - 17), "proj.pmp\tpop1\t10\n");
}

TEST_F(GlbStreams, UnopenableFileLeavesAFailedStreamAndSparesTheOthers) {
    write_file("glbstreams.txt", "comment\n_TAJIMA_ _FU_FS_\n");
    fs::create_directory("tajima.sum");  // a folder where the file should go
    startRun();
    ASSERT_NE(ofs_tajima, nullptr);
    EXPECT_TRUE(ofs_tajima->fail());
    *ofs_tajima << "lost\n";  // dropped, no crash
    ASSERT_NE(ofs_fu_fs, nullptr);
    EXPECT_TRUE(ofs_fu_fs->good());
    close_all_global_streams();
    EXPECT_TRUE(fs::is_directory("tajima.sum"));
    EXPECT_EQ(read_file("fu_fs.sum").substr(0, kTitle.size()), kTitle);
}

TEST_F(GlbStreams, InitialisingAgainReplacesTheOpenStreams) {
    write_file("glbstreams.txt", "comment\n_THETA_\n");
    startRun();
    initialize_pellomar_global_objects();
    close_all_global_streams();
    std::string const block = kTitle + "\tfile_name\n";
    EXPECT_EQ(read_file("theta.sum"), block + block);
}

TEST_F(GlbStreams, DistanceNamesAreFilled) {
    startRun();
    std::vector<std::string> const expected{"Pairwise difference",
                                            "Jukes and Cantor",
                                            "Kimura 2P",
                                            "Proportion of difference",
                                            "Tajima and Nei",
                                            "Tamura",
                                            "Tamura and Nei",
                                            "No. of different alleles (FST)",
                                            "Sum of squared size difference (RST)"};
    ASSERT_EQ(expected.size(), static_cast<std::size_t>(NumDistanceNames));
    for (int i = 0; i < NumDistanceNames; ++i) {
        ASSERT_NE(std::memchr(DistanceNames[i], '\0', DistanceNameSize), nullptr) << i;
        EXPECT_EQ(std::string(DistanceNames[i]), expected[i]) << i;
    }
}

TEST_F(GlbStreams, LogStreamStaysUsableWithoutAnOpenLog) {
    std::ostream* before = _AOS_;
    ASSERT_NE(before, nullptr);
    startRun();
    EXPECT_EQ(_AOS_, before);
}

TEST(GlobalObjects, DefaultsExistBeforeMain) {
    EXPECT_EQ(haplDefaultSeenBeforeMain, "NONE");
    EXPECT_EQ(recessiveDefaultSeenBeforeMain, "null");
    EXPECT_EQ(statsFileSeenBeforeMain, "");
    EXPECT_STREQ(UsedHaplListDefault.c_str(), "NONE");
    EXPECT_STREQ(RecessiveAlleleDefault.c_str(), "null");
}

// The statistics record's file side, on a private instance so the global
// SumStat stays untouched.
class SumStatFile : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("quintle_sumstat_" +
                std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        path_ = (dir_ / "stats.txt").string();
        stat_.outFileName = path_.c_str();
        stat_.headerLine = "H1\tH2\t\n";
        stat_.statsLine = "1\t2\t\n";
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path dir_;
    std::string path_;
    TSumStat stat_;
};

TEST_F(SumStatFile, HeaderModesChooseTheLines) {
    std::vector<std::pair<int, std::string>> const cases{
        {1, "H1\tH2\t\n1\t2\t\n"}, {0, "1\t2\t\n"}, {2, "H1\tH2\t\n"}, {3, ""}, {-1, ""}};
    stat_.append = false;
    for (auto const& [mode, text] : cases) {
        write_file(path_, "old\n");
        stat_.writeToFile(mode);
        EXPECT_EQ(read_file(path_), text) << "mode " << mode;
    }
    // Appending keeps the earlier lines.
    stat_.append = true;
    stat_.writeToFile(1);
    stat_.writeToFile(0);
    EXPECT_EQ(read_file(path_), "H1\tH2\t\n1\t2\t\n1\t2\t\n");
}

TEST_F(SumStatFile, EmptyNameWritesNothing) {
    stat_.outFileName = "";
    stat_.writeToFile(1);  // no file, no crash
    EXPECT_TRUE(fs::is_empty(dir_));
}

TEST_F(SumStatFile, ReadingDefinitionsKeepsNameAndEmptiesLines) {
    std::string const defs = (dir_ / "ssdefs.txt").string();
    write_file(defs, "POP_LEVEL\nMEAN_H\n");
    stat_.append = true;
    stat_.readDefSSFile(my_string(defs.c_str()));
    EXPECT_EQ(std::string(stat_.defFileName.c_str()), defs);
    EXPECT_STREQ(stat_.headerLine.c_str(), "");
    EXPECT_STREQ(stat_.statsLine.c_str(), "");
    EXPECT_TRUE(stat_.append);

    // A missing file is not an error either.
    stat_.readDefSSFile(my_string("no_such_defs_file.txt"));
    EXPECT_STREQ(stat_.defFileName.c_str(), "no_such_defs_file.txt");
}

}  // namespace
}  // namespace quintle
