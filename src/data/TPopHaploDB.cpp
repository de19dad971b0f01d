#include "data/TPopHaploDB.h"

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <limits>
#include <new>
#include <unordered_map>
#include <utility>

#include "core/Errors.h"
#include "core/numerics.h"
#include "core/random.h"

namespace quintle {

namespace {

// Equality and hash of haplotypes by allele pointers, for local tables.
struct SameAlleles {
    bool operator()(TPopHaplotype const* a, TPopHaplotype const* b) const { return *a == *b; }
};
struct AlleleHash {
    std::size_t operator()(TPopHaplotype const* h) const { return static_cast<std::size_t>(haplotype_hash(*h)); }
};

}  // namespace

TPopHaploDB::TPopHaploDB(TPopHaploDB const& other) { *this = other; }

TPopHaploDB& TPopHaploDB::operator=(TPopHaploDB const& other) {
    if (this == &other) return *this;
    delete_haplotypes();
    try {
        for (long i = 0; i < other.haplotypes.count; ++i) {
            TPopHaplotype const* h = other.haplotypes.data[i];
            if (h == nullptr) continue;
            auto copy = std::make_unique<TPopHaplotype>(*h);
            haplotypes.Add(copy.get());
            copy.release();
        }
        refHaplotype = other.refHaplotype ? std::make_unique<TPopHaplotype>(*other.refHaplotype) : nullptr;
        polyFlags = other.polyFlags;
        undefAllele_ = other.undefAllele_;
    } catch (std::bad_alloc const&) {
        index_.invalidate();
        E.error(MEMORY, my_string("TPopHaploDB::operator=()"), Msg::m0_not_enough_memory);
    }
    return *this;
}

void TPopHaploDB::delete_haplotypes() {
    haplotypes.Flush();
    index_.invalidate();
}

template <class Drop>
void TPopHaploDB::delete_if(Drop drop) {
    TPopHaplotype** slots = haplotypes.data;
    long kept = 0;
    for (long i = 0; i < haplotypes.count; ++i) {
        TPopHaplotype* h = slots[i];
        if (h != nullptr && drop(*h, i)) {
            delete h;
        } else {
            slots[kept++] = h;
        }
    }
    std::fill(slots + kept, slots + haplotypes.count, nullptr);
    haplotypes.count = kept;
    index_.invalidate();
}

TPopHaplotype* TPopHaploDB::insert(TPopHaplotype const& h, double const& f) {
    std::uint64_t const hash = haplotype_hash(h);
    long const pos = index_.find_first(haplotypes, h, hash);
    if (pos >= 0) {
        TPopHaplotype* stored = haplotypes.data[pos];
        stored->frequency += f;
        return stored;
    }
    std::unique_ptr<TPopHaplotype> copy;
    try {
        copy = std::make_unique<TPopHaplotype>(h);
    } catch (std::bad_alloc const&) {
        E.error(MEMORY, my_string("TPopHaploDB::insert()"), Msg::m0_not_enough_memory);
        return nullptr;
    }
    copy->frequency = f;
    TPopHaplotype* stored = copy.get();
    haplotypes.Add(stored);
    copy.release();
    index_.appended(haplotypes, haplotypes.count - 1, hash);
    return stored;
}

TPopHaplotype* TPopHaploDB::find(TPopHaplotype const& h) const {
    long const pos = index_.find_first(haplotypes, h);
    return pos >= 0 ? haplotypes.data[pos] : nullptr;
}

int TPopHaploDB::cleanDB(double const& minFreq) {
    double const bound = minFreq;
    delete_if([bound](TPopHaplotype const& h, long) { return h.frequency < bound; });
    return static_cast<int>(haplotypes.count);
}

void TPopHaploDB::flush_haplotypes() { delete_haplotypes(); }

void TPopHaploDB::empty() {
    delete_haplotypes();
    polyFlags.clear();
    refHaplotype.reset();
    undefAllele_.reset();
}

double TPopHaploDB::assign_rand_init_freq(int const& k) {
    long seed = 1;  // continues the running stream
    double sum = 0.0;
    for (long i = 0; i < haplotypes.count; ++i) {
        TPopHaplotype* h = haplotypes.data[i];
        if (h == nullptr) continue;
        h->frequency = h->fixed != 0 ? 1.0 : 1.0 + k * ran3(&seed);
        sum += h->frequency;
    }
    double smallest = static_cast<double>(std::numeric_limits<float>::max());
    for (long i = 0; i < haplotypes.count; ++i) {
        TPopHaplotype* h = haplotypes.data[i];
        if (h == nullptr) continue;
        h->frequency /= sum;
        h->prevFrequency = h->frequency;
        smallest = std::min(smallest, h->frequency);
    }
    return smallest;
}

bool TPopHaploDB::convergence(double const& eps) {
    double d = 0.0;
    for (long i = 0; i < haplotypes.count; ++i) {
        TPopHaplotype* h = haplotypes.data[i];
        if (h == nullptr) continue;
        d += std::fabs(h->frequency - h->prevFrequency);
        h->prevFrequency = h->frequency;
    }
    return d < eps;
}

TPopHaplotype* TPopHaploDB::select_haplotype(double const& r) const {
    double sum = 0.0;
    for (long i = 0; i < haplotypes.count; ++i) {
        TPopHaplotype* h = haplotypes.data[i];
        if (h == nullptr) continue;
        sum += h->frequency;
        if (sum > r) return h;
    }
    return nullptr;
}

void TPopHaploDB::build_reference_haplotype(TAlleleDB* db, char const& missing) {
    if (db == nullptr) return;
    long const nLoci = db->loci.count;
    auto allelesAt = [db](long l) -> long {
        TLocus const* locus = db->loci.data[l];
        return locus != nullptr ? locus->alleles.count : 0;
    };
    long polymorphic = 0;
    for (long l = 0; l < nLoci; ++l) {
        if (allelesAt(l) >= 2) ++polymorphic;
    }
    if (polymorphic == 0) return;

    char const* const name = "TPopHaploDB::build_reference_haplotype ()";
    refHaplotype.reset();
    undefAllele_.reset();
    polyFlags.clear();
    char const sep = haplotypes.count > 0 && haplotypes.data[0] != nullptr ? haplotypes.data[0]->separator : ' ';
    try {
        auto ref = std::make_unique<TPopHaplotype>(sep);
        std::vector<int> flags(static_cast<std::size_t>(nLoci), 0);
        if (!reserve_allele_slots(ref->alleles, nLoci, name)) return;
        for (long l = 0; l < nLoci; ++l) {
            TLocus const* locus = db->loci.data[l];
            long const n = allelesAt(l);
            TAllele* chosen = n > 0 ? locus->alleles.data[0] : nullptr;
            if (n >= 2) {
                flags[static_cast<std::size_t>(l)] = 1;
                if (chosen != nullptr && chosen->name[0] == missing) chosen = locus->alleles.data[1];
            }
            ref->alleles.Add(chosen);
        }
        refHaplotype = std::move(ref);
        polyFlags = std::move(flags);
    } catch (std::bad_alloc const&) {
        refHaplotype.reset();
        polyFlags.clear();
        E.error(MEMORY, my_string(name), Msg::m0_not_enough_memory);
    }
}

void TPopHaploDB::compact(TAlleleDB* db, char const& missing) {
    build_reference_haplotype(db, missing);
    if (polyFlags.empty()) return;  // no polymorphic locus: nothing to drop
    long const nLoci = static_cast<long>(polyFlags.size());
    for (long i = 0; i < haplotypes.count; ++i) {
        TPopHaplotype* h = haplotypes.data[i];
        // Only haplotypes still carrying every locus: one compacted before
        // must not lose further alleles.
        if (h != nullptr && h->alleles.count == nLoci) shrink(*h, polyFlags.data());
    }
    index_.invalidate();
}

void TPopHaploDB::init_ref_hapl(int const* n) {
    char const* const name = "TPopHaploDB::init_ref_hapl()";
    int const count = n != nullptr && *n > 0 ? *n : 0;
    try {
        auto allele = std::make_shared<TAllele>();
        allele->name = "UNDEF";
        auto ref = std::make_unique<TPopHaplotype>();
        if (!reserve_allele_slots(ref->alleles, count, name)) return;
        for (int i = 0; i < count; ++i) ref->alleles.Add(allele.get());
        refHaplotype = std::move(ref);
        undefAllele_ = std::move(allele);
    } catch (std::bad_alloc const&) {
        E.error(MEMORY, my_string(name), Msg::m0_not_enough_memory);
    }
}

void TPopHaploDB::reset_freq() {
    for (long i = 0; i < haplotypes.count; ++i) {
        if (haplotypes.data[i] != nullptr) haplotypes.data[i]->frequency = 0.0;
    }
}

void TPopHaploDB::reset_homo_count() {
    for (long i = 0; i < haplotypes.count; ++i) {
        if (haplotypes.data[i] != nullptr) haplotypes.data[i]->homoCount = 0;
    }
}

double TPopHaploDB::sum_homoz_inbreeding(double const& F) {
    double sum = 0.0;
    for (long i = 0; i < haplotypes.count; ++i) {
        TPopHaplotype const* h = haplotypes.data[i];
        if (h == nullptr || h->homoCount == 0) continue;
        double const p = h->frequency;
        sum += h->homoCount / (p + F * (1.0 - p));
    }
    return sum;
}

void TPopHaploDB::sums_hapl_frequencies(TPopHaploDB const& rep, double minFreq) {
    for (long i = 0; i < haplotypes.count; ++i) {
        TPopHaplotype* h = haplotypes.data[i];
        if (h == nullptr || !(h->frequency > minFreq)) continue;
        TPopHaplotype const* r = rep.find(*h);
        if (r == nullptr) continue;
        h->repSum += r->frequency;
        h->sd += r->frequency * r->frequency;
    }
}

void TPopHaploDB::calc_sd(int const& n) {
    if (n < 2) return;
    for (long i = 0; i < haplotypes.count; ++i) {
        TPopHaplotype* h = haplotypes.data[i];
        if (h == nullptr) continue;
        if (h->frequency > 0.0) {
            double const v = (h->sd - h->repSum * h->repSum / n) / (n - 1);
            h->sd = v > 0.0 ? std::sqrt(v) : 0.0;
        } else {
            h->sd = 0.0;
        }
    }
}

int TPopHaploDB::update_lk_equil() {
    try {
        // Per locus, the summed frequency of the haplotypes carrying each
        // allele; sums are built in stored order, as a scan would add them.
        long maxLoci = 0;
        for (long i = 0; i < haplotypes.count; ++i) {
            if (haplotypes.data[i] != nullptr) maxLoci = std::max(maxLoci, haplotypes.data[i]->alleles.count);
        }
        std::vector<std::unordered_map<TAllele const*, double>> sums(static_cast<std::size_t>(maxLoci));
        for (long i = 0; i < haplotypes.count; ++i) {
            TPopHaplotype const* h = haplotypes.data[i];
            if (h == nullptr) continue;
            for (long l = 0; l < h->alleles.count; ++l) sums[static_cast<std::size_t>(l)][h->alleles.data[l]] += h->frequency;
        }
        for (long i = 0; i < haplotypes.count; ++i) {
            TPopHaplotype* h = haplotypes.data[i];
            if (h == nullptr) continue;
            long const n = h->alleles.count;
            auto p = [&](long l) { return sums[static_cast<std::size_t>(l)].find(h->alleles.data[l])->second; };
            double product = 1.0;
            for (long l = 0; l < n; ++l) product *= p(l);
            double const pA = n >= 1 ? p(0) : 1.0;
            double const pB = n >= 2 ? p(1) : 1.0;
            h->D = h->frequency - product;
            double const dMax = h->D > 0.0 ? std::min((1.0 - pB) * pA, (1.0 - pA) * pB)
                                           : std::min(pA * pB, (1.0 - pA) * (1.0 - pB));
            h->Dprime = std::fabs(dMax) > 1e-6 ? h->D / dMax : 0.0;
        }
    } catch (std::bad_alloc const&) {
        E.error(MEMORY, my_string("TPopHaploDB::update_lk_equil()"), Msg::m0_not_enough_memory);
    }
    return 1;
}

void TPopHaploDB::comp_link_equil_hapl_freq() {
    for (long i = 0; i < haplotypes.count; ++i) {
        TPopHaplotype* h = haplotypes.data[i];
        if (h == nullptr) continue;
        double f = 1.0;
        // An allele that is missing altogether has no frequency to offer.
        for (long l = 0; l < h->alleles.count; ++l) f *= h->alleles.data[l] != nullptr ? h->alleles.data[l]->expFreq : 0.0;
        h->frequency = f;
    }
}

double TPopHaploDB::calc_hapl_lk_dis() const {
    double sum = 0.0;
    for (long i = 0; i < haplotypes.count; ++i) {
        TPopHaplotype const* h = haplotypes.data[i];
        if (h == nullptr) continue;
        double const f = h->frequency;
        int const n = f >= 2147483647.0 ? std::numeric_limits<int>::max() : (f > -1.0 ? static_cast<int>(f) : -1);
        sum += factln(n);
    }
    return sum;
}

void TPopHaploDB::check_redundancy() {
    long const n = haplotypes.count;
    if (n < 2) return;
    try {
        // nearest[i]: the nearest earlier haplotype equal to haplotype i, or -1.
        std::vector<long> nearest(static_cast<std::size_t>(n), -1);
        std::unordered_map<TPopHaplotype const*, long, AlleleHash, SameAlleles> latest;
        latest.reserve(static_cast<std::size_t>(n));
        for (long i = 0; i < n; ++i) {
            TPopHaplotype const* h = haplotypes.data[i];
            if (h == nullptr) continue;
            auto [it, fresh] = latest.try_emplace(h, i);
            if (!fresh) {
                nearest[static_cast<std::size_t>(i)] = it->second;
                it->second = i;
            }
        }
        // From the last towards the first, so each copy's frequency (already
        // holding those of its later copies) moves to its nearest earlier copy.
        std::vector<char> merged(static_cast<std::size_t>(n), 0);
        for (long i = n - 1; i > 0; --i) {
            long const j = nearest[static_cast<std::size_t>(i)];
            if (j < 0) continue;
            haplotypes.data[j]->frequency += haplotypes.data[i]->frequency;
            merged[static_cast<std::size_t>(i)] = 1;
        }
        delete_if([&merged](TPopHaplotype const&, long i) { return merged[static_cast<std::size_t>(i)] != 0; });
    } catch (std::bad_alloc const&) {
        index_.invalidate();
        E.error(MEMORY, my_string("TPopHaploDB::check_redundancy()"), Msg::m0_not_enough_memory);
    }
}

void TPopHaploDB::explode_base() {
    char const* const name = "TPopHaploDB::explode_base()";
    long const n = haplotypes.count;
    for (long i = 0; i < n; ++i) {
        TPopHaplotype* h = haplotypes.data[i];
        if (h == nullptr) continue;
        double const f = h->frequency;
        if (std::isnan(f)) {
            E.error(WARNING, my_string(name), Msg::m106_frequencies_not_absolute);
            continue;
        }
        if (f + 0.1 >= 2147483647.0) {
            // Far more entries than memory could hold.
            E.error(MEMORY, my_string(name), Msg::m0_not_enough_memory);
            break;
        }
        int const k = static_cast<int>(f + 0.1);
        if (std::fabs(k - f) > 0.0001) E.error(WARNING, my_string(name), Msg::m106_frequencies_not_absolute);
        if (k < 2) continue;
        h->frequency = 1.0;
        try {
            for (int c = 1; c < k; ++c) {
                auto copy = std::make_unique<TPopHaplotype>(*h);
                haplotypes.Add(copy.get());
                copy.release();
            }
        } catch (std::bad_alloc const&) {
            index_.invalidate();
            E.error(MEMORY, my_string(name), Msg::m0_not_enough_memory);
            return;
        }
    }
    index_.invalidate();
}

void TPopHaploDB::permute(int* nLoci) {
    long const n = haplotypes.count;
    int const loci = nLoci != nullptr ? *nLoci : 0;
    long seed = 1;  // continues the running stream
    for (int l = 0; l < loci; ++l) {
        for (long i = 0; i < n; ++i) {
            long const j = i + static_cast<long>(static_cast<double>(n - i) * ran3(&seed));
            if (j >= n) {
                E.error(ERROR, my_string("TPopHaploDB::permute_alleles()"), Msg::m107_allele_index_too_large);
                index_.invalidate();
                return;
            }
            TPopHaplotype* a = haplotypes.data[i];
            TPopHaplotype* b = haplotypes.data[j];
            if (a == nullptr || b == nullptr || l >= a->alleles.count || l >= b->alleles.count) continue;
            std::swap(a->alleles.data[l], b->alleles.data[l]);
        }
    }
    index_.invalidate();
}

void TPopHaploDB::print(std::ostream& os, int mode, double threshold) {
    std::vector<TPopHaplotype*> sorted;
    try {
        sorted.reserve(static_cast<std::size_t>(haplotypes.count));
        for (long i = 0; i < haplotypes.count; ++i) {
            if (haplotypes.data[i] != nullptr) sorted.push_back(haplotypes.data[i]);
        }
    } catch (std::bad_alloc const&) {
        E.error(MEMORY, my_string("TPopHaploDB::print()"), Msg::m0_not_enough_memory);
        return;
    }
    // Ascending allele names; equal haplotypes keep their stored order.
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](TPopHaplotype const* a, TPopHaplotype const* b) { return *a < *b; });

    os << "\n------------------------------------------\n";
    os << "Maximum-likelihood haplotype frequencies :\n";
    os << "------------------------------------------\n\n";
    os << "Total number of possible haplotypes      :" << std::right << std::setw(15) << haplotypes.count << "\n";
    os << "Minimum frequency to reach for output    :" << std::scientific << std::setprecision(3) << std::setw(15)
       << threshold << "\n"
       << std::endl;
    os << "---------------------------------------\n";
    os << std::setw(5) << "#" << std::setw(12) << "Haplotype" << std::setw(10) << "Freq." << std::setw(10) << "s.d."
       << "\n---------------------------------------\n"
       << std::endl;
    os << std::fixed << std::setprecision(6);

    bool const expanded = mode != 0 && !polyFlags.empty() && refHaplotype != nullptr;
    int listed = 0;
    int unlisted = 0;
    double total = 0.0;
    double listedTotal = 0.0;
    for (TPopHaplotype* h : sorted) {
        total += h->frequency;
        if (!(h->frequency > threshold)) {
            h->listedIndex = -(++unlisted);
            continue;
        }
        h->listedIndex = ++listed;
        listedTotal += h->frequency;
        if (expanded) {
            os << std::setw(5) << h->listedIndex << std::setw(12) << h->id << "\t" << std::setw(10) << h->frequency
               << std::setw(10) << h->sd << "\t";
            long const nRef = refHaplotype->alleles.count;
            long const nFlags = static_cast<long>(polyFlags.size());
            // A haplotype that still carries every locus speaks for itself.
            bool const whole = h->alleles.count == nRef;
            long own = 0;
            for (long l = 0; l < nRef; ++l) {
                TAllele const* a = nullptr;
                if (whole) {
                    a = h->alleles.data[l];
                } else if (l < nFlags && polyFlags[static_cast<std::size_t>(l)] != 0) {
                    a = own < h->alleles.count ? h->alleles.data[own] : nullptr;
                    ++own;
                } else {
                    a = refHaplotype->alleles.data[l];
                }
                if (a != nullptr) os << *a;
                if (h->separator != '\0') os << h->separator;
            }
            os << std::endl;
        } else {
            os << std::setw(5) << h->listedIndex << std::setw(12) << h->id << std::setw(10) << h->frequency
               << std::setw(12) << h->sd << "\t" << *h << "\n";
        }
    }

    os << "---------------------------------------\n" << std::endl;
    os << "Sum of all " << haplotypes.count << " haplotype frequencies : " << total << "\n" << std::endl;
    os << "Sum of " << listed << " listed frequencies : " << listedTotal << "\n" << std::endl;
}

std::ostream& operator<<(std::ostream& os, TPopHaploDB const& db) {
    for (long i = 0; i < db.haplotypes.count; ++i) {
        TPopHaplotype const* h = db.haplotypes.data[i];
        if (h == nullptr) continue;
        os << *h << "  " << h->frequency << "\n";
    }
    os << std::endl;
    return os;
}

}  // namespace quintle
