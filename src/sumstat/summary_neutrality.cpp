// The end of the within-sample summary section: the "Neutrality tests" block
// (Ewens-Watterson, Chakraborty, Tajima's D, Fu's FS), which also hands
// Tajima's D and Fu's FS to SumStat, and the "Mismatch analysis" block.
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
#include "sumstat/TSumStat.h"
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

    // One row. With `store`, that array is emptied after the label and
    // receives every value in sample order.
    SummarySums row(char const* label, int labelWidth, std::vector<double> const& v, Kind kind,
               TSumStat::Values* store = nullptr, Style style = Style::usual) const {
        os_ << std::setw(labelWidth) << label;
        if (store != nullptr) {
            store->count = 0;
            store->auxCount = 0;
        }
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
            if (store != nullptr) store->Add(x);
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

}  // namespace

void Samples::WriteNeutralityAndMismatchTables(settings& s, int w) {
    long const n = Populations.count;
    TDataType const type = ProfileSettings::DataType;
    // Neither block exists for microsatellite data.
    if (type == MICROSAT || n < 1) return;
    // Without a result file the tables go nowhere, but SumStat still gets
    // its values.
    std::ostream discard(nullptr);
    std::ostream& os = s.ResultFile != nullptr ? static_cast<std::ostream&>(*s.ResultFile) : discard;
    RowWriter const rows(os, w, n);

    auto column = [&](auto value) {
        std::vector<double> v;
        v.reserve(static_cast<std::size_t>(n));
        for (long i = 0; i < n; ++i) v.push_back(value(std::as_const(summary_sample(*this, i))));
        return v;
    };
    auto field = [&](double PopGenetics::*member) {
        return column([member](PopGenetics const& p) { return p.*member; });
    };

    // --- Neutrality tests ------------------------------------------------
    std::int64_t const task = s.TaskNumber;
    bool const anyTest = (task & (task_tajima | task_ewens_watterson | task_chakraborty | task_fu_fs)) != 0;
    bool const unusableGenotypes = GenotypicData != 0 && (GameticPhase == 0 || s.RecessiveAllelesEM != 0);
    if (anyTest && !unusableGenotypes) {
        print_computation_anchor(2, s, my_string("neutests"), my_string("Neutrality tests"));
        summary_heading(os, "Neutrality tests");
        os << "\n";
        rows.rule(84);
        rows.header(*this, neutralityLabel);
        rows.rule(84);

        bool const infer = s.InferHaplotypeDefinitionFromDistanceMatrix != 0;
        char const* allelesLabel =
            infer && (GenotypicData == 0 || GameticPhase != 0) ? "Real no. of alleles" : "No. of alleles(unchecked)";
        bool const showOriginal = infer && GenotypicData == 0;
        std::vector<double> const sampleSize = column([](PopGenetics const& p) { return p.SampleSize; });
        std::vector<double> const alleles =
            column([](PopGenetics const& p) { return static_cast<double>(p.NbHaplotypeEntries); });
        std::vector<double> const original =
            column([](PopGenetics const& p) { return static_cast<double>(p.NbHaplotypeEntriesRead); });
        auto allele_rows = [&] {
            rows.row(allelesLabel, neutralityLabel, alleles, Kind::count);
            if (showOriginal) rows.row("Orig. no. of alleles", neutralityLabel, original, Kind::count);
        };

        if (task & task_ewens_watterson) {
            sub_title(os, "Ewens-Watterson test");
            rows.row("Sample size", neutralityLabel, sampleSize, Kind::count);
            allele_rows();
            rows.row("Observed F value", neutralityLabel, field(&PopGenetics::ewObservedF), Kind::guarded);
            rows.row("Expected F value", neutralityLabel, field(&PopGenetics::ewExpectedF), Kind::guarded);
            // The entity takes four characters of the field but shows as one.
            rows.row("   Watterson test: Pr(rand F &lt;= obs F)", neutralityLabel + 3, field(&PopGenetics::ewProbF),
                     Kind::guarded);
            rows.row("Slatkin's exact test P-value", neutralityLabel, field(&PopGenetics::slatkinExactP),
                     Kind::guarded);
        }
        if (task & task_chakraborty) {
            sub_title(os, "Chakraborty's test");
            rows.row("Sample size", neutralityLabel, sampleSize, Kind::count);
            allele_rows();
            rows.row("Obs. homozygosity", neutralityLabel, field(&PopGenetics::homozygosity), Kind::guardedByMean);
            rows.row("Exp. no. of alleles", neutralityLabel, field(&PopGenetics::expNumAlleles), Kind::plain);
            rows.row("P(k or more alleles)", neutralityLabel, field(&PopGenetics::probKOrMoreAlleles),
                     Kind::guarded);
        }
        if (type == DNA || type == RFLP) {
            if (task & task_tajima) {
                sub_title(os, "Tajima's D test");
                rows.row("Sample size", neutralityLabel, sampleSize, Kind::count);
                // Segregating sites: the substitution-polymorphic sites that
                // the DNA or RFLP class counted.
                std::vector<double> const segregating = column([](PopGenetics const& p) {
                    if (auto const* d = dynamic_cast<PopulDNA const*>(&p)) {
                        return static_cast<double>(d->numSubstitutionSites);
                    }
                    if (auto const* r = dynamic_cast<PopulRFLP const*>(&p)) {
                        return static_cast<double>(r->numSubstitutionSites);
                    }
                    return 0.0;
                });
                rows.row("S", neutralityLabel, segregating, Kind::count);
                rows.row("Pi", neutralityLabel, field(&PopGenetics::meanPairwiseDiff), Kind::plain);
                SumStat.dSdValues.count = 0;
                SumStat.dSdValues.auxCount = 0;
                SummarySums const d = rows.row("Tajima's D", neutralityLabel, field(&PopGenetics::tajimaD), Kind::plain,
                                          &SumStat.dValues);
                if (SumStat.MEAN_TAJIMAD) SumStat.meanD = d.mean();
                if (SumStat.SD_TAJIMAD) SumStat.sdD = d.sd();
                rows.row("Tajima's D p-value", neutralityLabel, field(&PopGenetics::tajimaP), Kind::guarded);
            }
            if (task & task_fu_fs) {
                sub_title(os, "Fu's FS test");
                allele_rows();
                rows.row("Theta_pi", neutralityLabel, field(&PopGenetics::thetaPi), Kind::guarded);
                rows.row("Exp. no. of alleles", neutralityLabel, field(&PopGenetics::expNumAlleles), Kind::plain);
                SumStat.fsSdValues.count = 0;
                SumStat.fsSdValues.auxCount = 0;
                SummarySums const fs =
                    rows.row("FS", neutralityLabel, field(&PopGenetics::fuFs), Kind::plain, &SumStat.fsValues);
                if (SumStat.MEAN_FUFS) SumStat.meanFS = fs.mean();
                if (SumStat.SD_FUFS) SumStat.sdFS = fs.sd();
                rows.row("FS p-value", neutralityLabel, field(&PopGenetics::fuFsP), Kind::guardedAtMinusOne);
            }
        }
        rows.rule(84);
    }

    // --- Mismatch analysis -------------------------------------------------
    if ((task & task_mismatch) == 0 || (type != DNA && type != RFLP) || (GenotypicData != 0 && GameticPhase == 0))
        return;
    print_computation_anchor(2, s, my_string("mismatch"), my_string("Mismatch analysis"));
    summary_heading(os, "Mismatch analysis");
    os << "\n";
    rows.rule(49);
    rows.header(*this, mismatchLabel);
    rows.rule(49);

    bool const boot = s.NumBootExpDem != 0;
    auto quantile_rows = [&](char const* name, double const (PopGenetics::*q)[4]) {
        if (!boot) return;
        static char const* const levels[4] = {" qt 2.5%", " qt 5%", " qt 95%", " qt 97.5%"};
        for (int k = 0; k < 4; ++k) {
            std::string const label = std::string(name) + levels[k];
            rows.row(label.c_str(), mismatchLabel,
                     column([q, k](PopGenetics const& p) { return (p.*q)[k]; }), Kind::plain);
        }
    };
    auto plain = [&](char const* label, double PopGenetics::*member, Style style = Style::usual) {
        rows.row(label, mismatchLabel, field(member), Kind::plain, nullptr, style);
    };
    auto boot_plain = [&](char const* label, double PopGenetics::*member) {
        if (boot) plain(label, member);
    };

    if (s.MismatchDemogExp) {
        os << "\nDemographic expansion" << "\n" << std::string(21, '-') << "\n";
        plain("Tau", &PopGenetics::demTau);
        quantile_rows("Tau", &PopGenetics::demTauQuantiles);
        plain("Theta0", &PopGenetics::demTheta0);
        quantile_rows("Theta0", &PopGenetics::demTheta0Quantiles);
        plain("Theta1", &PopGenetics::demTheta1);
        quantile_rows("Theta1", &PopGenetics::demTheta1Quantiles);
        plain("SSD", &PopGenetics::demSSD);
        boot_plain("Model (SSD) p-value", &PopGenetics::demSSDP);
        plain("Raggedness index", &PopGenetics::demRaggedness);
        boot_plain("Raggedness p-value", &PopGenetics::demRaggednessP);
    }
    if (s.MismatchSpatialExp) {
        os << "\nSpatial expansion" << "\n" << std::string(17, '-') << "\n";
        plain("Tau", &PopGenetics::spaTau);
        quantile_rows("Tau", &PopGenetics::spaTauQuantiles);
        plain("Theta", &PopGenetics::spaTheta);
        quantile_rows("Theta", &PopGenetics::spaThetaQuantiles);
        plain("M", &PopGenetics::spaM, Style::scientificFromE5);
        quantile_rows("M", &PopGenetics::spaMQuantiles);
        plain("SSD", &PopGenetics::spaSSD, Style::fixed5);
        boot_plain("Model (SSD) p-value", &PopGenetics::spaSSDP);
        plain("Raggedness index", &PopGenetics::spaRaggedness);
        boot_plain("Raggedness p-value", &PopGenetics::spaRaggednessP);
    }
    rows.rule(49);
}

}  // namespace quintle
