#include "core/parsing.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

#include "core/Errors.h"

namespace quintle {

namespace {

constexpr int end_of_input = std::char_traits<char>::eof();

// Character classes of the "C" locale, independent of the current locale.
bool is_digit(int c) { return c >= '0' && c <= '9'; }
bool is_alnum(int c) { return is_digit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool is_graph(int c) { return c > ' ' && c < 0x7F; }
bool is_print(int c) { return c >= ' ' && c < 0x7F; }
bool is_space(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool is_blank(int c) { return c == ' ' || c == '\t' || c == '\r'; }
bool is_quote(int c) { return c == '"' || c == '\''; }
bool starts_a_word(int c) { return is_alnum(c) || is_word_byte_above_ascii(c); }

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Discards the rest of the current line, line feed included, whatever its
// length. Running into the end of the input fails the stream like any read
// past the end, so that callers see where the text stopped.
void skip_rest_of_line(std::istream& is) {
    is.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
    if (is.eof()) is.setstate(std::ios::failbit);
}

// Reads characters up to `delim`, a line feed, a NUL or a byte 0xFF (the
// terminator is consumed, not stored) and returns the terminator, or
// end_of_input when the input ended first. Nothing is read from a failed
// stream. The text is lower-cased on the way when asked, and only the part
// before its first space is kept when asked: keys and header names are
// compared that way, and long data lines then cost no storage.
int read_up_to(std::istream& is, std::string& text, char delim, bool to_lower = false,
               bool cut_at_space = false) {
    text.clear();
    if (is.fail()) return end_of_input;
    bool keep = true;
    for (;;) {
        const int c = is.get();
        if (c == end_of_input) return end_of_input;
        if (c == static_cast<unsigned char>(delim) || c == '\n' || c == 0 || c == 0xFF) return c;
        if (cut_at_space && c == ' ') keep = false;
        if (keep) text.push_back(to_lower ? lower(static_cast<char>(c)) : static_cast<char>(c));
    }
}

void report_position_after(int place) {
    const std::string name = "position_after() (" + std::to_string(place) + ")";
    E.error(ERROR, my_string(name.c_str()), Msg::m102_section_not_found);
}

// Warning 190 of the line helpers, with its explanatory log line.
void report_bad_value(int lineNo, char const* what, char const* key, char const* tail) {
    E.error(WARNING, my_string("readStringContent(...)"), Msg::m190_bad_keyword_value);
    *_AOS_ << "\tProject file, Line #" << lineNo << what << (key ? key : "") << tail;
}

}  // namespace

// ---------------------------------------------------------------------------
// Stream helpers
// ---------------------------------------------------------------------------

bool get_int(std::istream& is, int& value) {
    if (is.fail()) return false;
    for (;;) {
        const int c = is.get();
        if (c == end_of_input || c == '\n') return false;
        if (!is_print(c)) continue;
        if (!is_digit(c)) return false;
        is.unget();
        is >> value;
        return is.good();
    }
}

bool get_qchar(std::istream& is, char& c) {
    int open;
    do {
        open = is.get();
        if (open == end_of_input || open == '\n') return false;
    } while (open == ' ' || !is_print(open));
    if (!is_quote(open)) {
        is.unget();
        return false;
    }
    const int quoted = is.get();
    if (quoted == end_of_input) return false;
    c = static_cast<char>(quoted);
    // The closing candidate is only looked at, so that a refusal needs to put
    // back just the quoted character.
    const int close = is.peek();
    if (close == end_of_input) {
        is.setstate(std::ios::failbit);
        return false;
    }
    if (is_quote(close)) {
        is.get();
        return true;
    }
    is.unget();
    return false;
}

bool test_end_of_line(std::istream& is) {
    for (;;) {
        const int c = is.get();
        if (c == end_of_input || c == '\n') return true;
        if (c == '#') {
            skip_rest_of_line(is);
            return true;
        }
        if (is_graph(c) || is_word_byte_above_ascii(c)) {
            is.unget();
            return false;
        }
    }
}

bool skip_comments(std::istream& is) {
    // Nothing left to skip is not an error: the caller's next read finds the
    // end of the input itself.
    if (!is.good()) return true;
    if (is.peek() == end_of_input) return true;
    for (;;) {
        const int c = is.get();
        if (c == end_of_input) return false;
        if (!is_graph(c) && !is_word_byte_above_ascii(c)) continue;
        if (c == '#') {
            const int next = is.get();
            if (next == end_of_input) return false;
            if (next != '\n') {
                skip_rest_of_line(is);
                if (is.fail()) return false;
            }
            continue;
        }
        if (starts_a_word(c) || is_quote(c) || c == '[' || c == '}') {
            is.unget();
            return true;
        }
        const char bad = static_cast<char>(c);
        *_AOS_ << " ** public::skip_comments(253)" << ":the character is not the expected one c:" << bad
               << std::endl;
        std::string name = "skip_comments(ifstream& ifs) (\"";
        name += bad;
        name += "\")";
        E.error(ERROR, my_string(name.c_str()), Msg::m100_invalid_input_character);
        return false;
    }
}

bool get_qstring(std::istream& is, my_string& s) {
    int c;
    for (;;) {
        c = is.get();
        if (c == end_of_input) return false;
        if (is_space(c)) continue;
        if (c == '#') {
            skip_rest_of_line(is);
            continue;
        }
        break;
    }

    if (c == '\'') {
        std::string text;
        read_up_to(is, text, '\'');
        s = text.c_str();
        if (is.fail()) return false;
        if (s.length() >= 2) {
            E.error(ERROR, my_string("get_qstring(ifstream& ifs, my_string& s)"),
                    Msg::m101_cannot_read_input_character);
            return false;
        }
        return true;
    }
    if (c == '"') {
        std::string text;
        read_up_to(is, text, '"');
        s = text.c_str();
        return is.good();
    }
    if (starts_a_word(c)) {
        is.unget();
        is >> s;
        const int brace = s.find_first_of('}');
        if (brace >= 0) {
            // The brace closes the caller's list: hand it back (putback also
            // lifts an end-of-input state left by the word).
            is.putback('}');
            s.remove(brace, s.length() - brace);
        }
        const int slash = s.find_first_of('/');
        if (slash >= 0) s.remove(slash, s.length() - slash);
        return true;
    }
    is.unget();
    return false;
}

bool get_word(std::istream& is, my_string& s) {
    if (is.fail()) return false;
    for (;;) {
        const int c = is.get();
        if (c == end_of_input) return false;
        if (c == '#') {
            skip_rest_of_line(is);
            continue;
        }
        if (is_alnum(c)) {
            is.unget();
            s.read_token(is);
            s.to_lower();
            return true;
        }
        if (c == '\n') {
            is.unget();
            return false;
        }
    }
}

bool is_identifier(my_string const& word) {
    if (word.is_null()) return false;
    const char first = word[0];
    for (const char* identifier : Identifiers) {
        if (identifier[0] == first && word == identifier) return true;
    }
    return false;
}

bool get_next_ident(std::istream& is, my_string& key) {
    for (;;) {
        if (is.fail()) return false;
        if (!skip_comments(is)) {
            key = "*";
            return false;
        }
        const int c = is.get();
        if (c == '[') {
            is.unget();
            return false;
        }
        if (is_alnum(c)) break;
        // A quote or a "}" (or nothing at all) stands where no keyword can.
    }
    is.unget();
    std::string text;
    read_up_to(is, text, '=', true, true);
    if (!is.good()) {
        key = "*";
        return false;
    }
    key = text.c_str();
    return true;
}

bool position_after(std::istream& is, my_string section, my_string subsection, my_string key) {
    section.to_lower();
    subsection.to_lower();
    key.to_lower();
    std::string name;  // header name or key read, reused across lines

    for (;;) {
        // A stream stopped at the end without having failed counts as failed:
        // nothing more can be found and the loops below would not move.
        if (!is.good()) {
            is.clear();
            report_position_after(5);
            return false;
        }
        if (!section.is_null()) {
            int c;
            for (;;) {
                if (!skip_comments(is)) return false;
                c = is.get();
                if (c == end_of_input || c == '[') break;
                if (is_alnum(c)) skip_rest_of_line(is);
            }
            if (c == end_of_input) {
                is.clear();
                report_position_after(1);
                return false;
            }
            const int end = read_up_to(is, name, ']', true);
            if (!(section == name.c_str())) {
                if (end != '\n') skip_rest_of_line(is);
                continue;
            }
        }

        while (is.good()) {
            if (!subsection.is_null()) {
                for (;;) {
                    if (!skip_comments(is)) return false;
                    int c = is.get();
                    if (c == end_of_input || c == '[') break;
                    if (is_alnum(c)) {
                        skip_rest_of_line(is);
                        // The first character of the next line is only
                        // checked for "[".
                        c = is.get();
                        if (c == end_of_input || c == '[') break;
                    }
                }
                const int second = is.get();
                if (second == end_of_input) {
                    is.clear();
                    report_position_after(2);
                    return false;
                }
                if (second != '[') {
                    is.clear();
                    report_position_after(3);
                    return false;
                }
                const int end = read_up_to(is, name, ']', true);
                if (!(subsection == name.c_str())) {
                    if (end != '\n') skip_rest_of_line(is);
                    continue;
                }
            }
            // A sub-section header closes with "]]": stand after both.
            if (!subsection.is_null() && is.peek() == ']') is.get();
            if (key.is_null()) return true;

            while (is.good()) {
                if (!skip_comments(is)) return false;
                if (!is.good()) {
                    is.clear();
                    report_position_after(4);
                    return false;
                }
                const int end = read_up_to(is, name, '=', true, true);
                if (key == name.c_str()) return true;
                if (end != '\n') skip_rest_of_line(is);
            }
        }
    }
}

bool go_to_section(std::istream& is, my_string name) {
    return position_after(is, name, my_string(), my_string());
}

bool go_to_sub_section(std::istream& is, my_string name) {
    return position_after(is, my_string(), name, my_string());
}

int get_next_subsection(std::istream& is, my_string& name) {
    int c;
    do {
        c = is.get();
    } while (is_blank(c));
    if (c == '[') is.unget();
    if (is.fail()) {
        is.clear();
        return 0;
    }

    for (;;) {
        c = is.get();
        if (c == end_of_input) return 0;  // no header left; the stream stays failed
        if (c == '[') break;
        if (c == '#') skip_rest_of_line(is);
    }

    const int second = is.get();
    if (second == '[') {
        std::string text;
        const int end = read_up_to(is, text, ']', true);
        if (end != '\n') skip_rest_of_line(is);
        name = text.c_str();
    } else if (second != end_of_input) {
        // A single "[" opens a section, not a sub-section: the sub-sections
        // are over. Leave the header for the caller.
        is.unget();
        E.error(ERROR, my_string("get_next_subsection()"), Msg::m104_cannot_read_subsection_id);
        return 0;
    }
    if (!is.good()) {
        E.error(ERROR, my_string("get_next_subsection()"), Msg::m104_cannot_read_subsection_id);
        return 0;
    }
    for (int i = 0; i < SubSectionCount; ++i) {
        if (name == SubSections[i]) return i + 1;
    }
    E.error(ERROR, my_string("get_next_subsection() (\"") + name + "\"", Msg::m105_numerical_error);
    return 0;
}

// ---------------------------------------------------------------------------
// Line helpers
// ---------------------------------------------------------------------------

int checkForPresenceOfEqualSign(my_string const& line, char const* key, int lineNo) {
    const int position = line.find_first_of('=');
    if (position < 0) {
        E.error(WARNING, my_string("checkForPresenceOfEqualSign(...)"), Msg::m188_missing_equal_sign);
        *_AOS_ << "\tProject file, Line #" << lineNo << " : Missing equal sign after keyword '"
               << (key ? key : "") << "'\n";
        return 0;
    }
    return position;
}

void clearLineAfterPoundSign(my_string& line) {
    const int position = line.find_first_of('#');
    if (position >= 0) line.remove(position, line.length() - position);
}

bool getQuotedString(my_string const& line, my_string& value, char const* key, int lineNo) {
    value = line.extract_after('=');
    char quote;
    if (value.contains('"'))
        quote = '"';
    else if (value.contains('\''))
        quote = '\'';
    else {
        report_bad_value(lineNo, " : No open quote after keyword '", key, "'\n");
        return false;
    }
    value = value.extract_after(quote);
    const int close = value.find_first_of(quote);
    if (close < 0) {
        report_bad_value(lineNo, " : Opened quote not closed after keyword '", key,
                         "'. Unable to assign value to key...\n");
        return false;
    }
    value.remove(close, value.length() - close);
    return true;
}

bool getUnQuotedString(my_string const& line, my_string& value, char const* /*key*/, int /*lineNo*/) {
    value = line.extract_after('=');
    return true;
}

bool getValue(my_string const& line, double& value, char const* key, int lineNo) {
    const my_string text = line.extract_after('=');
    const char* start = text.c_str();
    char* end = nullptr;
    value = std::strtod(start, &end);
    const bool overflow = std::isinf(value) && value > 0;
    if (overflow || *end != '\0') {
        report_bad_value(lineNo, " : Bad value after keyword '", key, "'\n");
        return false;
    }
    return true;
}

bool detectFullPathInFileName(my_string const& name) {
    return name.length() > 0 && name[0] == '/';
}

}  // namespace quintle
