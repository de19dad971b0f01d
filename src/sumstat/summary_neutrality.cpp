// The end of the within-sample summary section: the "Neutrality tests" block
// (Ewens-Watterson, Chakraborty, Tajima's D, Fu's FS), which also hands
// Tajima's D and Fu's FS to the statistics line (the set's summary_line),
// and the "Mismatch analysis" block.
//
// Number format: these blocks keep the notation the earlier tables left on
// the result stream and only set the precision to 5 before each row's Mean,
// so a row's first values take whatever precision stands at that moment.

#include <cmath>
#include <ios>
#include <iomanip>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "datatypes/PopulDNA.h"
#include "datatypes/PopulRFLP.h"
#include "popstats/PopGenetics.h"
#include "project/Samples.h"
#include "run/glbobj.h"
#include "run/settings.h"
#include "run/task_bits.h"
#include "sumstat/summary_frame.h"

namespace quintle {
namespace {

// How a row shows its values and when its Mean and s.d. become "N.A.".
enum class Kind {
    count,          // integers; summaries always shown
    plain,          // numbers; summaries always shown
    guarded,        // "N.A." below 0; summaries "N.A." when any value or the mean is
    guardedByMean,  // "N.A." below 0; summaries "N.A." only when the mean is
    guardedAtMinusOne,  // "N.A." at -1 or below; summaries as guarded
};

// Special per-value formats of two spatial-expansion rows.
enum class Style {
    usual,
    scientificFromE5,  // values of 100000 or more in scientific notation, alone
    fixed5,            // fixed notation, precision 5, left in force
};

class RowWriter {
public:
    RowWriter(std::ostream& os, int w, long n) : os_(os), w_(w), n_(n) {}

    void rule(int fixedWidth) const { summary_rule(os_, n_, w_, fixedWidth); }

    void header(Samples const& set, int labelWidth) const {
        summary_header(os_, set, w_, "Statistics", labelWidth, nullptr);
    }

    // One row.
    SummarySums row(char const* label, int labelWidth, std::vector<double> const& v, Kind kind,
                    Style style = Style::usual) const {
        os_ << std::setw(labelWidth) << label;
        bool anyMissing = false;
        for (double x : v) {
            bool missing = false;
            switch (kind) {
                case Kind::count:
                case Kind::plain:
                    break;
                case Kind::guarded:
                case Kind::guardedByMean:
                    missing = summary_not_computed(x);
                    break;
                case Kind::guardedAtMinusOne:
                    missing = std::isnan(x) || x <= -1.0;
                    break;
            }
            anyMissing = anyMissing || missing;
            if (missing) {
                os_ << std::setw(w_) << "N.A.";
            } else if (kind == Kind::count) {
                os_ << std::setw(w_) << summary_count(x);
            } else {
                value(x, style);
            }
        }
        os_.precision(5);
        SummarySums const m = summary_sums(v);
        bool hide = false;
        switch (kind) {
            case Kind::count:
            case Kind::plain:
                break;
            case Kind::guardedByMean:
                hide = summary_not_computed(m.mean());
                break;
            case Kind::guarded:
            case Kind::guardedAtMinusOne:
                hide = anyMissing || summary_not_computed(m.mean());
                break;
        }
        if (hide) {
            os_ << std::setw(12) << "N.A." << std::setw(12) << "N.A.";
        } else {
            os_ << std::setw(12) << m.mean() << std::setw(12) << m.sd();
        }
        os_ << "\n";
        return m;
    }

private:
    void value(double x, Style style) const {
        switch (style) {
            case Style::usual:
                os_ << std::setw(w_) << x;
                break;
            case Style::scientificFromE5:
                if (x >= 100000.0) {
                    std::ios::fmtflags const flags = os_.flags();
                    std::streamsize const precision = os_.precision();
                    os_.setf(std::ios::scientific, std::ios::floatfield);
                    os_.precision(5);
                    os_ << std::setw(w_) << x;
                    os_.flags(flags);
                    os_.precision(precision);
                } else {
                    os_ << std::setw(w_) << x;
                }
                break;
            case Style::fixed5:
                os_.setf(std::ios::fixed, std::ios::floatfield);
                os_.precision(5);
                os_ << std::setw(w_) << x;
                break;
        }
    }

