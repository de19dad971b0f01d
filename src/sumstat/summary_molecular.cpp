// The microsatellite tables of the standard block ("Allelic size range",
// "Garza-Williamson index", "Garza-Williamson modified index"), the hand-off
// to the allele-frequency files and spectra at the end of that block, and the
// "Molecular diversity indexes" table of the within-sample summary section.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ios>
#include <iomanip>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/xml.h"
#include "data/TAlleleDB.h"
#include "datatypes/PopulDNA.h"
#include "popstats/PopGenetics.h"
#include "project/Samples.h"
#include "run/glbobj.h"
#include "run/settings.h"
#include "run/task_bits.h"
#include "sumstat/summary_frame.h"

namespace quintle {
namespace {

// The label of a row of a table whose frame is written by SummaryTable or
// the frame helpers: a label of fixed width, one column of width w per
// sample, then "Mean" and "s.d." (12 characters each).
class Rows {
public:
    Rows(std::ostream& os, int labelWidth) : os_(os), labelWidth_(labelWidth) {}

    template <class Label>
    void label(Label const& text) const { os_ << std::setw(labelWidth_) << text; }

private:
    std::ostream& os_;
    int labelWidth_;
};

template <class T>
double at(MY_TArrayAsVector<T> const& a, long i) {
    return i < a.count ? static_cast<double>(a[i]) : 0.0;
}

// The one-letter IUPAC ambiguity codes, upper case, as whole texts.
// A state the pooled count of polymorphic sites leaves out: a deletion,
// missing data and, when asked, an ambiguity code.
bool set_aside_state(std::string_view state, char missing, bool withAmbiguity) {
    if (state == "-" || (!state.empty() && state.front() == missing)) return true;
    return withAmbiguity && state.size() == 1 && state.front() != '\0' &&
           std::strchr("RYKMSWBDHVN", state.front()) != nullptr;
}

// Without a result file the tables go nowhere, but the statistics line
// still gets its values.
std::ostream& result_stream(settings& s, std::ostream& discard) {
    return s.ResultFile != nullptr ? static_cast<std::ostream&>(*s.ResultFile) : discard;
}

bool flag_at(std::vector<int> const& v, long i) {
    return i < static_cast<long>(v.size()) && v[static_cast<std::size_t>(i)] != 0;
}

// Values of one row, one per sample in set order.
template <class Value>
std::vector<double> sample_column(Samples& set, Value value) {
    long const n = set.Populations.count;
    std::vector<double> v;
    v.reserve(static_cast<std::size_t>(n));
    for (long i = 0; i < n; ++i) v.push_back(value(std::as_const(summary_sample(set, i))));
    return v;
}

// Sites polymorphic in the pooled samples: a site some sample marks as usable
// and polymorphic, where the first sample's list of states keeps at least two
// real states once gaps, missing data and (for DNA) ambiguity codes are set
// aside.
int pooled_polymorphic_sites(Samples& set, bool withAmbiguity) {
    long const n = set.Populations.count;
    long const c = PopGenetics::globalSubstPolymSites.count;
    Population const* first = set.Populations[0];
    TAlleleDB const* db = first->alleleDB;
    char const missing = first->profile.MissingData;
    int count = 0;
    for (long i = 0; i < c; ++i) {
        bool taken = false;
        for (long k = 0; k < n && !taken; ++k) {
            PopGenetics const& p = summary_sample(set, k);
            taken = flag_at(p.usableSite, i) && flag_at(p.polymorphicLocus, i);
        }
        if (!taken || db == nullptr) continue;
        if (CharacterAlleles const* characters = db->characters(); characters != nullptr && db->loci.count == 0) {
            // Rows over shared character alleles: the site's characters
            // stand for its alleles after the blank.
            std::string const* states = characters->several_states(i);
            if (states == nullptr) continue;
            long setAside = 0;
            for (char const c : *states)
                if (set_aside_state(std::string_view(&c, 1), missing, withAmbiguity)) ++setAside;
            if (1 + static_cast<long>(states->size()) - setAside > 2) ++count;
            continue;
        }
        if (i >= db->loci.count || db->loci[i] == nullptr) continue;
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
            my_string const& name = a->name;
            std::string_view const state(name.c_str(), static_cast<std::size_t>(name.length()));
            if (set_aside_state(state, missing, withAmbiguity)) ++setAside;
        }
        if (entries - setAside > 2) ++count;
    }
    return count;
}

}  // namespace

