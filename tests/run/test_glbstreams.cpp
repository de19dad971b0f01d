// The batch summary files of "glbstreams.txt", in a temporary working
// directory (entered for the test and left afterwards).

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "core/scratch.h"
#include "run/glbobj.h"
#include "sumstat/TSumStat.h"

namespace fs = std::filesystem;

namespace quintle {
namespace {

using scratch::read_file;
using scratch::write_file;

std::string const title = "\n\n" + std::string(67, '-') + "\nPellomar batch run summary file\n";

int* const flags[] = {&_GENE_DIVERSITY_, &_NUCLEOTIDE_COMPOSITION_, &_MOLECULAR_DIVERSITY_, &_MISMATCH_,
                      &_THETA_,          &_LINKAGE_DISEQUILIBRIUM_, &_HARDY_WEINBERG_,      &_TAJIMA_,
                      &_FU_FS_,          &_EWENS_WATTERSON_,        &_CHAKRABORTY_,         &_PAIRWISE_DIST_,
                      &_AMOVA_RES_,      &_ALLELE_FREQS_,           &_DETECT_SELECTION_};

class GlbStreams : public ::testing::Test {
protected:
    void SetUp() override {
        before_ = fs::current_path();
        fs::current_path(dir_.path());
        close_all_global_streams();
        for (int* f : flags) *f = 0;
    }
    void TearDown() override {
        close_all_global_streams();
        for (int* f : flags) *f = 0;
        fs::current_path(before_);
    }
    // As the run driver does before its first project.
    static void start_run() {
        char empty[] = "";
        read_global_flags(empty);
        initialize_pellomar_global_objects();
    }
    static std::set<std::string> files() {
        std::set<std::string> names;
        for (auto const& e : fs::directory_iterator(".")) names.insert(e.path().filename().string());
        return names;
    }

