// The older, token-based reader of a "[[DistanceMatrix]]" sub-section:
// "key = value" entries read one after another, the labels either on one
// line before the rows (LINE) or at the head of each row (COLUMN), and the
// lower triangle possibly split into vertical blocks of columns. Carriage
// returns count as blanks, so files with CRLF line ends read as LF ones.

#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <string>

#include "core/Errors.h"
#include "core/input_files.h"
#include "core/parsing.h"
#include "core/public.h"
#include "project/DistMat.h"
#include "run/extern_names.h"

namespace quintle {

namespace {

constexpr char kSettings[] = "DistMat::get_settings( ifstream& ifs)";
constexpr char kContent[] = "DistMat::read_id_content()";
constexpr char kMatrixData[] = "DistMat::read_MatrixData()";
constexpr int kEof = std::char_traits<char>::eof();

bool is_blank(int c) { return c == ' ' || c == '\t' || c == '\r'; }
bool is_digit(int c) { return c >= '0' && c <= '9'; }
bool is_alnum(int c) { return is_digit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool is_space(int c) { return is_blank(c) || c == '\n' || c == '\v' || c == '\f'; }
// A label is a haplotype identifier: it may open with a byte above 127 (a
// UTF-8 character), as the identifiers of the samples may.
bool starts_a_label(int c) { return is_alnum(c) || is_word_byte_above_ascii(c); }

void skip_blanks(std::istream& is) {
    while (is_blank(is.peek())) is.get();
}

void skip_line(std::istream& is) { is.ignore(std::numeric_limits<std::streamsize>::max(), '\n'); }

// Passes over white space and "#" comments; the next visible character (or
// the end of the input) is left in the stream and returned.
int skip_to_visible(std::istream& is) {
    for (;;) {
        int const c = is.peek();
        if (c == '#') {
            skip_line(is);
        } else if (c != kEof && is_space(c)) {
            is.get();
        } else {
            return c;
        }
    }
}

// Passes over everything up to and including the next `c`; false when the
// input ends first.
bool skip_past(std::istream& is, char c) {
    is.ignore(std::numeric_limits<std::streamsize>::max(), c);
    return !is.eof() && !is.fail();
}

// ERROR 13 whose function name is the formatted position text.
void value_error(char const* format, int a, int b) {
    char text[96];
    std::snprintf(text, sizeof text, format, a, b);
    E.error(ERROR, my_string(text), Msg::m13_bad_dist_mat);
}

void strip_outer_quotes(my_string& name) {
    if (name.contains('"') && name.length() >= 2) {
        name.remove(name.length() - 1, 1);
        name.remove(0, 1);
    }
}

}  // namespace

std::string DistMat::build_ext_name(char const* name) const {
    return extern_file_path(name != nullptr ? name : "", RunSettings, ExternBase::ResultFolder);
}

int DistMat::get_settings(std::istream& is) {
    my_string key;
    for (;;) {
        key = "";
        if (!get_next_ident(is, key)) return 1;
        if (!is_identifier(key)) {
            E.error(WARNING, kSettings, Msg::m23_bad_dist_mat_keyword);
            return 0;
        }
        if (read_id_content(is, key) == 0) {
            E.error(ERROR, kSettings, Msg::m24_bad_dist_mat);
            return 0;
        }
    }
}

int DistMat::read_id_content(std::istream& is, my_string const& key) {
    if (key == "matrixname") {
        my_string value;
        if (!get_qstring(is, value)) return 0;
        MatrixName = value;
        return 1;
    }
    if (key == "matrixsize") {
        int v = 0;
        if (!(is >> v)) {
            E.error(ERROR, kContent, Msg::m14_no_matrix_size);
            return 0;
        }
        if (v < 0 || v > TriMat::max_read_dim) {
            if (v > TriMat::max_read_dim)
                *_AOS_ << "\tA distance matrix has at most " << TriMat::max_read_dim << " rows." << std::endl;
            E.error(ERROR, kContent, Msg::m15_invalid_matrix_size);
            return 0;
        }
        if (Labels && v != MatrixSize) {
            // The labels were sized for the old value: a new size would make
            // the writer and the label look-ups run past them.
            *_AOS_ << "\tMatrixSize changed to " << v << " after " << MatrixSize
                   << " labels were read. The new size is ignored." << std::endl;
            E.error(ERROR, kContent, Msg::m15_invalid_matrix_size);
            return 1;
        }
        TriMat::destroy();
        TriMat::create(v);
        MatrixSize = v;
        return 1;
    }
    if (key == "labelposition") {
        my_string value;
        if (!get_qstring(is, value)) return 1;
        value.to_upper();
        if (value == "LINE") {
            LabelPosition = 0;
        } else if (value == "COLUMN") {
            LabelPosition = 1;
        } else {
            E.error(ERROR, kContent, Msg::m16_invalid_label_position);
            return 0;
        }
        return 1;
    }
    if (key == "hapllabels") return read_label_block(is);
    if (key == "matrixdata") return read_matrix_data_entry(is);
    E.error(ERROR, kContent, Msg::m22_no_matrix_data_section);
    return 0;
}

int DistMat::read_label_block(std::istream& is) {
    if (!skip_past(is, '{')) {
        E.error(ERROR, kContent, Msg::m11_missing_haplotype_labels);
        return 0;
    }
    Labels = std::make_unique<my_string[]>(static_cast<std::size_t>(MatrixSize));
    for (int i = 0; i < MatrixSize; ++i) {
        // Labels may stand on several lines.
        while (is_space(is.peek())) is.get();
        my_string word;
        is >> word;
        int const brace = word.find_first_of('}');
        if (brace >= 0) {
            word.remove(brace, word.length() - brace);
            Labels[i] = word;
            E.error(ERROR, kContent, Msg::m11_missing_haplotype_labels);
            return 0;
        }
        if (is.fail()) {
            E.error(ERROR, kContent, Msg::m11_missing_haplotype_labels);
            return 0;
        }
        Labels[i] = word;
    }
    if (!skip_past(is, '}')) {
        E.error(ERROR, kContent, Msg::m11_missing_haplotype_labels);
        return 0;
    }
    return 1;
}

int DistMat::read_matrix_data_entry(std::istream& is) {
    if (MatrixSize == 0) {
        E.error(ERROR, kContent, Msg::m14_no_matrix_size);
        return 0;
    }
    Labels = std::make_unique<my_string[]>(static_cast<std::size_t>(MatrixSize));
    int const c = skip_to_visible(is);
    if (c == kEof) return 0;
    if (c == '{') {
        is.get();
        int const body = read_MatrixData(is);
        bool const closed = is.get() == '}';
        // A body that failed does not become good because its brace
        // happens to follow.
        if (closed && body != 0) return 1;
        E.error(ERROR, kContent, Msg::m12_bad_haplotype_labels);
        return 0;
    }
    if (!is_alnum(c)) {
        E.error(ERROR, kContent, Msg::m21_bad_dist_mat_data);
        return 0;
    }
    my_string word;
    if (!get_qstring(is, word)) {
        E.error(ERROR, kContent, Msg::m21_bad_dist_mat_data);
        return 0;
    }
    word.to_upper();
    if (!(word == "EXTERN")) {
        E.error(ERROR, kContent, Msg::m19_unexpected_after_matrix_data);
        return 0;
    }
    my_string file;
    if (!get_qstring(is, file)) {
        E.error(ERROR, kContent, Msg::m20_missing_extern_dist_mat_name);
        return 0;
    }
    std::string const path = build_ext_name(file.c_str());
    std::ifstream ext;
    if (!open_input_file(ext, path)) {
        E.error(ERROR, kContent, Msg::m18_bad_extern_dist_mat);
        return 0;
    }
    if (read_MatrixData(ext) == 0) {
        E.error(ERROR, kContent, Msg::m18_bad_extern_dist_mat);
        return 0;
    }
    MatrixName = path.c_str();
    return 1;
}

int DistMat::read_line_labels(std::istream& is) {
    int const n = MatrixSize;
    for (int i = 0; i < n; ++i) {
        skip_blanks(is);
        int const c = is.peek();
        if (c == '\n' || !starts_a_label(c)) {
            E.error(ERROR, kMatrixData, Msg::m11_missing_haplotype_labels);
            return 0;
        }
        my_string label;
        if (!get_qstring(is, label)) {
            E.error(ERROR, kMatrixData, Msg::m11_missing_haplotype_labels);
            return 0;
        }
        Labels[i] = label;
    }
    // Only blanks (and a comment, which takes its line end with it) may
    // follow the labels on their line.
    int c;
    for (;;) {
        c = is.get();
        if (c == kEof) break;
        if (c == '#') {
            skip_line(is);
            continue;
        }
        if (starts_a_label(c) || c == '\n' || c == '}') break;
    }
    if (c != '\n' || !is.good()) {
        E.error(ERROR, kMatrixData, Msg::m12_bad_haplotype_labels);
        return 0;
    }
    return 1;
}

// One row of the current block of columns: the values of columns `first` to
// `row`, at most `width` of them. A row whose line ends before its diagonal
// value sets the width of the block.
int DistMat::read_block_row(std::istream& is, int row, int first, int& width) {
    for (int col = first; col <= row; ++col) {
        int const k = col - first;
        if (k == width) return test_end_of_line(is) ? 1 : 0;
        skip_blanks(is);
        int const c = is.peek();
        if (c == '\n' || c == '#') {
            skip_line(is);
            width = k;
            if (col < row) {
                value_error("DistMat::read_MatrixData()->Line %d contains more than %d distances.", row, row);
                return 0;
            }
            return 1;  // the diagonal value comes in a later block
        }
        // The end of the input, too, stands where a value must.
        if (!is_digit(c)) {
            value_error("DistMat::read_MatrixData()->line %d, column %d", row + 1, col + 1);
            return 0;
        }
        my_string word;
        is >> word;
        // Values are kept at single precision.
        float const value = static_cast<float>(my_atof(word.c_str()));
        if (is.fail() || !(value < std::numeric_limits<float>::infinity())) {
            value_error("DistMat::read_MatrixData() (line %d, column %d)", row + 1, col + 1);
            return 0;
        }
        (*this)(row, col) = static_cast<double>(value);
    }
    return 1;
}

int DistMat::read_MatrixData(std::istream& is) {
    int const n = MatrixSize;
    if (n <= 0 || dim != n || !Labels) {
        E.error(ERROR, kMatrixData, Msg::m14_no_matrix_size);
        return 0;
    }
    skip_comments(is);
    if (LabelPosition == 0 && read_line_labels(is) == 0) return 0;

    int first = 0;
    int width = n;
    while (first < n) {
        int rowWidth = width;
        for (int row = first; row < n; ++row) {
            skip_to_visible(is);
            if (LabelPosition == 1) {
                my_string label;
                is >> label;
                if (is.fail()) {
                    E.error(ERROR, kMatrixData, Msg::m11_missing_haplotype_labels);
                    return 0;
                }
                Labels[row] = label;
            }
            if (read_block_row(is, row, first, rowWidth) == 0) return 0;
        }
        if (rowWidth <= 0) {
            // No column was read in this block: the next would start here again.
            value_error("DistMat::read_MatrixData() (line %d, column %d)", first + 1, first + 1);
            return 0;
        }
        first += rowWidth;
        width = n - rowWidth;
    }
    // The line end of the last row, after any blanks.
    skip_blanks(is);
    if (is.peek() == '\n') is.get();
    return 1;
}

void DistMat::get_mat_name(std::istream& is) {
    MatrixName = "none";
    my_string key;
    for (;;) {
        key = "";
        if (!get_next_ident(is, key)) return;
        if (!is_identifier(key)) {
            E.error(WARNING, kSettings, Msg::m23_bad_dist_mat_keyword);
            return;
        }
        if (!(key == "matrixdata")) {
            my_string dropped;
            get_qstring(is, dropped);
            continue;
        }
        MatrixName = "Defined In project file";
        if (!is_alnum(skip_to_visible(is))) return;
        my_string word;
        if (!get_qstring(is, word)) return;
        word.to_upper();
        my_string file;
        if (word == "EXTERN" && get_qstring(is, file)) {
            strip_outer_quotes(file);
            MatrixName = file;
        }
        return;
    }
}

}  // namespace quintle
