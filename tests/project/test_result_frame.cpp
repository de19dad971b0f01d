// The frame in which the results are read: frame-set and tree pages, the
// opening and closing text of the result file, the anchors of the summary
// sections and the result-name builders. Expected texts are transcribed by
// hand from the page layouts.

#include <gtest/gtest.h>

#include "project/project_test_support.h"

#include <utility>

namespace fs = std::filesystem;

namespace quintle {
namespace {

using test::slurp;

bool has(std::string const& text, std::string const& part) { return text.find(part) != std::string::npos; }

class ResultFrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        static std::atomic<int> serial{0};
        dir = fs::temp_directory_path() /
              ("quintle_frame_" + std::to_string(::getpid()) + "_" + std::to_string(serial++)) / "my res";
        fs::remove_all(dir.parent_path());
        fs::create_directories(dir);
        kept_xml = xmlOutput;
        // Names as a run sets them, in a folder whose path holds a blank;
        // the program folder is written with backslashes.
        std::string const stem = (dir / "proj one").string();
        settings::input_file = (stem + ".pmp").c_str();
        s().ResultFileName = (stem + ".xml").c_str();
        s().MenuTreeFileName = (stem + "_tree.htm").c_str();
        s().MenuScriptFileName = (stem + ".js").c_str();
        s().MainPageFileName = (stem + "_main.htm").c_str();
        s().style_file = "C:\\Program Files\\q\\ftie4style.css";
        s().menu_lib_file = "C:\\Program Files\\q\\ftiens4.js";
        s().time_stamp = "05/12/26at14:39:48";
        result.open((dir / "result.txt").string(), std::ios::out | std::ios::trunc);
        s().ResultFile = &result;
    }
    void TearDown() override {
        xmlOutput = kept_xml;
        std::error_code ec;
        fs::remove_all(dir.parent_path(), ec);
    }

    settings& s() { return project.options; }

    std::string written() {
        result.close();
        return slurp(dir / "result.txt");
    }

    fs::path dir;
    bool kept_xml = true;
    std::fstream result;
    Project project;
};

TEST_F(ResultFrameTest, FrameSetPageLinksItsNeighboursByBareName) {
    project.New_print_html_frames_output(false);
    std::string const page = slurp(dir / "proj one_main.htm");
    EXPECT_EQ(page.rfind("\n<html>\n<!--Pellomar results frame file-->\n\n<head>"
                         "\n<title> Pellomar Result Browser - proj one.pmp\n</title>"
                         "\n<script>\nfunction op() { //This function is used with folders that do not open pages "
                         "themselves. See online docs.\n}\n</script>\n</head>\n"
                         "\n<!--\nThis frameset document includes the Treeview script.\n",
                         0),
              0u)
        << page;
    std::string const frames = "\n-->\n\n<FRAMESET cols=\"200,*\">"
                               "\n  <FRAME src=\"proj%20one_tree.htm\" name=\"treeframe\">"
                               "\n  <FRAME SRC=\"proj%20one.xml\" name=\"basefrm\">"
                               "\n</FRAMESET>\n\n\n</html>\n";
    ASSERT_GE(page.size(), frames.size());
    EXPECT_EQ(page.substr(page.size() - frames.size()), frames) << page;
}

TEST_F(ResultFrameTest, TreePageLoadsTheScriptsFromTheProgramFolder) {
    project.New_print_html_frames_output(false);
    std::string const page = slurp(dir / "proj one_tree.htm");
    for (char const* part : {"\n<script src=\"file:///C:/Program%20Files/q/ua.js\"></script>\n",
                             "\n<script src=\"file:///C:/Program%20Files/q/ftiens4.js\"></script>\n",
                             "\n<script src=\"proj%20one.js\"></script>\n\n</head>\n",
                             "\n<script>initializeDocument()</script>\n<noscript>"}) {
        EXPECT_TRUE(has(page, part)) << part << "\n---\n" << page;
    }
    EXPECT_FALSE(has(page, "ftie4style.css")) << "the style file is not referred to";
}

