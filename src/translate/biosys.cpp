// Biosys files to projects (individual genotypes, genotype counts or
// genotype frequencies, laid out by a record format of edit descriptors),
// and genotypic projects to Biosys files of individual genotypes.

#include <algorithm>
#include <cctype>
#include <cmath>
#include <iomanip>
#include <limits>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "core/Errors.h"
#include "core/public.h"
#include "data/TAlleleDB.h"
#include "data/TPhenotype.h"
#include "data/TPopHaplotype.h"
#include "project/Project.h"
#include "project/Samples.h"
#include "translate/imp_exp.h"
#include "translate/text_lines.h"

namespace quintle {

namespace {

// No record layout is wider, and no sample of counts or frequencies larger:
// beyond, a file is taken for corrupt rather than read into memory.
constexpr int largest_format_number = 100000;
constexpr long largest_sample = 1000000;
// Far beyond any sample: a count this large is only ever refused or
// dropped, and sums of such counts stay far from overflowing.
constexpr long largest_count = 1000000000000000L;

// The value of the first "key=value" pair of a keyword line whose key is
// `key`, scanning pairs as "key=value," with one blank or tab after each
// comma; with `onlyFirst` only the pair that opens the line counts.
bool keyword_value(std::string const& line, std::string const& key, bool onlyFirst, std::string& value) {
    std::size_t pos = 0;
    while (pos < line.size()) {
        std::size_t const equal = line.find('=', pos);
        std::string const name = line.substr(pos, equal == std::string::npos ? std::string::npos : equal - pos);
        if (equal == std::string::npos) return false;
        std::size_t const comma = line.find(',', equal + 1);
        std::string const text = line.substr(equal + 1, comma == std::string::npos ? std::string::npos : comma - equal - 1);
        if (name == key) {
            value = text;
            return true;
        }
        if (onlyFirst || comma == std::string::npos) return false;
        pos = comma + 1;
        if (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
    }
    return false;
}

// A field of a record: the characters of [from, from + width) that the
// line holds, without outer blanks; missing data "?" when none is left.
std::string field(std::string const& line, std::size_t from, int width) {
    if (width <= 0 || from >= line.size()) return width <= 0 ? std::string() : std::string("?");
    std::string const text = trimmed(std::string_view(line).substr(from, static_cast<std::size_t>(width)));
    return text.empty() ? std::string("?") : text;
}

// Bytes that stand for nothing in a line between records: blanks, tabs,
// carriage returns, form feeds, vertical tabs and the DOS end-of-file byte.
bool is_filler(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v' || c == '\x1A'; }

// What a line between or inside samples is: blank (only filler bytes), the
// word "NEXT" (a sample ends), "END;" or "END" (the data end), each in any
// case and with filler around it, or data.
enum class LineKind { blank, next, end, data };

LineKind kind_of(std::string_view line) {
    while (!line.empty() && is_filler(line.front())) line.remove_prefix(1);
    while (!line.empty() && is_filler(line.back())) line.remove_suffix(1);
    if (line.empty()) return LineKind::blank;
    auto is = [line](std::string_view word) {
        return line.size() == word.size() && std::equal(line.begin(), line.end(), word.begin(), [](char a, char b) {
                   return std::toupper(static_cast<unsigned char>(a)) == b;
               });
    };
    if (is("NEXT")) return LineKind::next;
    if (is("END;") || is("END")) return LineKind::end;
    return LineKind::data;
}

// The next line that is not blank, and its kind; false at the end of the input.
bool next_unblank(TextLines& in, std::string& line, LineKind& kind) {
    while (in.next(line)) {
        kind = kind_of(line);
        if (kind != LineKind::blank) return true;
    }
    return false;
}

// A count or a sample size: its digits, blanks, tabs and carriage returns
// passed over wherever they stand ("1 2" is 12), and at most one point
// followed only by zeros ("2.0" is 2). None for any other text, so that a
// sign, a letter or a fraction is not read as other digits. An empty text is
// 0; a longer number than an int holds is read as the largest.
std::optional<int> whole_number(std::string_view text) {
    constexpr long largest = std::numeric_limits<int>::max();
    long value = 0;
    bool point = false;
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == '\r') continue;
        if (c == '.' && !point) {
            point = true;
        } else if (c < '0' || c > '9' || (point && c != '0')) {
            return std::nullopt;
        } else if (!point) {
            value = std::min(largest, value * 10 + (c - '0'));
        }
    }
    return static_cast<int>(value);
}

// size × (whole + 0.d1 d2 ... dm), rounded to the nearest whole number, a
// half to the even one. Decimal digits are multiplied exactly, since 0.250
// read as a double is a little less than a quarter and would lose an
// individual. The digits are taken from the last: `carry` ends as what they
// add to the whole part, `tenth` is the first decimal of the product and
// `rest` tells whether any later decimal is not 0.
long rounded_product(long size, long whole, std::string_view decimals) {
    long carry = 0;
    int tenth = 0;
    bool rest = false;
    for (std::size_t i = decimals.size(); i-- > 0;) {
        long const t = size * (decimals[i] - '0') + carry;
        rest = rest || tenth != 0;
        tenth = static_cast<int>(t % 10);
        carry = t / 10;
    }
    long const product = size * whole + carry;
    bool const up = tenth > 5 || (tenth == 5 && (rest || product % 2 != 0));
    return product + (up ? 1 : 0);
}

// Individuals a frequency field stands for in a sample of `size`, rounded
// as rounded_product does; none when the field is not a decimal number.
// A field that writes its own point is read as the number it writes, blanks
// around it ignored ("0.25" is 0.25). Otherwise the field has an implied
// point after its first character and its blanks read as zeros (" 250" is
// 0.250).
std::optional<long> frequency_count(std::string text, long size) {
    if (text.find('.') != std::string::npos) {
        std::string const number = trimmed(text);
        std::size_t const point = number.find('.');
        std::string_view const whole = std::string_view(number).substr(0, point);
        std::string_view const decimals = std::string_view(number).substr(point + 1);
        if (!all_digits(whole) || !all_digits(decimals) || whole.size() + decimals.size() == 0)
            return std::nullopt;
        if (size <= 0) return 0;
        std::size_t const first = std::min(whole.find_first_not_of('0'), whole.size());
        // Beyond 10^9 the product could overflow; it is far beyond any sample.
        if (whole.size() - first > 9) return largest_count;
        long const units = first == whole.size() ? 0 : std::stol(std::string(whole.substr(first)));
        return std::min(largest_count, rounded_product(size, units, decimals));
    }
    if (text.empty() || size <= 0) return 0;
    std::replace(text.begin(), text.end(), ' ', '0');
    if (!all_digits(text)) {
        // A sign or exponent of its own: read as a number.
        text.insert(text.begin() + 1, '.');
        double const x = my_atof(text.c_str()) * static_cast<double>(size);
        if (!(x > 0.0)) return 0;
        if (x >= static_cast<double>(largest_count)) return largest_count;
        return static_cast<long>(std::nearbyint(x));
    }
    return rounded_product(size, text[0] - '0', std::string_view(text).substr(1));
}

// Columns [from, from + width) of `line` hold only blanks and tabs; columns
// past the line's end count as blanks.
bool blank_columns(std::string_view line, std::size_t from, std::size_t width) {
    return from >= line.size() || is_blank(line.substr(from, width));
}

// A whole number written with at least one digit.
bool written_number(std::string_view text) {
    return text.find_first_of("0123456789") != std::string_view::npos && whole_number(text).has_value();
}

using BiosysLayout = imp_exp::BiosysLayout;
using BiosysFormatLine = imp_exp::BiosysFormatLine;

// A record of individual genotypes as the first format line lays it out:
// its lead-blank and gap columns blank, an allele field not blank, and its
// text reaching into the line's last allele field that has a width.
bool reads_as_record(std::string_view line, BiosysLayout const& layout) {
    BiosysFormatLine const& f = layout.lines[0];
    std::size_t const width = static_cast<std::size_t>(f.first) + static_cast<std::size_t>(f.second);
    if (f.loci == 0 || width == 0) return false;
    std::size_t pos = static_cast<std::size_t>(layout.nameWidth);
    if (!blank_columns(line, pos, static_cast<std::size_t>(layout.leadBlanks))) return false;
    pos += static_cast<std::size_t>(layout.leadBlanks);
    bool allele = false;
    for (int l = 0; l < f.loci && pos < line.size(); ++l) {
        if (!blank_columns(line, pos, static_cast<std::size_t>(f.gap))) return false;
        pos += static_cast<std::size_t>(f.gap);
        allele = allele || !blank_columns(line, pos, width);
        pos += width;
    }
    std::size_t const lineEnd = static_cast<std::size_t>(layout.nameWidth) +
                                static_cast<std::size_t>(layout.leadBlanks) +
                                static_cast<std::size_t>(f.loci) * (static_cast<std::size_t>(f.gap) + width);
    std::size_t const lastField = lineEnd - static_cast<std::size_t>(f.second > 0 ? f.second : f.first);
    std::size_t const lastByte = line.find_last_not_of(" \t");
    return allele && lastByte != std::string_view::npos && lastByte >= lastField;
}

// Where the fields of an entry of counts or frequencies start: the gap,
// the two alleles, the blank column ("1X") and the value.
struct EntryColumns {
    std::size_t gap, first, second, blank, value;
};

// The columns of the entry that starts at `pos` under the format line `f`;
// `pos` moves past the entry.
EntryColumns next_entry(std::size_t& pos, BiosysFormatLine const& f) {
    EntryColumns e{};
    e.gap = pos;
    e.first = e.gap + static_cast<std::size_t>(f.gap);
    e.second = e.first + static_cast<std::size_t>(f.first);
    e.blank = e.second + static_cast<std::size_t>(f.second);
    e.value = e.blank + 1;
    pos = e.value + static_cast<std::size_t>(f.value);
    return e;
}

// The text of an entry's value, as much of it as the line holds.
std::string_view value_text(std::string_view line, EntryColumns const& e, BiosysFormatLine const& f) {
    return e.value < line.size() ? line.substr(e.value, static_cast<std::size_t>(f.value)) : std::string_view();
}

// A line of genotype counts as the first format line lays it out: its
// lead-blank columns, and the gap and "1X" columns of every entry it holds,
// blank; an allele field not blank; every count a whole number, one above 0.
bool reads_as_counts(std::string_view line, BiosysLayout const& layout) {
    BiosysFormatLine const& f = layout.lines[0];
    std::size_t pos = static_cast<std::size_t>(layout.leadBlanks);
    if (!blank_columns(line, 0, pos)) return false;
    bool allele = false;
    bool counted = false;
    while (pos < line.size()) {
        EntryColumns const e = next_entry(pos, f);
        if (!blank_columns(line, e.gap, static_cast<std::size_t>(f.gap)) || !blank_columns(line, e.blank, 1))
            return false;
        allele = allele || !blank_columns(line, e.first, e.blank - e.first);
        std::optional<int> const n = whole_number(value_text(line, e, f));
        if (!n) return false;
        counted = counted || *n > 0;
    }
    return allele && counted;
}

// A sample-size line of genotype frequencies in its parts: the label before
// its first "=" and the number after it; without "=", its first eight
// bytes and the rest (no number in a line of eight bytes or fewer).
struct SizeLine {
    std::string_view label;
    std::string_view number;
    bool equal = false;
};

SizeLine size_line(std::string_view line) {
    std::size_t const equal = line.find('=');
    if (equal != std::string_view::npos) return {line.substr(0, equal), line.substr(equal + 1), true};
    if (line.size() > 8) return {line.substr(0, 8), line.substr(8), false};
    return {line, std::string_view(), false};
}

// A sample-size line: only blanks, tabs and the letter N in its label, a
// whole number written with a digit after it.
bool reads_as_size(std::string_view line) {
    SizeLine const size = size_line(line);
    return std::all_of(size.label.begin(), size.label.end(),
                       [](char c) { return c == ' ' || c == '\t' || c == 'N' || c == 'n'; }) &&
           written_number(size.number);
}

// A sample as messages name it: its number, its name and the file.
std::string sample_of(int s, std::string const& name, std::string const& file) {
    return "sample " + std::to_string(s + 1) + " (\"" + message_text(trimmed(name), 40) + "\") of " + file;
}

// The line `line` reads as the first data line of a sample: a record
// (data type 1), genotype counts (2) or a sample size (3).
bool opens_sample(std::string_view line, int datyp, BiosysLayout const& layout) {
    if (layout.lines.empty() || kind_of(line) != LineKind::data) return false;
    if (datyp == 1) return reads_as_record(line, layout);
    return datyp == 2 ? reads_as_counts(line, layout) : reads_as_size(line);
}

// A blank line read as the name line of a sample: its number and the
// sample's first data line, which follows it.
struct EmptyNameLine {
    long number = 0;
    std::string data;
};

// The line where a sample's name is expected, and its kind; false at the
// end of the input. Blank lines are passed over, but for one that the
// sample's first data line follows: that is the name line of a sample
// whose name is empty (`line` empty, kind blank, `empty` set), its data
// line next.
bool next_name_line(TextLines& in, std::string& line, LineKind& kind, int datyp, BiosysLayout const& layout,
                    std::optional<EmptyNameLine>& empty) {
    while (in.next(line)) {
        kind = kind_of(line);
        if (kind != LineKind::blank) return true;
        std::string after;
        if (!in.next(after)) return false;
        bool const named = opens_sample(after, datyp, layout);
        if (named) empty = EmptyNameLine{in.line_number() - 1, after};
        in.unread(std::move(after));
        if (named) {
            line.clear();
            return true;
        }
    }
    return false;
}

// The next line where a sample's data go on: false at the end of the input
// (`line` empty) and at a line that reads as "NEXT" or "END;".
bool data_line(TextLines& in, std::string& line) {
    if (!in.next(line)) return false;
    LineKind const kind = kind_of(line);
    return kind != LineKind::next && kind != LineKind::end;
}

// Where a sample's data stopped short: the line data_line refused, or the
// end of the file.
std::string where_data_stop(TextLines const& in, std::string const& line) {
    if (line.empty()) return "at the end of the file";
    return "at line " + std::to_string(in.line_number()) + " (\"" + message_text(trimmed(line), 40) + "\")";
}

// After the last sample a file may hold blank lines and "NEXT" lines up to
// its first "END;" or its end; past "END;" nothing is read. True when a
// line with anything else comes first: then `line` holds it.
bool data_after_last_sample(TextLines& in, std::string& line) {
    LineKind kind = LineKind::blank;
    while (next_unblank(in, line, kind)) {
        if (kind == LineKind::end) return false;
        if (kind == LineKind::data) return true;
    }
    return false;
}

// Why a file holding data after its `notu` samples is refused; `line` is
// its line `number`.
std::string more_than_declared(std::string const& file, int notu, long number, std::string const& line) {
    std::string const shown = message_text(trimmed(line), 40);
    std::string const after = notu == 1 ? " sample, and holds more data after it"
                                        : " samples, and holds more data after the last of them";
    return file + " declares " + std::to_string(notu) + after + " at line " + std::to_string(number) + " (\"" + shown +
           "\"): the file is not converted";
}

// Reading position in a format text, blanks removed.
class FormatCursor {
public:
    explicit FormatCursor(std::string_view format) : text_(without_blanks(format)) {}
    bool at(char c) const { return pos_ < text_.size() && text_[pos_] == c; }
    void skip(char c) {
        if (at(c)) ++pos_;
    }
    // The number written up to the next `stop`, which is passed over.
    bool number_to(char stop, int& value) {
        std::size_t const end = text_.find(stop, pos_);
        if (end == std::string::npos) return false;
        std::string const digits = text_.substr(pos_, end - pos_);
        pos_ = end + 1;
        value = my_atoi(digits.c_str());
        return value >= 0 && value <= largest_format_number;
    }
    // The text up to the next `stop`, which is passed over.
    bool text_to(char stop, std::string& value) {
        std::size_t const end = text_.find(stop, pos_);
        if (end == std::string::npos) return false;
        value = text_.substr(pos_, end - pos_);
        pos_ = end + 1;
        return true;
    }

private:
    std::string text_;
    std::size_t pos_ = 0;
};

// The two gametes of the individuals of a sample of counts or frequencies.
struct Individuals {
    std::vector<std::string> first;
    std::vector<std::string> second;
};

}  // namespace

bool imp_exp::read_format1(std::string const& text, BiosysLayout& layout) { return read_format(text, 1, layout); }
bool imp_exp::read_format2(std::string const& text, BiosysLayout& layout) { return read_format(text, 2, layout); }
bool imp_exp::read_format3(std::string const& text, BiosysLayout& layout) { return read_format(text, 3, layout); }

bool imp_exp::read_format(std::string const& text, int datyp, BiosysLayout& layout) {
    layout = BiosysLayout{};
    FormatCursor c(text);
    auto reject = [this] {
        *of_str << " ***** ERROR *****" << '\n';
        return false;
    };
    c.skip('(');
    if (datyp == 1) {
        if (!c.at('A')) return reject();
        c.skip('A');
        if (!c.number_to(',', layout.nameWidth)) return reject();
    }
    if (!c.number_to('X', layout.leadBlanks)) return reject();
    c.skip(',');
    for (;;) {
        BiosysFormatLine line;
        if (!c.number_to('(', line.loci) || !c.number_to('X', line.gap)) return reject();
        c.skip(',');
        c.skip('A');
        if (!c.number_to(',', line.first)) return reject();
        c.skip('A');
        if (datyp == 1) {
            if (!c.number_to(')', line.second)) return reject();
        } else {
            std::string blank;
            if (!c.number_to(',', line.second) || !c.text_to(',', blank) || blank != "1X") return reject();
            c.skip(datyp == 2 ? 'I' : 'F');
            if (!c.number_to(datyp == 2 ? ')' : '.', line.value)) return reject();
            std::string decimals;
            if (datyp == 3 && !c.text_to(')', decimals)) return reject();
        }
        layout.lines.push_back(line);
        if (!c.at('/')) break;
        c.skip('/');
    }
    return true;
}

void imp_exp::read_biosys() {
    std::ostream& out = *of_str;
    TextLines in(in_file_name, line_limit);
    std::string title;
    in.next_filled(title);
    out << "[Profile]" << '\n';
    out << "\t Title= \" " << quotable(title) << " \"" << '\n';

    std::string line;
    in.next(line);
    int notu = 0;
    int nloc = 0;
    std::string value;
    if (keyword_value(line, "NOTU", false, value)) notu = my_atoi(value.c_str());
    if (keyword_value(line, "NLOC", false, value)) nloc = my_atoi(value.c_str());
    out << "\t NbSamples=" << notu << "\n";
    out << "\t GenotypicData=";
    // Records of one allele per locus are known only from the format, lines
    // later: the digit is then written again as 0.
    std::streampos const genotypic = out.tellp();
    out << "1\n";
    out << "\t GameticPhase=0\n";
    out << "\t DataType=STANDARD\n";
    out << "\t MissingData=\"?\"\n";
    out << "\t LocusSeparator=WHITESPACE\n\n";
    out << "#The locus listing of Mega has been commented out" << '\n';
    while (in.next(line)) {
        out << "#" << line << '\n';
        if (contains_upper(line, "STEP DATA")) break;
    }
    out << "#" << '\n' << "#" << '\n';

    in.next(line);
    int datyp = 0;
    if (keyword_value(line, "DATYP", true, value)) datyp = my_atoi(value.c_str());
    if (datyp < 1 || datyp > 3) return;

    std::string format;
    in.next(format);
    BiosysLayout layout;
    bool const parsed = datyp == 1 ? read_format1(format, layout)
                                   : (datyp == 2 ? read_format2(format, layout) : read_format3(format, layout));
    if (!parsed) return;
    bool const haploid = datyp == 1 && std::all_of(layout.lines.begin(), layout.lines.end(),
                                                    [](BiosysFormatLine const& l) { return l.second == 0; });
    if (haploid && genotypic != std::streampos(-1)) {
        out.seekp(genotypic);
        out << '0';
        out.seekp(0, std::ios::end);
    }

    int total = 0;
    for (BiosysFormatLine const& l : layout.lines) total += l.loci;
    out << "#Number of lines=" << layout.lines.size() << '\n';
    out << "#Name field has " << (datyp == 3 ? "lenght " : "length ") << layout.nameWidth
        << (datyp == 1 ? " followed by " : " then ") << layout.leadBlanks << " blanks" << '\n';
    out << (datyp == 1 ? "#There are " : "#We have ") << nloc << " loci, " << '\n';
    for (std::size_t i = 0; i < layout.lines.size(); ++i) {
        BiosysFormatLine const& l = layout.lines[i];
        out << "#\tformat of line number " << i << " : " << l.loci << " loci, (" << l.gap << "X, A" << l.first << ", A"
            << l.second;
        if (datyp != 1) out << ", 1X, I" << l.value;
        out << ")" << '\n';
    }
    bool const compatible = total == nloc;
    if (datyp == 1) {
        out << (compatible ? "#The given number of loci is compatible with the actual number of loci"
                           : "#!!!#The given number of loci is not compatible with the actual number of loci!!!")
            << '\n';
    } else if (datyp == 2) {
        out << (compatible ? "#Nb of Loci is compatible" : "#!!!!Nb of Loci is not compatible!!!") << '\n';
    } else {
        out << (compatible ? "#Nb of Loci are compatible" : "#!!!!Nb of Loci are not compatible!!!") << '\n';
    }
    out << '\n' << '\n' << "[Data]" << '\n' << "\t [[Samples]]" << '\n';
    if (datyp == 1)
        read_biosys_records(in, notu, layout);
    else
        read_biosys_counts(in, datyp, notu, nloc, layout);
}

void imp_exp::tell_empty_name(int s, long blank, std::string const& data, int& told) {
    constexpr int each = 10;
    std::string const sample = "sample " + std::to_string(s + 1);
    if (++told <= each) {
        warn_source("line " + std::to_string(blank) + " of " + in_file_name + " is blank where the name of " + sample +
                    " is expected, and line " + std::to_string(blank + 1) + " (\"" + message_text(trimmed(data), 40) +
                    "\") reads as its first data line: " + sample + " is given an empty name");
        return;
    }
    int const more = told - each;
    hold_warning(std::to_string(more) + (more == 1 ? " more sample of " : " more samples of ") + in_file_name +
                 (more == 1 ? " is" : " are") + " given an empty name the same way");
}

void imp_exp::read_biosys_records(TextLines& in, int notu, BiosysLayout const& layout) {
    std::ostream& out = *of_str;
    bool const diploid = !layout.lines.empty() && layout.lines[0].second != 0;
    // One allele per locus makes each individual a haplotype, whose
    // identifier names one definition in the whole project: a name used
    // before is made unique.
    UniqueNames given;
    std::string line;
    int emptyNames = 0;
    for (int s = 0; s < notu; ++s) {
        // Blank lines are passed over where a name or a record may begin. A
        // file whose data end before its declared samples is left to the
        // project reader, which refuses it.
        std::string name;
        LineKind kind = LineKind::blank;
        std::optional<EmptyNameLine> empty;
        if (!next_name_line(in, name, kind, 1, layout, empty) || kind == LineKind::end) return;
        if (empty) tell_empty_name(s, empty->number, empty->data, emptyNames);
        std::ostringstream data;
        int individuals = 0;
        bool more = true;
        if (kind == LineKind::next)
            name.clear();  // a sample ended before its name: it holds nothing
        else
            more = next_unblank(in, line, kind);
        while (more && kind == LineKind::data) {
            // One record: a physical line per format line, the first opened
            // by the name.
            std::string first, second;
            std::string const record = without_blanks(line.substr(0, std::min<std::size_t>(line.size(), layout.nameWidth)));
            std::string const id = as_project_word(record);
            for (std::size_t i = 0; i < layout.lines.size(); ++i) {
                // A sample's end inside a record would be read as its alleles.
                if (i > 0 && !data_line(in, line)) {
                    refuse_source("record " + std::to_string(individuals + 1) + " (\"" + message_text(record, 40) +
                                  "\") of " + sample_of(s, name, in_file_name) + " ends before its line " +
                                  std::to_string(i + 1) +
                                  " of " + std::to_string(layout.lines.size()) + ", " + where_data_stop(in, line) +
                                  ": the file is not converted");
                    return;
                }
                BiosysFormatLine const& f = layout.lines[i];
                std::size_t pos = i == 0 ? static_cast<std::size_t>(layout.nameWidth + layout.leadBlanks) : 0;
                for (int l = 0; l < f.loci; ++l) {
                    pos += static_cast<std::size_t>(f.gap);
                    first += field(line, pos, f.first) + ' ';
                    pos += static_cast<std::size_t>(f.first);
                    second += field(line, pos, f.second) + ' ';
                    pos += static_cast<std::size_t>(f.second);
                }
            }
            ++individuals;
            std::string const written = id.empty() ? "ind" + std::to_string(individuals) : id;
            data << (diploid ? written : given.unique(written)) << " 1 " << first << '\n';
            if (diploid) data << "\t\t " << second << '\n';
            more = next_unblank(in, line, kind);
        }
        out << "\t\t SampleName=\"" << as_sample_name(trimmed(name)) << "\"" << '\n';
        out << "\t\t SampleSize= " << individuals << '\n';
        out << "\t\t SampleData={" << '\n';
        out << data.str();
        // A sample ends at "NEXT", the data at "END;" or at the end of the file.
        out << "}" << '\n';
        if (!more || kind == LineKind::end) return;
    }
    // The last sample ended at "NEXT".
    if (notu > 0 && data_after_last_sample(in, line))
        refuse_source(more_than_declared(in_file_name, notu, in.line_number(), line));
}

void imp_exp::read_biosys_counts(TextLines& in, int datyp, int notu, int nloc, BiosysLayout const& layout) {
    std::ostream& out = *of_str;
    std::string line;
    int emptyNames = 0;
    for (int s = 0; s < notu; ++s) {
        std::string name;
        LineKind kind = LineKind::blank;
        std::optional<EmptyNameLine> empty;
        if (!next_name_line(in, name, kind, datyp, layout, empty)) return;
        if (kind == LineKind::next && !next_name_line(in, name, kind, datyp, layout, empty)) return;
        if (kind == LineKind::end) return;
        if (empty) tell_empty_name(s, empty->number, empty->data, emptyNames);
        out << "\t\t SampleName=\"" << as_sample_name(trimmed(name)) << "\"" << '\n';
        std::string const sample = sample_of(s, name, in_file_name);
        long declared = 0;
        if (datyp == 3) {
            std::string text;
            in.next(text);
            SizeLine const size = size_line(text);
            std::optional<int> const n = whole_number(size.number);
            if (!n) {
                refuse_source("the sample size \"" + message_text(trimmed(size.number), 40) + "\"" +
                              (size.equal ? " after \"N=\"" : "") + " of " + sample +
                              " is not a whole number: the file is not converted");
                return;
            }
            declared = *n;
        }

        Individuals ind;
        for (int k = 0; k < nloc; ++k) {
            std::size_t next = 0;  // the individual the next entry of this block goes to
            long surplus = 0;
            for (BiosysFormatLine const& f : layout.lines) {
                // A file that ends before the loci it declares would be
                // converted in part, every locus after its end missing: and
                // a garbled NLOC would have millions of them written.
                // So would a sample that ends early, its "NEXT" or "END;" read
                // as a locus.
                if (!data_line(in, line)) {
                    refuse_source(in_file_name + " declares " + std::to_string(nloc) + " loci, and its data end at locus " +
                                  std::to_string(k + 1) + " of sample " + std::to_string(s + 1) +
                                  (line.empty() ? "" : ", " + where_data_stop(in, line)) +
                                  ": the file is not converted");
                    return;
                }
                std::size_t pos = static_cast<std::size_t>(layout.leadBlanks);
                while (pos < line.size()) {
                    EntryColumns const e = next_entry(pos, f);
                    std::string const a1 = field(line, e.first, f.first);
                    std::string const a2 = field(line, e.second, f.second);
                    std::string text(value_text(line, e, f));
                    long count = 0;
                    if (datyp == 2) {
                        std::optional<int> const n = whole_number(text);
                        if (!n) {
                            refuse_source("the count \"" + message_text(trimmed(text), 40) + "\" at locus " +
                                          std::to_string(k + 1) + " of " + sample +
                                          " is not a whole number: the file is not converted");
                            return;
                        }
                        count = *n;
                    } else if (std::optional<long> const c = frequency_count(text, declared)) {
                        count = *c;
                    } else {
                        refuse_source("the frequency \"" + message_text(text, 40) + "\" at locus " +
                                      std::to_string(k + 1) + " of " + sample +
                                      " is not a decimal number: the file is not converted");
                        return;
                    }
                    if (count <= 0) continue;
                    if (k == 0) {
                        // Kept whole or not at all: a sample cut at the bound
                        // would be converted in part.
                        if (static_cast<long>(ind.first.size()) + count > largest_sample) {
                            refuse_source("the first locus of " + sample + " makes more than " +
                                          std::to_string(largest_sample) +
                                          " individuals, the most a sample is read with: the file is not converted");
                            return;
                        }
                        ind.first.insert(ind.first.end(), static_cast<std::size_t>(count), a1);
                        ind.second.insert(ind.second.end(), static_cast<std::size_t>(count), a2);
                        continue;
                    }
                    for (long c = 0; c < count; ++c, ++next) {
                        if (next >= ind.first.size()) {
                            surplus = std::min(largest_count, surplus + count - c);
                            break;
                        }
                        ind.first[next] += " " + a1;
                        ind.second[next] += " " + a2;
                    }
                }
            }
            if (k == 0) {
                // The project keeps the declared size; the log says that the
                // frequencies do not make it.
                long const made = static_cast<long>(ind.first.size());
                if (datyp == 3 && made != declared) {
                    end_reading_line();
                    *_AOS_ << "WARNING: the frequencies of the first locus of sample " << s + 1 << " (\""
                           << message_text(trimmed(name), 40) << "\") of " << in_file_name << " make " << made
                           << " individuals, not its declared size of " << declared << std::endl;
                }
                continue;
            }
            // Every block is expected to cover the individuals of the first.
            // Counts are exact, so more individuals than the first locus made
            // is an error of the file; frequencies rounded to the decimals
            // of their field routinely make one more or fewer.
            if (datyp == 2 && surplus > 0) {
                refuse_source("locus " + std::to_string(k + 1) + " of " + sample + " counts " + std::to_string(surplus) +
                              " individuals more than its first locus: the file is not converted");
                return;
            }
            if (surplus > 0)
                out << "#!!! Locus " << k + 1 << " of sample " << s + 1 << " counts " << surplus
                    << " individuals more than its first locus: they are dropped" << '\n';
            if (next < ind.first.size()) {
                out << "#!!! Locus " << k + 1 << " of sample " << s + 1 << " counts " << ind.first.size() - next
                    << " individuals fewer than its first locus: they are missing there" << '\n';
                for (std::size_t j = next; j < ind.first.size(); ++j) {
                    ind.first[j] += " ?";
                    ind.second[j] += " ?";
                }
            }
        }

        out << "\t\t SampleSize=" << (datyp == 3 ? declared : static_cast<long>(ind.first.size())) << '\n';
        out << "\t\t SampleData={" << '\n';
        for (std::size_t j = 0; j < ind.first.size(); ++j) {
            out << "ind" << j + 1 << "   1   " << ind.first[j] << "\n";
            out << std::string(13, ' ') << ind.second[j] << "\n";
        }
        out << "}\n\n" << std::flush;
    }
    // The stream stands after the last locus block of the last sample.
    if (notu > 0 && data_after_last_sample(in, line))
        refuse_source(more_than_declared(in_file_name, notu, in.line_number(), line));
}

void imp_exp::write_biosys() {
    Project& p = *proj;
    std::ostream& out = *of_str;
    if (p.GenotypicData == 0) {
        out << "  It is not possible to translate Haplotypic data into the\n"
            << "  BIOSYS format." << '\n';
        refuse_project("a Biosys file holds genotypic data only, and the data of this project are haplotypic");
        return;
    }
    if (!copies_to_write()) return;
    TAlleleDB const& db = p.allele_db;
    long const loci = db.loci.count;
    long nall = 0;
    std::size_t width = 0;
    for (long l = 0; l < loci; ++l) {
        TLocus const* locus = db.loci.data[l];
        if (locus == nullptr) continue;
        // The first entry of each list is the blank every locus starts with.
        for (long a = 1; a < locus->alleles.count; ++a) {
            if (TAllele const* allele = locus->alleles.data[a]) {
                ++nall;
                width = std::max(width, static_cast<std::size_t>(allele->name.length()));
            }
        }
    }
    Samples const& samples = *p.samples;
    out << p.Title << '\n';
    out << "NOTU=" << samples.Populations.count << ", NLOC=" << loci << ", NALL=" << nall << ", CRT;" << '\n';
    out << "(" << loci << "(1X,A7))" << '\n';
    for (long l = 0; l < loci; ++l) out << (l < 10 ? "LOCI0" : "LOCI") << l << ' ';
    out << "\n\n";
    out << "STEP DATA:\n" << "DATYP=1,ALPHA" << '\n';
    out << "(A7,3X," << loci << "(1X,A" << width << ",A" << width << "))" << '\n';

    // Left-aligned in `n` columns, cut to them.
    auto column = [](std::string_view text, std::size_t n) {
        std::string out = cut_to_width(text, n);
        out.resize(n, ' ');
        return out;
    };
    auto allele = [&](TPopHaplotype const* h, long l) {
        TAllele const* a = h != nullptr && l < h->alleles.count ? h->alleles.data[l] : nullptr;
        return column(a != nullptr ? a->name.c_str() : "?", width);
    };
    for (long s = 0; s < samples.Populations.count; ++s) {
        Population const* pop = samples.Populations.data[s];
        if (pop == nullptr) continue;
        out << column(std::to_string(s), 4) << column(pop->name.c_str(), 16) << '\n';
        for (long k = 0; k < pop->phenotypes.size(); ++k) {
            TPhenotype const* ind = pop->phenotypes[k];
            if (ind == nullptr) continue;
            // The alleles are made once for all the individuals the genotype
            // stands for, and all their copies.
            std::string alleles;
            for (long l = 0; l < loci; ++l)
                alleles += ' ' + allele(ind->pseudo1.get(), l) + allele(ind->pseudo2.get(), l);
            ind->for_each_individual([&](std::string_view name, double count) {
                int const copies = individual_copies(count);
                std::string const named = column(name, 7);
                for (int c = 0; c < copies; ++c) out << named << "   " << alleles << '\n';
            });
        }
        out << "NEXT" << '\n';
    }
    out << "END;" << '\n';
}

}  // namespace quintle
