// Readers of a sample's "SampleData" block: the line readers used for every
// run, and the older character-stream readers of the older project reader.

#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <unordered_map>

#include "core/Errors.h"
#include "core/parsing.h"
#include "core/public.h"
#include "data/HaploDef.h"
#include "data/Haplo_DB.h"
#include "data/Population.h"
#include "data/TPhenotype.h"

namespace quintle {

namespace {

constexpr char const* kGameticFn = "Population::New_read_gametic_data()";
constexpr char const* kGenotypicFn = "Population::New_read_genotypic_data()";
constexpr char const* kOldGameticFn = "Population::read_gametic_data()";
constexpr char const* kOldGenotypicFn = "Population::read_genotypic_data()";

void report(ErrorType kind, std::string const& function, int number) {
    E.error(kind, my_string(function.c_str()), number);
}

std::ostream& aos() { return *_AOS_; }

bool is_delimiter(char c) { return c == ' ' || c == '\t' || c == '\n'; }

// Position of the first delimiter at or after pos, or the text's size. Eight
// characters are tested at a time: a sequence is a long word.
std::size_t find_delimiter(std::string_view text, std::size_t pos) {
    constexpr std::uint64_t ones = 0x0101010101010101ULL;
    constexpr std::uint64_t highs = 0x8080808080808080ULL;
    auto holds = [](std::uint64_t x, unsigned char c) {
        std::uint64_t const y = x ^ (ones * c);
        return (y - ones) & ~y & highs;  // nonzero when a byte of x is c
    };
    while (pos + 8 <= text.size()) {
        std::uint64_t x = 0;
        std::memcpy(&x, text.data() + pos, 8);
        if ((holds(x, ' ') | holds(x, '\t') | holds(x, '\n')) != 0) break;
        pos += 8;
    }
    while (pos < text.size() && !is_delimiter(text[pos])) ++pos;
    return pos;
}

// ------------------------------------------------------------------ lines

enum class LineStatus {
    Data,        // a line to read (possibly without words)
    BlockEnd,    // a '}' in the first column
    EndOfFile,   // nothing more to read
    NewSection,  // a section keyword before the closing brace
    Unreadable,  // longer than a text can hold
};

// Upper-case copy of a line, as the C locale's toupper makes it, into a
// buffer kept from line to line.
void ascii_upper(std::string_view text, std::string& upper) {
    upper.resize(text.size());
    char const* const from = text.data();
    char* const to = upper.data();
    std::size_t const n = text.size();
    for (std::size_t i = 0; i < n; ++i) {
        char const c = from[i];
        to[i] = static_cast<char>(c - ((c >= 'a' && c <= 'z') ? 'a' - 'A' : 0));
    }
}

// One physical line of a sample block: leading tabs and blanks skipped in the
// file, the whole line read into `buffer`, then cut at its first '#' and at a
// '}' (`closing` tells the block ends after this line); `work` shows the
// part of `buffer` that is kept. `upper` is scratch room for the keyword
// search.
LineStatus next_line(std::ifstream& in, int& line, my_string& buffer, std::string_view& work, std::string& upper,
                     bool& closing) {
    closing = false;
    work = {};
    while (in.peek() == ' ' || in.peek() == '\t') in.get();
    if (!in.good() || in.peek() == std::char_traits<char>::eof()) return LineStatus::EndOfFile;
    buffer.read_line(in);
    ++line;
    if (in.fail()) return LineStatus::Unreadable;

    work = std::string_view(buffer.c_str(), static_cast<std::size_t>(buffer.length()));
    // The line end of a file written with CR LF is not part of the data.
    if (!work.empty() && work.back() == '\r') work.remove_suffix(1);
    if (auto hash = work.find('#'); hash != std::string_view::npos) work = work.substr(0, hash);
    if (auto brace = work.find('}'); brace != std::string_view::npos) {
        if (brace == 0) return LineStatus::BlockEnd;
        work = work.substr(0, brace);
        closing = true;
    }
    ascii_upper(work, upper);
    if (upper.find("SAMPLENAME") != std::string::npos || upper.find("[STRUCTURE]") != std::string::npos ||
        upper.find("[MANTEL]") != std::string::npos)
        return LineStatus::NewSection;
    return LineStatus::Data;
}

void report_new_section(Population const& p, int line, char const* function) {
    aos() << "\tMissing closing brace for sample \"" << p.name << "\". New section found on line " << line
          << " before finding closing brace.  Aborting reading procedure" << std::endl;
    report(ERROR, function, 194);
}

// A line that ends a block's reading with a failure: a new section before
// the closing brace, or an unreadable line (reported with
// `unreadableMessage`). False for any other line, which is left alone.
bool reported_bad_line(LineStatus status, Population const& p, int line, char const* function,
                       int unreadableMessage) {
    if (status == LineStatus::NewSection) {
        report_new_section(p, line, function);
        return true;
    }
    if (status == LineStatus::Unreadable) {
        aos() << "\tUnable to read line " << line << ", aborting reading procedure" << std::endl;
        report(ERROR, function, unreadableMessage);
        return true;
    }
    return false;
}

// Words of a line, each ending at the next tab, blank or newline; two
// delimiters in a row enclose an empty word.
class Words {
public:
    explicit Words(std::string_view text) : text_(text) {}

