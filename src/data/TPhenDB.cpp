#include "data/TPhenDB.h"

#include <cfloat>
#include <cmath>
#include <iomanip>
#include <memory>
#include <new>

#include "core/Errors.h"
#include "data/TPopHaploDB.h"
#include "data/TPopHaplotype.h"

namespace quintle {

namespace {

// Log-likelihood of a set in which some phenotype has no probability.
constexpr double impossible_ln_likelihood = -static_cast<double>(FLT_MAX);

// Fills `dst` (not `src` itself) with one phenotype per phenotype of src,
// made by derive(copy, original), and takes src's log-likelihood. When
// memory runs out the failure is reported under `where` and dst keeps the
// phenotypes made so far.
template <class Derive>
void fill_derived(TPhenDB& dst, TPhenDB const& src, char const* where, Derive derive) {
    if (&dst == &src) return;
    dst.phenotypes.Flush();
    try {
        for (long i = 0; i < src.phenotypes.count; ++i) {
            auto p = std::make_unique<TPhenotype>();
            derive(*p, *src.phenotypes.data[i]);
            dst.phenotypes.Add(p.get());
            p.release();
        }
    } catch (std::bad_alloc const&) {
        E.error(MEMORY, where, Msg::m0_not_enough_memory);
    }
    dst.lnLikelihood = src.lnLikelihood;
}

}  // namespace

TPhenDB::TPhenDB(TPhenDB const& other) { copy_from(other); }

TPhenDB& TPhenDB::operator=(TPhenDB const& other) {
    if (this != &other) copy_from(other);
    return *this;
}

void TPhenDB::copy_from(TPhenDB const& other) {
    phenotypes.Flush();
    try {
        for (long i = 0; i < other.phenotypes.count; ++i) {
            TPhenotype const* p = other.phenotypes.data[i];
            if (p == nullptr) continue;
            auto copy = std::make_unique<TPhenotype>(*p);
            add(copy.get());
            copy.release();
        }
    } catch (std::bad_alloc const&) {
        E.error(MEMORY, "TPhenDB::operator=()", Msg::m0_not_enough_memory);
    }
    lnLikelihood = other.lnLikelihood;
    auxValue = other.auxValue;
    ambiguousInds = other.ambiguousInds;
    correctAmbiguousInds = other.correctAmbiguousInds;
}

// ---------------------------------------------------------------------------
// Phase resolutions and the EM steps

int TPhenDB::build_all_genotypes(TPopHaploDB& store, TAlleleDB* db, int const& recessive) {
    for (long i = 0; i < phenotypes.count; ++i) phenotypes.data[i]->build_genotypes(store, db, recessive, false);
    return 1;
}

double TPhenDB::calc_ln_likelihood() {
    double lk = 0.0;
    for (long i = 0; i < phenotypes.count; ++i) {
        TPhenotype const* p = phenotypes.data[i];
        if (!(p->probability > 0.0)) {
            lk = impossible_ln_likelihood;
            break;
        }
        lk += p->count * std::log(p->probability);
    }
    lnLikelihood = lk;
    return lk;
}

void TPhenDB::update_genotypes() {
    for (long i = 0; i < phenotypes.count; ++i) phenotypes.data[i]->update_gen_prob();
}

void TPhenDB::update_hapl_freq(TPopHaploDB& store) {
    store.reset_freq();
    for (long i = 0; i < phenotypes.count; ++i) phenotypes.data[i]->update_hapl_freq_in_genotypes();
}

double TPhenDB::convert_freq_to_real() {
    double total = 0.0;
    for (long i = 0; i < phenotypes.count; ++i) total += phenotypes.data[i]->count;
    for (long i = 0; i < phenotypes.count; ++i) phenotypes.data[i]->relFreq = phenotypes.data[i]->count / total;
    return total;
}

double TPhenDB::link_equil_ln_likelihood() const {
    double lk = 0.0;
    for (long i = 0; i < phenotypes.count; ++i) {
        TPhenotype* p = phenotypes.data[i];
        double const prob = p->link_equil_pheno_prob();
        if (!(prob > 0.0)) return impossible_ln_likelihood;
        lk += p->count * std::log(prob);
    }
    return lk;
}

void TPhenDB::check_pheno_redundancy() {
    long const n = phenotypes.count;
    for (long i = 0; i < n; ++i) phenotypes.data[i]->redundant = 0;
    for (long i = 0; i < n; ++i) {
        TPhenotype* pi = phenotypes.data[i];
        if (pi->redundant != 0) continue;
        for (long j = i + 1; j < n; ++j) {
            TPhenotype* pj = phenotypes.data[j];
            if (pj->redundant != 0 || !(*pi == *pj)) continue;
            pi->count += pj->count;
            pi->relFreq += pj->relFreq;
            pj->redundant = 1;
        }
    }
    // Keep the survivors in order, deleting the absorbed ones.
    long kept = 0;
    for (long i = 0; i < n; ++i) {
        TPhenotype*& slot = phenotypes.data[i];
        if (slot->redundant != 0) {
            delete slot;
            slot = nullptr;
        } else {
            std::swap(phenotypes.data[kept++], slot);
        }
    }
    phenotypes.count = kept;
}

int TPhenDB::nb_individuals() const {
    long long n = 0;
    for (long i = 0; i < phenotypes.count; ++i) n += truncate_count(phenotypes.data[i]->count);
    return truncate_count(static_cast<double>(n));
}

void TPhenDB::create_temp_PhenDB(int const* sel, TPhenDB const& src) {
    fill_derived(*this, src, "TPhenDB::create_temp_PhenDB()",
                 [sel](TPhenotype& copy, TPhenotype const& original) { copy.copy_restricted_pheno(sel, original); });
}

void TPhenDB::build_sub_PhenDB(int const* mask, TPhenDB const& src) {
    fill_derived(*this, src, "TPhenDB::build_sub_PhenDB()",
                 [mask](TPhenotype& copy, TPhenotype const& original) { copy.build_sub_phenotype(mask, original); });
}

int TPhenDB::num_loci() const {
    if (phenotypes.count == 0 || !phenotypes.data[0]->pseudo1) return 0;
    return static_cast<int>(phenotypes.data[0]->pseudo1->alleles.count);
}

// ---------------------------------------------------------------------------
// Printouts

void TPhenDB::printGenotypeFrequencies(std::ostream& os, double const& threshold) {
    os << "\n\n-------------------------------------------"
       << "\nMaximum-likelihood frequencies of genotypes"
       << "\n-------------------------------------------\n\n"
       << "(Haplotypes that are not listed above have a negative id)\n\n";
    for (long i = 0; i < phenotypes.count; ++i) phenotypes.data[i]->printGenotypeFreqs(os, static_cast<int>(i), threshold);
}

void TPhenDB::print_all_genotypes(std::ostream& os) const {
    os << "\n\nList of detailed genotypes"
       << "\n==========================\n\n";
    for (long i = 0; i < phenotypes.count; ++i) phenotypes.data[i]->print_detailed_genotypes(os);
}

std::ostream& operator<<(std::ostream& os, TPhenDB const& db) {
    for (long i = 0; i < db.phenotypes.count; ++i) os << *db.phenotypes.data[i] << std::endl;
    return os;
}

}  // namespace quintle
