#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/Errors.h"
#include "core/RectMat.h"
#include "core/TriMat.h"
#include "core/random.h"
#include "scratch.h"
#include "support/process_state.h"

namespace quintle {
namespace {

std::size_t count_of(std::string const& text, std::string const& what) {
    std::size_t n = 0;
    for (std::size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
    return n;
}

// Opens a real log so that reports are written, and points the log stream at
// a string so that both reports and free log text can be inspected.
class MatrixTest : public ::testing::Test {
protected:
    std::string log() const { return log_.str(); }

    test::LogGuard file_{"quintle_matrices"};
    std::filesystem::path const& dir_ = file_.dir();
    std::ostringstream log_;
    test::Saved<std::ostream*> toString_{_AOS_, &log_};
};

TEST_F(MatrixTest, TriMatOutOfRangeCannotCorruptTheDiagonalConstant) {
    TriMat m(3);
    m(1, 0) = 12345.678901;  // wider than the field: written whole
    m(2, 1) = -3.141594;     // rounded to five places
    EXPECT_EQ(&m(0, 2), &m(2, 0));
    m.diagonalValue = 0.25;
    EXPECT_EQ(m(0, 3), 0.25);
    m(3, 3) = 99.0;  // stray writes
    m(-1, 0) += 1.0;
    EXPECT_EQ(m.diagonalValue, 0.25);
    EXPECT_EQ(count_of(log(), "from function \"TriMat::operator()\" : array out of bounds\n"), 3u);

    std::ostringstream os;
    os << std::scientific;
    m.print_data(os);
    EXPECT_EQ(os.str(), "   0.00000\n12345.67890   0.00000\n   0.00000  -3.14159   0.00000");
}

// Strict lower triangle of a square matrix, row by row.
void set_lower(RectMat& m, std::vector<double> const& v) {
    std::size_t k = 0;
    for (int i = 1; i < m.nRows; ++i)
        for (int j = 0; j < i; ++j) m(i, j) = v.at(k++);
}

TEST_F(MatrixTest, RectMatStatisticsByHand) {
    // 1, 1, 4, 2, 6, 10: mean 4, squares 9 + 9 + 0 + 4 + 4 + 36.
    RectMat q(4, 4);
    set_lower(q, {1, 1, 4, 2, 6, 10});
    q(1, 1) = 100.0;  // diagonal and upper triangle are ignored
    EXPECT_DOUBLE_EQ(q.compute_SSX(), 62.0);
    EXPECT_DOUBLE_EQ(q.mean, 4.0);

    RectMat x(3, 3), y(3, 3);
    set_lower(x, {1, 2, 3});
    x(0, 1) = 10.0;  // upper triangle: reached once labels are permuted
    x(0, 2) = 20.0;
    x(1, 2) = 30.0;
    set_lower(y, {4, 5, 6});
    ASSERT_EQ(x.create_index(), 1);
    EXPECT_DOUBLE_EQ(x.computeZ(y), 32.0);  // 1*4 + 2*5 + 3*6
    // Means 2 and 5: 32 - 3*2*5 = 2.
    x.compute_SSX();
    y.compute_SSX();
    EXPECT_DOUBLE_EQ(x.sum_of_products(y), 2.0);

    // Under a shuffled index: the permuted sum, and the shuffle itself,
    // transcribed here drawing from the same stream.
    initialize_ran3(-11);
    x.permute_index();
    int const* p = x.index();
    initialize_ran3(-11);
    std::vector<int> expected{0, 1, 2};
    for (long k = 3; k >= 1; --k) {
        long bound = k;
        std::swap(expected[static_cast<std::size_t>(rand_long(&bound))], expected[static_cast<std::size_t>(k - 1)]);
    }
    EXPECT_EQ(std::vector<int>(p, p + 3), expected);
    double const xs[3][3] = {{0, 10, 20}, {1, 0, 30}, {2, 3, 0}};
    double const z = xs[p[1]][p[0]] * 4 + xs[p[2]][p[0]] * 5 + xs[p[2]][p[1]] * 6;
    EXPECT_DOUBLE_EQ(x.computeZ(y), z);
    EXPECT_DOUBLE_EQ(x.sum_of_products(y), z - 30.0);
    EXPECT_EQ(count_of(log(), "RectMat::"), 0u);

    RectMat wide(2, 3);
    EXPECT_EQ(wide.computeZ(x), 0.0);
    EXPECT_NE(log().find("RectMat::Z(const RectMat& M) : unable to proceed on non-square matrix\n"),
              std::string::npos);
}

// Host-order bytes of the binary matrix format.
std::string matrix_bytes(std::int32_t rows, std::int32_t cols, std::vector<double> const& v) {
    std::string s(8 + v.size() * sizeof(double), '\0');
    std::memcpy(s.data(), &rows, 4);
    std::memcpy(s.data() + 4, &cols, 4);
    std::memcpy(s.data() + 8, v.data(), v.size() * sizeof(double));
    return s;
}

TEST_F(MatrixTest, BinaryFileReadAndBadHeadersRefused) {
    std::string const path = (dir_ / "m32.bin").string();
    scratch::write_file(path, matrix_bytes(3, 2, {1, 2, 3, 4, 5, 6}));
    RectMat m(5, 5);
    m.create_index();
    EXPECT_EQ(m.read_from_file(my_string(path.c_str())), 1);
    EXPECT_EQ(m.nRows, 3);
    EXPECT_EQ(m.nCols, 2);
    EXPECT_EQ(m(2, 0), 5.0);
    EXPECT_EQ(m(1, 1), 4.0);
    EXPECT_EQ(m.index(), nullptr);  // old labels go
    EXPECT_TRUE(log().empty());

    std::vector<double> const many(12, 1.0);
    for (std::string const& bytes :
         {matrix_bytes(3, 4, many), matrix_bytes(-2, -3, {1, 2}), matrix_bytes(2, 2, {1, 2, 3}),
          matrix_bytes(1 << 30, 1 << 30, {1, 2, 3, 4}), std::string(6, '\x01')}) {
        log_.str("");
        scratch::write_file(path, bytes);
        RectMat bad(3, 3);
        bad.read_from_file(my_string(path.c_str()));
        EXPECT_EQ(bad.nRows, 0);
        EXPECT_FALSE(bad.has_storage());
        EXPECT_EQ(count_of(log(), "from function \"operator>>(istream& is, RectMat& S)\" : "
                                  "error while reading matrix\n"),
                  1u);
    }
}


// Class mode: rows 0, 2, 3 form class 0 and rows 1, 4 class 1. Every element
// is read from the values of its two classes, by triangle; a write lands in
// the shared value; the Mantel sums read it element by element and agree
// with the same matrix written out in full.
TEST_F(MatrixTest, RectMatClassModeReadsSharedValuesByTriangle) {
    RectMat m(0, 0);
    ASSERT_TRUE(m.make_classed({0, 1, 0, 0, 1}, 2));
    EXPECT_TRUE(m.classed());
    EXPECT_EQ(m.nRows, 5);
    EXPECT_EQ(m.nCols, 5);
    EXPECT_TRUE(m.has_storage());
    EXPECT_FALSE(m.holds(5, 5));
    EXPECT_EQ(m.stored_values(), 2u * 3u + 2u);
    m.below(1, 0) = 7.0;  // rows of classes 0 and 1, below the diagonal
    m.above(0, 1) = 0.5;  // the same, above it
    m.below(0, 0) = 1.0;  // two rows of class 0, below
    m.above(0, 0) = 0.25;
    m.below(1, 1) = 3.0;
    m.on_diagonal(1) = -1.0;
    // Hand-written full form.
    double const full[5][5] = {{0.0, 0.5, 0.25, 0.25, 0.5},
                               {7.0, -1.0, 0.5, 0.5, 0.0},
                               {1.0, 7.0, 0.0, 0.25, 0.5},
                               {1.0, 7.0, 1.0, 0.0, 0.5},
                               {7.0, 3.0, 7.0, 7.0, -1.0}};
    RectMat plain(5, 5);
    for (int i = 0; i < 5; ++i)
        for (int j = 0; j < 5; ++j) {
            EXPECT_EQ(m(i, j), full[i][j]) << i << " " << j;
            plain(i, j) = full[i][j];
        }
    EXPECT_EQ(m.compute_SSX(), plain.compute_SSX());
    EXPECT_EQ(m.mean, plain.mean);

    m(3, 2) = 9.0;  // class 0 with itself, below: every such pair
    EXPECT_EQ(m(2, 0), 9.0);
    EXPECT_EQ(m(0, 2), 0.25);
    RectMat const copy = m;
    EXPECT_TRUE(copy.classed());
    EXPECT_EQ(copy(4, 1), 3.0);
    EXPECT_EQ(copy(1, 4), 0.0);

    EXPECT_TRUE(log().empty());
    EXPECT_EQ(m(5, 0), 0.0);  // out of range: reported
    EXPECT_EQ(count_of(log(), "RectMat::operator()"), 1u);

    m.de_allocate_matrix();
    EXPECT_FALSE(m.classed());
    EXPECT_EQ(m.nRows, 0);
}

// A symmetric matrix by classes: rows 0 and 2 in class 1, rows 1 and 3 in
// class 0. Copies keep the class mode and its small storage; += turns the
// target into the plain form with the same values.
TEST_F(MatrixTest, TriMatClassModeSharesValuesAndCopies) {
    TriMat m;
    ASSERT_TRUE(m.make_classed({1, 0, 1, 0}, 2));
    EXPECT_EQ(m.dim, 4);
    m.between(0, 1) = 2.0;
    m.between(1, 1) = 0.5;  // rows 0 and 2
    m.between(0, 0) = 4.0;  // rows 1 and 3
    m.on_diagonal(1) = 0.0;
    m.on_diagonal(0) = 8.0;
    double const full[4][4] = {{0.0, 2.0, 0.5, 2.0}, {2.0, 8.0, 2.0, 4.0}, {0.5, 2.0, 0.0, 2.0}, {2.0, 4.0, 2.0, 8.0}};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) EXPECT_EQ(m(i, j), full[i][j]) << i << " " << j;

    TriMat copied(m);
    TriMat assigned;
    assigned = m;
    for (TriMat const* t : {&copied, &assigned}) {
        EXPECT_TRUE(t->classed());
        EXPECT_EQ(t->dim, 4);
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j) EXPECT_EQ((*t)(i, j), full[i][j]);
    }
    std::ostringstream printed;
    m.print_data(printed);
    EXPECT_EQ(printed.str(),
              "   0.00000\n   2.00000   8.00000\n   0.50000   2.00000   0.00000\n"
              "   2.00000   4.00000   2.00000   8.00000");

    TriMat ones(4);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j <= i; ++j) ones(i, j) = 1.0;
    copied += ones;
    EXPECT_FALSE(copied.classed());
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) EXPECT_EQ(copied(i, j), full[i][j] + 1.0);
    copied(1, 0) = 6.0;  // plain now: rows 3 and 2, of the same classes, keep their value
    EXPECT_EQ(copied(3, 2), 3.0);
    m(1, 0) = 6.0;  // by classes: they share it
    EXPECT_EQ(m(3, 2), 6.0);

    m.create(2);
    EXPECT_FALSE(m.classed());
    EXPECT_EQ(m(1, 0), 0.0);
    EXPECT_TRUE(log().empty());
}

}  // namespace
}  // namespace quintle
