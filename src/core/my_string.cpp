#include "core/my_string.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>

namespace quintle {

namespace {

constexpr int initial_size = 10;

bool is_separator(char c) { return c == '/' || c == '\\'; }

// Length of a C text, or -1 when it is longer than `limit` (the scan stops
// there, so a huge text is never measured in full).
int bounded_length(char const* text, int limit) {
    if (text == nullptr) return 0;
    void const* end = std::memchr(text, '\0', static_cast<size_t>(limit) + 1);
    if (end == nullptr) return -1;
    return static_cast<int>(static_cast<char const*>(end) - text);
}

}  // namespace

char* my_string::_buf = nullptr;

void my_string::allocate_line_buffer() {
    if (_buf == nullptr) _buf = new char[line_buffer_size];
}

void my_string::release_line_buffer() {
    delete[] _buf;
    _buf = nullptr;
}

// ---------------------------------------------------------------- internals

void my_string::reset_empty() {
    buffer_ = std::make_unique_for_overwrite<char[]>(initial_size);
    buffer_[0] = '\0';
    size_ = initial_size;
    length_ = 0;
}

// Assignment rule: a buffer that is too small is replaced by one of exactly
// len + 2 bytes; a large enough one is reused. `text` may point into this
// string's own buffer.
void my_string::set_text(char const* text, int len) {
    if (size_ < len + 2) {
        auto fresh = std::make_unique_for_overwrite<char[]>(static_cast<size_t>(len) + 2);
        if (len > 0) std::memcpy(fresh.get(), text, static_cast<size_t>(len));
        fresh[len] = '\0';
        buffer_ = std::move(fresh);
        size_ = len + 2;
    } else {
        if (len > 0) std::memmove(buffer_.get(), text, static_cast<size_t>(len));
        buffer_[len] = '\0';
    }
    length_ = len;
}

// Makes room for a text of needed_length characters. Growth is geometric so
// that appending to a long text (a sequence line, a table row) stays linear.
void my_string::reserve_for_append(int needed_length) {
    if (size_ >= needed_length + 2) return;
    long long wanted = static_cast<long long>(needed_length) + 2 + delta_;
    long long doubled = 2LL * size_;
    long long cap = static_cast<long long>(max_length) + 2 + delta_;
    long long new_size = std::min(std::max(wanted, doubled), std::max(wanted, cap));
    auto fresh = std::make_unique_for_overwrite<char[]>(static_cast<size_t>(new_size));
    std::memcpy(fresh.get(), buffer_.get(), static_cast<size_t>(length_) + 1);
    buffer_ = std::move(fresh);
    size_ = static_cast<int>(new_size);
}

// Appends len characters; the caller has checked the limit. `text` may point
// into this string's own buffer.
void my_string::append_raw(char const* text, int len) {
    if (len <= 0) return;
    int new_length = length_ + len;
    if (size_ < new_length + 2) {
        std::less<char const*> before;
        bool own = !before(text, buffer_.get()) && before(text, buffer_.get() + size_);
        if (own) {
            // Growing releases the buffer `text` points into: copy it first.
            std::string keep(text, static_cast<size_t>(len));
            reserve_for_append(new_length);
            std::memcpy(buffer_.get() + length_, keep.data(), static_cast<size_t>(len));
        } else {
            reserve_for_append(new_length);
            std::memcpy(buffer_.get() + length_, text, static_cast<size_t>(len));
        }
    } else {
        std::memmove(buffer_.get() + length_, text, static_cast<size_t>(len));
    }
    length_ = new_length;
    buffer_[length_] = '\0';
}

void my_string::shrink_to(int new_length) noexcept {
    length_ = new_length;
    buffer_[length_] = '\0';
}

// ---------------------------------------------------------------- construction

my_string::my_string() { reset_empty(); }

my_string::my_string(char const* text) {
    int len = bounded_length(text, max_c_text);
    if (len < 0) {
        reset_empty();
        return;
    }
    buffer_ = std::make_unique_for_overwrite<char[]>(static_cast<size_t>(len) + 2);
    if (len > 0) std::memcpy(buffer_.get(), text, static_cast<size_t>(len));
    buffer_[len] = '\0';
    length_ = len;
    size_ = len + 2;
}

my_string::my_string(my_string const& other) : my_string() { *this = other; }

// The source is left empty but valid (every string owns a buffer).
my_string::my_string(my_string&& other) : my_string() {
    std::swap(buffer_, other.buffer_);
    std::swap(length_, other.length_);
    std::swap(size_, other.size_);
    std::swap(delta_, other.delta_);
}

// ---------------------------------------------------------------- assignment

my_string& my_string::operator=(my_string const& other) {
    if (this == &other) return *this;
    int len = bounded_length(other.c_str(), max_length);
    if (len < 0) return *this;
    set_text(other.c_str(), len);
    return *this;
}

my_string& my_string::operator=(my_string&& other) noexcept {
    if (this == &other) return *this;
    std::swap(buffer_, other.buffer_);
    std::swap(length_, other.length_);
    std::swap(size_, other.size_);
    std::swap(delta_, other.delta_);
    return *this;
}

my_string& my_string::operator=(char const* text) {
    int len = bounded_length(text, max_length);
    if (len < 0) return *this;
    set_text(text, len);
    return *this;
}

my_string& my_string::operator=(char const& c) {
    char copy = c;
    set_text(&copy, copy == '\0' ? 0 : 1);
    return *this;
}

my_string& my_string::operator=(int value) {
    char text[24];
    int len = std::snprintf(text, sizeof text, "%d", value);
    set_text(text, len);
    return *this;
}

my_string& my_string::operator=(double value) {
    // "%f" of a large value needs hundreds of characters: size to the output.
    char small[64];
    int len = std::snprintf(small, sizeof small, "%f", value);
    if (len < 0) return *this;
    if (len < static_cast<int>(sizeof small)) {
        set_text(small, len);
    } else {
        std::string big(static_cast<size_t>(len) + 1, '\0');
        std::snprintf(big.data(), big.size(), "%f", value);
        set_text(big.data(), len);
    }
    return *this;
}

// ---------------------------------------------------------------- appending

my_string& my_string::operator+=(my_string const& other) {
    int len = other.length_;
    if (len <= 0 || length_ + len > max_length) return *this;
    append_raw(other.c_str(), len);
    return *this;
}

my_string& my_string::operator+=(char const* text) {
    int len = bounded_length(text, max_length - length_);
    if (len <= 0) return *this;
    append_raw(text, len);
    return *this;
}

my_string& my_string::operator+=(char c) {
    if (c == '\0' || length_ >= max_length) return *this;
    reserve_for_append(length_ + 1);
    buffer_[length_++] = c;
    buffer_[length_] = '\0';
    return *this;
}

my_string operator+(my_string const& a, my_string const& b) {
    my_string result;
    if (a.length() + b.length() > my_string::max_length) return result;
    result += a;
    result += b;
    return result;
}

my_string operator+(my_string const& a, char const* b) {
    my_string result;
    int blen = b == nullptr ? 0 : static_cast<int>(std::strlen(b));
    if (static_cast<long long>(a.length()) + blen > my_string::max_length) return result;
    result += a;
    result += b;
    return result;
}

bool operator==(my_string const& a, my_string const& b) noexcept {
    return std::strcmp(a.c_str(), b.c_str()) == 0;
}

bool operator==(my_string const& a, char const* b) noexcept {
    return std::strcmp(a.c_str(), b == nullptr ? "" : b) == 0;
}

// ---------------------------------------------------------------- searching

int my_string::contains(char c) const {
    if (length_ == 0) return 0;
    return std::memchr(buffer_.get(), c, static_cast<size_t>(length_)) != nullptr ? 1 : 0;
}

int my_string::contains(char const* pattern) const {
    if (pattern == nullptr || *pattern == '\0') return 0;
    std::string_view text(buffer_.get(), static_cast<size_t>(length_));
    return text.find(pattern) != std::string_view::npos ? 1 : 0;
}

int my_string::contains(my_string const& pattern) const { return contains(pattern.c_str()); }

int my_string::find_first_of(char const& c) const { return find_first_of(c, 0); }

int my_string::find_first_of(char const& c, int start) const {
    if (length_ == 0 || start < 0 || start > length_) return -1;
    std::string_view text(buffer_.get(), static_cast<size_t>(length_));
    size_t pos = text.find(c, static_cast<size_t>(start));
    return pos == std::string_view::npos ? -1 : static_cast<int>(pos);
}

int my_string::find_last_of(char const& c) const {
    std::string_view text(buffer_.get(), static_cast<size_t>(length_));
    size_t pos = text.rfind(c);
    return pos == std::string_view::npos ? -1 : static_cast<int>(pos);
}

int my_string::rfind(my_string const& pattern) const {
    if (pattern.length_ == 0 || pattern.length_ > length_) return -1;
    std::string_view text(buffer_.get(), static_cast<size_t>(length_));
    size_t pos = text.find(std::string_view(pattern.c_str(), static_cast<size_t>(pattern.length_)));
    return pos == std::string_view::npos ? -1 : static_cast<int>(pos);
}

// ---------------------------------------------------------------- extraction

my_string my_string::extract_after(char c) const {
    int pos = find_first_of(c);
    if (pos < 0) return *this;
    my_string result;
    result.set_text(buffer_.get() + pos + 1, length_ - pos - 1);
    return result;
}

my_string my_string::extract_before(char c) const {
    int pos = find_first_of(c);
    if (pos < 0) return *this;
    my_string result;
    result.set_text(buffer_.get(), pos);
    return result;
}

my_string my_string::extract_sub_str(char delimiter) {
    int begin = 0;
    while (begin < length_ && buffer_[begin] == delimiter) ++begin;
    int end = begin;
    while (end < length_ && buffer_[end] != delimiter) ++end;
    my_string token;
    token.set_text(buffer_.get() + begin, end - begin);
    remove(0, end);
    return token;
}

// ---------------------------------------------------------------- removal

void my_string::remove(int pos, int count) {
    if (count < 1 || pos < 0 || pos > length_) return;
    if (static_cast<long long>(pos) + count >= length_) {
        shrink_to(pos);
        return;
    }
    int tail = length_ - pos - count;
    std::memmove(buffer_.get() + pos, buffer_.get() + pos + count, static_cast<size_t>(tail));
    shrink_to(pos + tail);
}

int my_string::removes(my_string const& pattern) {
    int pos = rfind(pattern);
    if (pos < 0) return 0;
    remove(pos, pattern.length_);
    return 1;
}

namespace {
template <typename Drop>
int erase_if_chars(char* text, int length, Drop drop) {
    int out = 0;
    for (int i = 0; i < length; ++i)
        if (!drop(text[i])) text[out++] = text[i];
    return out;
}
}  // namespace

void my_string::remove_blanks() {
    shrink_to(erase_if_chars(buffer_.get(), length_, [](char c) { return c == ' ' || c == '\t'; }));
}

void my_string::remove_eol_and_lf() {
    shrink_to(erase_if_chars(buffer_.get(), length_, [](char c) { return c == '\n' || c == '\r'; }));
}

// Reversed in place, so it needs no memory and cannot fail.
void my_string::reverse_string() { std::reverse(buffer_.get(), buffer_.get() + length_); }

// Only the ASCII letters change: bytes of other encodings stay as they are.
void my_string::Lower() {
    for (int i = 0; i < length_; ++i)
        if (buffer_[i] >= 'A' && buffer_[i] <= 'Z') buffer_[i] = static_cast<char>(buffer_[i] - 'A' + 'a');
}

void my_string::to_lower() { Lower(); }

void my_string::Upper() {
    // Written without a branch so that the loop runs on whole vectors.
    char* const text = buffer_.get();
    int const n = length_;
    for (int i = 0; i < n; ++i) {
        char const c = text[i];
        text[i] = static_cast<char>(c - ((c >= 'a' && c <= 'z') ? 'a' - 'A' : 0));
    }
}

void my_string::to_upper() { Upper(); }

// ---------------------------------------------------------------- paths

namespace {
int last_separator(char const* text, int length) {
    for (int i = length - 1; i >= 0; --i)
        if (is_separator(text[i])) return i;
    return -1;
}
}  // namespace

int my_string::rm_path() {
    int sep = last_separator(buffer_.get(), length_);
    if (sep >= 0) {
        int tail = length_ - sep - 1;
        std::memmove(buffer_.get(), buffer_.get() + sep + 1, static_cast<size_t>(tail));
        shrink_to(tail);
    }
    return length_;
}

int my_string::extract_path() {
    shrink_to(last_separator(buffer_.get(), length_) + 1);
    return length_;
}

// Only a dot in the file name itself starts an extension, so a dotted folder
// ("old.pmp/run1.pmp") keeps its name.
int my_string::remove_extension() {
    int sep = last_separator(buffer_.get(), length_);
    for (int i = length_ - 1; i > sep; --i) {
        if (buffer_[i] == '.') {
            shrink_to(i);
            break;
        }
    }
    return length_;
}

// ---------------------------------------------------------------- conversions

namespace {
void replace_chars(char* text, int length, char from, char to) {
    for (int i = 0; i < length; ++i)
        if (text[i] == from) text[i] = to;
}
}  // namespace

void my_string::convert_to_slash() { replace_chars(buffer_.get(), length_, '\\', '/'); }

void my_string::convert_to_html_slash() { convert_to_slash(); }

void my_string::convert_to_backslash() { replace_chars(buffer_.get(), length_, '/', '\\'); }

void my_string::convert_to_underline() {
    for (int i = 0; i < length_; ++i)
        if (buffer_[i] == '/' || buffer_[i] == ':' || buffer_[i] == '\\') buffer_[i] = '_';
}

void my_string::convert_dot_to_underline() { replace_chars(buffer_.get(), length_, '.', '_'); }

void my_string::convert_to_slash(char* text) {
    if (text == nullptr) return;
    for (; *text != '\0'; ++text)
        if (*text == '\\') *text = '/';
}

namespace {
// A copy of `source` with every blank replaced by `with`; empty when the
// result would pass the length limit (a text is never cut).
my_string replace_blanks(my_string const& source, char const* with) {
    long long with_len = static_cast<long long>(std::strlen(with));
    long long blanks = std::count(source.c_str(), source.c_str() + source.length(), ' ');
    my_string result;
    if (source.length() + blanks * (with_len - 1) > my_string::max_length) return result;
    for (int i = 0; i < source.length(); ++i) {
        if (source[i] == ' ')
            result += with;
        else
            result += source[i];
    }
    return result;
}
}  // namespace

my_string my_string::convert_blank_to_html_blank() const { return replace_blanks(*this, "%20"); }

my_string my_string::convert_blank_to_linux_blank() const { return replace_blanks(*this, "\\ "); }

my_string my_string::convert_blank_to_underline() const { return replace_blanks(*this, "_"); }

// ---------------------------------------------------------------- stream input

int my_string::read_line(std::istream& is) {
    allocate_line_buffer();
    _buf[0] = '\0';
    is.getline(_buf, max_line + 1, '\n');
    int len = static_cast<int>(std::strlen(_buf));
    if (size_ < len + 1) {
        buffer_ = std::make_unique_for_overwrite<char[]>(static_cast<size_t>(len) + 1);
        size_ = len + 1;
    }
    std::memcpy(buffer_.get(), _buf, static_cast<size_t>(len) + 1);
    length_ = len;
    return 1;
}

namespace {
using traits = std::istream::traits_type;

bool is_token_blank(int c) { return c == '\t' || c == '\n' || c == ' '; }

// Appends the characters up to the first one that `ends` picks, a NUL or
// byte 0xFF (consumed, not stored); at the end of the input the stream is
// left at end-of-file, and failed as well when the text is still empty.
template <class Ends>
void append_to_end_char(my_string& text, std::istream& is, Ends ends) {
    std::istream::sentry ok(is, true);
    if (!ok) return;
    std::streambuf* sb = is.rdbuf();
    int c = sb->sbumpc();
    while (c != traits::eof()) {
        char ch = traits::to_char_type(c);
        if (ends(ch) || ch == '\0' || c == 0xFF) return;
        text += ch;
        c = sb->sbumpc();
    }
    is.setstate(text.length() == 0 ? std::ios::eofbit | std::ios::failbit : std::ios::eofbit);
}
}  // namespace

// Readers below peek before they consume, so that reaching the end of the
// input after a word leaves the stream at end-of-file but not failed (as the
// standard extractors do); failbit is set only when nothing could be read.
void my_string::read_token(std::istream& is) {
    shrink_to(0);
    std::istream::sentry ok(is, true);
    if (!ok) return;
    std::streambuf* sb = is.rdbuf();
    int c = sb->sgetc();
    while (c != traits::eof() && is_token_blank(c)) c = sb->snextc();
    while (c != traits::eof() && !is_token_blank(c)) {
        *this += traits::to_char_type(c);
        c = sb->snextc();
    }
    if (c == traits::eof()) {
        is.setstate(length_ == 0 ? std::ios::eofbit | std::ios::failbit : std::ios::eofbit);
    } else {
        sb->sbumpc();  // the blank that ended the token
    }
}

void my_string::read_to_delim(std::istream& is, char delim) {
    shrink_to(0);
    append_to_end_char(*this, is, [delim](char ch) { return ch == delim || ch == '\n'; });
}

void my_string::read_to_delim(std::istream& is) {
    shrink_to(0);
    append_to_end_char(*this, is, [](char ch) { return ch == '\t' || ch == '\n' || ch == ' '; });
}

// Appends (without clearing) the next double-quoted text of the current line.
// 1 when a quoted text was read (closing quote found, or the input ended inside
// it); 0 when the line or the input ended before the opening quote, when the
// line ended inside the quoted text (what was read stays appended), or when
// the stream had already failed.
int my_string::GetNextQuota(std::istream& is) {
    if (is.fail()) return 0;
    int c;
    do {
        c = is.get();
        if (c == traits::eof() || c == '\n') return 0;
    } while (c != '"');
    for (;;) {
        c = is.get();
        if (c == traits::eof()) return 1;
        if (c == '\n') return 0;
        if (c == '"') return 1;
        *this += traits::to_char_type(c);
    }
}

std::istream& operator>>(std::istream& is, my_string& s) {
    s.shrink_to(0);
    std::istream::sentry ok(is, true);
    if (!ok) return is;
    std::streambuf* sb = is.rdbuf();
    int c = sb->sgetc();
    while (c == ' ' || c == '\t') c = sb->snextc();
    for (;;) {
        if (c == traits::eof()) {
            is.setstate(s.length_ == 0 ? std::ios::eofbit | std::ios::failbit : std::ios::eofbit);
            break;
        }
        if (c == '\n') break;  // left in the stream for the caller
        sb->sbumpc();
        if (c == ' ' || c == '\r' || c == 0xFF) break;
        if (c != '\0') s += traits::to_char_type(c);
        c = sb->sgetc();
    }
    return is;
}

std::ostream& operator<<(std::ostream& os, my_string const& s) { return os << s.c_str(); }

int my_strtok_right(char* text, char c) {
    if (text == nullptr) return -1;
    char* last = std::strrchr(text, c);
    if (last == nullptr || c == '\0') return -1;
    *last = '\0';
    return static_cast<int>(last - text);
}

}  // namespace quintle