    std::ostream& os_;
    int w_;
    long n_;
};

void sub_title(std::ostream& os, std::string const& title) {
    os << title << "\n" << std::string(title.size(), '-') << "\n";
}

constexpr int neutralityLabel = 60;
constexpr int mismatchLabel = 25;

// What every block of this end of the section writes with: the sample set,
// the settings, the result stream and its row writer.
struct Block {
    Samples& set;
    settings& s;
    std::ostream& os;
    RowWriter const& rows;

    // Values of one row, one per sample in set order.
    template <class Value>
    std::vector<double> column(Value value) const {
        long const n = set.Populations.count;
        std::vector<double> v;
        v.reserve(static_cast<std::size_t>(n));
        for (long i = 0; i < n; ++i) v.push_back(value(std::as_const(summary_sample(set, i))));
        return v;
    }
    std::vector<double> field(double PopGenetics::*member) const {
        return column([member](PopGenetics const& p) { return p.*member; });
    }

    // Anchor, heading, rule, header line, rule.
    void open(char const* key, char const* heading, int labelWidth, int fixedWidth) const {
        set.print_computation_anchor(2, s, my_string(key), my_string(heading));
        summary_heading(os, heading);
        os << "\n";
        rows.rule(fixedWidth);
        rows.header(set, labelWidth);
        rows.rule(fixedWidth);
    }
};

// ------------------------------------------------------- neutrality tests

constexpr int neutralityWidth = 84;

// The rows the tests of the infinite-allele model share: sample size and
// numbers of alleles.
class AlleleRows {
public:
    explicit AlleleRows(Block const& b) : b_(b) {
        ProfileSettings const& profile = b.set;
        bool const infer = b.s.InferHaplotypeDefinitionFromDistanceMatrix != 0;
        allelesLabel_ = infer && (profile.GenotypicData == 0 || profile.GameticPhase != 0)
                            ? "Real no. of alleles"
                            : "No. of alleles(unchecked)";
        showOriginal_ = infer && profile.GenotypicData == 0;
    }

