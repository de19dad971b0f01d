#include "amova/ssd.h"

#include <algorithm>
#include <new>

#include "amova/Amova.h"
#include "core/TriMat.h"
#include "data/Population.h"
#include "project/DistMat.h"

namespace quintle {

namespace {

// The kernels are written once for both sources of distances, so that the
// two give bit-identical sums: same terms, same order.

template <class Dist>
double within(Population const& p, Dist const& d) {
    double const* n = p.hapl_count.data();
    int const* h = p.VectorOfExistingHaplotypes.data();
    int const H = p.nb_existing;
    double sum = 0.0;
    for (int i = 0; i < H; ++i) {
        double const ni = n[h[i]];
        sum += (ni - 1) * (ni * 0.5) * d(h[i], h[i]);
        for (int j = i + 1; j < H; ++j) sum += ni * n[h[j]] * d(h[i], h[j]);
    }
    return sum;
}

template <class Dist>
double between(Population const& a, Population const& b, Dist const& d) {
    double const* n = a.hapl_count.data();
    int const* h = a.VectorOfExistingHaplotypes.data();
    double const* m = b.hapl_count.data();
    int const* g = b.VectorOfExistingHaplotypes.data();
    double sum = 0.0;
    for (int i = 0; i < a.nb_existing; ++i)
        for (int j = 0; j < b.nb_existing; ++j) sum += n[h[i]] * m[g[j]] * d(h[i], g[j]);
    return sum;
}

template <class Dist>
double individuals(int const* v, long& cursor, long end, double size, Dist const& d) {
    double sum = 0.0;
    if (size > 0.0) {
        long done = 0;
        do {
            if (cursor + 1 >= end) break;
            sum += d(v[cursor], v[cursor + 1]);
            cursor += 2;
            ++done;
        } while (size > 2.0 * static_cast<double>(done));
    }
    return sum * 0.5;
}

// Stands in for an absent distance matrix: every read is reported as out of
// range by the matrix itself.
TriMat const& no_matrix() {
    static TriMat const empty;
    return empty;
}

}  // namespace

// --- FlatDistances -----------------------------------------------------------

bool FlatDistances::build_by_classes(TriMat const& m, int indexRange, int const* indexes, std::size_t count,
                                     std::size_t maxEntries) {
    constexpr std::size_t absent = static_cast<std::size_t>(-1);
    std::size_t const rows = m.row_classes().size();
    std::vector<std::size_t> classSlot(static_cast<std::size_t>(m.num_classes()), absent);
    std::vector<int> used;  // classes, in order of first use
    for (std::size_t k = 0; k < count; ++k) {
        int const h = indexes[k];
        if (h < 0 || h >= indexRange) return false;
        if (static_cast<std::size_t>(h) >= rows) return false;  // read (and reported) by the matrix itself
        int const c = m.row_class(h);
        if (classSlot[static_cast<std::size_t>(c)] == absent) {
            // One cell for a haplotype with itself and for two haplotypes of
            // its class: both must read alike in a sum (0 and -0 do).
            if (!(m.between(c, c) == m.on_diagonal(c))) return false;
            classSlot[static_cast<std::size_t>(c)] = used.size();
            used.push_back(c);
        }
    }
    std::size_t const K = used.size();
    if (K == 0 || K > maxEntries / K) return false;
    values_.assign(K * K, 0.0);
    for (std::size_t a = 0; a < K; ++a) {
        for (std::size_t b = 0; b < K; ++b)
            values_[a * K + b] = a == b ? m.on_diagonal(used[a]) : m.between(used[a], used[b]);
    }
    slot_.assign(static_cast<std::size_t>(indexRange), absent);
    row_.assign(static_cast<std::size_t>(indexRange), 0);
    for (std::size_t k = 0; k < count; ++k) {
        std::size_t const h = static_cast<std::size_t>(indexes[k]);
        std::size_t const a = classSlot[static_cast<std::size_t>(m.row_class(indexes[k]))];
        slot_[h] = a;
        row_[h] = a * K;
    }
    ready_ = true;
    return true;
}

bool FlatDistances::build(TriMat const& m, int indexRange, int const* indexes, std::size_t count,
                          std::size_t maxEntries) {
    clear();
    if (indexRange <= 0) return false;
    // A matrix held by classes is copied by classes: the block then grows
    // with the distinct texts, not with the haplotypes.
    if (m.classed() && m.constantMode == 0) {
        try {
            if (build_by_classes(m, indexRange, indexes, count, maxEntries)) return true;
        } catch (std::bad_alloc const&) {
        }
        clear();
    }
    try {
        constexpr std::size_t absent = static_cast<std::size_t>(-1);
        slot_.assign(static_cast<std::size_t>(indexRange), absent);
        std::vector<int> used;
        for (std::size_t k = 0; k < count; ++k) {
            int const h = indexes[k];
            if (h < 0 || h >= indexRange) {
                clear();
                return false;
            }
            if (slot_[h] == absent) {
                slot_[h] = used.size();
                used.push_back(h);
            }
        }
        std::size_t const K = used.size();
        if (K == 0 || K > maxEntries / K) {
            clear();
            return false;
        }
        values_.assign(K * K, 0.0);
        row_.assign(static_cast<std::size_t>(indexRange), 0);
        for (std::size_t a = 0; a < K; ++a) {
            row_[used[a]] = a * K;
            for (std::size_t b = 0; b < K; ++b) values_[a * K + b] = m(used[a], used[b]);
        }
    } catch (std::bad_alloc const&) {
        clear();
        return false;
    }
    ready_ = true;
    return true;
}

void FlatDistances::clear() {
    std::vector<std::size_t>().swap(slot_);
    std::vector<std::size_t>().swap(row_);
    std::vector<double>().swap(values_);
    ready_ = false;
}

// --- kernels ---------------------------------------------------------------------

double raw_within_sum(Population const& p, TriMat const& d) { return within(p, d); }
double raw_within_sum(Population const& p, FlatDistances const& d) { return within(p, d); }

double raw_between_sum(Population const& a, Population const& b, TriMat const& d) { return between(a, b, d); }
double raw_between_sum(Population const& a, Population const& b, FlatDistances const& d) {
    return between(a, b, d);
}

double* store_within_sum(Population& p, FlatDistances const& d) {
    p.SSDWP = within(p, d);
    p.SSDWP_divN = p.SSDWP / p.SampleSize;
    return &p.SSDWP;
}

double within_individual_sum(int const* v, long& cursor, long end, double size, TriMat const& d) {
    return individuals(v, cursor, end, size, d);
}
double within_individual_sum(int const* v, long& cursor, long end, double size, FlatDistances const& d) {
    return individuals(v, cursor, end, size, d);
}

// --- Population ----------------------------------------------------------------

double* Population::ComputeSSDWP(DistMat const& d) {
    SSDWP = within(*this, static_cast<TriMat const&>(d));
    SSDWP_divN = SSDWP / SampleSize;
    return &SSDWP;
}

double* Population::SSDWP_div_freq(DistMat const& d) {
    ComputeSSDWP(d);
    return &SSDWP_divN;
}

double Population::ComputeSSDAP(Population const* other, DistMat const& d) const {
    return between(*this, *other, static_cast<TriMat const&>(d));
}

// --- Amova ---------------------------------------------------------------------

double* Amova::sample_SSDWP(Population* p) {
    if (flat_dist.ready()) return store_within_sum(*p, flat_dist);
    p->SSDWP = within(*p, dist_mat != nullptr ? static_cast<TriMat const&>(*dist_mat) : no_matrix());
    p->SSDWP_divN = p->SSDWP / p->SampleSize;
    return &p->SSDWP;
}

double* Amova::sample_SSDWP_div_freq(Population* p) {
    sample_SSDWP(p);
    return &p->SSDWP_divN;
}

double Amova::sample_SSDAP(Population const* a, Population const* b) {
    if (flat_dist.ready()) return between(*a, *b, flat_dist);
    return between(*a, *b, dist_mat != nullptr ? static_cast<TriMat const&>(*dist_mat) : no_matrix());
}

double* Amova::compute_SSDWI() {
    SSDWI = 0.0;
    int const* v = HaplotypeIndexVector.data();
    long const end = static_cast<long>(HaplotypeIndexVector.size());
    TriMat const& tri = dist_mat != nullptr ? static_cast<TriMat const&>(*dist_mat) : no_matrix();
    long cursor = 0;
    for (Population* p : pops_by_id) {
        p->SSDWI = flat_dist.ready() ? individuals(v, cursor, end, p->SampleSize, flat_dist)
                                     : individuals(v, cursor, end, p->SampleSize, tri);
        SSDWI += p->SSDWI;
    }
    return &SSDWI;
}

double Amova::copy_pair_sum() {
    int const* v = HaplotypeIndexVector.data();
    long const n = static_cast<long>(HaplotypeIndexVector.size());
    long const copies = std::min(static_cast<long>(total_size), n - 1);
    double sum = 0.0;
    if (flat_dist.ready()) {
        for (long k = 0; k < copies; k += 2) sum += flat_dist(v[k], v[k + 1]);
    } else {
        TriMat const& tri = dist_mat != nullptr ? static_cast<TriMat const&>(*dist_mat) : no_matrix();
        for (long k = 0; k < copies; k += 2) sum += tri(v[k], v[k + 1]);
    }
    return sum * 0.5;
}

void Amova::compute_SSDP() {
    std::size_t const P = pops_by_id.size();
    for (std::size_t p = 0; p < P; ++p) {
        Population* a = pops_by_id[p];
        SSDP(a->id, a->id) = *sample_SSDWP(a);
        for (std::size_t q = p + 1; q < P; ++q) {
            Population const* b = pops_by_id[q];
            SSDP(a->id, b->id) = sample_SSDAP(a, b);
        }
    }
}

void Amova::compute_total_SSD() {
    int const P = static_cast<int>(pops_by_id.size());
    total_SSD = 0.0;
    for (int p = 0; p < P; ++p)
        for (int q = p; q < P; ++q) total_SSD += SSDP(p, q);
}

double* Amova::compute_SSDWP() {
    SSDWP = 0.0;
    for (Population const* p : pops_by_id) SSDWP += p->SSDWP / p->SampleSize;
    return &SSDWP;
}

double* Amova::compute_SSDAP() {
    SSDAP = 0.0;
    for (std::size_t g = 0; g < group_pops.size(); ++g) {
        int const gi = static_cast<int>(g);
        double term = SSDG(gi, gi) / group_size[g];
        for (Population const* m : group_pops[g]) term -= m->SSDWP / m->SampleSize;
        SSDAP += term;
    }
    return &SSDAP;
}

double* Amova::compute_SSDAG() {
    SSDAG = total_SSD / N;
    for (std::size_t g = 0; g < group_pops.size(); ++g) {
        int const gi = static_cast<int>(g);
        SSDAG -= SSDG(gi, gi) / group_size[g];
    }
    return &SSDAG;
}

void Amova::compute_SSDG_SSDAG() {
    SSDAG = total_SSD / N;
    for (std::size_t g = 0; g < group_pops.size(); ++g) {
        int const gi = static_cast<int>(g);
        std::vector<Population*> const& members = group_pops[g];
        double& within_group = SSDG(gi, gi);
        within_group = 0.0;
        group_size[g] = 0.0;
        for (std::size_t k = 0; k < members.size(); ++k) {
            int const idk = members[k]->id;
            within_group += SSDP(idk, idk);
            for (std::size_t m = k + 1; m < members.size(); ++m) within_group += SSDP(idk, members[m]->id);
            group_size[g] += members[k]->SampleSize;
        }
        SSDWG[g] = within_group / group_size[g];
        SSDAG -= SSDWG[g];
    }
}

}  // namespace quintle
