#pragma once

// The frame shared by every table of the within-sample summary section: one
// column per sample, then "Mean" and "s.d." across samples and, in some
// tables, a total column for all samples taken together. A table is a
// heading, an optional XML element, a dashed rule, a header line, the rule,
// its rows, and the rule again.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "core/my_string.h"

namespace quintle {

class PopGenetics;
class Project;
class Samples;
class settings;
struct SummaryLine;

// Sums behind a mean and standard deviation over samples (or over loci).
// The s.d. uses divisor n - 1 and is 0 with fewer than two values or a
// variance that is not positive.
struct SummarySums {
    int n = 0;
    double sum = 0.0;
    double sumSq = 0.0;

    void add(double x) {
        ++n;
        sum += x;
        sumSq += x * x;
    }
    double mean() const { return n > 0 ? sum / n : 0.0; }
    double sd() const;
};

// The sums of a row's values.
SummarySums summary_sums(std::vector<double> const& values);

// A statistic left at its "not computed" mark (negative) or undefined.
inline bool summary_not_computed(double value) { return std::isnan(value) || value < 0.0; }

// The pieces of a table's frame, for tables whose rows SummaryTable does
// not write. "\n", as many dashes as the heading has characters, "\n" and
// the heading; the caller ends the line.
void summary_heading(std::ostream& os, char const* heading);
// A dashed rule as wide as the sample columns (nSamples of width w) and the
// fixed columns, and its line end.
void summary_rule(std::ostream& os, long nSamples, int w, int fixedWidth);
// The header line, right-aligned: the label heading, the sample names,
// "Mean", "s.d." and the total heading when there is one.
void summary_header(std::ostream& os, Samples const& set, int w, char const* labelHeading, int labelWidth,
                    char const* totalHeading);

// What tells one table from another.
struct SummaryTableLayout {
    char const* key;           // anchor suffix
    char const* title;         // menu entry
    char const* heading;       // underlined heading in the result file
    char const* tagName;       // XML element; nullptr: the table has none
    char const* tagClass;      // value of the element's "samp" attribute
    char const* labelHeading;  // "Statistics" or "Locus#"
    int labelWidth;
    char const* totalHeading;  // nullptr: no total column

    // Dashes of a rule besides the sample columns: the label and the
    // fixed columns after the samples.
    int fixedWidth() const { return labelWidth + 24 + (totalHeading != nullptr ? 12 : 0); }
};

// Writes one table of the section on the result stream. The stream keeps the
// number format a row sets (fixed, decimal point shown, right-aligned), as
// the later tables of the section expect. Rows are gathered and go to the
// stream in blocks (and before anything else is written), formatted as the
// stream would format them.
class SummaryTable {
public:
    // w: the section's sample column width.
    SummaryTable(Samples& set, settings& s, std::ostream& os, int w, SummaryTableLayout const& layout);
    ~SummaryTable();
    SummaryTable(SummaryTable const&) = delete;
    SummaryTable& operator=(SummaryTable const&) = delete;

    // Anchor and menu entry, heading, XML element, rule, header line, rule.
    void open();
    void rule();
    // The closing rule and, in XML form, the element's end.
    void close();

    // A row's label, and its end.
    void label(char const* text);
    void label(long number);
    void endRow();
    // A whole numbered row whose cells are those of the last row ended (a
    // row with a numbered label, in this block of rows): its label, those
    // cells, its end. False, with nothing written, when they are not at hand.
    bool repeatRow(long number);

    // One sample column.
    void countCell(double value);
    void realCell(double value, int precision);
    void naCell();
    // Mean and s.d. of a row (12 characters each).
    void meanSd(SummarySums const& sums, int precision);
    void meanSd(double mean, double sd, int precision);
    void meanSdNA();
    // The total column.
    void totalCount(double value);
    void totalReal(double value, int precision);

    // The stream, the cells gathered so far written first.
    std::ostream& stream();

private:
    // Cells right-aligned in `width` as the stream pads them: a text, an
    // integer, a fixed-point number of `precision` decimals (which becomes
    // the stream's precision, as a write would make it).
    void textCell(char const* text, int width);
    void integerCell(long long value, int width);
    void fixedCell(double value, int precision, int width);
    // A cell's text right-aligned in `width`, padded with the stream's fill.
    void put(char const* text, std::size_t length, int width);
    // True when numbers may be formatted here: decimal, no forced sign,
    // neither left nor internal adjustment, the classic locale (asked once
    // per block of rows).
    bool plainNumbers();
    void flushRow();