TEST_F(ResultFrameTest, HtmlResultOpensAPreformattedBlock) {
    project.New_print_html_results_header(false);
    project.New_print_html_results_footer(false, false);
    EXPECT_EQ(written(),
              "\n<html>\n<!--Pellomar results file-->\n\n<head>\n<style>"
              "\nBODY {background-color: white; font-size: 8pt; font-family: Courier New}\n</style>\n</head>\n"
              "\n<body bgcolor=white>\n\n<PRE>\n"
              "\n</body>\n</PRE>\n</html>\n\n");
}

TEST_F(ResultFrameTest, XmlResultNamesItsStyleSheetInTheProgramFolder) {
    project.New_print_html_results_header(true);
    project.New_print_html_results_footer(false, true);
    EXPECT_EQ(written(),
              "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>"
              "\n<?xml-stylesheet type=\"text/xsl\" href=\"file:///C:/Program%20Files/q/PellomarStyleSheet.xsl\"?>"
              "\n<!--Pellomar results file-->\n\n<Pellomar>\n\n<data>\n\n"
              "\n</data>\n\n</Pellomar>\n\n");
}

// A summary section's anchor starts with the cleaned time stamp; the pooled
// set of the group pass names it "gr_comp_sum_".
TEST_F(ResultFrameTest, ComputationAnchorsKeepLevelsAndPassesApart) {
    xmlOutput = false;
    Samples set;
    set.GroupLevel = true;
    set.print_computation_anchor(2, s(), my_string("AMOVA"), my_string("AMOVA table"));
    set.GroupLevel = false;
    set.print_computation_anchor(0, s(), my_string("AMOVA"), my_string("AMOVA table"));
    set.print_computation_anchor(1, s(), my_string("a b"), my_string("Two words"));
    EXPECT_EQ(written(),
              "<A NAME=\"05_12_26at14_39_48_gr_comp_sum_AMOVA\"></A>\n"
              "<A NAME=\"05_12_26at14_39_48_comp_sum_AMOVA\"></A>\n"
              "<A NAME=\"05_12_26at14_39_48_comp_sum_a b\"></A>\n");
    EXPECT_EQ(slurp(dir / "proj one.js"),
              "\t\tinsDoc(aux2, gLnk(\"R\", \"AMOVA table\", "
              "\"proj%20one.xml#05_12_26at14_39_48_gr_comp_sum_AMOVA\"))\n"
              "insDoc(foldersTree, gLnk(\"R\", \"AMOVA table\", "
              "\"proj%20one.xml#05_12_26at14_39_48_comp_sum_AMOVA\"))\n"
              "\tinsDoc(aux1, gLnk(\"R\", \"Two words\", \"proj%20one.xml#05_12_26at14_39_48_comp_sum_a%20b\"))\n");
}

TEST(ResultNames, BuildersFollowTheProjectPathAndRemovePathCutsIt) {
    struct Case {
        char const* project;
        char const* main;
        char const* log;
    };
    for (Case const c : {Case{"/data/pop1.pmp", "/data/pop1.res/pop1_main.htm", "/data/pop1.res/Pellomar_log.txt"},
                         Case{"pop1.pmp", "pop1.res/pop1_main.htm", "pop1.res/Pellomar_log.txt"},
                         Case{"C:\\d\\x.pmp", "C:\\d\\x.res/x_main.htm", "C:\\d\\x.res/Pellomar_log.txt"}}) {
        EXPECT_STREQ(buildPellomarResultFileName(my_string(c.project)).c_str(), c.main);
        EXPECT_STREQ(buildPellomarLogFileName(my_string(c.project)).c_str(), c.log);
    }
    // removePath leaves a name whose only '/' leads it.
    for (auto const& [before, after] : {std::pair{"/a/b/c.htm", "c.htm"}, std::pair{"/c.htm", "/c.htm"},
                                        std::pair{"c.htm", "c.htm"}}) {
        my_string name(before);
        removePath(name);
        EXPECT_STREQ(name.c_str(), after);
    }
}

}  // namespace
}  // namespace quintle
