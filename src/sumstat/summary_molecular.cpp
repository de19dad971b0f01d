// The microsatellite tables of the standard block ("Allelic size range",
// "Garza-Williamson index", "Garza-Williamson modified index"), the hand-off
// to the allele-frequency files and spectra at the end of that block, and the
// "Molecular diversity indexes" table of the within-sample summary section.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ios>
#include <iomanip>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "core/xml.h"
#include "data/TAlleleDB.h"
#include "datatypes/PopulDNA.h"
#include "popstats/PopGenetics.h"
#include "project/Samples.h"
#include "run/glbobj.h"
#include "run/settings.h"
#include "sumstat/TSumStat.h"
#include "sumstat/summary_frame.h"

namespace quintle {
namespace {

struct MeanSd {
    double mean = 0.0;
    double sd = 0.0;
};

// Mean and s.d. across the values by the section's rule (SummarySums).
MeanSd mean_sd(std::vector<double> const& v) {
    SummarySums sums;
    for (double x : v) sums.add(x);
    return {sums.mean(), sums.sd()};
}

bool not_computed(double v) { return std::isnan(v) || v < 0.0; }

// One table of the section: fixed label width, one column of width w per
// sample, then "Mean", "s.d." and an optional total column of width 12.
class Table {
public:
    Table(std::ostream& os, int w, int labelWidth, long nSamples)
        : os_(os), w_(w), labelWidth_(labelWidth), n_(nSamples) {}

    void rule(int fixedWidth) const { os_ << std::string(static_cast<std::size_t>(n_ * w_ + fixedWidth), '-') << "\n"; }

    void header(Samples const& set, char const* labelHeading, char const* totalHeading) const {
        os_.setf(std::ios::right, std::ios::adjustfield);
        os_ << std::setw(labelWidth_) << labelHeading;
        for (long i = 0; i < n_; ++i) os_ << std::setw(w_) << set.Populations[i]->name;
        os_ << std::setw(12) << "Mean" << std::setw(12) << "s.d.";
        if (totalHeading != nullptr) os_ << std::setw(12) << totalHeading;
        os_ << "\n";
    }

    // Fixed notation with the point shown, right-justified: set at the
    // first row and left in force.
    void first_row_format(int precision) const {
        os_.setf(std::ios::fixed, std::ios::floatfield);
        os_.setf(std::ios::showpoint);
        os_.setf(std::ios::right, std::ios::adjustfield);
        os_.precision(precision);
    }

    template <class Label>
    void label(Label const& text) const { os_ << std::setw(labelWidth_) << text; }

    // Counts: integer cells; Mean and s.d. from the values.
    MeanSd count_cells(std::vector<double> const& v) const {
        for (double x : v) os_ << std::setw(w_) << summary_count(x);
        return summary(v);
    }
    MeanSd plain_cells(std::vector<double> const& v) const {
        for (double x : v) os_ << std::setw(w_) << x;
        return summary(v);
    }
    // "N.A." for a value that was not computed; the summaries too when any
    // value is missing or the mean is.
    void guarded_cells(std::vector<double> const& v) const {
        bool missing = false;
        for (double x : v) {
            if (not_computed(x)) {
                missing = true;
                os_ << std::setw(w_) << "N.A.";
            } else {
                os_ << std::setw(w_) << x;
            }
        }
        MeanSd const m = mean_sd(v);
        if (missing || not_computed(m.mean)) {
            os_ << std::setw(12) << "N.A." << std::setw(12) << "N.A.";
        } else {
            os_ << std::setw(12) << m.mean << std::setw(12) << m.sd;
        }
    }

    std::ostream& out() const { return os_; }

private:
    MeanSd summary(std::vector<double> const& v) const {
        MeanSd const m = mean_sd(v);
        os_ << std::setw(12) << m.mean << std::setw(12) << m.sd;
        return m;
    }

