#pragma once

// Sums of squared differences between gene copies. Every sum here is a plain
// sum, over pairs of gene copies, of the distance entry of the pair's two
// haplotypes, read as it stands (nothing is squared or halved). The kernels
// walk a sample's present-haplotype list weighted by the counts, so their
// cost grows with the number of distinct haplotypes, not of gene copies.
//
// Each kernel exists for two sources of distances that give the very same
// numbers: the project's triangular matrix, and a square block copied out
// of it once per analysis for the haplotypes the analysis uses, which the
// permutation loops read without range checks or branching.

#include <cstddef>
#include <vector>

namespace quintle {

class Population;
class TriMat;

class FlatDistances {
public:
    // Copies the entries between the given haplotype indexes (repeats and
    // any order allowed; each must lie in 0..indexRange-1) out of `m`
    // through its element access, so that a matrix in constant mode gives
    // its constants. A matrix in class mode is copied one row and column per
    // class (so the block's size follows the distinct texts), when a
    // haplotype's own value and that of two haplotypes of its class are
    // equal (the sums read them alike). Returns false and stays empty when an index is out of
    // that range or the block would exceed maxEntries values; the caller
    // then reads the matrix itself.
    bool build(TriMat const& m, int indexRange, int const* indexes, std::size_t count,
               std::size_t maxEntries = kDefaultMaxEntries);
    void clear();
    bool ready() const { return ready_; }

    // Distance between haplotype indexes h and g; both must have been among
    // the indexes given to build.
    double operator()(int h, int g) const { return values_[row_[h] + slot_[g]]; }

    // 2^22 values (32 MiB, 2048 haplotypes): beyond it the triangular matrix
    // is read instead.
    static constexpr std::size_t kDefaultMaxEntries = std::size_t{1} << 22;

private:
    // build for a matrix in class mode: one row and column per class used;
    // false when it cannot be done that way.
    bool build_by_classes(TriMat const& m, int indexRange, int const* indexes, std::size_t count,
                          std::size_t maxEntries);

    std::vector<std::size_t> slot_;  // haplotype index -> column in the block
    std::vector<std::size_t> row_;   // haplotype index -> start of its row
    std::vector<double> values_;
    bool ready_ = false;
};

// Raw within-sample sum: over the present haplotypes h_i with counts n_i,
// (n_i - 1)(n_i / 2) d(h_i, h_i) and then n_i n_j d(h_i, h_j) for j > i.
double raw_within_sum(Population const& p, TriMat const& d);
double raw_within_sum(Population const& p, FlatDistances const& d);

// Raw sum between two samples: n_i m_j d(h_i, g_j) over a's present
// haplotypes h_i (outer loop) and b's g_j (inner loop).
double raw_between_sum(Population const& a, Population const& b, TriMat const& d);
double raw_between_sum(Population const& a, Population const& b, FlatDistances const& d);

// Sets p.SSDWP to the raw within-sample sum and p.SSDWP_divN to it divided
// by the sample size; returns &p.SSDWP.
double* store_within_sum(Population& p, FlatDistances const& d);

// Half the distance between the two copies of each individual of one
// sample, whose copies start at v[cursor]: pairs are read while the size
// exceeds twice the pairs read (so a size of 2m gives m pairs, and an odd
// size reads one copy past the sample), but never at or beyond v[end]. A
// size of 0 reads nothing. The cursor is left after the last copy read.
double within_individual_sum(int const* v, long& cursor, long end, double size, TriMat const& d);
double within_individual_sum(int const* v, long& cursor, long end, double size, FlatDistances const& d);

}  // namespace quintle
