#pragma once

// The accepted replicates of an expansion fit's bootstrap: how many reach
// the observed SSD and raggedness, the refitted parameters, numbers of
// polymorphic sites and mean pairwise differences, and the simulated
// frequency of every class; turned into the report its writer prints.

#include <array>
#include <vector>

#include "popstats/expansion_fit_output.h"

namespace quintle {

class BootstrapSeries {
public:
    // Classes of entries 1 .. count are kept; room for `room` replicates.
    BootstrapSeries(double observedSSD, double observedRaggedness, int count, long room);

    // One accepted replicate: its SSD and raggedness, its three refitted
    // parameters in the order of the interval rows, its polymorphic sites,
    // its mean number of pairwise differences, and its frequencies y
    // (1-based class array).
    void add(double ssd, double raggedness, std::array<double, 3> const& parameters, double polymorphicSites,
             double mean, double const* y);

    long accepted() const { return accepted_; }
    double ssd_count() const { return ssdCount_; }

    // The report of the series: P values, the five rows (three parameters
    // under `labels` with their estimates, the mean number of pairwise
    // differences, the polymorphic sites), mean and sorted frequencies.
    // Needs at least one accepted replicate.
    BootstrapReport report(FitTableData table, std::array<char const*, 3> const& labels,
                           std::array<double, 3> const& estimates, double observedMean, int polymorphicSites) const;

private:
    double observedSSD_;
    double observedRaggedness_;
    int count_;
    long accepted_ = 0;
    double ssdCount_ = 0.0;
    double raggednessCount_ = 0.0;
    // The three parameters, the polymorphic sites and the means.
    std::array<std::vector<double>, 5> values_;
    std::vector<std::vector<double>> entries_;
    std::vector<double> sums_;
};

}  // namespace quintle
