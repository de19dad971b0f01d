#pragma once

// The Mantel section of a project and the results of its last Mantel test.
//
// A project may ask whether a genetic distance matrix Y between its samples
// (computed from the pairwise FSTs, or given by the user) is correlated with
// one or two user matrices X1 and X2. The section of the project file says
// which kind of Y, gives the user matrices with the labels of their rows,
// and lists the labels of the samples that take part in the test.
//
// One record lives in each Project for the whole run. `clear()` gives it
// back its freshly built state; the project run calls it before each
// project, so that no project can test an earlier project's matrices.

#include <array>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "core/MY_TArrayAsVector.h"
#include "core/RectMat.h"
#include "core/TriMat.h"
#include "core/my_string.h"
#include "mantel/correlation.h"
#include "run/ProfileSettings.h"

namespace quintle {

class Population;

class Mantel : public CorrelationResults {
public:
    // The results of the last test come first (CorrelationResults).

    // --- the section ------------------------------------------------------
    // Matrices the section declares, Y included: 2 (simple test) or 3
    // (partial test).
    int MatrixNumber = 0;
    // Matrices met so far while reading; chooses where the next one goes:
    // 1 UserYMatrix, 2 X1, 3 X2.
    int NbMatricesRead = 0;
    // The user matrices, row and column k belonging to YMatrixLabels[k].
    TriMat X1;
    TriMat X2;
    // Y given by the user; used only when YMatrix is "custom".
    TriMat UserYMatrix;
    // Labels of the samples that take part in the test, in test order.
    MY_TArrayAsVector<my_string> UsedYMatrixLabels{10, 10};
    // Copy of the project profile, taken at the end of a successful read.
    ProfileSettings profile;
    // Kind of Y matrix, lower case: one of YTypes.
    my_string YMatrix{"fst"};
    // The accepted kinds of Y; only the last ("custom") takes Y from the file.
    static constexpr int kNbYTypes = 6;
    std::array<my_string, kNbYTypes> YTypes;
    int NbYTypes = kNbYTypes;
    // Rows of every user matrix; 0 while undefined.
    int MatrixSize = 0;
    // Row labels of the user matrices, in matrix order; empty when none
    // (a list always holds at least three).
    std::vector<my_string> YMatrixLabels;

    Mantel();
    // The same, with X1, X2 and UserYMatrix of dimension n.
    explicit Mantel(int const& n);
    ~Mantel();
    Mantel(Mantel const&) = delete;

    // Forgets the section: no size, kind "fst", no row labels, every matrix
    // value 0 (dimensions kept, constant mode off), no matrix counts. The
    // used labels, the profile copy and the test results stay.
    void reset();

    // Everything back to the state of a newly built record: reset(), the
    // three matrices emptied, no used labels, default profile copy, every
    // test result 0.
    void clear();

    // Writes the six kinds of Y again, in their order.
    void init_YTypes();

    // reset(), then a copy of the other's section: profile, kind, size,
    // row labels, matrices and matrix counts. The used labels and the test
    // results are not copied. Assigning a record to itself changes nothing.
    Mantel& operator=(Mantel const& other);

    // Reads the section from the line after its header to the end of the
    // project file (the section is always the file's last), one line at a
    // time into `buf`, adding one to `line` per line read from `in`. Each
    // flag is set as soon as a line with its keyword is met. `projectProfile`
    // leads to the run settings (external files are looked for in the
    // project's folder; a computed Y asks for the AMOVA distance matrix).
    // 1 when the section was read; 0, after its messages, when the project
    // read must stop.
    int NewOpenMantel(std::ifstream& in, ProfileSettings& projectProfile, int& line, my_string& buf,
                      bool& hasMatrixSize, bool& hasYMatrix, bool& hasMatrixNumber,
                      bool& hasYMatrixLabels, bool& hasDistMatMantel, bool& hasUsedYMatrixLabels);