    bool at_end() const { return pos_ >= text_.size(); }
    // True when only delimiters are left.
    bool rest_blank() const {
        for (std::size_t i = pos_; i < text_.size(); ++i)
            if (!is_delimiter(text_[i])) return false;
        return true;
    }
    // The next word; `delimited` tells whether a delimiter ended it.
    std::string_view next(bool* delimited = nullptr) {
        std::size_t start = pos_;
        pos_ = find_delimiter(text_, pos_);
        std::string_view word = text_.substr(start, pos_ - start);
        bool const ended = pos_ < text_.size();
        if (ended) ++pos_;
        if (delimited != nullptr) *delimited = ended;
        return word;
    }
    // The next non-empty word.
    std::string_view next_nonempty(bool* delimited = nullptr) {
        while (pos_ < text_.size() && is_delimiter(text_[pos_])) ++pos_;
        return next(delimited);
    }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

// A count that is a whole number.
bool whole(double count) { return std::isfinite(count) && std::trunc(count) == count; }

// The stored text `a` is the one `b` would be stored as: up to its first NUL.
bool same_text(my_string const& a, std::string const& b) {
    std::string_view const stored(b.c_str());
    return static_cast<std::size_t>(a.length()) == stored.size() &&
           std::memcmp(a.c_str(), stored.data(), stored.size()) == 0;
}

// Data words joined into one allele text, with its number of loci.
struct JoinedText {
    std::string text;
    int loci = 0;
};

// Into `joined`, whose room is kept from one line to the next.
void join_words(Words& words, JoinedText& joined) {
    joined.text.clear();
    bool const dna = ProfileSettings::DataType == DNA;
    char const sep = ProfileSettings::LocusSeparator;
    int nonEmpty = 0;
    while (!words.at_end()) {
        std::string_view word = words.next();
        if (!dna && sep != '\0') joined.text += sep;
        joined.text.append(word);
        if (!word.empty()) ++nonEmpty;
    }
    joined.loci = (sep == '\0' || dna) ? static_cast<int>(joined.text.size()) : nonEmpty;
}

JoinedText join_words(Words& words) {
    JoinedText joined;
    join_words(words, joined);
    return joined;
}

// A frequency word: a finite number that uses the whole word. Negative
// values are refused: no sample holds a negative number of gene copies.
bool parse_frequency(std::string_view word, double& value) {
    if (word.empty()) return false;
    std::string copy(word);
    char* end = nullptr;
    value = std::strtod(copy.c_str(), &end);
    return end == copy.c_str() + copy.size() && std::isfinite(value) && value >= 0.0;
}

// Running totals of one block and the conversion of a frequency to a count.
struct Tally {
    int relative = 0;        // the profile's Frequency
    double declared = 0.0;   // the declared SampleSize
    double countSum = 0.0;
    double relativeSum = 0.0;

