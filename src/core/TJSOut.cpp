#include "core/TJSOut.h"

#include <fstream>
#include <string>
#include <string_view>

#include "core/Errors.h"
#include "core/markup_escape.h"
#include "core/platform.h"
#include "core/xml.h"
#include "run/settings.h"

namespace quintle {

namespace {

// A menu name is shown by the tree page as HTML and sits in a double-quoted
// script string: markup characters become entities first, then the string
// is escaped.
std::string menu_name(my_string const& name) {
    std::string html;
    for (const char c : std::string_view(name.c_str())) {
        switch (c) {
            case '&': html += "&amp;"; break;
            case '<': html += "&lt;"; break;
            case '>': html += "&gt;"; break;
            case '"': html += "&quot;"; break;
            default: html += c;
        }
    }
    return js_string_escape(html, '"');
}

// A link ends up as a URL in the tree page: blanks are written %20 and the
// characters that could end an HTML attribute are percent-encoded too.
std::string menu_link(my_string const& link) {
    std::string url;
    for (const char c : std::string_view(link.c_str())) {
        switch (c) {
            case ' ': url += "%20"; break;
            case '"': url += "%22"; break;
            case '\'': url += "%27"; break;
            case '<': url += "%3C"; break;
            case '>': url += "%3E"; break;
            default: url += c;
        }
    }
    return js_string_escape(url, '"');
}

// The icon folder as a file URL path inside a single-quoted script string.
std::string icon_path(my_string const& folder) {
    std::string path;
    for (const char c : std::string_view(folder.c_str())) {
        if (c == ' ')
            path += "%20";
        else if (c == '\\')
            path += '/';
        else
            path += c;
    }
    return js_string_escape(path, '\'');
}

void put(std::ostream& os, std::string const& text) {
    os.write(text.data(), static_cast<std::streamsize>(text.size()));
}

std::string tabs(int level) { return level > 0 ? std::string(static_cast<std::size_t>(level), '\t') : std::string(); }

enum class EntryKind { Document, Folder };

void print_anchored_entry(settings& s, int level, my_string const& anchor, my_string const& title, EntryKind kind) {
    MenuScriptLine const script(s);

    if (s.ResultFile != nullptr) {
        if (xmlOutput)
            *s.ResultFile << xml_anchor{anchor};
        else
            *s.ResultFile << html_anchor{anchor};
    }

    if (script.stream() == nullptr) return;
    my_string link = s.ResultFileName;
    link.rm_path();
    link += "#";
    link += anchor;

    TJSOut menu(script.stream());
    if (kind == EntryKind::Document)
        menu.doc(level, title, link);
    else
        menu.aux(level, title, link);
}

void print_js_entry(settings& s, int level, char const* suffix, char const* title, EntryKind kind) {
    print_anchored_entry(s, level, anchor_name(s.AnchorPrefix, suffix), my_string(title != nullptr ? title : ""),
                         kind);
}

}  // namespace

void TJSOut::foldersTree(my_string const& iconFolder, my_string const& /*second*/, my_string const& title,
                         my_string const& rootLink) {
    if (stream == nullptr) return;
    put(*stream, "\nUSETEXTLINKS = 1"
                 "\nSTARTALLOPEN = 0"
                 "\nWRAPTEXT = 1"
                 "\nPRESERVESTATE = 0"
                 "\nHIGHLIGHT = 1"
                 "\nICONPATH = 'file:///" +
                     icon_path(iconFolder) +
                     "'    //change if the gif's folder is a subfolder, for example: 'images/'\n"
                     "\n"
                     "foldersTree = gFld(\"<i>" +
                     menu_name(title) + "</i>\", \"" + menu_link(rootLink) + "\")\n");
}

void TJSOut::aux(int level, my_string const& name, my_string const& link) {
    if (stream == nullptr) return;
    const std::string parent = level == 1 ? std::string("foldersTree") : "aux" + std::to_string(level - 1);
    put(*stream, tabs(level) + "aux" + std::to_string(level) + " = insFld(" + parent + ", gFld(\"" +
                     menu_name(name) + "\", \"" + menu_link(link) + "\"))\n");
}

void TJSOut::doc(int level, my_string const& name, my_string const& link) {
    if (stream == nullptr) return;
    const std::string parent = level == 0 ? std::string("foldersTree") : "aux" + std::to_string(level);
    put(*stream, tabs(level) + "insDoc(" + parent + ", gLnk(\"R\", \"" + menu_name(name) + "\", \"" +
                     menu_link(link) + "\"))\n");
}

MenuScriptLine::MenuScriptLine(settings const& s) {
    if (s.MenuScript != nullptr) {
        out_ = s.MenuScript;
        return;
    }
    file_.open(s.MenuScriptFileName.c_str(), std::ios::out | std::ios::app);
    if (file_.is_open()) out_ = &file_;
}

RunMenuScript::RunMenuScript(settings& s, bool replace)
    : s_(s), path_(s.MenuScriptFileName.c_str()), replace_(replace) {
    s_.MenuScript = &text_;
}

RunMenuScript::~RunMenuScript() {
    try {
        write();
    } catch (...) {
        // Out of memory while unwinding: the script is lost, the run's
        // outcome stands.
    }
}

bool RunMenuScript::write() {
    if (s_.MenuScript == &text_) s_.MenuScript = nullptr;
    if (written_) return true;
    written_ = true;
    std::string const text = std::move(text_).str();
    if (replace_) return MY_RewriteFile(path_.c_str(), text);
    return MY_AppendToFile(path_.c_str(), text);
}

my_string anchor_name(my_string const& base, char const* suffix) {
    // The base may hold a date and time: blanks go, separators become '_'.
    my_string anchor = base;
    anchor.remove_blanks();
    anchor.convert_to_underline();
    anchor += suffix != nullptr ? suffix : "";
    return anchor;
}

void print_js_doc_anchor(settings& s, int level, my_string const& anchor, my_string const& title) {
    print_anchored_entry(s, level, anchor, title, EntryKind::Document);
}

void print_js_doc_entry(settings& s, int level, char const* suffix, char const* title) {
    print_js_entry(s, level, suffix, title, EntryKind::Document);
}

void print_js_aux_entry(settings& s, int level, char const* suffix, char const* title) {
    print_js_entry(s, level, suffix, title, EntryKind::Folder);
}

void print_js_pellomar_log_entry(settings& s) {
    MenuScriptLine const script(s);
    if (script.stream() == nullptr) return;
    my_string link = E.log_path();
    link.rm_path();
    TJSOut menu(script.stream());
    menu.doc(0, my_string("Pellomar log file"), link);
}

}  // namespace quintle
