#include "data/Haplo_DB.h"

#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "core/Errors.h"
#include "core/input_files.h"
#include "core/parsing.h"
#include "project/DistMat.h"
#include "run/extern_names.h"
#include "run/settings.h"

namespace quintle {

namespace {

constexpr char kNewReadName[] = "Haplo_DB::NewReadHaplotypeList()";
constexpr char kGetSettingsName[] = "Haplo_DB::get_settings(ifstream& ifs)";
constexpr char kReadIdContentName[] = "Haplo_DB::read_id_content()";
constexpr char kReadHaplotypeName[] = "Haplo_DB::read_haplotype()";
constexpr char kAssociate1Name[] = "Haplo_DB::associate_with1()";
constexpr char kAssociate2Name[] = "Haplo_DB::associate_with2()";

constexpr int end_of_input = std::char_traits<char>::eof();

std::string_view view(my_string const& s) { return std::string_view(s.c_str(), static_cast<std::size_t>(s.length())); }

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_graph(int c) { return c > ' ' && c < 0x7F; }
bool is_alnum(int c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Whether the upper-cased text contains pattern (given in upper case),
// without making an upper-cased copy of every line.
bool contains_upper(std::string_view text, std::string_view pattern) {
    if (pattern.size() > text.size()) return false;
    for (std::size_t i = 0; i + pattern.size() <= text.size(); ++i) {
        std::size_t j = 0;
        while (j < pattern.size() && upper(text[i + j]) == pattern[j]) ++j;
        if (j == pattern.size()) return true;
    }
    return false;
}

// A line naming another part of the project ends the list.
bool names_next_section(std::string_view line) {
    return contains_upper(line, "DISTANCEMATRIX") || contains_upper(line, "[SAMPLES]") ||
           contains_upper(line, "[STRUCTURE]") || contains_upper(line, "[MANTEL]");
}

}  // namespace

Haplo_DB::Haplo_DB() = default;

// ------------------------------------------------------------ id lookup

std::uint64_t Haplo_DB::serial_at(long pos) const {
    if (pos < 0 || pos >= haplotypes.count) return 0;
    HaploDef const* h = haplotypes.data[pos];
    return h == nullptr ? 0 : h->serial_;
}

void Haplo_DB::rebuild_id_index() const {
    idIndex_.clear();
    sync_id_index();
}

void Haplo_DB::sync_id_index() const {
    IdIndex& ix = idIndex_;
    const long n = haplotypes.count;
    bool stale = n < ix.synced;
    if (!stale && ix.synced > 0)
        stale = serial_at(0) != ix.firstSerial || serial_at(ix.synced - 1) != ix.lastSerial;
    if (stale) {
        ix.positions.clear();
        ix.synced = 0;
    }
    for (long i = ix.synced; i < n; ++i) {
        HaploDef const* h = haplotypes.data[i];
        if (h != nullptr) ix.positions.try_emplace(std::string(view(h->id)), i);
    }
    ix.synced = n;
    ix.firstSerial = serial_at(0);
    ix.lastSerial = serial_at(n - 1);
}

long Haplo_DB::id_position(std::string_view identifier) const {
    sync_id_index();
    auto it = idIndex_.positions.find(identifier);
    if (it == idIndex_.positions.end()) return -1;
    const long pos = it->second;
    HaploDef const* h = pos < haplotypes.count ? haplotypes.data[pos] : nullptr;
    if (h != nullptr && view(h->id) == identifier) return pos;
    // Definitions were moved or replaced behind the table's back.
    rebuild_id_index();
    it = idIndex_.positions.find(identifier);
    return it == idIndex_.positions.end() ? -1 : it->second;
}

HaploDef* Haplo_DB::find_by_id(my_string const& identifier) const {
    const long pos = id_position(view(identifier));
    return pos < 0 ? nullptr : haplotypes.data[pos];
}

HaploDef* Haplo_DB::find(my_string& text) {
    // Allele texts are edited in place by other code (case, blanks), so
    // they are compared afresh every time.
    const std::string_view wanted = view(text);
    for (long i = 0; i < haplotypes.count; ++i) {
        HaploDef* h = haplotypes.data[i];
        if (h != nullptr && view(h->data) == wanted) return h;
    }
    return nullptr;
}

void Haplo_DB::delete_all() {
    haplotypes.Flush();
    idIndex_.clear();
}

void Haplo_DB::reset() {
    name = "no_name";
    delete_all();
}

void Haplo_DB::rm_separators(char c) {
    if (c == '\0') return;
    std::string kept;
    for (long i = 0; i < haplotypes.count; ++i) {
        HaploDef* h = haplotypes.data[i];
        if (h == nullptr || !h->data.contains(c)) continue;
        kept.clear();
        for (char d : view(h->data))
            if (d != c) kept.push_back(d);
        h->data = kept.c_str();
    }
}

// ------------------------------------------------------------ line reader

bool Haplo_DB::NewReadHaplotypeList(std::istream& is, ProfileSettings& ps, bool external, int& lineNo) {
    if (is.fail()) {
        *_AOS_ << "\tUnable to read haplotype list, aborting reading procedure" << std::endl;
        E.error(ERROR, my_string(kNewReadName), Msg::m40_bad_hapl_list);
        return false;
    }

    const char sep = ProfileSettings::LocusSeparator;
    my_string line;
    my_string joinedText;
    std::string identifier;
    std::string joined;
    bool braceSeen = false;
    long firstLociCount = -1;

    for (;;) {
        int c = is.peek();
        while (c == ' ' || c == '\t') {
            is.get();
            c = is.peek();
        }
        if (c == end_of_input) break;

        ++lineNo;
        line.read_line(is);
        const int pound = line.find_first_of('#');
        if (pound >= 0) line.remove(pound, line.length() - pound);
        const std::string_view text = view(line);

        if (names_next_section(text)) break;
        const bool closing = text.find('}') != std::string_view::npos;
        if (closing) braceSeen = true;
        if (closing && !text.empty() && text.front() == '}') break;

        // The identifier, then every blank-separated token (empty ones
        // between two blanks included).
        std::size_t pos = 0;
        while (pos < text.size() && !is_blank(text[pos])) ++pos;
        if (pos > 0) {
            identifier.assign(text.substr(0, pos));
            const my_string id(identifier.c_str());

            if (find_by_id(id) != nullptr) {
                delete_all();
                *_AOS_ << "\tHaplotype " << '"' << id << '"' << " listed on line " << lineNo
                       << " is already defined previously, aborting reading procedure..." << std::endl;
                E.error(ERROR, my_string(kNewReadName), Msg::m31_haplotype_already_defined);
                return false;
            }

            joined.clear();
            long nonEmpty = 0;
            while (pos < text.size()) {
                const std::size_t start = pos + 1;  // past the single blank
                std::size_t end = start;
                while (end < text.size() && !is_blank(text[end])) ++end;
                const std::string_view token = text.substr(start, end - start);
                if (!token.empty()) ++nonEmpty;
                if (nonEmpty != 0 && sep != '\0') joined.push_back(sep);
                joined.append(token);
                pos = end;
            }

            const long lociCount = sep != '\0' ? nonEmpty : static_cast<long>(joined.size());
            if (firstLociCount < 0) {
                firstLociCount = lociCount;
            } else if (lociCount != firstLociCount) {
                *_AOS_ << "\tNumber of loci for haplotype " << '"' << id << '"' << " is different (" << lociCount
                       << ") from that previously defined (" << firstLociCount << ") on line " << lineNo
                       << std::endl;
                E.error(ERROR, my_string(kNewReadName), Msg::m69_phenotype_locus_count_differs);
                return false;
            }

            auto definition = std::make_unique<HaploDef>(id);
            joinedText = joined.c_str();
            if (!definition->read_data(joinedText, ps)) {
                delete_all();
                *_AOS_ << "\tUnable to read haplotype definition on line " << lineNo
                       << ", aborting reading procedure" << std::endl;
                E.error(ERROR, my_string(kNewReadName), Msg::m33_cannot_read_haplotype_data);
                return false;
            }
            haplotypes.Add(definition.get());
            definition.release();
        }

        if (closing || !is.good()) break;
    }

    if (!braceSeen && !external) {
        *_AOS_ << "\tMissing closing brace in Haplotype definition list, aborting reading procedure" << std::endl;
        E.error(ERROR, my_string(kNewReadName), Msg::m194_missing_sample_data_brace);
        return false;
    }
    return true;
}

// --------------------------------------------------------- keyword reader

bool Haplo_DB::open(std::ifstream& is, ProfileSettings const& ps) {
    ProfileSettings::operator=(ps);
    delete_all();
    return get_settings(is);
}

bool Haplo_DB::get_settings(std::ifstream& is) {
    my_string key;
    for (;;) {
        if (!get_next_ident(is, key)) return true;
        if (!is_identifier(key)) {
            E.error(WARNING, my_string(kGetSettingsName), Msg::m41_bad_hapl_def_keyword);
            return false;
        }
        if (!read_id_content(is, key)) {
            E.error(WARNING, my_string(kGetSettingsName), Msg::m41_bad_hapl_def_keyword);
            delete_all();
            return false;
        }
    }
}

bool Haplo_DB::read_id_content(std::ifstream& is, my_string key) {
    if (key == "hapllistname") {
        if (!get_qstring(is, name)) {
            E.error(ERROR, my_string(kReadIdContentName), Msg::m34_bad_hapl_list_name);
            return false;
        }
        return true;
    }
    if (!(key == "hapllist")) {
        E.error(WARNING, my_string(kReadIdContentName), Msg::m41_bad_hapl_def_keyword);
        return false;
    }

    int c;
    for (;;) {
        if (is.fail()) return false;
        c = is.get();
        if (c == end_of_input) return false;
        if (c == '#') {
            is.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
            continue;
        }
        if (is_graph(c)) break;
    }
    if (c == '{') return read_in_file_list(is);
    is.unget();
    if (!is_alnum(c)) {
        E.error(ERROR, my_string(kReadIdContentName), Msg::m39_missing_hapl_list_braces);
        return false;
    }
    return read_external_list(is);
}

bool Haplo_DB::read_in_file_list(std::ifstream& is) {
    if (!read_haplotype(is)) {
        E.error(ERROR, my_string(kReadIdContentName), Msg::m40_bad_hapl_list);
        return false;
    }
    is.get();  // the closing brace
    return true;
}

bool Haplo_DB::read_external_list(std::ifstream& is) {
    my_string word;
    get_qstring(is, word);
    word.to_upper();
    if (!(word == "EXTERN")) {
        E.error(ERROR, my_string(kReadIdContentName), Msg::m38_invalid_hapl_list_keyword);
        return false;
    }
    my_string file;
    if (!get_qstring(is, file)) return true;
    E.error(INFO, my_string(kReadIdContentName), Msg::m35_reading_extern_hapl_list);

    const std::size_t folder = RunSettings != nullptr ? static_cast<std::size_t>(RunSettings->ResultFolder.length()) : 0;
    std::vector<char> path(folder + static_cast<std::size_t>(file.length()) + 1);
    build_ext_name(path.data(), file.c_str());

    std::ifstream ext;
    if (!open_input_file(ext, path.data())) {
        E.error(ERROR, my_string(kReadIdContentName), Msg::m36_cannot_open_extern_hapl_file);
        return false;
    }
    if (!read_haplotype(ext)) {
        E.error(ERROR, my_string(kReadIdContentName), Msg::m37_bad_extern_hapl_file);
        return false;
    }
    return true;
}

bool Haplo_DB::read_haplotype(std::ifstream& is) {
    for (;;) {
        skip_comments(is);
        my_string identifier;
        if (!get_qstring(is, identifier)) return true;
        const my_string where = my_string("Haplo_DB::read_haplotype() (\"") + identifier + "\")";
        if (find_by_id(identifier) != nullptr) {
            delete_all();
            E.error(ERROR, where, Msg::m31_haplotype_already_defined);
            return false;
        }
        if (test_end_of_line(is)) {
            E.error(ERROR, where, Msg::m32_missing_haplotype_data);
            return false;
        }
        auto definition = std::make_unique<HaploDef>(identifier);
        if (!definition->read_data(is, *this)) {
            E.error(ERROR, my_string(kReadHaplotypeName), Msg::m33_cannot_read_haplotype_data);
            delete_all();
            return false;
        }
        haplotypes.Add(definition.get());
        definition.release();
    }
}

char* Haplo_DB::build_ext_name(char* dst, char const* file) {
    std::string const path = extern_file_path(file, RunSettings, ExternBase::ResultFolder);
    std::memcpy(dst, path.c_str(), path.size() + 1);
    return dst;
}

// ------------------------------------------------------ distance matrix

int Haplo_DB::associate_with1(DistMat const& dm) {
    for (long i = 0; i < haplotypes.count; ++i)
        if (HaploDef* h = haplotypes.data[i]) h->matrixIndex = -1;

    if (!dm.Labels) {
        E.error(WARNING, my_string(kAssociate1Name), Msg::m29_dist_mat_without_labels);
        return 0;
    }

    int unmatched = 0;
    for (int row = 0; row < dm.MatrixSize; ++row) {
        my_string const& label = dm.Labels[row];
        if (HaploDef* h = find_by_id(label)) {
            h->matrixIndex = row;
            continue;
        }
        E.error(WARNING, my_string(kAssociate1Name), Msg::m28_dist_mat_haplotype_not_in_samples);
        *_AOS_ << "\tHaplotype " << '"' << label << '"' << " defined in the labels of the user-defined\n"
               << "\tdistance matrix was not found in any population sample\n";
        ++unmatched;
    }

    for (long i = 0; i < haplotypes.count; ++i) {
        HaploDef const* h = haplotypes.data[i];
        if (h != nullptr && h->matrixIndex < 0) {
            E.error(ERROR, my_string(kAssociate1Name), Msg::m173_haplotype_without_matrix_label);
            return 0;
        }
    }

    if (unmatched > 0) {
        *_AOS_ << "      During the association of the Distance matrix LABELS and \n"
               << "      the haplotype list, " << unmatched << " LABELS where found\n"
               << "      that did not correspond to any haplotype defined in the samples.\n"
               << "      To be sure that there is no error in the data input file\n"
               << "      check if all LABELS or Haplotype names are valid." << std::endl;
    }
    return 1;
}

int Haplo_DB::associate_with2(DistMat const& dm) {
    if (haplotypes.count != dm.MatrixSize && !dm.constantMode) {
        E.error(ERROR, my_string(kAssociate2Name), Msg::m30_invalid_dist_mat_size);
        return 0;
    }
    for (long i = 0; i < haplotypes.count; ++i)
        if (HaploDef* h = haplotypes.data[i]) h->matrixIndex = static_cast<int>(i);
    return 1;
}

// ----------------------------------------------------------------- writer

std::ostream& operator<<(std::ostream& os, Haplo_DB& db) {
    if (db.haplotypes.count == 0) return os;
    os << "\n\t[[HaplotypeDefinition]]\n\n";
    os << "\t\tHaplListName=" << '"';
    if (db.name == "UNKNOWN")
        os << "generated by pellomar";
    else
        os << db.name;
    os << '"' << '\n';
    os << "\t\tHaplList={\n";
    for (long i = 0; i < db.haplotypes.count; ++i)
        if (HaploDef* h = db.haplotypes.data[i]) Print(*h, &os);
    os << "\t\t}\n" << '\n';
    return os;
}

}  // namespace quintle
