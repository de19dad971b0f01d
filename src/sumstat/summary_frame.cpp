// The within-sample summary section: its entry, banner and table frame, and
// the standard diversity tables ("Basic properties", "Expected
// heterozygosity", "Theta(H)", "Number of alleles"): their values are
// computed first (rows, means, s.d.s, totals, and what the statistics line
// takes from them, put into the set's summary_line), then written. The
// remaining tables come from summary_molecular.cpp and
// summary_neutrality.cpp.

#include "sumstat/summary_frame.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iomanip>
#include <ios>
#include <limits>
#include <locale>
#include <string>
#include <vector>

#include "core/TJSOut.h"
#include "core/xml.h"
#include "data/Population.h"
#include "data/TAllele.h"
#include "data/TAlleleDB.h"
#include "data/TLocus.h"
#include "datatypes/PopulDNA.h"
#include "datatypes/PopulRFLP.h"
#include "popstats/PopGenetics.h"
#include "project/Project.h"
#include "project/Samples.h"
#include "run/ProfileSettings.h"
#include "run/glbobj.h"
#include "run/settings.h"
#include "run/task_bits.h"

namespace quintle {

// ------------------------------------------------------------ frame helpers

double SummarySums::sd() const {
    if (n < 2) return 0.0;
    double const m = sum / n;
    double const var = sumSq / n - m * m;
    if (!(var > 0.0)) return 0.0;
    return std::sqrt(var * n / (n - 1));
}

PopGenetics& summary_sample(Samples& set, long i) {
    // Never read as a result: every field keeps its "not computed" start value.
    static PopGenetics none;
    Population* p = i >= 0 && i < set.Populations.count ? set.Populations.data[i] : nullptr;
    auto* stats = dynamic_cast<PopGenetics*>(p);
    return stats != nullptr ? *stats : none;
}

int summary_column_width(Samples& set) {
    int longest = 0;
    for (long i = 0; i < set.Populations.count; ++i)
        if (Population const* p = set.Populations.data[i]) longest = std::max(longest, p->name.length());
    return std::max(12, longest + 2);
}

long long summary_count(double value) {
    // Outside this range a count is meaningless; show it as 0 rather than
    // invoke an undefined conversion.
    if (!(std::fabs(value) < 9.0e18)) return 0;
    return static_cast<long long>(value);
}

SummarySums summary_sums(std::vector<double> const& values) {
    SummarySums sums;
    for (double x : values) sums.add(x);
    return sums;
}

void summary_heading(std::ostream& os, char const* heading) {
    std::string const text = heading;
    os << "\n" << std::string(text.size(), '-') << "\n" << text;
}

void summary_rule(std::ostream& os, long nSamples, int w, int fixedWidth) {
    long const dashes = nSamples * w + fixedWidth;
    os << std::string(static_cast<std::size_t>(std::max(0L, dashes)), '-') << "\n";
}

void summary_header(std::ostream& os, Samples const& set, int w, char const* labelHeading, int labelWidth,
                    char const* totalHeading) {
    os.setf(std::ios::right, std::ios::adjustfield);
    os << std::setw(labelWidth) << labelHeading;
    for (long i = 0; i < set.Populations.count; ++i) {
        Population const* p = set.Populations.data[i];
        os << std::setw(w) << (p != nullptr ? p->name.c_str() : "");
    }
    os << std::setw(12) << "Mean" << std::setw(12) << "s.d.";
    if (totalHeading != nullptr) os << std::setw(12) << totalHeading;
    os << "\n";
}

SummaryTable::SummaryTable(Samples& set, settings& s, std::ostream& os, int w, SummaryTableLayout const& layout)
    : set_(set), s_(s), os_(os), w_(w), layout_(layout) {}

SummaryTable::~SummaryTable() { flushRow(); }

void SummaryTable::flushRow() {
    if (!row_.empty()) {
        os_.write(row_.data(), static_cast<std::streamsize>(row_.size()));
        os_.width(0);  // as the formatted writes of the cells leave it
    }
    row_.clear();
    plain_ = -1;
    fill_ = -1;
    cellsAt_ = std::string::npos;
    lastCells_ = {std::string::npos, 0};
}

std::ostream& SummaryTable::stream() {
    flushRow();
    return os_;
}

bool SummaryTable::plainNumbers() {
    if (plain_ < 0) {
        std::ios_base::fmtflags const f = os_.flags();
        std::ios_base::fmtflags const adjust = f & std::ios::adjustfield;
        plain_ = adjust != std::ios::left && adjust != std::ios::internal && (f & std::ios::showpos) == 0 &&
                         (f & std::ios::basefield) == std::ios::dec && os_.getloc() == std::locale::classic()
                     ? 1
                     : 0;
    }
    return plain_ == 1;
}

void SummaryTable::put(char const* text, std::size_t length, int width) {
    // One append of the whole cell in the fill character, the text then
    // written over its end.
    std::size_t const padding =
        width > 0 && length < static_cast<std::size_t>(width) ? static_cast<std::size_t>(width) - length : 0;
    if (fill_ < 0) fill_ = static_cast<unsigned char>(os_.fill());
    std::size_t const at = row_.size();
    row_.append(padding + length, static_cast<char>(fill_));
    if (length > 0) std::memcpy(row_.data() + at + padding, text, length);
}

void SummaryTable::textCell(char const* text, int width) {
    // A stream pads a text on the left unless it is left-adjusted.
    std::size_t const length = std::strlen(text);
    if ((os_.flags() & std::ios::adjustfield) != std::ios::left) {
        put(text, length, width);
        return;
    }
    row_.append(text, length);
    if (width > 0 && length < static_cast<std::size_t>(width))
        row_.append(static_cast<std::size_t>(width) - length, os_.fill());
}

void SummaryTable::integerCell(long long value, int width) {
    if (!plainNumbers()) {
        flushRow();
        os_ << std::setw(width) << value;
        return;
    }
    char text[24];
    auto const end = std::to_chars(text, text + sizeof text, value).ptr;
    put(text, static_cast<std::size_t>(end - text), width);
}

// As os << std::setprecision(precision) << std::setw(width) << value: the
// digits of a plain fixed-point number come from to_chars, which gives
// exactly printf's, as the stream does.
void SummaryTable::fixedCell(double value, int precision, int width) {
    os_.precision(precision);
    bool const plain = std::isfinite(value) && precision > 0 && precision <= 40 &&
                       (os_.flags() & std::ios::floatfield) == std::ios::fixed && plainNumbers();
    // Cells repeat (a column of zeros): the last number's text is kept.
    std::uint64_t const bits = std::bit_cast<std::uint64_t>(value);
    if (plain && precision == lastPrecision_ && bits == lastBits_) {
        put(lastText_, lastLength_, width);
        return;
    }
    char text[400];
    std::to_chars_result r{text, std::errc::value_too_large};
    if (plain && std::fabs(value) < 1e15 && value == std::trunc(value)) {
        // A whole number (most cells of the per-locus tables): its digits, the
        // point and zeros, as printf writes it, -0 keeping its sign.
        char* p = text;
        auto const whole = static_cast<long long>(value);
        if (whole == 0 && std::signbit(value)) *p++ = '-';
        p = std::to_chars(p, text + 40, whole).ptr;
        *p++ = '.';
        std::memset(p, '0', static_cast<std::size_t>(precision));
        r = {p + precision, std::errc{}};
    } else if (plain) {
        r = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, precision);
    }
    if (r.ec != std::errc{}) {
        flushRow();
        os_ << std::setw(width) << value;
        return;
    }
    auto const length = static_cast<std::size_t>(r.ptr - text);
    if (length <= sizeof lastText_) {
        std::memcpy(lastText_, text, length);
        lastLength_ = length;
        lastBits_ = bits;
        lastPrecision_ = precision;
    }
    put(text, length, width);
}

