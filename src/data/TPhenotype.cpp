#include "data/TPhenotype.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <iomanip>
#include <new>

#include "core/Errors.h"
#include "core/random.h"
#include "data/TAllele.h"
#include "data/TAlleleDB.h"
#include "data/TPopHaploDB.h"
#include "data/TPopHaplotype.h"

namespace quintle {

namespace {

// The recessive allele of a locus stands first in it; null when the locus
// is unknown or has no allele.
TAllele* first_allele_of_locus(TAlleleDB const* db, int locus) {
    if (db == nullptr || locus < 0 || locus >= db->loci.count) return nullptr;
    TLocus const* l = db->loci.data[locus];
    if (l == nullptr) return nullptr;
    for (long i = 0; i < l->alleles.count; ++i)
        if (l->alleles.data[i] != nullptr) return l->alleles.data[i];
    return nullptr;
}

void write_hapl(std::ostream& os, TPopHaplotype const* h) {
    if (h != nullptr) os << *h;
}

}  // namespace

int truncate_count(double count) {
    if (std::isnan(count)) return 0;
    if (count <= static_cast<double>(INT_MIN)) return INT_MIN;
    if (count >= static_cast<double>(INT_MAX)) return INT_MAX;
    return static_cast<int>(count);
}

// ---------------------------------------------------------------------------
// ResampleSource

TAllele* ResampleSource::draw(double u) const {
    std::size_t const n = firstAlleles.size();
    if (n == 0 || cumulative.size() < n + 1) return nullptr;
    for (std::size_t i = 0; i < n; ++i)
        if (cumulative[i] < u && u <= cumulative[i + 1]) return firstAlleles[i];
    // Outside every interval: u = 0 (or below) takes the first haplotype of
    // positive frequency, u above the total the last one.
    if (u <= cumulative[0]) {
        for (std::size_t i = 0; i < n; ++i)
            if (cumulative[i + 1] > cumulative[i]) return firstAlleles[i];
        return firstAlleles.front();
    }
    for (std::size_t i = n; i-- > 0;)
        if (cumulative[i + 1] > cumulative[i]) return firstAlleles[i];
    return firstAlleles.back();
}

// ---------------------------------------------------------------------------
// Construction, copying, destruction

TPhenotype::TPhenotype() = default;

TPhenotype::TPhenotype(my_string const& phenoName, double const& phenoCount) : name(phenoName), count(phenoCount) {}

TPhenotype::TPhenotype(TPopHaplotype const* h1, TPopHaplotype const* h2, int const& id) {
    name = id;
    count = 1.0;
    try {
        if (h1 != nullptr) pseudo1 = std::make_unique<TPopHaplotype>(*h1);
        if (h2 != nullptr) pseudo2 = std::make_unique<TPopHaplotype>(*h2);
    } catch (std::bad_alloc const&) {
        pseudo1.reset();
        pseudo2.reset();
        E.error(MEMORY, "TPhenotype::TPhenotype(TPopHaplotype* , TPopHaplotype* , int)",
                Msg::m0_not_enough_memory);
    }
}

TPhenotype::TPhenotype(TPhenotype const& other) { copy_from(other); }

TPhenotype& TPhenotype::operator=(TPhenotype const& other) {
    if (this != &other) copy_from(other);
    return *this;
}

TPhenotype::~TPhenotype() { delete_pheno(); }

void TPhenotype::copy_from(TPhenotype const& other) {
    name = other.name;
    count = other.count;
    relFreq = other.relFreq;
    probability = other.probability;
    numResolutions = other.numResolutions;
    heteroLoci = other.heteroLoci;
    homozygous = other.homozygous;
    redundant = other.redundant;
    alleleString1 = other.alleleString1;
    alleleString2 = other.alleleString2;
    kill_gen_list();
    try {
        run_ = other.run_ ? std::make_unique<std::vector<Individual>>(*other.run_) : nullptr;
        pseudo1 = other.pseudo1 ? std::make_unique<TPopHaplotype>(*other.pseudo1) : nullptr;
        pseudo2 = other.pseudo2 ? std::make_unique<TPopHaplotype>(*other.pseudo2) : nullptr;
        for (long i = 0; i < other.genotypes.count; ++i) {
            TGenotype const* g = other.genotypes.data[i];
            if (g != nullptr) genotypes.Add(new TGenotype(*g));
        }
    } catch (std::bad_alloc const&) {
        pseudo1.reset();
        pseudo2.reset();
        E.error(MEMORY, "TPhenotype::operator=()", Msg::m0_not_enough_memory);
    }
}

void TPhenotype::delete_pheno() {
    if (pseudo1) pseudo1->empty();
    if (pseudo2) pseudo2->empty();
    name = "";
    alleleString1 = "";
    alleleString2 = "";
    run_.reset();
    kill_gen_list();
}

void TPhenotype::absorb(std::string_view individual, double individualCount) {
    if (!run_) {
        run_ = std::make_unique<std::vector<Individual>>();
        run_->push_back({std::string(name.c_str(), static_cast<std::size_t>(name.length())), count});
    }
    run_->push_back({std::string(individual), individualCount});
    count += individualCount;
}

void TPhenotype::kill_gen_list() { genotypes.Flush(); }

void TPhenotype::set_pseudo_hapl(TPopHaplotype const& h, int const& which) {
    if (which != 0 && which != 1) return;
    try {
        auto copy = std::make_unique<TPopHaplotype>(h);
        (which == 0 ? pseudo1 : pseudo2) = std::move(copy);
    } catch (std::bad_alloc const&) {
        E.error(MEMORY, "TPhenotype::set_pseudo_hapl()", Msg::m0_not_enough_memory);
    }
}

void TPhenotype::set_pseudo_hapl(TPopHaplotype* h, int const& which) {
    // Ownership passes with the call, so a haplotype that has no place to go
    // is deleted rather than lost.
    std::unique_ptr<TPopHaplotype> owned(h);
    if (which == 0)
        pseudo1 = std::move(owned);
    else if (which == 1)
        pseudo2 = std::move(owned);
}

// ---------------------------------------------------------------------------
// Comparison

bool TPhenotype::operator==(TPhenotype const& other) const {
    bool const noneHere = !pseudo1 && !pseudo2;
    bool const noneThere = !other.pseudo1 && !other.pseudo2;
    if (noneHere && noneThere) return count == other.count;
    if (!pseudo1 || !pseudo2 || !other.pseudo1 || !other.pseudo2) return false;
    long const n = pseudo1->alleles.count;
    if (pseudo2->alleles.count != n || other.pseudo1->alleles.count != n || other.pseudo2->alleles.count != n)
        return false;
    for (long k = 0; k < n; ++k) {
        TAllele const* a = pseudo1->alleles.data[k];
        TAllele const* b = pseudo2->alleles.data[k];
        TAllele const* c = other.pseudo1->alleles.data[k];
        TAllele const* d = other.pseudo2->alleles.data[k];
        if (!((a == c && b == d) || (a == d && b == c))) return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Phase resolutions

void TPhenotype::binary_inc(int* bits, int const& n) {
    int i = 0;
    while (i < n && bits[i] == 1) bits[i++] = 0;
    if (i < n) bits[i] = 1;
}

int TPhenotype::count_hetero_loci() {
    int h = 0;
    if (pseudo1) {
        long const n = pseudo1->alleles.count;
        for (long k = 0; k < n; ++k) {
            TAllele const* b = pseudo2 && k < pseudo2->alleles.count ? pseudo2->alleles.data[k] : nullptr;
            if (pseudo1->alleles.data[k] != b) ++h;
        }
    }
    heteroLoci = h;
    return h;
}

bool TPhenotype::add_genotype(TPopHaplotype* h1, TPopHaplotype* h2) {
    for (long i = 0; i < genotypes.count; ++i) {
        TGenotype const* g = genotypes.data[i];
        if ((g->hapl1 == h1 && g->hapl2 == h2) || (g->hapl1 == h2 && g->hapl2 == h1)) return true;
    }
    try {
        auto g = std::make_unique<TGenotype>();
        g->hapl1 = h1;
        g->hapl2 = h2;
        genotypes.Add(g.get());
        g.release();
    } catch (std::bad_alloc const&) {
        E.error(MEMORY, "TPhenotype::build_genotypes", Msg::m0_not_enough_memory);
        return false;
    }
    ++numResolutions;
    return true;
}

int TPhenotype::build_genotypes(TPopHaploDB& store, TAlleleDB* db, int const& recessive, bool sourcePositions) {
    if (!pseudo1 || !pseudo2) return 0;

    int const L = static_cast<int>(pseudo1->alleles.count);
    int const h = count_hetero_loci();
    homozygous = (recessive == 0 && h == 0) ? 1 : 0;

    // 2^(h-1) passes must stay countable; 32 heterozygous loci still fit.
    if (h > max_hetero_loci) {
        E.error(ERROR, "TPhenotype::build_genotypes()", Msg::m114_too_many_heterozygous_loci);
        return 0;
    }
    bool const recessiveMode = recessive != 0 && h < L;
    // Recessive mode makes 2^L passes, which must fit a signed 64-bit count.
    if (recessiveMode && L > max_recessive_loci) {
        E.error(ERROR, "TPhenotype::build_genotypes()", Msg::m114_too_many_heterozygous_loci);
        return 0;
    }

    std::int64_t const passes = resolution_passes(recessiveMode, L, h);
    numResolutions = 0;

    // Loci that both pseudo-haplotypes have; only these can be exchanged.
    int const common = static_cast<int>(std::min<long>(L, pseudo2->alleles.count));
    std::vector<int> hetPos;
    std::vector<int> bits;
    std::vector<TAllele*> recessiveAllele;
    std::unique_ptr<TPopHaplotype> w1, w2;
    try {
        hetPos.reserve(static_cast<std::size_t>(h));
        for (int k = 0; k < L; ++k) {
            TAllele const* b = k < pseudo2->alleles.count ? pseudo2->alleles.data[k] : nullptr;
            if (pseudo1->alleles.data[k] != b) hetPos.push_back(k);
        }
        bits.assign(static_cast<std::size_t>(L), 0);
        if (recessiveMode) {
            recessiveAllele.assign(static_cast<std::size_t>(L), nullptr);
            for (int k = 0; k < common; ++k) {
                TAllele const* a = pseudo1->alleles.data[k];
                if (a == nullptr || a != pseudo2->alleles.data[k]) continue;
                recessiveAllele[k] = first_allele_of_locus(db, sourcePositions ? a->sourcePos : a->locus);
            }
        }
        w1 = std::make_unique<TPopHaplotype>(*pseudo1);
        w2 = std::make_unique<TPopHaplotype>(*pseudo2);
    } catch (std::bad_alloc const&) {
        E.error(MEMORY, "TPhenotype::build_genotypes()", Msg::m0_not_enough_memory);
        return 0;
    }

    TAllele** const src1 = pseudo1->alleles.data;
    TAllele** const src2 = pseudo2->alleles.data;
    TAllele** const dst1 = w1->alleles.data;
    TAllele** const dst2 = w2->alleles.data;
    auto exchange = [&](int k) {
        if (k < common) std::swap(dst1[k], dst2[k]);
    };

    for (std::int64_t pass = 0; pass < passes; ++pass) {
        std::copy(src1, src1 + common, dst1);
        std::copy(src2, src2 + common, dst2);
        if (recessiveMode) {
            for (int k = 0; k < common; ++k) {
                if (bits[k] == 0) continue;
                if (dst1[k] != dst2[k]) {
                    exchange(k);
                } else if (recessiveAllele[k] != nullptr && dst1[k] != recessiveAllele[k]) {
                    dst2[k] = recessiveAllele[k];
                }
            }
        } else {
            // The first heterozygous locus never moves, so every unordered
            // pair arises once.
            for (int j = 1; j < h; ++j)
                if (bits[j - 1] != 0) exchange(hetPos[j]);
        }
        TPopHaplotype* s1 = store.insert(*w1, 1.0);
        TPopHaplotype* s2 = store.insert(*w2, 1.0);
        if (s1 == nullptr || s2 == nullptr) return 0;
        if (!add_genotype(s1, s2)) return 0;
        if (pass + 1 < passes) binary_inc(bits.data(), L);
    }
    return 1;
}

// ---------------------------------------------------------------------------
// EM steps

void TPhenotype::update_gen_prob() {
    if (homozygous != 0) {
        probability = 0.0;
        if (genotypes.count > 0 && genotypes.data[0]->hapl1 != nullptr) {
            double const p = genotypes.data[0]->hapl1->frequency;
            genotypes.data[0]->probability = p * p;
            probability = p * p;
        }
    } else {
        double sum = 0.0;
        for (long i = 0; i < genotypes.count; ++i) {
            TGenotype* g = genotypes.data[i];
            double const p1 = g->hapl1 != nullptr ? g->hapl1->frequency : 0.0;
            double const p2 = g->hapl2 != nullptr ? g->hapl2->frequency : 0.0;
            g->probability = 2.0 * p1 * p2;
            sum += g->probability;
        }
        probability = sum;
    }
    if (probability != 0.0)
        for (long i = 0; i < genotypes.count; ++i) genotypes.data[i]->share = genotypes.data[i]->probability / probability;
}

void TPhenotype::update_hapl_freq_in_genotypes() {
    for (long i = 0; i < genotypes.count; ++i) {
        TGenotype const* g = genotypes.data[i];
        double const w = g->share * count;
        if (g->hapl1 != nullptr) g->hapl1->frequency += w;
        if (g->hapl2 != nullptr) g->hapl2->frequency += w;
    }
}

double TPhenotype::link_equil_pheno_prob() {
    double prob = 1.0;
    if (!pseudo1) return prob;
    long const n = pseudo1->alleles.count;
    for (long k = 0; k < n; ++k) {
        TAllele const* a = pseudo1->alleles.data[k];
        TAllele const* b = pseudo2 && k < pseudo2->alleles.count ? pseudo2->alleles.data[k] : nullptr;
        // A missing allele cannot take part either.
        if (a == nullptr || b == nullptr || a->selected == 0) {
            E.error(WARNING, "TPhenotype::link_equil_pheno_prob()", Msg::m115_unselected_alleles);
            continue;
        }
        prob *= a->weight * b->weight;
        if (a != b) prob *= 2.0;
    }
    return prob;
}

// ---------------------------------------------------------------------------
// Restricted copies

namespace {

// Makes `dst` the phenotype `src` with pseudo-haplotypes that `derive`
// builds from src's (derive(out, in)) and `heteroLoci`; its phase
// resolutions are dropped. When memory runs out the failure is reported
// under `where` and `dst` stays as it was.
template <class Derive>
void take_derived_pair(TPhenotype& dst, TPhenotype const& src, int heteroLoci, char const* where, Derive derive) {
    std::unique_ptr<TPopHaplotype> p1, p2;
    try {
        if (src.pseudo1) {
            p1 = std::make_unique<TPopHaplotype>();
            derive(*p1, *src.pseudo1);
        }
        if (src.pseudo2) {
            p2 = std::make_unique<TPopHaplotype>();
            derive(*p2, *src.pseudo2);
        }
    } catch (std::bad_alloc const&) {
        E.error(MEMORY, where, Msg::m0_not_enough_memory);
        return;
    }
    if (&dst != &src) {
        dst.name = src.name;
        dst.count = src.count;
        dst.relFreq = src.relFreq;
        dst.probability = src.probability;
    }
    dst.heteroLoci = heteroLoci;
    dst.pseudo1 = std::move(p1);
    dst.pseudo2 = std::move(p2);
    dst.numResolutions = 0;
    dst.redundant = 0;
    dst.kill_gen_list();
}

}  // namespace

void TPhenotype::copy_restricted_pheno(int const* sel, TPhenotype const& src) {
    take_derived_pair(*this, src, src.heteroLoci, "TPhenotype::copy_restricted_pheno()",
                      [sel](TPopHaplotype& out, TPopHaplotype const& in) { out.copy_restricted_hapl(sel, in); });
}

void TPhenotype::build_sub_phenotype(int const* mask, TPhenotype const& src) {
    take_derived_pair(*this, src, 0, "TPhenotype::build_sub_phenotype()",
                      [mask](TPopHaplotype& out, TPopHaplotype const& in) { out.build_sub_haplotype(mask, in); });
}

// ---------------------------------------------------------------------------
// Printouts

void TPhenotype::printGenotypeFreqs(std::ostream& os, int const& i, double const& threshold) {
    // Genotype probabilities with the haplotypes' inbreeding coefficients.
    double sum = 0.0;
    for (long g = 0; g < genotypes.count; ++g) {
        TGenotype* gt = genotypes.data[g];
        if (gt->hapl1 == nullptr || gt->hapl2 == nullptr) {
            gt->probability = 0.0;
            continue;
        }
        double const p1 = gt->hapl1->frequency;
        if (gt->hapl1 == gt->hapl2) {
            double const F = gt->hapl1->inbreedingCoeff;
            gt->probability = p1 * p1 * (1.0 + F * p1 * (1.0 - p1));
        } else {
            double const F2 = gt->hapl2->inbreedingCoeff;
            gt->probability = (1.0 - F2) * 2.0 * p1 * gt->hapl2->frequency;
        }
        sum += gt->probability;
    }
    probability = sum;

    if (genotypes.count == 0) {
        os << "\nGenotypes are undefined for this phenotype...\n";
        return;
    }

    os << std::fixed << std::showpoint << std::right;
    os << "\n================\n"
       << "Phenotype #" << std::setw(5) << i + 1 << "\n"
       << "================\n";
    int const w = name.length() + 2;
    os << std::setw(w) << "Name" << "\t" << std::setw(12) << "Abs. Freq." << "\t" << std::setw(12) << "Rel. Freq.\n";
    os << std::setw(w) << name << "\t" << std::setw(7) << truncate_count(count) << "\t" << std::setw(18)
       << std::setprecision(6) << probability << "\n\n";

    std::stable_sort(genotypes.data, genotypes.data + genotypes.count,
                     [](TGenotype const* a, TGenotype const* b) { return a->probability > b->probability; });

    os << "List of genotypes (" << std::setw(5) << genotypes.count << ")\n"
       << "-------------------------\n"
       << std::setw(5) << "Gen. #" << "\t" << std::setw(12) << "Rel. Freq." << "\t" << std::setw(12) << "Exp. Freq."
       << "\t" << "Hapl. IDs" << "\t" << "Haplotypes\n";
    for (long g = 0; g < genotypes.count; ++g) {
        TGenotype const* gt = genotypes.data[g];
        if (gt->probability / probability > threshold)
            gt->printGenotFreqs(os, static_cast<int>(g), probability);
    }
}

std::ostream& operator<<(std::ostream& os, TPhenotype const& p) {
    os << std::setw(15) << p.name;
    os << std::fixed << std::setw(13) << std::setprecision(3) << p.count << " ";
    write_hapl(os, p.pseudo1.get());
    os << "\n" << std::setw(15) << " " << std::setw(13) << " " << " ";
    write_hapl(os, p.pseudo2.get());
    os << std::endl;
    return os;
}

void TPhenotype::print_detailed_genotypes(std::ostream& os) const {
    if (genotypes.count == 0) {
        os << *this;
        return;
    }
    os << name << std::fixed << std::setw(15) << std::setprecision(3) << count << "\n";
    for (long g = 0; g < genotypes.count; ++g) {
        TGenotype const* gt = genotypes.data[g];
        if (gt->probability > 0.0) gt->print_genot(os, probability);
    }
}

// ---------------------------------------------------------------------------
// Resampling

void TPhenotype::build_resam_pheno(int const& m, int const& n, ResampleSource const& locus1,
                                   ResampleSource const& locus2, long& seed) {
    std::unique_ptr<TPopHaplotype> p1, p2;
    try {
        p1 = std::make_unique<TPopHaplotype>();
        p2 = std::make_unique<TPopHaplotype>();
    } catch (std::bad_alloc const&) {
        E.error(MEMORY, "TPhenotype::build_resam_pheno()", Msg::m0_not_enough_memory);
        return;
    }
    name = m;
    count = 1.0;
    relFreq = 1.0 / n;
    probability = 0.0;
    numResolutions = 0;
    heteroLoci = 2;
    alleleString1 = "";
    alleleString2 = "";
    kill_gen_list();

    TAllele* a1 = locus1.draw(ran3(&seed));
    TAllele* b1 = locus2.draw(ran3(&seed));
    TAllele* a2 = locus1.draw(ran3(&seed));
    TAllele* b2 = locus2.draw(ran3(&seed));

    // A recessive allele shows only when both copies carry it.
    if (locus1.recessive != nullptr) {
        if (a1 == locus1.recessive) a1 = a2;
        if (a2 == locus1.recessive) a2 = a1;
    }
    if (locus2.recessive != nullptr) {
        if (b1 == locus2.recessive) b1 = b2;
        if (b2 == locus2.recessive) b2 = b1;
    }
    p1->build_sampled_haplo(m, a1, b1);
    p2->build_sampled_haplo(m + 1, a2, b2);
    pseudo1 = std::move(p1);
    pseudo2 = std::move(p2);
}

}  // namespace quintle
