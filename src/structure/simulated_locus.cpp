// Simulated loci of the scan for loci under selection measured from the
// allele counts of each sample, read straight off the leaves of their
// genealogy: the AMOVA at the level of gene copies and the mean
// heterozygosity within samples, with the numbers of the genetic-structure
// driver to the last bit. Everything is kept from locus to locus.

#include "structure/simulated_locus.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <span>

#include "amova/Amova.h"
#include "amova/amova_results.h"
#include "data/HaploDef.h"
#include "data/Haplo_DB.h"
#include "data/Population.h"
#include "data/TAlleleDB.h"
#include "data/TLocus.h"
#include "popstats/PopGenetics.h"
#include "popstats/TNode.h"
#include "popstats/TTree.h"
#include "popstats/allele_size_stats.h"
#include "popstats/allele_tally.h"
#include "project/DistMat.h"
#include "project/Project.h"
#include "project/Samples.h"
#include "project/Structure.h"
#include "run/settings.h"
#include "run/task_bits.h"

namespace quintle {

namespace {

constexpr double kUnknown = std::numeric_limits<double>::quiet_NaN();
// Pair sums stay exact below this.
constexpr double kExactLimit = 4503599627370496.0;  // 2^52

bool same_bits(double a, double b) { return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b); }

// A copy the heterozygosity counts: not the missing-data character and, for
// DNA, not an ambiguity code (as the sample tables read an allele's name).
bool valid_text(std::string const& text, char missing, bool dna) {
    return !text.empty() && counted_allele_char(text[0], missing, dna);
}

// The distance methods whose value for two alleles depends on those two
// alone (and on the settings): a distance learnt on one locus holds for
// every other.
bool pairwise_method(TDataType type, int method) {
    switch (type) {
        case DNA: {
            const int m = method >= 0 && method <= 6 ? method : 0;
            return m == 0 || m == 3;
        }
        case RFLP:
        case MICROSAT: return method == 0 || method == 1;
        case STANDARD: return true;
        default: return false;
    }
}

}  // namespace

// --- through samples and the driver ------------------------------------------------

void ready_simulated_data(Project& project) {
    Samples& current = *project.samples;
    current.GenotypicData = project.GenotypicData;
    PopGenetics::globalAllelicDB.destroy();
    if (project.GenotypicData != 0) {
        current.phen_to_gam(&project.haplotypes, &project, &project.options);
        project.phen_converted = 1;
    }
    project.allele_db.destroy();
    project.allele_db.loci.Reallocate(1);
    const char separator = current.locusSeparator;
    if (project.GenotypicData == 0) {
        MY_TIArrayAsVector<HaploDef>& defs = project.haplotypes.haplotypes;
        for (long i = 0; i < defs.count; ++i)
            if (HaploDef* h = defs.data[i]) h->build_haplovect(&project.allele_db, separator, 0, 0.1);
        project.vectors_built = 1;
    } else {
        current.build_all_vectors(separator);
    }
}

LocusMeasure measure_with_driver(Project& project, std::fstream& muted) {
    project.amova_res = amova_results();
    project.GenStructCalculations(&muted);
    LocusMeasure m;
    m.fst = project.amova_res.FST;
    project.computeMeanHeterozygosityOverSamplesInStructure(*project.samples, *project.structure);
    TAlleleDB const& db = project.allele_db;
    m.withinHet = db.loci.count > 0 && db.loci.data[0] != nullptr ? db.loci.data[0]->meanSampleHet : 0.0;
    return m;
}

// --- kernels -----------------------------------------------------------------

