// A DNA sample's pair operations and its matrix of pairwise distances.

#include <array>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <iomanip>
#include <memory>
#include <new>
#include <ostream>
#include <vector>

#include "core/public.h"
#include "core/timing.h"
#include "datatypes/PopulDNA.h"
#include "datatypes/dna_distances.h"
#include "run/settings.h"

namespace quintle {

namespace {

// Largest matrix (in cells) that the workspace keeps for a later request.
constexpr std::size_t kStoredCells = std::size_t{1} << 16;

// Identical sites left out of the texts that the distances count: all of
// them without a site census, the usable ones with one.
std::int64_t omitted_sites_counted(PopulDNA const& p) {
    if (p.omittedIdenticalSites <= 0) return 0;
    if (!p.usableSite.empty() && 0.0 > p.allowedMissingLevel) return 0;
    return p.omittedIdenticalSites;
}

PopulDNA::PairDistanceFn pair_operation(int method) {
    switch (method) {
        case 1: return &PopulDNA::jk_dist;
        case 2: return &PopulDNA::kim2p_dist;
        case 3: return &PopulDNA::p_dist;
        case 4: return &PopulDNA::tajnei_dist;
        case 5: return &PopulDNA::tamura_dist;
        case 6: return &PopulDNA::tamnei_dist;
        default: return &PopulDNA::diff_dist;
    }
}

// The two matrix entries of a pair: distance below the diagonal, standard
// deviation above it.
struct PairEntry {
    double distance = 0.0;
    double sd = 0.0;
    bool ok = true;
};

PairEntry matrix_entry(DistanceResult const& r, double f) {
    return PairEntry{r.distance * f, r.variance >= 0 ? std::sqrt(r.variance) * f : 0.0, r.ok};
}

// Entries of pairs of distinct texts, for a list that repeats texts: each
// such pair is worked out once. Kept only when the counts do not depend on
// the order of the two texts, and when the texts repeat enough (each at
// least twice on average) for the table to stay well below the matrix.
class DistinctPairs {
public:
    explicit DistinctPairs(DnaDistanceWorkspace const& ws) : ws_(ws) {
        std::size_t const d = static_cast<std::size_t>(ws.numDistinct());
        if (ws.symmetric() && 2 * ws.numDistinct() <= ws.numHaplotypes()) {
            values_.resize(d * (d + 1) / 2);
            state_.assign(d * (d + 1) / 2, kUnknown);
        }
    }

    template <class Compute>
    PairEntry get(int i, int j, Compute compute) {
        if (state_.empty()) return compute();
        std::size_t a = static_cast<std::size_t>(ws_.distinct_index(i));
        std::size_t b = static_cast<std::size_t>(ws_.distinct_index(j));
        if (a < b) std::swap(a, b);
        std::size_t const slot = a * (a + 1) / 2 + b;
        if (state_[slot] == kUnknown) {
            PairEntry const e = compute();
            values_[slot] = {e.distance, e.sd};
            state_[slot] = e.ok ? kOk : kFailed;
        }
        return PairEntry{values_[slot][0], values_[slot][1], state_[slot] == kOk};
    }

private:
    static constexpr std::uint8_t kUnknown = 0;
    static constexpr std::uint8_t kOk = 1;
    static constexpr std::uint8_t kFailed = 2;

    DnaDistanceWorkspace const& ws_;
    std::vector<std::array<double, 2>> values_;
    std::vector<std::uint8_t> state_;
};

void write_distance_matrix(std::ostream& os, RectMat const& m, int n) {
    os << "\nInter-haplotypic distance matrix:\n" << '\n';
    os.setf(std::ios::fixed | std::ios::showpoint | std::ios::right);
    os.unsetf(std::ios::scientific | std::ios::left);
    os.precision(4);
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < i; ++j) os << std::setw(8) << m(i, j);
        os << std::setw(8) << " ";
        for (int j = i + 1; j < n; ++j) os << std::setw(8) << m(i, j);
        os << '\n';
    }
    os.flush();
}

}  // namespace

