// Distances between the haplotypes of an RFLP sample and its molecular
// diversity.

#include <cmath>
#include <cstdint>
#include <cstring>
#include <iomanip>
#include <memory>
#include <new>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "core/Errors.h"
#include "datatypes/PopulRFLP.h"
#include "datatypes/class_pair_sum.h"
#include "datatypes/dna_replicate_statistics.h"
#include "datatypes/haplotype_text.h"
#include "datatypes/rflp_pair_counts.h"
#include "run/settings.h"

namespace quintle {

namespace {

void write_distance_matrix(std::ostream& os, RectMat const& m, int n) {
    os << "\nInter-haplotypic distance matrix:\n" << '\n';
    os.setf(std::ios::fixed | std::ios::showpoint | std::ios::right);
    os.unsetf(std::ios::scientific | std::ios::left | std::ios::internal);
    os.precision(4);
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < i; ++j) os << std::setw(8) << m(i, j);
        os << std::setw(8) << " ";
        for (int j = i + 1; j < n; ++j) os << std::setw(8) << m(i, j);
        os << "\n";
    }
    os << std::endl;
}

}  // namespace

void PopulRFLP::count_pair(char const* a, int lengthA, char const* b, int lengthB) {
    char const missing = profile.MissingData;
    bool const deletions = deletionWeight > 0;
    int const L = static_cast<int>(usableSite.size());
    int differences = 0;
    int compared = 0;
    for (int site = 0; site < L; ++site) {
        if (usableSite[static_cast<std::size_t>(site)] != 1) continue;
        ++compared;
        char const x = site < lengthA ? a[site] : missing;
        char const y = site < lengthB ? b[site] : missing;
        if (rflp_states_differ(x, y, missing, deletions)) ++differences;
    }
    numDifferences = differences;
    numComparedSites = compared;
}

// Distance and variance from the counts of the last pair: the proportion
// of differing sites, or their number.
void PopulRFLP::set_pair_distance(bool proportion) {
    double const D = numDifferences;
    double const C = numComparedSites;
    if (numComparedSites == 0) {
        pairDistance = proportion ? 0.0 : D;
        pairDistanceVar = 0.0;
        return;
    }
    double const p = D / C;
    pairDistance = proportion ? p : D;
    pairDistanceVar = proportion ? p * (1.0 - p) / C : (1.0 - p) * p * C;
}

int PopulRFLP::pair_distance(char const* a, char const* b, bool proportion) {
    if (numUsableSites == 0) {
        pairDistance = pairDistanceVar = 0.0;
        return 0;
    }
    count_pair(a, a != nullptr ? static_cast<int>(std::strlen(a)) : 0, b,
               b != nullptr ? static_cast<int>(std::strlen(b)) : 0);
    set_pair_distance(proportion);
    return 1;
}

int PopulRFLP::p_diff(char const* a, char const* b) { return pair_distance(a, b, true); }

int PopulRFLP::diff_no_weight(char const* a, char const* b) { return pair_distance(a, b, false); }