    void sample_size() const {
        auto const size = [](PopGenetics const& p) { return p.SampleSize; };
        b_.rows.row("Sample size", neutralityLabel, b_.column(size), Kind::count);
    }
    void alleles() const {
        auto const entries = [](PopGenetics const& p) { return static_cast<double>(p.NbHaplotypeEntries); };
        b_.rows.row(allelesLabel_, neutralityLabel, b_.column(entries), Kind::count);
        if (!showOriginal_) return;
        auto const read = [](PopGenetics const& p) { return static_cast<double>(p.NbHaplotypeEntriesRead); };
        b_.rows.row("Orig. no. of alleles", neutralityLabel, b_.column(read), Kind::count);
    }

private:
    Block const& b_;
    char const* allelesLabel_;
    bool showOriginal_;
};

void ewens_watterson_rows(Block const& b, AlleleRows const& alleles) {
    RowWriter const& r = b.rows;
    sub_title(b.os, "Ewens-Watterson test");
    alleles.sample_size();
    alleles.alleles();
    r.row("Observed F value", neutralityLabel, b.field(&PopGenetics::ewObservedF), Kind::guarded);
    r.row("Expected F value", neutralityLabel, b.field(&PopGenetics::ewExpectedF), Kind::guarded);
    // The entity takes four characters of the field but shows as one.
    r.row("   Watterson test: Pr(rand F &lt;= obs F)", neutralityLabel + 3, b.field(&PopGenetics::ewProbF),
          Kind::guarded);
    r.row("Slatkin's exact test P-value", neutralityLabel, b.field(&PopGenetics::slatkinExactP),
          Kind::guarded);
}

void chakraborty_rows(Block const& b, AlleleRows const& alleles) {
    RowWriter const& r = b.rows;
    sub_title(b.os, "Chakraborty's test");
    alleles.sample_size();
    alleles.alleles();
    r.row("Obs. homozygosity", neutralityLabel, b.field(&PopGenetics::homozygosity), Kind::guardedByMean);
    r.row("Exp. no. of alleles", neutralityLabel, b.field(&PopGenetics::expNumAlleles), Kind::plain);
    r.row("P(k or more alleles)", neutralityLabel, b.field(&PopGenetics::probKOrMoreAlleles), Kind::guarded);
}

// Tajima's D goes to the statistics line as well.
void tajima_rows(Block const& b, AlleleRows const& alleles) {
    RowWriter const& r = b.rows;
    sub_title(b.os, "Tajima's D test");
    alleles.sample_size();
    // Segregating sites: the substitution-polymorphic sites that the DNA or
    // RFLP class counted.
    std::vector<double> const segregating = b.column([](PopGenetics const& p) {
        if (auto const* d = dynamic_cast<PopulDNA const*>(&p))
            return static_cast<double>(d->numSubstitutionSites);
        if (auto const* f = dynamic_cast<PopulRFLP const*>(&p))
            return static_cast<double>(f->numSubstitutionSites);
        return 0.0;
    });
    r.row("S", neutralityLabel, segregating, Kind::count);
    r.row("Pi", neutralityLabel, b.field(&PopGenetics::meanPairwiseDiff), Kind::plain);
    std::vector<double> const D = b.field(&PopGenetics::tajimaD);
    SummarySums const d = r.row("Tajima's D", neutralityLabel, D, Kind::plain);
    SummaryLine& line = b.set.summary_line;
    line.d = D;
    line.dSd.emplace();
    line.meanD = d.mean();
    line.sdD = d.sd();
    r.row("Tajima's D p-value", neutralityLabel, b.field(&PopGenetics::tajimaP), Kind::guarded);
}

// Fu's FS goes to the statistics line as well.
void fu_fs_rows(Block const& b, AlleleRows const& alleles) {
    RowWriter const& r = b.rows;
    sub_title(b.os, "Fu's FS test");
    alleles.alleles();
    r.row("Theta_pi", neutralityLabel, b.field(&PopGenetics::thetaPi), Kind::guarded);
    r.row("Exp. no. of alleles", neutralityLabel, b.field(&PopGenetics::expNumAlleles), Kind::plain);
    std::vector<double> const FS = b.field(&PopGenetics::fuFs);
    SummarySums const fs = r.row("FS", neutralityLabel, FS, Kind::plain);
    SummaryLine& line = b.set.summary_line;
    line.fs = FS;
    line.fsSd.emplace();
    line.meanFS = fs.mean();
    line.sdFS = fs.sd();
    r.row("FS p-value", neutralityLabel, b.field(&PopGenetics::fuFsP), Kind::guardedAtMinusOne);
}

// The "Neutrality tests" block: one sub-table per test the task bits ask
// for; none for genotypes of unknown phase or with recessive alleles.
void neutrality_block(Block const& b) {
    std::int64_t const task = b.s.TaskNumber;
    bool const anyTest = (task & (task_tajima | task_ewens_watterson | task_chakraborty | task_fu_fs)) != 0;
    bool const unusableGenotypes =
        b.set.GenotypicData != 0 && (b.set.GameticPhase == 0 || b.s.RecessiveAllelesEM != 0);
    if (!anyTest || unusableGenotypes) return;
    b.open("neutests", "Neutrality tests", neutralityLabel, neutralityWidth);
    AlleleRows const alleles(b);
    if (task & task_ewens_watterson) ewens_watterson_rows(b, alleles);
    if (task & task_chakraborty) chakraborty_rows(b, alleles);
    TDataType const type = b.set.dataType;
    if (type == DNA || type == RFLP) {
        if (task & task_tajima) tajima_rows(b, alleles);
        if (task & task_fu_fs) fu_fs_rows(b, alleles);
    }
    b.rows.rule(neutralityWidth);
}

// ------------------------------------------------------- mismatch analysis

constexpr int mismatchWidth = 49;

// The rows of one expansion model; the bootstrap rows only when the fits
// were bootstrapped.
class ExpansionRows {
public:
    explicit ExpansionRows(Block const& b) : b_(b), boot_(b.s.NumBootExpDem != 0) {}