    // The count of an entry; false when it does not fit an int.
    bool to_count(double f, double& count) {
        double c = f;
        if (relative == 1) {
            c = std::trunc(declared * f + 0.5);
            relativeSum += f;
        }
        if (!(c >= 0.0 && c <= static_cast<double>(INT_MAX))) return false;
        count = c;
        return true;
    }
};

// Warnings of a completed block, reported from `function`: the summed count
// against the declared size (absolute frequencies), the sum of relative
// frequencies against 1.
void end_of_block_warnings(Tally const& t, int sizeWarning, char const* function) {
    if (t.relative == 0 && t.countSum != t.declared) {
        std::ostringstream fn;
        fn << function << " (SampleSize=" << static_cast<long long>(t.declared)
           << "; Sum. Freq.=" << static_cast<long long>(t.countSum) << ")";
        report(WARNING, fn.str(), sizeWarning);
    }
    if (t.relative == 1 && std::fabs(t.relativeSum - 1.0) > 0.001) {
        char text[128];
        std::snprintf(text, sizeof text, "%s sum of Relative frequencies=%f", function, t.relativeSum);
        report(WARNING, text, 174);
    }
}

void set_sample_size(Population& p, double size) {
    p.SampleSize = size;
    p.invSampleSize = size != 0.0 ? 1.0 / size : 1.0;
}

HaploDef* find_or_add(Haplo_DB& db, my_string const& id, bool& created) {
    created = false;
    if (HaploDef* def = db.find_by_id(id)) return def;
    db.haplotypes.Add(new HaploDef(id));
    created = true;
    return db.find_by_id(id);
}

// The entries of one block. A haplotype listed twice is one haplotype: its
// second entry's count goes to its first, and the block ends with one
// warning for all its repeated haplotypes.
class BlockEntries {
public:
    // False, with nothing added, when the haplotype's copies over the whole
    // project (or in the sample) would pass what an int count holds.
    bool add(Population& p, HaploDef* def, int count) {
        if (count == 0) return true;
        if (def->count > INT_MAX - count) {
            aos() << "\tSample \"" << p.name << "\": the copies of haplotype \"" << def->id
                  << "\" in the project pass " << INT_MAX << ". Aborting reading project." << std::endl;
            return false;
        }
        auto const [at, fresh] = entries_.try_emplace(def, nullptr);
        if (fresh) {
            at->second = new PHaploDef{def, count};
            p.haplotypes.Add(at->second);
            ++p.nbEntries;
        } else {
            // Its copies are part of the definition's count, already checked.
            at->second->count += count;
            if (repeated_++ == 0) first_ = def->id.c_str();
        }
        def->count += count;
        return true;
    }

