#include "run/cleaner.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <system_error>

#include "core/Errors.h"
#include "core/input_files.h"
#include "core/my_string.h"
#include "core/platform.h"
#include "run/extern_names.h"
#include "run/run_lock.h"

namespace quintle {

namespace {

namespace fs = std::filesystem;

// Longest line searched for an EXTERN reference: keyword lines are short,
// and a long data line must not be mistaken for one.
constexpr std::size_t max_extern_line = 1000;

constexpr std::string_view path_separators = "/\\";

// Longest line the readers of the copy take (the line buffer of my_string):
// a longer one would fail them with no word of what is wrong.
constexpr std::size_t max_copy_line = static_cast<std::size_t>(my_string::max_line);

bool is_path_separator(char c) { return c == '/' || c == '\\'; }

// Case-insensitive containment of an upper-case pattern.
bool contains_upper(std::string const& text, std::string_view upper_pattern) {
    auto it = std::search(text.begin(), text.end(), upper_pattern.begin(), upper_pattern.end(),
                          [](char a, char b) {
                              return std::toupper(static_cast<unsigned char>(a)) == static_cast<unsigned char>(b);
                          });
    return it != text.end();
}

// Name of an external file's copy inside the result folder. The name as
// written may hold folders (even ".."); the copy never does, so that it lands
// in the result folder itself: every separator becomes '_'. Empty when the
// name gives no usable file name.
std::string flattened_copy_name(std::string const& name) {
    std::string flat = name;
    std::replace_if(flat.begin(), flat.end(), is_path_separator, '_');
    if (flat == "." || flat == ".." || flat == run_lock_name) flat.clear();
    return flat;
}

// True when both paths exist and name the same file (links included), so a
// copy would overwrite its own source.
bool same_file(std::string const& a, std::string const& b) {
    std::error_code ec;
    bool same = fs::equivalent(a, b, ec);
    return !ec && same;
}

// From pos, the first position of an eight-character block that may hold a
// blank, a control character, a '#' or the separator (or the last few
// characters): the characters before it are all ordinary.
std::size_t skip_ordinary(std::string const& text, std::size_t pos, char separator) {
    constexpr std::uint64_t ones = 0x0101010101010101ULL;
    constexpr std::uint64_t highs = 0x8080808080808080ULL;
    auto holds = [](std::uint64_t x, unsigned char c) {
        std::uint64_t const y = x ^ (ones * c);
        return (y - ones) & ~y & highs;
    };
    while (pos + 8 <= text.size()) {
        std::uint64_t x = 0;
        std::memcpy(&x, text.data() + pos, 8);
        // Bytes below '!' (blanks, tabs, carriage returns among them).
        std::uint64_t const low = (x - ones * static_cast<unsigned char>('!')) & ~x & highs;
        std::uint64_t const sep = separator != 0 ? holds(x, static_cast<unsigned char>(separator)) : 0;
        if ((low | holds(x, '#') | sep) != 0) break;
        pos += 8;
    }
    return pos;
}

}  // namespace

cleaner::cleaner() = default;

// A run that ends early (an exception) leaves no copy behind either.
cleaner::~cleaner() {
    try {
        rm_clean_files();
    } catch (...) {
        // Out of memory while unwinding: a copy may stay, the process goes on.
    }
}

bool cleaner::execute(char separator, char const* project_file) {
    loc_sep = separator;
    if (project_file == nullptr) return false;
    proj_path = project_file;

    std::size_t const first = orig_files.size();
    orig_files.push_back(proj_path);
    clean_files.emplace_back();
    file_kinds.push_back(project_kind);
    created.push_back(0);

    // Cleaning the project queues its external files behind it; the loop
    // takes them up as the list grows.
    refused_ = false;
    bool made = false;
    for (std::size_t i = first; i < orig_files.size(); ++i) {
        int const index = static_cast<int>(i);
        if (file_kinds[i] == project_kind) {
            bool const ok = clean_proj_file(index);
            if (i == first) made = ok;
        } else {
            clean_haplo_file(index);
        }
    }
    return made && !refused_;
}

bool cleaner::clean_proj_file(int const& i) {
    if (!valid_index(i)) return false;
    std::string const source = source_path(i);
    std::ifstream in;
    if (!open_source(source, in)) return false;

    std::size_t const last_sep = source.find_last_of(path_separators);
    std::size_t const name_start = last_sep == std::string::npos ? 0 : last_sep + 1;
    std::string const file_name = source.substr(name_start);
    if (file_name.empty()) return false;

    proj_dir = result_folder_of(source);
    orig_dir = source.substr(0, name_start);
    MY_CreateDirectory(proj_dir.c_str());  // may exist already

    clean_files[i] = proj_dir + file_name;
    if (file_name == run_lock_name) return false;
    if (earlier_copy_of(i) >= 0) return false;
    if (same_file(source, clean_files[i])) return false;
    return write_copy(i, in, true);
}

bool cleaner::clean_haplo_file(int const& i) {
    if (!valid_index(i)) return false;
    if (clean_files[i].empty()) return false;
    std::string const source = source_path(i);
    std::ifstream in;
    if (!open_source(source, in)) return false;

    // Two entries with one copy path: the same file named twice is copied
    // once; a different source must not overwrite the first copy (which may
    // be the project's own).
    int const earlier = earlier_copy_of(i);
    if (earlier >= 0) return created[earlier] != 0 && source_path(earlier) == source;

    if (same_file(source, clean_files[i])) return false;
    return write_copy(i, in, false);
}

bool cleaner::clean_matrix_file(int const&) { return false; }

bool cleaner::clean_pop_file(int const&) { return false; }

void cleaner::clean_curr_line() {
    // In place: the write position never passes the read position. Runs of
    // ordinary characters move as blocks; data lines are mostly one run.
    std::array<bool, 256> special{};
    for (char c : {' ', '\r', '\t', '#'}) special[static_cast<unsigned char>(c)] = true;
    if (loc_sep != 0) special[static_cast<unsigned char>(loc_sep)] = true;
    char* const line = curr_line.data();
    std::size_t const n = curr_line.size();
    std::size_t w = 0;
    std::size_t r = 0;
    while (r < n) {
        std::size_t const start = r;
        r = skip_ordinary(curr_line, r, loc_sep);
        while (r < n && !special[static_cast<unsigned char>(line[r])]) ++r;
        if (w != start) std::memmove(line + w, line + start, r - start);
        w += r - start;
        if (r == n) break;
        char const c = line[r++];
        bool const blank = c == ' ' || c == '\r' || c == '\t' || (loc_sep != 0 && c == loc_sep);
        if (!blank) break;  // '#': the rest is a comment
        if (w > 0 && line[w - 1] == ' ') continue;
        line[w++] = ' ';
    }
    while (w > 0 && line[w - 1] == ' ') --w;
    curr_line.resize(w);
}

void cleaner::line_has_external() {
    if (curr_line.size() > max_extern_line) return;
    if (curr_line.find("EXTERN") == std::string::npos) return;
    std::string name;
    std::size_t const open = curr_line.find('"');
    if (open != std::string::npos) {
        std::size_t const close = curr_line.find('"', open + 1);
        if (close != std::string::npos) name = curr_line.substr(open + 1, close - open - 1);
    }
    queue_external(name);
}

void cleaner::line_locus_sep() {
    if (loc_sep == 0) return;
    if (contains_upper(curr_line, "LOCUSSEPARATOR") && !contains_upper(curr_line, "NONE")) {
        // The copy's separators are blanks now.
        curr_line = "LocusSeparator=WHITESPACE";
    }
}

void cleaner::rm_clean_files() {
    // The lists are one entry apart when an append failed part way.
    std::size_t const n = std::min(clean_files.size(), created.size());
    for (std::size_t i = 0; i < n; ++i) {
        if (created[i] == 0) continue;
        MY_DeleteFile(clean_files[i].c_str());
        created[i] = 0;
    }
}

char const* cleaner::get_clean_proj() const {
    if (clean_files.empty() || created.empty() || created[0] == 0) return nullptr;
    return clean_files[0].c_str();
}

char const* cleaner::get_orig_proj() const {
    return orig_files.empty() ? nullptr : orig_files[0].c_str();
}

char const* cleaner::get_proj_dir() const { return proj_dir.c_str(); }

bool cleaner::valid_index(int i) const {
    return i >= 0 && static_cast<std::size_t>(i) < orig_files.size() &&
           static_cast<std::size_t>(i) < clean_files.size();
}

std::string cleaner::source_path(int i) const {
    std::string const& name = orig_files[i];
    if (file_kinds[i] == project_kind) return name;
    // As the project readers do.
    return extern_file_path(name, orig_dir, ExternBase::ProjectFolder);
}

int cleaner::earlier_copy_of(int i) const {
    for (int k = 0; k < i; ++k) {
        if (clean_files[k] == clean_files[i]) return k;
    }
    return -1;
}

bool cleaner::write_copy(int i, std::istream& in, bool project_rules) {
    std::ofstream out(clean_files[i], std::ios::out | std::ios::trunc | std::ios::binary);
    if (!out) return false;
    created[i] = 1;

    long line_number = 0;
    LineRead read = LineRead::line;
    bool too_wide = false;
    if (project_rules) {
        // Empty lines are dropped; one empty line ends the copy.
        while ((read = read_bounded_line(in, curr_line)) == LineRead::line) {
            ++line_number;
            clean_curr_line();
            if ((too_wide = curr_line.size() > max_copy_line)) break;
            line_has_external();
            line_locus_sep();
            if (!curr_line.empty()) {
                out.write(curr_line.data(), static_cast<std::streamsize>(curr_line.size()));
                out.put('\n');
            }
        }
        out.put('\n');
    } else {
        // Every line is kept; the state is tested before each read, so a
        // source ending with a newline gives one more empty line.
        while (in.good()) {
            ++line_number;
            read = read_bounded_line(in, curr_line);
            if (read == LineRead::too_long) break;
            clean_curr_line();
            if ((too_wide = curr_line.size() > max_copy_line)) break;
            out.write(curr_line.data(), static_cast<std::streamsize>(curr_line.size()));
            out.put('\n');
        }
    }

    if (read == LineRead::too_long) {
        // A file without line ends (or a line beyond any real one) would
        // otherwise be held in memory whole.
        if (project_rules) ++line_number;
        *_AOS_ << "\tLine " << line_number << " of \"" << source_path(i) << "\" is longer than " << max_input_line
               << " characters: the file is not read." << std::endl;
        refused_ = true;
    } else if (too_wide) {
        *_AOS_ << "\tLine " << line_number << " of \"" << source_path(i) << "\" holds " << curr_line.size()
               << " characters (comments and repeated blanks left out), more than the " << max_copy_line
               << " a line may hold: the file is not read." << std::endl;
        refused_ = true;
    }
    out.flush();
    bool ok = !in.bad() && out.good() && read != LineRead::too_long && !too_wide;
    out.close();
    ok = ok && !out.fail();
    if (!ok) {
        // A partial copy would be read as if it were the whole file.
        MY_DeleteFile(clean_files[i].c_str());
        created[i] = 0;
    }
    return ok;
}

bool cleaner::open_source(std::string const& source, std::ifstream& in) {
    // A device or a pipe never ends, or blocks the open: it is refused, and
    // the refusal fails the project. A missing file is left to the readers,
    // which report it.
    bool not_a_data_file = false;
    bool const opened = open_input_file(in, source, std::ios::in | std::ios::binary, &not_a_data_file);
    if (not_a_data_file) refused_ = true;
    return opened;
}

void cleaner::queue_external(std::string const& name) {
    std::string const flat = flattened_copy_name(name);
    orig_files.push_back(name);
    clean_files.push_back(flat.empty() ? std::string() : proj_dir + flat);
    file_kinds.push_back(external_kind);
    created.push_back(0);
}

}  // namespace quintle
