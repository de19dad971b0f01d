#include "project/Samples.h"

#include <cstdint>
#include <iomanip>
#include <ostream>

#include "core/Errors.h"
#include "core/checked_int.h"
#include "data/HaploDef.h"
#include "data/Haplo_DB.h"
#include "data/TAlleleDB.h"
#include "data/TLocus.h"
#include "data/TPhenotype.h"
#include "run/settings.h"
#include "run/task_bits.h"

namespace quintle {

Samples::~Samples() { clean(); }

void Samples::clean() {
    Populations.Flush();
    // The hit counts are shared by every simulation: only a set that has run
    // one may clear them.
    if (Tree.num_genes != 0) {
        TNode::hits.count = 0;
        TNode::hits.auxCount = 0;
    }
}

void Samples::set_data_context(TDataType type, char separator) {
    dataType = type;
    locusSeparator = separator;
    for (long i = 0; i < Populations.count; ++i)
        if (Population* p = Populations.data[i]) {
            p->dataType = type;
            p->locusSeparator = separator;
        }
}

// ------------------------------------------------ operations on every sample

void Samples::phen_to_gam(Haplo_DB* haplotypes, ProfileSettings* profile, settings* run) {
    long const n = Populations.count;
    for (long i = 0; i < n; ++i)
        if (Population* p = Populations.data[i]) p->phen_to_gam(haplotypes, profile, run);
}

void Samples::build_all_vectors(char const& separator) {
    long const n = Populations.count;
    for (long i = 0; i < n; ++i)
        if (Population* p = Populations.data[i]) p->build_allele_vectors(separator);
}

void Samples::init_all_pointers(TAlleleDB* alleles) {
    for (long i = 0; i < Populations.count; ++i)
        if (Population* p = Populations.data[i]) p->alleleDB = alleles;
}

void Samples::h_pop_db_to_gam(Haplo_DB& haplotypes) {
    for (long i = 0; i < Populations.count; ++i)
        if (Population* p = Populations.data[i]) p->h_pop_db_to_gam(&haplotypes, nullptr);
}

void Samples::evaluate_work(settings& run) {
    settings::global_work_to_do = 0.0;
    settings::global_work_done = 0.0;
    for (long i = 0; i < Populations.count; ++i)
        if (Population* p = Populations.data[i]) p->evaluate_work(&run);

    // The set-level terms that depend on the data read the first sample; an
    // empty set contributes no loci there.
    Population* first = Populations.count > 0 ? Populations.data[0] : nullptr;
    double const n = static_cast<double>(Populations.count);
    double const pairs = n * (n - 1.0) / 2.0;
    double W = 0.0;

    if (run.TaskNumber & task_amova) {
        double const L = first != nullptr ? static_cast<double>(first->evaluate_nb_loci()) : 0.0;
        double const f = run.IncludeIndividualLevel != 0 ? 4.0 : 3.0;
        double const perms = static_cast<double>(run.NumPermutationsAMOVA);
        if (run.HaplAMOVA != 0) W += perms * f / 100.0;
        if (run.LocByLocAMOVA != 0) W += perms * (L * f) / 100.0;
    }
    if (run.TaskNumber & task_pairwise_fst) W += static_cast<double>(run.NumPermutationsFST) * pairs / 100.0;
    if (run.TaskNumber & task_exact_differentiation) {
        double const d = run.NumPermutPopDiff > 19999 ? 1000.0 : 500.0;
        W += static_cast<double>(run.NumPermutPopDiff) * (pairs + 1.0) / d;
    }
    if (run.DetectSelectedLoci != 0) {
        // Integer products as the estimate defines them, in 64 bits so that
        // a large simulation count cannot overflow.
        std::int64_t const loci =
            first != nullptr && first->alleleDB != nullptr ? first->alleleDB->loci.count : 0;
        W += static_cast<double>(std::int64_t{10} * run.NumberOfSimsForFDist2);
        W += static_cast<double>(std::int64_t{3} * loci);
    }
    settings::global_work_to_do += W;
}

// ------------------------------------------------------------------ writers

std::ostream& operator<<(std::ostream& os, Samples& s) {
    os << "\n\t[[Samples]]\n\n";
    for (long i = 0; i < s.Populations.count; ++i)
        if (Population const* p = s.Populations.data[i]) os << *p;
    os << "\n\n";
    return os;
}

void Print(Population& p, void* stream) {
    std::ostream& os = *static_cast<std::ostream*>(stream);
    bool const genotypic = p.profile.GenotypicData != 0;
    double const size = genotypic ? p.SampleSize / 2.0 : p.SampleSize;
    int shown = 0;
    if (!checked_int(size, shown)) shown = 0;  // no real sample is that large
    os << "\t\tSampleName=\"" << p.name << "\"\n";
    os << "\t\tSampleSize=" << shown << "\n";
    os << "\t\tSampleData={" << "\n";
    if (p.phenotypes.size() > 0 && genotypic) {
        for (long i = 0; i < p.phenotypes.size(); ++i)
            if (TPhenotype const* ph = p.phenotypes[i]) os << *ph;
    } else {
        for (long i = 0; i < p.haplotypes.count; ++i) {
            PHaploDef const* entry = p.haplotypes.data[i];
            os << std::right << std::setfill(' ') << std::setw(16);
            if (entry != nullptr && entry->haplotype != nullptr)
                os << entry->haplotype->id;
            else
                os << "ERROR";
            os << std::fixed << std::setprecision(2) << std::right << std::setfill(' ') << std::setw(10)
               << (entry != nullptr ? entry->count : 0) << std::endl;
        }
    }
    os << "\t\t}" << std::endl;
}

void PrintName(Population& p, void* stream) { *static_cast<std::ostream*>(stream) << p.name; }

void printLine(std::ostream& os, int n) {
    for (int i = 0; i < n; ++i) os << '-';
    os << "\n";
}

double computeHeterozygosity(TLocus* locus, char /*unused*/) {
    if (locus == nullptr || locus->alleles.count == 0) return 0.0;
    double N = 0.0;
    for (long i = 0; i < locus->alleles.count; ++i)
        if (TAllele const* a = locus->alleles.data[i]) N += a->weight;
    double S = 0.0;
    if (N != 0.0) {
        for (long i = 0; i < locus->alleles.count; ++i) {
            if (TAllele const* a = locus->alleles.data[i]) {
                double const x = a->weight / N;
                S += x * x;
            }
        }
    }
    return N > 1.0 ? (1.0 - S) * N / (N - 1.0) : 0.0;
}

}  // namespace quintle