bool count_amova_fst(CountAmovaInput const& in, double& fst) {
    const int G = in.groups;
    const int K = in.K;
    if (G < 1 || K < 1 || in.groupSizes == nullptr) return false;
    int P = 0;
    for (int g = 0; g < G; ++g) {
        if (in.groupSizes[g] < 1) return false;
        P += in.groupSizes[g];
    }
    double N = 0.0;
    for (int r = 0; r < P; ++r) {
        const double n = in.sizes[r];
        if (!(n >= 1.0)) return false;
        if (in.individuals && static_cast<long long>(n) % 2 != 0) return false;
        N += n;
    }
    double const* c = in.counts;
    double const* d = in.distances;
    auto within = [&](int r) {
        double const* x = c + static_cast<std::ptrdiff_t>(r) * K;
        double sum = 0.0;
        for (int a = 0; a < K; ++a) {
            if (x[a] == 0.0) continue;
            sum += (x[a] - 1) * (x[a] * 0.5) * d[a * K + a];
            for (int b = a + 1; b < K; ++b) sum += x[a] * x[b] * d[a * K + b];
        }
        return sum;
    };
    auto between = [&](int r, int t) {
        double const* x = c + static_cast<std::ptrdiff_t>(r) * K;
        double const* y = c + static_cast<std::ptrdiff_t>(t) * K;
        double sum = 0.0;
        for (int a = 0; a < K; ++a) {
            if (x[a] == 0.0) continue;
            for (int b = 0; b < K; ++b) sum += x[a] * y[b] * d[a * K + b];
        }
        return sum;
    };

    if (G == 1) {
        // One group of several samples (the engine's one-group design).
        const int df0 = P - G;
        const int df1 = static_cast<int>(N) - P;
        if (df0 <= 0 || df1 <= 0) return false;
        double T = 0.0;
        double S2 = 0.0;
        double SSDWP = 0.0;
        for (int i = 0; i < P; ++i) {
            const double w = within(i);
            T += w;
            SSDWP += w / in.sizes[i];
            for (int j = i + 1; j < P; ++j) T += between(i, j);
            S2 += in.sizes[i] * in.sizes[i];
        }
        const double SSDAP = T / N - SSDWP;
        const double MSD0 = SSDAP / df0;
        const double MSD1 = SSDWP / df1;
        const double n0 = (N - S2 / N) / df0;
        const double Vb = MSD1;
        const double Va = (MSD0 - MSD1) / n0;
        const double Vt = Va + Vb;
        fst = Vt == 0.0 ? 0.0 : Va / Vt;
        return true;
    }

    // Several groups (the engine's group design).
    const int df0 = G - 1;
    const int df1 = P - G;
    const int df2 = static_cast<int>(N) - P;
    if (df0 <= 0 || df1 <= 0 || df2 <= 0) return false;
    double total = 0.0;  // whole numbers: any order
    for (int i = 0; i < P; ++i) {
        total += within(i);
        for (int j = i + 1; j < P; ++j) total += between(i, j);
    }
    double SSDWP = 0.0;
    double sumW = 0.0;
    double sumQN = 0.0;
    double sumQ = 0.0;
    double sumNg2 = 0.0;
    int first = 0;
    for (int g = 0; g < G; ++g) {
        const int end = first + in.groupSizes[g];
        double S = 0.0;
        double Q = 0.0;
        double Ng = 0.0;
        for (int i = first; i < end; ++i) {
            const double w = within(i);
            S += w;
            for (int j = i + 1; j < end; ++j) S += between(i, j);
            Q += in.sizes[i] * in.sizes[i];
            SSDWP += w / in.sizes[i];
            Ng += in.sizes[i];
        }
        const double SSDWG = S / Ng;
        sumW += SSDWG;
        sumQN += Q / Ng;
        sumQ += Q;
        sumNg2 += Ng * Ng;
        first = end;
    }
    const double SSDAG = total / N - sumW;
    const double SSDAP = sumW - SSDWP;
    const double MSD0 = SSDAG / df0;
    const double MSD1 = SSDAP / df1;
    const double MSD2 = SSDWP / df2;
    const double n0 = (N - sumQN) / df1;
    const double n1 = (sumQN - sumQ / N) / df0;
    const double n2 = (N - sumNg2 / N) / df0;
    const double Vc = MSD2;
    const double Vb = (MSD1 - Vc) / n0;
    const double Va = (MSD0 - Vc - n1 * Vb) / n2;
    const double Vt = Va + Vb + Vc;
    fst = Vt == 0.0 || std::isnan(Vt) ? 0.0 : (Va + Vb) / Vt;
    return true;
}