void SummaryTable::open() {
    flushRow();
    set_.print_computation_anchor(2, s_, my_string(layout_.key), my_string(layout_.title));
    summary_heading(os_, layout_.heading);
    if (layout_.tagName != nullptr && xmlOutput) {
        TXmlTag tag(layout_.tagName);
        tag.attributeName = "samp";
        tag.attributeValue = layout_.tagClass;
        os_ << tag.open();
    } else {
        os_ << "\n";
    }
    rule();
    summary_header(os_, set_, w_, layout_.labelHeading, layout_.labelWidth, layout_.totalHeading);
    rule();
    // The number format of the rows; it stays in force for the tables after.
    os_.setf(std::ios::fixed, std::ios::floatfield);
    os_.setf(std::ios::showpoint);
    os_.setf(std::ios::right, std::ios::adjustfield);
}

void SummaryTable::rule() {
    flushRow();
    summary_rule(os_, set_.Populations.count, w_, layout_.fixedWidth());
}

void SummaryTable::close() {
    rule();
    if (layout_.tagName != nullptr && xmlOutput) {
        TXmlTag tag(layout_.tagName);
        os_ << tag.close() << "\n";
    }
}

void SummaryTable::endRow() {
    // Rows gather until a block is full: only this table writes to the
    // stream until it flushes (every other write goes through stream(),
    // rule() or close()), so the stream's format stays as the rows found it.
    if (cellsAt_ != std::string::npos) lastCells_ = {cellsAt_, row_.size() - cellsAt_};
    cellsAt_ = std::string::npos;
    row_ += '\n';
    if (row_.size() >= 32768) flushRow();
}

