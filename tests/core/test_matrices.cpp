#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <numeric>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "core/Errors.h"
#include "scratch.h"
#include "core/RectMat.h"
#include "core/TriMat.h"
#include "core/random.h"

namespace quintle {
namespace {

namespace fs = std::filesystem;

std::size_t count_of(std::string const& text, std::string const& what) {
    std::size_t n = 0;
    for (std::size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
    return n;
}

// Opens a real log so that reports are written, and points the log stream at
// a string so that both reports and free log text can be inspected.
class MatrixTest : public ::testing::Test {
protected:
    void SetUp() override {
        E.init_log_file(my_string((dir_ / "log.txt").string().c_str()), false);
        ASSERT_EQ(E.log_open(), 1);
        E.error(WARNING, "", -1);
        log_stream_ = _AOS_;
        _AOS_ = &log_;
    }

    void TearDown() override {
        _AOS_ = log_stream_;
        E.CloseLog_file();
        // Leave E silent for whatever runs next in this process.
        E.init_log_file(my_string((dir_ / "no_such_dir" / "x.txt").string().c_str()), false);
    }

    std::string log() const { return log_.str(); }

    std::string write_file(std::string const& name, std::string const& bytes) {
        fs::path const p = dir_ / name;
        std::ofstream out(p, std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return p.string();
    }

    scratch::Dir dir_{"quintle_matrices"};
    std::ostringstream log_;
    std::ostream* log_stream_ = nullptr;
};

// Host-order bytes of the binary matrix format.
std::string header(std::int32_t rows, std::int32_t cols) {
    std::string s(8, '\0');
    std::memcpy(s.data(), &rows, 4);
    std::memcpy(s.data() + 4, &cols, 4);
    return s;
}

std::string doubles(std::vector<double> const& v) {
    std::string s(v.size() * sizeof(double), '\0');
    std::memcpy(s.data(), v.data(), s.size());
    return s;
}

// ---------------------------------------------------------------- TriMat

using TriMatTest = MatrixTest;

TEST_F(TriMatTest, MirrorIndicesShareOneZeroFilledElement) {
    TriMat m(3);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) EXPECT_EQ(m(i, j), 0.0);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j <= i; ++j) m(i, j) = 10 * i + j;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) EXPECT_EQ(m(i, j), 10 * std::max(i, j) + std::min(i, j));
    EXPECT_EQ(&m(0, 2), &m(2, 0));
    EXPECT_TRUE(log().empty());
}

TEST_F(TriMatTest, OutOfRangeIsReportedAndCannotCorruptTheDiagonalConstant) {
    TriMat m(3);
    m(1, 1) = 4.0;
    m.diagonalValue = 0.25;  // not the default, to be sure it is the one answered
    EXPECT_EQ(m(0, 3), 0.25);
    m(3, 3) = 99.0;  // stray writes
    m(-1, 0) += 1.0;
    EXPECT_EQ(m.diagonalValue, 0.25);
    EXPECT_EQ(static_cast<TriMat const&>(m)(5, 0), 0.25);
    double sum = 0.0;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j <= i; ++j) sum += m(i, j);
    EXPECT_EQ(sum, 4.0);
    EXPECT_EQ(count_of(log(), "#[WARNING # "), 4u);
    EXPECT_EQ(count_of(log(), "from function \"TriMat::operator()\" : array out of bounds\n"), 4u);

    // A dimension changed by hand is not reachable before allocating.
    m.dim = 4;
    m(3, 3) = 1.0;
    EXPECT_EQ(count_of(log(), "array out of bounds"), 5u);
}

TEST_F(TriMatTest, ConstantModeAnswersTheConstantsForAnyIndexSilently) {
    TriMat m(0);
    m.constantMode = 1;
    EXPECT_EQ(m(5, 5), 0.0);
    EXPECT_EQ(m(5, 6), 1.0);
    m.offDiagonalValue = 3.5;
    EXPECT_EQ(static_cast<TriMat const&>(m)(-3, 100), 3.5);
    EXPECT_TRUE(log().empty());
}

TEST_F(TriMatTest, PrintDataWritesTheTriangleInTenColumnFields) {
    TriMat m(3);
    m(0, 0) = 1.0;
    m(1, 0) = 12345.678901;  // wider than the field: written whole
    m(2, 1) = -3.141594;     // rounded to five places
    m(2, 2) = 0.000004;
    std::ostringstream os;
    os << std::scientific;
    m.print_data(os);
    EXPECT_EQ(os.str(),
              "   1.00000\n"
              "12345.67890   0.00000\n"
              "   0.00000  -3.14159   0.00000");
    os.str("");
    os << 0.5;  // the caller's format is left as it was
    EXPECT_EQ(os.str(), "5.000000e-01");
}