DistanceParams PopulDNA::distance_params() const {
    DistanceParams p;
    p.weights = DistanceWeights{deletionWeight, transitionWeight, transversionWeight};
    p.gamma = gammaA;
    p.missing = profile.MissingData;
    p.freq = nuclFreq;
    p.gcContent = gcContent;
    return p;
}

DistanceParams PopulDNA::method_params(int method) const {
    DistanceParams p = distance_params();
    // The gamma correction has a form for these three methods only.
    if (method != 1 && method != 2 && method != 6) p.gamma = 0.0;
    return p;
}

int PopulDNA::finish_pair(int method, DnaPairCounts const& counts) {
    method = effective_dna_method(method);
    if (method == 4) {
        // The counts of this pair alone.
        for (auto& row : pairNuclFreq) row.fill(0.0);
        for (int i = 1; i < 4; ++i) {
            for (int j = 0; j < i; ++j)
                pairNuclFreq[i][j] = static_cast<double>(counts.nucleotides[dna_nucleotide_pair_index(i, j)]);
        }
    }
    DistanceResult const r = dna_distance(method, counts, method_params(method));
    pairDistance = r.distance;
    pairDistanceVar = r.variance;
    for (int k = 0; k < r.numReports; ++k) {
        E.error(r.reports[k].kind, dna_distance_function_name(method), r.reports[k].number);
    }
    return r.ok ? 1 : 0;
}

int PopulDNA::text_pair(int method, char const* s1, char const* s2) {
    return finish_pair(method, count_sequence_pair(s1, s2, usableSite, profile.MissingData));
}

int PopulDNA::diff_dist(char const* s1, char const* s2) { return text_pair(0, s1, s2); }
int PopulDNA::jk_dist(char const* s1, char const* s2) { return text_pair(1, s1, s2); }
int PopulDNA::kim2p_dist(char const* s1, char const* s2) { return text_pair(2, s1, s2); }
int PopulDNA::p_dist(char const* s1, char const* s2) { return text_pair(3, s1, s2); }
int PopulDNA::tajnei_dist(char const* s1, char const* s2) { return text_pair(4, s1, s2); }
int PopulDNA::tamura_dist(char const* s1, char const* s2) { return text_pair(5, s1, s2); }
int PopulDNA::tamnei_dist(char const* s1, char const* s2) { return text_pair(6, s1, s2); }

int PopulDNA::distance_pairs(RectMat& m, int method, double f, settings* s) {
    DnaDistanceWorkspace const& ws = distanceWorkspace;
    int const n = ws.numHaplotypes();
    DistanceParams const p = method_params(method);
    DistinctPairs distinct(ws);
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < i; ++j) {
            PairEntry const e =
                distinct.get(i, j, [&] { return matrix_entry(dna_distance(method, ws.count(i, j), p), f); });
            if (!e.ok) {
                // The first failing pair in list order: its values and its
                // messages, as a pair operation leaves them.
                finish_pair(method, ws.count(i, j));
                E.error(ERROR, "PopulDNA::compute_distance_matrix(ofstream)",
                        Msg::m136_dist_mat_not_computed);
                // A partly filled matrix must not reach any later
                // computation.
                maxPairwiseDistance = 0;
                return 0;
            }
            if (e.distance > maxPairwiseDistance) maxPairwiseDistance = static_cast<int>(e.distance);
            m(i, j) = e.distance;
            m(j, i) = e.sd;
        }
        settings::print_message();
        if (s != nullptr && s->stopFlag != 0) {
            if (i >= 1) finish_pair(method, ws.count(i, i - 1));
            maxPairwiseDistance = 0;
            return 0;
        }
        m(i, i) = 0.0;
    }
    // The last pair's values stay, as a pair operation leaves them.
    if (n >= 2) finish_pair(method, ws.count(n - 1, n - 2));
    return 1;
}