namespace {

// A row of one value per sample with their mean and s.d.
SummaryRowValues summarised(std::vector<double> values) {
    SummaryRowValues row;
    SummarySums const m = summary_sums(values);
    row.mean = m.mean();
    row.sd = m.sd();
    row.values = std::move(values);
    return row;
}

// The sample cells of a row with its mean and s.d.; counts as integers.
void write_row(std::ostream& os, int w, SummaryRowValues const& row, bool counts) {
    for (double x : row.values) {
        if (counts)
            os << std::setw(w) << summary_count(x);
        else
            os << std::setw(w) << x;
    }
    os << std::setw(12) << row.mean << std::setw(12) << row.sd;
}

// The "Mean" and "s.d." rows that close a per-locus table; with
// `totals`, the total column's mean and s.d.
void write_mean_and_sd_rows(Rows const& t, std::ostream& os, int w, SummaryRowValues const& mean,
                            SummaryRowValues const& sd, bool totals) {
    t.label("Mean");
    write_row(os, w, mean, false);
    if (totals) os << std::setw(12) << mean.total;
    os << "\n";
    t.label("s.d.");
    write_row(os, w, sd, false);
    if (totals) os << std::setw(12) << sd.total;
    os << "\n";
}

}  // namespace

MicrosatSummaryValues compute_microsat_summary(Samples& set, std::vector<double> const& totNumAlleles) {
    MicrosatSummaryValues v;
    long const n = set.Populations.count;
    if (n < 1) return v;
    long const L = static_cast<long>(totNumAlleles.size());
    auto column = [&set](auto value) { return sample_column(set, value); };

    // Allelic size range.
    std::vector<double> totRange(static_cast<std::size_t>(L), 0.0);
    double totGW = 0.0;
    for (long l = 0; l < L; ++l) {
        SummaryRowValues row = summarised(column([l](PopGenetics const& p) { return at(p.locusAllelicRange, l); }));
        // The pooled samples' range: largest size of any sample minus the
        // smallest of any.
        double largest = at(summary_sample(set, 0).locusMaxAlleleSize, l);
        double smallest = at(summary_sample(set, 0).locusMinAlleleSize, l);
        for (long i = 1; i < n; ++i) {
            largest = std::max(largest, at(summary_sample(set, i).locusMaxAlleleSize, l));
            smallest = std::min(smallest, at(summary_sample(set, i).locusMinAlleleSize, l));
        }
        double const total = std::trunc(largest - smallest);
        totRange[static_cast<std::size_t>(l)] = total;
        row.total = total;
        v.range.push_back(std::move(row));
        totGW += totNumAlleles[static_cast<std::size_t>(l)] / (total + 1.0);
    }
    if (L > 0) totGW /= static_cast<double>(L);
    v.totGW = totGW;
    SummarySums const overLoci = summary_sums(totRange);
    v.rangeMean = summarised(column([](PopGenetics const& p) { return p.meanAllelicRange; }));
    v.rangeMean.total = overLoci.mean();
    v.rangeSd = summarised(column([](PopGenetics const& p) { return p.meanAllelicRangeSd; }));
    v.rangeSd.total = overLoci.sd();

    // Garza-Williamson index.
    for (long l = 0; l < L; ++l)
        v.gw.push_back(summarised(column([l](PopGenetics const& p) { return at(p.locusGarzaWilliamson, l); })));
    v.gwMean = summarised(column([](PopGenetics const& p) { return p.meanGW; }));
    v.gwSd = summarised(column([](PopGenetics const& p) { return p.meanGWSd; }));

    // Garza-Williamson modified index. Each sample's sum and sum of squares
    // over loci continue from what its modified-index results hold (0 after
    // a reset).
    std::vector<double> sum = column([](PopGenetics const& p) { return p.meanModifiedGW; });
    std::vector<double> sumSq = column([](PopGenetics const& p) { return p.meanModifiedGWSd; });
    for (long l = 0; l < L; ++l) {
        double const scale = totRange[static_cast<std::size_t>(l)] + 1.0;
        std::vector<double> values = column([l, scale](PopGenetics const& p) {
            return at(p.locusGarzaWilliamson, l) * (at(p.locusAllelicRange, l) + 1.0) / scale;
        });
        for (std::size_t i = 0; i < values.size(); ++i) {
            sum[i] += values[i];
            sumSq[i] += values[i] * values[i];
        }
        v.ngw.push_back(summarised(std::move(values)));
    }
    std::vector<double> means(sum.size(), 0.0);
    std::vector<double> sds(sum.size(), 0.0);
    double const dl = static_cast<double>(L);
    for (std::size_t i = 0; i < sum.size(); ++i) {
        // Without locus rows there is no mean to take: 0, not 0/0.
        if (L > 0) means[i] = sum[i] / dl;
        double const var = L > 0 ? sumSq[i] / dl - means[i] * means[i] : 0.0;
        if (L >= 2 && var > 0.0) sds[i] = std::sqrt(var * dl / (dl - 1.0));
        if (auto* p = dynamic_cast<PopGenetics*>(set.Populations[static_cast<long>(i)])) {
            p->meanModifiedGW = means[i];
            p->meanModifiedGWSd = sds[i];
        }
    }
    v.ngwMean = summarised(std::move(means));
    v.ngwSd = summarised(std::move(sds));
    return v;
}