    Samples& set_;
    settings& s_;
    std::ostream& os_;
    int w_;
    SummaryTableLayout const& layout_;
    std::string row_;
    int plain_ = -1;  // plainNumbers() of the rows gathered; -1: not asked yet
    int fill_ = -1;   // the stream's fill character for the rows gathered; -1: not asked yet
    // The last plain fixed-point number written and its text.
    std::uint64_t lastBits_ = 0;
    int lastPrecision_ = -1;
    std::size_t lastLength_ = 0;
    char lastText_[48] = {};
    // Where the cells of the row being gathered begin (after a numbered
    // label; npos otherwise), and the cells of the last such row ended.
    std::size_t cellsAt_ = std::string::npos;
    std::pair<std::size_t, std::size_t> lastCells_{std::string::npos, 0};
};

// --- values of the standard diversity tables ---------------------------------

// One row of a summary table: a value per sample (NaN where the sample has
// none), their mean and s.d. (or N.A.), and the total column's value when
// the table has one.
struct SummaryRowValues {
    std::vector<double> values;
    bool meanSdKnown = true;  // false: the mean and s.d. show N.A.
    double mean = 0.0;
    double sd = 0.0;
    double total = 0.0;
};

// One row of a per-locus table as LocusRows hands it out: the samples'
// values and the row's mean, s.d. and total.
struct SummaryRowView {
    std::span<double const> values;
    bool meanSdKnown = true;
    double mean = 0.0;
    double sd = 0.0;
    double total = 0.0;
};

// The rows of a per-locus table, one per locus, held flat: the samples'
// values of every row in one block and one small record per row (a table
// of 100,000 sites is 100,000 rows).
class LocusRows {
public:
    struct Stats {
        bool meanSdKnown = true;
        double mean = 0.0;
        double sd = 0.0;
        double total = 0.0;
    };

    void reserve(std::size_t rows, std::size_t samples) {
        samples_ = samples;
        values_.reserve(rows * samples);
        stats_.reserve(rows);
    }
    // Appends a row of samples() values; its record to complete.
    Stats& add(std::span<double const> values) {
        values_.insert(values_.end(), values.begin(), values.end());
        return stats_.emplace_back();
    }
    std::size_t size() const { return stats_.size(); }
    bool empty() const { return stats_.empty(); }
    SummaryRowView operator[](std::size_t l) const {
        Stats const& s = stats_[l];
        return {std::span<double const>(values_).subspan(l * samples_, samples_), s.meanSdKnown, s.mean, s.sd,
                s.total};
    }

private:
    std::size_t samples_ = 0;
    std::vector<double> values_;
    std::vector<Stats> stats_;
};

// The values of the tables "Basic properties", "Expected heterozygosity",
// "Theta(H)" and "Number of alleles" of one pass, and those the statistics
// line takes from them.
struct StandardDiversityValues {
    // Basic properties.
    SummaryRowValues copies, loci, usableLoci, polymorphic;
    // Expected heterozygosity: one row per locus (total: the gene diversity
    // of the locus over all samples), whether any locus had a total (a rule
    // then comes before the mean), the mean row and, with loci, the s.d. row.
    LocusRows het;
    bool hetTotals = false;
    SummaryRowValues hetMean, hetSd;
    // Theta(H), computed for microsatellite and standard data only: one row
    // per locus and the row from the mean heterozygosity.
    bool theta = false;
    bool stepwise = false;  // the stepwise mutation model (microsatellites)
    LocusRows thetaRows;
    SummaryRowValues thetaFromMeanH;
    // Number of alleles: one row per locus (total: alleles over all
    // samples), the mean row and, with loci, the s.d. row.
    LocusRows alleles;
    SummaryRowValues allelesMean, allelesSd;
    std::vector<double> totalAlleles;  // per locus