int PopulDNA::fill_distance_matrix(RectMat& m, int method, double f, settings* s) {
    int const n = static_cast<int>(haplotypes.count);
    std::vector<char const*> texts(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        PHaploDef const* h = haplotypes[i];
        texts[static_cast<std::size_t>(i)] = (h != nullptr && h->haplotype != nullptr) ? h->haplotype->data.c_str() : "";
    }
    distanceWorkspace.prepare(texts, usableSite, profile.MissingData, omitted_sites_counted(*this));

    DnaDistanceWorkspace::Key key;
    key.method = method;
    key.gamma = method_params(method).gamma;
    key.weights = DistanceWeights{deletionWeight, transitionWeight, transversionWeight};
    key.scale = f;
    if (method >= 4) {
        key.freq = nuclFreq;
        key.gcContent = gcContent;
    }

    if (auto const* hit = distanceWorkspace.find(key)) {
        settings::print_message();
        if (s != nullptr && s->stopFlag != 0) return 0;
        m = hit->matrix;
        maxPairwiseDistance = hit->maxPairwiseDistance;
        if (hit->hasLastPair) {
            pairDistance = hit->lastDistance;
            pairDistanceVar = hit->lastVariance;
            if (method == 4) pairNuclFreq = hit->lastPairCounts;
        }
        return 1;
    }
    if (distance_pairs(m, method, f, s) == 0) return 0;
    // A large matrix is computed again sooner than copied into the store.
    if (static_cast<std::size_t>(n) * static_cast<std::size_t>(n) > kStoredCells) return 1;
    DnaDistanceWorkspace::Entry entry;
    entry.key = key;
    entry.matrix = m;
    entry.maxPairwiseDistance = maxPairwiseDistance;
    entry.hasLastPair = n >= 2;
    entry.lastDistance = pairDistance;
    entry.lastVariance = pairDistanceVar;
    entry.lastPairCounts = pairNuclFreq;
    distanceWorkspace.store(std::move(entry));
    return 1;
}

int PopulDNA::compute_distance_matrix(std::fstream* out, settings* s, int scale) {
    int const method = effective_dna_method(distanceMethod);
    double const f = (scale != 0 && distanceMethod != 0) ? static_cast<double>(numUsableSites) : 1.0;

    if (haplotypes.count < 1) {
        E.error(ERROR, "PopulDNA::compute_distance_matrix()", Msg::m108_haplotype_list_empty);
        return 0;
    }
    pairDistanceFn = pair_operation(method);
    if (method >= 4) comp_nucl_freq();

    int const n = static_cast<int>(haplotypes.count);
    NbHaplotypeEntries = n;
    distMat.reset();
    maxPairwiseDistance = 0;
    std::clock_t const start = replicateLaps != nullptr ? std::clock_t{} : get_sys_clock();
    *_AOS_ << "\t\t\tBeginning distance computations ...\n";

    try {
        auto matrix = std::make_unique<RectMat>(n, n);
        if (!matrix->has_storage() && n > 0) {
            E.error(MEMORY, "PopulDNA::compute_distance_matrix()", Msg::m0_not_enough_memory);
            return 0;
        }
        PHaploDef const* first = haplotypes[0];
        bool const hasText = first != nullptr && first->haplotype != nullptr && first->haplotype->data.length() > 0;
        if (hasText && fill_distance_matrix(*matrix, method, f, s) == 0) return 0;
        distMat = std::move(matrix);
    } catch (std::bad_alloc const&) {
        distMat.reset();
        maxPairwiseDistance = 0;
        E.error(MEMORY, "PopulDNA::compute_distance_matrix()", Msg::m0_not_enough_memory);
        return 0;
    }

    *_AOS_ << "\t\t\tdone ! (" << (replicateLaps != nullptr ? replicateLaps->lap_ms() : elapsed_ms_since(start))
           << " ms)\n";

    if (out != nullptr) {
        std::clock_t const writeStart = get_sys_clock();
        *_AOS_ << "\t\t\tWriting matrix to file ...\n";
        write_distance_matrix(*out, *distMat, n);
        *_AOS_ << "\t\t\tdone ! (" << elapsed_ms_since(writeStart) << " ms)\n";
    }
    return 1;
}

}  // namespace quintle
