// The within-sample summary section: its entry, banner and table frame, and
// the standard diversity tables ("Basic properties", "Expected
// heterozygosity", "Theta(H)", "Number of alleles") with the values they
// give the statistics line (the set's summary_line). The remaining tables come from summary_molecular.cpp
// and summary_neutrality.cpp.

#include "sumstat/summary_frame.h"

#include <algorithm>
#include <charconv>
#include <cmath>
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

void SummaryTable::pad(std::size_t length, int width) {
    if (width > 0 && length < static_cast<std::size_t>(width))
        row_.append(static_cast<std::size_t>(width) - length, os_.fill());
}

void SummaryTable::textCell(char const* text, int width) {
    // A stream pads a text on the left unless it is left-adjusted.
    std::size_t const length = std::strlen(text);
    bool const left = (os_.flags() & std::ios::adjustfield) == std::ios::left;
    if (!left) pad(length, width);
    row_.append(text, length);
    if (left) pad(length, width);
}

void SummaryTable::integerCell(long long value, int width) {
    if (!plainNumbers()) {
        flushRow();
        os_ << std::setw(width) << value;
        return;
    }
    char text[24];
    auto const end = std::to_chars(text, text + sizeof text, value).ptr;
    pad(static_cast<std::size_t>(end - text), width);
    row_.append(text, end);
}

// As os << std::setprecision(precision) << std::setw(width) << value: the
// digits of a plain fixed-point number come from to_chars, which gives
// exactly printf's, as the stream does.
void SummaryTable::fixedCell(double value, int precision, int width) {
    os_.precision(precision);
    bool const plain = std::isfinite(value) && precision > 0 && precision <= 40 &&
                       (os_.flags() & std::ios::floatfield) == std::ios::fixed && plainNumbers();
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
    pad(static_cast<std::size_t>(r.ptr - text), width);
    row_.append(text, r.ptr);
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
    row_ += '\n';
    if (row_.size() >= 32768) flushRow();
}

void SummaryTable::label(char const* text) { textCell(text, layout_.labelWidth); }

void SummaryTable::label(long number) { integerCell(number, layout_.labelWidth); }

void SummaryTable::countCell(double value) { integerCell(summary_count(value), w_); }

void SummaryTable::realCell(double value, int precision) { fixedCell(value, precision, w_); }

void SummaryTable::naCell() { textCell("N.A.", w_); }

