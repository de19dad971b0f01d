#pragma once

// Probability tables of the multi-rate mismatch fit. An H table gives, for
// a sequence of a number of sites, the probability H[i][k] that k mutations
// leave exactly i differing sites (a site hit twice differs once). Tables
// come from text files (H files), from the occupancy recursion of one class
// of equally mutable sites, or from the tables of two or three rate classes
// with the mutations split among the classes by binomial or multinomial
// probabilities.
//
// H file: an integer R and an integer C, then R + 1 blocks, one per row
// i = 0 .. R, each holding C numbers (entries [i][0] .. [i][C - 1], any white
// space between them), the rest of that line, and a separator line whose
// first character is an asterisk.

#include <string>
#include <vector>

namespace quintle {

// One H table: rows of doubles, entry [i][k].
class Ex_HNum {
public:
    std::vector<std::vector<double>> table;  // dim rows of dim entries; empty when none
    int dim = 0;
    int num_sites = 0;
    int num_cols = 1000;  // columns filled: mutation counts 0 .. num_cols - 1
    int max_row = 0;      // rows filled: differences 0 .. max_row

    // The table of n sites from the file prefix + "H" + n + ".txt". 1 when
    // read, 0 (with a log line) when the file is missing, malformed or holds
    // negative sizes.
    int create(int n, char const* prefix);
    // The table in the file prefix + name; num_sites becomes 300.
    int create(char const* name, char const* prefix);
    // Two rate classes of m1 and m2 sites (n = m1 + m2), class 1 mutating r
    // times as fast, over rows 0 .. n + 2 and columns 0 .. 199. 0, with the
    // table unchanged, when the counts do not add up to n or a class table
    // is smaller than the rows 0 .. m and columns 0 .. 199 it needs.
    int create(int n, int m1, int m2, double r, Ex_HNum const* h1, Ex_HNum const* h2);
    // Three classes, class 1 at rate r1, class 3 at rate 1 / r2, columns
    // 0 .. 99; the same refusals.
    int create(int n, int m1, int m2, int m3, double r1, double r2, Ex_HNum const* h1, Ex_HNum const* h2,
               Ex_HNum const* h3);
    void delete_H();

    // Whether the table holds rows 0 .. rows and columns 0 .. cols - 1.
    bool covers(int rows, int cols) const;

private:
    int read(std::string const& path, char const* label, bool separatorMessage);
    void allocate(int size);
};

// Binomial probabilities B[k][j] of j successes in k trials, k, j = 0 .. N.
class Bin_pr {
public:
    std::vector<std::vector<double>> table;
    int size = 0;
    int max_first = 0;
    int max_second = 0;

    int create(int N, double const& p);
    double bin_prob(int const& k, int const& j, double const& p) const;
    void delete_H();
};

// Multinomial probabilities M[a][b][c] of a, b, c outcomes of three kinds in
// a + b + c trials, a, b, c = 0 .. N.
class MULT_pr {
public:
    std::vector<double> table;  // (N + 1)^3 entries, [a][b][c] at (a (N + 1) + b) (N + 1) + c
    int size = 0;
    int max_first = 0;
    int max_second = 0;
    int max_third = 0;

    int create(int N, double const& p1, double const& p2, double const& p3);
    double mult_nom_prob(int const& a, int const& b, int const& c, double const& p1, double const& p2,
                         double const& p3) const;
    // The entry [a][b][c]; out of range a log line and the entry [0][0][0].
    double& operator()(int const& a, int const& b, int const& c);
    void delete_H();

private:
    double spare_ = 0.0;
};

// H numbers of n equally mutable sites for 0 .. max_mutations mutations.
class My_HNum {
public:
    std::vector<std::vector<double>> table;  // rows 0 .. n
    int num_sites = 0;
    int max_mutations = 0;  // set by the owner before create

    int create(int n);
    void delete_H();
};

}  // namespace quintle