// Rows in list order. The texts are read over the usable sites once; a
// list that repeats texts gets a matrix by classes (fill_class_matrix).
int PopulRFLP::fill_distance_matrix(RectMat& m, double factor, settings* s) {
    int const n = static_cast<int>(haplotypes.count);
    std::vector<int> usable;
    for (std::size_t site = 0; site < usableSite.size(); ++site)
        if (usableSite[site] == 1) usable.push_back(static_cast<int>(site));
    std::vector<std::string_view> texts(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        texts[static_cast<std::size_t>(i)] = std::string_view(text_of(haplotypes[i]), static_cast<std::size_t>(length_of(haplotypes[i])));
    RflpTexts rows;
    rows.build(texts, usable, profile.MissingData, deletionWeight > 0);

    // A text that repeats makes one class of rows, each pair of distinct
    // texts counted once (without usable sites the first pair fails, as
    // below).
    int const d = rows.num_distinct();
    if (d < n && numUsableSites != 0) return fill_class_matrix(m, rows, static_cast<int>(usable.size()), factor, s);
    m.de_allocate_matrix();
    m.nRows = m.nCols = n;
    if (m.allocate_matrix() == 0 && n > 0) {
        E.error(MEMORY, "PopulRFLP::compute_distance_matrix()", Msg::m0_not_enough_memory);
        return 0;
    }
    bool const proportion = distanceMethod == 1;
    for (int i = 0; i < n; ++i) {
        int const ri = rows.distinct_of(i);
        for (int j = 0; j < i; ++j) {
            if (numUsableSites == 0) {
                // No usable site: the pair operation reports it.
                (this->*pairDistanceFn)(text_of(haplotypes[i]), text_of(haplotypes[j]));
                E.error(ERROR, "PopulRFLP::compute_distance_matrix(ofstream)", Msg::m136_dist_mat_not_computed);
                return 0;
            }
            int const rj = rows.distinct_of(j);
            numDifferences = rows.differences(ri, rj);
            numComparedSites = static_cast<int>(usable.size());
            set_pair_distance(proportion);

            double const dist = pairDistance * factor;
            if (dist > maxPairwiseDistance) maxPairwiseDistance = static_cast<int>(dist);
            m(i, j) = dist;
            m(j, i) = std::sqrt(pairDistanceVar) * factor;
        }
        settings::print_message();
        if (s != nullptr && s->stopFlag != 0) return 0;
        m(i, i) = 0.0;
    }
    return 1;
}

int PopulRFLP::fill_class_matrix(RectMat& m, RflpTexts const& rows, int compared, double factor, settings* s) {
    int const n = rows.num_entries();
    int const G = rows.num_distinct();
    std::vector<int> classOf(static_cast<std::size_t>(n));
    std::vector<int> entries(static_cast<std::size_t>(G), 0);
    for (int i = 0; i < n; ++i) {
        classOf[static_cast<std::size_t>(i)] = rows.distinct_of(i);
        ++entries[static_cast<std::size_t>(rows.distinct_of(i))];
    }
    if (!m.make_classed(std::move(classOf), G)) return 0;
    bool const proportion = distanceMethod == 1;
    // The members a pair leaves behind, for the pair of classes a, b.
    auto pair = [&](int a, int b) {
        numDifferences = a == b ? 0 : rows.differences(a, b);
        numComparedSites = compared;
        set_pair_distance(proportion);
    };
    for (int a = 0; a < G; ++a) {
        for (int b = entries[static_cast<std::size_t>(a)] >= 2 ? a : a - 1; b >= 0; --b) {
            pair(a, b);
            double const dist = pairDistance * factor;
            if (dist > maxPairwiseDistance) maxPairwiseDistance = static_cast<int>(dist);
            m.below(a, b) = dist;
            m.above(a, b) = std::sqrt(pairDistanceVar) * factor;
        }
    }
    // Progress and stop request after each row, as fill_distance_matrix
    // has them; the last pair of rows counted leaves its values.
    for (int i = 0; i < n; ++i) {
        settings::print_message();
        if (s != nullptr && s->stopFlag != 0) {
            if (i >= 1) pair(m.row_class(i), m.row_class(i - 1));
            return 0;
        }
    }
    if (n >= 2) pair(m.row_class(n - 1), m.row_class(n - 2));
    return 1;
}

int PopulRFLP::compute_distance_matrix(std::fstream* out, settings* s, int scaleToSites) {
    double const factor = (scaleToSites != 0 && distanceMethod == 1) ? static_cast<double>(numUsableSites) : 1.0;
    if (haplotypes.count < 1) {
        E.error(ERROR, "PopulRFLP::compute_distance_matrix()", Msg::m108_haplotype_list_empty);
        return 0;
    }
    pairDistanceFn = distanceMethod == 1 ? &PopulRFLP::p_diff : &PopulRFLP::diff_no_weight;
    int const n = static_cast<int>(haplotypes.count);
    NbHaplotypeEntries = n;
    // Made anew for the list as it is: a matrix of another size, or one left
    // partly filled, must not reach a later computation.
    distMat.reset();
    maxPairwiseDistance = 0;
    try {
        // With texts the matrix takes its form (plain or by classes of
        // alike rows) from them; without, it stays n x n of zeros.
        bool const texts = length_of(haplotypes[0]) > 0;
        auto matrix = std::make_unique<RectMat>(texts ? 0 : n, texts ? 0 : n);
        if (!matrix->has_storage()) {
            E.error(MEMORY, "PopulRFLP::compute_distance_matrix()", Msg::m0_not_enough_memory);
            return 0;
        }
        if (texts && fill_distance_matrix(*matrix, factor, s) == 0) {
            maxPairwiseDistance = 0;
            return 0;
        }
        distMat = std::move(matrix);
    } catch (std::bad_alloc const&) {
        distMat.reset();
        maxPairwiseDistance = 0;
        E.error(MEMORY, "PopulRFLP::compute_distance_matrix()", Msg::m0_not_enough_memory);
        return 0;
    }
    if (out != nullptr) write_distance_matrix(*out, *distMat, n);
    return 1;
}

int PopulRFLP::compute_molecular_diversity(settings& s) {
    if (!distMat) {
        deletionWeight = s.DeletionWeight;
        compute_distance_matrix(nullptr, &s, 0);
    }
    int const k = static_cast<int>(haplotypes.count);
    if (k < 1) {
        E.error(ERROR, "PopulRFLP::compute_molecular_diversity(settings& www)", Msg::m108_haplotype_list_empty);
        return 0;
    }
    if (!distMat) {
        E.error(ERROR, "PopulRFLP::compute_molecular_diversity()", Msg::m122_no_distance_matrix);
        return 1;
    }
    if (length_of(haplotypes[0]) == 0) return 1;

    piPerSite = 0.0;
    meanPairwiseDiff = 0.0;
    double sum = 0.0;
    RectMat const& d = *distMat;
    if (std::optional<double> const exact = exact_class_pair_sum(haplotypes, d)) {
        sum = *exact;
    } else {
        for (int i = 1; i < k; ++i) {
            std::int64_t const ci = haplotypes[i] != nullptr ? haplotypes[i]->count : 0;
            for (int j = 0; j < i; ++j) {
                std::int64_t const cj = haplotypes[j] != nullptr ? haplotypes[j]->count : 0;
                // 64 bits: the product of two large counts passes 2^31.
                sum += d(i, j) * static_cast<double>(ci * cj);
            }
        }
    }
    if (distanceMethod == 1) sum *= numUsableSites;

    MolecularDiversity const diversity = molecular_diversity(sum, SampleSize, numUsableSites);
    meanPairwiseDiff = diversity.meanPairwiseDiff;
    meanPairwiseDiffSd = diversity.meanPairwiseDiffSd;
    piPerSite = diversity.piPerSite;
    piPerSiteSd = diversity.piPerSiteSd;
    return 1;
}

}  // namespace quintle
