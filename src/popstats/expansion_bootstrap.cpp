#include "popstats/expansion_bootstrap.h"

#include <algorithm>

namespace quintle {

namespace {

// A list's own storage grows past this only as replicates arrive.
constexpr long kReservedRoom = 1000;

double sum_of(std::vector<double> const& v) {
    double s = 0.0;
    for (double x : v) s += x;
    return s;
}

}  // namespace

BootstrapSeries::BootstrapSeries(double observedSSD, double observedRaggedness, int count, long room)
    : observedSSD_(observedSSD), observedRaggedness_(observedRaggedness), count_(count < 0 ? 0 : count) {
    const auto reserve = static_cast<std::size_t>(std::clamp(room + 1, 1L, kReservedRoom));
    for (std::vector<double>& v : values_) v.reserve(reserve);
    entries_.resize(static_cast<std::size_t>(count_) + 1);
    for (std::vector<double>& v : entries_) v.reserve(reserve);
    sums_.assign(static_cast<std::size_t>(count_) + 1, 0.0);
}

void BootstrapSeries::add(double ssd, double raggedness, std::array<double, 3> const& parameters,
                          double polymorphicSites, double mean, double const* y) {
    if (ssd >= observedSSD_) ssdCount_ += 1.0;
    if (raggedness >= observedRaggedness_) raggednessCount_ += 1.0;
    for (std::size_t k = 0; k < 3; ++k) values_[k].push_back(parameters[k]);
    values_[3].push_back(polymorphicSites);
    values_[4].push_back(mean);
    for (int j = 1; j <= count_; ++j) {
        const auto e = static_cast<std::size_t>(j);
        if (y[j] <= 1.0) {
            entries_[e].push_back(y[j]);
            sums_[e] += y[j];
        }
    }
    ++accepted_;
}

BootstrapReport BootstrapSeries::report(FitTableData table, std::array<char const*, 3> const& labels,
                                        std::array<double, 3> const& estimates, double observedMean,
                                        int polymorphicSites) const {
    BootstrapReport r;
    const double B = static_cast<double>(accepted_);
    r.replicates = accepted_;
    r.pSSD = ssdCount_ / B;
    r.pRaggedness = raggednessCount_ / B;
    r.observedSSD = observedSSD_;
    r.observedRaggedness = observedRaggedness_;

    auto row = [&](char const* label, double estimate, std::vector<double> values, bool whole) {
        std::sort(values.begin(), values.end());
        IntervalRow out;
        out.label = label;
        out.estimate = estimate;
        out.mean = sum_of(values) / B;
        out.sorted = std::move(values);
        out.whole = whole;
        r.rows.push_back(std::move(out));
    };
    for (std::size_t k = 0; k < 3; ++k) row(labels[k], estimates[k], values_[k], false);
    row("Mean No. of pairwise diff.", observedMean, values_[4], false);
    row("No. pol. sites:", polymorphicSites, values_[3], true);

    r.meanSimulated.assign(static_cast<std::size_t>(count_) + 1, 0.0);
    r.entries = entries_;
    for (std::size_t e = 1; e < r.entries.size(); ++e) {
        if (!r.entries[e].empty()) r.meanSimulated[e] = sums_[e] / static_cast<double>(r.entries[e].size());
        std::sort(r.entries[e].begin(), r.entries[e].end());
    }
    r.table = std::move(table);
    return r;
}

}  // namespace quintle
