#include "data/HaploDef.h"

#include <new>
#include <string>

#include "core/Errors.h"
#include "core/parsing.h"
#include "data/TAlleleDB.h"
#include "run/ProfileSettings.h"

namespace quintle {

namespace {

constexpr char kReadDataName[] = "HaploDef::read_data()";

bool is_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Character filter of the three typed data kinds (DNA, RFLP, MICROSAT).
class DataFilter {
public:
    enum class Step { next, end, refused };

    DataFilter(TDataType type, char missing) : type_(type), missing_(missing) {}

    // Takes one character into text; a '#' ends the appending but the
    // characters after it must still be valid.
    Step take(char c, std::string& text) {
        if (keeps(c)) {
            if (!stopped_) text.push_back(c);
            return Step::next;
        }
        if (c == ' ') return Step::next;
        if (c == '\n') return Step::end;
        if (c == '#') {
            stopped_ = true;
            return Step::next;
        }
        return Step::refused;
    }

    int message() const {
        switch (type_) {
            case DNA: return 26;
            case RFLP: return 25;
            default: return 27;
        }
    }

private:
    bool keeps(char c) const {
        // The separator and the missing-data character come first: a blank
        // separator must survive as a separator.
        const char sep = ProfileSettings::LocusSeparator;
        if ((sep != '\0' && c == sep) || c == missing_) return true;
        switch (type_) {
            case DNA: return is_letter(c) || c == '-' || (c >= '0' && c <= '3');
            case RFLP: return c == '-' || c == '0' || c == '1';
            default: return is_digit(c);
        }
    }

    TDataType type_;
    char missing_;
    bool stopped_ = false;
};

bool is_filtered_type(TDataType t) { return t == DNA || t == RFLP || t == MICROSAT; }

constexpr int kEnd = std::char_traits<char>::eof();

// Sets data to the characters that `next` delivers (as unsigned char
// values, kEnd after the last) which the data type keeps, up to the end of
// the line. False after a refused character (reported) or when nothing was
// kept.
template <class Next>
bool read_filtered(my_string& data, TDataType type, char missing, std::size_t expected, Next next) {
    DataFilter filter(type, missing);
    std::string kept;
    kept.reserve(expected);
    data = "";
    bool refused = false;
    for (int c = next(); c != kEnd; c = next()) {
        const DataFilter::Step step = filter.take(static_cast<char>(c), kept);
        if (step == DataFilter::Step::end) break;
        if (step == DataFilter::Step::refused) {
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

// Trailing blanks and tabs go when the text ends with a blank.
void trim_trailing_blanks(my_string& data) {
    int n = data.length();
    if (n == 0 || data[n - 1] != ' ') return;
    while (n > 0 && (data[n - 1] == ' ' || data[n - 1] == '\t')) --n;
    data.remove(n, data.length() - n);
}

[[noreturn]] void out_of_memory() {
    E.error(MEMORY, my_string(kReadDataName), 0);
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

HaploDef::HaploDef() { alleles.owns = false; }

HaploDef::HaploDef(my_string const& identifier) : id(identifier) { alleles.owns = false; }

HaploDef::HaploDef(HaploDef const& other)
    : alleles(other.alleles), matrixIndex(other.matrixIndex), id(other.id), data(other.data), count(other.count) {
    alleles.owns = false;
}

std::uint64_t HaploDef::next_serial() {
    static std::uint64_t last = 0;
    return ++last;
}

HaploDef& HaploDef::operator=(HaploDef const& other) {
    if (this == &other) return *this;
    serial_ = next_serial();
    alleles = other.alleles;  // a borrowing array takes the pointers
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
            int i = 0;
            auto next = [&text, &i]() -> int {
                return i < text.length() ? static_cast<unsigned char>(text[i++]) : kEnd;
            };
            if (!read_filtered(data, type, ps.MissingData, static_cast<std::size_t>(text.length()), next))
                return false;
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
            if (!read_filtered(data, type, ps.MissingData, 0, next)) return false;
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

bool HaploDef::hasSameAllelicContent(HaploDef const& other) const {
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