    fs::path before_;
    scratch::Dir dir_{"quintle_glbstreams"};
};

TEST_F(GlbStreams, EveryFlagWritesEveryFileWithItsHeader) {
    write_file("glbstreams.txt",
               "free comment line\n_GENE_DIVERSITY_\n_NUCLEOTIDE_COMPOSITION_ _MOLECULAR_DIVERSITY_\n_MISMATCH_\n"
               "_THETA_ _LINKAGE_DISEQUILIBRIUM_\n_HARDY_WEINBERG_\n_TAJIMA_\n_FU_FS_\n_EWENS_WATTERSON_\n"
               "_CHAKRABORTY_\n_PAIRWISE_DIST_\n_AMOVA_RES_\n_ALLELE_FREQS_\n_DETECT_SELECTION_");
    start_run();
    for (int* f : flags) EXPECT_EQ(*f, 1);
    close_all_global_streams();
    EXPECT_EQ(files(), (std::set<std::string>{
                           "glbstreams.txt", "gen_div.sum", "nucl_comp.sum", "mold_div.sum", "mismatch.sum",
                           "mismatch_sp3.sum", "mismatch_sp4.sum", "only_mismatch_sp.txt", "theta.sum",
                           "link_dis.sum", "l_d_pro.sum", "l_d_proIBD.sum", "l_d_val.sum", "hw.sum", "tajima.sum",
                           "fu_fs.sum", "ewens.sum", "chakra.sum", "pairdist.sum", "FSTdist.sum", "pairdiff.sum",
                           "tau_uneq.sum", "coanst_c.sum", "slatkin.sum", "NM_value.sum", "VCompdist.sum",
                           "amovares.sum", "selectionDetection.sum", "allele_freqs.sum"}));
    // Headers written out independently, typos and trailing blanks included.
    EXPECT_EQ(read_file("l_d_proIBD.sum"),
              title + "Linkage disequilibrium likelihood ration test with inbreeding\n"
                      "file_name\tpop_name\tComp_inbreeding \tlnLHoodLDf \tf_coeff_LD \tlnLHoodLEf \tf_coeff_LE"
                      "\tChi2f \tdf \tP_Chi2f\tComp_inbreeding \tlnLHoodLDf \tf_coeff_LD \tlnLHoodLE "
                      "\tf_coeff_LE\tChi2 \tdf \tP_Chi2\t\tP_Chi2_resamp\tnum_boot\n");
    EXPECT_EQ(read_file("fu_fs.sum"), title + "file_name\tpop_name\tNo. of Genes copies\tNo. of Haplotypes\tTheta\tFs"
                                              "\tProb(sim_Fs <=obs_Fs)\tP( Fs <= 0\tNo. Simulations\n");
    EXPECT_EQ(read_file("hw.sum"), title + "Hardy-Weinberg equilibrium indices\tfile_name\tpop_name\n");
    EXPECT_EQ(read_file("amovares.sum"), "\nAMOVA computations ...\nfile_name\n");
    EXPECT_EQ(read_file("only_mismatch_sp.txt"), "Mismatch distributions\n");
    std::string const selection = read_file("selectionDetection.sum");
    EXPECT_EQ(selection.substr(0, 70), "\nDetection of loci under selection:\nfileName\tnumSims\tNumTestedLoci\tnum");
    std::string const tail = "\tnumLowFCTLociBelow_2.5e-2\tnumLociBelow_5e-2\tnumHighFCTLociBelow_1e-3";
    EXPECT_NE(selection.find(tail), std::string::npos) << "the last column of a \"Low\" group has no stem";
}

TEST_F(GlbStreams, ClosingTwiceIsSafeAndKeepsLinesAndFlags) {
    write_file("glbstreams.txt", "comment\n_TAJIMA_\n");
    start_run();
    ASSERT_NE(ofs_tajima, nullptr);
    *ofs_tajima << "proj.pmp\tpop1\t10\n";
    close_all_global_streams();
    close_all_global_streams();
    EXPECT_EQ(ofs_tajima, nullptr);
    EXPECT_EQ(_batch_dir, nullptr);
    EXPECT_EQ(_TAJIMA_, 1);
    // A second run appends another title block after the line written.
    start_run();
    close_all_global_streams();
    std::string const text = read_file("tajima.sum");
    std::size_t const line = text.find("proj.pmp\tpop1\t10\n");
    ASSERT_NE(line, std::string::npos);
    EXPECT_EQ(text.substr(line + 17, title.size()), title);
}

TEST_F(GlbStreams, UnopenableFileLeavesAFailedStreamAndSparesTheOthers) {
    write_file("glbstreams.txt", "comment\n_TAJIMA_ _FU_FS_\n");
    fs::create_directory("tajima.sum");  // a folder where the file should go
    start_run();
    ASSERT_NE(ofs_tajima, nullptr);
    EXPECT_TRUE(ofs_tajima->fail());
    *ofs_tajima << "lost\n";  // dropped, no crash
    ASSERT_NE(ofs_fu_fs, nullptr);
    EXPECT_TRUE(ofs_fu_fs->good());
    close_all_global_streams();
    EXPECT_EQ(read_file("fu_fs.sum").substr(0, title.size()), title);
}

// The one file rewritten by every run holds this run's text only, as a run
// alone has always left it, however long the earlier one was.
TEST_F(GlbStreams, RewrittenFileHoldsOnlyTheLastRunsText) {
    write_file("glbstreams.txt", "comment\n_MISMATCH_\n");
    write_file("only_mismatch_sp.txt", std::string(5000, 'x') + "\n");
    for (char const* sample : {"first\n", "second\n"}) {
        start_run();
        ASSERT_NE(ofs_only_mismatch, nullptr);
        *ofs_only_mismatch << sample;
        close_all_global_streams();
        EXPECT_EQ(read_file("only_mismatch_sp.txt"), std::string("Mismatch distributions\n") + sample);
    }
}

// A run that writes a great deal does not hold it all: past a few MiB the
// whole lines go to the file, and a line still open waits for its end, so
// that another run's text can only come between whole lines.
TEST_F(GlbStreams, LargeOutputReachesTheFileInWholeLines) {
    write_file("glbstreams.txt", "comment\n_TAJIMA_\n");
    start_run();
    ASSERT_NE(ofs_tajima, nullptr);
    std::string const line = "\"p.res/p.pmp\"\t\"pop\"\t" + std::string(100, '7') + "\n";
    int const lines = (9 << 19) / static_cast<int>(line.size());
    for (int i = 0; i < lines; ++i) *ofs_tajima << line;
    *ofs_tajima << "\"p.res/p.pmp\"\t\"open";
    ofs_tajima->flush();
    std::string const early = read_file("tajima.sum");
    EXPECT_GE(early.size(), std::size_t{4} << 20);
    EXPECT_EQ(early.back(), '\n');
    EXPECT_EQ(early.find("open"), std::string::npos);
    *ofs_tajima << " line\n";
    close_all_global_streams();
    std::string const text = read_file("tajima.sum");
    EXPECT_EQ(text.substr(0, early.size()), early);
    std::size_t const head = text.find(line);
    ASSERT_NE(head, std::string::npos);
    std::string expected = text.substr(0, head);
    for (int i = 0; i < lines; ++i) expected += line;
    EXPECT_EQ(text, expected + "\"p.res/p.pmp\"\t\"open line\n");
}

}  // namespace
}  // namespace quintle
