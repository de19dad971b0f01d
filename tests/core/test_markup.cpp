#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "core/TJSOut.h"
#include "core/markup_escape.h"
#include "core/xml.h"
#include "run/settings.h"
#include "scratch.h"
#include "support/process_state.h"

namespace quintle {
namespace {

std::string text(my_string const& s) { return s.c_str(); }

// A fixed tag as another unit sees it from its own static initialisation.
const std::string static_root_tag = PmlXmlTags::rootTag.write().c_str();

TEST(Markup, TagsAnchorsAndHeaderEscapeTheirTexts) {
    EXPECT_EQ(static_root_tag, "<Pellomar>\n");
    test::Saved<my_string> time(TXmlTag::time, my_string("05/12/26 at \"14\""));
    TXmlTag tag("absHapFreq");
    tag.attributeValue = "a\"b<c>&d'e\nf";
    EXPECT_EQ(text(tag.open()), "</data> <absHapFreq time=\"05/12/26 at &quot;14&quot;\">\n");  // no name: left out
    tag.attributeName = "pop";
    EXPECT_EQ(text(tag.open()), "</data> <absHapFreq pop=\"a&quot;b&lt;c&gt;&amp;d&#39;e&#10;f\" "
                                "time=\"05/12/26 at &quot;14&quot;\">\n");
    EXPECT_EQ(text(tag.close()), "</absHapFreq> <data>\n");

    std::ostringstream out;
    out << THeader{"<b>A & B</b>"} << xml_anchor{"_amova"} << html_anchor{"x\"><script>"};
    EXPECT_EQ(out.str(),
              "\n</data>\n\n<header>\n&lt;b&gt;A &amp; B&lt;/b&gt;\n</header>\n<data>\n\n"
              "</data>\n\n <A NAME=\"_amova\"></A> \n<data>\n\n"
              "<A NAME=\"x&quot;&gt;&lt;script&gt;\"></A>\n");
}

TEST(Markup, MenuScriptLines) {
    std::ostringstream out;
    TJSOut js(&out);
    js.foldersTree(my_string("C:\\Program Files\\bin\\"), my_string("ignored"),
                   my_string("PELLOMAR RESULTS (my data.pmp)"), my_string("a b.htm"));
    js.aux(1, my_string("Run of 05/12/26"), my_string(""));
    js.doc(2, my_string("Pop 1 - A_b.c"), my_string("my results.htm#_pop 1"));
    // A hostile name stays inside its string, its markup written as entities.
    js.doc(0, my_string("x\"); alert('1'); (\"\\</script>&\nend"), my_string("a\"b'<c>.htm#x"));
    EXPECT_EQ(out.str(),
              "\nUSETEXTLINKS = 1\nSTARTALLOPEN = 0\nWRAPTEXT = 1\nPRESERVESTATE = 0\nHIGHLIGHT = 1"
              "\nICONPATH = 'file:///C:/Program%20Files/bin/'    //change if the gif's folder is a "
              "subfolder, for example: 'images/'\n\n"
              "foldersTree = gFld(\"<i>PELLOMAR RESULTS (my data.pmp)</i>\", \"a%20b.htm\")\n"
              "\taux1 = insFld(foldersTree, gFld(\"Run of 05/12/26\", \"\"))\n"
              "\t\tinsDoc(aux2, gLnk(\"R\", \"Pop 1 - A_b.c\", \"my%20results.htm#_pop%201\"))\n"
              "insDoc(foldersTree, gLnk(\"R\", \"x&quot;); alert('1'); (&quot;\\\\&lt;/script&gt;&amp;\\nend\", "
              "\"a%22b%27%3Cc%3E.htm#x\"))\n");
    EXPECT_EQ(js_string_escape("it's\x01\xE2\x80\xA8", '\''), "it\\'s\\x01\\u2028");
}

TEST(Markup, EntryWritersAnchorTheResultAndLinkTheMenu) {
    const bool saved_xml = xmlOutput;
    scratch::Dir dir("quintle_markup");
    settings s;
    std::fstream result(dir / "result.htm", std::ios::out | std::ios::trunc);
    s.ResultFile = &result;
    s.ResultFileName = "C:\\some dir\\my result.htm";
    s.MenuScriptFileName = (dir / "result.js").string().c_str();
    s.AnchorPrefix = "05/12/26 at\t14:39:48\\x";  // loses blanks and separators
    xmlOutput = false;
    print_js_doc_entry(s, 2, "_amova", "AMOVA");
    xmlOutput = true;
    print_js_aux_entry(s, 1, "_\"<x>", "T\"</script>");
    s.MenuScriptFileName = (dir / "missing" / "result.js").string().c_str();
    print_js_doc_entry(s, 0, "_k", "K");  // the anchor is written all the same
    xmlOutput = saved_xml;
    result.close();
    EXPECT_EQ(scratch::read_file(dir / "result.htm"),
              "<A NAME=\"05_12_26at14_39_48_x_amova\"></A>\n"
              "</data>\n\n <A NAME=\"05_12_26at14_39_48_x_&quot;&lt;x&gt;\"></A> \n<data>\n\n"
              "</data>\n\n <A NAME=\"05_12_26at14_39_48_x_k\"></A> \n<data>\n\n");
    EXPECT_EQ(scratch::read_file(dir / "result.js"),
              "\t\tinsDoc(aux2, gLnk(\"R\", \"AMOVA\", \"my%20result.htm#05_12_26at14_39_48_x_amova\"))\n"
              "\taux1 = insFld(foldersTree, gFld(\"T&quot;&lt;/script&gt;\", "
              "\"my%20result.htm#05_12_26at14_39_48_x_%22%3Cx%3E\"))\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "missing"));
}

}  // namespace
}  // namespace quintle