    void warn(Population const& p, char const* function) const {
        if (repeated_ == 0) return;
        aos() << "\tSample \"" << p.name << "\" lists haplotype \"" << first_ << "\""
              << (repeated_ > 1 ? " (and others)" : "") << " more than once: " << repeated_
              << (repeated_ > 1 ? " entries are" : " entry is")
              << " merged into the first of the same haplotype, counts summed." << std::endl;
        report(WARNING, std::string(function) + " (sample \"" + p.name.c_str() + "\")", 146);
    }

private:
    std::unordered_map<HaploDef const*, PHaploDef*> entries_;
    long repeated_ = 0;
    std::string first_;
};

}  // namespace

// ------------------------------------------------------------ gametic data

int Population::New_read_gametic_data(std::ifstream& in, Haplo_DB& db, int external, int& line, my_string& buffer) {
    Tally tally{profile.Frequency, SampleSize};
    int fixedLoci = -1;
    bool closed = false;
    std::string_view work;
    std::string upper;
    JoinedText joined;  // room kept from line to line
    my_string text;
    BlockEntries entries;

    while (!closed) {
        bool closing = false;
        LineStatus const status = next_line(in, line, buffer, work, upper, closing);
        if (status == LineStatus::EndOfFile) break;
        if (status == LineStatus::BlockEnd) {
            closed = true;
            break;
        }
        if (reported_bad_line(status, *this, line, kGameticFn, 63)) return 0;
        closed = closing;

        Words words(work);
        if (words.rest_blank()) continue;
        my_string const id(std::string(words.next_nonempty()).c_str());

        bool created = false;
        HaploDef* def = find_or_add(db, id, created);
        if (def == nullptr) {
            aos() << "\tHaplotype defined on line " << line
                  << " could not be entered into Haplotype data base, aborting reading procedure" << std::endl;
            report(ERROR, kGameticFn, 63);
            return 0;
        }

        if (words.rest_blank()) {
            aos() << "\tUnable to read haplotype \"" << id << "\" frequency on line " << line
                  << ", aborting reading procedure" << std::endl;
            report(ERROR, kGameticFn, 144);
            return 0;
        }
        std::string_view const freqWord = words.next_nonempty();
        double f = 0.0;
        double count = 0.0;
        if (!parse_frequency(freqWord, f) || !tally.to_count(f, count)) {
            aos() << "\tProblem reading haplotype frequency (\"" << freqWord << "\") on line " << line
                  << " . Aborting reading file" << std::endl;
            report(ERROR, kGameticFn, 144);
            return 0;
        }
        int const n = static_cast<int>(count);
        tally.countSum += n;

        if (ProfileSettings::DataType != FREQUENCY) {
            if (words.rest_blank()) {
                if (created) {
                    aos() << "\tHaplotype \"" << id << "\" listed on line " << line
                          << " is undefined. Aborting reading project." << std::endl;
                    report(ERROR, kGameticFn, 63);
                    return 0;
                }
            } else {
                join_words(words, joined);
                if (fixedLoci < 0) fixedLoci = joined.loci;
                if (joined.loci != fixedLoci) {
                    aos() << "\tNumber of loci for haplotype \"" << id << "\" is different (" << joined.loci
                          << ") from that previously defined (" << fixedLoci << ") on line " << line << std::endl;
                    report(ERROR, kGameticFn, 69);
                    return 0;
                }
                // As a fresh text would take it: one too long to hold stays empty.
                if (joined.text.size() > static_cast<std::size_t>(my_string::max_c_text))
                    text = "";
                else
                    text = joined.text.c_str();
                if (def->data.length() == 0) {
                    if (!def->read_data(text, profile)) {
                        haplotypes.Flush();
                        aos() << "\tUnable to read haplotype definition on line " << line
                              << ", aborting reading procedure" << std::endl;
                        report(ERROR, kGameticFn, 63);
                        return 0;
                    }
                } else {
                    report(WARNING, std::string(kGameticFn) + ",  " + id.c_str() + " : ", 146);
                    aos() << "\tHaplotype " << id << " defined on line " << line
                          << " has already been defined previously..." << std::endl;
                    HaploDef scratch(id);
                    if (!scratch.read_data(text, profile)) {
                        haplotypes.Flush();
                        aos() << "\tUnable to read haplotype definition on line " << line
                              << ". Aborting reading project." << std::endl;
                        report(ERROR, kGameticFn, 33);
                        return 0;
                    }
                    if (!(scratch.data == def->data)) {
                        haplotypes.Flush();
                        aos() << "\tDefinition of haplotype " << id << " defined on line " << line
                              << " does not match its previous definition, aborting reading project." << std::endl;
                        report(ERROR, kGameticFn, 31);
                        return 0;
                    }
                }
            }
        }
        if (!entries.add(*this, def, n)) {
            report(ERROR, std::string(kGameticFn) + " (sample \"" + name.c_str() + "\")", 144);
            return 0;
        }
    }

    if (!closed && external == 0) {
        aos() << "\tMissing closing brace for sample \"" << name << "\", aborting reading procedure" << std::endl;
        report(ERROR, kGameticFn, 194);
        return 0;
    }
    entries.warn(*this, kGameticFn);
    end_of_block_warnings(tally, 141, kGameticFn);
    set_sample_size(*this, tally.countSum);
    return 1;
}

// ---------------------------------------------------------- genotypic data

int Population::New_read_genotypic_data(std::ifstream& in, int external, int& line, my_string& buffer) {
    Tally tally{profile.Frequency, SampleSize};
    int fixedLoci = -1;
    bool closed = false;
    std::string_view work;
    std::string upper;

    auto check_loci = [&](my_string const& id, int loci) {
        if (fixedLoci < 0) fixedLoci = loci;
        if (loci == fixedLoci) return true;
        aos() << "\tNumber of loci for genotype \"" << id << "\" is different (" << loci
              << ") from that previously defined (" << fixedLoci << ") on line " << line << std::endl;
        report(ERROR, kGenotypicFn, 69);
        return false;
    };
    // Microsatellite sizes as the haplotypic reader takes them.
    auto microsat_sizes_read = [&](JoinedText const& gamete, my_string const& id) {
        if (ProfileSettings::DataType != MICROSAT ||
            valid_microsat_text(gamete.text, profile.MissingData, my_string(kGenotypicFn)))
            return true;
        aos() << "\tInvalid microsatellite allele size in genotype \"" << id << "\" on line " << line
              << ", aborting reading procedure" << std::endl;
        return false;
    };

    while (!closed) {
        bool closing = false;
        LineStatus status = next_line(in, line, buffer, work, upper, closing);
        if (status == LineStatus::EndOfFile) break;
        if (status == LineStatus::BlockEnd) {
            closed = true;
            break;
        }
        if (reported_bad_line(status, *this, line, kGenotypicFn, 150)) return 0;
        closed = closing;

        Words words(work);
        if (words.rest_blank()) continue;
        bool delimited = false;
        my_string const id(std::string(words.next_nonempty(&delimited)).c_str());
        if (!delimited) {
            aos() << "\tUnable to read genotype ID on line " << line << ", aborting reading procedure" << std::endl;
            return 0;
        }
        if (words.rest_blank()) {
            aos() << "\tUnable to read read genotype frequency on line " << line << ". Aborting reading project"
                  << std::endl;
            report(ERROR, "New_read_genotypic_data()", 149);
            return 0;
        }
        std::string_view const freqWord = words.next_nonempty(&delimited);
        double f = 0.0;
        double count = 0.0;
        if (!parse_frequency(freqWord, f) || !tally.to_count(f, count)) {
            aos() << "\tProblem reading genotype frequency (\"" << freqWord << "\") on line " << line
                  << " . Aborting reading project" << std::endl;
            report(ERROR, kGenotypicFn, 149);
            return 0;
        }
        if (!delimited) {
            aos() << "\tUnable to read genotype \"" << id << "\" definition on line " << line
                  << ". Aborting reading project" << std::endl;
            report(ERROR, kGenotypicFn, 149);
            return 0;
        }
        if (words.rest_blank()) {
            aos() << "\tUnable to read phenotype \"" << id << "\" definition on line " << line
                  << ". Aborting reading project" << std::endl;
            report(ERROR, kGenotypicFn, 150);
            return 0;
        }
        tally.countSum += count;

        auto pheno = std::make_unique<TPhenotype>(id, count);
        JoinedText const gamete1 = join_words(words);
        if (!check_loci(id, gamete1.loci) || !microsat_sizes_read(gamete1, id)) return 0;
        ++nbEntries;

        // The second gamete is the next physical line. An individual without
        // it cannot be kept, and its count must not stay in the sample size.
        status = next_line(in, line, buffer, work, upper, closing);
        if (status == LineStatus::NewSection) {
            report_new_section(*this, line, kGenotypicFn);
            return 0;
        }
        if (status != LineStatus::Data) {
            aos() << "\tUnable to read genotype \"" << id << "\" definition on line " << line
                  << ", aborting reading procedure" << std::endl;
            report(ERROR, kGenotypicFn, 150);
            return 0;
        }
        closed = closed || closing;
        Words words2(work);
        JoinedText const gamete2 = join_words(words2);
        if (!check_loci(id, gamete2.loci) || !microsat_sizes_read(gamete2, id)) return 0;

        pheno->alleleString1 = gamete1.text.c_str();
        pheno->alleleString2 = gamete2.text.c_str();
        ++nbEntries;
        phenotypes.add(pheno.release());
    }

    if (!closed && external == 0) {
        aos() << "\tMissing closing brace for sample \"" << name << "\", aborting reading procedure" << std::endl;
        report(ERROR, kGenotypicFn, 194);
        return 0;
    }
    end_of_block_warnings(tally, 148, kGenotypicFn);
    set_sample_size(*this, 2.0 * tally.countSum);
    return 1;
}

// ------------------------------------------------------------ older readers

namespace {

constexpr int kEof = std::char_traits<char>::eof();

// Skips the characters that cannot stand in a word; '#' skips to the end of
// its line. Returns the next character of a word, left in the stream, or
// EOF.
int skip_to_graphic(std::istream& in) {
    for (;;) {
        int const c = in.peek();
        if (c == kEof) return kEof;
        if (c == '#') {
            in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
            continue;
        }
        if (is_word_byte(c)) return c;
        in.get();
    }
}

void skip_blanks(std::istream& in) {
    while (in.peek() == ' ' || in.peek() == '\t') in.get();
}

bool starts_an_entry(int c) { return c != '{' && c != '[' && c != ']' && c != '='; }

void report_unexpected(int c, char const* function) {
    aos() << " ** read gametic data1_l_172:the character is not the expected one c:" << static_cast<char>(c)
          << std::endl;
    report(ERROR, function, 100);
}

// The frequency token of an entry: it must begin with a digit.
bool read_old_frequency(std::istream& in, double& value) {
    skip_blanks(in);
    std::string token;
    while (in.peek() != kEof && !std::isspace(in.peek())) token += static_cast<char>(in.get());
    if (token.empty() || !std::isdigit(static_cast<unsigned char>(token[0]))) return false;
    value = my_atof(token.c_str());
    return std::isfinite(value);
}

// How the head of an entry of an old-format block ended.
enum class EntryHead {
    entry,      // an identifier and a count were read
    blockEnd,   // the block's closing '}'
    inputEnd,   // the end of an external block's file: a good end
    failed,     // reported
};

// Reads the head of the next entry of an old-format block: its identifier
// and, through the tally, its count. Failures are reported under
// `function`: a failed stream with `streamMessage`, a frequency that is
// not a number or not a count with `frequencyMessage`.
EntryHead read_old_entry_head(std::ifstream& in, Tally& tally, int external, char const* function, int streamMessage,
                              int frequencyMessage, my_string& id, double& count) {
    if (in.fail() && !in.eof()) {
        report(ERROR, function, streamMessage);
        return EntryHead::failed;
    }
    int const c = skip_to_graphic(in);
    if (c == kEof) {
        if (external) return EntryHead::inputEnd;
        report(ERROR, function, 64);
        return EntryHead::failed;
    }
    if (c == '}') return EntryHead::blockEnd;
    if (!starts_an_entry(c)) {
        report_unexpected(c, function);
        return EntryHead::failed;
    }

    in >> id;
    if (id.length() == 0) {
        report(ERROR, function, 142);
        return EntryHead::failed;
    }
    double f = 0.0;
    if (!read_old_frequency(in, f) || !tally.to_count(f, count)) {
        report(ERROR, function, frequencyMessage);
        return EntryHead::failed;
    }
    return EntryHead::entry;
}

// The rest of the current line up to a '}' (left in the stream), without
// its comment and its line end.
std::string read_rest_of_line(std::istream& in, bool& closing) {
    std::string text;
    closing = false;
    for (;;) {
        int const c = in.peek();
        if (c == kEof) break;
        if (c == '}') {
            closing = true;
            break;
        }
        in.get();
        if (c == '\n') break;
        text += static_cast<char>(c);
    }
    if (auto hash = text.find('#'); hash != std::string::npos) text.erase(hash);
    while (!text.empty() && (text.back() == '\r' || text.back() == ' ' || text.back() == '\t')) text.pop_back();
    return text;
}

}  // namespace

int Population::read_gametic_data(std::ifstream& in, Haplo_DB& db, int external) {
    Tally tally{profile.Frequency, SampleSize};
    BlockEntries entries;
    for (;;) {
        my_string id;
        double count = 0.0;
        EntryHead const head = read_old_entry_head(in, tally, external, kOldGameticFn, 147, 144, id, count);
        // The end of an external file closes the block as its brace would:
        // the sample size still comes from the counts read.
        if (head == EntryHead::blockEnd || head == EntryHead::inputEnd) break;
        if (head != EntryHead::entry) return 0;
        int const n = static_cast<int>(count);
        tally.countSum += n;

        bool created = false;
        HaploDef* def = find_or_add(db, id, created);
        if (def == nullptr) {
            report(ERROR, kOldGameticFn, 143);
            return 0;
        }

        skip_blanks(in);
        int const next = in.peek();
        bool const hasData = next != kEof && next != '\n' && next != '\r' && next != '#' && next != '}';
        if (ProfileSettings::DataType == FREQUENCY) {
            bool closing = false;
            read_rest_of_line(in, closing);
        } else if (!hasData) {
            if (def->data.length() == 0) {
                report(ERROR, std::string(kOldGameticFn) + " (Hapl " + id.c_str() + ")", 145);
                return 0;
            }
        } else if (def->data.length() == 0) {
            if (!def->read_data(in, profile)) {
                report(ERROR, kOldGameticFn, 63);
                return 0;
            }
        } else {
            report(WARNING, std::string(kOldGameticFn) + ",  " + id.c_str() + " : ", 146);
            HaploDef scratch(id);
            if (!scratch.read_data(in, profile)) {
                report(ERROR, kOldGameticFn, 33);
                return 0;
            }
            if (!(scratch.data == def->data)) {
                report(ERROR, kOldGameticFn, 31);
                return 0;
            }
        }
        if (!entries.add(*this, def, n)) {
            report(ERROR, std::string(kOldGameticFn) + " (sample \"" + name.c_str() + "\")", 144);
            return 0;
        }
    }
    entries.warn(*this, kOldGameticFn);
    end_of_block_warnings(tally, 141, kOldGameticFn);
    set_sample_size(*this, tally.countSum);
    return 1;
}

int Population::read_genotypic_data(std::ifstream& in, int external, bool groupRuns) {
    Tally tally{profile.Frequency, SampleSize};
    int fixedLoci = -1;
    int individuals = 0;
    TPhenotype* last = nullptr;  // the phenotype a run of identical individuals goes to
    bool closed = false;
    while (!closed) {
        my_string id;
        double count = 0.0;
        EntryHead const head = read_old_entry_head(in, tally, external, kOldGenotypicFn, 151, 149, id, count);
        if (head == EntryHead::blockEnd || head == EntryHead::inputEnd) break;
        if (head != EntryHead::entry) return 0;

        bool closing = false;
        std::string const text1 = read_rest_of_line(in, closing);
        Words words1(text1);
        if (closing || words1.rest_blank()) {
            report(ERROR, kOldGenotypicFn, 150);
            return 0;
        }
        JoinedText const gamete1 = join_words(words1);

        int const c2 = skip_to_graphic(in);
        if (c2 == kEof || c2 == '}') {
            report(ERROR, kOldGenotypicFn, 150);
            return 0;
        }
        std::string const text2 = read_rest_of_line(in, closed);
        Words words2(text2);
        JoinedText const gamete2 = join_words(words2);

        if (fixedLoci < 0) fixedLoci = gamete1.loci;
        if (gamete1.loci != fixedLoci || gamete2.loci != fixedLoci) {
            report(ERROR, kOldGenotypicFn, 69);
            return 0;
        }
        tally.countSum += count;
        ++individuals;
        // Whole counts only: their sums are exact, so the run counts as its
        // individuals would.
        if (groupRuns && last != nullptr && whole(count) && whole(last->count) &&
            same_text(last->alleleString1, gamete1.text) && same_text(last->alleleString2, gamete2.text)) {
            last->absorb(std::string_view(id.c_str(), static_cast<std::size_t>(id.length())), count);
            continue;
        }
        auto pheno = std::make_unique<TPhenotype>(id, count);
        pheno->alleleString1 = gamete1.text.c_str();
        pheno->alleleString2 = gamete2.text.c_str();
        last = pheno.get();
        phenotypes.add(pheno.release());
    }
    end_of_block_warnings(tally, 148, kOldGenotypicFn);
    set_sample_size(*this, 2.0 * tally.countSum);
    nbEntries = individuals;
    return 1;
}

}  // namespace quintle
