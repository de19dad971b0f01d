#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include <unistd.h>

#include "core/Errors.h"
#include "core/TJSOut.h"
#include "core/markup_escape.h"
#include "core/xml.h"
#include "run/settings.h"

namespace quintle {
namespace {

namespace fs = std::filesystem;

// The fixed tags as another unit sees them from its own static
// initialisation, before main and before any run sets the time.
struct StaticTagsProbe {
    std::string root_write;
    std::string data_end;
    std::string first_open;
    StaticTagsProbe() {
        root_write = PmlXmlTags::rootTag.write().c_str();
        data_end = PmlXmlTags::dataTag.end().c_str();
        first_open = TXmlTag("pop_sizes").open().c_str();
    }
};
StaticTagsProbe static_probe;

// Keeps the process-wide switches of the markup as each test found them.
class MarkupTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_xml_ = xmlOutput;
        saved_time_ = TXmlTag::time;
    }
    void TearDown() override {
        xmlOutput = saved_xml_;
        TXmlTag::time = saved_time_;
    }

private:
    bool saved_xml_ = true;
    my_string saved_time_;
};

std::string text(my_string const& s) { return s.c_str(); }

// A separate reading of a script string literal: starting just after its
// opening quote, returns the decoded text and where the literal ends, so a
// test can check that a hostile name neither ends the literal early nor
// changes on its way through the escaping.
struct JsLiteral {
    std::string value;
    std::size_t end = std::string::npos;  // position of the closing quote
};

JsLiteral read_js_literal(std::string const& line, std::size_t start, char quote) {
    JsLiteral lit;
    for (std::size_t i = start; i < line.size(); ++i) {
        char c = line[i];
        if (c == '\n' || c == '\r') return lit;  // a raw line end is a syntax error
        if (c == quote) {
            lit.end = i;
            return lit;
        }
        if (c != '\\') {
            lit.value += c;
            continue;
        }
        if (++i >= line.size()) return lit;
        c = line[i];
        switch (c) {
            case 'n': lit.value += '\n'; break;
            case 'r': lit.value += '\r'; break;
            case 'x':
                lit.value += static_cast<char>(std::stoi(line.substr(i + 1, 2), nullptr, 16));
                i += 2;
                break;
            default: lit.value += c;  // \\, \" and \'
        }
    }
    return lit;
}

// ---------------------------------------------------------------- TXmlTag

TEST_F(MarkupTest, TagsExistDuringStaticInitialisationWithTheDefaultTime) {
    EXPECT_EQ(static_probe.root_write, "<Pellomar>\n");
    EXPECT_EQ(static_probe.data_end, "</data>\n");
    EXPECT_EQ(static_probe.first_open, "</data> <pop_sizes time=\"not set yet\">\n");
}

TEST_F(MarkupTest, FixedAndPlainTagTexts) {
    EXPECT_EQ(text(PmlXmlTags::rootTag.write()), "<Pellomar>\n");
    EXPECT_EQ(text(PmlXmlTags::rootTag.end()), "</Pellomar>\n");
    EXPECT_EQ(text(PmlXmlTags::refTag.write()), "<reference>\n");
    EXPECT_EQ(text(PmlXmlTags::dataTag.write()), "<data>\n");
    EXPECT_EQ(text(PmlXmlTags::headerTag.end()), "</header>\n");
    TXmlTag tag("hapDistMatrix");
    EXPECT_EQ(text(tag.close()), "</hapDistMatrix> <data>\n");
    EXPECT_EQ(text(tag.write()), "<hapDistMatrix>\n");
    EXPECT_EQ(text(tag.end()), "</hapDistMatrix>\n");
}

TEST_F(MarkupTest, OpenLeavesOutAnIncompleteAttribute) {
    TXmlTag::time = "t1";
    TXmlTag tag("pop_sizes");
    EXPECT_EQ(text(tag.open()), "</data> <pop_sizes time=\"t1\">\n");

    tag.attributeName = "pop";
    EXPECT_EQ(text(tag.open()), "</data> <pop_sizes time=\"t1\">\n");

    tag.attributeName = "";
    tag.attributeValue = "Sample 1";
    EXPECT_EQ(text(tag.open()), "</data> <pop_sizes time=\"t1\">\n");

    tag.attributeName = "pop";
    EXPECT_EQ(text(tag.open()), "</data> <pop_sizes pop=\"Sample 1\" time=\"t1\">\n");
}

TEST_F(MarkupTest, OpenEndsAtALineEndInTheName) {
    TXmlTag::time = "t1";
    TXmlTag tag("first\nsecond");
    EXPECT_EQ(text(tag.open()), "</data> <first\n");
}