    std::ostream& os_;
    int w_;
    int labelWidth_;
    long n_;
};

// "\n", dashes as long as the heading, "\n" and the heading; the caller ends
// the line (with the opening tag in XML form).
void heading(std::ostream& os, char const* text) {
    os << "\n" << std::string(std::strlen(text), '-') << "\n" << text;
}

TXmlTag summary_tag(char const* name, char const* cls) {
    TXmlTag tag(name);
    tag.attributeName = "samp";
    tag.attributeValue = cls;
    return tag;
}

void empty(TSumStat::Values& a) {
    a.count = 0;
    a.auxCount = 0;
}

void add_all(TSumStat::Values& a, std::vector<double> const& v) {
    for (double x : v) a.Add(x);
}

template <class T>
double at(MY_TArrayAsVector<T> const& a, long i) {
    return i < a.count ? static_cast<double>(a[i]) : 0.0;
}

// The one-letter IUPAC ambiguity codes, upper case, as whole texts.
bool is_ambiguity_code(my_string const& s) {
    char const c = s.c_str()[0];
    return s.length() == 1 && c != '\0' && std::strchr("RYKMSWBDHVN", c) != nullptr;
}

// Without a result file the tables go nowhere, but SumStat still gets its
// values.
std::ostream& result_stream(settings& s, std::ostream& discard) {
    return s.ResultFile != nullptr ? static_cast<std::ostream&>(*s.ResultFile) : discard;
}

bool flag_at(std::vector<int> const& v, long i) {
    return i < static_cast<long>(v.size()) && v[static_cast<std::size_t>(i)] != 0;
}

}  // namespace

void Samples::WriteMicrosatSummaryTables(settings& s, int w, std::span<double const> totNumAlleles) {
    long const n = Populations.count;
    if (ProfileSettings::DataType != MICROSAT || n < 1) return;
    std::ostream discard(nullptr);
    std::ostream& os = result_stream(s, discard);
    long const L = static_cast<long>(totNumAlleles.size());
    Table t(os, w, 6, n);

    auto column = [&](auto value) {
        std::vector<double> v;
        v.reserve(static_cast<std::size_t>(n));
        for (long i = 0; i < n; ++i) v.push_back(value(summary_sample(*this, i)));
        return v;
    };
    auto close_tag = [&](TXmlTag const& tag) {
        if (xmlOutput) os << tag.close() << "\n";
    };
    auto open_tag = [&](TXmlTag const& tag) {
        if (xmlOutput) os << tag.open(); else os << "\n";
    };

    // --- Allelic size range ---------------------------------------------
    std::vector<double> totRange(static_cast<std::size_t>(L), 0.0);
    {
        print_computation_anchor(2, s, my_string("allRange"), my_string("Allelic range"));
        heading(os, "Allelic size range");
        TXmlTag const tag = summary_tag("sumAllelicSizeRange", "range");
        open_tag(tag);
        t.rule(42);
        t.header(*this, "Locus#", "Tot. range");
        t.rule(42);
        t.first_row_format(3);

        SumStat.totGW = 0.0;
        for (long l = 0; l < L; ++l) {
            t.label(l + 1);
            t.count_cells(column([l](PopGenetics const& p) { return at(p.locusAllelicRange, l); }));
            // The pooled samples' range: largest size of any sample minus the
            // smallest of any.
            double largest = at(summary_sample(*this, 0).locusMaxAlleleSize, l);
            double smallest = at(summary_sample(*this, 0).locusMinAlleleSize, l);
            for (long i = 1; i < n; ++i) {
                largest = std::max(largest, at(summary_sample(*this, i).locusMaxAlleleSize, l));
                smallest = std::min(smallest, at(summary_sample(*this, i).locusMinAlleleSize, l));
            }
            double const total = std::trunc(largest - smallest);
            totRange[static_cast<std::size_t>(l)] = total;
            os << std::setw(12) << static_cast<long long>(total) << "\n";
            SumStat.totGW += totNumAlleles[static_cast<std::size_t>(l)] / (total + 1.0);
        }
        if (L > 0) SumStat.totGW /= static_cast<double>(L);
        MeanSd const overLoci = mean_sd(totRange);

        t.label("Mean");
        std::vector<double> const means = column([](PopGenetics const& p) { return p.meanAllelicRange; });
        empty(SumStat.rValues);
        empty(SumStat.rSdValues);
        add_all(SumStat.rValues, means);
        MeanSd const m = t.plain_cells(means);
        os << std::setw(12) << overLoci.mean << "\n";

        t.label("s.d.");
        std::vector<double> const sds = column([](PopGenetics const& p) { return p.meanAllelicRangeSd; });
        add_all(SumStat.rSdValues, sds);
        t.plain_cells(sds);
        os << std::setw(12) << overLoci.sd << "\n";

        SumStat.meanR = m.mean;
        SumStat.sdR = m.sd;
        SumStat.totR = overLoci.mean;
        t.rule(42);
        close_tag(tag);
    }

    // --- Garza-Williamson index -----------------------------------------
    {
        print_computation_anchor(2, s, my_string("GW"), my_string("Garza-Williamson index"));
        heading(os, "Garza-Williamson index");
        TXmlTag const tag = summary_tag("sumGWIndex", "GWIndex");
        open_tag(tag);
        t.rule(30);
        t.header(*this, "Locus#", nullptr);
        t.rule(30);
        t.first_row_format(5);
        for (long l = 0; l < L; ++l) {
            t.label(l + 1);
            t.plain_cells(column([l](PopGenetics const& p) { return at(p.locusGarzaWilliamson, l); }));
            os << "\n";
        }
        t.label("Mean");
        std::vector<double> const means = column([](PopGenetics const& p) { return p.meanGW; });
        empty(SumStat.gwValues);
        empty(SumStat.gwSdValues);
        add_all(SumStat.gwValues, means);
        MeanSd const m = t.plain_cells(means);
        os << "\n";
        if (SumStat.MEAN_GW) SumStat.meanGW = m.mean;
        if (SumStat.SD_GW) SumStat.sdGW = m.sd;

        t.label("s.d.");
        std::vector<double> const sds = column([](PopGenetics const& p) { return p.meanGWSd; });
        add_all(SumStat.gwSdValues, sds);
        t.plain_cells(sds);
        os << "\n";
        t.rule(30);
        close_tag(tag);
    }

    // --- Garza-Williamson modified index -------------------------------
    {
        print_computation_anchor(2, s, my_string("GWN"), my_string("Garza-Williamson modified index"));
        heading(os, "Garza-Williamson modified index");
        TXmlTag const tag = summary_tag("sumModGWIndex", "modGWIndex");
        open_tag(tag);
        t.rule(30);
        t.header(*this, "Locus#", nullptr);
        t.rule(30);
        t.first_row_format(5);

        // Each sample's sum and sum of squares over loci, continuing from
        // what its modified-index results hold (0 after a reset).
        std::vector<double> sum = column([](PopGenetics const& p) { return p.meanModifiedGW; });
        std::vector<double> sumSq = column([](PopGenetics const& p) { return p.meanModifiedGWSd; });
        for (long l = 0; l < L; ++l) {
            double const scale = totRange[static_cast<std::size_t>(l)] + 1.0;
            std::vector<double> const v = column([l, scale](PopGenetics const& p) {
                return at(p.locusGarzaWilliamson, l) * (at(p.locusAllelicRange, l) + 1.0) / scale;
            });
            for (std::size_t i = 0; i < v.size(); ++i) {
                sum[i] += v[i];
                sumSq[i] += v[i] * v[i];
            }
            t.label(l + 1);
            t.plain_cells(v);
            os << "\n";
        }
        std::vector<double> means(sum.size(), 0.0);
        std::vector<double> sds(sum.size(), 0.0);
        double const dl = static_cast<double>(L);
        for (std::size_t i = 0; i < sum.size(); ++i) {
            // Without locus rows there is no mean to take: 0, not 0/0.
            if (L > 0) means[i] = sum[i] / dl;
            double const var = L > 0 ? sumSq[i] / dl - means[i] * means[i] : 0.0;
            if (L >= 2 && var > 0.0) sds[i] = std::sqrt(var * dl / (dl - 1.0));
            if (auto* p = dynamic_cast<PopGenetics*>(Populations[static_cast<long>(i)])) {
                p->meanModifiedGW = means[i];
                p->meanModifiedGWSd = sds[i];
            }
        }
        t.label("Mean");
        empty(SumStat.ngwValues);
        empty(SumStat.ngwSdValues);
        add_all(SumStat.ngwValues, means);
        MeanSd const m = t.plain_cells(means);
        os << "\n";
        if (SumStat.MEAN_NGW) SumStat.meanNGW = m.mean;
        if (SumStat.SD_NGW) SumStat.sdNGW = m.sd;

        t.label("s.d.");
        add_all(SumStat.ngwSdValues, sds);
        t.plain_cells(sds);
        os << "\n";
        t.rule(30);
        close_tag(tag);
    }
}

void Samples::AlleleFrequencyHandOff(settings& s) {
    if (s.ComputeMissDataFreq) {
        // Rebuilt so that missing data take their share of the frequencies.
        PopGenetics::globalAllelicDB.destroy();
        for (long i = 0; i < Populations.count; ++i) {
            auto* p = dynamic_cast<PopGenetics*>(Populations[i]);
            if (p == nullptr) continue;
            if (s.GenotypicData) {
                p->computeAlleFreqDipl(p->phenotypes, s);
            } else {
                p->computeAlleFreqHapl(s);
            }
        }
    }
    if (s.ComputeAllAlleleFreqs) computeAndOutputAlleFreqPerPop(s);
    if (s.ComputePopSFS || s.ComputeJointSFS || s.ComputeMultiSFS) computeAndOutputSFS(s);
}

// Hooks: the allele-frequency files and the spectra are written elsewhere
// once they exist; until then asking for them writes nothing.
void Samples::computeAndOutputAlleFreqPerPop(settings&) {}
void Samples::computeAndOutputSFS(settings&) {}

void Samples::WriteMolecularDiversityTable(settings& s, int w) {
    long const n = Populations.count;
    TDataType const type = ProfileSettings::DataType;
    if ((s.TaskNumber & 2) == 0 || s.RecessiveAllelesEM != 0 || type == MICROSAT || type == STANDARD) return;
    if (n < 1) return;
    std::ostream discard(nullptr);
    std::ostream& os = result_stream(s, discard);
    Table t(os, w, 25, n);

    print_computation_anchor(2, s, my_string("moldiv"), my_string("Molecular diversity"));
    heading(os, "Molecular diversity indexes");
    TXmlTag const tag = summary_tag("sumMolecDivIndexes", "moldiv");
    if (xmlOutput) os << tag.open() << "\n"; else os << "\n";
    t.rule(49);
    t.header(*this, "Statistics", nullptr);
    t.rule(49);
    t.first_row_format(3);

    auto column = [&](auto value) {
        std::vector<double> v;
        v.reserve(static_cast<std::size_t>(n));
        for (long i = 0; i < n; ++i) v.push_back(value(std::as_const(summary_sample(*this, i))));
        return v;
    };
    // DNA counts; a sample of another class has none.
    auto dna = [&](int PopulDNA::*field) {
        return column([field](PopGenetics const& p) {
            auto const* d = dynamic_cast<PopulDNA const*>(&p);
            return d != nullptr ? static_cast<double>(d->*field) : 0.0;
        });
    };
    auto count_row = [&](char const* label, std::vector<double> const& v) {
        t.label(label);
        os.precision(3);
        t.count_cells(v);
    };

    // Sites polymorphic in the pooled samples: a site some sample marks as
    // usable and polymorphic, where the first sample's list of states keeps
    // at least two real states once gaps, missing data and (for DNA)
    // ambiguity codes are set aside.
    auto pooled_sites = [&](bool withAmbiguity) {
        long const c = PopGenetics::globalSubstPolymSites.count;
        Population const* first = Populations[0];
        TAlleleDB const* db = first->alleleDB;
        char const missing = first->profile.MissingData;
        int count = 0;
        for (long i = 0; i < c; ++i) {
            bool taken = false;
            for (long k = 0; k < n && !taken; ++k) {
                PopGenetics const& p = summary_sample(*this, k);
                taken = flag_at(p.usableSite, i) && flag_at(p.polymorphicLocus, i);
            }
            if (!taken || db == nullptr || i >= db->loci.count || db->loci[i] == nullptr) continue;
            auto const& states = db->loci[i]->alleles;
            long const entries = states.count;
            if (entries < 3) continue;
            long setAside = 0;
            for (long k = 1; k < entries; ++k) {
                TAllele const* a = states[k];
                if (a == nullptr) {
                    ++setAside;
                    continue;
                }
                my_string const& state = a->name;
                if (std::strcmp(state.c_str(), "-") == 0 || (state.length() > 0 && state.c_str()[0] == missing) ||
                    (withAmbiguity && is_ambiguity_code(state))) {
                    ++setAside;
                }
            }
            if (entries - setAside > 2) ++count;
        }
        return count;
    };

    long const c = PopGenetics::globalSubstPolymSites.count;
    if (type == DNA) {
        count_row("No. of transitions", dna(&PopulDNA::numTransitions));
        os << "\n";
        count_row("No. of transversions", dna(&PopulDNA::numTransversions));
        os << "\n";
        count_row("No. of substitutions", dna(&PopulDNA::numSubstitutions));
        os << "\n";
        count_row("No. of indels", dna(&PopulDNA::numIndels));
        os << "\n";
        count_row("No. of ts. sites", dna(&PopulDNA::numTransitionSites));
        os << "\n";
        count_row("No. of tv. sites", dna(&PopulDNA::numTransversionSites));
        os << "\n";
        count_row("No. of subst. sites", dna(&PopulDNA::numSubstitutionSites));
        if (c > 0) {
            int const pooled = pooled_sites(true);
            os << "  Total:" << std::setw(12) << pooled;
            if (SumStat.TOT_S) SumStat.totS = pooled;
        }
        os << "\n";

        t.label("No. private subst. sites");
        computeNumPrivateSubstSitesPerPop(s);
        std::vector<double> const priv = column([](PopGenetics const& p) {
            return static_cast<double>(p.numPrivateSubstSites);
        });
        empty(SumStat.privSValues);
        add_all(SumStat.privSValues, priv);
        os.precision(3);
        t.count_cells(priv);
        os << "\n";

        count_row("No. of indel sites", dna(&PopulDNA::numIndelSites));
        os << "\n";

        t.label("Pi");
        std::vector<double> const pi = column([](PopGenetics const& p) { return p.meanPairwiseDiff; });
        empty(SumStat.piValues);
        add_all(SumStat.piValues, pi);
        os.precision(5);
        MeanSd const m = t.plain_cells(pi);
        os << "\n\n";
        if (SumStat.MEAN_PI) SumStat.meanPi = m.mean;
        if (SumStat.SD_PI) SumStat.sdPi = m.sd;
    } else if (c > 0) {
        // RFLP and frequency data: no per-sample rows, only the total.
        int const pooled = pooled_sites(false);
        if (SumStat.TOT_S) SumStat.totS = pooled;
    }

    os.precision(5);
    auto theta_row = [&](char const* label, double PopGenetics::*field) {
        t.label(label);
        t.guarded_cells(column([field](PopGenetics const& p) { return p.*field; }));
        os << "\n";
    };
    bool const unphasedGenotypes = s.GenotypicData != 0 && s.GameticPhase == 0;
    if ((s.ComputeTheta & 4) != 0 && !unphasedGenotypes) {
        theta_row("Theta_k", &PopGenetics::thetaK);
        theta_row("Theta_k_lower", &PopGenetics::thetaKLow);
        theta_row("Theta_k_upper", &PopGenetics::thetaKHigh);
    }
    if ((s.ComputeTheta & 1) != 0) {
        theta_row("Theta_H", &PopGenetics::thetaHom);
        theta_row("s.d. Theta_H", &PopGenetics::thetaHomSd);
    }
    if (type == DNA || type == RFLP) {
        if ((s.ComputeTheta & 2) != 0) {
            theta_row("Theta_S", &PopGenetics::thetaS);
            theta_row("s.d. Theta_S", &PopGenetics::thetaSsd);
        }
        if ((s.ComputeTheta & 8) != 0) {
            theta_row("Theta_pi", &PopGenetics::thetaPi);
            theta_row("s.d. Theta_pi", &PopGenetics::thetaPiSd);
        }
    }

    if (xmlOutput) os << tag.close() << "\n";
    t.rule(49);
}

}  // namespace quintle
