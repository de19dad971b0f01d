// The end of the within-sample summary section: the "Neutrality tests" block
// (Ewens-Watterson, Chakraborty, Tajima's D, Fu's FS), whose Tajima's D and
// Fu's FS the statistics line takes as well (the set's summary_line), and
// the "Mismatch analysis" block. The rows are computed into the blocks'
// pieces first, then written.
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
#include "sumstat/summary_neutrality.h"

namespace quintle {
namespace {

NeutralityRow make_row(std::string label, int labelWidth, std::vector<double> values, NeutralityKind kind,
                       NeutralityStyle style = NeutralityStyle::usual) {
    NeutralityRow r;
    r.label = std::move(label);
    r.labelWidth = labelWidth;
    r.kind = kind;
    r.style = style;
    bool anyMissing = false;
    for (double x : values) {
        bool missing = false;
        switch (kind) {
            case NeutralityKind::count:
            case NeutralityKind::plain:
                break;
            case NeutralityKind::guarded:
            case NeutralityKind::guardedByMean:
                missing = summary_not_computed(x);
                break;
            case NeutralityKind::guardedAtMinusOne:
                missing = std::isnan(x) || x <= -1.0;
                break;
        }
        anyMissing = anyMissing || missing;
        r.missing.push_back(missing);
    }
    SummarySums const m = summary_sums(values);
    r.mean = m.mean();
    r.sd = m.sd();
    switch (kind) {
        case NeutralityKind::count:
        case NeutralityKind::plain:
            break;
        case NeutralityKind::guardedByMean:
            r.hide = summary_not_computed(r.mean);
            break;
        case NeutralityKind::guarded:
        case NeutralityKind::guardedAtMinusOne:
            r.hide = anyMissing || summary_not_computed(r.mean);
            break;
    }
    r.values = std::move(values);
    return r;
}

class RowWriter {
public:
    RowWriter(std::ostream& os, int w, long n) : os_(os), w_(w), n_(n) {}

    void rule(int fixedWidth) const { summary_rule(os_, n_, w_, fixedWidth); }

    void header(Samples const& set, int labelWidth) const {
        summary_header(os_, set, w_, "Statistics", labelWidth, nullptr);
    }

