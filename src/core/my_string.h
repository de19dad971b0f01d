#pragma once

#include <istream>
#include <memory>
#include <ostream>

namespace quintle {

// The program's text type: an owned, NUL-terminated character buffer with its
// length and allocated size. Texts never exceed max_length characters; an
// operation that would pass the limit leaves the string as it was (or yields
// an empty string where it builds a new one) instead of cutting the text.
// Searches answer a position counted from 0, or -1 when nothing is found.
// The slash and the backslash are both path separators.
class my_string {
public:
    static constexpr int max_length = 1001100;      // longest text held
    static constexpr int max_c_text = max_length - 1;  // longest C text taken by the constructor
    static constexpr int max_line = max_length - 1;    // longest line read_line delivers
    static constexpr int line_buffer_size = max_length + 1;
    static constexpr int default_delta = 100;

    // Shared line buffer of read_line (line_buffer_size bytes). read_line
    // allocates it when absent; the run driver may allocate it up front and
    // release it at the end of a run (allocate_line_buffer/release_line_buffer).
    static char* _buf;
    static void allocate_line_buffer();
    static void release_line_buffer();

    // --- construction ---
    my_string();                      // empty, 10-byte buffer
    my_string(char const* text);      // empty when longer than max_c_text (or null)
    my_string(my_string const& other);
    my_string(my_string&& other);
    ~my_string() = default;

    // --- assignment (each returns the string itself) ---
    my_string& operator=(my_string const& other);  // unchanged when the other is too long
    my_string& operator=(my_string&& other) noexcept;
    my_string& operator=(char const* text);        // the same for C text (null: empty)
    my_string& operator=(char const& c);           // one-character text (NUL: empty)
    my_string& operator=(int value);               // "%d"
    my_string& operator=(double value);            // "%f"

    // --- appending; no change when the result would pass max_length ---
    my_string& operator+=(my_string const& other);
    my_string& operator+=(char const* text);
    my_string& operator+=(char c);                 // NUL is not appended

    // --- access ---
    char const* c_str() const noexcept { return buffer_.get(); }
    int length() const noexcept { return length_; }
    int size() const noexcept { return size_; }    // bytes allocated
    int delta() const noexcept { return delta_; }
    int is_null() const noexcept { return length_ == 0 ? 1 : 0; }
    // Position 0..length() (the terminating NUL at length()). Writing a NUL
    // through the non-const form does not change length().
    char operator[](int pos) const noexcept { return buffer_[pos]; }
    char& operator[](int pos) noexcept { return buffer_[pos]; }

    // --- searching ---
    int contains(char c) const;
    int contains(char const* pattern) const;       // empty or longer pattern: 0
    int contains(my_string const& pattern) const;
    int find_first_of(char const& c) const;
    int find_first_of(char const& c, int start) const;  // -1 when start > length
    int find_last_of(char const& c) const;
    int rfind(my_string const& pattern) const;     // first occurrence, from the start

    // --- extraction ---
    my_string extract_after(char c) const;   // after the first c; whole text when absent
    my_string extract_before(char c) const;  // before the first c; whole text when absent
    // Token reader consuming this string: skips leading delimiters, returns the
    // following run up to the next delimiter, and removes both from the front
    // (the ending delimiter stays and is skipped by the next call).
    my_string extract_sub_str(char delimiter);

    // --- removal and rearrangement (in place) ---
    void remove(int pos, int count);         // cut at pos when pos+count reaches the end
    int removes(my_string const& pattern);   // 1 when the first occurrence was deleted
    void remove_blanks();                    // every tab and space
    void remove_eol_and_lf();                // every '\n' and '\r'
    void reverse_string();
    void Lower();
    void to_lower();
    void Upper();
    void to_upper();

    // --- path helpers ---
    int rm_path();           // keep the part after the last separator; new length
    int extract_path();      // keep up to and including the last separator; new length
    int remove_extension();  // cut at the last '.' of the last path component; new length

    // --- character conversions ---
    void convert_to_slash();
    void convert_to_html_slash();
    void convert_to_backslash();
    void convert_to_underline();       // '/', ':' and '\' become '_'
    void convert_dot_to_underline();
    my_string convert_blank_to_html_blank() const;   // ' ' -> "%20"
    my_string convert_blank_to_linux_blank() const;  // ' ' -> "\ "
    my_string convert_blank_to_underline() const;    // ' ' -> "_"
    // Every backslash of a C text becomes '/', in place.
    static void convert_to_slash(char* text);

    // --- stream input (the previous text is discarded unless said otherwise) ---
    // One line up to '\n' (consumed, not stored; a '\r' before it is kept), at
    // most max_line characters; a longer line leaves the stream failed.
    // Always returns 1; at the end of the input the string is empty.
    int read_line(std::istream& is);
    // Skips tabs, newlines and spaces, then reads up to the next one (consumed).
    void read_token(std::istream& is);
    // Up to delim, '\n', NUL or byte 0xFF (consumed, not stored).
    void read_to_delim(std::istream& is, char delim);
    // One word ending at tab, '\n', space, NUL or byte 0xFF (consumed, not
    // stored); leading blanks are not skipped.
    void read_to_delim(std::istream& is);
    // Appends the next double-quoted text of the current line; see the .cpp.
    int GetNextQuota(std::istream& is);

private:
    void reset_empty();
    void set_text(char const* text, int len);   // len <= max_length, exact-fit rule
    void reserve_for_append(int needed_length);
    void append_raw(char const* text, int len);
    void shrink_to(int new_length) noexcept;

    std::unique_ptr<char[]> buffer_;
    int delta_ = default_delta;
    int length_ = 0;
    int size_ = 0;

    friend std::istream& operator>>(std::istream& is, my_string& s);
};

my_string operator+(my_string const& a, my_string const& b);
my_string operator+(my_string const& a, char const* b);

// Exact text comparison.
bool operator==(my_string const& a, my_string const& b) noexcept;
bool operator==(my_string const& a, char const* b) noexcept;

// Writes the text as formatted output: the stream's field width and
// adjustment apply, and the width is reset afterwards.
std::ostream& operator<<(std::ostream& os, my_string const& s);
// Skips tabs and spaces, then reads a word ending at a space or '\r'
// (consumed), a '\n' (left in the stream) or a byte 0xFF; NULs are dropped.
std::istream& operator>>(std::istream& is, my_string& s);

// Cuts a C text at the last occurrence of c (a NUL is written there) and
// returns that position; -1, text unchanged, when c does not occur.
int my_strtok_right(char* text, char c);

}  // namespace quintle