bool SummaryTable::repeatRow(long number) {
    // Only the last row gathered in this block is at hand; with plain numbers
    // the label is gathered too, and nothing is flushed before the row ends.
    if (lastCells_.first == std::string::npos || !plainNumbers()) return false;
    label(number);
    row_.append(row_, lastCells_.first, lastCells_.second);
    endRow();
    return true;
}

void SummaryTable::label(char const* text) { textCell(text, layout_.labelWidth); }

void SummaryTable::label(long number) {
    integerCell(number, layout_.labelWidth);
    // A numbered row's cells may be repeated by the next one.
    cellsAt_ = row_.size();
}

void SummaryTable::countCell(double value) { integerCell(summary_count(value), w_); }

void SummaryTable::realCell(double value, int precision) { fixedCell(value, precision, w_); }

void SummaryTable::naCell() { textCell("N.A.", w_); }

void SummaryTable::meanSd(SummarySums const& sums, int precision) { meanSd(sums.mean(), sums.sd(), precision); }

void SummaryTable::meanSd(double mean, double sd, int precision) {
    fixedCell(mean, precision, 12);
    fixedCell(sd, precision, 12);
}

void SummaryTable::meanSdNA() {
    textCell("N.A.", 12);
    textCell("N.A.", 12);
}

void SummaryTable::totalCount(double value) { integerCell(summary_count(value), 12); }

void SummaryTable::totalReal(double value, int precision) { fixedCell(value, precision, 12); }

// ------------------------------------------------------- standard diversity

