// The genotype assignment test and its section "LIKELIHOOD OF INDIVIDUAL
// GENOTYPES IN ALL POPULATIONS". Nothing of it reaches the statistics line
// or the batch files. The number formats it sets (fixed, forced decimal
// point, right alignment, precision 3) stay on the result stream.

#include "structure/IndLikelihood.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <iomanip>
#include <limits>
#include <new>
#include <ostream>
#include <vector>

#include "core/Errors.h"
#include "core/References.h"
#include "core/TJSOut.h"
#include "core/xml.h"
#include "data/Population.h"
#include "data/TAllele.h"
#include "data/TAlleleDB.h"
#include "data/TLocus.h"
#include "data/TPhenDB.h"
#include "data/TPhenotype.h"
#include "data/TPopHaplotype.h"
#include "haplo/table_counts.h"
#include "project/Samples.h"
#include "run/settings.h"

namespace quintle {

namespace {

// ln 0.95
constexpr double ln_095 = -0.051293294387550585;
// A frequency below it counts as an absent allele.
constexpr double absent_frequency = 1e-15;

bool unphased_genotypes(Samples const& set) { return set.GenotypicData != 0 && set.GameticPhase == 0; }

// The allele's frequency in sample j, 0 when it has none there.
double frequency_in(TAllele const* a, int j) {
    if (a == nullptr || !a->popFreq || j >= a->popFreq.size()) return 0.0;
    return a->popFreq[j];
}

// Calls f(allele, locus, count) for every known gene copy of the
// individuals, at the first `loci` loci: the copies of an individual whose
// other allele is missing count as well. An entry stands for `count`
// individuals, as in the haplotype-frequency EM.
template <class F>
void for_each_known_copy(TPhenDB const& individuals, char missing, std::size_t loci, F&& f) {
    for (long i = 0; i < individuals.size(); ++i) {
        TPhenotype const* ind = individuals[i];
        if (ind == nullptr || !(ind->count > 0.0)) continue;
        for (TPopHaplotype const* g : {ind->pseudo1.get(), ind->pseudo2.get()}) {
            if (g == nullptr) continue;
            std::size_t const n = std::min(loci, static_cast<std::size_t>(g->alleles.count));
            for (std::size_t k = 0; k < n; ++k) {
                TAllele* a = g->alleles.data[k];
                if (!is_missing_allele(a, missing)) f(a, k, ind->count);
            }
        }
    }
}

}  // namespace

double assignment_min_frequency(long individuals) {
    return 1.0 - std::exp(ln_095 / (2.0 * static_cast<double>(individuals)));
}

void GenotypeLikelihood::add(double p1, double p2, bool differentAlleles) {
    if (p1 < absent_frequency) p1 = minimum_;
    if (p2 < absent_frequency) p2 = minimum_;
    double const factor = differentAlleles ? 2.0 : 1.0;
    q_ = q_ * p1 * p2;
    if (differentAlleles) q_ *= 2.0;
    lnSum_ += std::log(p1) + std::log(p2) + std::log(factor);
}

double GenotypeLikelihood::ln() const {
    return q_ >= std::numeric_limits<double>::min() ? std::log(q_) : lnSum_;
}

void IndLikelihood::calc_alleles_freqs() {
    if (samples == nullptr || runSettings == nullptr || !unphased_genotypes(*samples)) return;
    int const S = static_cast<int>(samples->Populations.count);
    TAllele::numPop = S;
    TAlleleDB* const db = runSettings->project_allele_db;
    if (db == nullptr) return;
    // Arrays left by other analyses (of another sample count) are never
    // read: every allele starts without one, and an allele no sample holds
    // counts as absent.
    db->reset_all_pop_freqs();
    char const missing = samples->MissingData;
    std::vector<double> copies(static_cast<std::size_t>(db->loci.count));
    for (int j = 0; j < S; ++j) {
        Population const* pop = samples->Populations.data[j];
        if (pop == nullptr) continue;
        std::fill(copies.begin(), copies.end(), 0.0);
        for_each_known_copy(pop->phenotypes, missing, copies.size(),
                            [&](TAllele*, std::size_t k, double c) { copies[k] += c; });
        for_each_known_copy(pop->phenotypes, missing, copies.size(), [&](TAllele* a, std::size_t k, double c) {
            if (!a->popFreq) {
                try {
                    a->popFreq = FreqArray::zeros(S);
                } catch (std::bad_alloc const&) {
                    E.error(MEMORY, "IndLikelihood::calc_alleles_freqs()", Msg::m0_not_enough_memory);
                    return;
                }
            }
            a->popFreq[j] += c / copies[k];
        });
    }
}

void IndLikelihood::calc_alleles_freqs_without_one_individual(int const&, int const&) { calc_alleles_freqs(); }

void IndLikelihood::likelihood_in_a_pop(Population* scored) {
    if (scored == nullptr || samples == nullptr || runSettings == nullptr || runSettings->ResultFile == nullptr ||
        !unphased_genotypes(*samples))
        return;
    std::ostream& out = *runSettings->ResultFile;
    long const S = samples->Populations.count;
    TPhenDB const& individuals = scored->phenotypes;
    char const missing = samples->MissingData;
    for (long i = 0; i < individuals.size(); ++i) {
        TPhenotype const* ind = individuals[i];
        if (ind == nullptr) continue;
        out << std::setw(columnWidth) << ind->name << "\t";
        for (long j = 0; j < S; ++j) {
            Population const* in = samples->Populations.data[j];
            long const n = in != nullptr ? in->phenotypes.size() : 0;
            // A sample left without individuals has no frequencies: its
            // minimum frequency would be 1 and outscore every other sample.
            if (n == 0) {
                out << std::setw(columnWidth) << "N.A.";
                continue;
            }
            // n counts every individual of the sample, also those missing
            // at some locus.
            minFrequency = assignment_min_frequency(n);
            GenotypeLikelihood q(minFrequency);
            TPopHaplotype const* g1 = ind->pseudo1.get();
            TPopHaplotype const* g2 = ind->pseudo2.get();
            long const loci = g1 != nullptr ? g1->alleles.count : 0;
            for (long k = 0; k < loci; ++k) {
                TAllele const* a1 = g1->alleles.data[k];
                TAllele const* a2 = g2 != nullptr && k < g2->alleles.count ? g2->alleles.data[k] : nullptr;
                // A locus at which the genotype holds a missing allele is
                // left out in every sample, so that missing data favour none.
                if (is_missing_allele(a1, missing) || is_missing_allele(a2, missing)) continue;
                q.add(frequency_in(a1, static_cast<int>(j)), frequency_in(a2, static_cast<int>(j)), a1 != a2);
            }
            out << std::setw(columnWidth) << q.ln();
        }
        out << std::endl;
    }
}

int IndLikelihood::run() {
    columnWidth = 10;
    if (runSettings == nullptr || runSettings->ResultFile == nullptr) return 1;
    settings& s = *runSettings;
    std::ostream& out = *s.ResultFile;
    long const S = samples != nullptr ? samples->Populations.count : 0;

    print_js_doc_entry(s, 1, "_genot_assignment", "Genotype assignment");
    out << "\n===========================================================\n"
        << "== LIKELIHOOD OF INDIVIDUAL GENOTYPES IN ALL POPULATIONS ==\n"
        << "===========================================================\n\n";
    References(out, my_string("Assignment_1995"), 0);
    References(out, my_string("Assignment_1997"), 2);
    out << "\nList of labels for population samples used below:" << "\n=================================================\n";
    TXmlTag const labels("genotPopLabels");
    if (xmlOutput) out << labels.open() << "\n";
    out << "Sample label  \tSample name\n" << "------------  \t----------\n";
    for (long i = 0; i < S; ++i) {
        Population const* p = samples->Populations.data[i];
        out << "       " << i + 1 << ":\t";
        if (p != nullptr) out << p->name;
        out << "\n";
    }
    if (xmlOutput) out << labels.close() << "\n";

    calc_alleles_freqs();
    out << "\n";

    for (long i = 0; i < S; ++i) {
        Population* scored = samples->Populations.data[i];
        TXmlTag matrix("genotypeLikelihoodMatrix");
        if (xmlOutput) {
            matrix.attributeName = "pop";
            if (scored != nullptr) matrix.attributeValue = scored->name;
            out << matrix.open() << "\n";
        }
        out << "Sample" << std::right << i + 1 << "\n----------\n";
        out << std::setw(columnWidth) << "   ";
        for (long j = 0; j < S; ++j) out << std::setw(columnWidth) << j + 1;
        out << "\n";
        out << std::fixed << std::showpoint << std::right << std::setprecision(3);
        likelihood_in_a_pop(scored);
        out << "\n";
        if (xmlOutput) out << matrix.close() << "\n";
    }

    if (s.project_allele_db != nullptr) s.project_allele_db->reset_all_pop_freqs();
    return 1;
}

}  // namespace quintle