    // For the statistics line: number of polymorphic loci (S), gene
    // diversity (H) and number of alleles or haplotypes (K) of each sample,
    // with their means, s.d.s and totals.
    std::vector<double> s, h, hSd, k, kSd;
    double meanS = 0.0, sdS = 0.0;
    double meanH = 0.0, sdH = 0.0, totH = 0.0;
    double meanK = 0.0, sdK = 0.0;
    std::optional<double> totK;
    // The size of the project's haplotype list, for haplotypic data.
    std::optional<int> haplotypeListSize;
    // The samples of the set as statistics objects, in set order.
    std::vector<PopGenetics*> samples;
};

// The values of the four tables for the samples of the set (a sample whose
// number of loci is still unknown takes it from its first haplotype).
StandardDiversityValues compute_standard_diversity(Samples& set, settings const& s, Project const* project);

// Writes the four tables on the result stream; w: the section's column
// width.
void write_standard_diversity(Samples& set, settings& s, std::ostream& os, int w,
                              StandardDiversityValues const& v);

// Puts the values of the statistics line into `line` (S, H and K with
// their means, s.d.s and totals).
void take_standard_diversity(SummaryLine& line, StandardDiversityValues const& v);

// --- values of the microsatellite tables -----------------------------------

// The tables "Allelic size range", "Garza-Williamson index" and
// "Garza-Williamson modified index" of one pass: one row per locus, then
// each sample's mean over loci and its s.d. (with, for the size range, the
// total column's value per locus and the mean and s.d. of those totals).
struct MicrosatSummaryValues {
    std::vector<SummaryRowValues> range, gw, ngw;
    SummaryRowValues rangeMean, rangeSd, gwMean, gwSd, ngwMean, ngwSd;
    // The pooled samples' Garza-Williamson index: the mean over loci of
    // the total number of alleles over the total range plus 1.
    double totGW = 0.0;
};

// The values of the three tables; totNumAlleles: the total number of
// alleles per locus (its length is the number of locus rows). Each
// sample's mean modified index and its s.d. are stored in the sample.
MicrosatSummaryValues compute_microsat_summary(Samples& set, std::vector<double> const& totNumAlleles);

// Writes the three tables; w: the section's column width.
void write_microsat_summary(Samples& set, settings& s, std::ostream& os, int w, MicrosatSummaryValues const& v);

// Puts the size range (R), the index (GW) and the modified index (NGW) with
// their means, s.d.s and totals into `line`.
void take_microsat_summary(SummaryLine& line, MicrosatSummaryValues const& v);

// --- values of the molecular diversity table ---------------------------------

// A row that shows "N.A." for a value not computed, and for its mean and
// s.d. when any value or the mean is not computed (meanSdKnown false).
struct GuardedRowValues {
    char const* label = "";
    SummaryRowValues row;
    std::vector<bool> missing;
};

// The "Molecular diversity indexes" table of one pass.
struct MolecularDiversityValues {
    // DNA: the counts of transitions, transversions, substitutions, indels,
    // transition, transversion and substitution sites (in this order), the
    // private substitution sites, the indel sites and Pi.
    bool dnaRows = false;
    std::vector<SummaryRowValues> counts;
    SummaryRowValues privateSites, indelSites, pi;
    // Sites polymorphic in the pooled samples (a "Total:" after the
    // substitution sites of DNA data); none without a list of such sites.
    std::optional<int> pooledSites;
    // The theta estimators the settings ask for.
    std::vector<GuardedRowValues> theta;
    // For the statistics line: Pi of each sample (DNA and RFLP) with mean
    // and s.d., the private sites (DNA).
    bool piOnLine = false;
};

// The values of the table (the samples' numbers of private substitution
// sites are counted on the way).
MolecularDiversityValues compute_molecular_diversity(Samples& set, settings& s);

// Writes the table; w: the section's column width.
void write_molecular_diversity(Samples& set, settings& s, std::ostream& os, int w,
                               MolecularDiversityValues const& v);

// Puts Pi with its mean and s.d., the private sites and the pooled
// polymorphic sites (S's total) into `line`.
void take_molecular_diversity(SummaryLine& line, MolecularDiversityValues const& v);

// The sample at position i of the set as a statistics object; a sample that
// carries no statistics reads as a fresh object whose results were not
// computed.
PopGenetics& summary_sample(Samples& set, long i);

// The column width of the section: the longest sample name plus 2, at
// least 12.
int summary_column_width(Samples& set);

// Truncates a count toward zero for display as an integer.
long long summary_count(double value);

}  // namespace quintle