TEST_F(MarkupTest, OpenEscapesAttributeValueAndTime) {
    TXmlTag::time = "05/12/26 at \"14\"";
    TXmlTag tag("absHapFreq");
    tag.attributeName = "pop";
    tag.attributeValue = "a\"b<c>&d'e\nf";
    EXPECT_EQ(text(tag.open()),
              "</data> <absHapFreq pop=\"a&quot;b&lt;c&gt;&amp;d&#39;e&#10;f\" "
              "time=\"05/12/26 at &quot;14&quot;\">\n");
}

// -------------------------------------------------- header and anchors

TEST_F(MarkupTest, HeaderBlockAndAnchorsEscapeTheirTexts) {
    std::ostringstream out;
    out << "text" << THeader{"<b>A & B</b>"};
    EXPECT_EQ(out.str(), "text\n</data>\n\n<header>\n&lt;b&gt;A &amp; B&lt;/b&gt;\n</header>\n<data>\n\n");

    std::ostringstream xml;
    xml << xml_anchor{"_amova"};
    EXPECT_EQ(xml.str(), "</data>\n\n <A NAME=\"_amova\"></A> \n<data>\n\n");
    std::ostringstream html;
    html << html_anchor{"_amova"} << html_anchor{"x\"><script>"};
    EXPECT_EQ(html.str(), "<A NAME=\"_amova\"></A>\n<A NAME=\"x&quot;&gt;&lt;script&gt;\"></A>\n");
}

// ------------------------------------------------------------ TJSOut

TEST_F(MarkupTest, FoldersTreeHead) {
    std::ostringstream out;
    TJSOut js(&out);
    js.foldersTree(my_string("C:\\Program Files\\bin\\"), my_string("ignored"),
                   my_string("PELLOMAR RESULTS (my data.pmp)"), my_string("a b.htm"));
    EXPECT_EQ(out.str(),
              "\nUSETEXTLINKS = 1"
              "\nSTARTALLOPEN = 0"
              "\nWRAPTEXT = 1"
              "\nPRESERVESTATE = 0"
              "\nHIGHLIGHT = 1"
              "\nICONPATH = 'file:///C:/Program%20Files/bin/'    //change if the gif's folder is a "
              "subfolder, for example: 'images/'\n"
              "\n"
              "foldersTree = gFld(\"<i>PELLOMAR RESULTS (my data.pmp)</i>\", \"a%20b.htm\")\n");
}

TEST_F(MarkupTest, FolderAndDocumentLinesHangUnderTheirParent) {
    // Link blanks become %20, name blanks stay.
    std::ostringstream out;
    TJSOut js(&out);
    js.aux(1, my_string("Run of 05/12/26"), my_string(""));
    js.aux(2, my_string("Samples"), my_string("res.htm#_x"));
    js.doc(0, my_string("Pellomar log file"), my_string("Pellomar_log.txt"));
    js.doc(2, my_string("Pop 1 - A_b.c"), my_string("my results.htm#_pop 1"));
    EXPECT_EQ(out.str(),
              "\taux1 = insFld(foldersTree, gFld(\"Run of 05/12/26\", \"\"))\n"
              "\t\taux2 = insFld(aux1, gFld(\"Samples\", \"res.htm#_x\"))\n"
              "insDoc(foldersTree, gLnk(\"R\", \"Pellomar log file\", \"Pellomar_log.txt\"))\n"
              "\t\tinsDoc(aux2, gLnk(\"R\", \"Pop 1 - A_b.c\", \"my%20results.htm#_pop%201\"))\n");
}

TEST_F(MarkupTest, HostileMenuNameStaysInsideItsString) {
    const std::string hostile = "x\"); alert('1'); (\"\\</script><script>&\nend";
    std::ostringstream out;
    TJSOut js(&out);
    js.doc(0, my_string(hostile.c_str()), my_string("r.htm#a"));
    const std::string line = out.str();

    // One line, no raw markup.
    ASSERT_EQ(line.find('\n'), line.size() - 1);
    EXPECT_EQ(line.find('<'), std::string::npos);

    const std::string lead = "insDoc(foldersTree, gLnk(\"R\", \"";
    ASSERT_EQ(line.rfind(lead, 0), 0u);
    const JsLiteral name = read_js_literal(line, lead.size(), '"');
    ASSERT_NE(name.end, std::string::npos);
    // The tree page shows the name as HTML: the decoded text is the name
    // with its markup characters written as entities.
    EXPECT_EQ(name.value,
              "x&quot;); alert('1'); (&quot;\\&lt;/script&gt;&lt;script&gt;&amp;\nend");
    EXPECT_EQ(line.substr(name.end), "\", \"r.htm#a\"))\n");
}