TEST_F(TriMatTest, AssignmentCopiesElementsAsReadButKeepsOwnModeAndConstants) {
    TriMat src(3);
    src(2, 1) = 6.0;
    src.constantMode = 1;
    src.diagonalValue = 0.5;
    src.offDiagonalValue = 2.0;

    TriMat dst(1);
    dst.offDiagonalValue = 9.0;
    dst = src;
    EXPECT_EQ(dst.dim, 3);
    EXPECT_EQ(dst.constantMode, 0);
    EXPECT_EQ(dst.offDiagonalValue, 9.0);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) EXPECT_EQ(dst(i, j), i == j ? 0.5 : 2.0);

    src.constantMode = 0;
    dst = src;
    EXPECT_EQ(dst(1, 2), 6.0);
    EXPECT_EQ(dst(0, 0), 0.0);
    EXPECT_TRUE(log().empty());
}

TEST_F(TriMatTest, ArithmeticNeedsEqualDimensions) {
    TriMat a(2), b(2);
    a(1, 0) = 2.0;
    a(1, 1) = 3.0;
    b(0, 1) = 20.0;
    b(1, 1) = 30.0;
    a += b;
    EXPECT_EQ(a(1, 0), 22.0);
    EXPECT_EQ(a(1, 1), 33.0);
    a *= b;
    EXPECT_EQ(a(0, 1), 440.0);
    EXPECT_TRUE(log().empty());

    TriMat c(3);
    a += c;
    EXPECT_EQ(a(1, 0), 440.0);
    EXPECT_NE(log().find("#[ERROR # 1] from function \"TriMat::operator+=()\" : "
                         "attempt to operate on two matrices of different size\n"),
              std::string::npos);
}

// ---------------------------------------------------------------- RectMat

using RectMatTest = MatrixTest;

TEST_F(RectMatTest, ElementAccessAndDisplay) {
    RectMat m(2, 3);
    m(0, 1) = 1.0;
    m(1, 0) = -2.0;
    m(1, 2) = 2.5;
    std::ostringstream os;
    EXPECT_EQ(m.display_matrix(os), 1);
    EXPECT_EQ(os.str(), "   0 1 0 \n   -2 0 2.5 \n");
    EXPECT_TRUE(log().empty());

    m.diagonalValue = 0.75;
    m(0, 3) = -1.0;  // stray write
    EXPECT_EQ(m.diagonalValue, 0.75);
    EXPECT_EQ(m(2, 0), 0.75);
    EXPECT_EQ(count_of(log(), "#[ERROR # "), 2u);
    EXPECT_EQ(count_of(log(), "from function \"RectMat::operator()\" : array out of bounds\n"), 2u);

    m.constantMode = 1;
    EXPECT_EQ(m(7, 7), 0.75);
    EXPECT_EQ(m(7, 8), 1.0);
    EXPECT_EQ(count_of(log(), "array out of bounds"), 2u);

    m.de_allocate_matrix();
    EXPECT_EQ(m.nRows, 0);
    os.str("");
    m.display_matrix(os);
    EXPECT_EQ(os.str(), "Matrix contains no data\n");
}

// Strict lower triangle of a square matrix, row by row.
void set_lower(RectMat& m, std::vector<double> const& v) {
    std::size_t k = 0;
    for (int i = 1; i < m.nRows; ++i)
        for (int j = 0; j < i; ++j) m(i, j) = v.at(k++);
}

TEST_F(RectMatTest, ComputeSSXUsesTheStrictLowerTriangle) {
    RectMat m(3, 3);
    set_lower(m, {1, 2, 3});
    m(1, 1) = 100.0;  // diagonal and upper triangle are ignored
    m(0, 2) = -50.0;
    EXPECT_DOUBLE_EQ(m.compute_SSX(), 2.0);
    EXPECT_DOUBLE_EQ(m.mean, 2.0);

    // 1, 1, 4, 2, 6, 10: mean 4, squares 9 + 9 + 0 + 4 + 4 + 36.
    RectMat q(4, 4);
    set_lower(q, {1, 1, 4, 2, 6, 10});
    EXPECT_DOUBLE_EQ(q.compute_SSX(), 62.0);
    EXPECT_DOUBLE_EQ(q.mean, 4.0);

    RectMat one(1, 1);  // no pair: mean undefined, SSX 0
    EXPECT_EQ(one.compute_SSX(), 0.0);
    EXPECT_TRUE(std::isnan(one.mean));
    EXPECT_TRUE(log().empty());

    RectMat r(2, 3);
    EXPECT_EQ(r.compute_SSX(), 0.0);
    EXPECT_EQ(log(), "RectMat::compute_SSX() : unable to proceed on non-square matrix\n");
}

