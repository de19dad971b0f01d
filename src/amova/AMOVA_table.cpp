#include "amova/AMOVA_table.h"

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <new>
#include <ostream>
#include <string>
#include <vector>

#include "core/Errors.h"
#include "core/random.h"
#include "project/Samples.h"
#include "run/settings.h"

namespace quintle {

namespace {

// Values at or below this are "not computed" (a population-specific index
// without a defined ratio).
constexpr double kNotComputed = -9.99999;

// One column group of the per-locus table: the record's sum, d.f. and
// variance fields.
struct Component {
    double amova_results::*ss;
    std::int32_t amova_results::*df;
    double amova_results::*v;
};
struct Index {
    char const* name;
    double amova_results::*value;
    double amova_results::*p;
};
struct TableLayout {
    std::vector<char const*> sources;  // line-1 labels
    std::vector<Component> components;
    std::vector<Index> indices;
};

using R = amova_results;

Component const c_ss1{&R::SS1, &R::df1, &R::V1}, c_ss2_1{&R::SS2, &R::df1, &R::V1}, c_ss2_2{&R::SS2, &R::df2, &R::V2},
    c_ss3_1{&R::SS3, &R::df1, &R::V1}, c_ss3_2{&R::SS3, &R::df2, &R::V2}, c_ss3_3{&R::SS3, &R::df3, &R::V3},
    c_ss4_2{&R::SS4, &R::df2, &R::V2}, c_ss4_3{&R::SS4, &R::df3, &R::V3}, c_ss4_4{&R::SS4, &R::df4, &R::V4};
Index const i_fst{"FST", &R::FST, &R::P_FST}, i_fis{"FIS", &R::FIS, &R::P_FIS}, i_fit{"FIT", &R::FIT, &R::P_FIT},
    i_fsc{"FSC", &R::FSC, &R::P_FSC}, i_fct{"FCT", &R::FCT, &R::P_FCT};

// The per-locus table's layout for a design type; false for an unknown one.
bool table_layout(int type, TableLayout& t) {
    switch (type) {
        case 1:
            t = {{"Among populations:", "Within populations:"}, {c_ss2_1, c_ss3_2}, {i_fst}};
            return true;
        case 7:
        case 8:
            t = {{"Among Populations:", "Within Populations:"}, {c_ss2_1, c_ss3_2}, {i_fst}};
            return true;
        case 2:
            t = {{"Among populations:", "Among Individuals:", "Within Individuals:"},
                 {c_ss2_1, c_ss3_2, c_ss4_3},
                 {i_fis, i_fst, i_fit}};
            return true;
        case 3:
        case 5:
        case 9:
            t = {{"Among Groups:", "Among Population:", "Within Populations:"},
                 {c_ss1, c_ss2_2, c_ss3_3},
                 {i_fsc, i_fst, i_fct}};
            return true;
        case 4:
            t = {{"Among Groups:", "Among Population:", "Within Populations:", "Within Individuals:"},
                 {c_ss1, c_ss2_2, c_ss3_3, c_ss4_4},
                 {i_fis, i_fsc, i_fct, i_fit}};
            return true;
        case 6:
            t = {{"Among Individuals:", "Within Individuals:"}, {c_ss3_1, c_ss4_2}, {i_fis}};
            return true;
        default:
            return false;
    }
}

// Header and rows of designs 8 and 9 name the type 7 and 3 columns, but
// their rows read the type 1 and 3 fields: the same fields as those layouts.

char const* const kComponentNames[4] = {"Va", "Vb", "Vc", "Vd"};

void add_flags(std::ostream& out) { out << std::fixed << std::showpoint << std::right; }

// --- weighted average ------------------------------------------------------------

double V_of(amova_results const& r, int k) {
    switch (k) {
        case 1: return r.V1;
        case 2: return r.V2;
        case 3: return r.V3;
        default: return r.V4;
    }
}
MY_TArrayAsVector<double> const& values_of(amova_results const& r, int k) {
    switch (k) {
        case 1: return r.perm_values1;
        case 2: return r.perm_values2;
        case 3: return r.perm_values3;
        default: return r.perm_values4;
    }
}

double ratio(double num, double den) { return den != 0.0 ? num / den : 0.0; }

// One row of the average's table: its label lines, the sum field it reads
// (1..4) and the separator written after it.
struct AverageRow {
    char const* label;
    int ss;
    int width;  // of the sum, by the row's last label
    char const* after;
};
struct AverageLayout {
    std::vector<AverageRow> rows;
    std::vector<char const*> index_labels;
};

bool average_layout(int type, AverageLayout& a) {
    AverageRow const among_pop{" Among\n populations", 2, 20, "\n\n"};
    switch (type) {
        case 1:
        case 7:
            a = {{among_pop, {" Within\n populations", 3, 20, ""}}, {"       FST : "}};
            return true;
        case 2:
            a = {{among_pop,
                  {" Among\n individuals\n within\n populations", 3, 20, "\n\n"},
                  {" Within\n individuals", 4, 20, ""}},
                 {"      FIS : ", "      FST : ", "      FIT : "}};
            return true;
        case 3:
        case 5:
            a = {{{" Among\n groups", 1, 25, "\n\n"},
                  {" Among\n populations\n within\n groups", 2, 25, "\n\n"},
                  {" Within\n populations", 3, 20, ""}},
                 {}};
            a.index_labels = type == 3 ? std::vector<char const*>{"      FSC : ", "      FST : ", "      FCT : "}
                                       : std::vector<char const*>{"      FST : ", "      FSC : ", "      FCT : "};
            return true;
        case 4:
            a = {{{" Among\n groups", 1, 25, "\n\n"},
                  {" Among\n populations\n within\n groups", 2, 25, "\n\n"},
                  {" Among\n individuals\n within\n populations", 3, 20, ""},
                  {"\n Within\n individuals", 4, 20, ""}},
                 {"      FIS : ", "      FSC : ", "      FCT : ", "      FIT : "}};
            return true;
        case 6:
            a = {{{" Among\n individuals", 3, 20, "\n"}, {" Within\n individuals", 4, 20, ""}}, {"       FIS : "}};
            return true;
        default:
            return false;
    }
}

// The indices of an average, in the order of its index lines.
std::vector<double> average_indices(LocusAverage const& a) {
    switch (a.type) {
        case 1:
        case 7: return {a.FST};
        case 2: return {a.FIS, a.FST, a.FIT};
        case 3: return {a.FSC, a.FST, a.FCT};
        case 5: return {a.FST, a.FSC, a.FCT};
        case 4: return {a.FIS, a.FSC, a.FCT, a.FIT};
        case 6: return {a.FIS};
        default: return {};
    }
}

double SS_of(amova_results const& r, int k) {
    switch (k) {
        case 1: return r.SS1;
        case 2: return r.SS2;
        case 3: return r.SS3;
        default: return r.SS4;
    }
}

// The tests of each design in output order, and their labels.
struct TestLabel {
    int component;
    bool smaller;
    char const* label;
};
std::vector<TestLabel> test_labels(int type) {
    switch (type) {
        case 1:
        case 7: return {{1, false, "Va and FST : P(rand. value > obs. value)  = "}};
        case 2:
            return {{2, false, "Vb and FIS : P(rand. value > obs. value)  = "},
                    {1, false, "Va and FST : P(rand. value > obs. value)  = "},
                    {3, true, "Vc and FIT : P(rand. value &lt; obs. value)  = "}};
        case 3:
        case 5:
            return {{3, true, "Vc and FST : P(rand. value &lt; obs. value)  = "},
                    {2, false, "Vb and FSC : P(rand. value > obs. value)  = "},
                    {1, false, "Va and FCT : P(rand. value > obs. value)  = "}};
        case 4:
            return {{4, true, "Vd and FIT : P(rand. value &lt; obs. value)  = "},
                    {3, false, "Vc and FIS:  P(rand. value > obs. value)  = "},
                    {2, false, "Vb and FSC : P(rand. value > obs. value)  = "},
                    {1, false, "Va and FCT : P(rand. value > obs. value)  = "}};
        case 6: return {{1, false, "\nVa and FIS : P(rand. value > obs. value)  = "}};
        default: return {};
    }
}

// The bootstrapped indices of a design, in printing order, from one
// replicate's sums of V1..V4 and VT.
struct BootIndex {
    char const* name;
    double (*of)(double const* v, double vt);
};
std::vector<BootIndex> boot_indices(int type) {
    auto fst1 = [](double const* v, double vt) { return ratio(v[0], vt); };
    switch (type) {
        case 1:
        case 7: return {{"FST", fst1}};
        case 2:
            return {{"FIT", [](double const* v, double vt) { return ratio(v[0] + v[1], vt); }},
                    {"FST", fst1},
                    {"FIS", [](double const* v, double) { return ratio(v[1], v[2] + v[1]); }}};
        case 3:
        case 5:
            return {{"FCT", fst1},
                    {"FST", [](double const* v, double vt) { return ratio(v[0] + v[1], vt); }},
                    {"FSC", [](double const* v, double) { return ratio(v[1], v[2] + v[1]); }}};
        case 4:
            return {{"FCT", fst1},
                    {"FIT", [](double const* v, double vt) { return ratio(v[0] + v[1] + v[2], vt); }},
                    {"FIS", [](double const* v, double) { return ratio(v[2], v[2] + v[3]); }},
                    {"FSC", [](double const* v, double) { return ratio(v[1], v[1] + v[2] + v[3]); }}};
        case 6: return {{"FIS", fst1}};
        default: return {};
    }
}

struct Percentile {
    char const* label;
    int position;
};
constexpr Percentile kPercentiles[AMOVA_table::percentile_count] = {
    {" 0.05 %    : ", 10},    {" 0.1 %     : ", 20},    {" 0.25 %    : ", 50},    {" 0.5 %     : ", 100},
    {" 1 %       : ", 200},   {" 2.5 %     : ", 500},   {" 5 %       : ", 1000},  {" 10 %      : ", 2000},
    {" 50 %      : ", 10000}, {" 90 %      : ", 18000}, {" 95 %      : ", 19000}, {" 97.5 %    : ", 19500},
    {" 99 %      : ", 19800}, {" 99.5 %    : ", 19900}, {" 99.75 %   : ", 19950}, {" 99.9 %    : ", 19980},
    {" 99.95 %   : ", 19990}};

}  // namespace

// --- per-locus table ---------------------------------------------------------------

void AMOVA_table::print_table_header(std::ostream& out) {
    if (results.count < 1 || results.data[0] == nullptr) return;
    int const W = col_width;
    out << std::right;
    TableLayout t;
    if (!table_layout(results.data[0]->type, t)) {
        out << "Invalid AMOVA case" << std::endl;
        return;
    }
    for (std::size_t k = 0; k < t.sources.size(); ++k) out << std::setw(k == 0 ? W + 10 : 3 * W + 10) << t.sources[k];
    out << std::setw(2 * W + 20) << "Fixation indices:" << std::endl;
    out << std::setw(7) << "Locus";
    for (std::size_t k = 0; k < t.components.size(); ++k)
        out << std::setw(W) << "SSD" << std::setw(7) << "d.f." << std::setw(W) << kComponentNames[k] << std::setw(W)
            << "% variation";
    for (Index const& i : t.indices) out << std::setw(10) << i.name << std::setw(10) << "P-value";
    out << std::endl;
}

void AMOVA_table::print_table(std::ostream& out) {
    if (results.count < 1 || results.data[0] == nullptr) return;
    int const W = col_width;
    TableLayout t;
    bool const known = table_layout(results.data[0]->type, t);
    for (long i = 0; i < results.count; ++i) {
        amova_results const* r = results.data[i];
        if (r == nullptr || r->VT <= 1e-17) continue;
        add_flags(out);
        out << std::setprecision(5);
        if (!known) {
            out << "Invalid AMOVA case" << std::endl;
            continue;
        }
        out << std::setw(7) << r->locus + 1;
        for (Component const& c : t.components)
            out << std::setw(W) << r->*c.ss << std::setw(7) << r->*c.df << std::setw(W) << r->*c.v << std::setw(W)
                << r->*c.v / r->VT * 100;
        for (Index const& x : t.indices) out << std::setw(10) << r->*x.value << std::setw(10) << r->*x.p;
        out << std::endl;
    }
}

void AMOVA_table::print_Fst_per_pop_table(std::ostream& out, int width, bool deviation) {
    if (results.count < 1 || results.data[0] == nullptr) return;
    int const columns = std::max(results.data[0]->df1 + 1, 0);
    for (long i = 0; i < results.count; ++i) {
        amova_results const* r = results.data[i];
        if (r == nullptr || !(r->SST > 0)) continue;
        out << std::right << std::setw(7) << r->locus + 1 << std::right << std::setw(14) << std::setprecision(5)
            << r->FST;
        for (int j = 0; j < columns; ++j) {
            out << std::right;
            if (j >= r->pop_FST.count) {
                out << std::setw(width) << "N.A.";
            } else if (!deviation) {
                out << std::setw(width) << std::setprecision(5) << r->pop_FST.data[j];
            } else if (r->FST != 0.0) {
                out << std::setw(width) << std::setprecision(3) << 100 * (r->pop_FST.data[j] - r->FST) / r->FST;
            }
        }
        out << "\n";
    }
}

void AMOVA_table::print_Fis_per_pop_table(std::ostream& out, int width, bool deviation) {
    if (results.count < 1 || results.data[0] == nullptr) return;
    long const columns = results.data[0]->pop_FIS.count;
    for (long i = 0; i < results.count; ++i) {
        amova_results const* r = results.data[i];
        if (r == nullptr || !(r->SST > 0)) continue;
        out << std::right << std::setw(7) << r->locus + 1 << std::right << std::setw(14) << std::setprecision(5)
            << r->FIS;
        for (long j = 0; j < columns; ++j) {
            out << std::right;
            double const v = j < r->pop_FIS.count ? r->pop_FIS.data[j] : kNotComputed;
            bool const undefined = v <= kNotComputed || (deviation && r->FIS == 0.0);
            if (undefined)
                out << std::setw(width) << "N.A.";
            else if (!deviation)
                out << std::setw(width) << std::setprecision(5) << v;
            else
                out << std::setw(width) << std::setprecision(3) << 100 * (v - r->FIS) / r->FIS;
        }
        out << "\n";
    }
}

// --- weighted average over loci -------------------------------------------------

LocusAverage AMOVA_table::average_loci() const {
    LocusAverage a;
    if (results.count < 1 || results.data[0] == nullptr) return a;
    int const L = static_cast<int>(results.count);
    a.type = results.data[0]->type;
    a.loci = L;
    // A locus whose AMOVA was refused holds no permuted values: the count
    // is that of the first locus that ran its permutations.
    for (long i = 0; i < L && a.permutations == 0; ++i)
        if (results.data[i] != nullptr) a.permutations = results.data[i]->perm_values1.count;
    AverageLayout layout;
    if (!average_layout(a.type, layout)) return a;

    for (long i = 0; i < L; ++i) {
        amova_results const* r = results.data[i];
        if (r == nullptr) continue;
        for (std::size_t k = 0; k < layout.rows.size(); ++k) {
            a.SS[k] += SS_of(*r, layout.rows[k].ss);
            a.V[k] += V_of(*r, static_cast<int>(k) + 1);
        }
        a.SST += r->SST;
        a.VT += r->VT;
    }
    auto const& V = a.V;
    switch (a.type) {
        case 1:
        case 7: a.FST = ratio(V[0], a.VT); break;
        case 2:
            a.FIS = ratio(V[1], V[1] + V[2]);
            a.FST = ratio(V[0], a.VT);
            a.FIT = ratio(V[0] + V[1], a.VT);
            break;
        case 3:
        case 5:
            a.FSC = ratio(V[1], V[1] + V[2]);
            a.FST = ratio(V[0] + V[1], a.VT);
            a.FCT = ratio(V[0], a.VT);
            break;
        case 4:
            a.FIS = ratio(V[2], V[2] + V[3]);
            a.FSC = ratio(V[1], V[1] + V[2] + V[3]);
            a.FCT = ratio(V[0], a.VT);
            a.FIT = ratio(V[0] + V[1] + V[2], a.VT);
            break;
        case 6: a.FIS = ratio(V[0], V[0] + V[1]); break;
        default: break;
    }

    // Permutation tests of the averaged components: the s-th permuted
    // value of every locus (missing ones count as 0), averaged over all L.
    for (TestLabel const& t : test_labels(a.type)) a.tests.push_back({t.component, t.smaller, 0, 0});
    for (LocusAverage::Test& t : a.tests) {
        double const observed = V[static_cast<std::size_t>(t.component - 1)] / L;
        for (long s = 0; s < a.permutations; ++s) {
            double sum = 0.0;
            for (long i = 0; i < L; ++i) {
                amova_results const* r = results.data[i];
                if (r == nullptr) continue;
                MY_TArrayAsVector<double> const& v = values_of(*r, t.component);
                if (v.count > s) sum += v.data[s];
            }
            double const m = sum / L;
            if (t.smaller ? m < observed : m > observed)
                ++t.extreme;
            else if (std::fabs(m - observed) < 1e-10)
                ++t.equal;
        }
    }

    if (L >= 6) {
        std::vector<BootIndex> const indices = boot_indices(a.type);
        for (BootIndex const& b : indices) {
            a.bootstraps.push_back({b.name, {}});
            a.bootstraps.back().values.reserve(bootstrap_replicates + 1);
        }
        std::vector<int> drawn(static_cast<std::size_t>(L));
        for (int rep = 0; rep < bootstrap_replicates; ++rep) {
            bootstrap_index(drawn.data(), L);
            double v[4] = {0, 0, 0, 0};
            double vt = 0.0;
            for (int k : drawn) {
                amova_results const* r = results.data[k];
                if (r == nullptr) continue;
                v[0] += r->V1;
                v[1] += r->V2;
                v[2] += r->V3;
                v[3] += r->V4;
                vt += r->VT;
            }
            for (std::size_t b = 0; b < indices.size(); ++b)
                a.bootstraps[b].values.push_back(vt != 0.0 ? indices[b].of(v, vt) : 0.0);
        }
        for (LocusAverage::Bootstrap& b : a.bootstraps) std::sort(b.values.begin(), b.values.end());
    }
    return a;
}

void print_locus_average(std::ostream& out, LocusAverage const& a, settings* s, bool groups) {
    if (a.loci < 1) return;
    std::string const rule(72, '-');
    out << "\n====================================================" << "\nGlobal AMOVA results as a weighted average over loci"
        << "\n====================================================\n"
        << "\n----------------------------------------------------" << "\nAMOVA design and results (average over "
        << a.loci << " loci):" << "\n----------------------------------------------------\n\n"
        << rule << "\n"
        << " Source of               Sum of           Variance            Percentage\n"
        << " variation               squares          components          variation\n"
        << rule << "\n";
    if (a.type == 8 || a.type == 9) return;
    AverageLayout layout;
    if (!average_layout(a.type, layout)) {
        out << "Invalid AMOVA case" << std::endl;
        return;
    }

    add_flags(out);
    for (std::size_t k = 0; k < layout.rows.size(); ++k) {
        AverageRow const& row = layout.rows[k];
        double const pct = a.VT != 0.0 ? 100 * a.V[k] / a.VT : 0.0;
        out << row.label << std::setw(row.width) << std::setprecision(3) << a.SS[k] << std::setw(20)
            << std::setprecision(5) << a.V[k] << std::setw(20) << pct << row.after;
    }
    out << "\n" << rule << "\n"
        << " Total" << std::setw(26) << std::setprecision(3) << a.SST << std::setw(20) << std::setprecision(5) << a.VT
        << "\n" << rule << "\n";
    out << "\n\n" << "Average F-Statistics over all loci\n" << " Fixation Indices\n";
    std::vector<double> const values = average_indices(a);
    for (std::size_t k = 0; k < values.size() && k < layout.index_labels.size(); ++k)
        out << layout.index_labels[k] << std::setw(12) << std::setprecision(5) << values[k] << "\n";

    if (!a.bootstraps.empty()) {
        if (s != nullptr && s->current_samples != nullptr)
            s->current_samples->print_computation_anchor(
                2, *s, my_string(groups ? "gr_bootstrap" : "bootstrap"), my_string("F-stat bootstraps"));
        for (LocusAverage::Bootstrap const& b : a.bootstraps) {
            out << "\n" << b.name << " bootstrap percentile values (over " << AMOVA_table::bootstrap_replicates
                << " bootstraps)" << "\n-------------------------------------------------------\n\n";
            for (Percentile const& p : kPercentiles)
                out << p.label << std::setprecision(5) << b.values[static_cast<std::size_t>(p.position)] << "\n";
            out << "\n" << std::endl;
        }
    }

    if (a.permutations == 0) {
        out << "\nNo permutations were done and significance levels cannot be reported\n" << std::endl;
        return;
    }
    double const K = static_cast<double>(a.permutations);
    out << "\n------------------" << "\nSignificance tests (" << a.permutations << " permutations)"
        << (a.type == 6 ? "\n------------------\n" : "\n------------------\n\n");
    std::vector<TestLabel> const labels = test_labels(a.type);
    for (std::size_t k = 0; k < a.tests.size(); ++k) {
        LocusAverage::Test const& t = a.tests[k];
        out << labels[k].label << std::setw(8) << std::setprecision(5) << t.extreme / K
            << "\n             P(rand. value = obs. value)  = " << std::setw(8) << t.equal / K
            << "\n                                  P-value = " << std::setw(8) << (t.extreme + t.equal) / K;
        if (k + 1 < a.tests.size())
            out << std::endl << std::endl;
        else
            out << "\n\n";
    }
}

LocusAverage AMOVA_table::print_average_loci(std::ostream& out, settings* s, bool groups) {
    if (results.count < 1 || results.data[0] == nullptr) return {};
    LocusAverage a = average_loci();
    print_locus_average(out, a, s, groups);
    return a;
}

FixationIndices average_line_indices(LocusAverage const& a) {
    switch (a.type) {
        case 1:
        case 7: return FixationIndices{.fst = a.FST};
        case 2: return FixationIndices{.fis = a.FIS, .fst = a.FST, .fit = a.FIT};
        case 3:
        case 5: return FixationIndices{.fst = a.FST, .fct = a.FCT, .fsc = a.FSC};
        case 4: return FixationIndices{.fis = a.FIS, .fct = a.FCT, .fsc = a.FSC, .fit = a.FIT};
        case 6: return FixationIndices{.fis = a.FIS};
        default: return {};
    }
}

}  // namespace quintle
