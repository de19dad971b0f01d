#include "data/HaploDef.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/Errors.h"
#include "core/parsing.h"
#include "core/text_hash.h"
#include "data/TAlleleDB.h"
#include "run/ProfileSettings.h"

namespace quintle {

namespace {

constexpr char kReadDataName[] = "HaploDef::read_data()";

bool is_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Character filter of the three typed data kinds (DNA, RFLP, MICROSAT): a
// rule per byte, decided once per text.
class DataFilter {
public:
    // keep: part of the data; skip: a blank; end: the line ends; stop: a
    // '#' ends the appending, but what follows must still be valid;
    // refuse: not allowed.
    enum class Rule : unsigned char { keep, skip, end, stop, refuse };

    DataFilter(TDataType type, char missing) : type_(type) {
        for (int c = 0; c < 256; ++c) rules_[static_cast<std::size_t>(c)] = rule_for(static_cast<char>(c), missing);
    }

    Rule rule(char c) const { return rules_[static_cast<unsigned char>(c)]; }

    int message() const {
        switch (type_) {
            case DNA: return 26;
            case RFLP: return 25;
            default: return 27;
        }
    }

private:
    Rule rule_for(char c, char missing) const {
        if (keeps(c, missing)) return Rule::keep;
        if (c == ' ') return Rule::skip;
        if (c == '\n') return Rule::end;
        if (c == '#') return Rule::stop;
        return Rule::refuse;
    }

    bool keeps(char c, char missing) const {
        // The separator and the missing-data character come first: a blank
        // separator must survive as a separator.
        const char sep = ProfileSettings::LocusSeparator;
        if ((sep != '\0' && c == sep) || c == missing) return true;
        switch (type_) {
            case DNA: return is_letter(c) || c == '-' || (c >= '0' && c <= '3');
            case RFLP: return c == '-' || c == '0' || c == '1';
            default: return is_digit(c);
        }
    }

    TDataType type_;
    std::array<Rule, 256> rules_{};
};

// Without a branch per character, so that the test runs on whole vectors.
bool all_letters(std::string_view text) {
    unsigned others = 0;
    for (char const c : text) others |= static_cast<unsigned char>((c | 0x20) - 'a') >= 26 ? 1U : 0U;
    return others == 0;
}

bool is_filtered_type(TDataType t) { return t == DNA || t == RFLP || t == MICROSAT; }

constexpr int kEnd = std::char_traits<char>::eof();

// Sets data to the characters that `next` delivers (as unsigned char
// values, kEnd after the last) which the data type keeps, up to the end of
// the line. False after a refused character (reported) or when nothing was
// kept.
template <class Next>
bool read_filtered(my_string& data, TDataType type, char missing, Next next) {
    DataFilter filter(type, missing);
    std::string kept;
    data = "";
    bool stopped = false;
    bool refused = false;
    for (int c = next(); c != kEnd; c = next()) {
        const char ch = static_cast<char>(c);
        const DataFilter::Rule rule = filter.rule(ch);
        if (rule == DataFilter::Rule::keep) {
            if (!stopped) kept.push_back(ch);
        } else if (rule == DataFilter::Rule::end) {
            break;
        } else if (rule == DataFilter::Rule::stop) {
            stopped = true;
        } else if (rule == DataFilter::Rule::refuse) {
            refused = true;
            break;
        }
    }
    data = kept.c_str();
    if (refused) {
        E.error(ERROR, my_string(kReadDataName), filter.message());
        return false;
    }
    return !data.is_null();
}

// The same on a text held in memory: runs of kept characters are copied as
// blocks into a buffer of the text's length.
bool read_filtered(my_string& data, TDataType type, char missing, std::string_view text) {
    DataFilter filter(type, missing);
    std::string kept(text.size(), '\0');
    std::size_t length = 0;
    data = "";
    bool stopped = false;
    bool refused = false;
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t const start = i;
        while (i < text.size() && filter.rule(text[i]) == DataFilter::Rule::keep) ++i;
        if (!stopped) {
            std::memcpy(kept.data() + length, text.data() + start, i - start);
            length += i - start;
        }
        if (i == text.size()) break;
        DataFilter::Rule const rule = filter.rule(text[i++]);
        if (rule == DataFilter::Rule::skip) continue;
        if (rule == DataFilter::Rule::stop) {
            stopped = true;
            continue;
        }
        refused = rule == DataFilter::Rule::refuse;
        break;
    }
    kept.resize(length);
    data = kept.c_str();
    if (refused) {
        E.error(ERROR, my_string(kReadDataName), filter.message());
        return false;
    }
    return !data.is_null();
}

// With a locus separator each run of digits of a microsatellite text is one
// allele size: false when one passes the int range (a size is read as an
// int). Without one each digit is a locus of its own.
bool sizes_fit(std::string_view text) {
    if (ProfileSettings::LocusSeparator == '\0') return true;
    long long size = -1;  // -1 between sizes
    for (char const c : text) {
        if (!is_digit(c)) {
            size = -1;
            continue;
        }
        size = (size < 0 ? 0 : size * 10) + (c - '0');
        if (size > INT_MAX) return false;
    }
    return true;
}

// Trailing blanks and tabs go when the text ends with a blank.
void trim_trailing_blanks(my_string& data) {
    int n = data.length();
    if (n == 0 || data[n - 1] != ' ') return;
    while (n > 0 && (data[n - 1] == ' ' || data[n - 1] == '\t')) --n;
    data.remove(n, data.length() - n);
}

[[noreturn]] void out_of_memory() {
    E.error(MEMORY, my_string(kReadDataName), Msg::m0_not_enough_memory);
    // Without an open log the report returns quietly; the run ends all the same.
    throw NOT_ENOUGH_MEMORY;
}

// The allele at position pos of the locus an insertion for index locus went
// to (a new locus is always the last one).
TAllele* inserted_allele(TAlleleDB const& db, long locus, int pos) {
    if (db.loci.count == 0 || pos < 0) return nullptr;
    if (locus >= db.loci.count) locus = db.loci.count - 1;
    TLocus const* l = db.loci.data[locus];
    if (l == nullptr || pos >= l->alleles.count) return nullptr;
    return l->alleles.data[pos];
}

}  // namespace

