#pragma once

// Writers of the expansion fits of the mismatch distribution: the parameter
// lines, the table of observed and model distributions, and the report of a
// bootstrap (goodness of fit, mean simulated distribution, percentile
// intervals and confidence band at three levels). The sudden and the
// spatial fits share them, their differences passed as styles.

#include <initializer_list>
#include <ostream>
#include <utility>
#include <vector>

#include "core/my_string.h"

namespace quintle {

// Class arrays of a fit, 1-based (entry j is class j - 1), entries
// 0 .. count; frequencies are printed times `total`, the number of pairs.
struct FitTableData {
    std::vector<double> x;
    std::vector<double> observed;
    std::vector<double> model;
    int count = 0;
    long total = 0;
};

FitTableData fit_table_data(double const* x, double const* observed, double const* model, int count, long total);

struct FitTableStyle {
    int dashes;
    char const* header;
};
inline constexpr FitTableStyle sudden_fit_table{
    41, "        #Diff     Observed    Model Freq.\n"};
inline constexpr FitTableStyle spatial_fit_table{
    43, "          #Diff     Observed    Model Freq.\n"};

// Entries 1 .. count: class, observed and model counts.
void write_fit_table(std::ostream& out, FitTableData const& t, FitTableStyle const& style);

// Each line: its label, then the value in fixed notation, width 12, 3
// decimals; the stream keeps that format.
void write_parameter_lines(std::ostream& out, std::initializer_list<std::pair<char const*, double>> lines);

// One row of the interval table: the estimate and the replicates' values.
struct IntervalRow {
    char const* label = "";
    double estimate = 0.0;
    std::vector<double> sorted;  // ascending
    double mean = 0.0;
    bool whole = false;          // estimate and bounds written as whole numbers
};

struct BootstrapReport {
    double observedSSD = 0.0;
    double pSSD = 0.0;
    double observedRaggedness = 0.0;
    double pRaggedness = 0.0;
    long replicates = 0;
    FitTableData table;                         // the observed distribution and the model
    std::vector<double> meanSimulated;          // by entry, 0 .. count
    std::vector<IntervalRow> rows;
    std::vector<std::vector<double>> entries;   // sorted simulated frequencies by entry, 0 .. count
};

struct BootstrapStyle {
    char const* tag;                // XML section of the mismatch table
    char const* intervalTag;        // XML sections of the bands, followed by "_" and the level
    char const* distributionsRule;  // after "\nMismatch distributions:"
    char const* regionHeading;
    bool rateFirst;                 // positions int(B alpha / 2) rather than int(alpha / 2 B)
    bool closingNewline;
};
extern BootstrapStyle const sudden_bootstrap_style;
extern BootstrapStyle const spatial_bootstrap_style;

// Positions in a sorted list of B values of the bounds of the percentile
// interval at level alpha.
struct PercentilePositions {
    long low = 0;
    long high = 0;
};
PercentilePositions percentile_positions(long B, double alpha, bool rateFirst);
// Position of the stored quantile p: int(p B - 1), truncated towards 0.
long quantile_position(long B, double p);

// The three levels of the intervals, in their order.
inline constexpr double interval_levels[3] = {0.01, 0.05, 0.10};

void write_bootstrap_report(std::ostream& out, BootstrapReport const& r, BootstrapStyle const& style,
                            my_string const& sampleName);

}  // namespace quintle
