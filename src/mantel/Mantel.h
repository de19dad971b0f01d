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
#include <vector>

#include "core/MY_TArrayAsVector.h"
#include "core/TriMat.h"
#include "core/my_string.h"
#include "run/ProfileSettings.h"

namespace quintle {

class Mantel {
public:
    // --- results of the last test; all 0 until a test has run -----------
    // Observed Z(Y,X1), Z(Y,X2), Z(X1,X2).
    double ZY1 = 0.0, ZY2 = 0.0, Z12 = 0.0;
    // Observed sums of products SP(Y,X1), SP(Y,X2), SP(X1,X2).
    double SPY1 = 0.0, SPY2 = 0.0, SP12 = 0.0;
    // Regression and partial regression coefficients.
    double bY1 = 0.0, bY2 = 0.0, bY1_2 = 0.0, bY2_1 = 0.0;
    // Correlation and partial correlation coefficients.
    double rY1 = 0.0, rY2 = 0.0, r12 = 0.0, rY1_2 = 0.0, rY2_1 = 0.0;
    // P values of rY1, rY2, rY1_2, rY2_1.
    double P_rY1 = 0.0, P_rY2 = 0.0, P_rY1_2 = 0.0, P_rY2_1 = 0.0;
    // Standardized partial regression coefficients (simple test: beta1 = rY1).
    double beta1 = 0.0, beta2 = 0.0;
    // Total determination of Y and the unexplained variance (1 - R2).
    double R2 = 0.0, unexplained = 0.0;
    // Mean and sum of squares of the working matrices.
    double meanY = 0.0, SSY = 0.0, meanX1 = 0.0, SSX1 = 0.0, meanX2 = 0.0, SSX2 = 0.0;
    // Permutation counters of rY1, rY2, rY1_2, rY2_1: equal, larger, smaller.
    int equal_rY1 = 0, larger_rY1 = 0, smaller_rY1 = 0;
    int equal_rY2 = 0, larger_rY2 = 0, smaller_rY2 = 0;
    int equal_rY1_2 = 0, larger_rY1_2 = 0, smaller_rY1_2 = 0;
    int equal_rY2_1 = 0, larger_rY2_1 = 0, smaller_rY2_1 = 0;

    // --- the section ------------------------------------------------------
    // Matrices the section declares, Y included: 2 (simple test) or 3
    // (partial test).
    int MatrixNumber = 0;
    // Matrices met so far while reading; chooses where the next one goes:
    // 1 UserYMatrix, 2 X1, 3 X2.
    int NbMatricesRead = 0;
    // Permutations of the last test run; 0 until one has run.
    int NbPermutations = 0;
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
};

// Writes the record as a distance-matrix block: nothing while MatrixSize
// is 0.
std::ostream& operator<<(std::ostream& os, Mantel& DM);

}  // namespace quintle