TEST_F(MarkupTest, HostileLinkAndIconAreEscaped) {
    std::ostringstream out;
    TJSOut js(&out);
    js.aux(1, my_string("n"), my_string("a\"b'<c>\\d.htm#x"));
    const std::string line = out.str();
    const std::string lead = "\taux1 = insFld(foldersTree, gFld(\"n\", \"";
    ASSERT_EQ(line.rfind(lead, 0), 0u);
    const JsLiteral link = read_js_literal(line, lead.size(), '"');
    ASSERT_NE(link.end, std::string::npos);
    EXPECT_EQ(link.value, "a%22b%27%3Cc%3E\\d.htm#x");
    EXPECT_EQ(line.substr(link.end), "\"))\n");

    std::ostringstream head;
    TJSOut tree(&head);
    tree.foldersTree(my_string("it's\n"), my_string(""), my_string("t"), my_string(""));
    const std::string text = head.str();
    const std::string icon_lead = "ICONPATH = 'file:///";
    const std::size_t at = text.find(icon_lead);
    ASSERT_NE(at, std::string::npos);
    const JsLiteral icon = read_js_literal(text, at + icon_lead.size(), '\'');
    ASSERT_NE(icon.end, std::string::npos);
    EXPECT_EQ(icon.value, "it's\n");
}

TEST(MarkupEscape, OrdinaryTextPassesUnchanged) {
    const std::string plain = "Sample 12_b-3.x C:/dir/f";
    EXPECT_EQ(xml_escape(plain), plain);
    EXPECT_EQ(xml_attribute_escape(plain), plain);
    EXPECT_EQ(js_string_escape(plain, '"'), plain);
    EXPECT_EQ(js_string_escape(plain, '\''), plain);
}

TEST(MarkupEscape, ScriptEscapes) {
    EXPECT_EQ(js_string_escape("a\\b\"c'd<e\nf\rg\x01h", '"'), "a\\\\b\\\"c'd\\x3Ce\\nf\\rg\\x01h");
    EXPECT_EQ(js_string_escape("it's \"x\"", '\''), "it\\'s \"x\"");
    // U+2028 (UTF-8 E2 80 A8) ends a line in some script engines.
    EXPECT_EQ(js_string_escape("a\xE2\x80\xA8" "b", '"'), "a\\u2028b");
}

// ------------------------------------------------------- entry writers

