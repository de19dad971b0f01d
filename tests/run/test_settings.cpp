// The settings record: the key reader and its line rules, the names built
// from a project path, the lifetime of what it owns, and its printouts.

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <fstream>
#include <sstream>
#include <string>

#include "core/TriMat.h"
#include "core/scratch.h"
#include "core/xml.h"
#include "run/ProfileSettings.h"
#include "run/settings.h"
#include "support/process_state.h"

namespace quintle {
namespace {

// Keeps the run-wide statics the tests touch as they were found.
class SettingsTest : public ::testing::Test {
protected:
    my_string file(std::string const& name, std::string const& text) const {
        scratch::write_file(dir_ / name, text);
        return my_string((dir_ / name).string().c_str());
    }

    scratch::Dir dir_{"quintle_settings"};

private:
    test::Saved<my_string> input_{settings::input_file};
    test::Saved<bool> xml_{xmlOutput};
};

// One value of each kind, in a CRLF file, with the reader's line rules: a
// key matches the first line that contains it and has a value after its
// first '=' within 100 characters.
TEST_F(SettingsTest, ValuesOfEveryKindAndTheLineRules) {
    std::string const comment =
        "#EMNumZipRandOrders specifies how many random orders have to be considered assuming EMLociRandOrder=1";
    ASSERT_EQ(comment.find('='), 99u);
    std::string const text =
        "[Setting for Calculations]\r\ntasknumber=5\r\nTaskNumber=\r\nTaskNumber=131071\r\nXMLOutput=0\r\n"
        "AllowedLevelOfMissingData=0.05\r\nSignificanceLevelLD=0.01 \t\r\nMarkovChainStepsHW=5000000000\r\n"
        "NumSimulFuTest=99999999999\r\nNumBootSFS=-99999999999\r\nNumPermMantel=99999999999\r\n"
        "ComputeAllAlleleFreqs=5\r\nMismatchDemogExp=0\r\nPrecProbPopDiff=0.5\r\n"
        "SimFileNameForFDist2= my sims.txt \t\r\nMismatchDistanceMethod=2\r\nDistanceMethod=1\r\n"
        "GibbsEpsilonValue=0.5\r\nEpsilonValue=0.25\r\n" + comment + "\r\nEMNumZipRandOrders=4\r\n"
        "PrintHaplDistMat=0\r\nPrintPopDistMat=1\r\nGibbsHetSiteInfluenceZone=-1\r\nEMWinSize=3";
    settings s;
    s.read_settings(file("a.pms", text));
    EXPECT_EQ(s.TaskNumber, 131071) << "keys are case-sensitive; an empty value is passed over";
    EXPECT_EQ(s.XMLOutput, 0);
    EXPECT_NEAR(s.AllowedLevelOfMissingData, 0.05, 1e-12) << "the carriage return is not part of the value";
    EXPECT_NEAR(s.SignificanceLevelLD, 0.01, 1e-12);
    EXPECT_EQ(s.MarkovChainStepsHW, 5000000000LL);
    EXPECT_EQ(s.NumSimulFuTest, INT_MAX) << "held at the 32-bit limit";
    EXPECT_EQ(s.NumBootSFS, INT_MIN);
    EXPECT_EQ(s.NumPermMantel, 99999999999LL);
    EXPECT_TRUE(s.ComputeAllAlleleFreqs);
    EXPECT_FALSE(s.MismatchDemogExp);
    EXPECT_EQ(s.PrecProbPopDiff, 5.0) << "read as an integer: the non-digits are skipped";
    EXPECT_STREQ(s.SimFileNameForFDist2.c_str(), " my sims.txt");
    EXPECT_EQ(s.DistanceMethod, 2) << "the longer key's line comes first";
    EXPECT_NEAR(s.EpsilonValue, 0.5, 1e-12);
    EXPECT_EQ(s.EMNumZipRandOrders, 4);
    EXPECT_EQ(s.EMLociRandOrder, 0) << "the '=' of the comment lies outside the window";
    EXPECT_EQ(s.PrintHaplDistMat, 1) << "set by PrintPopDistMat";
    EXPECT_EQ(s.GibbsHetSiteInfluenceZone, -1);
    EXPECT_EQ(s.EMWinSize, 3) << "the last line needs no line end";

    // A second file: absent mandatory keys fall to 0, absent optional ones keep their values.
    s.read_settings(file("b.pms", "XMLOutput=1\n"));
    EXPECT_EQ(s.TaskNumber, 0);
    EXPECT_EQ(s.NumPermMantel, 0);
    EXPECT_EQ(s.EMWinSize, 3);
    EXPECT_EQ(s.GibbsHetSiteInfluenceZone, -1);
}

TEST_F(SettingsTest, ResultNamesAreBuiltFromTheProjectPathOfAnyLength) {
    xmlOutput = true;
    settings s;
    s.buildFilenamesFromCurrentProjectName("C:\\old.v2\\run.pmp");
    EXPECT_STREQ(s.ResultFolder.c_str(), "C:\\old.v2\\run.res/");
    EXPECT_STREQ(s.ResultFileName.c_str(), "C:\\old.v2\\run.res/run.xml");
    EXPECT_STREQ(settings::input_file.c_str(), "C:\\old.v2\\run.res/run.pmp");

    xmlOutput = false;
    std::string const folder = "/" + std::string(900, 'd') + "/";
    s.buildFilenamesFromCurrentProjectName((folder + "p.pmp").c_str());
    EXPECT_EQ(std::string(s.ResultFileName.c_str()), folder + "p.res/p.htm");
    EXPECT_EQ(std::string(s.MainPageFileName.c_str()), folder + "p.res/p_main.htm");
    s.build_sigm_histo_f_name();
    EXPECT_EQ(std::string(s.SigmHistoFileNames[3].c_str()), folder + "p.res/p.vd");
}

TEST_F(SettingsTest, ProjectPathAndPhaseFilesOutliveTheirRecordsRightly) {
    settings::input_file = "/data/proj.pmp";
    { settings a; }
    EXPECT_STREQ(settings::input_file.c_str(), "/data/proj.pmp");

    std::string const name = (dir_ / "Vosk_Best_Phases.pmp").string();
    {
        settings s;
        s.GibbsOutputGamPhase = 1;
        s.GibbsPhaseStreams.emplace_back(name);
        s.GibbsPhaseStreams[0] << "buffered phases";
        s.GibbsOutputGamPhase = 0;  // switched off by a later settings file
    }
    EXPECT_EQ(scratch::read_file(name), "buffered phases");

    std::ostringstream log;
    {
        test::Saved<std::ostream*> toLog(_AOS_, &log);
        settings::print_info(std::string(500, 'i').c_str());
    }
    EXPECT_EQ(log.str(), std::string(500, 'i') + "\n");
}

// ------------------------------------------------------------ printouts

TEST_F(SettingsTest, SummaryWithoutTasksInHtml) {
    xmlOutput = false;
    settings s;
    s.ComputePopSFS = 1;  // printed whatever the task bits
    std::ostringstream out;
    s.print_pretty_settings(out);
    EXPECT_EQ(out.str(),
              "==============================\n"
              "Settings used for Calculations\n"
              "==============================\n"
              "\n"
              " General settings:\n"
              " -----------------\n"
              "        Deletion Weight                = 1\n"
              "        Transition Weight Weight       = 1\n"
              "        Tranversion Weight Weight      = 1\n"
              "        Epsilon Value                  = 1e-07\n"
              "        Significant digits for output  = 5\n"
              "        Use original haplotype definition\n"
              "        Alllowed level of missing data = 0.05\n"
              "\n"
              " Active Tasks:\n"
              " -------------\n"
              "\n"
              "        Compute Site Frequency Spectrum within populations\n");
}

TEST_F(SettingsTest, LinkageTableShowsValuesWithFourDigits) {
    settings s;
    s.PrintFlagHistogramLD = 1;
    s.SignificanceLevelLD = 0.0123456;
    TriMat m(3);
    m(1, 0) = 0.01;
    m(2, 0) = 0.2;
    m(2, 1) = 0.123456;
    int ids[] = {4, 12, 7};
    std::string const path = (dir_ / "ld.txt").string();
    {
        std::fstream out(path, std::ios::out | std::ios::trunc);
        s.ResultFile = &out;
        EXPECT_EQ(s.print_diseq_table(m, 3, ids), 1);
        s.ResultFile = nullptr;
    }
    EXPECT_EQ(scratch::read_file(path),
              "\nTable of significant linkage disequilibrium (significance level=0.01235):\n"
              "\n"
              "          ------------------------\n"
              "Locus  # |      4|     12|      7|\n"
              "          ------------------------\n"
              "       4 |      *    0.01     0.2 \n"
              "      12 |   0.01       *  0.1235 \n"
              "       7 |    0.2  0.1235       * \n");
}

}  // namespace
}  // namespace quintle
