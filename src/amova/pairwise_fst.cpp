// Comparisons of pairs of samples, the frame and FST: the gates and set-up
// of the call, the loop over pairs with its two-sample AMOVA, the
// permutation test of each pair, the pairwise lists of the statistics line,
// the opening of the report and the FST tables with their P values and
// significance matrix.

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <new>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "amova/Amova.h"
#include "amova/pairwise_kernels.h"
#include "amova/pairwise_pass.h"
#include "amova/ssd.h"
#include "core/Errors.h"
#include "core/public.h"
#include "core/timing.h"
#include "core/xml.h"
#include "data/HaploDef.h"
#include "data/Population.h"
#include "project/DistMat.h"
#include "project/Samples.h"
#include "run/ProfileSettings.h"
#include "run/glbobj.h"
#include "run/settings.h"
#include "run/task_bits.h"

namespace quintle {

namespace {

constexpr char const* kReporter = "Amova::CalcPairDist()";
constexpr char const* kFillReporter = "fill_bipop_vector()";

// Permuted values this close to the observed one count as equal to it.
constexpr double kTieTolerance = 1e-10;

// No sample holds more gene copies than this; beyond it a size is taken
// for a damaged one rather than laid out.
constexpr double kMaxGeneCopies = 268435456.0;  // 2^28

[[noreturn]] void out_of_memory() {
    E.error(MEMORY, kReporter, Msg::m0_not_enough_memory);
    // Reached only while no log is open.
    throw Amova::AmovaFatalError{};
}

[[noreturn]] void bad_layout(int message) {
    E.error(ERROR, kFillReporter, message);
    throw Amova::AmovaFatalError{};
}

// The list of gene copies of a sample: its haplotype list for haplotypic
// data, else the gamete list built from its individuals.
PHaploDefList const& copy_list(Population const& p) {
    return p.profile.GenotypicData == 0 ? p.haplotypes : p.geneCopies;
}

// The sample's gene copies once its list has been found to fill exactly its
// size with indexes its permutation vectors can count.
long checked_copies(Population const& p) {
    long const copies = pair_gene_copies(p.SampleSize);
    if (copies < 0) bad_layout(2);
    PHaploDefList const& list = copy_list(p);
    long written = 0;
    for (long e = 0; e < list.count; ++e) {
        PHaploDef const* entry = list.data[e];
        if (entry == nullptr || entry->count == 0) continue;
        if (entry->count < 0) bad_layout(2);
        int const index = entry->haplotype != nullptr ? entry->haplotype->matrixIndex : -1;
        if (index < 0 || index >= p.perm_vector_size) bad_layout(1);
        written += entry->count;
        if (written > copies) bad_layout(2);
    }
    if (written != copies) bad_layout(2);
    return copies;
}

void write_copies(Population const& p, int* v) {
    PHaploDefList const& list = copy_list(p);
    for (long e = 0; e < list.count; ++e) {
        PHaploDef const* entry = list.data[e];
        if (entry == nullptr || entry->count <= 0) continue;
        v = std::fill_n(v, entry->count, entry->haplotype->matrixIndex);
    }
}

// Distances read when no matrix is given: every read is reported by the
// matrix as out of range.
TriMat const& no_matrix() {
    static TriMat const empty;
    return empty;
}

// Writes `text` to each batch stream that is open.
template <class... Streams>
void to_streams(char const* text, Streams*... streams) {
    ((streams != nullptr ? (void)(*streams << text) : (void)0), ...);
}

}  // namespace

// --- shared helpers -----------------------------------------------------------------

std::string pairwise_rule(char c, int n) { return std::string(static_cast<std::size_t>(n > 0 ? n : 0), c); }

void pairwise_open_tag(std::ostream& out, char const* name) {
    if (xmlOutput) out << TXmlTag(name).open() << "\n";
}

void pairwise_close_tag(std::ostream& out, char const* name) {
    if (xmlOutput) out << TXmlTag(name).close() << "\n";
}

long pair_gene_copies(double size) {
    if (!(size >= 0.0) || size > kMaxGeneCopies || size != std::floor(size)) return -1;
    return static_cast<long>(size);
}

void fill_bipop_vector(Population* a, Population* b, int* v) {
    // Both lists are checked before anything is written.
    long const na = checked_copies(*a);
    long const nb = checked_copies(*b);
    std::fill_n(v, na + nb, 0);
    write_copies(*a, v);
    write_copies(*b, v + na);
}

// --- the call --------------------------------------------------------------------------

void Amova::CalcPairDist() {
    PairwisePass pass(*this);
    pass.run();
}

PairwisePass::PairwisePass(Amova& engine) : engine_(engine), s_(*engine.settings) {}

PairwisePass::SampleArrayScope::SampleArrayScope(Amova& engine, std::vector<Population*> const& byId)
    : engine_(engine) {
    std::vector<Population*> installed = byId;  // may throw: nothing is changed yet
    saved_ = std::move(engine_.pops_by_id);
    engine_.pops_by_id = std::move(installed);
}

PairwisePass::SampleArrayScope::~SampleArrayScope() {
    for (Population* p : engine_.pops_by_id)
        if (p != nullptr) p->DeletePermutationVectors();
    engine_.pops_by_id = std::move(saved_);
}

void PairwisePass::create_matrices() {
    auto make = [this](TriMat& m) {
        m.create(n_);
        if (m.dim != n_) out_of_memory();
    };
    for (TriMat* m : {&fst_, &va_, &fst_p_, &fst_sd_, &pixy_p_, &corr_p_}) make(*m);
    diffs_ = RectMat(n_, n_);
    if (!diffs_.has_storage() || diffs_.nRows != n_) out_of_memory();
    if (s_.ComputeDeltaMuSqr != 0) make(delta_mu_);
    if (s_.UnequalPopSizeDiv != 0)
        for (TriMat* m : {&tau_, &k_, &theta0_, &not_converged_, &tau_p_, &k_p_, &theta0_p_}) make(*m);
}

void PairwisePass::build_samples_by_id() {
    std::vector<Population*> set;
    if (Samples const* samples = engine_.samples)
        for (long i = 0; i < samples->Populations.count; ++i)
            if (Population* p = samples->Populations.data[i]) set.push_back(p);
    n_ = static_cast<int>(set.size());

    // Entry k is the sample whose id is k. Ids that do not number the set
    // 0..n-1 once each cannot index it: the set's own order is taken then.
    by_id_.assign(set.size(), nullptr);
    bool numbered = true;
    for (Population* p : set) {
        if (p->id < 0 || p->id >= n_ || by_id_[p->id] != nullptr) {
            numbered = false;
            break;
        }
        by_id_[p->id] = p;
    }
    if (!numbered) by_id_ = set;
}

void PairwisePass::run() {
    try {
        quintle::settings& s = s_;
        build_samples_by_id();
        create_matrices();

        // Whether the test runs is decided here, whatever the settings'
        // TestSignificancePairewiseFST says; the settings are left as read.
        long K = static_cast<long>(s.NumPermutationsFST);
        if (K <= 0) {
            K = 1;
            test_ = false;
        } else {
            test_ = s.ComputePairwiseFST != 0 || s.PrintMissIntermatchs != 0;
        }

        Samples const* set = engine_.samples;
        if (set != nullptr && set->GenotypicData != 0 && set->GameticPhase == 0 && s.RecessiveAllelesEM != 0) {
            if (s.ResultFile != nullptr)
                *s.ResultFile << "Population pairwise FSTs not possible with recessive Data" << "\n";
            return;
        }

        plan_ = plan_pair_permutations(K);
        engine_.nb_perm = plan_.total;
        blocks_.assign(static_cast<std::size_t>(plan_.blocks) + 2, 0.0);

        if (s.stopFlag != 0) return;
        quintle::settings::message = "Computing pairwise distances...";
        start_ = get_sys_clock();

        // An empty set has no pair: the call ends as when none is asked for.
        if (n_ == 0) {
            end_of_call();
            return;
        }

        SampleArrayScope const scope(engine_, by_id_);
        int const nHaplo = engine_.dist_mat != nullptr && engine_.dist_mat->MatrixSize > 0
                               ? engine_.dist_mat->MatrixSize
                               : 0;
        n_haplotypes_ = nHaplo;
        for (Population* p : by_id_) {
            p->CreatePermutationVectors(nHaplo);
            if (p->perm_vector_size != nHaplo) out_of_memory();
        }

        long m = 0;
        for (Population const* p : by_id_) m = std::max(m, pair_gene_copies(p->SampleSize));
        v_.assign(static_cast<std::size_t>(2 * m), 0);
        within_cache_.assign(static_cast<std::size_t>(n_), -1.0);
        raw_cache_.assign(static_cast<std::size_t>(n_), 0.0);
        pix_cache_.assign(static_cast<std::size_t>(n_), -1.0);

        if ((s.TaskNumber & task_pairwise_fst) == 0 && s.ComputeDeltaMuSqr == 0) {
            end_of_call();
            return;
        }

        // The permutations only move the copies of the lists around: the
        // distances between the haplotypes they name are all the sums read.
        bool const twoSample = s.ComputePairwiseFST != 0 || s.PrintMissIntermatchs != 0;
        if (twoSample && engine_.dist_mat != nullptr && nHaplo > 0) {
            std::vector<int> used;
            for (Population const* p : by_id_) {
                PHaploDefList const& list = copy_list(*p);
                for (long e = 0; e < list.count; ++e) {
                    PHaploDef const* entry = list.data[e];
                    if (entry == nullptr || entry->count <= 0 || entry->haplotype == nullptr) continue;
                    int const h = entry->haplotype->matrixIndex;
                    if (h >= 0 && h < nHaplo) used.push_back(h);
                }
            }
            flat_.build(*engine_.dist_mat, nHaplo, used.data(), used.size());
        }

        if (!compare_pairs()) return;

        std::vector<double>().swap(within_cache_);
        std::vector<double>().swap(raw_cache_);
        std::vector<double>().swap(pix_cache_);
        std::vector<int>().swap(v_);
        std::vector<double>().swap(blocks_);
        flat_.clear();
        table_ = PairCopyTable();
        for (Population* p : by_id_) p->DeletePermutationVectors();

        log_timing();
        store_statistics();

        // Without a result file the batch lines are still written.
        std::ostream none(nullptr);
        std::ostream& out = s.ResultFile != nullptr ? static_cast<std::ostream&>(*s.ResultFile) : none;
        print_report_opening(out);
        print_fst_sections(out);
        print_differences(out);
        int const w = s.PrintMissIntermatchs == 0 ? 10 : (test_ ? 13 : 11);
        if (s.ComputeDeltaMuSqr != 0) print_delta_mu(out, w);
        if (s.UnequalPopSizeDiv != 0 && s.PrintMissIntermatchs != 0) print_divergence(out, w);
        if (_PAIRWISE_DIST_ != 0) to_streams("\n", ofs_tau_uneq);
        for (TriMat* m : {&tau_, &k_, &theta0_, &not_converged_, &tau_p_, &k_p_, &theta0_p_}) m->destroy();
        print_coancestry(out, w);
        print_slatkin(out, w);
        finish_report();
    } catch (std::bad_alloc const&) {
        out_of_memory();
    }
}

// --- the loop over pairs ------------------------------------------------------------------

bool PairwisePass::compare_pairs() {
    bool const deltaMu = s_.ComputeDeltaMuSqr != 0;
    bool const twoSample = s_.ComputePairwiseFST != 0 || s_.PrintMissIntermatchs != 0;
    bool const unequal = s_.UnequalPopSizeDiv != 0;
    for (int i = 0; i < n_; ++i) {
        if (deltaMu) prepare_delta_mu(i);
        for (int j = i + 1; j < n_; ++j) {
            if (deltaMu) prepare_delta_mu(j);
            if (twoSample && !compare_pair(i, j)) return false;
            if (deltaMu) compute_delta_mu(i, j);
            if (unequal) estimate_divergence(i, j);
            // The test flag asks for the two-sample AMOVA as well.
            if (test_ && twoSample && !test_pair(i, j)) return false;
        }
    }
    return true;
}

double PairwisePass::within_div(Population* p) {
    if (flat_.ready()) {
        store_within_sum(*p, flat_);
    } else {
        TriMat const& d = engine_.dist_mat != nullptr ? static_cast<TriMat const&>(*engine_.dist_mat) : no_matrix();
        p->SSDWP = raw_within_sum(*p, d);
        p->SSDWP_divN = p->SSDWP / p->SampleSize;
    }
    return p->SSDWP_divN;
}

double PairwisePass::between(Population const* a, Population const* b) const {
    if (flat_.ready()) return raw_between_sum(*a, *b, flat_);
    TriMat const& d = engine_.dist_mat != nullptr ? static_cast<TriMat const&>(*engine_.dist_mat) : no_matrix();
    return raw_between_sum(*a, *b, d);
}

void PairwisePass::fill_caches(int k) {
    if (within_cache_[k] >= 0.0) return;
    Population* p = by_id_[k];
    within_cache_[k] = within_div(p);
    raw_cache_[k] = within_cache_[k] * p->SampleSize;
    pix_cache_[k] = mean_within_difference(raw_cache_[k], p->SampleSize);
    diffs_(k, k) = pix_cache_[k];
}

bool PairwisePass::compare_pair(int i, int j) {
    Population* a = by_id_[i];
    Population* b = by_id_[j];
    fill_bipop_vector(a, b, v_.data());
    a->SetUpVectorsAfterPermutation(v_.data());
    b->SetUpVectorsAfterPermutation(v_.data() + static_cast<long>(a->SampleSize));

    double const na = a->SampleSize;
    double const nb = b->SampleSize;
    pair_k_ = pair_coefficients(na, nb);
    engine_.n_coeff[0] = pair_k_.nc;
    // A sample without gene copies leaves no degrees of freedom (two empty
    // ones leave nc undefined).
    if (pair_k_.nc == 0.0 || std::isnan(pair_k_.nc)) {
        E.error(ERROR, kReporter, Msg::m72_no_degrees_of_freedom);
        return false;
    }

    fill_caches(i);
    fill_caches(j);
    double const S = between(a, b);
    double const pixy = mean_between_difference(S, na, nb);
    PairComponents const r = pair_components(pair_k_, within_cache_[i], within_cache_[j], raw_cache_[i],
                                             raw_cache_[j], S);
    fst_(i, j) = r.FST;
    va_(i, j) = r.Va;
    pair_va_ = r.Va;
    diffs_(i, j) = pixy;
    diffs_(j, i) = pixy - (diffs_(i, i) + diffs_(j, j)) / 2;
    return true;
}

bool PairwisePass::test_pair(int i, int j) {
    Population* a = by_id_[i];
    Population* b = by_id_[j];
    double const na = a->SampleSize;
    double const nb = b->SampleSize;
    double const N = pair_k_.N;
    Samples const* set = engine_.samples;
    // Unphased individuals move as pairs of copies.
    bool const individuals = set != nullptr && set->GenotypicData != 0 && set->GameticPhase == 0;
    bool const unequal = s_.UnequalPopSizeDiv != 0;
    double const pixyObserved = diffs_(i, j);
    double const corrObserved = diffs_(j, i);
    int* const v = v_.data();
    int* const vb = v + static_cast<long>(na);

    std::fill(blocks_.begin(), blocks_.end(), 0.0);
    long count = 0;
    long countPixy = 0;
    long countCorr = 0;
    DivergenceCounts divergence;
    int block = 1;

    // The copies are shuffled and summed over the pair's haplotypes, whose
    // distances are read once (from the block of the analysis, or from a
    // matrix that answers every index without a report); the samples are not
    // recounted. Both ways give the same numbers.
    TriMat const* const matrix = engine_.dist_mat;
    long const copiesA = static_cast<long>(na), copiesB = static_cast<long>(nb);
    bool byTable = false;
    if (flat_.ready())
        byTable = table_.load(v, copiesA, copiesB, n_haplotypes_, flat_);
    else if (matrix != nullptr && n_haplotypes_ > 0 && matrix->answers_within(n_haplotypes_))
        byTable = table_.load(v, copiesA, copiesB, n_haplotypes_, *matrix);

    for (long p = 0; p < plan_.total; ++p) {
        double S = 0.0;
        if (byTable) {
            if (individuals)
                table_.shuffle_individuals();
            else
                table_.shuffle_copies();
            PairCopyTable::Sums const sums = table_.sums();
            a->SSDWP = sums.withinA;
            a->SSDWP_divN = sums.withinA / na;
            b->SSDWP = sums.withinB;
            b->SSDWP_divN = sums.withinB / nb;
            S = sums.between;
        } else {
            if (individuals)
                shuffle_pair_individuals(v, na, N);
            else
                shuffle_pair_copies(v, na, N);
            a->SetUpVectorsAfterPermutation(v);
            b->SetUpVectorsAfterPermutation(vb);
            within_div(a);
            within_div(b);
            S = between(a, b);
        }
        double const wa = a->SSDWP_divN;
        double const wb = b->SSDWP_divN;
        double const va = permuted_pair_Va(pair_k_, a->SSDWP, b->SSDWP, S, wa + wb);
        // Va, not FST, is compared: the total is the same in every permutation.
        if (std::fabs(va - pair_va_) < kTieTolerance || va > pair_va_) {
            ++count;
            blocks_[static_cast<std::size_t>(block)] += 1.0;
        }

        double const pixy = mean_between_difference(S, na, nb);
        double const pixA = mean_within_difference_from_divided(wa, na);
        double const pixB = mean_within_difference_from_divided(wb, nb);
        if (unequal) permuted_divergence(i, j, pixA, pixB, pixy, divergence);

        if (p % 100 == 0) {
            quintle::settings::global_work_done += 1.0;
            quintle::settings::print_message();
            if (s_.stopFlag != 0) return false;
        }

        if (pixy >= pixyObserved) ++countPixy;
        if (pixy - (pixA + pixB) / 2 >= corrObserved) ++countCorr;
        block = block == plan_.blocks ? 1 : block + 1;
    }

    for (double& value : blocks_) value /= static_cast<double>(plan_.per_block);
    double const total = static_cast<double>(plan_.total);
    pixy_p_(i, j) = static_cast<double>(countPixy) / total;
    corr_p_(i, j) = static_cast<double>(countCorr) / total;
    if (unequal) divergence_p_values(i, j, divergence);

    double const P = static_cast<double>(count) / (total + 1.0);
    fst_p_(i, j) = P;
    fst_sd_(i, j) = p_value_sd(blocks_.data(), plan_.blocks, P);
    return true;
}

void PairwisePass::log_timing() const {
    *_AOS_ << "\n" << elapsed_ms_since(start_) << " ms to compute pairwise differences";
    if (test_) *_AOS_ << " and test significance";
    *_AOS_ << "\n";
}

// --- the statistics line -----------------------------------------------------------------------

void PairwisePass::store_statistics() const {
    AmovaLine* line = engine_.line;
    if (line == nullptr) return;
    // Each pair's value, row by row of the lower triangle.
    auto pairs = [this](auto value) {
        std::vector<double> v;
        v.reserve(static_cast<std::size_t>(n_) * static_cast<std::size_t>(n_ > 0 ? n_ - 1 : 0) / 2);
        for (int i = 1; i < n_; ++i)
            for (int j = 0; j < i; ++j) v.push_back(value(i, j));
        return v;
    };
    // FST goes to the line whatever the report prints of it.
    line->pairFst = pairs([this](int i, int j) { return fst_(i, j); });
    // PrintMissIntermatchs also decides that the differences are computed
    // and tested. PiXY of a pair stands above the diagonal.
    if (s_.PrintMissIntermatchs != 0) line->pairPi = pairs([this](int i, int j) { return diffs_(j, i); });
    if (s_.ComputeDeltaMuSqr != 0) line->pairDmuSqr = pairs([this](int i, int j) { return delta_mu_(i, j); });
}

// --- the report ------------------------------------------------------------------------------

void PairwisePass::print_report_opening(std::ostream& out) const {
    // Every number of the pairwise tables is right-aligned in fixed
    // notation; the flags stay on the stream.
    out.setf(std::ios::fixed, std::ios::floatfield);
    out.setf(std::ios::right, std::ios::adjustfield);

    std::string const rule = pairwise_rule('=', 86);
    out << "\n" << rule << "\n== Comparisons of pairs of population samples" << "\n" << rule << "\n";
    out << "\nList of labels for population samples used below:" << "\n" << pairwise_rule('-', 49) << "\n";
    pairwise_open_tag(out, "pairDistPopLabels");
    out << "Label  \tPopulation name\n" << "-----  \t---------------\n";
    for (int k = 0; k < n_; ++k) out << "  " << k + 1 << ":\t" << by_id_[k]->name << "\n";
    pairwise_close_tag(out, "pairDistPopLabels");
}

void PairwisePass::print_fst_sections(std::ostream& out) {
    bool const batch = _PAIRWISE_DIST_ != 0;
    long const permutations = plan_.total;

    if (s_.PrintFstVals != 0) {
        std::string const rule24 = pairwise_rule('-', 24);
        out << "\n" << rule24 << "\n" << "Population pairwise FSTs" << "\n" << rule24 << "\n\n";
        pairwise_open_tag(out, "PairFstMat");
        if (s_.ComputeConventionalFST == 0 && s_.ComputeDistanceMatrixAMOVA != 0) {
            out << "\nDistance method: ";
            if (char const* name = distance_method_name(ProfileSettings::DataType, s_.DistanceMethodAMOVA))
                out << name << "\n";
        } else if (s_.ComputeConventionalFST != 0) {
            out << "Computing conventional F-Statistics from haplotype frequencies" << "\n";
        }
        out << std::setw(22) << 1;
        for (int j = 2; j <= n_; ++j) out << std::setw(10) << j;
        out << "\n";

        // The project's line in each batch file begins here.
        if (batch) {
            std::string head = "\"";
            head += quintle::settings::input_file.c_str();
            head += "\"\t";
            to_streams(head.c_str(), ofs_pairw_dist, ofs_FST_dist, ofs_varComp_dist, ofs_pairw_diffs, ofs_tau_uneq,
                       ofs_concest, ofs_slatkins, ofs_NM_vals);
        }

        for (int i = 0; i < n_; ++i) {
            out << std::setw(12) << i + 1;
            for (int j = 0; j <= i; ++j) {
                double const F = fst_(i, j);
                out << std::setw(10) << std::setprecision(5) << F;
                if (batch) {
                    if (ofs_pairw_dist != nullptr) *ofs_pairw_dist << F << "\t";
                    if (ofs_FST_dist != nullptr) *ofs_FST_dist << F << "\t";
                    if (ofs_varComp_dist != nullptr)
                        *ofs_varComp_dist << va_(i, j) << "\t" << (F != 0.0 ? va_(i, j) / F : F) << "\t";
                }
            }
            if (batch) to_streams("\n", ofs_pairw_dist);
            out << "\n";
        }
        pairwise_close_tag(out, "PairFstMat");

        if (test_) {
            std::string const rule12 = pairwise_rule('-', 12);
            out << "\n\n" << rule12 << "\n" << "FST P values" << "\n" << rule12 << "\n\n"
                << "Number of permutations : " << permutations << "\n\n";
            pairwise_open_tag(out, "PairFstPvalMat");
            out << std::setw(24) << 1;
            for (int j = 2; j <= n_; ++j) out << std::setw(18) << j;
            out << "\n";
            if (batch && ofs_pairw_dist != nullptr)
                *ofs_pairw_dist << "p-Values matrix : No of permutations : " << permutations << "\n";
            for (int i = 0; i < n_; ++i) {
                out << std::setw(12) << i + 1;
                for (int j = 0; j < i; ++j) {
                    out << std::setw(10) << std::setprecision(5) << fst_p_(i, j) << "+-" << std::setw(5)
                        << std::setprecision(4) << fst_sd_(i, j);
                    if (batch && ofs_pairw_dist != nullptr) *ofs_pairw_dist << fst_p_(i, j) << "\t";
                }
                out << "         " << "  *" << "\n";
                if (batch) to_streams("\n", ofs_pairw_dist);
            }
            pairwise_close_tag(out, "PairFstPvalMat");

            // The level is written in the format the table above left.
            out << "\n\n" << rule12 << "\n" << "Matrix of significant Fst P values" << "\nSignificance Level="
                << s_.FSTSignifLevel << "\n" << rule12 << "\n\n"
                << "Number of permutations : " << permutations << "\n\n";
            out << std::setw(22) << 1;
            for (int j = 2; j <= n_; ++j) out << std::setw(10) << j;
            out << "\n";
            for (int i = 0; i < n_; ++i) {
                out << std::setw(12) << i + 1;
                for (int j = 0; j < n_; ++j) {
                    char const mark = j == i ? ' ' : (fst_p_(i, j) < s_.FSTSignifLevel ? '+' : '-');
                    out << "         " << mark;
                }
                out << "\n";
            }
        }
    }

    if (batch) to_streams("\n", ofs_pairw_dist, ofs_FST_dist, ofs_varComp_dist);
}

}  // namespace quintle
