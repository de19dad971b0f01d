#include "translate/text_lines.h"

#include <algorithm>
#include <cctype>
#include <sstream>

#include "core/input_files.h"
#include "core/parsing.h"

namespace quintle {

namespace {

bool blank_char(char c) { return c == ' ' || c == '\t'; }

// A byte that continues a UTF-8 character (10xxxxxx).
bool continues_character(unsigned char b) { return (b & 0xC0) == 0x80; }

// The number of bytes of the UTF-8 character that `lead` opens; 0 for a
// byte that opens none.
std::size_t character_length(unsigned char lead) {
    if (lead < 0x80) return 1;
    if ((lead & 0xE0) == 0xC0) return 2;
    if ((lead & 0xF0) == 0xE0) return 3;
    if ((lead & 0xF8) == 0xF0) return 4;
    return 0;
}

}  // namespace

TextLines::TextLines(std::string const& path) { open_ = !path.empty() && open_input_file(in_, path); }

bool TextLines::next(std::string& line) {
    line.clear();
    if (!open_ || ended_) return false;
    LineRead const read = read_bounded_line(in_, line);
    if (read == LineRead::too_long) {
        cut_ = true;
        ended_ = true;
        line.clear();
        return false;
    }
    if (read == LineRead::end) {
        ended_ = true;
        return false;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    ++number_;
    return true;
}

bool TextLines::next_filled(std::string& line) {
    while (next(line)) {
        if (!is_blank(line)) return true;
    }
    return false;
}

bool is_blank(std::string_view text) { return std::all_of(text.begin(), text.end(), blank_char); }

void trim_right(std::string& text) {
    while (!text.empty() && blank_char(text.back())) text.pop_back();
}

std::string trimmed(std::string_view text) {
    while (!text.empty() && blank_char(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank_char(text.back())) text.remove_suffix(1);
    return std::string(text);
}

std::string upper_case(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

bool contains_upper(std::string_view text, std::string_view upperWord) {
    return upper_case(text).find(upperWord) != std::string::npos;
}

std::string quotable(std::string_view text) {
    std::string out(text);
    std::replace(out.begin(), out.end(), '"', ' ');
    return out;
}

std::string without_blanks(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        if (!blank_char(c)) out += c;
    return out;
}

bool all_digits(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::vector<std::string> words_of(std::string const& line) {
    std::vector<std::string> out;
    std::istringstream in(line);
    for (std::string w; in >> w;) out.push_back(w);
    return out;
}

std::string as_project_word(std::string_view name) {
    std::string out(name);
    for (char& c : out)
        if (!is_word_byte(static_cast<unsigned char>(c)) || c == '#' || c == '}') c = '_';
    if (!out.empty() && std::string_view("{[]=").find(out.front()) != std::string_view::npos) out.front() = '_';
    return out;
}

std::string cut_to_width(std::string_view text, std::size_t width) {
    if (text.size() <= width) return std::string(text);
    std::size_t cut = width;
    // The first byte of the character the cut falls into: at most three
    // continuation bytes back. Text that is not UTF-8 is cut where it is.
    std::size_t start = cut;
    while (start > 0 && cut - start < 3 && continues_character(static_cast<unsigned char>(text[start]))) --start;
    if (start < cut && cut - start < character_length(static_cast<unsigned char>(text[start]))) cut = start;
    std::string out(text.substr(0, cut));
    out.resize(width, ' ');
    return out;
}

std::string shortened(std::string_view text, std::size_t width) {
    if (text.size() <= width) return std::string(text);
    std::string out = cut_to_width(text, width);
    trim_right(out);  // the cut's padding, and blanks that end the kept part
    return out + "...";
}

}  // namespace quintle