TEST_F(RectMatTest, ComputeZAndSumOfProductsByHand) {
    RectMat x(3, 3), y(3, 3);
    set_lower(x, {1, 2, 3});
    x(0, 1) = 10.0;  // upper triangle: reached once labels are permuted
    x(0, 2) = 20.0;
    x(1, 2) = 30.0;
    set_lower(y, {4, 5, 6});
    y(0, 1) = 1000.0;  // never read: only M's lower triangle counts

    EXPECT_EQ(x.computeZ(y), 0.0);
    EXPECT_EQ(log(),
              "RectMat::Z(const RectMat& M) : index matrix not available, Z value cannot be "
              "computed\n");
    log_.str("");

    ASSERT_EQ(x.create_index(), 1);
    // Identity labels: 1*4 + 2*5 + 3*6.
    EXPECT_DOUBLE_EQ(x.computeZ(y), 32.0);
    // Means 2 and 5: 32 - 3*2*5 = 2, the sum of cross deviations (-1)(-1) + 0 + 1*1.
    x.compute_SSX();
    y.compute_SSX();
    EXPECT_DOUBLE_EQ(x.sum_of_products(y), 2.0);
    EXPECT_DOUBLE_EQ(x.Z, 32.0);

    // Under a shuffled index, the permuted sum evaluated separately.
    initialize_ran3(-11);
    do x.permute_index(); while (x.index()[0] == 0 && x.index()[1] == 1);
    int const* p = x.index();
    double const xs[3][3] = {{0, 10, 20}, {1, 0, 30}, {2, 3, 0}};
    double const expected = xs[p[1]][p[0]] * 4 + xs[p[2]][p[0]] * 5 + xs[p[2]][p[1]] * 6;
    EXPECT_DOUBLE_EQ(x.computeZ(y), expected);
    EXPECT_DOUBLE_EQ(x.sum_of_products(y), expected - 30.0);
    // A constant-mode operand is read through its constants.
    RectMat c(3, 3);
    c.constantMode = 1;
    c.offDiagonalValue = 2.0;
    EXPECT_DOUBLE_EQ(x.computeZ(c), 2.0 * (xs[p[1]][p[0]] + xs[p[2]][p[0]] + xs[p[2]][p[1]]));
    EXPECT_TRUE(log().find("RectMat::") == std::string::npos);

    log_.str("");
    RectMat wide(2, 3), small(2, 2);
    EXPECT_EQ(wide.computeZ(x), 0.0);
    EXPECT_EQ(wide.sum_of_products(x), 0.0);
    EXPECT_EQ(x.sum_of_products(small), 0.0);
    EXPECT_EQ(log(),
              "RectMat::Z(const RectMat& M) : unable to proceed on non-square matrix\n"
              "RectMat::sum_of_products(const RectMat& M) : unable to proceed on non-square "
              "matrix\n"
              "RectMat::sum_of_products(const RectMat& M) : unable to compute correlation "
              "between matrices of different size\n");
}

TEST_F(RectMatTest, PermuteIndexShufflesFromTheEndWithTheSharedStream) {
    RectMat m(10, 10);
    EXPECT_EQ(m.permute_index(), 0);  // no index yet: nothing to shuffle
    ASSERT_EQ(m.create_index(), 1);
    initialize_ran3(-5);
    EXPECT_EQ(m.permute_index(), 1);
    std::vector<int> const got(m.index(), m.index() + 10);

    std::vector<int> identity(10);
    std::iota(identity.begin(), identity.end(), 0);
    std::vector<int> sorted = got;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, identity);
    EXPECT_NE(got, identity);

    // The same shuffle transcribed here, drawing from the same stream.
    initialize_ran3(-5);
    std::vector<int> expected = identity;
    for (long k = 10; k >= 1; --k) {
        long bound = k;
        long const r = rand_long(&bound);
        std::swap(expected[static_cast<std::size_t>(r)], expected[static_cast<std::size_t>(k - 1)]);
    }
    EXPECT_EQ(got, expected);

    m.create_index();  // back to the identity
    EXPECT_EQ(std::vector<int>(m.index(), m.index() + 10), identity);

    RectMat one(1, 1);
    one.create_index();
    one.permute_index();
    EXPECT_EQ(one.index()[0], 0);
}

// ------------------------------------------------------- binary matrix file

