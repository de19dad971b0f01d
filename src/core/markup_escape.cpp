#include "core/markup_escape.h"

namespace quintle {

namespace {

void append_xml(std::string& out, char c, bool attribute) {
    switch (c) {
        case '&': out += "&amp;"; return;
        case '<': out += "&lt;"; return;
        case '>': out += "&gt;"; return;
        case '"': out += "&quot;"; return;
        // &#39; rather than &apos;: the same text also goes into HTML files.
        case '\'': out += "&#39;"; return;
        default: break;
    }
    if (attribute) {
        switch (c) {
            case '\t': out += "&#9;"; return;
            case '\n': out += "&#10;"; return;
            case '\r': out += "&#13;"; return;
            default: break;
        }
    }
    out += c;
}

std::string escape_xml(std::string_view text, bool attribute) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) append_xml(out, c, attribute);
    return out;
}

}  // namespace

std::string xml_escape(std::string_view text) { return escape_xml(text, false); }

std::string xml_attribute_escape(std::string_view text) { return escape_xml(text, true); }

std::string js_string_escape(std::string_view text, char quote) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const auto u = static_cast<unsigned char>(c);
        if (c == '\\') {
            out += "\\\\";
        } else if (c == quote) {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '<' || u < 0x20 || u == 0x7F) {
            out += "\\x";
            out += hex[u >> 4];
            out += hex[u & 0x0F];
        } else if (u == 0xE2 && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x80 &&
                   (static_cast<unsigned char>(text[i + 2]) == 0xA8 ||
                    static_cast<unsigned char>(text[i + 2]) == 0xA9)) {
            // U+2028 and U+2029 (UTF-8) end a line inside older script engines.
            out += static_cast<unsigned char>(text[i + 2]) == 0xA8 ? "\\u2028" : "\\u2029";
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace quintle