void SummaryTable::meanSd(SummarySums const& sums, int precision) {
    fixedCell(sums.mean(), precision, 12);
    fixedCell(sums.sd(), precision, 12);
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

TLocus const* global_locus(long l) {
    TAlleleDB const& db = PopGenetics::globalAllelicDB;
    return l < db.loci.count ? db.loci.data[l] : nullptr;
}

// Unbiased gene diversity of one locus over all samples of the pass.
double total_heterozygosity(TLocus const* locus) {
    if (locus == nullptr) return 0.0;
    double N = 0.0;
    for (long a = 0; a < locus->alleles.count; ++a)
        if (TAllele const* al = locus->alleles.data[a]) N += al->weight;
    if (!(N > 1.0)) return 0.0;
    double sumP2 = 0.0;
    for (long a = 0; a < locus->alleles.count; ++a)
        if (TAllele const* al = locus->alleles.data[a]) {
            double const p = al->weight / N;
            sumP2 += p * p;
        }
    return N / (N - 1.0) * (1.0 - sumP2);
}

// Alleles of one locus over all samples, the missing-data allele not
// counted: the search runs from the last allele backwards and stops at the
// first one whose name begins with the missing-data character.
double total_number_of_alleles(TLocus const* locus, char missing) {
    if (locus == nullptr) return 0.0;
    long count = 0;
    for (long a = 0; a < locus->alleles.count; ++a)
        if (locus->alleles.data[a] != nullptr) ++count;
    for (long a = locus->alleles.count - 1; a >= 0; --a) {
        TAllele const* al = locus->alleles.data[a];
        if (al != nullptr && al->name.length() > 0 && al->name.c_str()[0] == missing) {
            --count;
            break;
        }
    }
    return static_cast<double>(count);
}

// Writes one sample cell of a row whose values may be missing; returns
// false for a missing one.
bool value_cell(SummaryTable& t, double v, int precision) {
    if (std::isnan(v)) {
        t.naCell();
        return false;
    }
    t.realCell(v, precision);
    return true;
}

class StandardTables {
public:
    StandardTables(Samples& set, settings& s, std::ostream& os, int w, Project* project)
        : set_(set), s_(s), os_(os), w_(w), project_(project), n_(set.Populations.count) {
        L_ = summary_sample(set, 0).locusExpHet.count;
        // Looked up once: the per-locus tables read every sample on every row.
        for (long i = 0; i < n_; ++i) samples_.push_back(&summary_sample(set, i));
    }

    void basicProperties();
    void expectedHeterozygosity();
    void thetaH();
    // Fills and returns the total number of alleles per locus.
    std::vector<double> const& numberOfAlleles();

private:
    PopGenetics& sample(long i) { return *samples_[static_cast<std::size_t>(i)]; }

    // A row of one real value per sample, value(i), then their mean and
    // s.d.; the caller ends the row (after the total column when there is
    // one).
    template <class Value>
    SummarySums realRow(SummaryTable& t, char const* label, int precision, Value value) {
        t.label(label);
        SummarySums sums;
        for (long i = 0; i < n_; ++i) {
            double const v = value(i);
            t.realCell(v, precision);
            sums.add(v);
        }
        t.meanSd(sums, precision);
        return sums;
    }

    Samples& set_;
    settings& s_;
    std::ostream& os_;
    int w_;
    Project* project_;
    long n_;
    long L_;
    std::vector<PopGenetics*> samples_;  // sample(i) for i below n_
    std::vector<double> totalAlleles_;
};

void StandardTables::basicProperties() {
    static SummaryTableLayout const layout{"Basic",        "Basic indices", "Basic properties", nullptr, nullptr,
                                           "Statistics",   20,              nullptr};
    SummaryTable t(set_, s_, os_, w_, layout);
    t.open();

    auto countRow = [&](char const* text, auto value) {
        t.label(text);
        SummarySums sums;
        for (long i = 0; i < n_; ++i) {
            double const v = value(i);
            t.countCell(v);
            sums.add(v);
        }
        t.meanSd(sums, 3);
        t.endRow();
        return sums;
    };

    countRow("No. of gene copies", [&](long i) { return sample(i).SampleSize; });
    countRow("No. of loci", [&](long i) { return static_cast<double>(number_of_loci(sample(i))); });
    countRow("No. of usable loci", [&](long i) { return static_cast<double>(sample(i).numUsableSites); });

    SummaryLine& line = set_.summary_line;
    line.s.emplace();
    line.sSd.emplace();
    SummarySums const s = countRow("No. of polym. loci", [&](long i) {
        double const v = polymorphic_count(set_.Populations.data[i], sample(i));
        line.s->push_back(v);
        return v;
    });
    line.meanS = s.mean();
    line.sdS = s.sd();

    t.close();
}

void StandardTables::expectedHeterozygosity() {
    static SummaryTableLayout const layout{"het",    "Heterozygosity", "Expected heterozygosity", "sumExpHeterozygosity",
                                           "heteroz", "Locus#",        6,                         "Tot. Het."};
    SummaryTable t(set_, s_, os_, w_, layout);
    t.open();

    SummarySums totals;  // over the loci whose total is not 0
    for (long l = 0; l < L_; ++l) {
        t.label(l + 1);
        SummarySums sums;
        bool complete = true;
        for (long i = 0; i < n_; ++i) {
            double const v = locus_entry(sample(i).locusExpHet, l);
            complete = value_cell(t, v, 5) && complete;
            sums.add(v);
        }
        if (complete)
            t.meanSd(sums, 5);
        else
            t.meanSdNA();
        double const total = total_heterozygosity(global_locus(l));
        t.totalReal(total, 5);
        if (total != 0.0) totals.add(total);
        t.endRow();
    }
    if (totals.n > 0) t.rule();

    SummaryLine& line = set_.summary_line;
    line.h.emplace();
    line.hSd.emplace();
    bool const unphased = unphased_genotypic(s_);
    SummarySums stored;
    t.label("Mean");
    SummarySums sums;
    for (long i = 0; i < n_; ++i) {
        PopGenetics const& p = sample(i);
        double const v = L_ > 0 ? p.meanHet : p.geneDiversity;
        t.realCell(v, 5);
        sums.add(v);
        double const h = unphased ? v : p.geneDiversity;
        double const hSd = unphased ? p.meanHetSd : p.geneDiversitySd;
        line.h->push_back(h);
        line.hSd->push_back(hSd);
        stored.add(h);
    }
    t.meanSd(sums, 5);
    t.totalReal(totals.mean(), 5);
    t.endRow();
    line.meanH = stored.mean();
    line.sdH = stored.sd();
    line.totH = totals.mean();

    if (L_ > 0) {
        realRow(t, "s.d.", 5, [&](long i) { return sample(i).meanHetSd; });
        t.totalReal(totals.sd(), 5);
        t.endRow();
    }
    t.close();
}

void StandardTables::thetaH() {
    bool const micro = set_.dataType == MICROSAT;
    static SummaryTableLayout const microLayout{
        "thetaH", "Theta(H)", "Theta(H) under the stepwise mutation model", "sumThetaH", "thetaH", "Locus#", 6,
        nullptr};
    static SummaryTableLayout const standardLayout{
        "thetaH", "Theta(H)", "Theta(H) under the infinite-allele model", "sumThetaH", "thetaH", "Locus#", 6,
        nullptr};
    SummaryTable t(set_, s_, os_, w_, micro ? microLayout : standardLayout);
    t.open();

    for (long l = 0; l < L_; ++l) {
        t.label(l + 1);
        SummarySums sums;  // over the samples that gave a value
        for (long i = 0; i < n_; ++i) {
            double const H = locus_entry(sample(i).locusExpHet, l);
            double theta = std::numeric_limits<double>::quiet_NaN();
            if (micro) {
                if (H > 0.0 && H < 1.0) theta = (1.0 / ((1.0 - H) * (1.0 - H)) - 1.0) / 2.0;
            } else if (!std::isnan(H)) {
                theta = 1.0 / (1.0 - H) - 1.0;
            }
            if (value_cell(t, theta, 5)) sums.add(theta);
        }
        if (sums.n > 0)
            t.meanSd(sums, 5);
        else
            t.meanSdNA();
        t.endRow();
    }
    t.rule();

    realRow(t, "Theta from\nMean H", 5, [&](long i) {
        double const H = sample(i).meanHet;
        if (micro) return H == 1.0 ? 9999.0 : (1.0 / ((1.0 - H) * (1.0 - H)) - 1.0) / 2.0;
        return 1.0 / (1.0 - H) - 1.0;
    });
    t.endRow();
    t.close();
}

std::vector<double> const& StandardTables::numberOfAlleles() {
    static SummaryTableLayout const layout{"numAll",     "No. of alleles", "Number of alleles", "sumNumAlleles",
                                           "numAlleles", "Locus#",         6,                   "Tot. number"};
    SummaryTable t(set_, s_, os_, w_, layout);
    t.open();

    char const missing = set_.MissingData;
    totalAlleles_.assign(static_cast<std::size_t>(L_), 0.0);
    SummarySums allLoci;       // every locus
    SummarySums polymorphic;   // loci with at least two alleles in all
    for (long l = 0; l < L_; ++l) {
        t.label(l + 1);
        SummarySums sums;
        bool complete = true;
        for (long i = 0; i < n_; ++i) {
            double const v = locus_entry(sample(i).locusNumAlleles, l);
            if (std::isnan(v)) {
                t.naCell();
                complete = false;
            } else {
                t.countCell(v);
            }
            sums.add(v);
        }
        if (complete)
            t.meanSd(sums, 3);
        else
            t.meanSdNA();
        double const total = total_number_of_alleles(global_locus(l), missing);
        totalAlleles_[static_cast<std::size_t>(l)] = total;
        t.totalCount(total);
        allLoci.add(total);
        if (total >= 2.0) polymorphic.add(total);
        t.endRow();
    }
    if (L_ > 0) t.rule();

    SummaryLine& line = set_.summary_line;
    line.k.emplace();
    line.kSd.emplace();
    bool const unphased = unphased_genotypic(s_);
    t.label("Mean");
    SummarySums sums;
    SummarySums haplotypes;
    for (long i = 0; i < n_; ++i) {
        PopGenetics const& p = sample(i);
        t.realCell(p.meanNumAlleles, 3);
        sums.add(p.meanNumAlleles);
        haplotypes.add(static_cast<double>(p.NbHaplotypeEntries));
        line.k->push_back(unphased ? p.meanNumAlleles : static_cast<double>(p.NbHaplotypeEntries));
        line.kSd->push_back(unphased ? p.meanNumAllelesSd : 0.0);
    }
    t.meanSd(sums, 3);
    t.totalReal(allLoci.mean(), 3);
    t.endRow();

    SummarySums const& kSums = unphased ? sums : haplotypes;
    line.meanK = kSums.mean();
    line.sdK = kSums.sd();
    if (unphased) {
        line.totK = set_.dataType == DNA ? polymorphic.mean() : allLoci.mean();
    } else if (project_ != nullptr) {
        // The size of the project's haplotype list.
        set_.NbHaplotypes = static_cast<int>(project_->haplotypes.haplotypes.count);
        line.totK = set_.NbHaplotypes;
    }

    if (L_ > 0) {
        realRow(t, "s.d.", 3, [&](long i) { return sample(i).meanNumAllelesSd; });
        t.totalReal(set_.dataType == DNA ? polymorphic.sd() : allLoci.sd(), 3);
        t.endRow();
    }
    t.close();
    return totalAlleles_;
}

}  // namespace

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
        std::ofstream script(s.MenuScriptFileName.c_str(), std::ios::out | std::ios::app);
        if (script.is_open()) {
            my_string noLink;
            TJSOut(&script).aux(2, my_string(GroupLevel ? "Within-groups summary" : "Within-samples summary"), noLink);
        }
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
        StandardTables tables(*this, s, os, w, project);
        tables.basicProperties();
        tables.expectedHeterozygosity();
        if (dataType == MICROSAT || dataType == STANDARD) tables.thetaH();
        std::vector<double> const& totals = tables.numberOfAlleles();
        if (dataType == MICROSAT) WriteMicrosatSummaryTables(s, w, totals);
        AlleleFrequencyHandOff(s);
    }
    WriteMolecularDiversityTable(s, w);
    WriteNeutralityAndMismatchTables(s, w);
}

}  // namespace quintle