HaploDef::HaploDef() = default;

HaploDef::HaploDef(my_string const& identifier) : id(identifier) {}

HaploDef::HaploDef(HaploDef const& other)
    : alleles(other.alleles), matrixIndex(other.matrixIndex), id(other.id), data(other.data), count(other.count) {}

std::uint64_t HaploDef::next_serial() {
    static std::uint64_t last = 0;
    return ++last;
}

HaploDef& HaploDef::operator=(HaploDef const& other) {
    if (this == &other) return *this;
    serial_ = next_serial();
    alleles = other.alleles;  // the row is shared
    matrixIndex = other.matrixIndex;
    id = other.id;
    data = other.data;
    count = other.count;
    return *this;
}

bool HaploDef::read_data(my_string& text, ProfileSettings& ps) {
    const TDataType type = ProfileSettings::DataType;
    try {
        if (type == STANDARD) {
            data = text;
        } else if (type == FREQUENCY) {
            data = "";
        } else if (is_filtered_type(type)) {
            const std::string_view view(text.c_str(), static_cast<std::size_t>(text.length()));
            if (type == DNA && all_letters(view)) {
                // The usual sequence: every character is kept.
                data = text;
                if (data.is_null()) return false;
            } else if (!read_filtered(data, type, ps.MissingData, view)) {
                return false;
            }
            if (type == MICROSAT && !sizes_fit(std::string_view(data.c_str(), static_cast<std::size_t>(data.length())))) {
                E.error(ERROR, my_string(kReadDataName), Msg::m27_invalid_microsat_data);
                return false;
            }
        }
        // Any other type code leaves data as it was.
        trim_trailing_blanks(data);
    } catch (std::bad_alloc const&) {
        out_of_memory();
    }
    return true;
}

bool HaploDef::read_data(std::istream& is, ProfileSettings& ps) {
    if (is.fail()) return false;
    const TDataType type = ProfileSettings::DataType;
    try {
        // Only the older readers read from the stream, from files that no
        // cleaned copy stands for: a carriage return counts as a blank, so
        // that CRLF files read as LF ones.
        if (type == STANDARD) {
            data.read_line(is);
            if (data.length() > 0 && data[data.length() - 1] == '\r') data.remove(data.length() - 1, 1);
        } else if (type == FREQUENCY) {
            skip_comments(is);
            data = "";
        } else if (is_filtered_type(type)) {
            auto next = [&is] {
                int const c = is.get();
                return c == '\r' ? int{' '} : c;
            };
            if (!read_filtered(data, type, ps.MissingData, next)) return false;
            if (type == MICROSAT && !sizes_fit(std::string_view(data.c_str(), static_cast<std::size_t>(data.length())))) {
                E.error(ERROR, my_string(kReadDataName), Msg::m27_invalid_microsat_data);
                return false;
            }
        }
        trim_trailing_blanks(data);
    } catch (std::bad_alloc const&) {
        out_of_memory();
    }
    return true;
}

