// D, D' and r2 of every pair of polymorphic loci of a phased sample: the
// observed and expected two-locus tables, the measures of every allele pair,
// and the sample's linkage values for the statistics line (adjacent pairs,
// the flanking pair, means), which it keeps as its LinkageLine.

#include "haplo/ld_measures.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <iomanip>
#include <ostream>
#include <vector>

#include "core/Errors.h"
#include "core/messages.h"
#include "core/numerics.h"
#include "data/TAllele.h"
#include "haplo/ld_phased.h"
#include "haplo/two_locus_table.h"
#include "popstats/PopGenetics.h"
#include "run/glbobj.h"
#include "project/pass_results.h"
#include "run/settings.h"

namespace quintle {

LdCell ld_cell(double nab, double na, double nb, double N) {
    LdCell c;
    double const pa = na / N;
    double const pb = nb / N;
    double const pab = nab / N;
    c.D = pab - pa * pb;
    c.Dmax = c.D > 0.0 ? std::min(pa * (1.0 - pb), (1.0 - pa) * pb) : std::min(pa * pb, (1.0 - pa) * (1.0 - pb));
    if (c.Dmax > 0.0) {
        c.dprimeDefined = true;
        c.Dprime = c.D / c.Dmax;
    }
    double const spread = pa * (1.0 - pa) * pb * (1.0 - pb);
    if (spread > 0.0) {
        c.rDefined = true;
        c.r2 = c.D * c.D / spread;
        c.r = c.D / std::sqrt(spread);
        c.chi2 = c.D * c.D * N / spread;
    }
    return c;
}

namespace {

constexpr char const* kFunction = "PopGenetics::calc_d_sd_values()";

std::ostream& result_stream(settings const& s) {
    static std::ostream nowhere(nullptr);
    return s.ResultFile != nullptr ? static_cast<std::ostream&>(*s.ResultFile) : nowhere;
}

// The table with its totals and the layout of its printouts.
struct PairLayout {
    TwoLocusTable table;
    std::vector<std::int64_t> rowTotals, colTotals;
    std::int64_t N = 0;
    int A = 0, B = 0;
    int W = 3;         // tables 1 and 2: cells of width W + 1
    int wide = 8;      // tables 3 to 6: cells of width W' + 5
    int decimals = 4;  // with W' + 1 decimals

