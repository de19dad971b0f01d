#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>

#include <unistd.h>

#include "core/References.h"
#include "scratch.h"
#include "core/xml.h"

namespace quintle {
namespace {

// Keys the analysis writers cite; each must be in the table.
const char* const kCitedKeys[] = {
    "GeneDiversity_1987", "SmallSampleHet_1978", "M_ratio_2001", "PairwiseDiff_1983",
    "NucleotideDiversity_1981", "RestrictionSites_1979", "ThetaS_1975", "NeutralAlleles_1972",
    "ThetaHom_1964", "SMM_1973", "Mismatch_waves_1992", "Mismatch_expansion_1995",
    "Mismatch_raggedness_1994", "Mismatch_rates_1999", "Mismatch_stable_1977", "Mismatch_growth_1991",
    "SpatialExpansion_2003", "SpatialExpansion_2004", "Bootstrap_1979", "Coalescent_1990",
    "EM_algorithm_1977", "EM_haplotypes_1995", "EM_multilocus_1995", "Vosk_Ref",
    "GibbsPhasing_2001", "BayesPhasing_2002", "LD_EM_test_1996", "LD_growth_1994",
    "LD_measure_1964", "LD_dynamics_1960", "LD_estimation_1974", "LD_finite_1968",
    "HW_exact_1992", "HW_matching_1949", "Tajima_D_1989", "Fs_test_1997",
    "NeutralityTests_1993", "HomozygosityTest_1978", "Heterosis_1977", "AlleleNumberTest_1990",
    "AlleleNumberTest_1991", "SubstDistance_1969", "TransitionDistance_1980", "BaseFreqDistance_1984",
    "GCContentDistance_1992", "TwoTransitionDistance_1993", "GammaDistance_1990",
    "AlleleSizeDistance_1996", "RST_1995", "DeltaMu2_1995", "DeltaMu2_dating_1995", "AMOVA_1992",
    "FStat_1984", "GeneticDataAnalysis_1996", "GeneFreqVariance_1969", "GeneFreqAnalysis_1973",
    "FStat_1951", "GST_1973", "FixationIndices_1983", "GeneticDistance_1972", "Coancestry_1983",
    "LinearizedFST_1991", "UnequalSizes_2000", "GeneFlow_1992", "ExactDiff_1995",
    "ExactDiffDiploid_1996", "Assignment_1995", "Assignment_1997", "SelectionScan_1996",
    "SelectionScanHier_2009", "MatrixCorrelation_1967", "MST_1956", "MST_1957", "MSN_1994",
};

// Genetics 123: 585-595 (1989), the neutrality test of the D statistic.
const std::string kTajimaText =
    "1989. Statistical method for testing the neutral mutation hypothesis by DNA polymorphism. "
    "Genetics 123: 585-595.";

class ReferencesTest : public ::testing::Test {
protected:
    void SetUp() override { saved_ = xmlOutput; }
    void TearDown() override { xmlOutput = saved_; }

private:
    bool saved_ = true;
};

std::string cite(my_string const& key, int part) {
    std::ostringstream out;
    References(out, key, part);
    return out.str();
}

std::string cite(my_string const& key) {
    std::ostringstream out;
    References(out, key);
    return out.str();
}

TEST_F(ReferencesTest, LookupIsExactAndCaseSensitive) {
    EXPECT_EQ(std::string(References::get_reference("Tajima_D_1989").c_str()), kTajimaText);
    EXPECT_TRUE(References::get_reference("tajima_D_1989").is_null());
    EXPECT_TRUE(References::get_reference("TAJIMA_D_1989").is_null());
    EXPECT_TRUE(References::get_reference("Tajima_D").is_null());
    EXPECT_TRUE(References::get_reference("Tajima_D_1989 ").is_null());
    EXPECT_TRUE(References::get_reference("").is_null());
    EXPECT_TRUE(References::get_reference("NoSuchKey_2000").is_null());
}

TEST_F(ReferencesTest, EveryCitedKeyHasAWellFormedText) {
    std::set<std::string> texts;
    for (const char* key : kCitedKeys) {
        SCOPED_TRACE(key);
        const std::string text = References::get_reference(key).c_str();
        ASSERT_GE(text.size(), 10u);
        // Year first, then the title and source, ending with a period.
        EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(text[0])) && text.compare(4, 2, ". ") == 0);
        EXPECT_EQ(text.back(), '.');
        // A key's year suffix is the year of its text.
        const std::string k = key;
        if (std::isdigit(static_cast<unsigned char>(k.back()))) {
            EXPECT_EQ(k.substr(k.size() - 4), text.substr(0, 4));
        }
        // Plain text: nothing that would need escaping in the result file.
        EXPECT_EQ(text.find_first_of("<>&\"\n"), std::string::npos);
        EXPECT_TRUE(texts.insert(text).second) << "text used twice";
    }
}

TEST_F(ReferencesTest, HtmlListItemIgnoresThePart) {
    xmlOutput = false;
    const std::string expected = "           <i>" + kTajimaText + "</i>\n";
    for (int part : {0, 1, 2, 3, -1}) EXPECT_EQ(cite("Tajima_D_1989", part), expected) << part;
}

TEST_F(ReferencesTest, XmlListClosesDataOnceBeforeAndReopensOnceAfter) {
    xmlOutput = true;
    std::ostringstream out;
    References(out, "Tajima_D_1989", 0);
    References(out, "ThetaS_1975", 2);
    const std::string theta = References::get_reference("ThetaS_1975").c_str();
    EXPECT_EQ(out.str(), "</data>\n<Reference>" + kTajimaText + "</Reference>\n<Reference>" + theta +
                             "</Reference>\n<data>\n");
}

TEST_F(ReferencesTest, XmlMiddleItemAndOtherParts) {
    xmlOutput = true;
    EXPECT_EQ(cite("Tajima_D_1989", 1), "<Reference>" + kTajimaText + "</Reference>\n");
    EXPECT_EQ(cite("Tajima_D_1989", 3), "");
    EXPECT_EQ(cite("Tajima_D_1989", -1), "");
}

TEST_F(ReferencesTest, SingleCitationForms) {
    xmlOutput = true;
    EXPECT_EQ(cite("Tajima_D_1989"), "Reference: </data>\n<Reference>" + kTajimaText + "</Reference>\n<data>\n");
    xmlOutput = false;
    EXPECT_EQ(cite("Tajima_D_1989"), "Reference: <i>" + kTajimaText + "</i>\n");
}

TEST_F(ReferencesTest, UnknownKeyKeepsTheFormattingWithAnEmptyText) {
    xmlOutput = false;
    EXPECT_EQ(cite("unknown"), "Reference: <i></i>\n");
    EXPECT_EQ(cite("unknown", 1), "           <i></i>\n");
    xmlOutput = true;
    EXPECT_EQ(cite("unknown"), "Reference: </data>\n<Reference></Reference>\n<data>\n");
}

TEST_F(ReferencesTest, WritesToAResultFileStream) {
    xmlOutput = false;
    scratch::Dir dir("quintle_refs");
    {
        std::fstream f(dir / "r.htm", std::ios::out | std::ios::trunc);
        ASSERT_TRUE(f.is_open());
        References(f, "Vosk_Ref");
    }
    EXPECT_EQ(scratch::read_file(dir / "r.htm"),
              std::string("Reference: <i>") + References::get_reference("Vosk_Ref").c_str() + "</i>\n");
}

}  // namespace
}  // namespace quintle