void write_microsat_summary(Samples& set, settings& s, std::ostream& os, int w, MicrosatSummaryValues const& v) {
    Rows const t(os, 6);
    {
        static SummaryTableLayout const layout{
            "allRange", "Allelic range", "Allelic size range", "sumAllelicSizeRange", "range", "Locus#", 6,
            "Tot. range"};
        SummaryTable frame(set, s, os, w, layout);
        frame.open();
        os.precision(3);
        for (std::size_t l = 0; l < v.range.size(); ++l) {
            t.label(static_cast<long>(l + 1));
            write_row(os, w, v.range[l], true);
            os << std::setw(12) << static_cast<long long>(v.range[l].total) << "\n";
        }
        write_mean_and_sd_rows(t, os, w, v.rangeMean, v.rangeSd, true);
        frame.close();
    }
    {
        static SummaryTableLayout const layout{
            "GW", "Garza-Williamson index", "Garza-Williamson index", "sumGWIndex", "GWIndex", "Locus#", 6, nullptr};
        SummaryTable frame(set, s, os, w, layout);
        frame.open();
        os.precision(5);
        for (std::size_t l = 0; l < v.gw.size(); ++l) {
            t.label(static_cast<long>(l + 1));
            write_row(os, w, v.gw[l], false);
            os << "\n";
        }
        write_mean_and_sd_rows(t, os, w, v.gwMean, v.gwSd, false);
        frame.close();
    }
    {
        static SummaryTableLayout const layout{
            "GWN", "Garza-Williamson modified index", "Garza-Williamson modified index", "sumModGWIndex",
            "modGWIndex", "Locus#", 6, nullptr};
        SummaryTable frame(set, s, os, w, layout);
        frame.open();
        os.precision(5);
        for (std::size_t l = 0; l < v.ngw.size(); ++l) {
            t.label(static_cast<long>(l + 1));
            write_row(os, w, v.ngw[l], false);
            os << "\n";
        }
        write_mean_and_sd_rows(t, os, w, v.ngwMean, v.ngwSd, false);
        frame.close();
    }
}