void HaploDef::build_haplovect(TAlleleDB* db, char const& sep, int unused, double weight) {
    if (db == nullptr) return;
    if (sep == '\0') {
        const int n = data.length();
        alleles.Reallocate(n);
        for (int i = 0; i < n; ++i) {
            const char c = data[i];
            const int pos = db->InsertAllPos(i, c, weight, unused);
            alleles.Add(inserted_allele(*db, i, pos));
        }
        return;
    }

    alleles.Reallocate(static_cast<int>(db->loci.count));
    my_string piece;
    std::string text;
    int k = 0;
    auto enter = [&]() {
        if (text.empty()) return;
        piece = text.c_str();
        const int pos = db->InsertAllPos(k, piece, weight, unused);
        alleles.Add(inserted_allele(*db, k, pos));
        ++k;
        text.clear();
    };
    for (int i = 0; i < data.length(); ++i) {
        const char c = data[i];
        if (c == sep || c == '\n')
            enter();
        else
            text.push_back(c);
    }
    enter();
}

void HaploDef::build_haplovects(HaploDef* const* defs, long n, TAlleleDB* db, char const& sep, int unused,
                                double weight) {
    if (db == nullptr || n <= 0) return;
    if (sep != '\0') {
        for (long i = 0; i < n; ++i)
            if (defs[i] != nullptr) defs[i]->build_haplovect(db, sep, unused, weight);
        return;
    }
    std::size_t sites = 0;
    for (long i = 0; i < n; ++i)
        if (defs[i] != nullptr) sites = std::max(sites, static_cast<std::size_t>(defs[i]->data.length()));
    TAlleleDB::SiteAlleles table(*db, sites, weight);
    // A text met before has the same alleles: its row is shared. The
    // distinct texts are found first, so that their rows fill one block.
    DistinctTexts const distinct = distinct_texts(defs, n);
    std::vector<long> const& first = distinct.first;
    AlleleRowBlock block(distinct.slots);
    std::vector<std::size_t> number(static_cast<std::size_t>(n), 0);
    for (long i = 0; i < n; ++i) {
        HaploDef* h = defs[i];
        if (h == nullptr) continue;
        long const f = first[static_cast<std::size_t>(i)];
        if (f != i) {
            h->alleles = defs[f]->alleles;
            table.again(number[static_cast<std::size_t>(f)]);
        } else {
            int const length = h->data.length();
            std::string_view const text(h->data.c_str(), static_cast<std::size_t>(length));
            number[static_cast<std::size_t>(i)] = table.enter(text, h->alleles.fill(length, block));
        }
    }
    table.finish();
}

DistinctTexts distinct_texts(HaploDef* const* defs, long n) {
    DistinctTexts d;
    if (defs == nullptr || n <= 0) return d;
    std::unordered_map<std::string_view, long, TextHash> firstOf;
    firstOf.reserve(static_cast<std::size_t>(n));
    d.first.assign(static_cast<std::size_t>(n), -1);
    for (long i = 0; i < n; ++i) {
        HaploDef const* h = defs[i];
        if (h == nullptr) continue;
        std::string_view const text(h->data.c_str(), static_cast<std::size_t>(h->data.length()));
        auto const [it, added] = firstOf.try_emplace(text, i);
        d.first[static_cast<std::size_t>(i)] = it->second;
        if (!added) continue;
        d.slots += text.size() + 1;
        d.texts.push_back(text);
    }
    return d;
}

bool valid_microsat_text(std::string_view text, char missing, my_string const& function) {
    DataFilter const filter(MICROSAT, missing);
    bool ok = sizes_fit(text);
    for (char const c : text) {
        if (filter.rule(c) == DataFilter::Rule::refuse) ok = false;
        // A '#' ends the data, as for a haplotype.
        if (!ok || filter.rule(c) == DataFilter::Rule::stop) break;
    }
    if (!ok) E.error(ERROR, function, Msg::m27_invalid_microsat_data);
    return ok;
}

bool HaploDef::hasSameAllelicContent(HaploDef const& other) const {
    if (alleles.data == other.alleles.data && alleles.count <= other.alleles.count) return true;
    for (long i = 0; i < alleles.count; ++i) {
        if (i >= other.alleles.count) return false;
        if (alleles.data[i] != other.alleles.data[i]) return false;
    }
    return true;
}

void HaploDef::flush() { alleles.Flush(); }

std::ostream& operator<<(std::ostream& os, HaploDef& h) {
    if (h.data.is_null())
        os << ' ' << h.id;
    else
        os << h.id << '\t' << h.data;
    return os;
}

void Print(HaploDef& h, void* stream) {
    if (stream == nullptr) return;
    std::ostream& os = *static_cast<std::ostream*>(stream);
    os << h << std::endl;
}

}  // namespace quintle
