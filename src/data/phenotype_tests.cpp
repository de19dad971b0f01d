// Operations on a phenotype set that serve the statistical tests of the
// haplotype-estimation code: the Hardy-Weinberg G statistic, the degrees of
// freedom of the linkage test, allele permutation, expansion into single
// individuals, random and resampled sets, and the phase-accuracy measures.

#include <cmath>
#include <iomanip>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "core/Errors.h"
#include "core/numerics.h"
#include "core/random.h"
#include "data/TAlleleDB.h"
#include "data/TPhenDB.h"
#include "data/TPopHaploDB.h"
#include "data/TPopHaplotype.h"

namespace quintle {

namespace {

constexpr double ln2 = 0.6931471805599453;

// n·ln n, with the limit 0 for n = 0 (a class nobody is in adds nothing).
double n_ln_n(double n) { return n > 0.0 ? n * std::log(n) : 0.0; }

TAllele* first_allele(TPopHaplotype const* h) {
    return h != nullptr && h->alleles.count > 0 ? h->alleles.data[0] : nullptr;
}

long num_alleles(TPopHaplotype const* h) { return h != nullptr ? h->alleles.count : 0; }

// The recessive allele stands first in its locus.
TAllele* recessive_allele(TAlleleDB const* db, int locus) {
    if (db == nullptr || locus < 0 || locus >= db->loci.count || db->loci.data[locus] == nullptr) return nullptr;
    TLocus const* l = db->loci.data[locus];
    for (long i = 0; i < l->alleles.count; ++i)
        if (l->alleles.data[i] != nullptr) return l->alleles.data[i];
    return nullptr;
}

bool is_missing(TAllele const* a, char missing) { return a != nullptr && a->name[0] == missing; }

}  // namespace

// ---------------------------------------------------------------------------
// Random individuals

TPhenDB::TPhenDB(int const& n, TPopHaploDB const& store) { create_random_list(n, store); }

void TPhenDB::create_random_list(int n, TPopHaploDB const& store) {
    constexpr int max_failures = 100;
    auxValue = 0.0;
    long one = 1;
    int failures = 0;
    for (int i = 0; i < n;) {
        double const u1 = ran3(&one);
        TPopHaplotype const* h1 = store.select_haplotype(u1);
        double const u2 = ran3(&one);
        TPopHaplotype const* h2 = store.select_haplotype(u2);
        if (h1 == nullptr || h2 == nullptr) {
            E.error(ERROR, "TPhenDB::create_random_list()", Msg::m116_allele_not_found);
            if (++failures > max_failures) return;
            continue;
        }
        try {
            auto p = std::make_unique<TPhenotype>(h1, h2, i);
            phenotypes.Add(p.get());
            p.release();
        } catch (std::bad_alloc const&) {
            E.error(MEMORY, "TPhenDB::create_random_list()", Msg::m0_not_enough_memory);
            return;
        }
        ++i;
    }
}

// ---------------------------------------------------------------------------
// Hardy-Weinberg statistic

double TPhenDB::hw_chi_stat(TAlleleDB* db, int locus, char missing, int& df) const {
    df = 0;
    for (long i = 0; i < phenotypes.count; ++i) {
        TPhenotype const* p = phenotypes.data[i];
        if (num_alleles(p->pseudo1.get()) != 1 || num_alleles(p->pseudo2.get()) != 1) {
            E.error(ERROR, "TPhenDB::hw_chi_stat()", Msg::m118_invalid_selected_locus_count);
            return -1000.0;
        }
    }

    TLocus const* l = db != nullptr && locus >= 0 && locus < db->loci.count ? db->loci.data[locus] : nullptr;
    std::vector<double> alleleCounts;
    try {
        if (l != nullptr) alleleCounts.assign(static_cast<std::size_t>(l->alleles.count), 0.0);
    } catch (std::bad_alloc const&) {
        E.error(ERROR, "TPhenDB::hw_chi_stat(AllDB, sel_loci,   miss_data)", Msg::m0_not_enough_memory);
        return 0.0;
    }

    double N = 0.0, Nhet = 0.0, Sg = 0.0;
    for (long i = 0; i < phenotypes.count; ++i) {
        TPhenotype const* p = phenotypes.data[i];
        TAllele const* a = p->pseudo1->alleles.data[0];
        TAllele const* b = p->pseudo2->alleles.data[0];
        if (a == nullptr || b == nullptr || is_missing(a, missing) || is_missing(b, missing)) continue;
        double const c = p->count;
        N += c;
        if (!(*p->pseudo1 == *p->pseudo2)) Nhet += c;
        Sg += n_ln_n(c);
        if (l == nullptr) continue;
        int const pa = l->find_allele_pos_by_name(a->name);
        int const pb = l->find_allele_pos_by_name(b->name);
        if (pa >= 0) alleleCounts[static_cast<std::size_t>(pa)] += c;
        if (pb >= 0) alleleCounts[static_cast<std::size_t>(pb)] += c;
    }

    double Sa = 0.0;
    int k = 0;
    for (double n : alleleCounts) {
        if (n > 0.0) {
            Sa += n_ln_n(n);
            ++k;
        }
    }
    if (k <= 1) return 0.0;
    df = k * (k - 1) / 2;
    return 2.0 * ((Sg - n_ln_n(N)) - (Nhet * ln2 + Sa - n_ln_n(2.0 * N)));
}

// ---------------------------------------------------------------------------
// Degrees of freedom of the two-locus test

int TPhenDB::get_num_of_deg_freed() const {
    if (phenotypes.count == 0) return 1;
    for (long i = 0; i < phenotypes.count; ++i) {
        TPhenotype const* p = phenotypes.data[i];
        if (num_alleles(p->pseudo1.get()) < 2 || num_alleles(p->pseudo2.get()) < 2) return 1;
    }
    auto distinct = [this](long pos) {
        std::vector<TAllele const*> seen;
        auto note = [&seen](TAllele const* a) {
            for (TAllele const* s : seen)
                if (s == a) return;
            seen.push_back(a);
        };
        for (long i = 0; i < phenotypes.count; ++i) {
            note(phenotypes.data[i]->pseudo1->alleles.data[pos]);
            note(phenotypes.data[i]->pseudo2->alleles.data[pos]);
        }
        return static_cast<int>(seen.size());
    };
    return (distinct(0) - 1) * (distinct(1) - 1);
}

// ---------------------------------------------------------------------------
// Allele permutation

void TPhenDB::permute_alleles(int const* sel, long& seed) {
    if (sel[0] != 1 && sel[0] != 2) {
        E.error(ERROR, "TPhenDB::permute_alleles()", Msg::m118_invalid_selected_locus_count);
        if (sel[0] < 1) return;
    }

    std::vector<TAllele*> copies;
    copies.reserve(static_cast<std::size_t>(2 * phenotypes.count));
    for (long p = 0; p < phenotypes.count; ++p) {
        TPhenotype const* ph = phenotypes.data[p];
        if (num_alleles(ph->pseudo1.get()) > 0) copies.push_back(ph->pseudo1->alleles.data[0]);
        if (num_alleles(ph->pseudo2.get()) > 0) copies.push_back(ph->pseudo2->alleles.data[0]);
    }
    long const n = static_cast<long>(copies.size());
    if (n != 2 * phenotypes.count) E.error(WARNING, "TPhenDB::permute_alleles",
                                           Msg::m118_invalid_selected_locus_count);

    for (long i = 0; i < n; ++i) {
        long const j = i + static_cast<long>((n - i) * ran3(&seed));
        if (j >= n) {
            E.error(ERROR, "TPhenDB::permute_alleles()", Msg::m107_allele_index_too_large);
            return;
        }
        std::swap(copies[static_cast<std::size_t>(i)], copies[static_cast<std::size_t>(j)]);
    }

    // Writing back needs exactly two copies per phenotype.
    if (2 * phenotypes.count != n) {
        E.error(ERROR, "TPhenDB::permute_alleles()", Msg::m119_allele_count_changed);
        return;
    }
    for (long p = 0; p < phenotypes.count; ++p) {
        phenotypes.data[p]->pseudo1->alleles.data[0] = copies[static_cast<std::size_t>(2 * p)];
        phenotypes.data[p]->pseudo2->alleles.data[0] = copies[static_cast<std::size_t>(2 * p + 1)];
    }
}

// ---------------------------------------------------------------------------
// Expansion into single individuals

bool TPhenDB::explode_base(bool report) {
    long const start = phenotypes.count;
    long long expected = 0;
    for (long i = 0; i < start; ++i) {
        TPhenotype* p = phenotypes.data[i];
        int const k = truncate_count(p->count + 0.0001);
        expected += k;
        if (k >= 2) p->relFreq /= k;
        p->count = 1.0;
        for (int c = 1; c < k; ++c) {
            try {
                auto copy = std::make_unique<TPhenotype>(*p);
                phenotypes.Add(copy.get());
                copy.release();
            } catch (std::bad_alloc const&) {
                E.error(MEMORY, "TPhenDB::explode_base()", Msg::m0_not_enough_memory);
                return false;
            }
        }
    }
    if (expected == phenotypes.count) return true;
    if (report) E.error(ERROR, "TPhenDB::explode_base()", Msg::m120_phenotype_count_changed);
    return false;
}

void report_changed_individuals(long copies) {
    if (copies <= 0) return;
    std::string const where = "TPhenDB::explode_base() (in " + std::to_string(copies) + " permutations)";
    E.error(ERROR, where.c_str(), Msg::m120_phenotype_count_changed);
}

double TPhenDB::calc_ln_multinom() const {
    long long total = 0;
    double sum = 0.0;
    for (long i = 0; i < phenotypes.count; ++i) {
        int const n = truncate_count(phenotypes.data[i]->count);
        total += n;
        sum += factln(n);
    }
    return factln(truncate_count(static_cast<double>(total))) - sum;
}

// ---------------------------------------------------------------------------
// Two-locus resampling

void TPhenDB::resample(int const& n, TPopHaploDB& locus1, TPopHaploDB& locus2, long& seed, TAlleleDB* db) {
    phenotypes.Flush();

    // Every haplotype must supply an allele to draw.
    for (TPopHaploDB const* store : {&locus1, &locus2}) {
        bool usable = store->haplotypes.count > 0;
        for (long i = 0; usable && i < store->haplotypes.count; ++i)
            usable = first_allele(store->haplotypes.data[i]) != nullptr;
        if (!usable) {
            E.error(ERROR, "TPhenDB::resample()", Msg::m116_allele_not_found);
            return;
        }
    }

    ResampleSource src1, src2;
    try {
        for (auto [store, src] : {std::pair{&locus1, &src1}, std::pair{&locus2, &src2}}) {
            int const L = first_allele(store->haplotypes.data[0])->locus;
            src->recessive = recessive_allele(db, L);
            long const h = store->haplotypes.count;
            src->firstAlleles.resize(static_cast<std::size_t>(h));
            src->cumulative.resize(static_cast<std::size_t>(h) + 1);
            src->cumulative[0] = 0.0;
            for (long i = 0; i < h; ++i) {
                TPopHaplotype const* hp = store->haplotypes.data[i];
                src->firstAlleles[static_cast<std::size_t>(i)] = first_allele(hp);
                src->cumulative[static_cast<std::size_t>(i) + 1] = src->cumulative[static_cast<std::size_t>(i)] + hp->frequency;
            }
        }
    } catch (std::bad_alloc const&) {
        E.error(MEMORY, "TPhenDB::resample()", Msg::m0_not_enough_memory);
        return;
    }
    for (ResampleSource const* src : {&src1, &src2}) {
        if (std::fabs(src->cumulative.back() - 1.0) > 0.001) {
            *_AOS_ << "     TPhenDB::resample:  summ of freqs is not 1" << std::endl;
            return;
        }
    }

    for (int i = 0; i < n; ++i) {
        std::unique_ptr<TPhenotype> p;
        try {
            p = std::make_unique<TPhenotype>();
        } catch (std::bad_alloc const&) {
            E.error(MEMORY, "TPhenotype::build_resam_pheno()", Msg::m0_not_enough_memory);
            return;
        }
        p->build_resam_pheno(2 * i, n, src1, src2, seed);
        phenotypes.Add(p.get());
        p.release();
    }
}

void TPhenDB::resample(int const&, TPopHaploDB&, long&, TAlleleDB*) { phenotypes.Flush(); }

// ---------------------------------------------------------------------------
// Phase measures

double TPhenDB::percent_correct_gametic_phase(std::ostream& os) {
    ambiguousInds = 0;
    correctAmbiguousInds = 0;
    os << std::fixed;
    long long correct = 0;
    long long total = 0;
    for (long i = 0; i < phenotypes.count; ++i) {
        TPhenotype const* p = phenotypes.data[i];
        int const c = truncate_count(p->count);
        total += c;
        if (p->heteroLoci >= 2) ambiguousInds += c;

        os << "Phenotype : " << i + 1 << " (freq: " << p->count << ")\n";
        double T = 0.0;
        for (long g = 0; g < p->genotypes.count; ++g) T += p->genotypes.data[g]->probability;
        // An individual without probabilities shows 0 rather than 0/0.
        auto share = [T](double prob) { return T != 0.0 ? prob / T : 0.0; };

        TGenotype const* first = p->genotypes.count > 0 ? p->genotypes.data[0] : nullptr;
        os << "\tCorrect genotype      : \t" << std::setprecision(5) << share(first != nullptr ? first->probability : 0.0)
           << "\t[";
        if (p->pseudo1) os << *p->pseudo1;
        os << "] & [";
        if (p->pseudo2) os << *p->pseudo2;
        os << "]";
        if (first == nullptr) {
            // Nothing was resolved, so no phase can be right.
            os << "\tBad phase\n";
            continue;
        }

        TGenotype const* best = first;
        for (long g = 1; g < p->genotypes.count; ++g)
            if (p->genotypes.data[g]->probability > best->probability) best = p->genotypes.data[g];
        os << "\n\tMost likely genotype  : \t" << std::setprecision(5) << share(best->probability) << "\t[";
        if (best->hapl1 != nullptr) os << *best->hapl1;
        os << "] & [";
        if (best->hapl2 != nullptr) os << *best->hapl2;
        os << "]\t";

        auto same = [](TPopHaplotype const* a, TPopHaplotype const* b) {
            return a != nullptr && b != nullptr && *a == *b;
        };
        TPopHaplotype const* t1 = p->pseudo1.get();
        TPopHaplotype const* t2 = p->pseudo2.get();
        bool const right = (same(best->hapl1, t1) && same(best->hapl2, t2)) ||
                           (same(best->hapl1, t2) && same(best->hapl2, t1));
        if (right) {
            os << "Phase OK\n";
            correct += c;
            if (p->heteroLoci >= 2) correctAmbiguousInds += c;
        } else {
            os << "Bad phase\n";
        }
    }
    return total != 0 ? static_cast<double>(correct) / static_cast<double>(total) : 0.0;
}

double TPhenDB::compute_IF_coeff(TPopHaploDB* estimated) {
    TPopHaploDB truth;
    long N = phenotypes.count;
    for (long i = 0; i < N; ++i) {
        TPhenotype const* p = phenotypes.data[i];
        if (p->pseudo1) truth.insert(*p->pseudo1, 1.0);
        if (p->pseudo2) truth.insert(*p->pseudo2, 1.0);
    }
    for (long i = 0; i < truth.haplotypes.count; ++i) truth.haplotypes.data[i]->frequency /= 2.0 * N;

    // Marks left from an earlier measure must not hide haplotypes now.
    long const nEst = estimated != nullptr ? estimated->haplotypes.count : 0;
    for (long i = 0; i < nEst; ++i) estimated->haplotypes.data[i]->found = 0;

    double s = 0.0;
    long found = 0;
    for (long i = 0; i < truth.haplotypes.count; ++i) {
        TPopHaplotype const* t = truth.haplotypes.data[i];
        TPopHaplotype* e = estimated != nullptr ? estimated->find(*t) : nullptr;
        if (e != nullptr) {
            s += std::fabs(e->frequency - t->frequency);
            if (e->found == 0) ++found;
            e->found = 1;
        } else {
            s += t->frequency;
        }
    }
    if (found < nEst) {
        for (long i = 0; i < nEst; ++i) {
            TPopHaplotype* e = estimated->haplotypes.data[i];
            if (e->found != 0) continue;
            TPopHaplotype const* t = truth.find(*e);
            if (t != nullptr) {
                s += std::fabs(e->frequency - t->frequency);
                e->found = 1;
            } else {
                s += e->frequency;
            }
        }
    }
    IFcoeff = 1.0 - s / 2.0;
    return IFcoeff;
}

}  // namespace quintle
