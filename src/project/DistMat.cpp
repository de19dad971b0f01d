#include "project/DistMat.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/Errors.h"
#include "core/xml.h"
#include "run/settings.h"

namespace quintle {

namespace {

constexpr char kReadName[] = "DistMat::ReadDistanceMatrix()";
constexpr char kWriteName[] = "operator <<(ostream& os, DistMat& DM)";

bool is_separator(char c) { return c == ' ' || c == '\t'; }

// Walks the blank- or tab-separated tokens of one line.
class TokenCursor {
public:
    explicit TokenCursor(std::string_view text) : text_(text) {}

    bool next(std::string_view& token) {
        while (pos_ < text_.size() && is_separator(text_[pos_])) ++pos_;
        if (pos_ >= text_.size()) return false;
        std::size_t const start = pos_;
        while (pos_ < text_.size() && !is_separator(text_[pos_])) ++pos_;
        token = text_.substr(start, pos_ - start);
        return true;
    }

    // True when a word begins right after the one separator that ended the
    // last token (a second separator hides what follows it).
    bool word_right_after_separator() const {
        return pos_ + 1 < text_.size() && is_separator(text_[pos_]) && !is_separator(text_[pos_ + 1]);
    }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

// Reads one line of the body, counts it and cuts it at its first '#'.
// False when no line could be read.
bool read_body_line(std::istream& is, std::string& line, int& lineNo) {
    if (!is.good()) return false;
    std::getline(is, line);
    if (is.fail()) return false;
    ++lineNo;
    std::size_t const pound = line.find('#');
    if (pound != std::string::npos) line.erase(pound);
    return true;
}

// A distance is the whole token read as a decimal number; anything that is
// not a finite number would poison every statistic computed from the matrix.
bool parse_distance(std::string_view token, std::string& scratch, double& value) {
    scratch.assign(token);
    char* end = nullptr;
    value = std::strtod(scratch.c_str(), &end);
    return !scratch.empty() && end == scratch.c_str() + scratch.size() && std::isfinite(value);
}

constexpr double kMaxDistance = 1e100;

bool names_next_section(std::string const& line) {
    std::string upper(line);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return upper.find("[SAMPLES]") != std::string::npos || upper.find("[STRUCTURE]") != std::string::npos ||
           upper.find("[MANTEL]") != std::string::npos;
}

}  // namespace

DistMat::DistMat() : TriMat(0) {}

DistMat::DistMat(int const& n) : TriMat(n) {}

DistMat::~DistMat() = default;

void DistMat::reset() {
    MatrixSize = 0;
    MatrixName = "";
    Labels.reset();
    TriMat::initialize();
    constantMode = 0;
}

DistMat& DistMat::operator=(DistMat const& other) {
    if (this == &other) return *this;
    reset();
    ProfileSettings::operator=(other);
    MatrixName = other.MatrixName;
    MatrixSize = other.MatrixSize;
    LabelPosition = other.LabelPosition;
    // A computed matrix may come without labels: the copy then has none
    // either, rather than labels read from nowhere.
    if (other.Labels && MatrixSize > 0) {
        Labels = std::make_unique<my_string[]>(static_cast<std::size_t>(MatrixSize));
        for (int i = 0; i < MatrixSize; ++i) Labels[i] = other.Labels[i];
    }
    TriMat::operator=(other);
    return *this;
}

void DistMat::initializeMatrixAndArrays(int const& n) {
    int const size = n > 0 ? n : 0;
    MatrixSize = size;
    TriMat::destroy();
    TriMat::create(size);
    Labels.reset();
    Labels = std::make_unique<my_string[]>(static_cast<std::size_t>(size));
}

int DistMat::ReadDistanceMatrix(std::istream& is, bool external, int& lineNo) {
    int const n = dim;
    // Labels and values go into arrays sized by "MatrixSize": without a valid
    // size before the data there is nothing sound to write into.
    if (MatrixSize <= 0 || n != MatrixSize || !Labels) {
        *_AOS_ << "\tNo valid \"MatrixSize\" was defined before the distance matrix data. "
                  "Aborting reading distance matrix."
               << std::endl;
        E.error(ERROR, kReadName, Msg::m14_no_matrix_size);
        return 0;
    }

    // Blanks, tabs and empty lines before the body are passed over, so that
    // a block written by operator<< (empty line after "MatrixData") reads
    // back.
    for (int c = is.peek(); c == ' ' || c == '\t' || c == '\n'; c = is.peek()) {
        is.get();
        if (c == '\n') ++lineNo;
    }

    std::string line;
    std::string scratch;
    std::string_view token;

    if (LabelPosition == 0) {
        if (!read_body_line(is, line, lineNo)) line.clear();
        if (line.find('}') != std::string::npos) {
            *_AOS_ << "\tUnexpected closing brace found on line " << lineNo
                   << ". Aborting reading distance matrix." << std::endl;
            E.error(ERROR, kReadName, Msg::m12_bad_haplotype_labels);
            return 0;
        }
        TokenCursor cursor(line);
        int read = 0;
        while (read < n && cursor.next(token)) {
            scratch.assign(token);
            Labels[read++] = scratch.c_str();
        }
        if (read < n) {
            *_AOS_ << "\tMissing labels on line " << lineNo << ". Only " << read << " labels were found while " << n
                   << " were expected. Last correctly read label was " << '"'
                   << (read > 0 ? Labels[read - 1] : my_string()) << '"' << ". Aborting reading Distance Matrix"
                   << std::endl;
            E.error(ERROR, kReadName, Msg::m12_bad_haplotype_labels);
            return 0;
        }
        if (cursor.word_right_after_separator()) {
            *_AOS_ << "\tWarning: More labels than anticipated (" << n << ") are declared on line " << lineNo
                   << std::endl;
            E.error(WARNING, kReadName, Msg::m15_invalid_matrix_size);
        }
    }

    bool braceFound = false;
    int rowsRead = 0;
    for (int i = 0; i < n; ++i) {
        if (!read_body_line(is, line, lineNo)) break;
        ++rowsRead;
        std::size_t const brace = line.find('}');
        if (brace != std::string::npos) {
            line.erase(brace);
            braceFound = true;
        }
        TokenCursor cursor(line);
        if (LabelPosition == 1) {
            if (!cursor.next(token)) {
                *_AOS_ << "\tUnable to read label #" << i + 1 << " on line " << lineNo
                       << ". Aborting reading Distance Matrix" << std::endl;
                E.error(ERROR, kReadName, Msg::m12_bad_haplotype_labels);
                return 0;
            }
            scratch.assign(token);
            Labels[i] = scratch.c_str();
        }
        for (int j = 0; j <= i; ++j) {
            if (!cursor.next(token)) {
                *_AOS_ << "\tUnable to read distance #" << j + 1 << " on line " << lineNo
                       << ". Aborting reading distance matrix." << std::endl;
                E.error(ERROR, kReadName, Msg::m13_bad_dist_mat);
                return 0;
            }
            double value = 0.0;
            if (!parse_distance(token, scratch, value)) {
                *_AOS_ << "\tBad value (" << '"' << token << '"' << ") for distance #" << j + 1 << " on line "
                       << lineNo << ". Aborting reading distance matrix." << std::endl;
                E.error(ERROR, kReadName, Msg::m13_bad_dist_mat);
                return 0;
            }
            // A negative distance turns the variance components and FST into
            // nonsense; a huge one overflows their sums over pairs of gene
            // copies (and their squares) into infinities and NaN.
            if (!(value >= 0.0 && value <= kMaxDistance)) {
                *_AOS_ << "\tBad distance (" << '"' << token << '"' << ") at row " << i + 1 << ", column " << j + 1
                       << " on line " << lineNo << ": a distance lies between 0 and " << kMaxDistance
                       << ". Aborting reading distance matrix." << std::endl;
                E.error(ERROR, kReadName, Msg::m13_bad_dist_mat);
                return 0;
            }
            (*this)(i, j) = value;
        }
        if (cursor.next(token)) {
            *_AOS_ << "\tWarning:  Too many distances are defined on line " << lineNo << "(" << i + 2
                   << " instead of " << i + 1 << ")" << std::endl;
            E.error(WARNING, kReadName, Msg::m15_invalid_matrix_size);
        }
    }

    if (rowsRead < n) {
        *_AOS_ << "\tInvalid dimension for distance matrix: " << n << " rows were expected, but only " << rowsRead
               << " were found. Aborting reading project." << std::endl;
        E.error(ERROR, kReadName, Msg::m13_bad_dist_mat);
        return 0;
    }

    if (braceFound || external) return 1;
    while (read_body_line(is, line, lineNo)) {
        if (line.find('}') != std::string::npos) return 1;
        if (names_next_section(line)) break;
    }
    *_AOS_ << "\tNo closing brace in Matrix Data " << '"' << MatrixName << '"' << "definition."
           << " Aborting reading project." << std::endl;
    E.error(ERROR, kReadName, Msg::m21_bad_dist_mat_data);
    return 0;
}

std::ostream& operator<<(std::ostream& os, DistMat& dm) {
    if (dm.MatrixSize == 0) return os;
    os << "\t[[DistanceMatrix]]\n\n";
    os << "\t\tMatrixName= " << '"' << dm.MatrixName << '"' << "\n";
    os << "\t\tMatrixSize= " << dm.MatrixSize << "\n";
    os << "\t\tLabelPosition=" << "LINE" << "\n";
    os << "\t\tMatrixData={\n";
    if (!dm.Labels) E.error(INFO, kWriteName, Msg::m11_missing_haplotype_labels);
    os << "\n";
    if (dm.Labels)
        for (int i = 0; i < dm.MatrixSize; ++i) os << dm.Labels[i] << ' ';
    os << "\n";
    if (dm.constantMode) {
        os << "\nConventional FST Matrix: Dij=1 if i!=j and O else:\n" << "\n";
    } else {
        TXmlTag const tag("hapDistMatrix");
        if (xmlOutput) os << tag.open() << "\n";
        dm.print_data(os);
        if (xmlOutput) os << tag.close() << "\n";
    }
    os << "\n\t\t}" << "\n";
    return os;
}

}  // namespace quintle
