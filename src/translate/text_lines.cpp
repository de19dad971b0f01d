#include "translate/text_lines.h"

#include <algorithm>
#include <cctype>
#include <sstream>
#include <utility>

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

// The length of the valid UTF-8 character that opens `text` (1 for an
// ASCII byte), or 0 when `text` does not open with one: a stray
// continuation byte, a lead byte without its continuations, an overlong
// form, a surrogate or a code point beyond U+10FFFF.
std::size_t valid_character(std::string_view text) {
    unsigned char const lead = static_cast<unsigned char>(text[0]);
    std::size_t const n = character_length(lead);
    if (n <= 1 || n > text.size()) return n == 1 ? 1 : 0;
    for (std::size_t i = 1; i < n; ++i)
        if (!continues_character(static_cast<unsigned char>(text[i]))) return 0;
    unsigned char const second = static_cast<unsigned char>(text[1]);
    if (n == 2 && lead < 0xC2) return 0;                       // overlong
    if (n == 3 && lead == 0xE0 && second < 0xA0) return 0;     // overlong
    if (n == 3 && lead == 0xED && second >= 0xA0) return 0;    // surrogate
    if (n == 4 && lead == 0xF0 && second < 0x90) return 0;     // overlong
    if (n == 4 && (lead > 0xF4 || (lead == 0xF4 && second >= 0x90))) return 0;  // beyond U+10FFFF
    return n;
}

std::string too_long_clause(std::string const& file, long number, std::size_t limit) {
    std::string out = "line " + std::to_string(number) + " of " + file + " is longer than " + std::to_string(limit) +
                      " bytes";
    constexpr std::size_t mib = std::size_t{1} << 20;
    if (limit >= mib && limit % mib == 0) out += " (" + std::to_string(limit / mib) + " MiB)";
    return out + ", the longest line the translator reads";
}

}  // namespace

LineTooLong::LineTooLong(std::string const& file, long number, std::size_t limit)
    : std::runtime_error(too_long_clause(file, number, limit)) {}

TextLines::TextLines(std::string const& path, std::size_t limit) : path_(path), limit_(limit) {
    open_ = !path.empty() && open_input_file(in_, path);
}

bool TextLines::next(std::string& line) {
    if (unread_) {
        line = std::move(*unread_);
        unread_.reset();
        ++number_;
        return true;
    }
    line.clear();
    if (!open_ || ended_) return false;
    LineRead const read = read_bounded_line(in_, line, limit_);
    if (read == LineRead::too_long) {
        ended_ = true;
        line.clear();
        throw LineTooLong(path_, number_ + 1, limit_);
    }
    if (read == LineRead::end) {
        ended_ = true;
        return false;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    ++number_;
    return true;
}

void TextLines::unread(std::string line) {
    unread_ = std::move(line);
    --number_;
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

std::string message_text(std::string_view text, std::size_t width) {
    std::string const kept = shortened(text, width);
    std::string_view rest(kept);
    std::string out;
    out.reserve(kept.size());
    auto hex = [&out](unsigned char b) {
        static char const digits[] = "0123456789ABCDEF";
        out += "\\x";
        out += digits[b >> 4];
        out += digits[b & 0xF];
    };
    while (!rest.empty()) {
        unsigned char const b = static_cast<unsigned char>(rest[0]);
        std::size_t const n = valid_character(rest);
        // C2 80 to C2 A0: the C1 controls and the no-break space.
        bool const c1 = n == 2 && b == 0xC2 && static_cast<unsigned char>(rest[1]) <= 0xA0;
        if (n == 0 || c1 || b < 0x20 || b == 0x7F) {
            std::size_t const bytes = n == 0 ? 1 : n;
            for (std::size_t i = 0; i < bytes; ++i) hex(static_cast<unsigned char>(rest[i]));
            rest.remove_prefix(bytes);
        } else {
            out.append(rest.substr(0, n));
            rest.remove_prefix(n);
        }
    }
    return out;
}

std::string as_sample_name(std::string_view name) {
    std::string out = quotable(name);
    for (char& c : out) {
        unsigned char const b = static_cast<unsigned char>(c);
        if (c == '#' || (b < 0x20 && c != '\t') || b == 0xFF) c = '_';
    }
    return out;
}

std::string UniqueNames::unique(std::string const& name, std::size_t mark) {
    if (given_.try_emplace(name, mark).second) return name;
    // Each candidate is still looked up: a file's own name, such as
    // "i_3", may have been given since.
    long& n = last_.try_emplace(name, 1).first->second;
    for (;;) {
        std::string candidate = name + "_" + std::to_string(++n);
        if (given_.try_emplace(candidate, mark).second) return candidate;
    }
}

bool UniqueNames::give(std::string const& name, std::size_t& mark) {
    auto const [given, fresh] = given_.try_emplace(name, mark);
    mark = given->second;
    return fresh;
}

}  // namespace quintle