namespace {

bool unphased_genotypic(settings const& s) { return s.GenotypicData != 0 && s.GameticPhase == 0; }

// The sample's number of loci; when still unknown it is taken from its first
// haplotype's allele list and kept.
int number_of_loci(PopGenetics& p) {
    if (p.numLoci == 0 && p.haplotypes.count > 0) {
        PHaploDef const* first = p.haplotypes.data[0];
        if (first != nullptr && first->haplotype != nullptr)
            p.numLoci = static_cast<int>(first->haplotype->alleles.count);
    }
    return p.numLoci;
}

// DNA: substitution sites; RFLP: the RFLP class's polymorphic (substitution)
// sites; other data: polymorphic loci.
double polymorphic_count(Population* raw, PopGenetics const& p) {
    if (p.dataType == DNA) {
        if (auto const* dna = dynamic_cast<PopulDNA const*>(raw)) return dna->numSubstitutionSites;
    } else if (p.dataType == RFLP) {
        if (auto const* rflp = dynamic_cast<PopulRFLP const*>(raw)) return rflp->numSubstitutionSites;
    }
    return p.numPolymorphicSites;
}

// A per-locus entry of a sample; NaN for a locus the sample has no entry for
// (only possible when samples disagree on their number of loci).
template <class T>
double locus_entry(MY_TArrayAsVector<T> const& a, long l) {
    return l < a.count ? static_cast<double>(a.data[l]) : std::numeric_limits<double>::quiet_NaN();
}

// Locus l of the pass's global table, read from its records or, while its
// one-character alleles are flat, from those: the alleles in their order,
// with their weights.
class GlobalLocus {
public:
    explicit GlobalLocus(long l) {
        TAlleleDB const& db = PopGenetics::globalAllelicDB;
        FlatSiteAlleles const& flat = db.flat_sites();
        if (l < flat.sites()) site_ = &flat.site(l);
        else if (l < db.loci.count) locus_ = db.loci.data[l];
    }
    bool exists() const { return site_ != nullptr || locus_ != nullptr; }
    // Calls f(name's first character, name's length, weight) for each allele in order.
    template <class F>
    void each(F&& f) const {
        if (site_ != nullptr) {
            for (int k = 0; k < site_->count; ++k) f(site_->name[k], 1L, site_->weight[k]);
        } else if (locus_ != nullptr) {
            for (long a = 0; a < locus_->alleles.count; ++a)
                if (TAllele const* al = locus_->alleles.data[a]) f(al->name.c_str()[0], al->name.length(), al->weight);
        }
    }
    // Calls f the same way from the last allele back, until f returns true.
    template <class F>
    void each_backwards(F&& f) const {
        if (site_ != nullptr) {
            for (int k = site_->count - 1; k >= 0; --k)
                if (f(site_->name[k], 1L, site_->weight[k])) return;
        } else if (locus_ != nullptr) {
            for (long a = locus_->alleles.count - 1; a >= 0; --a)
                if (TAllele const* al = locus_->alleles.data[a])
                    if (f(al->name.c_str()[0], al->name.length(), al->weight)) return;
        }
    }

private:
    FlatSiteAlleles::Site const* site_ = nullptr;
    TLocus const* locus_ = nullptr;
};

// Unbiased gene diversity of one locus over all samples of the pass.
double total_heterozygosity(GlobalLocus const& locus) {
    if (!locus.exists()) return 0.0;
    double N = 0.0;
    locus.each([&N](char, long, double w) { N += w; });
    if (!(N > 1.0)) return 0.0;
    double sumP2 = 0.0;
    locus.each([&](char, long, double w) {
        double const p = w / N;
        sumP2 += p * p;
    });
    return N / (N - 1.0) * (1.0 - sumP2);
}

// Alleles of one locus over all samples, the missing-data allele not
// counted: the search runs from the last allele backwards and stops at the
// first one whose name begins with the missing-data character.
double total_number_of_alleles(GlobalLocus const& locus, char missing) {
    if (!locus.exists()) return 0.0;
    long count = 0;
    locus.each([&count](char, long, double) { ++count; });
    locus.each_backwards([&](char first, long length, double) {
        if (length > 0 && first == missing) {
            --count;
            return true;
        }
        return false;
    });
    return static_cast<double>(count);
}

// A row of one value per sample, value(i), with their mean and s.d.
template <class Value>
SummaryRowValues sample_row(long n, Value value) {
    SummaryRowValues row;
    SummarySums sums;
    row.values.reserve(static_cast<std::size_t>(n));
    for (long i = 0; i < n; ++i) {
        double const v = value(i);
        row.values.push_back(v);
        sums.add(v);
    }
    row.mean = sums.mean();
    row.sd = sums.sd();
    return row;
}

// A per-locus row whose mean and s.d. are N.A. unless every sample has a
// value, appended to `rows` (`buffer`: room for the values, reused).
template <class Value>
LocusRows::Stats& add_locus_row(LocusRows& rows, std::vector<double>& buffer, long n, Value value) {
    buffer.clear();
    SummarySums sums;
    bool known = true;
    for (long i = 0; i < n; ++i) {
        double const v = value(i);
        buffer.push_back(v);
        sums.add(v);
        if (std::isnan(v)) known = false;
    }
    LocusRows::Stats& stats = rows.add(buffer);
    stats.mean = sums.mean();
    stats.sd = sums.sd();
    stats.meanSdKnown = known;
    return stats;
}

void basic_properties(Samples& set, long n, StandardDiversityValues& v) {
    auto sample = [&v](long i) -> PopGenetics& { return *v.samples[static_cast<std::size_t>(i)]; };
    v.copies = sample_row(n, [&](long i) { return sample(i).SampleSize; });
    v.loci = sample_row(n, [&](long i) { return static_cast<double>(number_of_loci(sample(i))); });
    v.usableLoci = sample_row(n, [&](long i) { return static_cast<double>(sample(i).numUsableSites); });
    v.polymorphic = sample_row(n, [&](long i) { return polymorphic_count(set.Populations.data[i], sample(i)); });
    v.s = v.polymorphic.values;
    v.meanS = v.polymorphic.mean;
    v.sdS = v.polymorphic.sd;
}

void expected_heterozygosity(settings const& s, long n, long L, StandardDiversityValues& v) {
    auto sample = [&v](long i) -> PopGenetics& { return *v.samples[static_cast<std::size_t>(i)]; };
    SummarySums totals;  // over the loci whose total is not 0
    std::vector<double> buffer;
    v.het.reserve(static_cast<std::size_t>(std::max(L, 0L)), static_cast<std::size_t>(n));
    for (long l = 0; l < L; ++l) {
        LocusRows::Stats& row =
            add_locus_row(v.het, buffer, n, [&](long i) { return locus_entry(sample(i).locusExpHet, l); });
        row.total = total_heterozygosity(GlobalLocus(l));
        if (row.total != 0.0) totals.add(row.total);
    }
    v.hetTotals = totals.n > 0;

    bool const unphased = unphased_genotypic(s);
    v.hetMean = sample_row(n, [&](long i) {
        PopGenetics const& p = sample(i);
        return L > 0 ? p.meanHet : p.geneDiversity;
    });
    v.hetMean.total = totals.mean();
    SummarySums stored;
    for (long i = 0; i < n; ++i) {
        PopGenetics const& p = sample(i);
        double const h = unphased ? v.hetMean.values[static_cast<std::size_t>(i)] : p.geneDiversity;
        v.h.push_back(h);
        v.hSd.push_back(unphased ? p.meanHetSd : p.geneDiversitySd);
        stored.add(h);
    }
    v.meanH = stored.mean();
    v.sdH = stored.sd();
    v.totH = totals.mean();

    if (L > 0) {
        v.hetSd = sample_row(n, [&](long i) { return sample(i).meanHetSd; });
        v.hetSd.total = totals.sd();
    }
}

void theta_h(long n, long L, StandardDiversityValues& v) {
    auto sample = [&v](long i) -> PopGenetics& { return *v.samples[static_cast<std::size_t>(i)]; };
    bool const micro = v.stepwise;
    std::vector<double> values;
    v.thetaRows.reserve(static_cast<std::size_t>(std::max(L, 0L)), static_cast<std::size_t>(n));
    for (long l = 0; l < L; ++l) {
        values.clear();
        SummarySums sums;  // over the samples that gave a value
        for (long i = 0; i < n; ++i) {
            double const H = locus_entry(sample(i).locusExpHet, l);
            double theta = std::numeric_limits<double>::quiet_NaN();
            if (micro) {
                if (H > 0.0 && H < 1.0) theta = (1.0 / ((1.0 - H) * (1.0 - H)) - 1.0) / 2.0;
            } else if (!std::isnan(H)) {
                theta = 1.0 / (1.0 - H) - 1.0;
            }
            values.push_back(theta);
            if (!std::isnan(theta)) sums.add(theta);
        }
        LocusRows::Stats& row = v.thetaRows.add(values);
        row.meanSdKnown = sums.n > 0;
        row.mean = sums.mean();
        row.sd = sums.sd();
    }
    v.thetaFromMeanH = sample_row(n, [&](long i) {
        double const H = sample(i).meanHet;
        if (micro) return H == 1.0 ? 9999.0 : (1.0 / ((1.0 - H) * (1.0 - H)) - 1.0) / 2.0;
        return 1.0 / (1.0 - H) - 1.0;
    });
}

void number_of_alleles(Samples& set, settings const& s, Project const* project, long n, long L,
                       StandardDiversityValues& v) {
    auto sample = [&v](long i) -> PopGenetics& { return *v.samples[static_cast<std::size_t>(i)]; };
    char const missing = set.MissingData;
    v.totalAlleles.assign(static_cast<std::size_t>(L), 0.0);
    SummarySums allLoci;      // every locus
    SummarySums polymorphic;  // loci with at least two alleles in all
    std::vector<double> buffer;
    v.alleles.reserve(static_cast<std::size_t>(std::max(L, 0L)), static_cast<std::size_t>(n));
    for (long l = 0; l < L; ++l) {
        LocusRows::Stats& row =
            add_locus_row(v.alleles, buffer, n, [&](long i) { return locus_entry(sample(i).locusNumAlleles, l); });
        row.total = total_number_of_alleles(GlobalLocus(l), missing);
        v.totalAlleles[static_cast<std::size_t>(l)] = row.total;
        allLoci.add(row.total);
        if (row.total >= 2.0) polymorphic.add(row.total);
    }

    bool const unphased = unphased_genotypic(s);
    bool const dna = set.dataType == DNA;
    v.allelesMean = sample_row(n, [&](long i) { return sample(i).meanNumAlleles; });
    v.allelesMean.total = allLoci.mean();
    SummaryRowValues const haplotypes =
        sample_row(n, [&](long i) { return static_cast<double>(sample(i).NbHaplotypeEntries); });
    for (long i = 0; i < n; ++i) {
        PopGenetics const& p = sample(i);
        v.k.push_back(unphased ? p.meanNumAlleles : static_cast<double>(p.NbHaplotypeEntries));
        v.kSd.push_back(unphased ? p.meanNumAllelesSd : 0.0);
    }
    SummaryRowValues const& kRow = unphased ? v.allelesMean : haplotypes;
    v.meanK = kRow.mean;
    v.sdK = kRow.sd;
    if (unphased) {
        v.totK = dna ? polymorphic.mean() : allLoci.mean();
    } else if (project != nullptr) {
        v.haplotypeListSize = static_cast<int>(project->haplotypes.haplotypes.count);
        v.totK = *v.haplotypeListSize;
    }

    if (L > 0) {
        v.allelesSd = sample_row(n, [&](long i) { return sample(i).meanNumAllelesSd; });
        v.allelesSd.total = dna ? polymorphic.sd() : allLoci.sd();
    }
}

// --- writers of the four tables ---

enum class CellKind {
    count,        // a count, truncated
    countOrNA,    // a count, N.A. where missing
    real,         // a fixed-point number (whatever its value)
    realOrNA,     // a fixed-point number, N.A. where missing
};

// True when two rows of a per-locus table hold the same numbers bit for bit,
// total included: their cells are then the same text.
bool same_cells(SummaryRowView const& a, SummaryRowView const& b) {
    auto const bits = [](double x) { return std::bit_cast<std::uint64_t>(x); };
    if (a.values.size() != b.values.size() || a.meanSdKnown != b.meanSdKnown || bits(a.mean) != bits(b.mean) ||
        bits(a.sd) != bits(b.sd) || bits(a.total) != bits(b.total))
        return false;
    for (std::size_t i = 0; i < a.values.size(); ++i)
        if (bits(a.values[i]) != bits(b.values[i])) return false;
    return true;
}

// A numbered row of a per-locus table whose numbers are those of the row
// before, written as that row's cells (total included) after its label.
// False, with nothing written, when the cells must be formatted.
bool repeat_row(SummaryTable& t, LocusRows const& rows, std::size_t l) {
    return l > 0 && same_cells(rows[l], rows[l - 1]) && t.repeatRow(static_cast<long>(l + 1));
}

// A row's label, its sample cells and its mean and s.d.; the caller writes
// the total column and ends the row.
template <class Label, class Row>
void write_cells(SummaryTable& t, Label label, Row const& row, CellKind kind, int precision) {
    t.label(label);
    for (double v : row.values) {
        bool const missing = std::isnan(v) && (kind == CellKind::countOrNA || kind == CellKind::realOrNA);
        if (missing)
            t.naCell();
        else if (kind == CellKind::count || kind == CellKind::countOrNA)
            t.countCell(v);
        else
            t.realCell(v, precision);
    }
    if (row.meanSdKnown)
        t.meanSd(row.mean, row.sd, precision);
    else
        t.meanSdNA();
}

void write_basic_properties(Samples& set, settings& s, std::ostream& os, int w, StandardDiversityValues const& v) {
    static SummaryTableLayout const layout{"Basic",        "Basic indices", "Basic properties", nullptr, nullptr,
                                           "Statistics",   20,              nullptr};
    SummaryTable t(set, s, os, w, layout);
    t.open();
    std::pair<char const*, SummaryRowValues const*> const rows[] = {{"No. of gene copies", &v.copies},
                                                                    {"No. of loci", &v.loci},
                                                                    {"No. of usable loci", &v.usableLoci},
                                                                    {"No. of polym. loci", &v.polymorphic}};
    for (auto const& [label, row] : rows) {
        write_cells(t, label, *row, CellKind::count, 3);
        t.endRow();
    }
    t.close();
}

void write_expected_heterozygosity(Samples& set, settings& s, std::ostream& os, int w,
                                   StandardDiversityValues const& v) {
    static SummaryTableLayout const layout{"het",    "Heterozygosity", "Expected heterozygosity", "sumExpHeterozygosity",
                                           "heteroz", "Locus#",        6,                         "Tot. Het."};
    SummaryTable t(set, s, os, w, layout);
    t.open();
    for (std::size_t l = 0; l < v.het.size(); ++l) {
        if (repeat_row(t, v.het, l)) continue;
        write_cells(t, static_cast<long>(l + 1), v.het[l], CellKind::realOrNA, 5);
        t.totalReal(v.het[l].total, 5);
        t.endRow();
    }
    if (v.hetTotals) t.rule();
    write_cells(t, "Mean", v.hetMean, CellKind::real, 5);
    t.totalReal(v.hetMean.total, 5);
    t.endRow();
    if (!v.het.empty()) {
        write_cells(t, "s.d.", v.hetSd, CellKind::real, 5);
        t.totalReal(v.hetSd.total, 5);
        t.endRow();
    }
    t.close();
}

void write_theta_h(Samples& set, settings& s, std::ostream& os, int w, StandardDiversityValues const& v) {
    static SummaryTableLayout const microLayout{
        "thetaH", "Theta(H)", "Theta(H) under the stepwise mutation model", "sumThetaH", "thetaH", "Locus#", 6,
        nullptr};
    static SummaryTableLayout const standardLayout{
        "thetaH", "Theta(H)", "Theta(H) under the infinite-allele model", "sumThetaH", "thetaH", "Locus#", 6,
        nullptr};
    SummaryTable t(set, s, os, w, v.stepwise ? microLayout : standardLayout);
    t.open();
    for (std::size_t l = 0; l < v.thetaRows.size(); ++l) {
        if (repeat_row(t, v.thetaRows, l)) continue;
        write_cells(t, static_cast<long>(l + 1), v.thetaRows[l], CellKind::realOrNA, 5);
        t.endRow();
    }
    t.rule();
    write_cells(t, "Theta from\nMean H", v.thetaFromMeanH, CellKind::real, 5);
    t.endRow();
    t.close();
}

void write_number_of_alleles(Samples& set, settings& s, std::ostream& os, int w, StandardDiversityValues const& v) {
    static SummaryTableLayout const layout{"numAll",     "No. of alleles", "Number of alleles", "sumNumAlleles",
                                           "numAlleles", "Locus#",         6,                   "Tot. number"};
    SummaryTable t(set, s, os, w, layout);
    t.open();
    for (std::size_t l = 0; l < v.alleles.size(); ++l) {
        if (repeat_row(t, v.alleles, l)) continue;
        write_cells(t, static_cast<long>(l + 1), v.alleles[l], CellKind::countOrNA, 3);
        t.totalCount(v.alleles[l].total);
        t.endRow();
    }
    if (!v.alleles.empty()) t.rule();
    write_cells(t, "Mean", v.allelesMean, CellKind::real, 3);
    t.totalReal(v.allelesMean.total, 3);
    t.endRow();
    if (!v.alleles.empty()) {
        write_cells(t, "s.d.", v.allelesSd, CellKind::real, 3);
        t.totalReal(v.allelesSd.total, 3);
        t.endRow();
    }
    t.close();
}

}  // namespace