TEST_F(RectMatTest, BinaryFileRoundTrip) {
    std::string const path = write_file("m22.bin", header(2, 2) + doubles({1.5, -2.0, 3.25, 4e10}));
    RectMat m(path.c_str());
    EXPECT_EQ(m.nRows, 2);
    EXPECT_EQ(m.nCols, 2);
    EXPECT_EQ(m(0, 0), 1.5);
    EXPECT_EQ(m(0, 1), -2.0);
    EXPECT_EQ(m(1, 0), 3.25);
    EXPECT_EQ(m(1, 1), 4e10);
    EXPECT_EQ(std::string(m.fileName.c_str()), path);

    // Fewer columns than rows, read into an existing smaller matrix.
    std::string const p32 = write_file("m32.bin", header(3, 2) + doubles({1, 2, 3, 4, 5, 6}));
    RectMat grown(1, 1);
    EXPECT_EQ(grown.read_from_file(my_string(p32.c_str())), 1);
    EXPECT_EQ(grown.nRows, 3);
    EXPECT_EQ(grown.nCols, 2);
    EXPECT_EQ(grown(2, 0), 5.0);
    EXPECT_EQ(grown(1, 1), 4.0);

    // Into a larger one: it shrinks, and its old labels go.
    RectMat shrunk(5, 5);
    shrunk.create_index();
    shrunk.read_from_file(my_string(path.c_str()));
    EXPECT_EQ(shrunk.nRows, 2);
    EXPECT_EQ(shrunk(1, 1), 4e10);
    EXPECT_EQ(shrunk.index(), nullptr);
    EXPECT_TRUE(log().empty());
    shrunk(4, 4) = 1.0;
    EXPECT_EQ(count_of(log(), "RectMat::operator()"), 1u);
}

TEST_F(RectMatTest, BinaryFileWithBadHeaderIsRefusedAndLeavesMatrixEmpty) {
    struct Case {
        char const* name;
        std::string bytes;
    };
    std::vector<Case> const cases = {
        {"more_cols", header(3, 4) + doubles(std::vector<double>(12, 1.0))},
        {"neg_rows", header(-2, -3) + doubles({1, 2})},
        {"neg_cols", header(2, -1) + doubles({1, 2})},
        {"truncated", header(2, 2) + doubles({1, 2, 3})},
        {"huge", header(1 << 30, 1 << 30) + doubles({1, 2, 3, 4})},
        {"short_header", std::string(6, '\x01')},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        log_.str("");
        std::string const path = write_file(std::string(c.name) + ".bin", c.bytes);
        RectMat m(3, 3);
        m.read_from_file(my_string(path.c_str()));
        EXPECT_EQ(m.nRows, 0);
        EXPECT_EQ(m.nCols, 0);
        EXPECT_FALSE(m.has_storage());
        EXPECT_EQ(count_of(log(), "#[ERROR # "), 1u);
        EXPECT_EQ(count_of(log(), "from function \"operator>>(istream& is, RectMat& S)\" : "
                                  "error while reading matrix\n"),
                  1u);
    }

    log_.str("");
    RectMat absent((dir_ / "absent.bin").string().c_str());
    EXPECT_EQ(absent.read_from_file(), 0);
    EXPECT_FALSE(absent.has_storage());
    EXPECT_EQ(count_of(log(), "from function \"RectMat::read_from_file()\" : "
                              "unable to open matrix file\n"),
              2u);
}

// A stream that cannot tell its position, so its length is not known ahead.
class NoSeekBuf : public std::streambuf {
public:
    explicit NoSeekBuf(std::string bytes) : bytes_(std::move(bytes)) {
        setg(bytes_.data(), bytes_.data(), bytes_.data() + bytes_.size());
    }

private:
    std::string bytes_;
};

TEST_F(RectMatTest, StreamThatCannotSeek) {
    NoSeekBuf good(header(2, 1) + doubles({7.0, 8.0}));
    std::istream gs(&good);
    RectMat m(1, 1);
    gs >> m;
    EXPECT_EQ(m.nRows, 2);
    EXPECT_EQ(m(1, 0), 8.0);
    EXPECT_TRUE(log().empty());

    // Running out of values is then found by the read itself.
    NoSeekBuf cut(header(2, 2) + doubles({1, 2, 3}));
    std::istream cs(&cut);
    cs >> m;
    EXPECT_FALSE(m.has_storage());
    EXPECT_EQ(count_of(log(), "from function \"operator>>(istream& is, RectMat& M)\" : "
                              "error while reading matrix\n"),
              1u);
}

}  // namespace
}  // namespace quintle
