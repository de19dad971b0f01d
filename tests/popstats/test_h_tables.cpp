// The probability tables of the multi-rate mismatch fit and the fit's own
// sum of squares, against the occupancy formula, scipy's binomial and
// multinomial probabilities, and the infinite-sites fit.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <sstream>
#include <string>
#include <vector>

#include "popstats/ann_missmatch.h"
#include "popstats/expansion_fixture.h"
#include "popstats/h_tables.h"

namespace quintle {
namespace {

using testing_support::ExpansionFitTest;

class HTables : public ExpansionFitTest {
protected:
    // An H file of the given rows (R = rows - 1, C = columns).
    void write_h_file(std::string const& name, std::vector<std::vector<double>> const& rows, int columns,
                      std::string const& separator = "*") {
        std::ofstream f(log_.dir() / name);
        f << rows.size() - 1 << " " << columns << "\n" << std::setprecision(17);
        for (auto const& row : rows) {
            for (int k = 0; k < columns; ++k) f << row[static_cast<std::size_t>(k)] << (k + 1 < columns ? " " : "");
            f << "   trailing text longer than nineteen characters\n" << separator << "\n";
        }
    }
    // The H numbers of n sites, columns 0 .. K, written as "H<n>.txt".
    void write_occupancy_file(int n, int K) {
        My_HNum h;
        h.max_mutations = K;
        ASSERT_EQ(h.create(n), 1);
        write_h_file("H" + std::to_string(n) + ".txt", h.table, K + 1);
    }
    std::string prefix() const { return (log_.dir() / "").string(); }
};

// Occupancy: k mutations on n sites hit exactly i of them with probability
// C(n, i) S(k, i) i! / n^k (S: Stirling numbers of the second kind),
// computed with Python's fractions.Fraction.
TEST(HNumbers, OneClassFollowsTheOccupancyFormula) {
    struct Entry {
        int n, i, k;
        double p;
    };
    for (Entry e : {Entry{5, 3, 4, 0.576}, Entry{5, 5, 8, 0.32256}, Entry{7, 2, 6, 0.01106681739751294},
                    Entry{10, 6, 12, 0.2001361824}, Entry{40, 20, 35, 0.03912974083648383}}) {
        My_HNum h;
        h.max_mutations = e.k + 3;
        ASSERT_EQ(h.create(e.n), 1);
        EXPECT_NEAR(h.table[static_cast<std::size_t>(e.i)][static_cast<std::size_t>(e.k)], e.p, 1e-14)
            << e.n << " " << e.i << " " << e.k;
    }
    My_HNum one;
    one.max_mutations = 9;
    ASSERT_EQ(one.create(1), 1);
    for (int k = 1; k <= 9; ++k) {
        EXPECT_EQ(one.table[1][static_cast<std::size_t>(k)], 1.0);
        EXPECT_EQ(one.table[0][static_cast<std::size_t>(k)], 0.0);
    }
    EXPECT_EQ(one.table[0][0], 1.0);
    My_HNum bad;
    bad.max_mutations = -1;
    EXPECT_EQ(bad.create(3), 0);
}

// scipy.stats.binom.pmf(j, k, p) and scipy.stats.multinomial.pmf.
TEST(HNumbers, BinomialAndMultinomialTables) {
    Bin_pr b;
    ASSERT_EQ(b.create(150, 0.37), 1);
    EXPECT_NEAR(b.table[30][12], 0.1391658477609318, 1e-13);
    EXPECT_EQ(b.table[12][30], 0.0);
    EXPECT_NEAR(b.bin_prob(17, 0, 0.2), 0.022517998136852502, 1e-15);
    EXPECT_NEAR(b.bin_prob(150, 60, 0.4), 0.06637351013521756, 1e-13);
    // A class without sites: 0 ln 0 counts as its limit.
    for (double p : {0.0, 1.0}) {
        Bin_pr edge;
        ASSERT_EQ(edge.create(6, p), 1);
        for (int j = 0; j <= 6; ++j) EXPECT_EQ(edge.table[6][static_cast<std::size_t>(j)], (p == 0.0 ? j == 0 : j == 6) ? 1.0 : 0.0);
    }

    MULT_pr m;
    ASSERT_EQ(m.create(40, 0.2, 0.5, 0.3), 1);
    EXPECT_NEAR(m(3, 5, 2), 0.05670000000000023, 1e-14);
    EXPECT_NEAR(m.mult_nom_prob(10, 0, 7, 0.25, 0.25, 0.5), 0.0001448988914489749, 1e-16);
    EXPECT_NEAR(m.mult_nom_prob(40, 30, 25, 0.5, 0.3, 0.2), 0.0019334649423267413, 1e-15);
    MULT_pr zero;
    ASSERT_EQ(zero.create(4, 0.5, 0.5, 0.0), 1);
    EXPECT_EQ(zero(2, 2, 0), 0.375);
    EXPECT_EQ(zero(1, 1, 1), 0.0);
}

TEST_F(HTables, OutOfRangeMultinomialIndexIsLogged) {
    MULT_pr m;
    ASSERT_EQ(m.create(3, 0.2, 0.5, 0.3), 1);
    EXPECT_EQ(&m(4, 0, 0), &m(0, 0, 0));
    EXPECT_NE(log().find("H number: index out of range (4,0,0)"), std::string::npos);
}

// Two or three classes mutating at the same rate are one class of all their
// sites: the combinations of H files equal the H numbers of the total.
TEST_F(HTables, CombinationsWithEqualRatesEqualOneClass) {
    write_occupancy_file(3, 199);
    write_occupancy_file(4, 199);
    Ex_HNum h3, h4, two;
    ASSERT_EQ(h3.create(3, prefix().c_str()), 1);
    ASSERT_EQ(h4.create(4, prefix().c_str()), 1);
    ASSERT_EQ(two.create(7, 3, 4, 1.0, &h3, &h4), 1);
    My_HNum all;
    all.max_mutations = 199;
    ASSERT_EQ(all.create(7), 1);
    EXPECT_EQ(two.num_cols, 200);
    EXPECT_EQ(two.max_row, 9);
    EXPECT_EQ(two.dim, 202);
    double worst = 0.0;
    for (int i = 0; i <= 7; ++i)
        for (int k = 0; k < 200; ++k)
            worst = std::max(worst, std::fabs(two.table[static_cast<std::size_t>(i)][static_cast<std::size_t>(k)] -
                                              all.table[static_cast<std::size_t>(i)][static_cast<std::size_t>(k)]));
    EXPECT_LT(worst, 1e-12);
    EXPECT_EQ(two.table[8][50], 0.0);

    write_occupancy_file(2, 99);
    Ex_HNum h2a, h2b, h3b, three;
    ASSERT_EQ(h2a.create(2, prefix().c_str()), 1);
    ASSERT_EQ(h3b.create(3, prefix().c_str()), 1);
    ASSERT_EQ(h2b.create(2, prefix().c_str()), 1);
    // The three-class tables need columns 0 .. 99 only; these hold 200.
    ASSERT_EQ(three.create(7, 2, 3, 2, 1.0, 1.0, &h2a, &h3b, &h2b), 1);
    EXPECT_EQ(three.num_cols, 100);
    worst = 0.0;
    for (int i = 0; i <= 7; ++i)
        for (int k = 0; k < 100; ++k)
            worst = std::max(worst, std::fabs(three.table[static_cast<std::size_t>(i)][static_cast<std::size_t>(k)] -
                                              all.table[static_cast<std::size_t>(i)][static_cast<std::size_t>(k)]));
    EXPECT_LT(worst, 1e-12);
    EXPECT_EQ(log().find("Error in three rate function"), std::string::npos);
}

TEST_F(HTables, FilesAndCombinationsAreCheckedBeforeUse) {
    // R = 1, C = 3: a 5 x 5 table with rows 0, 1 and columns 0 .. 2 filled.
    write_h_file("H1.txt", {{0.5, 0.25, 0.125}, {1.0, 2.0, 3.0}}, 3);
    Ex_HNum small;
    ASSERT_EQ(small.create(1, prefix().c_str()), 1);
    EXPECT_EQ(small.dim, 5);
    EXPECT_EQ(small.max_row, 1);
    EXPECT_EQ(small.num_cols, 3);
    EXPECT_EQ(small.table[1][2], 3.0);
    EXPECT_EQ(small.table[2][0], 0.0);

    write_h_file("H2.txt", {{1, 2}, {3, 4}, {5, 6}}, 2, "-----");
    Ex_HNum dashes;
    EXPECT_EQ(dashes.create(2, prefix().c_str()), 0);
    EXPECT_NE(log().find("Hn: matrix line separator not found2"), std::string::npos);
    EXPECT_EQ(dashes.table[0][1], 2.0) << "the rows read so far stay";

    std::ofstream(log_.dir() / "H9.txt") << "-3 4\n";
    Ex_HNum negative;
    EXPECT_EQ(negative.create(9, prefix().c_str()), 0);
    Ex_HNum missing;
    EXPECT_EQ(missing.create(40, prefix().c_str()), 0);
    EXPECT_NE(log().find("Hn input data file not found for n=40"), std::string::npos);

    // Site counts that do not add up, and a class table without the 200
    // columns of a two-class combination, are refused.
    Ex_HNum combined;
    EXPECT_EQ(combined.create(5, 1, 1, 1.0, &small, &small), 0);
    EXPECT_EQ(combined.create(2, 1, 1, 1.0, &small, &small), 0);
    EXPECT_TRUE(combined.table.empty());
    EXPECT_NE(log().find("Hn: the tables of 1 and 1 sites need"), std::string::npos);
}

// On a table where k mutations leave k differences the multi-rate SSD is
// the infinite-sites one, while every fitted class keeps P(d) > 5e-6.
TEST_F(HTables, IdentityTableGivesTheInfiniteSitesSum) {
    ann_missmatch fit(&sample, &s);
    Ex_HNum& h = fit.h_combined;
    h.table.assign(300, std::vector<double>(300, 0.0));
    for (int i = 0; i < 300; ++i) h.table[static_cast<std::size_t>(i)][static_cast<std::size_t>(i)] = 1.0;
    h.dim = 300;
    h.num_cols = 300;
    h.max_row = 299;
    std::vector<double> x(40), y(40);
    for (int j = 1; j < 40; ++j) {
        x[j] = j - 1;
        y[j] = j < 20 ? 0.05 : 0.0;
    }
    fit.theta0 = 0.5;
    fit.theta1 = 5.0;
    fit.tau = 3.0;
    // Classes 0 .. 15: P(15) = 1.0e-5, P(16) = 3.4e-6 ends the vector.
    const double multi = fit.f_S2Rate(x.data(), y.data(), 17);
    EXPECT_NEAR(multi, fit.f_SRod_Harp(x.data(), y.data(), 17), 1e-12);
    EXPECT_EQ(fit.f_S2Rate(x.data(), y.data(), 1), 0.0);
    // A table smaller than the mutation vector or the classes: 10.
    h.num_cols = 10;
    EXPECT_EQ(fit.f_S2Rate(x.data(), y.data(), 20), 10.0);
    h.num_cols = 300;
    h.max_row = 10;
    EXPECT_EQ(fit.f_S2Rate(x.data(), y.data(), 20), 10.0);
    EXPECT_EQ(fit.conj_grad(nullptr, y.data(), 3, 4, 0.5), 0);
}

// The whole multi-rate fit on a table read from a file (rate model 5), and
// the refusal of a rate model it does not know.
TEST_F(HTables, FitWithATableFromAFileAndUnknownModels) {
    std::vector<std::vector<double>> identity(80, std::vector<double>(80, 0.0));
    for (int i = 0; i < 80; ++i) identity[static_cast<std::size_t>(i)][static_cast<std::size_t>(i)] = 1.0;
    write_h_file("identity.txt", identity, 80);
    observe({282, 421, 636, 807, 835, 720, 530, 340, 195, 101, 48, 21, 9, 3, 1}, 100);
    ann_missmatch fit(&sample, &s);
    fit.init_data(0.0, 0.0, 0.0, 1.0);
    fit.h_file_dir = prefix();
    fit.h_file_name = "identity.txt";
    fit.model_type = 5;
    std::istringstream none;
    fit.solve_least_square(none, out, 0);
    const std::string text = out.str();
    EXPECT_EQ(text.rfind("We used the gamarate-rate model with following H-file: identity.txt\nInitial parameter values:\n", 0),
              0u)
        << text;
    EXPECT_NE(text.find("After estimation:\n"), std::string::npos);
    EXPECT_NE(text.find("Estimated parameters:\n\tTau=\t"), std::string::npos);
    EXPECT_LT(fit.obs_ssd, 1e-3);
    EXPECT_TRUE(fit.h_combined.table.empty()) << "released at the end of the fit";

    std::ostringstream refused;
    ann_missmatch other(&sample, &s);
    other.model_type = 7;
    other.solve_least_square(none, refused, 0);
    EXPECT_TRUE(refused.str().empty());
    EXPECT_NE(log().find("no rate model 7"), std::string::npos);
}

}  // namespace
}  // namespace quintle