class EntryWriterTest : public MarkupTest {
protected:
    void SetUp() override {
        MarkupTest::SetUp();
        static std::atomic<int> counter{0};
        dir_ = fs::temp_directory_path() /
               ("quintle_markup_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
        fs::create_directories(dir_);
        result_path_ = dir_ / "result.htm";
        result_.open(result_path_, std::ios::out | std::ios::trunc);
        s_.ResultFile = &result_;
        s_.ResultFileName = (dir_ / "result.htm").string().c_str();
        s_.MenuScriptFileName = (dir_ / "result.js").string().c_str();
        s_.AnchorPrefix = "";
    }
    void TearDown() override {
        if (result_.is_open()) result_.close();
        std::error_code ec;
        fs::remove_all(dir_, ec);
        MarkupTest::TearDown();
    }

    std::string result_text() {
        result_.flush();
        return slurp(result_path_);
    }
    std::string script_text() { return slurp(dir_ / "result.js"); }

    static std::string slurp(fs::path const& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    fs::path dir_;
    fs::path result_path_;
    std::fstream result_;
    settings s_;
};

TEST_F(EntryWriterTest, DocumentEntryInHtml) {
    xmlOutput = false;
    print_js_doc_entry(s_, 2, "_amova", "AMOVA");
    EXPECT_EQ(result_text(), "<A NAME=\"_amova\"></A>\n");
    EXPECT_EQ(script_text(), "\t\tinsDoc(aux2, gLnk(\"R\", \"AMOVA\", \"result.htm#_amova\"))\n");
}

TEST_F(EntryWriterTest, FolderEntryInXml) {
    xmlOutput = true;
    print_js_aux_entry(s_, 1, "_run", "Run of today");
    EXPECT_EQ(result_text(), "</data>\n\n <A NAME=\"_run\"></A> \n<data>\n\n");
    EXPECT_EQ(script_text(), "\taux1 = insFld(foldersTree, gFld(\"Run of today\", \"result.htm#_run\"))\n");
}

TEST_F(EntryWriterTest, EntriesAccumulateInCallOrder) {
    xmlOutput = false;
    print_js_aux_entry(s_, 1, "", "Run");
    print_js_doc_entry(s_, 1, "_run_information", "Settings");
    EXPECT_EQ(script_text(),
              "\taux1 = insFld(foldersTree, gFld(\"Run\", \"result.htm#\"))\n"
              "\tinsDoc(aux1, gLnk(\"R\", \"Settings\", \"result.htm#_run_information\"))\n");
    EXPECT_EQ(result_text(), "<A NAME=\"\"></A>\n<A NAME=\"_run_information\"></A>\n");
}

TEST_F(EntryWriterTest, PrefixLosesBlanksAndSeparators) {
    xmlOutput = false;
    s_.AnchorPrefix = "05/12/26 at\t14:39:48\\x";
    print_js_doc_entry(s_, 0, "_amova", "AMOVA");
    EXPECT_EQ(result_text(), "<A NAME=\"05_12_26at14_39_48_x_amova\"></A>\n");
    EXPECT_EQ(script_text(),
              "insDoc(foldersTree, gLnk(\"R\", \"AMOVA\", \"result.htm#05_12_26at14_39_48_x_amova\"))\n");
}

TEST_F(EntryWriterTest, ReadyMadeAnchorIsTakenAsItIs) {
    xmlOutput = false;
    s_.AnchorPrefix = "ignored";
    const my_string anchor = anchor_name("01/02/26 at 03:04:05", "_k") + "/x y";
    EXPECT_STREQ(anchor.c_str(), "01_02_26at03_04_05_k/x y");
    print_js_doc_anchor(s_, 1, anchor, "K");
    EXPECT_EQ(result_text(), "<A NAME=\"01_02_26at03_04_05_k/x y\"></A>\n");
    EXPECT_EQ(script_text(), "\tinsDoc(aux1, gLnk(\"R\", \"K\", \"result.htm#01_02_26at03_04_05_k/x%20y\"))\n");
}

TEST_F(EntryWriterTest, LinkUsesTheResultFileNameWithoutFolderAndBlanksAsPercent20) {
    xmlOutput = false;
    s_.ResultFileName = "C:\\some dir\\my result.htm";
    print_js_doc_entry(s_, 0, "_x", "X");
    EXPECT_EQ(script_text(), "insDoc(foldersTree, gLnk(\"R\", \"X\", \"my%20result.htm#_x\"))\n");
}

TEST_F(EntryWriterTest, AnchorIsWrittenWhenTheScriptCannotBeOpened) {
    xmlOutput = false;
    s_.MenuScriptFileName = (dir_ / "missing" / "result.js").string().c_str();
    print_js_doc_entry(s_, 2, "_amova", "AMOVA");
    EXPECT_EQ(result_text(), "<A NAME=\"_amova\"></A>\n");
    EXPECT_FALSE(fs::exists(dir_ / "missing"));
}

TEST_F(EntryWriterTest, NoResultStreamStillWritesTheMenuLine) {
    xmlOutput = false;
    s_.ResultFile = nullptr;
    print_js_doc_entry(s_, 0, "_a", "A");
    EXPECT_EQ(script_text(), "insDoc(foldersTree, gLnk(\"R\", \"A\", \"result.htm#_a\"))\n");
}

TEST_F(EntryWriterTest, HostileTitleAndSuffixAreEscaped) {
    xmlOutput = true;
    print_js_doc_entry(s_, 0, "_\"<x>", "T\"</script>");
    EXPECT_EQ(result_text(), "</data>\n\n <A NAME=\"_&quot;&lt;x&gt;\"></A> \n<data>\n\n");
    EXPECT_EQ(script_text(),
              "insDoc(foldersTree, gLnk(\"R\", \"T&quot;&lt;/script&gt;\", \"result.htm#_%22%3Cx%3E\"))\n");
}

TEST_F(EntryWriterTest, LogEntryLinksToTheLogFile) {
    const fs::path log = dir_ / "Pellomar_log.txt";
    E.init_log_file(my_string(log.string().c_str()), false);
    E.CloseLog_file();
    print_js_pellomar_log_entry(s_);
    EXPECT_EQ(script_text(), "insDoc(foldersTree, gLnk(\"R\", \"Pellomar log file\", \"Pellomar_log.txt\"))\n");
    EXPECT_EQ(result_text(), "");
}

}  // namespace
}  // namespace quintle
