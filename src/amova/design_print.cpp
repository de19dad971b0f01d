// The AMOVA section of the result file and the AMOVA batch line, written
// from a design's result: the table of each design's levels, the
// sample-specific tables, the significance tests and the histogram of the
// null distributions.

#include "amova/design_print.h"

#include <algorithm>
#include <iomanip>
#include <ostream>
#include <string>

#include "amova/Amova.h"
#include "core/References.h"
#include "project/Samples.h"
#include "run/settings.h"

namespace quintle {

namespace {

constexpr char const* kRule = "----------------------------------------------------------------------";

// One row of a table: its source of variation (over one or more lines),
// the width of its d.f. column and its component's tag.
struct RowText {
    char const* head;
    int width;
    char const* tag;
};

// One design's table: rows, what follows each row but the last, and the
// indices in print order (one index on the line of the heading, several
// under " Fixation Indices").
struct TableText {
    int rows;
    RowText row[4];
    char const* after[3];
    char const* single;  // label of the one index; nullptr: several
    AmovaIndex indices[4];
    int index_count;
    AmovaIndex batch[4];  // the batch line's indices
    int batch_count;
};

constexpr RowText kAmongGroups{" Among\n groups", 12, " Va"};
constexpr RowText kAmongPopsInGroups{" Among\n populations\n within\n groups", 12, " Vb"};

constexpr TableText kOneGroup{2,
                              {{" Among\n populations", 7, " Va"}, {" Within\n populations", 7, " Vb"}},
                              {"\n\n"},
                              " Fixation Index      FST : ",
                              {AmovaIndex::FST},
                              1,
                              {AmovaIndex::FST},
                              1};
constexpr TableText kGroups{3,
                            {kAmongGroups, kAmongPopsInGroups, {" Within\n populations", 7, " Vc"}},
                            {"\n\n", "\n\n"},
                            nullptr,
                            {AmovaIndex::FSC, AmovaIndex::FST, AmovaIndex::FCT},
                            3,
                            {AmovaIndex::FCT, AmovaIndex::FSC, AmovaIndex::FST},
                            3};
constexpr TableText kGroupsFstFirst{3,
                                    {kAmongGroups, kAmongPopsInGroups, {" Within\n populations", 7, " Vc"}},
                                    {"\n\n", "\n\n"},
                                    nullptr,
                                    {AmovaIndex::FST, AmovaIndex::FSC, AmovaIndex::FCT},
                                    3,
                                    {AmovaIndex::FCT, AmovaIndex::FSC, AmovaIndex::FST},
                                    3};
constexpr TableText kOneSample{2,
                               {{" Among\n individuals", 7, " Va"}, {" Within\n individuals", 7, " Vb"}},
                               {"\n"},
                               " Fixation Index     FIS : ",
                               {AmovaIndex::FIS},
                               1,
                               {AmovaIndex::FIS},
                               1};
constexpr TableText kOneGroupIndividuals{3,
                                         {{" Among\n populations", 7, " Va"},
                                          {" Among\n individuals\n within\n populations", 7, " Vb"},
                                          {" Within\n individuals", 7, " Vc"}},
                                         {"\n\n", "\n\n"},
                                         nullptr,
                                         {AmovaIndex::FIS, AmovaIndex::FST, AmovaIndex::FIT},
                                         3,
                                         {AmovaIndex::FIT, AmovaIndex::FST, AmovaIndex::FIS},
                                         3};
constexpr TableText kGroupsIndividuals{4,
                                       {kAmongGroups,
                                        kAmongPopsInGroups,
                                        {" Among\n individuals\n within\n populations", 7, " Vc"},
                                        {" Within\n individuals", 7, " Vd"}},
                                       {"\n\n", "\n\n", "\n"},
                                       nullptr,
                                       {AmovaIndex::FIS, AmovaIndex::FSC, AmovaIndex::FCT, AmovaIndex::FIT},
                                       4,
                                       {AmovaIndex::FIT, AmovaIndex::FCT, AmovaIndex::FSC, AmovaIndex::FIS},
                                       4};

TableText const* table_text(int design) {
    switch (design) {
        case 2: return &kOneSample;
        case 3:
        case 7: return &kOneGroup;
        case 4: return &kOneGroupIndividuals;
        case 5: return &kGroups;
        case 6: return &kGroupsIndividuals;
        case 8: return &kGroupsFstFirst;
        default: return nullptr;
    }
}

double index_value(AmovaDesignResult const& r, AmovaIndex i) {
    switch (i) {
        case AmovaIndex::FST: return r.FST;
        case AmovaIndex::FSC: return r.FSC;
        case AmovaIndex::FCT: return r.FCT;
        case AmovaIndex::FIT: return r.FIT;
        case AmovaIndex::FIS: return r.FIS;
    }
    return 0.0;
}

char const* index_label(AmovaIndex i) {
    switch (i) {
        case AmovaIndex::FST: return "      FST : ";
        case AmovaIndex::FSC: return "      FSC : ";
        case AmovaIndex::FCT: return "      FCT : ";
        case AmovaIndex::FIT: return "      FIT : ";
        case AmovaIndex::FIS: return "      FIS : ";
    }
    return "";
}

// The report heading, citations and the head of the table; leaves the
// stream with fixed, right-adjusted numbers showing their point.
void print_table_start(std::ostream& out) {
    out << "\n--------------------------\n"
        << "AMOVA design and results :\n"
        << "--------------------------\n\n";
    // The sources of the method: the estimators, the analysis itself and
    // the textbook treatment of both.
    References(out, my_string("FStat_1984"), 0);
    References(out, my_string("AMOVA_1992"), 1);
    References(out, my_string("GeneticDataAnalysis_1996"), 2);
    out << std::fixed << std::right << std::showpoint;
    out << kRule << "\n"
        << " Source of                  Sum of      Variance         Percentage\n"
        << " variation      d.f.        squares     components       of variation\n"
        << kRule << "\n";
}

void print_table(std::ostream& out, AmovaDesignResult const& r, TableText const& t) {
    print_table_start(out);
    for (int k = 0; k < t.rows; ++k) {
        RowText const& row = t.row[k];
        out << row.head << std::setw(row.width) << r.df[k] << std::setw(15) << std::setprecision(3) << r.ss[k]
            << std::setw(15) << std::setprecision(5) << r.v[k] << row.tag << std::setw(17) << std::setprecision(2)
            << r.v[k] / r.total_v * 100;
        out << (k + 1 < t.rows ? t.after[k] : "\n");
    }
    out << kRule << "\n";
    out << " Total" << std::setw(13) << r.total_df << std::setw(15) << std::setprecision(3) << r.total_ss
        << std::setw(15) << std::setprecision(5) << r.total_v << "\n"
        << kRule << "\n";
    if (t.single != nullptr) {
        out << t.single << std::setw(12) << std::setprecision(5) << index_value(r, t.indices[0]) << "\n";
    } else {
        out << " Fixation Indices\n";
        for (int k = 0; k < t.index_count; ++k)
            out << index_label(t.indices[k]) << std::setw(12) << std::setprecision(5)
                << index_value(r, t.indices[k]) << "\n";
    }
    out << kRule << std::endl;
}

int name_width(AmovaDesignResult const& r) {
    std::size_t w = 0;
    for (std::string const& name : r.names) w = std::max(w, name.size());
    return static_cast<int>(w);
}

// The table of sample-specific FST values, samples in id order.
void print_pop_fst_table(std::ostream& out, AmovaDesignResult const& r) {
    int const w = std::max(name_width(r) + 2, 10);
    std::string const dashes = std::string(static_cast<std::size_t>(w) + 16, '-') + "\n";
    out << "\n-------------------------------"
        << "\nPopulation specific FST indices\n"
        << dashes;
    out << std::right << std::setw(6) << "Pop#" << std::setw(w) << "Name" << std::setw(10) << "FST\n" << dashes;
    for (std::size_t i = 0; i < r.names.size(); ++i) {
        out << std::setw(6) << i + 1 << std::setw(w) << r.names[i].c_str() << std::fixed << std::right
            << std::showpoint << std::setw(10) << std::setprecision(5) << (i < r.pop_FST.size() ? r.pop_FST[i] : 0.0)
            << "\n";
    }
    out << dashes << "\n";
}

// The anchor ("GR_AMOVA_FIS" in the group pass, else "POP_AMOVA_FIS") and
// the table of sample-specific FIS values, with their P values when
// `with_p`: one row per sample in structure order.
void print_pop_fis_table(std::ostream& out, AmovaDesignResult const& r, settings& s, bool with_p) {
    bool const groups = s.current_samples != nullptr && s.current_samples->GroupLevel;
    if (groups)
        Amova::print_amova_anchor(2, s, my_string("GR_AMOVA_FIS"), my_string("FIS per group"));
    else
        Amova::print_amova_anchor(2, s, my_string("POP_AMOVA_FIS"), my_string("FIS per pop"));

    int const w = std::max(10, name_width(r) + 2);
    std::string const dashes(static_cast<std::size_t>(w) + (with_p ? 41 : 16), '-');
    if (with_p) {
        out << "\n-------------------------------------------------------"
            << "\nPopulation specific FIS indices (" << r.permutations << " permutations)\n"
            << dashes << "\n";
        out << std::right << std::setw(6) << "Pop#" << std::setw(w) << "Name" << std::setw(10) << "FIS"
            << std::setw(25) << "P(Rand FIS>=Obs FIS)\n"
            << dashes << "\n";
    } else {
        out << "\n-------------------------------" << "\nPopulation specific FIS indices\n" << dashes << "\n";
        out << std::right << std::setw(6) << "Pop#" << std::setw(w) << "Name" << std::setw(10) << "FIS\n"
            << dashes << "\n";
    }
    int row = 0;
    for (int id : r.structure_order) {
        std::size_t const k = static_cast<std::size_t>(id);
        if (id < 0 || k >= r.pop_FIS.size() || k >= r.names.size()) continue;
        out << std::fixed << std::right << std::showpoint << std::setw(6) << ++row << std::setw(w)
            << r.names[k].c_str() << std::setw(10) << std::setprecision(5) << r.pop_FIS[k];
        if (with_p) out << std::setw(20) << std::setprecision(6) << (k < r.pop_FIS_p.size() ? r.pop_FIS_p[k] : 0.0);
        out << "\n";
    }
    out << dashes << "\n\n";
}

// The three lines of each test that reached its P value, under one heading.
void print_significance(std::ostream& out, AmovaDesignResult const& r) {
    bool heading = false;
    double const kp = static_cast<double>(r.permutations);
    for (AmovaTestOutcome const& t : r.tests) {
        if (!t.complete) continue;
        if (!heading) {
            out << "\nSignificance tests (" << r.permutations << " permutations)\n"
                << "------------------\n\n";
            heading = true;
        }
        out << std::fixed << std::right << std::showpoint << std::setprecision(5);
        out << t.label << std::setw(8) << t.counted / kp << std::endl;
        out << "             P(rand. value = obs. value)  = " << std::setw(8) << t.equal / kp << std::endl;
        out << "                                  P-value = " << std::setw(8) << t.p << "+-" << t.sd << "\n\n";
    }
}

void print_null_histograms(std::ostream& h, AmovaDesignResult const& r) {
    if (r.column_count < 1) return;
    auto test = [&r](int k) -> AmovaTestOutcome const& { return r.tests[static_cast<std::size_t>(r.columns[k])]; };
    for (int k = 0; k < r.column_count; ++k)
        if (r.columns[k] < 0 || static_cast<std::size_t>(r.columns[k]) >= r.tests.size()) return;
    h << "\n\nHistogram of variance components null distributions\n"
      << "===================================================\n"
      << std::endl;
    for (int k = 0; k < r.column_count; ++k) h << std::right << std::setw(10) << " " << std::setw(10) << test(k).name;
    h << std::endl;
    std::size_t const classes = test(0).classes.size();
    for (std::size_t cl = 0; cl < classes; ++cl) {
        for (int k = 0; k < r.column_count; ++k) {
            AmovaTestOutcome const& t = test(k);
            float const middle = t.bounds[cl] + (t.bounds[1] - t.bounds[0]) / 2;
            h << std::setw(10) << middle << std::setw(10) << t.classes[cl];
        }
        h << std::endl;
    }
    h << "\nObserved  values:"
      << "\n-----------------";
    for (int k = 0; k < r.column_count; ++k) {
        AmovaTestOutcome const& t = test(k);
        h << "\n" << t.name << " : " << std::fixed << std::right << std::showpoint << std::setprecision(8)
          << t.observed;
    }
    h << std::setprecision(5) << std::endl;
}

bool individual_design(int design) { return design == 2 || design == 4 || design == 6; }

}  // namespace

void print_amova_design(std::ostream& out, AmovaDesignResult const& r, settings& s, bool results) {
    TableText const* t = table_text(r.design);
    if (t == nullptr) return;
    if (results && r.computed) {
        print_table(out, r, *t);
        if ((r.design == 3 || r.design == 7) && s.PopSpecificFST != 0) print_pop_fst_table(out, r);
        if (individual_design(r.design) && r.permutations_asked == 0 && s.PopSpecificFIS != 0)
            print_pop_fis_table(out, r, s, false);
    }
    if (results) print_significance(out, r);
    if (r.tests_finished && s.KeepNullDistrib != 0) print_null_histograms(out, r);
    if (results && r.finished && individual_design(r.design) && r.permutations > 0 && s.PopSpecificFIS != 0)
        print_pop_fis_table(out, r, s, true);
}

void write_amova_batch_line(std::ostream& out, my_string const& input_file, AmovaDesignResult const& r,
                            bool results) {
    out << input_file << "\t";
    TableText const* t = table_text(r.design);
    if (results && r.computed && t != nullptr) {
        for (int k = 0; k < 4; ++k) {
            if (k < t->rows)
                out << r.df[k];
            else
                out << 0;
            out << "\t";
        }
        for (int k = 0; k < 4; ++k) {
            if (k < t->rows)
                out << r.v[k];
            else
                out << 0;
            out << "\t";
        }
        for (int k = 0; k < 4; ++k) {
            if (k > 0) out << "\t";
            if (k < t->batch_count)
                out << index_value(r, t->batch[k]);
            else
                out << 0;
        }
    }
    if (r.batch_p_due()) {
        out << "\t" << r.permutations;
        for (int k : r.batch_tests) {
            out << "\t";
            if (k >= 0 && static_cast<std::size_t>(k) < r.tests.size())
                out << r.tests[static_cast<std::size_t>(k)].p;
            else
                out << 0;
        }
    }
    out << std::endl;
}

}  // namespace quintle