double count_mean_within_het(int rows, int K, double const* counts, double const* sizes) {
    double Sh = 0.0;
    double N = 0.0;
    for (int r = 0; r < rows; ++r) {
        double const* x = counts + static_cast<std::ptrdiff_t>(r) * K;
        double n = 0.0;
        for (int a = 0; a < K; ++a) n += x[a];
        const double ni = sizes[r];
        N += ni;
        Sh += ni * expected_heterozygosity(std::span<const double>(x, static_cast<std::size_t>(K)), n);
    }
    return N != 0.0 ? Sh / N : 0.0;
}

// --- SimulatedLocusCounts ----------------------------------------------------------

void SimulatedLocusCounts::prepare(Project const& project, Samples const& templ, Structure const& tested,
                                   bool byStructure, Mut_Type model, bool diploid, bool exporting) {
    usable_ = false;
    alleles_.clear();
    byState_.clear();
    dist_.clear();
    dim_ = 0;
    templateSizes_.clear();
    rowTemplate_.clear();
    groupSizes_.clear();
    measured_ = 0;
    driven_ = 0;
    model_ = model;
    diploid_ = diploid;
    separator_ = templ.locusSeparator;
    missing_ = templ.MissingData;
    dna_ = templ.dataType == DNA;

    settings const& s = project.options;
    // Only the AMOVA of gene copies, without permutations, on pairwise
    // distances, is taken from counts.
    if (exporting || s.TaskNumber != task_amova || s.HaplAMOVA == 0 || s.LocByLocAMOVA != 0 ||
        s.NumPermutationsAMOVA != 0)
        return;
    if (project.GenotypicData != 0 && project.RecessiveData != 0) return;
    if (!pairwise_method(templ.dataType, s.DistanceMethodAMOVA)) return;
    const int G = tested.NbGroups;
    if (G < 1 || !tested.Groups || !tested.GroupSizes) return;
    const int code = Amova::choose_design_code(project.GenotypicData, templ.GameticPhase, s.IncludeIndividualLevel,
                                               s.RecessiveAllelesEM, s.ComputeConventionalFST, G,
                                               tested.GroupSizes[0]);
    if (code != 3 && code != 5 && code != 7 && code != 8) return;
    individuals_ = code == 7 || code == 8;

    // The templates in leaf order.
    std::vector<Population const*> templates;
    if (byStructure) {
        for (int q = 0; q < G; ++q)
            for (int j = 0; j < tested.GroupSizes[q]; ++j)
                templates.push_back(j < tested.Groups[q].count ? tested.Groups[q].data[j] : nullptr);
    } else {
        for (long i = 0; i < templ.Populations.count; ++i) templates.push_back(templ.Populations.data[i]);
    }
    for (Population const* p : templates) {
        if (p == nullptr) return;
        templateSizes_.push_back(p->SampleSize > 0.0 ? static_cast<int>(p->SampleSize) : 0);
    }
    // Each member of the structure is the first template of its name, once.
    int rows = 0;
    for (int q = 0; q < G; ++q) {
        if (tested.GroupSizes[q] < 1) return;
        groupSizes_.push_back(tested.GroupSizes[q]);
        for (int j = 0; j < tested.GroupSizes[q]; ++j, ++rows) {
            Population const* member = j < tested.Groups[q].count ? tested.Groups[q].data[j] : nullptr;
            if (member == nullptr) return;
            int found = -1;
            for (std::size_t t = 0; t < templates.size() && found < 0; ++t)
                if (templates[t]->name == member->name) found = static_cast<int>(t);
            if (found < 0 || std::find(rowTemplate_.begin(), rowTemplate_.end(), found) != rowTemplate_.end())
                return;
            rowTemplate_.push_back(found);
        }
    }
    if (rows != tested.NbSamplesInGroups || (rows == G && G != 1)) return;
    std::size_t leaves = 0;
    for (int n : templateSizes_) leaves += static_cast<std::size_t>(n);
    leafAllele_.assign(leaves, -1);
    usable_ = true;
}

bool SimulatedLocusCounts::distance_known(int a, int b) const {
    const std::size_t ua = static_cast<std::size_t>(a);
    const std::size_t ub = static_cast<std::size_t>(b);
    return ua < dim_ && ub < dim_ && !std::isnan(dist_[ua * dim_ + ub]);
}

