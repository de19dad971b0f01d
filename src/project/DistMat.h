#pragma once

// The distance matrix given in a project's "[[DistanceMatrix]]" section: a
// symmetric matrix of distances between haplotypes with the labels that
// name its rows. Row k belongs to the haplotype definition whose
// distance-matrix index is k. The project reader handles the section's
// keyword lines itself (it sizes the matrix with initializeMatrixAndArrays
// and sets LabelPosition) and hands the body to ReadDistanceMatrix.

#include <istream>
#include <memory>
#include <ostream>
#include <string>

#include "core/TriMat.h"
#include "core/my_string.h"
#include "run/ProfileSettings.h"

namespace quintle {

class DistMat : public TriMat, public ProfileSettings {
public:
    // Where the labels stand in the body: 0 LINE (one line of labels before
    // the rows), 1 COLUMN (each row begins with its label).
    int LabelPosition = 0;
    my_string MatrixName;
    // Number of rows, of labels and of haplotypes; 0: no matrix.
    int MatrixSize = 0;
    // The row labels in row order, MatrixSize of them; null when absent.
    std::unique_ptr<my_string[]> Labels;

    DistMat();
    // A zero-filled matrix of dimension n, yet without size or labels.
    explicit DistMat(int const& n);
    DistMat(DistMat const&) = delete;
    ~DistMat();

    // Empties the matrix: no size, name or labels, every value 0.0 (the
    // dimension stays), constant mode off. Label position and profile stay.
    void reset();

    // A deep copy; a source in constant mode yields its constants as stored
    // values while this matrix stays out of constant mode.
    DistMat& operator=(DistMat const& other);

    // Sizes the matrix to n rows of 0.0 and n empty labels.
    void initializeMatrixAndArrays(int const& n);

    // The path of an external matrix file: the name completed with the
    // result folder of the run settings, unless it already holds a path
    // separator.
    std::string build_ext_name(char const* name) const;

    // Reads the matrix body (labels and lower triangle) from `is`, which
    // stands after the "MatrixData" line or at the start of an external file
    // (`external` true). lineNo is advanced for every line read. 1 when the
    // body was read; 0, after the messages, when the project must be
    // abandoned.
    int ReadDistanceMatrix(std::istream& is, bool external, int& lineNo);

    // --- the older, token-based reader (legacy_distmat_reader.cpp) --------
    // Reads the sub-section's "key = value" entries from the stream up to
    // the next "[" or the end of the input; the caller has set the profile
    // part. 1 when read, 0 after the report.
    int get_settings(std::istream& is);
    // The value of one lower-case keyword just read. 1 or 0.
    int read_id_content(std::istream& is, my_string const& key);
    // The matrix body: labels (LINE) and the lower triangle, possibly in
    // vertical blocks of columns; values kept at single precision. The
    // stream stands after the opening brace or at the start of an external
    // file. 1 or 0.
    int read_MatrixData(std::istream& is);
    // Only the name of the matrix's source: "none", "Defined In project
    // file", or the name of its external file.
    void get_mat_name(std::istream& is);

private:
    int read_label_block(std::istream& is);
    int read_matrix_data_entry(std::istream& is);
    int read_line_labels(std::istream& is);
    int read_block_row(std::istream& is, int row, int first, int& width);
};

// Writes the matrix as a "[[DistanceMatrix]]" block; nothing without size.
std::ostream& operator<<(std::ostream& os, DistMat& dm);

}  // namespace quintle