StandardDiversityValues compute_standard_diversity(Samples& set, settings const& s, Project const* project) {
    StandardDiversityValues v;
    long const n = set.Populations.count;
    long const L = summary_sample(set, 0).locusExpHet.count;
    // Looked up once: the per-locus rows read every sample on every row.
    for (long i = 0; i < n; ++i) v.samples.push_back(&summary_sample(set, i));
    basic_properties(set, n, v);
    expected_heterozygosity(s, n, L, v);
    v.theta = set.dataType == MICROSAT || set.dataType == STANDARD;
    v.stepwise = set.dataType == MICROSAT;
    if (v.theta) theta_h(n, L, v);
    number_of_alleles(set, s, project, n, L, v);
    return v;
}

void write_standard_diversity(Samples& set, settings& s, std::ostream& os, int w,
                              StandardDiversityValues const& v) {
    write_basic_properties(set, s, os, w, v);
    write_expected_heterozygosity(set, s, os, w, v);
    if (v.theta) write_theta_h(set, s, os, w, v);
    write_number_of_alleles(set, s, os, w, v);
}

void take_standard_diversity(SummaryLine& line, StandardDiversityValues const& v) {
    line.s = v.s;
    line.sSd.emplace();
    line.meanS = v.meanS;
    line.sdS = v.sdS;
    line.h = v.h;
    line.hSd = v.hSd;
    line.meanH = v.meanH;
    line.sdH = v.sdH;
    line.totH = v.totH;
    line.k = v.k;
    line.kSd = v.kSd;
    line.meanK = v.meanK;
    line.sdK = v.sdK;
    if (v.totK) line.totK = *v.totK;
}