void SimulatedLocusCounts::grow_distances(int K) {
    const std::size_t want = static_cast<std::size_t>(K);
    if (want <= dim_) return;
    std::size_t dim = std::max<std::size_t>(8, dim_);
    while (dim < want) dim *= 2;
    std::vector<double> grown(dim * dim, kUnknown);
    for (std::size_t a = 0; a < dim_; ++a)
        for (std::size_t b = 0; b < dim_; ++b) grown[a * dim + b] = dist_[a * dim_ + b];
    dist_.swap(grown);
    dim_ = dim;
}

// The scan's allele of a leaf's state, entered at its first sight; -1 when
// the state has no text (the driver then reports it).
int SimulatedLocusCounts::allele_of_state(TNode const& leaf) {
    const int state = (*leaf.sequence)[0];
    if (auto found = byState_.find(state); found != byState_.end()) return found->second;
    if (!simulated_leaf_text(leaf, model_, separator_, text_, id_) || text_.empty()) return -1;
    int index = -1;
    for (std::size_t a = 0; a < alleles_.size() && index < 0; ++a)
        if (alleles_[a].text == text_) index = static_cast<int>(a);
    if (index < 0) {
        index = static_cast<int>(alleles_.size());
        alleles_.push_back(Allele{text_, valid_text(text_, missing_, dna_)});
        grow_distances(index + 1);
    }
    byState_.emplace(state, index);
    return index;
}

SimulatedLocusCounts::Outcome SimulatedLocusCounts::measure(TTree& tree, LocusMeasure& out) {
    if (!usable_) return Outcome::NeedsDriver;
    ++driven_;  // taken back when measured here
    localStates_.clear();
    local_.clear();
    const std::size_t T = templateSizes_.size();
    int leaf = 0;
    for (std::size_t t = 0; t < T; ++t) {
        const int n = templateSizes_[t];
        if (n == 0) continue;
        if (!tree.allocated() || leaf + n > tree.num_genes || tree.nodes[leaf].num_sites != 1)
            return Outcome::NeedsDriver;
        // As the reading of the leaves into samples leaves them.
        if (diploid_) {
            for (int k = 0; k < n; ++k) {
                tree.nodes[leaf + k].is_distinct = true;
                tree.nodes[leaf + k].hapl_count = 1;
            }
        } else {
            tree.compute_hapl_freq(leaf, n);
        }
        int total = 0;
        for (int k = 0; k < n; ++k) {
            TNode const& node = tree.nodes[leaf + k];
            int& slot = leafAllele_[static_cast<std::size_t>(leaf + k)];
            slot = -1;
            if (!node.is_distinct) continue;
            if (node.num_sites != 1 || !node.sequence || node.sequence->length < 1) return Outcome::NeedsDriver;
            const int state = (*node.sequence)[0];
            int local = -1;
            for (auto const& [s, l] : localStates_)
                if (s == state) local = l;
            if (local < 0) {
                const int a = allele_of_state(node);
                if (a < 0) return Outcome::NeedsDriver;
                for (std::size_t l = 0; l < local_.size() && local < 0; ++l)
                    if (local_[l] == a) local = static_cast<int>(l);
                if (local < 0) {
                    local = static_cast<int>(local_.size());
                    local_.push_back(a);
                }
                localStates_.emplace_back(state, local);
            }
            slot = local;
            total += node.hapl_count;
        }
        if (total != n) return Outcome::NeedsDriver;
        leaf += n;
    }

    // Counts per template, then per row of the structure.
    const int K = static_cast<int>(local_.size());
    for (int a : local_)
        if (!alleles_[static_cast<std::size_t>(a)].valid) return Outcome::NeedsDriver;
    templateCounts_.assign(T * static_cast<std::size_t>(K), 0.0);
    leaf = 0;
    for (std::size_t t = 0; t < T; ++t) {
        double* row = templateCounts_.data() + t * static_cast<std::size_t>(K);
        for (int k = 0; k < templateSizes_[t]; ++k, ++leaf) {
            const int l = leafAllele_[static_cast<std::size_t>(leaf)];
            if (l >= 0) row[l] += tree.nodes[leaf].hapl_count;
        }
    }
    const std::size_t R = rowTemplate_.size();
    counts_.resize(R * static_cast<std::size_t>(K));
    sizes_.resize(R);
    for (std::size_t r = 0; r < R; ++r) {
        const std::size_t t = static_cast<std::size_t>(rowTemplate_[r]);
        std::copy_n(templateCounts_.data() + t * static_cast<std::size_t>(K), K,
                    counts_.data() + r * static_cast<std::size_t>(K));
        sizes_[r] = templateSizes_[t];
    }
    for (int a = 0; a < K; ++a)
        for (int b = 0; b < K; ++b)
            if (!distance_known(local_[static_cast<std::size_t>(a)], local_[static_cast<std::size_t>(b)]))
                return Outcome::NeedsDriverToLearn;
    if (!compute(out)) return Outcome::NeedsDriver;
    --driven_;
    ++measured_;
    return Outcome::Measured;
}

