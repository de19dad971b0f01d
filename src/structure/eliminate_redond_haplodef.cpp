// Search for identical haplotype definitions (distance exactly 0 between
// their alleles), the report of the haplotypes every two samples share, the
// classes of identical haplotypes and, when asked, their merging within the
// samples. Runs once per project, before the analysis passes.

#include <algorithm>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "core/Errors.h"
#include "core/TJSOut.h"
#include "data/HaploDef.h"
#include "data/Population.h"
#include "project/DistMat.h"
#include "project/Project.h"
#include "project/Samples.h"

namespace quintle {

namespace {

constexpr char const* function_name = "Project::eliminate_redond_haplodef()";

// Puts back, on every way out, the project's matrix (when it is a user
// matrix, saved on entry) and its constant mode.
class MatrixKept {
public:
    MatrixKept(DistMat& matrix, bool userMatrix) : matrix_(matrix), constantMode_(matrix.constantMode) {
        if (userMatrix) {
            saved_ = std::make_unique<DistMat>();
            *saved_ = matrix;
        }
    }
    ~MatrixKept() {
        if (saved_) matrix_ = *saved_;
        matrix_.constantMode = constantMode_;
    }
    MatrixKept(MatrixKept const&) = delete;
    MatrixKept& operator=(MatrixKept const&) = delete;

private:
    DistMat& matrix_;
    int const constantMode_;
    std::unique_ptr<DistMat> saved_;
};

// The conventional-FST switch of a computation, off and put back however
// it ends.
class StandardDistances {
public:
    explicit StandardDistances(settings& s) : s_(s), fst_(s.ComputeConventionalFST) { s.ComputeConventionalFST = 0; }
    ~StandardDistances() { s_.ComputeConventionalFST = fst_; }
    StandardDistances(StandardDistances const&) = delete;
    StandardDistances& operator=(StandardDistances const&) = delete;

private:
    settings& s_;
    int const fst_;
};

std::string rule(char c, int n) { return std::string(static_cast<std::size_t>(n), c); }

}  // namespace

int Project::eliminate_redond_haplodef() {
    settings& s = options;
    bool const computed = s.ComputeDistanceMatrixAMOVA != 0;
    MatrixKept const kept(distance_matrix, !computed);

    int associated = 0;
    TDataType const type = samples->dataType;
    if (type == FREQUENCY) {
        distance_matrix.constantMode = computed ? 1 : 0;
        associated = computed ? haplotypes.associate_with2(distance_matrix) : haplotypes.associate_with1(distance_matrix);
    } else {
        int done = 0;
        {
            StandardDistances const standard(s);
            done = calc_dist_matrix(0, 0.0, STANDARD);
        }
        if (done == 0) return 0;
        associated = haplotypes.associate_with2(distance_matrix);
    }
    if (associated == 0) {
        E.error(ERROR, function_name, Msg::m135_hapl_list_dist_mat_mismatch);
        return 0;
    }

    DistMat const& d = distance_matrix;
    long const n = haplotypes.haplotypes.count;
    if (d.constantMode == 0 && n != d.dim) return 0;

    // One class key per distance-matrix index: a definition starts with its
    // own index and takes the key of an earlier one at distance 0, so keys
    // follow chains of zero distances; the correction then parts the ends of
    // a chain that are not themselves at distance 0.
    HaploDef* const* defs = haplotypes.haplotypes.data;
    auto row = [&d](HaploDef const* h) {
        int const idx = h != nullptr ? h->matrixIndex : -1;
        return idx >= 0 && (d.constantMode != 0 || idx < d.dim) ? idx : -1;
    };
    int maxRow = static_cast<int>(n);
    for (long i = 0; i < n; ++i) maxRow = std::max(maxRow, row(defs[i]) + 1);
    std::vector<int> classes(static_cast<std::size_t>(maxRow) + 1, -1);
    for (long i = 0; i < n; ++i)
        if (int const r = row(defs[i]); r >= 0) classes[static_cast<std::size_t>(r)] = r;
    *_AOS_ << "\t\t\tChecking haplotype redundancy from a computed distance matrix:" << std::endl;
    for (long i = 0; i < n; ++i) {
        int const ri = row(defs[i]);
        if (ri < 0) continue;
        for (long j = i + 1; j < n; ++j) {
            int const rj = row(defs[j]);
            if (rj >= 0 && d(rj, ri) == 0.0) classes[static_cast<std::size_t>(rj)] = classes[static_cast<std::size_t>(ri)];
        }
    }
    for (long i = 0; i < n; ++i) {
        int const ri = row(defs[i]);
        if (ri < 0) continue;
        for (long k = 0; k < i; ++k) {
            int const rk = row(defs[k]);
            if (rk < 0) continue;
            if (classes[static_cast<std::size_t>(rk)] == classes[static_cast<std::size_t>(ri)] && d(rk, ri) != 0.0) {
                classes[static_cast<std::size_t>(rk)] = rk;
                classes[static_cast<std::size_t>(ri)] = ri;
            }
        }
    }

    print_js_aux_entry(s, 2, "_shared haplotypes", "Shared haplotypes");
    std::fstream* out = s.ResultFile;
    if (out != nullptr && samples) {
        *out << "\n" << rule('=', 66) << "\n" << "== Checking for haplotypes shared among populations:" << "\n"
             << rule('=', 66) << "\n";
        char suffix[16];
        std::string const which = samples->GroupLevel ? "pop_shared" : "gr_shared";
        std::copy(which.begin(), which.end(), suffix);
        suffix[which.size()] = '\0';
        MY_TIArrayAsVector<Population> const& pops = samples->Populations;
        for (long i = 0; i < pops.count; ++i) {
            Population* p = pops.data[i];
            if (p == nullptr) continue;
            p->print_population_anchor(2, s, suffix);
            *out << rule('=', 69) << "== Population : " << p->name << "\n===============\n";
            for (long j = 0; j < pops.count; ++j) p->print_out_redondant(pops.data[j], out, d);
            *out << "\n" << rule('-', 69) << "\n" << std::endl;
        }
        samples->print_out_haplo_cl(out, d, &haplotypes);
    }
    if (samples && s.InferHaplotypeDefinitionFromDistanceMatrix != 0 && type != FREQUENCY)
        samples->IdentifyIdenticalHaplotypes(out, d, &haplotypes, classes.data());
    return 1;
}

}  // namespace quintle