    void title(std::string const& text) const {
        b_.os << "\n" << text << "\n" << std::string(text.size(), '-') << "\n";
    }
    void plain(char const* label, double PopGenetics::*member, Style style = Style::usual) const {
        b_.rows.row(label, mismatchLabel, b_.field(member), Kind::plain, style);
    }
    void boot_plain(char const* label, double PopGenetics::*member) const {
        if (boot_) plain(label, member);
    }
    // The four quantiles of a parameter's bootstrap distribution.
    void quantiles(char const* name, double const (PopGenetics::*q)[4]) const {
        if (!boot_) return;
        static char const* const levels[4] = {" qt 2.5%", " qt 5%", " qt 95%", " qt 97.5%"};
        for (int k = 0; k < 4; ++k) {
            std::string const label = std::string(name) + levels[k];
            auto const quantile = [q, k](PopGenetics const& p) { return (p.*q)[k]; };
            b_.rows.row(label.c_str(), mismatchLabel, b_.column(quantile), Kind::plain);
        }
    }

private:
    Block const& b_;
    bool boot_;
};

void demographic_expansion_rows(ExpansionRows const& e) {
    e.title("Demographic expansion");
    e.plain("Tau", &PopGenetics::demTau);
    e.quantiles("Tau", &PopGenetics::demTauQuantiles);
    e.plain("Theta0", &PopGenetics::demTheta0);
    e.quantiles("Theta0", &PopGenetics::demTheta0Quantiles);
    e.plain("Theta1", &PopGenetics::demTheta1);
    e.quantiles("Theta1", &PopGenetics::demTheta1Quantiles);
    e.plain("SSD", &PopGenetics::demSSD);
    e.boot_plain("Model (SSD) p-value", &PopGenetics::demSSDP);
    e.plain("Raggedness index", &PopGenetics::demRaggedness);
    e.boot_plain("Raggedness p-value", &PopGenetics::demRaggednessP);
}

void spatial_expansion_rows(ExpansionRows const& e) {
    e.title("Spatial expansion");
    e.plain("Tau", &PopGenetics::spaTau);
    e.quantiles("Tau", &PopGenetics::spaTauQuantiles);
    e.plain("Theta", &PopGenetics::spaTheta);
    e.quantiles("Theta", &PopGenetics::spaThetaQuantiles);
    e.plain("M", &PopGenetics::spaM, Style::scientificFromE5);
    e.quantiles("M", &PopGenetics::spaMQuantiles);
    e.plain("SSD", &PopGenetics::spaSSD, Style::fixed5);
    e.boot_plain("Model (SSD) p-value", &PopGenetics::spaSSDP);
    e.plain("Raggedness index", &PopGenetics::spaRaggedness);
    e.boot_plain("Raggedness p-value", &PopGenetics::spaRaggednessP);
}

// The "Mismatch analysis" block: haploid or phased DNA and RFLP data only.
void mismatch_block(Block const& b) {
    TDataType const type = b.set.dataType;
    if ((b.s.TaskNumber & task_mismatch) == 0 || (type != DNA && type != RFLP) ||
        (b.set.GenotypicData != 0 && b.set.GameticPhase == 0))
        return;
    b.open("mismatch", "Mismatch analysis", mismatchLabel, mismatchWidth);
    ExpansionRows const e(b);
    if (b.s.MismatchDemogExp) demographic_expansion_rows(e);
    if (b.s.MismatchSpatialExp) spatial_expansion_rows(e);
    b.rows.rule(mismatchWidth);
}

}  // namespace

void Samples::WriteNeutralityAndMismatchTables(settings& s, int w) {
    long const n = Populations.count;
    // Neither block exists for microsatellite data.
    if (dataType == MICROSAT || n < 1) return;
    // Without a result file the tables go nowhere, but the statistics line
    // still gets its values.
    std::ostream discard(nullptr);
    std::ostream& os = s.ResultFile != nullptr ? static_cast<std::ostream&>(*s.ResultFile) : discard;
    RowWriter const rows(os, w, n);
    Block const block{*this, s, os, rows};
    neutrality_block(block);
    mismatch_block(block);
}

}  // namespace quintle
