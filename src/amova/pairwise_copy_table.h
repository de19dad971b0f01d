#pragma once

// The gene copies of one pair of samples during its permutation test, held
// over the pair's distinct haplotypes: each copy as a small local index, the
// distances between the pair's haplotypes as a dense block, and the number
// of copies of each haplotype in the first sample, kept up to date by the
// exchanges of the shuffle itself. A permutation then costs its draws and a
// sum over the haplotypes present in the first sample, instead of a recount
// of both samples and sums over their pairs of haplotypes.
//
// The sums are the very numbers that raw_within_sum and raw_between_sum
// (ssd.h) give for the two recounted samples, to the bit:
// - when every distance of the block is a whole number and no sum over the
//   pair's gene copies can leave the range where doubles hold whole numbers
//   exactly, every order of summation gives the same double, so the sums are
//   taken in integers from the first sample's counts alone (the second
//   sample's counts and the sum between them follow from the pair's fixed
//   totals);
// - otherwise (corrected or gamma distances) the terms are added in the
//   kernels' own order: present haplotypes by ascending matrix index, the
//   same products.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quintle {

class FlatDistances;
class TriMat;

class PairCopyTable {
public:
    // Takes the pair's copies: v holds the distance-matrix indexes of na
    // copies of the first sample, then nb of the second; `range` bounds the
    // indexes (each in 0..range-1, and each read by d: the block copied for
    // the analysis, or the matrix itself). Keeps the layout of v: the
    // shuffles below exchange the same positions. False, and nothing to
    // use, when the pair has more than kMaxHaplotypes distinct haplotypes:
    // the caller then sums over the samples themselves.
    bool load(int const* v, long na, long nb, int range, FlatDistances const& d);
    bool load(int const* v, long na, long nb, int range, TriMat const& d);

    // The dense block of a pair holds at most this many squared values
    // (8 MiB, and as much again for whole numbers).
    static constexpr int kMaxHaplotypes = 1024;

    // The shuffles of shuffle_pair_copies and shuffle_pair_individuals
    // (pairwise_kernels.h): the same draws, the same exchanges.
    void shuffle_copies();
    void shuffle_individuals();

    struct Sums {
        double withinA = 0.0;  // raw within-sample sum of the first sample
        double withinB = 0.0;  // of the second
        double between = 0.0;  // raw sum between them
    };
    // The sums of the current arrangement.
    Sums sums();

    // Whether the sums are taken in integers (for the tests).
    bool whole() const { return whole_; }
    int haplotypes() const { return H_; }

private:
    template <class Dist>
    bool load_from(int const* v, long na, long nb, int range, Dist const& d);
    template <class Draw>
    void shuffle_copies_drawing(Draw&& draw);
    template <class Draw>
    void shuffle_individuals_drawing(Draw&& draw);
    // Exchanges copies p and q of `copies`, moving the counts of the first
    // sample (its first na copies) when they cross the boundary: without a
    // branch, since whether they do is a coin toss.
    static void exchange(int* copies, int* countA, long na, long p, long q) {
        int const x = copies[p];
        int const y = copies[q];
        copies[p] = y;
        copies[q] = x;
        bool const pInA = p < na;
        int const cross = pInA != (q < na) ? 1 : 0;
        // The copy that was in the second sample enters the first.
        countA[pInA ? y : x] += cross;
        countA[pInA ? x : y] -= cross;
    }
    Sums whole_sums();
    Sums ordered_sums();

    long na_ = 0;
    long nb_ = 0;
    int H_ = 0;
    bool whole_ = false;
    std::vector<int> copies_;       // local index of each copy, in the layout of v
    std::vector<int> countA_;       // copies of each local haplotype in the first sample
    std::vector<int> total_;        // in both samples
    std::vector<int> present_;      // scratch: present local haplotypes
    std::vector<int> presentB_;
    std::vector<double> dist_;      // H x H, local index order = ascending matrix index
    std::vector<std::int64_t> idist_;  // the same as whole numbers, when whole_
    std::vector<std::int64_t> rowTotal_;  // sum over g of total(g) d(h, g), when whole_
    std::int64_t pairTotal_ = 0;    // raw sum over all pairs of the pair's copies, when whole_
    std::vector<int> matrixIndex_;  // local index -> matrix index, ascending
    std::vector<int> local_;        // matrix index -> local index while loading, else -1
};

}  // namespace quintle