    int rows() const { return table.counts.rows; }
    int cols() const { return table.counts.cols; }
    double pa(int a) const {
        return static_cast<double>(rowTotals[static_cast<std::size_t>(a)]) / static_cast<double>(N);
    }
    double pb(int b) const {
        return static_cast<double>(colTotals[static_cast<std::size_t>(b)]) / static_cast<double>(N);
    }
    LdCell cell(int a, int b) const {
        return ld_cell(table.counts.at(a, b), static_cast<double>(rowTotals[static_cast<std::size_t>(a)]),
                       static_cast<double>(colTotals[static_cast<std::size_t>(b)]), static_cast<double>(N));
    }
};

void set_up_layout(PairLayout& l) {
    int longest = 0;
    for (TAllele const* a : l.table.rowAlleles) longest = std::max(longest, a->name.length());
    for (TAllele const* b : l.table.colAlleles) longest = std::max(longest, b->name.length());
    l.W = std::max(longest, 3);
    int const Wp = l.W > 3 ? l.W - 3 : 3;
    l.wide = Wp + 5;
    l.decimals = Wp + 1;
    l.rowTotals.assign(static_cast<std::size_t>(l.rows()), 0);
    l.colTotals.assign(static_cast<std::size_t>(l.cols()), 0);
    for (int a = 0; a < l.rows(); ++a) {
        for (int b = 0; b < l.cols(); ++b) {
            std::int64_t const n = l.table.counts.at(a, b);
            l.rowTotals[static_cast<std::size_t>(a)] += n;
            l.colTotals[static_cast<std::size_t>(b)] += n;
            l.N += n;
        }
    }
}

void header_row(std::ostream& out, PairLayout const& l) {
    char label[64];
    std::snprintf(label, sizeof label, "Locus%d\\Locus%d", l.A, l.B);
    out << std::setw(15) << label << "|";
    for (TAllele const* b : l.table.colAlleles) out << std::setw(l.W + 1) << b->name.c_str() << "|";
    out << "\n";
}

void row_label(std::ostream& out, PairLayout const& l, int a) {
    out << std::setw(15) << l.table.rowAlleles[static_cast<std::size_t>(a)]->name.c_str() << "|";
}

void observed_and_expected(std::ostream& out, PairLayout const& l) {
    out << "\n  1: Observed contingency table\n\n";
    header_row(out, l);
    for (int a = 0; a < l.rows(); ++a) {
        row_label(out, l, a);
        for (int b = 0; b < l.cols(); ++b) out << std::setw(l.W + 1) << l.table.counts.at(a, b) << "|";
        out << "   " << l.rowTotals[static_cast<std::size_t>(a)] << "\n";
    }
    out << std::setw(15) << "   " << '|';
    for (int b = 0; b < l.cols(); ++b) out << std::setw(l.W + 1) << l.colTotals[static_cast<std::size_t>(b)];
    out << "\n";
    out << "  Total number of gametes : " << l.N << "\n";

    out << "\n  2: Expected table\n\n";
    header_row(out, l);
    for (int a = 0; a < l.rows(); ++a) {
        row_label(out, l, a);
        for (int b = 0; b < l.cols(); ++b)
            out << std::fixed << std::setprecision(2) << std::setw(l.W + 1)
                << l.pa(a) * l.pb(b) * static_cast<double>(l.N) << "|";
        out << "\n";
    }
}

enum class Measure { D, Dprime, R2, Chi2, Chi2P };

// One of tables 3 to 6: every allele pair's value, or "*" where it has none.
void measure_table(std::ostream& out, PairLayout const& l, char const* title, Measure m) {
    out << title;
    header_row(out, l);
    for (int a = 0; a < l.rows(); ++a) {
        row_label(out, l, a);
        for (int b = 0; b < l.cols(); ++b) {
            LdCell const c = l.cell(a, b);
            bool defined = true;
            double v = c.D;
            if (m == Measure::Dprime) {
                defined = c.dprimeDefined;
                v = c.Dprime;
                // Logged under the number readers of the log know for a D'
                // without a bound, although the table's text names another
                // use of it.
                if (!defined) E.error(ERROR, kFunction, Msg::m164_nucleotide_missing_tajima_nei);
            } else if (m != Measure::D) {
                defined = c.rDefined;
                v = m == Measure::R2     ? c.r2
                    : m == Measure::Chi2 ? c.chi2
                                         : static_cast<double>(Prob_of_chi_sq(1.0f, static_cast<float>(c.chi2)));
            }
            if (defined)
                out << std::fixed << std::setprecision(l.decimals) << std::setw(l.wide) << v << "|";
            else
                out << std::setw(l.wide) << "*" << '|';
        }
        out << "\n";
    }
}

// The weighted pair values over every allele pair that has one.
void weighted_values(PairLayout const& l, double& dprimeW, double& r2W) {
    dprimeW = 0.0;
    r2W = 0.0;
    for (int a = 0; a < l.rows(); ++a) {
        for (int b = 0; b < l.cols(); ++b) {
            LdCell const c = l.cell(a, b);
            double const w = l.pa(a) * l.pb(b);
            if (c.dprimeDefined) dprimeW += w * std::fabs(c.Dprime);
            if (c.rDefined) r2W += w * c.r2;
        }
    }
}

void batch_value(std::ostream& b, bool defined, double v) {
    b << std::setw(7);
    if (defined)
        b << std::setprecision(3) << v;
    else
        b << "*";
    b << '\t';
}

// The pair's values of the statistics line and of the batch line, from its
// last allele pair.
void pair_values(PairLayout const& l, double& dprimeSum, double& r2Sum, int firstLocus, int lastLocus,
                 LinkageLine& line) {
    LdCell const c = l.cell(l.rows() - 1, l.cols() - 1);
    double dprimeW = 0.0, r2W = 0.0;
    weighted_values(l, dprimeW, r2W);
    if (_LINKAGE_DISEQUILIBRIUM_ != 0 && ofs_distrib_LD != nullptr) {
        std::ostream& b = *ofs_distrib_LD;
        batch_value(b, true, c.D);
        batch_value(b, c.dprimeDefined, c.Dprime);
        batch_value(b, c.dprimeDefined, dprimeW);
        batch_value(b, c.rDefined, c.r);
        batch_value(b, c.rDefined, c.r2);
        b << std::setw(7) << std::setprecision(3) << r2W << "\n";
    }
    bool const adjacent = std::abs(l.A - l.B) == 1;
    bool const flanking = l.A == firstLocus && l.B == lastLocus;
    if (c.dprimeDefined) {
        double const d = std::fabs(c.Dprime);
        if (adjacent) line.adjDprime.push_back(d);
        dprimeSum += d;
        if (flanking) line.flankDprime = d;
    }
    if (c.rDefined) {
        if (adjacent) line.adjR2.push_back(c.r2);
        r2Sum += c.r2;
        if (flanking) line.flankR2 = c.r2;
    }
}

// The tables of one pair; true when the pair's batch line was ended.
bool write_pair_measures(PopGenetics& p, int A, int B, settings& s, double& dprimeSum, double& r2Sum, int firstLocus,
                         int lastLocus, LinkageLine& line) {
    PairLayout l;
    l.A = A;
    l.B = B;
    p.contTableMonomorphic = 0;
    TableBuild const built =
        build_two_locus_table(p.haplotypes, p.profile.MissingData, A, B, l.table, "PopGenetics::make_all_table()");
    if (built != TableBuild::built) {
        if (built == TableBuild::monomorphic)
            p.contTableMonomorphic = 1;
        else
            E.error(WARNING, kFunction, Msg::m155_cannot_build_contingency_table);
        return false;
    }
    set_up_layout(l);
    std::ostream& out = result_stream(s);
    observed_and_expected(out, l);
    if (s.ComputeDvalues == 0) return false;
    measure_table(out, l, "\n 3: Table of disequilibrium values (D=pab-pa*pb) for all two-locus haplotypes\n\n",
                  Measure::D);
    measure_table(out, l, "\n 4: Table of standardized disequilibrium values (D'=D/Dmax)\n\n", Measure::Dprime);
    measure_table(out, l, "\n 4: Table of standardized disequilibrium values (r2)\n\n", Measure::R2);
    measure_table(out, l, "\n 5: Table of Chi-square values ( Chi2=sqr(D)*n/(pa*(1-pa)*pb*(1-pb)) )\n\n",
                  Measure::Chi2);
    measure_table(out, l, "\n 6: Table of Chi-square P values (1 d.f.)\n\n", Measure::Chi2P);
    pair_values(l, dprimeSum, r2Sum, firstLocus, lastLocus, line);
    return _LINKAGE_DISEQUILIBRIUM_ != 0 && ofs_distrib_LD != nullptr;
}

double mean_of(std::vector<double> const& v) {
    if (v.empty()) return 0.0;
    double sum = 0.0;
    for (double x : v) sum += x;
    return sum / static_cast<double>(v.size());
}

}  // namespace

int PopGenetics::calc_d_sd_values(int* pair, settings& s, double& dprimeSum, double& r2Sum, int firstLocus,
                                  int lastLocus) {
    if (!linkage_line) linkage_line.emplace();
    write_pair_measures(*this, pair[1], pair[2], s, dprimeSum, r2Sum, firstLocus, lastLocus, *linkage_line);
    return 1;
}

void ld_measures_pass(PopGenetics& p, std::vector<int> const& loci, settings& s, std::ostream& out) {
    LinkageLine line;
    double dprimeSum = 0.0, r2Sum = 0.0;
    int pairs = 0;
    bool const batch = _LINKAGE_DISEQUILIBRIUM_ != 0 && ofs_distrib_LD != nullptr;
    int const n = static_cast<int>(loci.size());
    // The flanking pair: the first and the last polymorphic locus.
    int const first = n > 0 ? loci.front() : -1;
    int const last = n > 0 ? loci.back() : -1;

    for (int i = 0; i < n && s.stopFlag == 0; ++i) {
        for (int j = 0; j < i && s.stopFlag == 0; ++j) {
            int const A = loci[static_cast<std::size_t>(j)];
            int const B = loci[static_cast<std::size_t>(i)];
            out << "\n--------------------\n"
                << "Loci " << A << " and " << B << "\n"
                << "--------------------\n";
            if (batch)
                *ofs_distrib_LD << '"' << settings::input_file << "\"\t\"" << p.name << "\"\t" << A << '\t' << B
                                << '\t';
            double d = 0.0, r2 = 0.0;
            if (!write_pair_measures(p, A, B, s, d, r2, first, last, line) && batch) *ofs_distrib_LD << "\n";
            dprimeSum += d;
            r2Sum += r2;
            ++pairs;
        }
    }

    line.meanAdjDprime = mean_of(line.adjDprime);
    line.meanAdjR2 = mean_of(line.adjR2);
    if (pairs > 0) {
        line.meanDprime = dprimeSum / pairs;
        line.meanR2 = r2Sum / pairs;
    }
    p.linkage_line = std::move(line);
}

}  // namespace quintle