bool SimulatedLocusCounts::compute(LocusMeasure& out) {
    const int K = static_cast<int>(local_.size());
    const std::size_t R = rowTemplate_.size();
    localDist_.resize(static_cast<std::size_t>(K) * static_cast<std::size_t>(K));
    double largest = 0.0;
    for (int a = 0; a < K; ++a) {
        for (int b = 0; b < K; ++b) {
            const std::size_t ua = static_cast<std::size_t>(local_[static_cast<std::size_t>(a)]);
            const std::size_t ub = static_cast<std::size_t>(local_[static_cast<std::size_t>(b)]);
            const double d = dist_[ua * dim_ + ub];
            // Whole distances keep every pair sum exact.
            if (!(d >= 0.0) || d != std::floor(d)) return false;
            largest = std::max(largest, d);
            localDist_[static_cast<std::size_t>(a * K + b)] = d;
        }
    }
    double N = 0.0;
    for (double n : sizes_) N += n;
    if (!(largest * N * N < kExactLimit)) return false;
    CountAmovaInput in;
    in.groups = static_cast<int>(groupSizes_.size());
    in.groupSizes = groupSizes_.data();
    in.K = K;
    in.counts = counts_.data();
    in.sizes = sizes_.data();
    in.distances = localDist_.data();
    in.individuals = individuals_;
    double fst = 0.0;
    if (!count_amova_fst(in, fst)) return false;
    out.fst = fst;
    out.withinHet = count_mean_within_het(static_cast<int>(R), K, counts_.data(), sizes_.data());
    return true;
}

void SimulatedLocusCounts::learn(Project const& project, LocusMeasure const& driver) {
    if (!usable_) return;
    DistMat const& dm = project.distance_matrix;
    Haplo_DB const& list = project.haplotypes;
    const int n = dm.MatrixSize;
    if (n < 1 || n != list.haplotypes.count) return;
    // The scan's allele of each row, by its text.
    rowAllele_.assign(static_cast<std::size_t>(n), -1);
    for (int i = 0; i < n; ++i) {
        HaploDef const* h = list.haplotypes.data[i];
        if (h == nullptr) continue;
        for (std::size_t a = 0; a < alleles_.size(); ++a)
            if (alleles_[a].text == h->data.c_str()) rowAllele_[static_cast<std::size_t>(i)] = static_cast<int>(a);
    }
    for (int i = 0; i < n; ++i) {
        const int a = rowAllele_[static_cast<std::size_t>(i)];
        if (a < 0) continue;
        for (int j = 0; j <= i; ++j) {
            const int b = rowAllele_[static_cast<std::size_t>(j)];
            if (b < 0) continue;
            const double v = dm(i, j);
            double& ab = distance(a, b);
            double& ba = distance(b, a);
            // A pair met twice must read alike: else the distances are not
            // those of the pair alone.
            if ((!std::isnan(ab) && !same_bits(ab, v)) || (!std::isnan(ba) && !same_bits(ba, v))) {
                usable_ = false;
                return;
            }
            ab = v;
            ba = v;
        }
    }
    LocusMeasure mine;
    for (int a : local_)
        for (int b : local_)
            if (!distance_known(a, b)) return;
    if (compute(mine) && (!same_bits(mine.fst, driver.fst) || !same_bits(mine.withinHet, driver.withinHet)))
        usable_ = false;
}

}  // namespace quintle
