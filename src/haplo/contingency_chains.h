#pragma once

// Markov chains over contingency tables with fixed margins: the genotype
// table of the Hardy-Weinberg exact test and the two-locus table of the
// linkage-disequilibrium exact test. A chain walks from the observed table by
// small moves that keep the margins, accumulates the log of each move's
// probability ratio and counts the steps at which the current table is no
// more probable than the observed one: that share is the exact P value.
//
// The tables are one flat block of ints, row after row. A step touches four
// cells and allocates nothing; a chain keeps only its counters.

#include <cstdint>
#include <vector>

namespace quintle {

// A rows x cols table of counts, row after row.
struct FlatTable {
    int rows = 0;
    int cols = 0;
    std::vector<int> cells;

    FlatTable() = default;
    FlatTable(int r, int c) : rows(r), cols(c), cells(static_cast<std::size_t>(r) * static_cast<std::size_t>(c), 0) {}
    int& at(int r, int c) { return cells[static_cast<std::size_t>(r) * static_cast<std::size_t>(cols) + c]; }
    int at(int r, int c) const { return cells[static_cast<std::size_t>(r) * static_cast<std::size_t>(cols) + c]; }
    int* data() { return cells.data(); }
};

// Largest count a table may hold in total: every move keeps the total, so no
// cell can pass it, and the +2 of a move stays within an int.
inline constexpr std::int64_t max_table_total = 2147483647LL - 2;

// One step of the Hardy-Weinberg chain on a k-allele genotype table: the
// count of genotype {a, b} stands at row min(a, b), column max(a, b).
// Draws a, b, then c != a, d != b; proposes {a, b} + {c, d} -> {a, d} +
// {c, b}; always draws once more to accept. Returns the probability ratio
// of the move made, 1.0 when none.
double hw_chain_step(int* cells, int stride, int k, long& seed);

// One step of the linkage chain on a k1 x k2 table: draws r1, c1, then
// r2 != r1, c2 != c1; proposes one copy less in (r1, c1) and (r2, c2), one
// more in (r1, c2) and (r2, c1); a ratio below 1 is accepted by one more
// draw. Returns the ratio of the move made, 1.0 when none.
double ld_chain_step(int* cells, int stride, int k1, int k2, long& seed);

// The same move on a table of two rows: rows 0 and 1 always, so only the
// columns are drawn (c1, then c2 != c1) before the draw that accepts a
// ratio below 1.
double two_row_chain_step(int* cells, int stride, int k2, long& seed);

// Standard deviation of the mean P over the first `used` batch values:
// sqrt(sum (v_i - P)^2 / (used (used - 1))); 0 for fewer than two.
double sd_of_batches(std::vector<double> const& values, std::size_t used, double p);

// What a chain needs besides its table.
struct ChainControl {
    std::int64_t dememorisation = 0;  // steps run before counting starts
    double precision = 0.0;           // batched chains: stop once the s.d. is below it
    int const* stop = nullptr;        // nonzero asks the chain to give up
};

struct ChainOutcome {
    double p = 1.0;
    double sd = 0.0;
    std::int64_t steps = 0;  // counted steps
    bool stopped = false;    // abandoned on the stop request
};

// One Hardy-Weinberg chain of about `length` steps (length >= 1): sqrt(length)
// interleaved bins of length / bins + 1 steps each give the s.d. of P.
ChainOutcome hw_single_chain(FlatTable& table, int k, std::int64_t length, ChainControl const& control);

// Hardy-Weinberg chain in sqrt(length) batches, each restarting from the
// observed table with its own dememorisation; stops early once the s.d.
// over the earlier batches falls below the requested precision.
ChainOutcome hw_batched_chain(FlatTable const& observed, int k, std::int64_t length, ChainControl const& control);

// The short linkage chain (length >= 1): sqrt(length) interleaved batches;
// a step counts while the log-ratio is at most 1e-6 (tables as probable as
// the observed one count, whatever the rounding of the sum).
ChainOutcome ld_short_chain(FlatTable& table, int k1, int k2, std::int64_t length, ChainControl const& control);

// The long linkage chain: `batches` batches of 20000 steps, each restarting
// from the observed table; stops early as the batched HW chain does.
inline constexpr std::int64_t ld_batch_steps = 20000;
ChainOutcome ld_long_chain(FlatTable const& observed, int k1, int k2, std::int64_t batches,
                           ChainControl const& control);

// Integer part of the square root.
std::int64_t int_sqrt(std::int64_t n);

}  // namespace quintle
