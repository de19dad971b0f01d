#include "amova/pairwise_copy_table.h"

#include <algorithm>
#include <cmath>

#include "amova/pairwise_kernels.h"
#include "amova/permutations.h"
#include "amova/ssd.h"
#include "core/TriMat.h"
#include "core/random.h"

namespace quintle {

namespace {

// Sums over the pair's gene copies stay within the whole numbers a double
// holds exactly while (number of copies)^2 times the largest distance does.
constexpr double kExactWholeBound = 4503599627370496.0;  // 2^52

}  // namespace

template <class Dist>
bool PairCopyTable::load_from(int const* v, long na, long nb, int range, Dist const& d) {
    na_ = na;
    nb_ = nb;
    long const n = na + nb;
    if (local_.size() < static_cast<std::size_t>(range)) local_.assign(static_cast<std::size_t>(range), -1);

    // The pair's haplotypes in ascending matrix index: the order of the
    // samples' present lists.
    std::vector<int>& haplotypes = matrixIndex_;
    haplotypes.clear();
    for (long k = 0; k < n; ++k) {
        int& slot = local_[static_cast<std::size_t>(v[k])];
        if (slot < 0) {
            slot = 0;
            haplotypes.push_back(v[k]);
        }
    }
    std::sort(haplotypes.begin(), haplotypes.end());
    if (haplotypes.size() > static_cast<std::size_t>(kMaxHaplotypes)) {
        for (int h : haplotypes) local_[static_cast<std::size_t>(h)] = -1;
        H_ = 0;
        return false;
    }
    H_ = static_cast<int>(haplotypes.size());
    for (int a = 0; a < H_; ++a) local_[static_cast<std::size_t>(haplotypes[static_cast<std::size_t>(a)])] = a;

    std::size_t const H = static_cast<std::size_t>(H_);
    copies_.resize(static_cast<std::size_t>(n));
    countA_.assign(H, 0);
    total_.assign(H, 0);
    for (long k = 0; k < n; ++k) {
        int const h = local_[static_cast<std::size_t>(v[k])];
        copies_[static_cast<std::size_t>(k)] = h;
        ++total_[static_cast<std::size_t>(h)];
        if (k < na) ++countA_[static_cast<std::size_t>(h)];
    }

    dist_.resize(H * H);
    double largest = 0.0;
    whole_ = true;
    for (std::size_t a = 0; a < H; ++a) {
        for (std::size_t b = 0; b < H; ++b) {
            double const x = d(haplotypes[a], haplotypes[b]);
            dist_[a * H + b] = x;
            if (!std::isfinite(x) || std::floor(x) != x) whole_ = false;
            else largest = std::max(largest, std::fabs(x));
        }
    }
    for (int h : haplotypes) local_[static_cast<std::size_t>(h)] = -1;  // ready for the next pair
    double const copies = static_cast<double>(n);
    if (whole_ && largest * copies * copies > kExactWholeBound) whole_ = false;

    present_.resize(H);
    presentB_.resize(H);
    if (!whole_) return true;
    idist_.resize(H * H);
    for (std::size_t e = 0; e < H * H; ++e) idist_[e] = static_cast<std::int64_t>(dist_[e]);
    rowTotal_.assign(H, 0);
    std::int64_t twice = 0;
    for (std::size_t h = 0; h < H; ++h) {
        std::int64_t r = 0;
        for (std::size_t g = 0; g < H; ++g) r += total_[g] * idist_[h * H + g];
        rowTotal_[h] = r;
        twice += total_[h] * (r - idist_[h * H + h]);
    }
    pairTotal_ = twice / 2;
    return true;
}

bool PairCopyTable::load(int const* v, long na, long nb, int range, FlatDistances const& d) {
    return load_from(v, na, nb, range, d);
}

bool PairCopyTable::load(int const* v, long na, long nb, int range, TriMat const& d) {
    return load_from(v, na, nb, range, d);
}

template <class Draw>
void PairCopyTable::shuffle_copies_drawing(Draw&& draw) {
    double const na = static_cast<double>(na_);
    double const N = na + static_cast<double>(nb_);
    int* const copies = copies_.data();
    int* const countA = countA_.data();
    long const first = na_;
    shuffle_pair_copies_with(na, N, draw,
                                [=](long p, long q) { exchange(copies, countA, first, p, q); });
}

template <class Draw>
void PairCopyTable::shuffle_individuals_drawing(Draw&& draw) {
    double const na = static_cast<double>(na_);
    double const N = na + static_cast<double>(nb_);
    int* const copies = copies_.data();
    int* const countA = countA_.data();
    long const first = na_;
    shuffle_pair_individuals_with(na, N, draw,
                                [=](long p, long q) { exchange(copies, countA, first, p, q); });
}

void PairCopyTable::shuffle_copies() {
    if (Ran3Cursor::usable()) {
        Ran3Cursor cursor;
        shuffle_copies_drawing([&cursor] { return cursor(); });
    } else {
        shuffle_copies_drawing(permutation_draw);
    }
}

void PairCopyTable::shuffle_individuals() {
    if (Ran3Cursor::usable()) {
        Ran3Cursor cursor;
        shuffle_individuals_drawing([&cursor] { return cursor(); });
    } else {
        shuffle_individuals_drawing(permutation_draw);
    }
}

PairCopyTable::Sums PairCopyTable::sums() { return whole_ ? whole_sums() : ordered_sums(); }

// With x the first sample's counts, t the pair's and D the distances:
// 2 withinA = x'Dx - x.diag, 2 withinB = (t-x)'D(t-x) - (t-x).diag and
// between = x'D(t-x), all from P = sum over present i < j of x_i x_j D_ij,
// the diagonal terms and x'Dt.
PairCopyTable::Sums PairCopyTable::whole_sums() {
    int const haplotypes = H_;
    std::size_t const H = static_cast<std::size_t>(haplotypes);
    int const* const x = countA_.data();
    int* const present = present_.data();
    int m = 0;
    for (int h = 0; h < haplotypes; ++h) {
        // Written in any case, kept when present: no branch to mispredict.
        present[m] = h;
        m += x[h] > 0 ? 1 : 0;
    }

    std::int64_t P = 0, diagSquare = 0, diag = 0, U = 0;
    for (int i = 0; i < m; ++i) {
        std::size_t const h = static_cast<std::size_t>(present[i]);
        std::int64_t const* row = idist_.data() + h * H;
        std::int64_t r = 0;
        for (int j = i + 1; j < m; ++j) r += x[present[j]] * row[present[j]];
        std::int64_t const xi = x[h];
        P += xi * r;
        diagSquare += xi * xi * row[h];
        diag += xi * row[h];
        U += xi * rowTotal_[h];
    }
    Sums s;
    s.withinA = static_cast<double>(P + (diagSquare - diag) / 2);
    s.withinB = static_cast<double>(pairTotal_ - U + P + (diagSquare + diag) / 2);
    s.between = static_cast<double>(U - 2 * P - diagSquare);
    return s;
}

// The kernels of ssd.cpp term by term: present haplotypes in ascending
// matrix index, the counts as doubles, the same products.
PairCopyTable::Sums PairCopyTable::ordered_sums() {
    std::size_t const H = static_cast<std::size_t>(H_);
    int const* const x = countA_.data();
    int const* const t = total_.data();
    int* const a = present_.data();
    int* const b = presentB_.data();
    int ma = 0, mb = 0;
    for (int h = 0; h < static_cast<int>(H); ++h) {
        a[ma] = h;
        ma += x[h] > 0 ? 1 : 0;
        b[mb] = h;
        mb += t[h] - x[h] > 0 ? 1 : 0;
    }
    double const* const d = dist_.data();
    auto within = [d, H](int const* list, int count, auto countOf) {
        double sum = 0.0;
        for (int i = 0; i < count; ++i) {
            std::size_t const h = static_cast<std::size_t>(list[i]);
            double const ni = countOf(list[i]);
            sum += (ni - 1) * (ni * 0.5) * d[h * H + h];
            for (int j = i + 1; j < count; ++j) sum += ni * countOf(list[j]) * d[h * H + static_cast<std::size_t>(list[j])];
        }
        return sum;
    };
    auto inA = [x](int h) { return static_cast<double>(x[h]); };
    auto inB = [x, t](int h) { return static_cast<double>(t[h] - x[h]); };

    Sums s;
    s.withinA = within(a, ma, inA);
    s.withinB = within(b, mb, inB);
    double between = 0.0;
    for (int i = 0; i < ma; ++i) {
        std::size_t const h = static_cast<std::size_t>(a[i]);
        double const ni = inA(a[i]);
        for (int j = 0; j < mb; ++j) between += ni * inB(b[j]) * d[h * H + static_cast<std::size_t>(b[j])];
    }
    s.between = between;
    return s;
}

}  // namespace quintle
