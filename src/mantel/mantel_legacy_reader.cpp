// The older reader of a project's Mantel section, used by the older project
// reader: "key = value" entries read one after another from the stream,
// label lists on one line, and matrix bodies that may be split into
// vertical blocks of columns. Carriage returns count as blanks, so files
// with CRLF line ends read as LF ones.

#include <cctype>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>

#include "core/Errors.h"
#include "core/input_files.h"
#include "core/parsing.h"
#include "core/public.h"
#include "mantel/Mantel.h"
#include "run/settings.h"

namespace quintle {

namespace {

char const* const kSettings = "Mantel::get_settings( ifstream& ifs)";
char const* const kContent = "Mantel::read_id_content()";

bool is_blank(int c) { return c == ' ' || c == '\t' || c == '\r'; }

void skip_blanks(std::istream& is) {
    while (is_blank(is.peek())) is.get();
}

void skip_line(std::istream& is) {
    for (int c = is.get(); c != std::char_traits<char>::eof() && c != '\n'; c = is.get()) {
    }
}

// Passes over white space and "#" comments up to the next visible
// character, which stays in the stream.
void skip_to_visible(std::istream& is) {
    for (;;) {
        int const c = is.peek();
        if (c == '#') {
            skip_line(is);
        } else if (c != std::char_traits<char>::eof() && std::isspace(c)) {
            is.get();
        } else {
            return;
        }
    }
}

// ERROR 13 whose function name is the formatted message text.
void matrix_error(char const* format, int a, int b) {
    char text[160];
    std::snprintf(text, sizeof text, format, a, b);
    E.error(ERROR, my_string(text), Msg::m13_bad_dist_mat);
}

bool matches_type(std::array<my_string, Mantel::kNbYTypes> const& types, int count, my_string const& value) {
    for (int i = 0; i < count && i < Mantel::kNbYTypes; ++i)
        if (value == types[static_cast<std::size_t>(i)]) return true;
    return false;
}

}  // namespace

int Mantel::get_settings(std::istream& is) {
    my_string key;
    for (;;) {
        key = "";
        if (!get_next_ident(is, key)) {
            // A character no key can begin with has been reported by the
            // parser: the section cannot be trusted.
            if (key == "*" && !is.eof()) return 0;
            break;
        }
        if (!is_identifier(key)) {
            E.error(WARNING, kSettings, Msg::m23_bad_dist_mat_keyword);
            return 0;
        }
        if (!read_id_content(is, key)) {
            E.error(ERROR, kSettings, Msg::m24_bad_dist_mat);
            return 0;
        }
    }
    if (MatrixNumber == 0) {
        MatrixNumber = NbMatricesRead;
    } else if (MatrixNumber != NbMatricesRead) {
        E.error(ERROR, kSettings, Msg::m186_cannot_read_mantel_matrices);
        return 0;
    }
    return 1;
}

int Mantel::read_id_content(std::istream& is, my_string key) {
    if (key == "ymatrix") {
        my_string value;
        if (!get_qstring(is, value)) return 0;
        value.to_lower();
        if (!matches_type(YTypes, NbYTypes, value)) {
            E.error(ERROR, kContent, Msg::m59_invalid_data_or_output);
            return 0;
        }
        YMatrix = value;
        NbMatricesRead = YMatrix == "custom" ? 0 : 1;
        return 1;
    }
    if (key == "matrixsize") {
        int v = 0;
        if (!(is >> v)) {
            E.error(ERROR, kContent, Msg::m14_no_matrix_size);
            return 0;
        }
        if (v <= 2 || v > TriMat::max_read_dim) {
            E.error(ERROR, kContent, Msg::m15_invalid_matrix_size);
            return 0;
        }
        if (!YMatrixLabels.empty() && v != MatrixSize) {
            // The labels were read for the old size and would point outside
            // the new matrices.
            *_AOS_ << "\tMatrixSize changed to " << v << " after " << MatrixSize
                   << " labels were read in YMatrixLabels. Aborting reading project." << std::endl;
            E.error(ERROR, kContent, Msg::m15_invalid_matrix_size);
            return 0;
        }
        MatrixSize = v;
        X1.create(v);
        X2.create(v);
        UserYMatrix.create(v);
        return 1;
    }
    if (key == "matrixnumber") {
        int v = 0;
        if (!(is >> v)) {
            E.error(ERROR, kContent, Msg::m14_no_matrix_size);
            return 0;
        }
        if (v != 2 && v != 3) {
            E.error(ERROR, kContent, Msg::m15_invalid_matrix_size);
            return 0;
        }
        MatrixNumber = v;
        return 1;
    }
    if (key == "ymatrixlabels") return read_legacy_labels(is);
    if (key == "usedymatrixlabels") return read_legacy_used_labels(is);
    if (key == "distmatmantel") return read_legacy_matrix(is);
    E.error(ERROR, kContent, Msg::m22_no_matrix_data_section);
    return 0;
}

int Mantel::read_legacy_labels(std::istream& is) {
    YMatrixLabels.assign(static_cast<std::size_t>(MatrixSize), my_string());
    // The labels may stand between braces: the opening one is passed over.
    skip_blanks(is);
    if (is.peek() == '{') is.get();
    skip_comments(is);
    for (my_string& label : YMatrixLabels) {
        if (!label.GetNextQuota(is)) {
            E.error(ERROR, kContent, Msg::m11_missing_haplotype_labels);
            return 0;
        }
    }
    // Nothing but blanks or a comment may follow the last label on its line.
    skip_blanks(is);
    int const c = is.peek();
    if (c == '#') {
        skip_line(is);
    } else if (c == '\n') {
        is.get();
    } else {
        E.error(ERROR, kContent, Msg::m12_bad_haplotype_labels);
        return 0;
    }
    return 1;
}

int Mantel::read_legacy_used_labels(std::istream& is) {
    my_string before;
    before.read_to_delim(is, '{');
    if (!is.good()) {
        E.error(ERROR, kContent, Msg::m50_missing_group_opening_brace);
        return 0;
    }
    my_string label;
    while (get_qstring(is, label)) UsedYMatrixLabels.Add(label);
    return 1;
}

int Mantel::read_legacy_matrix(std::istream& is) {
    ++NbMatricesRead;
    TriMat* target = NbMatricesRead == 1 ? &UserYMatrix : NbMatricesRead == 2 ? &X1 : NbMatricesRead == 3 ? &X2 : nullptr;
    if (target == nullptr) return 1;
    if (MatrixSize == 0) {
        E.error(ERROR, kContent, Msg::m14_no_matrix_size);
        return 0;
    }
    skip_to_visible(is);
    int const c = is.peek();
    if (c == '{') {
        is.get();
        // A body that failed has said why.
        if (!read_matrix_body(is, *target)) return 0;
        skip_to_visible(is);
        if (is.get() != '}') {
            E.error(ERROR, kContent, Msg::m12_bad_haplotype_labels);
            return 0;
        }
        return 1;
    }
    my_string word;
    if (c == std::char_traits<char>::eof() || !std::isalnum(c) || !get_qstring(is, word)) {
        E.error(ERROR, kContent, Msg::m21_bad_dist_mat_data);
        return 0;
    }
    word.to_upper();
    if (!(word == "EXTERN")) {
        E.error(ERROR, kContent, Msg::m20_missing_extern_dist_mat_name);
        return 0;
    }
    my_string name;
    if (!get_qstring(is, name)) {
        E.error(ERROR, kContent, Msg::m19_unexpected_after_matrix_data);
        return 0;
    }
    if (name.contains('"') && name.length() >= 2) {
        name.remove(name.length() - 1, 1);
        name.remove(0, 1);
    }
    E.error(INFO, kContent, Msg::m17_reading_extern_dist_mat);
    std::ifstream file;
    if (!open_input_file(file, build_ext_name(name.c_str())) || !read_matrix_body(file, *target)) {
        E.error(ERROR, kContent, Msg::m18_bad_extern_dist_mat);
        return 0;
    }
    return 1;
}

int Mantel::read_MatrixDataY(std::istream& is) { return read_matrix_body(is, UserYMatrix); }
int Mantel::read_MatrixData1(std::istream& is) { return read_matrix_body(is, X1); }
int Mantel::read_MatrixData2(std::istream& is) { return read_matrix_body(is, X2); }

int Mantel::read_matrix_body(std::istream& is, TriMat& target) {
    int const size = MatrixSize;
    int start = 0;
    int width = size;
    my_string word;
    while (start < size) {
        for (int r = start; r < size; ++r) {
            skip_to_visible(is);
            int const last = r < start + width - 1 ? r : start + width - 1;
            int read = 0;
            bool full = true;
            for (int col = start; col <= last; ++col) {
                if (col > start) {
                    skip_blanks(is);
                    int const c = is.peek();
                    if (c == '\n' || c == '#') {
                        if (col != r) {
                            matrix_error("Mantel::read_MatrixData()->Line %d contains more than %d distances.", r, r);
                            return 0;
                        }
                        // The row goes on in the next block of columns.
                        skip_line(is);
                        width = read;
                        full = false;
                        break;
                    }
                }
                if (!std::isdigit(is.peek())) {
                    matrix_error("Mantel::read_MatrixData()->line %d, column %d", r + 1, col + 1);
                    return 0;
                }
                is >> word;
                double const v = is.fail() ? 0.0 : my_atof(word.c_str());
                if (is.fail() || std::isinf(v)) {
                    matrix_error("Mantel::read_MatrixData() (line %d, column %d)", r + 1, col + 1);
                    return 0;
                }
                target(r, col) = v;
                ++read;
            }
            if (full && !test_end_of_line(is)) return 0;
        }
        start += width;
        width = size - width;
    }
    return 1;
}

std::string Mantel::build_ext_name(char const* name) const {
    std::string const plain(name != nullptr ? name : "");
    if (plain.find('/') != std::string::npos || plain.find('\\') != std::string::npos) return plain;
    if (profile.RunSettings != nullptr) return std::string(profile.RunSettings->ProjectFolder.c_str()) + plain;
    *_AOS_ << "Pointer to project dir is not initialized. ERROR" << std::endl;
    return plain;
}

}  // namespace quintle
