#include "popstats/expansion_fit_output.h"

#include <cstdio>
#include <iomanip>
#include <string>

#include "core/xml.h"

namespace quintle {

BootstrapStyle const sudden_bootstrap_style{"mismatchDemogExp", "mismatchDemogExpCI", "\n---------------------\n",
                                            "\nConfidence region for the observed mismatch:\n\n", false, true};
BootstrapStyle const spatial_bootstrap_style{"mismatchSpatialExp", "mismatchSpatialExpCI",
                                             "\n---------------------\n\n",
                                             "\nConfidence region for the observed mismatch:\n", true, false};

namespace {

std::ostream& fixed(std::ostream& os, int decimals) {
    os.setf(std::ios::fixed, std::ios::floatfield);
    os.setf(std::ios::showpoint);
    os.setf(std::ios::right, std::ios::adjustfield);
    os.precision(decimals);
    return os;
}

std::string rule(char c, int n) { return std::string(static_cast<std::size_t>(n), c) + "\n"; }

void open_section(std::ostream& out, std::string const& name, my_string const& sampleName) {
    if (!xmlOutput) return;
    TXmlTag tag(name.c_str());
    tag.attributeName = "pop";
    tag.attributeValue = sampleName;
    out << tag.open() << "\n";
}

void close_section(std::ostream& out, std::string const& name) {
    if (!xmlOutput) return;
    TXmlTag tag(name.c_str());
    out << tag.close() << "\n";
}

// The value at position i of a sorted list; 0 for an empty list.
double at(std::vector<double> const& v, long i) {
    if (v.empty()) return 0.0;
    if (i < 0) i = 0;
    if (i >= static_cast<long>(v.size())) i = static_cast<long>(v.size()) - 1;
    return v[static_cast<std::size_t>(i)];
}

void write_goodness_of_fit(std::ostream& out, BootstrapReport const& r) {
    out << "\nTest of goodness-of-fit:" << "\n------------------------\n";
    fixed(out, 8);
    out << "\n         Sum of Squared deviation: " << std::setw(10) << r.observedSSD;
    out << "\n          P(Sim. Ssd >= Obs. Ssd): " << std::setw(10) << r.pSSD;
    out << "\n    Harpending's Raggedness index: " << std::setw(10) << r.observedRaggedness;
    out << "\n        P(Sim. Rag. >= Obs. Rag.): " << std::setw(10) << r.pRaggedness << "\n";
}

void write_distributions(std::ostream& out, BootstrapReport const& r, BootstrapStyle const& style,
                         my_string const& sampleName) {
    out << "\nMismatch distributions:" << style.distributionsRule;
    open_section(out, style.tag, sampleName);
    const std::string dashes = rule('-', 53);
    out << dashes << "        #Diff     Observed    Simulated   Model Freq.\n" << dashes;
    FitTableData const& t = r.table;
    const double total = static_cast<double>(t.total);
    fixed(out, 1);
    for (int j = 1; j <= t.count; ++j) {
        const auto e = static_cast<std::size_t>(j);
        out << std::setw(13) << t.x[e] << std::setw(13) << t.observed[e] * total << std::setw(13)
            << r.meanSimulated[e] * total << std::setw(13) << t.model[e] * total << "\n";
    }
    out << dashes;
    close_section(out, style.tag);
}

void write_interval_row(std::ostream& out, IntervalRow const& row, PercentilePositions p) {
    out << std::setw(26) << row.label;
    if (row.whole) {
        out << std::setw(16) << static_cast<long>(row.estimate) << std::setw(16)
            << static_cast<long>(at(row.sorted, p.low)) << std::setw(16) << static_cast<long>(at(row.sorted, p.high));
    } else {
        out << std::setw(16) << row.estimate << std::setw(16) << at(row.sorted, p.low) << std::setw(16)
            << at(row.sorted, p.high);
    }
    out << std::setw(16) << row.mean << "\n";
}

void write_level(std::ostream& out, BootstrapReport const& r, BootstrapStyle const& style, double level,
                 my_string const& sampleName) {
    const PercentilePositions p = percentile_positions(r.replicates, level, style.rateFirst);
    fixed(out, 3);
    out << "\n\nConfidence intervals (Percentile method):\t alpha=\t" << level << "\nBased on " << r.replicates
        << " replicates\n"
        << "\n";
    const std::string wide = rule('-', 91);
    out << wide << "                  Variable:       Est. val:     Low. bound:      Up. bound:     Mean Value:\n"
        << wide;
    for (IntervalRow const& row : r.rows) write_interval_row(out, row, p);
    out << wide << style.regionHeading;

    char name[96];
    std::snprintf(name, sizeof name, "%s_%f", style.intervalTag, level);
    open_section(out, name, sampleName);
    const std::string dashes = rule('-', 65);
    out << dashes << "        #Diff     Observed    Low. bound  Up. bound   Model Freq.\n" << dashes;
    FitTableData const& t = r.table;
    const double total = static_cast<double>(t.total);
    fixed(out, 1);
    for (int j = 1; j <= t.count - 1; ++j) {
        const auto e = static_cast<std::size_t>(j);
        out << std::setw(13) << t.x[e] << std::setw(13) << t.observed[e] * total << std::setw(13)
            << at(r.entries[e], p.low) * total << std::setw(13) << at(r.entries[e], p.high) * total << std::setw(13)
            << t.model[e] * total << "\n";
    }
    out << dashes;
    close_section(out, name);
}

}  // namespace

FitTableData fit_table_data(double const* x, double const* observed, double const* model, int count, long total) {
    FitTableData t;
    const auto n = static_cast<std::size_t>(count < 0 ? 0 : count) + 1;
    t.x.assign(x, x + n);
    t.observed.assign(observed, observed + n);
    t.model.assign(model, model + n);
    t.count = count;
    t.total = total;
    return t;
}

void write_fit_table(std::ostream& out, FitTableData const& t, FitTableStyle const& style) {
    const std::string dashes = rule('-', style.dashes);
    out << dashes << style.header << dashes;
    const double total = static_cast<double>(t.total);
    fixed(out, 1);
    for (int j = 1; j <= t.count; ++j) {
        const auto e = static_cast<std::size_t>(j);
        out << std::setw(13) << t.x[e] << std::setw(13) << t.observed[e] * total << std::setw(13)
            << t.model[e] * total << "\n";
    }
    out << dashes;
}

void write_parameter_lines(std::ostream& out, std::initializer_list<std::pair<char const*, double>> lines) {
    fixed(out, 3);
    for (auto const& [label, value] : lines) out << label << std::setw(12) << value;
}

PercentilePositions percentile_positions(long B, double alpha, bool rateFirst) {
    const double b = static_cast<double>(B);
    PercentilePositions p;
    if (rateFirst) {
        p.low = static_cast<long>(b * alpha / 2.0);
        p.high = static_cast<long>(b * (1.0 - alpha / 2.0));
    } else {
        p.low = static_cast<long>((alpha / 2.0) * b);
        p.high = static_cast<long>((1.0 - alpha / 2.0) * b);
    }
    if (p.high == B) --p.high;
    return p;
}

long quantile_position(long B, double p) { return static_cast<long>(p * static_cast<double>(B) - 1.0); }

void write_bootstrap_report(std::ostream& out, BootstrapReport const& r, BootstrapStyle const& style,
                            my_string const& sampleName) {
    write_goodness_of_fit(out, r);
    write_distributions(out, r, style, sampleName);
    for (double level : interval_levels) write_level(out, r, style, level, sampleName);
    if (style.closingNewline) out << "\n";
}

}  // namespace quintle
