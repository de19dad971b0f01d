// The AMOVA result record and the anchors of AMOVA sub-sections.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

#include "amova/Amova.h"
#include "amova/amova_results.h"
#include "core/xml.h"
#include "run/settings.h"

namespace quintle {
namespace {

namespace fs = std::filesystem;

std::vector<double> values(MY_TArrayAsVector<double> const& list) {
    return {list.data, list.data + list.count};
}

// Each argument lands in its own field; the scalars are replaced and the
// per-sample lists appended to (a count below 1 adds nothing).
TEST(AmovaResults, StoresScalarsAndAppendsPerPopulationValues) {
    amova_results r;
    r.locus = 4;
    double const fst[] = {0.1, 0.2, 0.3};
    double const fis[] = {-0.5, 0.5};
    r.set_amova_results(1, 2.5, 0.25, 2, 3.5, 0.35, 3, 4.5, 0.45, 4, 5.5, 0.55, 9, 16.0, 1.6, 0.61, 0.62, 0.63, 0.64,
                        0.65, 0.01, 0.02, 0.03, 0.04, 0.05, fst, nullptr, nullptr, 3);
    for (int count : {2, 0})
        r.set_amova_results(11, 12.0, 13.0, 14, 15.0, 16.0, 17, 18.0, 19.0, 20, 21.0, 22.0, 23, 24.0, 25.0, 26.0,
                            27.0, 28.0, 29.0, 30.0, 31.0, 32.0, 33.0, 34.0, 35.0, fst + 1, fis, fis, count);
    EXPECT_EQ(r.type, 0);  // until the engine sets it
    EXPECT_EQ(r.locus, 4);
    EXPECT_EQ(values(r.pop_FST), (std::vector<double>{0.1, 0.2, 0.3, 0.2, 0.3}));
    EXPECT_EQ(values(r.pop_FIS), (std::vector<double>{-0.5, 0.5}));
    EXPECT_EQ(values(r.pop_spare), (std::vector<double>{-0.5, 0.5}));
    int const ints[] = {r.df1, r.df2, r.df3, r.df4, r.df_total};
    EXPECT_EQ(std::vector<int>(std::begin(ints), std::end(ints)), (std::vector<int>{11, 14, 17, 20, 23}));
    double const doubles[] = {r.SS1, r.V1, r.SS2, r.V2, r.SS3, r.V3, r.SS4, r.V4, r.SST, r.VT,
                              r.FST, r.FSC, r.FCT, r.FIT, r.FIS, r.P_FST, r.P_FSC, r.P_FCT, r.P_FIT, r.P_FIS};
    double const want[] = {12, 13, 15, 16, 18, 19, 21, 22, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35};
    EXPECT_EQ(std::vector<double>(std::begin(doubles), std::end(doubles)),
              std::vector<double>(std::begin(want), std::end(want)));
}

class AnchorTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("quintle_amova_anchor_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
        result_.open(dir_ / "res.htm", std::ios::out | std::ios::trunc);
        s.ResultFile = &result_;
        s.ResultFileName = (dir_ / "res.htm").string().c_str();
        s.MenuScriptFileName = (dir_ / "menu.js").string().c_str();
        saved_ = xmlOutput;
    }
    void TearDown() override {
        xmlOutput = saved_;
        result_.close();
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    std::string read(char const* name) {
        result_.flush();
        std::ifstream in(dir_ / name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    settings s;
    fs::path dir_;

private:
    std::fstream result_;
    bool saved_ = false;
};

TEST_F(AnchorTest, CleansThePrefixAndAddsAMenuEntry) {
    xmlOutput = false;
    s.AnchorPrefix = " run 1\t12/05/24 10:30:00 C:\\x";
    Amova::print_amova_anchor(2, s, my_string("POP_AMOVA_FIS"), my_string("FIS per pop"));
    std::string const anchor = "run112_05_2410_30_00C__x_amova_POP_AMOVA_FIS";
    EXPECT_EQ(read("res.htm"), "<A NAME=\"" + anchor + "\"></A>\n");
    std::string const menu = read("menu.js");
    EXPECT_NE(menu.find("FIS per pop"), std::string::npos) << menu;
    EXPECT_NE(menu.find("res.htm#" + anchor), std::string::npos) << menu;
    EXPECT_EQ(menu.find(dir_.string()), std::string::npos);  // the link carries no directory
    EXPECT_NE(menu.find("insDoc(aux2, "), std::string::npos);  // a document at level 2

    // XML form; without a menu script the anchor is still written.
    xmlOutput = true;
    s.MenuScriptFileName = (dir_ / "absent" / "menu.js").string().c_str();
    s.AnchorPrefix = "";
    Amova::print_amova_anchor(2, s, my_string("GR_AMOVA_FIS"), my_string("FIS per group"));
    EXPECT_NE(read("res.htm").find("</data>\n\n <A NAME=\"_amova_GR_AMOVA_FIS\"></A> \n<data>\n\n"), std::string::npos);
    EXPECT_EQ(read("menu.js").find("FIS per group"), std::string::npos);
}

}  // namespace
}  // namespace quintle