    // Reads one lower-triangular matrix of MatrixSize rows into m, from the
    // lines after a DistMatMantel line (inline: up to its closing brace) or
    // from an external file (`isExternal`: the rows only). `line` counts the
    // lines read. 1 on success, 0 after the message.
    int newReadMatrixData(std::ifstream& in, TriMat& m, bool isExternal, int& line);

    // --- the tests (mantel_tests.cpp) ----------------------------------------
    // Runs the test of the section on the pairwise FST matrix of a pass
    // (row k belongs to samples[k], count samples) and writes it to `out`,
    // with nperm permutations. Nothing happens without used labels; a label
    // found neither among the samples (or, for a custom Y, the row labels)
    // nor among the row labels abandons the test with a message. Always 1.0.
    double do_mantel_test(TriMat& fst, Population** samples, int count, std::fstream* out, int nperm);
    // The Y value of the pair of Y positions (i, j): a transform of the FST
    // of samples i and j, or the custom Y of rows i and j.
    double FstMatr_funct(int i, int j, TriMat& fst);
    // Statistics of the simple (Y, X1) and partial (Y, X1, X2) tests.
    void compute_correlation(RectMat& Y, RectMat& X1);
    void compute_correlation(RectMat& Y, RectMat& X1, RectMat& X2);
    // Their permutation tests, run just after the matching statistics.
    void test_correlation(RectMat& Y, RectMat& X1, int const& nperm);
    void test_correlation(RectMat& Y, RectMat& X1, RectMat& X2, int const& nperm);
    // The statistics and the significance block, laid out by MatrixNumber.
    // Both leave the stream in fixed notation with 6 decimals. A correlation
    // that the last test found undefined gets no P value.
    void print_correlations(std::ostream& os);
    void print_p_values(std::ostream& os);

    // --- the older reader (mantel_legacy_reader.cpp) ------------------------
    // Reads the section's "key = value" entries up to the next "[" or the
    // end of the input. 1 on success, 0 after the message.
    int get_settings(std::istream& is);
    // Reads the value of one (lower-case) key. 1 or 0.
    int read_id_content(std::istream& is, my_string key);
    // Read one matrix body (lower triangle, possibly in blocks of columns)
    // into UserYMatrix, X1 or X2. 1 or 0.
    int read_MatrixDataY(std::istream& is);
    int read_MatrixData1(std::istream& is);
    int read_MatrixData2(std::istream& is);
    // The path of an external matrix file: the name itself when it holds a
    // path separator, otherwise the project's folder followed by the name.
    std::string build_ext_name(char const* name) const;

private:
    // Handlers of the section reader, one per keyword (mantel_reader.cpp).
    struct ReadState;
    int read_YMatrix(ReadState& st);
    int read_MatrixSize(ReadState& st);
    int read_MatrixNumber(ReadState& st);
    int read_label_list(ReadState& st, bool used);
    int read_DistMatMantel(ReadState& st);
    int finish_read(ReadState& st);
    // Appends the labels of one line's text; 0 after a failure.
    int take_labels(ReadState& st, char const* text, bool used, int& count);

    // Correlations of the last test that are not defined (a constant or
    // collinear matrix): rY1, rY2, rY1_2, rY2_1.
    std::array<bool, 4> undefined_{};
    // Finds them after the statistics of a test, with one WARNING saying why.
    void find_undefined(RectMat const& Y, RectMat const& X1m, RectMat const* X2m);

    // Pieces of the tests and of the older reader.
    struct Positions;
    bool match_labels(Population** samples, int count, int fstDim, Positions& pos) const;
    void run_tests(std::ostream& os, Positions const& pos, TriMat& fst, int nperm);
    int read_legacy_labels(std::istream& is);
    int read_legacy_used_labels(std::istream& is);
    int read_legacy_matrix(std::istream& is);
    int read_matrix_body(std::istream& is, TriMat& target);
};

// Writes the record as a distance-matrix block: nothing while MatrixSize
// is 0.
std::ostream& operator<<(std::ostream& os, Mantel& DM);

}  // namespace quintle