// ------------------------------------------------------------------ section

void Samples::print_computation_anchor(int level, settings& s, my_string const& key, my_string const& title) {
    my_string anchor = anchor_name(s.time_stamp, GroupLevel ? "_gr_comp_sum_" : "_comp_sum_");
    anchor += key;
    print_js_doc_anchor(s, level, anchor, title);
}

void Samples::WriteSummaryStatistics(Project* project, settings& s) {
    summary_line = SummaryLine{};
    long const n = Populations.count;
    // AMOVA, distances, assignment and Mantel bits open no section.
    if ((s.TaskNumber & tasks_within_samples) == 0 || n <= 0) return;

    {
        MenuScriptLine const script(s);
        my_string noLink;
        TJSOut(script.stream()).aux(2, my_string(GroupLevel ? "Within-groups summary" : "Within-samples summary"),
                                    noLink);
    }

    int const w = summary_column_width(*this);
    // Without a result file the tables go nowhere, but the statistics line
    // still gets its values.
    std::ostream discard(nullptr);
    std::ostream& os = s.ResultFile != nullptr ? static_cast<std::ostream&>(*s.ResultFile) : discard;

    std::string const equals(80, '=');
    os << "\n\n" << equals << "\n"
       << (GroupLevel ? "== Summary of computations done within groups\n"
                      : "== Summary of computations done within populations\n")
       << equals << "\n";

    if ((s.TaskNumber & task_standard_diversity) != 0 && s.RecessiveAllelesEM == 0) {
        StandardDiversityValues const values = compute_standard_diversity(*this, s, project);
        take_standard_diversity(summary_line, values);
        if (values.haplotypeListSize) NbHaplotypes = *values.haplotypeListSize;
        write_standard_diversity(*this, s, os, w, values);
        std::vector<double> const& totals = values.totalAlleles;
        if (dataType == MICROSAT) WriteMicrosatSummaryTables(s, w, totals);
        AlleleFrequencyHandOff(s);
    }
    WriteMolecularDiversityTable(s, w);
    WriteNeutralityAndMismatchTables(s, w);
}

}  // namespace quintle
