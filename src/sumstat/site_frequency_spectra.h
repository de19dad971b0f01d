#pragma once

// The arithmetic of the site frequency spectra, apart from the sample set
// and the files: how one locus is classified (derived copies of each
// sample, pooled minor allele, ties) and how a classified locus adds to the
// single-sample, joint and multi-sample spectra. The observed spectra and
// every bootstrap replicate go through these same functions.

#include <cstdint>
#include <span>
#include <vector>

namespace quintle {

// How one locus enters the spectra.
struct SiteClass {
    // Its allele list holds the missing-data allele: it is in no spectrum.
    bool dropped = false;
    // Its pooled minor allele holds exactly half of all gene copies: the
    // minor spectra get half a count in two mirror cells.
    bool tie = false;
    // The ancestral allele is the pooled minor one (also when neither
    // exists): the minor copies of a sample are its ancestral copies.
    bool ancestralMinor = false;
};

// Derived gene copies of a sample of n copies whose ancestral and missing
// alleles have these frequencies: (1 - ancestral - missing) x n rounded to
// the nearest integer, kept within 0..n.
int derived_copies(double ancestral, double missing, int n);

// The pooled minor allele of a locus: the first allele, in list order, with
// a nonzero pooled count smaller than every earlier candidate's, the
// missing-data allele (at `missingPos`, or -1) never being one.
struct PooledMinor {
    long position = -1;
    double count = 1e100;  // no candidate: never half of any total
};
PooledMinor pooled_minor(std::span<double const> counts, long missingPos);

// Half of `total` gene copies.
inline bool holds_half(PooledMinor const& m, double total) { return m.count == total - m.count; }

// Minor gene copies of a sample with d derived copies of n (ties apart).
inline int minor_copies(SiteClass c, int d, int n) { return c.ancestralMinor ? n - d : d; }

// One sample's spectra, indexed by copies 0..n: derived counts and minor
// counts (halves for ties).
void add_single(std::span<int> daf, std::span<double> maf, SiteClass c, int d, int n);

// Joint spectra of two samples: rows the first (np + 1 of them), columns
// the second (nq + 1), row-major.
struct JointSpectrum {
    int np = 0;
    int nq = 0;
    std::vector<int> daf;
    std::vector<double> maf;
    JointSpectrum(int rowsSize, int colsSize);
    long cell(int row, int col) const { return static_cast<long>(row) * (nq + 1) + col; }
};
void add_joint(JointSpectrum& j, SiteClass c, int dp, int dq);

// Cells of the multi-sample spectra: one axis per sample of 0..n_k copies,
// the last sample varying fastest. Strides and the cell count in 64 bits:
// a few samples of a few dozen copies already pass 2^31 cells.
struct MultiLayout {
    std::vector<std::int64_t> strides;
    std::int64_t cells = 1;  // valid only when `fits`
    bool fits = true;        // at most 2^31 - 1 cells
};
MultiLayout multi_layout(std::span<int const> sizes);

// Cell of a coordinate vector.
std::int64_t multi_cell(std::span<std::int64_t const> strides, std::span<int const> coords);

// Adds one locus with derived copies d (one per sample) of sizes n to both
// multi-sample spectra; `full` is the cell of the coordinates n, so that
// full - cell is the cell of the complementary coordinates.
void add_multi(std::span<double> dsfs, std::span<double> msfs, std::span<std::int64_t const> strides,
               std::int64_t full, std::span<int const> d, SiteClass c);

// Resampling of the loci for a bootstrap replicate: n draws of the shared
// generator in order, index[k] = (int)(u x n).
void bootstrapLoci(int* index, int n);

}  // namespace quintle