    // One row, from its computed values.
    void row(NeutralityRow const& r) const {
        os_ << std::setw(r.labelWidth) << r.label.c_str();
        for (std::size_t i = 0; i < r.values.size(); ++i) {
            double const x = r.values[i];
            if (r.missing[i]) {
                os_ << std::setw(w_) << "N.A.";
            } else if (r.kind == NeutralityKind::count) {
                os_ << std::setw(w_) << summary_count(x);
            } else {
                value(x, r.style);
            }
        }
        os_.precision(5);
        if (r.hide) {
            os_ << std::setw(12) << "N.A." << std::setw(12) << "N.A.";
        } else {
            os_ << std::setw(12) << r.mean << std::setw(12) << r.sd;
        }
        os_ << "\n";
    }

private:
    void value(double x, NeutralityStyle style) const {
        switch (style) {
            case NeutralityStyle::usual:
                os_ << std::setw(w_) << x;
                break;
            case NeutralityStyle::scientificFromE5:
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
            case NeutralityStyle::fixed5:
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

constexpr int neutralityLabel = 60;
constexpr int mismatchLabel = 25;

// What every block of this end of the section is computed with: the sample
// set, the settings, and the pieces it appends to.
struct Block {
    Samples& set;
    settings const& s;
    NeutralityTables& out;

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

    void piece(NeutralityPiece::What what, std::string text = {}) const {
        NeutralityPiece p;
        p.what = what;
        p.text = std::move(text);
        out.pieces.push_back(std::move(p));
    }
    // Anchor, heading, rule, header line, rule.
    void open(char const* key, char const* heading, int labelWidth, int fixedWidth) const {
        NeutralityPiece p;
        p.what = NeutralityPiece::What::open;
        p.key = key;
        p.text = heading;
        p.labelWidth = labelWidth;
        p.fixedWidth = fixedWidth;
        out.pieces.push_back(std::move(p));
    }
    void rule(int fixedWidth) const {
        NeutralityPiece p;
        p.what = NeutralityPiece::What::rule;
        p.fixedWidth = fixedWidth;
        out.pieces.push_back(std::move(p));
    }
    NeutralityRow const& row(std::string label, int labelWidth, std::vector<double> values, NeutralityKind kind,
                             NeutralityStyle style = NeutralityStyle::usual) const {
        NeutralityPiece p;
        p.what = NeutralityPiece::What::row;
        p.row = make_row(std::move(label), labelWidth, std::move(values), kind, style);
        out.pieces.push_back(std::move(p));
        return out.pieces.back().row;
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
        b_.row("Sample size", neutralityLabel, b_.column(size), NeutralityKind::count);
    }
    void alleles() const {
        auto const entries = [](PopGenetics const& p) { return static_cast<double>(p.NbHaplotypeEntries); };
        b_.row(allelesLabel_, neutralityLabel, b_.column(entries), NeutralityKind::count);
        if (!showOriginal_) return;
        auto const read = [](PopGenetics const& p) { return static_cast<double>(p.NbHaplotypeEntriesRead); };
        b_.row("Orig. no. of alleles", neutralityLabel, b_.column(read), NeutralityKind::count);
    }

private:
    Block const& b_;
    char const* allelesLabel_;
    bool showOriginal_;
};

void ewens_watterson_rows(Block const& b, AlleleRows const& alleles) {
    Block const& r = b;
    b.piece(NeutralityPiece::What::subTitle, "Ewens-Watterson test");
    alleles.sample_size();
    alleles.alleles();
    r.row("Observed F value", neutralityLabel, b.field(&PopGenetics::ewObservedF), NeutralityKind::guarded);
    r.row("Expected F value", neutralityLabel, b.field(&PopGenetics::ewExpectedF), NeutralityKind::guarded);
    // The entity takes four characters of the field but shows as one.
    r.row("   Watterson test: Pr(rand F &lt;= obs F)", neutralityLabel + 3, b.field(&PopGenetics::ewProbF),
          NeutralityKind::guarded);
    r.row("Slatkin's exact test P-value", neutralityLabel, b.field(&PopGenetics::slatkinExactP),
          NeutralityKind::guarded);
}

void chakraborty_rows(Block const& b, AlleleRows const& alleles) {
    Block const& r = b;
    b.piece(NeutralityPiece::What::subTitle, "Chakraborty's test");
    alleles.sample_size();
    alleles.alleles();
    r.row("Obs. homozygosity", neutralityLabel, b.field(&PopGenetics::homozygosity), NeutralityKind::guardedByMean);
    r.row("Exp. no. of alleles", neutralityLabel, b.field(&PopGenetics::expNumAlleles), NeutralityKind::plain);
    r.row("P(k or more alleles)", neutralityLabel, b.field(&PopGenetics::probKOrMoreAlleles), NeutralityKind::guarded);
}

// Tajima's D goes to the statistics line as well.
void tajima_rows(Block const& b, AlleleRows const& alleles) {
    Block const& r = b;
    b.piece(NeutralityPiece::What::subTitle, "Tajima's D test");
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
    r.row("S", neutralityLabel, segregating, NeutralityKind::count);
    r.row("Pi", neutralityLabel, b.field(&PopGenetics::meanPairwiseDiff), NeutralityKind::plain);
    NeutralityRow const& d = r.row("Tajima's D", neutralityLabel, b.field(&PopGenetics::tajimaD), NeutralityKind::plain);
    b.out.d = d.values;
    b.out.meanD = d.mean;
    b.out.sdD = d.sd;
    r.row("Tajima's D p-value", neutralityLabel, b.field(&PopGenetics::tajimaP), NeutralityKind::guarded);
}

// Fu's FS goes to the statistics line as well.
void fu_fs_rows(Block const& b, AlleleRows const& alleles) {
    Block const& r = b;
    b.piece(NeutralityPiece::What::subTitle, "Fu's FS test");
    alleles.alleles();
    r.row("Theta_pi", neutralityLabel, b.field(&PopGenetics::thetaPi), NeutralityKind::guarded);
    r.row("Exp. no. of alleles", neutralityLabel, b.field(&PopGenetics::expNumAlleles), NeutralityKind::plain);
    NeutralityRow const& fs = r.row("FS", neutralityLabel, b.field(&PopGenetics::fuFs), NeutralityKind::plain);
    b.out.fs = fs.values;
    b.out.meanFS = fs.mean;
    b.out.sdFS = fs.sd;
    r.row("FS p-value", neutralityLabel, b.field(&PopGenetics::fuFsP), NeutralityKind::guardedAtMinusOne);
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
    b.rule(neutralityWidth);
}

// ------------------------------------------------------- mismatch analysis

constexpr int mismatchWidth = 49;

// The rows of one expansion model; the bootstrap rows only when the fits
// were bootstrapped.
class ExpansionRows {
public:
    explicit ExpansionRows(Block const& b) : b_(b), boot_(b.s.NumBootExpDem != 0) {}

    void title(std::string const& text) const { b_.piece(NeutralityPiece::What::title, text); }
    void plain(char const* label, double PopGenetics::*member, NeutralityStyle style = NeutralityStyle::usual) const {
        b_.row(label, mismatchLabel, b_.field(member), NeutralityKind::plain, style);
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
            b_.row(label, mismatchLabel, b_.column(quantile), NeutralityKind::plain);
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
    e.plain("M", &PopGenetics::spaM, NeutralityStyle::scientificFromE5);
    e.quantiles("M", &PopGenetics::spaMQuantiles);
    e.plain("SSD", &PopGenetics::spaSSD, NeutralityStyle::fixed5);
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
    b.rule(mismatchWidth);
}

}  // namespace

NeutralityTables compute_neutrality_tables(Samples& set, settings const& s) {
    NeutralityTables t;
    // Neither block exists for microsatellite data.
    if (set.dataType == MICROSAT || set.Populations.count < 1) return t;
    Block const block{set, s, t};
    neutrality_block(block);
    mismatch_block(block);
    return t;
}

void write_neutrality_tables(std::ostream& os, int w, Samples& set, settings& s, NeutralityTables const& t) {
    RowWriter const rows(os, w, set.Populations.count);
    for (NeutralityPiece const& p : t.pieces) {
        switch (p.what) {
            case NeutralityPiece::What::open:
                set.print_computation_anchor(2, s, my_string(p.key), my_string(p.text.c_str()));
                summary_heading(os, p.text.c_str());
                os << "\n";
                rows.rule(p.fixedWidth);
                rows.header(set, p.labelWidth);
                rows.rule(p.fixedWidth);
                break;
            case NeutralityPiece::What::subTitle:
                os << p.text << "\n" << std::string(p.text.size(), '-') << "\n";
                break;
            case NeutralityPiece::What::title:
                os << "\n" << p.text << "\n" << std::string(p.text.size(), '-') << "\n";
                break;
            case NeutralityPiece::What::row:
                rows.row(p.row);
                break;
            case NeutralityPiece::What::rule:
                rows.rule(p.fixedWidth);
                break;
        }
    }
}

void take_neutrality_line(SummaryLine& line, NeutralityTables const& t) {
    if (t.d) {
        line.d = *t.d;
        line.dSd.emplace();
        line.meanD = t.meanD;
        line.sdD = t.sdD;
    }
    if (t.fs) {
        line.fs = *t.fs;
        line.fsSd.emplace();
        line.meanFS = t.meanFS;
        line.sdFS = t.sdFS;
    }
}

void Samples::WriteNeutralityAndMismatchTables(settings& s, int w) {
    NeutralityTables const tables = compute_neutrality_tables(*this, s);
    take_neutrality_line(summary_line, tables);
    if (tables.pieces.empty()) return;
    // Without a result file the tables go nowhere (their menu entries are
    // still made).
    std::ostream discard(nullptr);
    std::ostream& os = s.ResultFile != nullptr ? static_cast<std::ostream&>(*s.ResultFile) : discard;
    write_neutrality_tables(os, w, *this, s, tables);
}

}  // namespace quintle
