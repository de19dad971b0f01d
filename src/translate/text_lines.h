#pragma once

// What every reader of the translator shares: its source read line by line
// up to a bound on a line's length (the memory guard of read_bounded_line)
// with a trailing "\r" of a CRLF file dropped, and the small text helpers
// they all use.

#include <cstddef>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/input_files.h"

namespace quintle {

// A line longer than a TextLines' bound. A source read only up to such a
// line would be converted in part, so the reading stops there and the
// translator refuses the source; what() is the clause that says why
// ("line 7 of FILE is longer than ...").
class LineTooLong : public std::runtime_error {
public:
    LineTooLong(std::string const& file, long number, std::size_t limit);
};

class TextLines {
public:
    // Opens `path` through open_input_file (regular data files only). No
    // line longer than `limit` bytes (its "\n" not counted) is read.
    explicit TextLines(std::string const& path, std::size_t limit = max_input_line);

    bool is_open() const { return open_; }
    // The next line, without its line end, into `line`; false at the end
    // of the input (then `line` is empty). Throws LineTooLong at a line
    // longer than the bound; the input has then ended.
    bool next(std::string& line);
    // Gives back the line next() delivered last, which the next call of
    // next() delivers again: a reader that looked one line ahead.
    void unread(std::string line);
    // The next line that is not blank (see is_blank), or false.
    bool next_filled(std::string& line);
    // Lines delivered so far.
    long line_number() const { return number_; }

private:
    std::ifstream in_;
    std::string path_;
    std::size_t limit_;
    bool open_ = false;
    bool ended_ = false;
    long number_ = 0;
    std::optional<std::string> unread_;
};

// Empty, or only blanks and tabs.
bool is_blank(std::string_view text);
// Removes trailing blanks and tabs.
void trim_right(std::string& text);
// Without leading and trailing blanks and tabs.
std::string trimmed(std::string_view text);
std::string upper_case(std::string_view text);
bool contains_upper(std::string_view text, std::string_view upperWord);
// A text fit to stand between the double quotes of a project value: its
// double quotes become blanks.
std::string quotable(std::string_view text);
// The blank-separated words of `line`, as a stream reads them.
std::vector<std::string> words_of(std::string const& line);
// `text` without its blanks and tabs.
std::string without_blanks(std::string_view text);
// Every byte of `text` is a decimal digit (true for an empty text).
bool all_digits(std::string_view text);
// `name` as one word that both project readers read back whole: every byte
// they would not keep in a word (a blank, a control character, 0xFF)
// becomes "_", and so does every "#" (it opens a comment anywhere in a
// line) and every "}" (it closes a block anywhere), and a first byte that
// cannot open an entry ("{", "[", "]" and "=" belong to the file's
// structure). Otherwise a name that the reader splits has its next piece
// read as the count of copies, or the sample is cut where the name stands.
std::string as_project_word(std::string_view name);
// `text` cut to `width` bytes for a field of that width. A cut that would
// split a UTF-8 character moves back to the character's first byte and
// blanks fill the field up to `width` again, so that the columns after the
// field stay where they are. A text of `width` bytes or fewer is returned
// as it is.
std::string cut_to_width(std::string_view text, std::size_t width);
// `text` as a message shows it: a text longer than `width` bytes cut to at
// most that, never inside a UTF-8 character, without the blanks that end
// the kept part, and followed by "...".
std::string shortened(std::string_view text, std::size_t width);
// `text` fit to stand quoted in a message of the log or of standard error:
// shortened to `width`, then every byte that a terminal would act on or
// could not show as it stands written as "\xHH" (upper-case hex, one per
// byte): control bytes, 0x7F, bytes that are not part of valid UTF-8, and
// the characters U+0080 to U+00A0 (C1 controls, no-break space). Other
// UTF-8 stays whole.
std::string message_text(std::string_view text, std::size_t width);
// A sample name fit to stand between the double quotes of SampleName= and
// of a structure's group: "#" (a comment anywhere in a project line), NUL,
// the control bytes but the tab, and 0xFF, which the project reader does not
// keep in a value, become "_"; a double quote becomes a blank (quotable).
std::string as_sample_name(std::string_view name);
// The names given in one file, each at most once: a haplotype's identifier
// names one definition in a project. One object per file read, so that no
// name outlives the file.
class UniqueNames {
public:
    // `name`, or, when it was given before, the first of "name_2",
    // "name_3", ... not given yet; the answer is given, marked `mark` (a
    // value of the caller's, see give).
    std::string unique(std::string const& name, std::size_t mark = 0);
    // Gives `name`, marked `mark`, when it was not given: true then; else
    // false, and `mark` becomes the mark it was given with.
    bool give(std::string const& name, std::size_t& mark);

private:
    std::unordered_map<std::string, std::size_t> given_;
    // The last suffix given to each name given more than once: "name_2" to
    // "name_<n>" were then all given, so the next try is n + 1, and a file
    // of N records of one name costs N lookups, not N * N / 2.
    std::unordered_map<std::string, long> last_;
};

}  // namespace quintle
