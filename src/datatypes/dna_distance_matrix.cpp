// A DNA sample's pair operations and its matrix of pairwise distances.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <iomanip>
#include <limits>
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

// Largest matrix (in values held) that the workspace keeps for a later
// request.
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
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < i; ++j) {
            PairEntry const e = matrix_entry(dna_distance(method, ws.count(i, j), p), f);
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

int PopulDNA::class_distance_pairs(RectMat& m, int method, double f, settings* s) {
    DnaDistanceWorkspace const& ws = distanceWorkspace;
    int const n = ws.numHaplotypes();
    int const G = ws.numDistinct();
    std::vector<int> classOf(static_cast<std::size_t>(n));
    std::vector<int> first(static_cast<std::size_t>(G), -1);
    std::vector<int> rows(static_cast<std::size_t>(G), 0);
    for (int i = 0; i < n; ++i) {
        int const c = ws.distinct_index(i);
        classOf[static_cast<std::size_t>(i)] = c;
        if (first[static_cast<std::size_t>(c)] < 0) first[static_cast<std::size_t>(c)] = i;
        ++rows[static_cast<std::size_t>(c)];
    }
    if (!m.make_classed(std::move(classOf), G)) return 0;

    // Every pair of classes that some pair of rows forms; a failing one
    // marks, for each of its two classes, the other class's first row.
    DistanceParams const p = method_params(method);
    constexpr int kNone = std::numeric_limits<int>::max();
    std::vector<int> firstFailing(static_cast<std::size_t>(G), kNone);
    bool failed = false;
    for (int a = 0; a < G; ++a) {
        int const ra = first[static_cast<std::size_t>(a)];
        for (int b = rows[static_cast<std::size_t>(a)] >= 2 ? a : a - 1; b >= 0; --b) {
            int const rb = first[static_cast<std::size_t>(b)];
            PairEntry const e = matrix_entry(dna_distance(method, ws.count(ra, rb), p), f);
            if (!e.ok) {
                failed = true;
                int& fa = firstFailing[static_cast<std::size_t>(a)];
                int& fb = firstFailing[static_cast<std::size_t>(b)];
                fa = std::min(fa, rb);
                fb = std::min(fb, ra);
                continue;
            }
            if (e.distance > maxPairwiseDistance) maxPairwiseDistance = static_cast<int>(e.distance);
            m.below(a, b) = e.distance;
            m.above(a, b) = e.sd;
        }
    }
    // Rows in list order, as distance_pairs meets them: the first row with
    // a failing pair reports its first such pair; the progress and the stop
    // request come after each row.
    for (int i = 0; i < n; ++i) {
        int const j = failed ? firstFailing[static_cast<std::size_t>(m.row_class(i))] : kNone;
        if (j < i) {
            finish_pair(method, ws.count(i, j));
            E.error(ERROR, "PopulDNA::compute_distance_matrix(ofstream)", Msg::m136_dist_mat_not_computed);
            maxPairwiseDistance = 0;
            return 0;
        }
        settings::print_message();
        if (s != nullptr && s->stopFlag != 0) {
            if (i >= 1) finish_pair(method, ws.count(i, i - 1));
            maxPairwiseDistance = 0;
            return 0;
        }
    }
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
    // A text that repeats makes one class of rows, each pair of distinct
    // texts worked out once; class values need the same counts in either
    // order.
    DnaDistanceWorkspace const& ws = distanceWorkspace;
    if (ws.symmetric() && ws.numDistinct() < n) {
        if (class_distance_pairs(m, method, f, s) == 0) return 0;
    } else {
        m.de_allocate_matrix();
        m.nRows = m.nCols = n;
        if (m.allocate_matrix() == 0 && n > 0) {
            E.error(MEMORY, "PopulDNA::compute_distance_matrix()", Msg::m0_not_enough_memory);
            return 0;
        }
        if (distance_pairs(m, method, f, s) == 0) return 0;
    }
    // A large matrix is computed again sooner than copied into the store.
    if (m.stored_values() > kStoredCells) return 1;
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
        PHaploDef const* first = haplotypes[0];
        bool const hasText = first != nullptr && first->haplotype != nullptr && first->haplotype->data.length() > 0;
        // With texts the matrix takes its form (plain or by classes of
        // alike rows) from them; without, it stays n x n of zeros.
        auto matrix = std::make_unique<RectMat>(hasText ? 0 : n, hasText ? 0 : n);
        if (!hasText && !matrix->has_storage() && n > 0) {
            E.error(MEMORY, "PopulDNA::compute_distance_matrix()", Msg::m0_not_enough_memory);
            return 0;
        }
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
