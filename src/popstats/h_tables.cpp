#include "popstats/h_tables.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <new>

#include "core/Errors.h"

namespace quintle {

namespace {

// Larger tables than this are refused rather than allocated: the sizes
// come from a file.
constexpr int kLargestTable = 4000;

// j ln p, with 0 ln 0 taken as its limit 0.
long double weighted_log(int j, double lnP) { return j == 0 ? 0.0L : static_cast<long double>(j) * lnP; }

// ln n! for n = 0 .. last, summed from the logarithms in extended
// precision: exact to the last bits of a double, where the series of the
// log-gamma function is 1e-10 off, which the combined tables would carry.
std::vector<long double> log_factorials(int last) {
    std::vector<long double> v(static_cast<std::size_t>(std::max(last, 0)) + 1, 0.0L);
    for (int i = 2; i <= last; ++i) v[static_cast<std::size_t>(i)] = v[static_cast<std::size_t>(i - 1)] + std::log(static_cast<long double>(i));
    return v;
}

double binomial_entry(std::vector<long double> const& lf, int k, int j, double lnP, double lnQ) {
    if (j < 0 || j > k) return 0.0;
    const long double s = lf[static_cast<std::size_t>(k)] - lf[static_cast<std::size_t>(j)] -
                          lf[static_cast<std::size_t>(k - j)] + weighted_log(j, lnP) + weighted_log(k - j, lnQ);
    return std::exp(static_cast<double>(s));
}

double multinomial_entry(std::vector<long double> const& lf, int a, int b, int c, double const (&lnP)[3]) {
    const long double s = lf[static_cast<std::size_t>(a + b + c)] - lf[static_cast<std::size_t>(a)] -
                          lf[static_cast<std::size_t>(b)] - lf[static_cast<std::size_t>(c)] +
                          weighted_log(a, lnP[0]) + weighted_log(b, lnP[1]) + weighted_log(c, lnP[2]);
    return std::exp(static_cast<double>(s));
}

}  // namespace

// --- H tables -------------------------------------------------------------------

void Ex_HNum::allocate(int size) {
    table.assign(static_cast<std::size_t>(size), std::vector<double>(static_cast<std::size_t>(size), 0.0));
    dim = size;
}

void Ex_HNum::delete_H() {
    table.clear();
    table.shrink_to_fit();
    dim = 0;
}

bool Ex_HNum::covers(int rows, int cols) const {
    return rows >= 0 && cols >= 0 && max_row >= rows && num_cols >= cols && dim > rows && dim >= cols &&
           static_cast<int>(table.size()) == dim;
}

int Ex_HNum::create(int n, char const* prefix) {
    num_sites = n;
    const std::string path = std::string(prefix != nullptr ? prefix : "") + "H" + std::to_string(n) + ".txt";
    return read(path, std::to_string(n).c_str(), true);
}

int Ex_HNum::create(char const* name, char const* prefix) {
    num_sites = 300;
    const std::string file = name != nullptr ? name : "";
    return read(std::string(prefix != nullptr ? prefix : "") + file, file.c_str(), false);
}

int Ex_HNum::read(std::string const& path, char const* label, bool separatorMessage) {
    std::ifstream in(path);
    if (!in) {
        *_AOS_ << "Hn input data file not found for n=" << label << "\n";
        return 0;
    }
    int R = -1;
    int C = -1;
    if (!(in >> R >> C) || R < 0 || C < 0 || R > kLargestTable || C > kLargestTable) {
        *_AOS_ << "Hn: table sizes missing, negative or too large in " << path << "\n";
        return 0;
    }
    max_row = R;
    num_cols = C;
    try {
        allocate(std::max(R, C) + 2);
    } catch (std::bad_alloc const&) {
        delete_H();
        return 0;
    }
    std::string line;
    for (int i = 0; i <= R; ++i) {
        std::vector<double>& row = table[static_cast<std::size_t>(i)];
        for (int k = 0; k < C; ++k) {
            if (!(in >> row[static_cast<std::size_t>(k)])) {
                *_AOS_ << "Hn: number missing in row " << i << " of " << path << "\n";
                return 0;
            }
        }
        std::getline(in, line);  // the rest of the number line
        if (!std::getline(in, line) || line.empty() || line[0] != '*') {
            if (separatorMessage) *_AOS_ << "Hn: matrix line separator not found" << label << "\n";
            return 0;
        }
    }
    return 1;
}

int Ex_HNum::create(int n, int m1, int m2, double r, Ex_HNum const* h1, Ex_HNum const* h2) {
    if (m1 < 0 || m2 < 0 || m1 + m2 != n || h1 == nullptr || h2 == nullptr) return 0;
    constexpr int kCols = 200;
    if (!h1->covers(m1, kCols) || !h2->covers(m2, kCols)) {
        *_AOS_ << "Hn: the tables of " << m1 << " and " << m2 << " sites need rows 0.." << m1 << " and 0.." << m2
               << " and columns 0.." << kCols - 1 << "\n";
        return 0;
    }
    Bin_pr binomial;
    try {
        allocate(n + 2 < kCols ? kCols + 2 : n + 4);
        if (binomial.create(dim, r * m1 / (m2 + r * m1)) == 0) {
            delete_H();
            return 0;
        }
    } catch (std::bad_alloc const&) {
        delete_H();
        return 0;
    }
    max_row = n + 2;
    num_cols = kCols;
    auto const& a = h1->table;
    auto const& b = h2->table;
    for (int i = 0; i <= n + 2; ++i) {
        for (int k = 0; k < kCols; ++k) {
            double sum = 0.0;
            for (int j = 0; j <= k; ++j) {
                double inner = 0.0;
                for (int l = 0; l <= std::min(i, m1); ++l) {
                    if (l > j || i - l > k - j || i - l > m2) continue;
                    inner += a[static_cast<std::size_t>(l)][static_cast<std::size_t>(j)] *
                             b[static_cast<std::size_t>(i - l)][static_cast<std::size_t>(k - j)];
                }
                sum += binomial.table[static_cast<std::size_t>(k)][static_cast<std::size_t>(j)] * inner;
            }
            table[static_cast<std::size_t>(i)][static_cast<std::size_t>(k)] = sum;
        }
    }
    return 1;
}

int Ex_HNum::create(int n, int m1, int m2, int m3, double r1, double r2, Ex_HNum const* h1, Ex_HNum const* h2,
                    Ex_HNum const* h3) {
    if (m1 < 0 || m2 < 0 || m3 < 0 || m1 + m2 + m3 != n || h1 == nullptr || h2 == nullptr || h3 == nullptr)
        return 0;
    constexpr int kCols = 100;
    if (!h1->covers(m1, kCols) || !h2->covers(m2, kCols) || !h3->covers(m3, kCols)) {
        *_AOS_ << "Hn: the tables of " << m1 << ", " << m2 << " and " << m3 << " sites need their rows and columns 0.."
               << kCols - 1 << "\n";
        return 0;
    }
    const double S = r1 * m1 + m2 + m3 / r2;
    const double p1 = r1 * m1 / S;
    const double p2 = m2 / S;
    const double p3 = (m3 / r2) / S;
    if (std::fabs(p1 + p2 + p3 - 1.0) > 0.0001) *_AOS_ << "Error in three rate function" << "\n";
    MULT_pr multinomial;
    try {
        allocate(n + 2 < kCols ? kCols + 2 : n + 4);
        if (multinomial.create(kCols + 2, p1, p2, p3) == 0) {
            delete_H();
            return 0;
        }
    } catch (std::bad_alloc const&) {
        delete_H();
        return 0;
    }
    max_row = n + 2;
    num_cols = kCols;
    auto const& a = h1->table;
    auto const& b = h2->table;
    auto const& c = h3->table;
    for (int i = 0; i <= n + 2; ++i) {
        for (int k = 0; k < kCols; ++k) {
            double sum = 0.0;
            for (int j1 = 0; j1 <= k; ++j1) {
                for (int j2 = 0; j2 <= k - j1; ++j2) {
                    const int j3 = k - j1 - j2;
                    double inner = 0.0;
                    for (int l1 = 0; l1 <= std::min({j1, i, m1}); ++l1) {
                        for (int l2 = 0; l2 <= std::min({j2, i - l1, m2}); ++l2) {
                            const int l3 = i - l1 - l2;
                            if (l3 > j3 || l3 > m3) continue;
                            inner += a[static_cast<std::size_t>(l1)][static_cast<std::size_t>(j1)] *
                                     b[static_cast<std::size_t>(l2)][static_cast<std::size_t>(j2)] *
                                     c[static_cast<std::size_t>(l3)][static_cast<std::size_t>(j3)];
                        }
                    }
                    sum += multinomial(j1, j2, j3) * inner;
                }
            }
            table[static_cast<std::size_t>(i)][static_cast<std::size_t>(k)] = sum;
        }
    }
    return 1;
}

// --- binomial and multinomial tables ----------------------------------------------

int Bin_pr::create(int N, double const& p) {
    if (N < 0 || N > kLargestTable) return 0;
    try {
        table.assign(static_cast<std::size_t>(N) + 1, std::vector<double>(static_cast<std::size_t>(N) + 1, 0.0));
    } catch (std::bad_alloc const&) {
        delete_H();
        return 0;
    }
    size = max_first = max_second = N;
    const std::vector<long double> lf = log_factorials(N);
    const double lnP = std::log(p);
    const double lnQ = std::log(1.0 - p);
    for (int k = 0; k <= N; ++k)
        for (int j = 0; j <= k; ++j)
            table[static_cast<std::size_t>(k)][static_cast<std::size_t>(j)] = binomial_entry(lf, k, j, lnP, lnQ);
    return 1;
}

double Bin_pr::bin_prob(int const& k, int const& j, double const& p) const {
    if (k < 0) return 0.0;
    return binomial_entry(log_factorials(k), k, j, std::log(p), std::log(1.0 - p));
}

void Bin_pr::delete_H() {
    table.clear();
    table.shrink_to_fit();
}

int MULT_pr::create(int N, double const& p1, double const& p2, double const& p3) {
    if (N < 0 || N > 400) return 0;
    const auto side = static_cast<std::size_t>(N) + 1;
    try {
        table.assign(side * side * side, 0.0);
    } catch (std::bad_alloc const&) {
        delete_H();
        return 0;
    }
    size = max_first = max_second = max_third = N;
    const std::vector<long double> lf = log_factorials(3 * N);
    const double lnP[3] = {std::log(p1), std::log(p2), std::log(p3)};
    std::size_t at = 0;
    for (int a = 0; a <= N; ++a)
        for (int b = 0; b <= N; ++b)
            for (int c = 0; c <= N; ++c) table[at++] = multinomial_entry(lf, a, b, c, lnP);
    return 1;
}

double MULT_pr::mult_nom_prob(int const& a, int const& b, int const& c, double const& p1, double const& p2,
                              double const& p3) const {
    if (a < 0 || b < 0 || c < 0) return 0.0;
    const double lnP[3] = {std::log(p1), std::log(p2), std::log(p3)};
    return multinomial_entry(log_factorials(a + b + c), a, b, c, lnP);
}

double& MULT_pr::operator()(int const& a, int const& b, int const& c) {
    const auto side = static_cast<std::size_t>(size) + 1;
    const bool inside = a >= 0 && b >= 0 && c >= 0 && a <= max_first && b <= max_second && c <= max_third &&
                        !table.empty();
    if (!inside) {
        *_AOS_ << "H number: index out of range (" << a << "," << b << "," << c << ")\n";
        if (table.empty()) return spare_ = 0.0;
        return table[0];
    }
    return table[(static_cast<std::size_t>(a) * side + static_cast<std::size_t>(b)) * side + static_cast<std::size_t>(c)];
}

void MULT_pr::delete_H() {
    table.clear();
    table.shrink_to_fit();
}

// --- one class of sites -------------------------------------------------------------

int My_HNum::create(int n) {
    num_sites = n;
    const int K = max_mutations;
    if (n < 0 || K < 0) return 0;
    try {
        table.assign(static_cast<std::size_t>(n) + 1, std::vector<double>(static_cast<std::size_t>(K) + 1, 0.0));
    } catch (std::bad_alloc const&) {
        delete_H();
        return 0;
    }
    table[0][0] = 1.0;
    for (int i = 1; i <= n; ++i) {
        std::vector<double> const& above = table[static_cast<std::size_t>(i - 1)];
        std::vector<double>& row = table[static_cast<std::size_t>(i)];
        for (int k = i; k <= K; ++k) {
            // A mutation on a site not hit before adds a difference.
            row[static_cast<std::size_t>(k)] = ((n - i + 1) * above[static_cast<std::size_t>(k - 1)] +
                                                i * row[static_cast<std::size_t>(k - 1)]) /
                                               n;
        }
    }
    return 1;
}

void My_HNum::delete_H() {
    table.clear();
    table.shrink_to_fit();
}

}  // namespace quintle
