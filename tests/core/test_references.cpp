#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "core/References.h"
#include "core/xml.h"

namespace quintle {
namespace {

// Genetics 123: 585-595 (1989), the neutrality test of the D statistic.
const std::string kTajimaText =
    "1989. Statistical method for testing the neutral mutation hypothesis by DNA polymorphism. "
    "Genetics 123: 585-595.";

TEST(References, LookupIsExactAndCaseSensitive) {
    EXPECT_EQ(std::string(References::get_reference("Tajima_D_1989").c_str()), kTajimaText);
    for (const char* key : {"tajima_D_1989", "Tajima_D", "Tajima_D_1989 ", ""})
        EXPECT_TRUE(References::get_reference(key).is_null()) << key;
}

TEST(References, HtmlAndXmlForms) {
    const bool saved = xmlOutput;
    const std::string theta = References::get_reference("ThetaS_1975").c_str();
    std::ostringstream html, list, single, unknown;
    xmlOutput = false;
    References(html, "Tajima_D_1989", 2);
    References(html, "Tajima_D_1989");
    References(unknown, "unknown");
    xmlOutput = true;
    // A list closes the data block once before its first item, reopens it after its last.
    References(list, "Tajima_D_1989", 0);
    References(list, "ThetaS_1975", 1);
    References(list, "Tajima_D_1989", 2);
    References(list, "Tajima_D_1989", 3);
    References(single, "Tajima_D_1989");
    xmlOutput = saved;
    EXPECT_EQ(html.str(), "           <i>" + kTajimaText + "</i>\nReference: <i>" + kTajimaText + "</i>\n");
    EXPECT_EQ(unknown.str(), "Reference: <i></i>\n");
    EXPECT_EQ(list.str(), "</data>\n<Reference>" + kTajimaText + "</Reference>\n<Reference>" + theta +
                              "</Reference>\n<Reference>" + kTajimaText + "</Reference>\n<data>\n");
    EXPECT_EQ(single.str(), "Reference: </data>\n<Reference>" + kTajimaText + "</Reference>\n<data>\n");
}

}  // namespace
}  // namespace quintle
