// Reader of the Mantel section of a project file.
//
// The section runs from its header to the end of the file. Each line is cut
// at its first "#" and dispatched on the first keyword it holds, compared in
// upper case anywhere in the line. Label lists and inline matrices may run
// over several lines; the lines they take are not dispatched again. Every
// failure logs its own line, reports through E and ends the read with 0.

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <sstream>
#include <string>

#include "core/Errors.h"
#include "core/checked_int.h"
#include "core/input_files.h"
#include "core/parsing.h"
#include "core/timing.h"
#include "mantel/Mantel.h"
#include "run/extern_names.h"
#include "run/settings.h"

namespace quintle {

namespace {

char const* const kReader = "Mantel::NewReadMantel()";
char const* const kMatrixReader = "Mantel::newReadmatrixData()";

std::ostream& log() { return *_AOS_; }

// A double as a stream in its initial state writes it, whatever the log
// stream's current format.
std::string plain(double v) {
    std::ostringstream os;
    os << v;
    return os.str();
}

// A value as written in a message about a value out of range: its
// truncation toward zero.
std::string truncated(double v) {
    int whole = 0;
    if (checked_int(v, whole)) return std::to_string(whole);
    return plain(std::trunc(v));
}

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// The "=" after `keyword` on the current line; without it the line is
// logged and `message` reported.
bool has_equal_sign(my_string const& buf, int line, char const* keyword, int message) {
    if (checkForPresenceOfEqualSign(buf, keyword, line)) return true;
    log() << "\tMissing '=' sign after keyword \"" << keyword << "\" on line " << line
          << ". Aborting reading project." << std::endl;
    E.error(ERROR, kReader, message);
    return false;
}

// The number after the "=" of `keyword`; a bad one closes the file, is
// logged and reported with `message`.
bool read_number(std::ifstream& in, my_string const& buf, int line, char const* keyword, int message, double& v) {
    if (getValue(buf, v, keyword, line)) return true;
    in.close();
    log() << "Bad value (\"" << plain(v) << "\") assigned to " << keyword << " on line " << line
          << ". Aborting reading project." << std::endl;
    E.error(ERROR, kReader, message);
    return false;
}

}  // namespace

struct Mantel::ReadState {
    ReadState(std::ifstream& i, ProfileSettings& p, int& l, my_string& b) : in(i), profile(p), line(l), buf(b) {}
    std::ifstream& in;
    ProfileSettings& profile;
    int& line;
    my_string& buf;
    my_string upper;
    // A MatrixSize line of this call has sized the matrices.
    bool sizeDefined = false;
    // A label list has been read during this call: the size may no longer
    // change, so that no list is ever read beyond its size.
    bool labelListRead = false;
    // A UsedYMatrixLabels list has been read whole during this call.
    bool usedListRead = false;
};

int Mantel::NewOpenMantel(std::ifstream& in, ProfileSettings& projectProfile, int& line, my_string& buf,
                          bool& hasMatrixSize, bool& hasYMatrix, bool& hasMatrixNumber, bool& hasYMatrixLabels,
                          bool& hasDistMatMantel, bool& hasUsedYMatrixLabels) {
    ReadState st(in, projectProfile, line, buf);
    while (in.good()) {
        buf.read_line(in);
        ++line;
        clearLineAfterPoundSign(buf);
        st.upper = buf;
        st.upper.to_upper();
        my_string const& up = st.upper;
        // The first keyword that matches decides; the keywords that hold a
        // shorter one are told apart first.
        int ok = 1;
        if (up.contains("YMATRIX") && !up.contains("YMATRIXLABELS")) {
            hasYMatrix = true;
            ok = read_YMatrix(st);
        } else if (up.contains("MATRIXSIZE")) {
            hasMatrixSize = true;
            ok = read_MatrixSize(st);
        } else if (up.contains("MATRIXNUMBER")) {
            hasMatrixNumber = true;
            ok = read_MatrixNumber(st);
        } else if (up.contains("YMATRIXLABELS") && !up.contains("USEDYMATRIXLABELS")) {
            hasYMatrixLabels = true;
            ok = read_label_list(st, false);
        } else if (up.contains("DISTMATMANTEL")) {
            hasDistMatMantel = true;
            ok = read_DistMatMantel(st);
        } else if (up.contains("USEDYMATRIXLABELS")) {
            hasUsedYMatrixLabels = true;
            ok = read_label_list(st, true);
        }
        if (!ok) return 0;
    }
    return finish_read(st);
}

int Mantel::read_YMatrix(ReadState& st) {
    if (!has_equal_sign(st.buf, st.line, "YMatrix", 197)) return 0;
    my_string value;
    // A missing or unclosed quote is logged by the helper; what it leaves in
    // value is judged below.
    getQuotedString(st.buf, value, "YMatrix", st.line);
    if (value.length() == 0) {
        log() << "\tProject file, Line #" << st.line << " : Invalid value ('" << value
              << "\") assigned to keyword \"YMatrix\"" << std::endl;
        E.error(ERROR, kReader, Msg::m197_cannot_read_mantel_value);
        return 0;
    }
    my_string lower = value;
    lower.to_lower();
    bool known = false;
    int const types = NbYTypes < kNbYTypes ? NbYTypes : kNbYTypes;
    for (int i = 0; i < types && !known; ++i) known = lower == YTypes[static_cast<std::size_t>(i)];
    if (!known) {
        log() << "\tInvalid YMatrix type (\"" << value << "\")defined on line " << st.line
              << ". Aborting reading project." << std::endl;
        E.error(ERROR, kReader, Msg::m59_invalid_data_or_output);
        return 0;
    }
    YMatrix = lower;
    if (YMatrix == "custom") {
        // Y comes from the file: it is the first matrix to read.
        NbMatricesRead = 0;
    } else {
        // Y is computed from the pairwise FSTs, which need the AMOVA
        // distance matrix.
        NbMatricesRead = 1;
        if (st.profile.RunSettings != nullptr) st.profile.RunSettings->ComputeDistanceMatrixAMOVA = 1;
    }
    return 1;
}

int Mantel::read_MatrixSize(ReadState& st) {
    double v = 0.0;
    if (!has_equal_sign(st.buf, st.line, "MatrixSize", 197) ||
        !read_number(st.in, st.buf, st.line, "MatrixSize", 14, v))
        return 0;
    int size = 0;
    // A size beyond an int has no meaning as a number of rows.
    if (!(v >= 3.0) || !checked_int(v, size)) {
        log() << "\tInvalid value assigned to MatrixSize on line " << st.line
              << ". Value of MatrixSize needs to be at least 3. Aborting reading project." << std::endl;
        E.error(ERROR, kReader, Msg::m15_invalid_matrix_size);
        return 0;
    }
    // Three matrices of a larger size would not fit in memory.
    if (size > TriMat::max_read_dim) {
        log() << "\tInvalid value assigned to MatrixSize on line " << st.line
              << ". Value of MatrixSize needs to be at most " << TriMat::max_read_dim
              << ". Aborting reading project." << std::endl;
        E.error(ERROR, kReader, Msg::m15_invalid_matrix_size);
        return 0;
    }
    if (st.labelListRead && size != MatrixSize) {
        // The lists read so far were sized and checked with the old value.
        log() << "\tMatrixSize changed on line " << st.line << " after a label list was read (" << size
              << " instead of " << MatrixSize << "). Aborting reading project." << std::endl;
        E.error(ERROR, kReader, Msg::m15_invalid_matrix_size);
        return 0;
    }
    MatrixSize = size;
    X1.destroy();
    X2.destroy();
    UserYMatrix.destroy();
    X1.create(MatrixSize);
    X2.create(MatrixSize);
    UserYMatrix.create(MatrixSize);
    st.sizeDefined = true;
    return 1;
}

int Mantel::read_MatrixNumber(ReadState& st) {
    double v = 0.0;
    if (!has_equal_sign(st.buf, st.line, "MatrixNumber", 199) ||
        !read_number(st.in, st.buf, st.line, "MatrixNumber", 198, v))
        return 0;
    if (!(v >= 2.0 && v <= 3.0)) {
        log() << "Invalid value (" << truncated(v) << ") assigned to MatrixNumber on line " << st.line
              << ". Value needs to be either 2 or 3. Aborting reading project." << std::endl;
        E.error(ERROR, "Mantel::read_id_content()", Msg::m199_invalid_matrix_number);
        return 0;
    }
    MatrixNumber = static_cast<int>(v);
    return 1;
}

int Mantel::take_labels(ReadState& st, char const* text, bool used, int& count) {
    std::istringstream is(text);
    my_string label;
    while (get_qstring(is, label)) {
        if (count >= MatrixSize) {
            log() << "\tToo many labels found on line " << st.line << ". Check "
                  << (used ? "UsedYMatrixLabels" : "YMatrixLabels") << " definition. Abort reading project."
                  << std::endl;
            E.error(ERROR, kReader, Msg::m12_bad_haplotype_labels);
            return 0;
        }
        if (used) {
            bool known = false;
            int const rows = MatrixSize < static_cast<int>(YMatrixLabels.size()) ? MatrixSize
                                                                                 : static_cast<int>(YMatrixLabels.size());
            for (int i = 0; i < rows && !known; ++i) known = YMatrixLabels[static_cast<std::size_t>(i)] == label;
            if (!known) {
                log() << "\tLabel \"" << label << "\" defined on line " << st.line
                      << " has not been defined previously in YMatrixLabels section." << " Aborting reading project."
                      << std::endl;
                E.error(ERROR, kReader, Msg::m201_bad_used_y_matrix_labels);
                return 0;
            }
            UsedYMatrixLabels.Add(label);
        } else if (count < static_cast<int>(YMatrixLabels.size())) {
            YMatrixLabels[static_cast<std::size_t>(count)] = label;
        }
        ++count;
    }
    return 1;
}

int Mantel::read_label_list(ReadState& st, bool used) {
    char const* const keyword = used ? "UsedYMatrixLabels" : "YMatrixLabels";
    if (used) {
        UsedYMatrixLabels.count = 0;
        UsedYMatrixLabels.auxCount = 0;
    }
    if (!st.sizeDefined) {
        log() << "\tKeyword " << keyword << " found on line " << st.line
              << " before MatrixSize has been defined. Abort reading matrix." << std::endl;
        E.error(ERROR, kReader, Msg::m197_cannot_read_mantel_value);
        return 0;
    }
    st.labelListRead = true;
    int count = 0;
    if (!used) YMatrixLabels.assign(static_cast<std::size_t>(MatrixSize), my_string());

    auto too_few_used = [&](int found) {
        log() << "\tOnly " << found << " label(s) found in UsedYMatrixLabels definition on line " << st.line
              << ", while at least 3 are needed. Aborting reading project." << std::endl;
        E.error(ERROR, kReader, Msg::m30_invalid_dist_mat_size);
        return 0;
    };

    if (!checkForPresenceOfEqualSign(st.buf, keyword, st.line)) {
        // Row labels: the list stays made but empty. Used labels: none read.
        if (!used) return 1;
        return too_few_used(0);
    }

    bool opened = st.buf.contains('{') != 0;
    if (opened) {
        my_string const rest = st.buf.extract_after('{');
        if (!take_labels(st, rest.c_str(), used, count)) return 0;
    }
    bool closed = st.buf.contains('}') != 0;

    while (!closed) {
        if (!st.in.good()) break;
        st.buf.read_line(st.in);
        ++st.line;
        clearLineAfterPoundSign(st.buf);
        bool const hasOpen = st.buf.contains('{') != 0;
        bool const hasClose = st.buf.contains('}') != 0;
        if (hasOpen) opened = true;
        if (hasClose) closed = true;
        if (!used && !hasClose) {
            // The next keyword came before the end of the list.
            st.upper = st.buf;
            st.upper.to_upper();
            if (st.upper.contains("DISTMATMANTEL") || st.upper.contains("USEDYMATRIXLABELS")) {
                log() << "\tMissing closing brace in YMatrixLabels definition. Aborting reading project."
                      << std::endl;
                E.error(ERROR, kReader, Msg::m12_bad_haplotype_labels);
                return 0;
            }
        }
        if (closed && !opened) {
            log() << "\tMissing opening brace in " << keyword << " definition. Aborting reading project"
                  << std::endl;
            E.error(ERROR, kReader, Msg::m12_bad_haplotype_labels);
            return 0;
        }
        if (opened) {
            my_string const text = hasOpen ? st.buf.extract_after('{') : st.buf;
            if (!take_labels(st, text.c_str(), used, count)) return 0;
        }
    }

    if (!used) {
        bool failed = false;
        if (count < MatrixSize) {
            log() << "\tInsufficient number of labels defined in YMatrixLabels section (" << count << " instead of "
                  << MatrixSize << "). Aborting reading project" << std::endl;
            failed = true;
        }
        if (!closed) {
            log() << "\tMissing closing brace in YMatrixLabels definition. Aborting reading project." << std::endl;
            failed = true;
        }
        if (failed) {
            E.error(ERROR, kReader, Msg::m12_bad_haplotype_labels);
            return 0;
        }
        return 1;
    }
    if (!closed) {
        log() << "\tMissing closing brace in UsedYMatrixLabels definition. Aborting reading project." << std::endl;
        E.error(ERROR, kReader, Msg::m12_bad_haplotype_labels);
        return 0;
    }
    st.usedListRead = true;
    if (UsedYMatrixLabels.count < 3) return too_few_used(static_cast<int>(UsedYMatrixLabels.count));
    return 1;
}

int Mantel::read_DistMatMantel(ReadState& st) {
    ++NbMatricesRead;
    bool const external = st.buf.contains("EXTERN") != 0;
    std::ifstream file;
    int count = st.line;
    if (external) {
        my_string name;
        if (!getQuotedString(st.buf, name, "Extern Distance Matrix ", st.line) || name.length() == 0) {
            // No file to read the matrix from.
            log() << "\tMissing file name after EXTERN on line " << st.line << ". Aborting reading project."
                  << std::endl;
            E.error(ERROR, kReader, Msg::m20_missing_extern_dist_mat_name);
            return 0;
        }
        open_input_file(file, extern_file_path(name.c_str(), st.profile.RunSettings, ExternBase::ProjectFolder));
        if (!file.is_open()) {
            log() << "\tWarning: External file \"" << name << "\" listed on line " << st.line
                  << " cannot be open. Check that it exists. Aborting reading project" << std::endl;
            E.error(ERROR, "Project::newOpen()", Msg::m200_cannot_read_extern_dist_mat);
            return 0;
        }
        log() << "\tReading Distance Matrix in external file \"" << name << "\"" << std::endl;
        E.error(WARNING, kReader, Msg::m17_reading_extern_dist_mat);
        count = 0;
    }

    log() << "\t\tReading Mantel distance matrix ..." << std::endl;
    std::clock_t const start = std::clock();
    TriMat* target = nullptr;
    if (NbMatricesRead == 1)
        target = &UserYMatrix;
    else if (NbMatricesRead == 2)
        target = &X1;
    else if (NbMatricesRead == 3)
        target = &X2;
    if (target != nullptr) {
        int const ok = newReadMatrixData(external ? file : st.in, *target, external, count);
        if (!external) st.line = count;
        if (!ok) {
            log() << "\t\tProblems in reading DisMatMantel section... aborting reading  project file.\n" << std::flush;
            return 0;
        }
    }
    log() << "\t\tdone ! (" << elapsed_ms_since(start) << " ms)\n" << std::endl;
    return 1;
}

int Mantel::finish_read(ReadState& st) {
    if (!st.usedListRead && !YMatrixLabels.empty() && MatrixSize != 0) {
        log() << "\tWarning: Section UsedYMatrixLabels not found. We shall assume that all "
              << "labels previously defined in section YMatrixLabels are valid" << std::endl;
        for (my_string const& label : YMatrixLabels) UsedYMatrixLabels.Add(label);
    }
    if (NbMatricesRead != MatrixNumber) {
        log() << "\tUnexpected number of matrices defined (" << NbMatricesRead << " instead of " << MatrixNumber
              << "). Aborting reading project." << std::endl;
        E.error(ERROR, kReader, Msg::m186_cannot_read_mantel_matrices);
        return 0;
    }
    profile = st.profile;
    return 1;
}

int Mantel::newReadMatrixData(std::ifstream& in, TriMat& m, bool isExternal, int& line) {
    while (in.peek() == ' ' || in.peek() == '\t') in.get();

    my_string row;
    std::string token;
    bool closingBrace = false;
    int rows = 0;
    for (int k = 1; k <= MatrixSize && in.good(); ++k) {
        row.read_line(in);
        ++line;
        clearLineAfterPoundSign(row);
        int const brace = row.find_first_of('}');
        if (brace >= 0) {
            closingBrace = true;
            row.remove(brace, row.length() - brace);
        }
        ++rows;

        char const* const text = row.c_str();
        int const length = row.length();
        int pos = 0;
        // A value ended the text: the rest of the row is missing, which is
        // accepted (its cells keep their content).
        bool atEnd = false;
        auto next_token = [&]() {
            while (pos < length && is_blank(text[pos])) ++pos;
            int const from = pos;
            while (pos < length && !is_blank(text[pos])) ++pos;
            if (pos >= length) atEnd = true;
            token.assign(text + from, static_cast<std::size_t>(pos - from));
        };
        for (int j = 1; j <= k && !atEnd; ++j) {
            next_token();
            if (token.empty()) {
                log() << "\tUnable to read distance #" << j << " on line " << line
                      << ". Aborting reading distance matrix." << std::endl;
                E.error(ERROR, kMatrixReader, Msg::m13_bad_dist_mat);
                return 0;
            }
            char* end = nullptr;
            double const v = std::strtod(token.c_str(), &end);
            if (*end != '\0' || !std::isfinite(v)) {
                log() << "\tBad value (\"" << token << "\") for distance #" << j << " on line " << line
                      << ". Aborting reading distance matrix." << std::endl;
                E.error(ERROR, kMatrixReader, Msg::m13_bad_dist_mat);
                return 0;
            }
            if (k <= m.dim && j <= m.dim) m(k - 1, j - 1) = v;
        }
        if (!atEnd) {
            bool extra = false;
            while (pos < length) {
                next_token();
                if (!token.empty() && token != "}") extra = true;
            }
            if (extra) {
                log() << "\tWarning:  Too many distances are defined on line " << line << "(" << (k + 1)
                      << " instead of " << k << ")" << std::endl;
                E.error(WARNING, kMatrixReader, Msg::m15_invalid_matrix_size);
            }
        }
    }
    if (rows < MatrixSize) {
        log() << "\tInvalid dimension for distance matrix: " << MatrixSize << " rows were expected, but only " << rows
              << " were found. Aborting reading project." << std::endl;
        E.error(ERROR, kMatrixReader, Msg::m13_bad_dist_mat);
        return 0;
    }
    if (isExternal || closingBrace) return 1;
    while (in.good()) {
        row.read_line(in);
        ++line;
        clearLineAfterPoundSign(row);
        if (row.contains('}')) return 1;
    }
    log() << "\tNo closing brace in distance matrix definition up to line " << line << ". Aborting reading project."
          << std::endl;
    E.error(ERROR, kMatrixReader, Msg::m21_bad_dist_mat_data);
    return 0;
}

}  // namespace quintle