void take_microsat_summary(SummaryLine& line, MicrosatSummaryValues const& v) {
    line.totGW = v.totGW;
    line.r = v.rangeMean.values;
    line.rSd = v.rangeSd.values;
    line.meanR = v.rangeMean.mean;
    line.sdR = v.rangeMean.sd;
    line.totR = v.rangeMean.total;
    line.gw = v.gwMean.values;
    line.gwSd = v.gwSd.values;
    line.meanGW = v.gwMean.mean;
    line.sdGW = v.gwMean.sd;
    line.ngw = v.ngwMean.values;
    line.ngwSd = v.ngwSd.values;
    line.meanNGW = v.ngwMean.mean;
    line.sdNGW = v.ngwMean.sd;
}

void Samples::WriteMicrosatSummaryTables(settings& s, int w, std::span<double const> totNumAlleles) {
    if (dataType != MICROSAT || Populations.count < 1) return;
    MicrosatSummaryValues const values =
        compute_microsat_summary(*this, std::vector<double>(totNumAlleles.begin(), totNumAlleles.end()));
    take_microsat_summary(summary_line, values);
    std::ostream discard(nullptr);
    write_microsat_summary(*this, s, result_stream(s, discard), w, values);
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

namespace {

GuardedRowValues guarded_row(char const* label, std::vector<double> values) {
    GuardedRowValues g;
    g.label = label;
    bool any = false;
    for (double x : values) {
        bool const missing = summary_not_computed(x);
        any = any || missing;
        g.missing.push_back(missing);
    }
    g.row = summarised(std::move(values));
    g.row.meanSdKnown = !any && !summary_not_computed(g.row.mean);
    return g;
}

}  // namespace

MolecularDiversityValues compute_molecular_diversity(Samples& set, settings& s) {
    MolecularDiversityValues v;
    TDataType const type = set.dataType;
    auto column = [&set](auto value) { return sample_column(set, value); };
    // DNA counts; a sample of another class has none.
    auto dna = [&column](int PopulDNA::*field) {
        return summarised(column([field](PopGenetics const& p) {
            auto const* d = dynamic_cast<PopulDNA const*>(&p);
            return d != nullptr ? static_cast<double>(d->*field) : 0.0;
        }));
    };
    bool const pooled = PopGenetics::globalSubstPolymSites.count > 0;
    if (type == DNA || type == RFLP) {
        v.piOnLine = true;
        v.pi = summarised(column([](PopGenetics const& p) { return p.meanPairwiseDiff; }));
    }
    if (type == DNA) {
        v.dnaRows = true;
        for (int PopulDNA::*field : {&PopulDNA::numTransitions, &PopulDNA::numTransversions,
                                     &PopulDNA::numSubstitutions, &PopulDNA::numIndels,
                                     &PopulDNA::numTransitionSites, &PopulDNA::numTransversionSites,
                                     &PopulDNA::numSubstitutionSites})
            v.counts.push_back(dna(field));
        if (pooled) v.pooledSites = pooled_polymorphic_sites(set, true);
        set.computeNumPrivateSubstSitesPerPop(s);
        v.privateSites =
            summarised(column([](PopGenetics const& p) { return static_cast<double>(p.numPrivateSubstSites); }));
        v.indelSites = dna(&PopulDNA::numIndelSites);
    } else if (pooled) {
        // RFLP and frequency data: no per-sample rows, only the total.
        v.pooledSites = pooled_polymorphic_sites(set, false);
    }

    auto theta = [&](char const* label, double PopGenetics::*field) {
        v.theta.push_back(guarded_row(label, column([field](PopGenetics const& p) { return p.*field; })));
    };
    bool const unphasedGenotypes = s.GenotypicData != 0 && s.GameticPhase == 0;
    if ((s.ComputeTheta & 4) != 0 && !unphasedGenotypes) {
        theta("Theta_k", &PopGenetics::thetaK);
        theta("Theta_k_lower", &PopGenetics::thetaKLow);
        theta("Theta_k_upper", &PopGenetics::thetaKHigh);
    }
    if ((s.ComputeTheta & 1) != 0) {
        theta("Theta_H", &PopGenetics::thetaHom);
        theta("s.d. Theta_H", &PopGenetics::thetaHomSd);
    }
    if (type != DNA && type != RFLP) return v;
    if ((s.ComputeTheta & 2) != 0) {
        theta("Theta_S", &PopGenetics::thetaS);
        theta("s.d. Theta_S", &PopGenetics::thetaSsd);
    }
    if ((s.ComputeTheta & 8) != 0) {
        theta("Theta_pi", &PopGenetics::thetaPi);
        theta("s.d. Theta_pi", &PopGenetics::thetaPiSd);
    }
    return v;
}

void write_molecular_diversity(Samples& set, settings& s, std::ostream& os, int w,
                               MolecularDiversityValues const& v) {
    long const n = set.Populations.count;
    Rows const t(os, 25);
    // Unlike SummaryTable, this table's opening tag takes a line of its own
    // and its closing tag comes before the closing rule.
    TXmlTag tag("sumMolecDivIndexes");
    tag.attributeName = "samp";
    tag.attributeValue = "moldiv";
    set.print_computation_anchor(2, s, my_string("moldiv"), my_string("Molecular diversity"));
    summary_heading(os, "Molecular diversity indexes");
    if (xmlOutput)
        os << tag.open() << "\n";
    else
        os << "\n";
    summary_rule(os, n, w, 49);
    summary_header(os, set, w, "Statistics", 25, nullptr);
    summary_rule(os, n, w, 49);
    os.setf(std::ios::fixed, std::ios::floatfield);
    os.setf(std::ios::showpoint);
    os.setf(std::ios::right, std::ios::adjustfield);
    os.precision(3);

    if (v.dnaRows) {
        static char const* const labels[] = {"No. of transitions", "No. of transversions", "No. of substitutions",
                                             "No. of indels",      "No. of ts. sites",     "No. of tv. sites",
                                             "No. of subst. sites"};
        for (std::size_t k = 0; k < v.counts.size() && k < 7; ++k) {
            t.label(labels[k]);
            os.precision(3);
            write_row(os, w, v.counts[k], true);
            if (k + 1 < 7) os << "\n";
        }
        if (v.pooledSites) os << "  Total:" << std::setw(12) << *v.pooledSites;
        os << "\n";

        t.label("No. private subst. sites");
        os.precision(3);
        write_row(os, w, v.privateSites, true);
        os << "\n";

        t.label("No. of indel sites");
        os.precision(3);
        write_row(os, w, v.indelSites, true);
        os << "\n";

        t.label("Pi");
        os.precision(5);
        write_row(os, w, v.pi, false);
        os << "\n\n";
    }

    os.precision(5);
    for (GuardedRowValues const& g : v.theta) {
        t.label(g.label);
        for (std::size_t i = 0; i < g.row.values.size(); ++i) {
            if (g.missing[i])
                os << std::setw(w) << "N.A.";
            else
                os << std::setw(w) << g.row.values[i];
        }
        if (g.row.meanSdKnown)
            os << std::setw(12) << g.row.mean << std::setw(12) << g.row.sd;
        else
            os << std::setw(12) << "N.A." << std::setw(12) << "N.A.";
        os << "\n";
    }

    if (xmlOutput) os << tag.close() << "\n";
    summary_rule(os, n, w, 49);
}

void take_molecular_diversity(SummaryLine& line, MolecularDiversityValues const& v) {
    if (v.pooledSites) line.totS = *v.pooledSites;
    if (v.dnaRows) line.privS = v.privateSites.values;
    if (v.piOnLine) {
        line.pi = v.pi.values;
        line.meanPi = v.pi.mean;
        line.sdPi = v.pi.sd;
    }
}

void Samples::WriteMolecularDiversityTable(settings& s, int w) {
    TDataType const type = dataType;
    if ((s.TaskNumber & task_molecular_diversity) == 0 || s.RecessiveAllelesEM != 0 || type == MICROSAT ||
        type == STANDARD)
        return;
    if (Populations.count < 1) return;
    MolecularDiversityValues const values = compute_molecular_diversity(*this, s);
    take_molecular_diversity(summary_line, values);
    std::ostream discard(nullptr);
    write_molecular_diversity(*this, s, result_stream(s, discard), w, values);
}

}  // namespace quintle
