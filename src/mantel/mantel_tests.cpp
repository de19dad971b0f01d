// The simple and partial Mantel tests of a project's Mantel section, run on
// the pairwise FST matrix of an analysis pass and written to the result
// file: labels, matrices, statistics and their permutation P values.

#include <cmath>
#include <ctime>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "core/Errors.h"
#include "core/TJSOut.h"
#include "core/timing.h"
#include "data/Population.h"
#include "mantel/Mantel.h"
#include "mantel/correlation_print.h"
#include "run/settings.h"

namespace quintle {

namespace {

// The first of the labels equal to `label` among the first `usable` ones;
// -1 when none is.
int position_of(std::vector<my_string> const& labels, my_string const& label, int usable) {
    int const n = static_cast<int>(labels.size()) < usable ? static_cast<int>(labels.size()) : usable;
    for (int k = 0; k < n; ++k)
        if (labels[static_cast<std::size_t>(k)] == label) return k;
    return -1;
}

// Every value below the diagonal the same: no variance to correlate.
bool constant_matrix(RectMat const& m) {
    RectMat& read = const_cast<RectMat&>(m);  // element access is not const
    for (int i = 1; i < m.nRows; ++i)
        for (int j = 0; j < i; ++j)
            if (!(read(i, j) == read(1, 0))) return false;
    return true;
}

// Two matrices (or Y and one of them) that carry the same information up to
// scale: 1 - r^2 within rounding of 0.
bool collinear(double r) { return !(1.0 - r * r > 1e-10); }

void print_labelled_matrix(std::ostream& os, char const* head, RectMat& m) {
    os << head << std::endl;
    m.display_matrix(os);
    os << "  }\n" << std::endl;
}

}  // namespace

struct Mantel::Positions {
    std::vector<int> y;
    std::vector<int> x;
};

double Mantel::FstMatr_funct(int i, int j, TriMat& fst) {
    bool const same = i == j;
    if (YMatrix == "custom") return UserYMatrix(i, j);
    if (YMatrix == "fst") return fst(i, j);
    double const F = fst(i, j);
    if (YMatrix == "log_fst") {
        if (same) return 0.0;
        if (F <= 0.0) return -1e7;
        return std::log(F);
    }
    if (YMatrix == "slatkinlinearfst") {
        if (F <= 0.0) return F / (1.0 - F);
        if (F >= 1.0) return 1e7;
        return F / (1.0 - F);
    }
    if (YMatrix == "log_slatkinlinearfst") {
        if (same) return 0.0;
        if (F <= 0.0) return -1e7;
        if (F >= 1.0) return 16.11809565095832;  // ln(1e7)
        return std::log(F / (1.0 - F));
    }
    if (YMatrix == "nm") {
        if (same) return 0.0;
        if (F <= 0.0) return -1e7;
        return (1.0 - F) / (2.0 * F);
    }
    return 0.0;
}

bool Mantel::match_labels(Population** samples, int count, int fstDim, Positions& pos) const {
    long const n = UsedYMatrixLabels.count;
    bool const custom = YMatrix == "custom";
    // A position beyond a matrix would read outside it: the label counts as
    // not found.
    int xRows = X1.dim;
    if (MatrixNumber == 3 && X2.dim < xRows) xRows = X2.dim;
    for (long k = 0; k < n; ++k) {
        my_string const& label = UsedYMatrixLabels.data[k];
        int y = -1;
        if (custom) {
            y = position_of(YMatrixLabels, label, UserYMatrix.dim);
        } else {
            int const usable = count < fstDim ? count : fstDim;
            for (int s = 0; s < usable && y < 0; ++s)
                if (samples[s] != nullptr && samples[s]->name == label) y = s;
        }
        int const x = position_of(YMatrixLabels, label, xRows);
        if (y < 0 || x < 0) return false;
        pos.y.push_back(y);
        pos.x.push_back(x);
    }
    return true;
}

double Mantel::do_mantel_test(TriMat& fst, Population** samples, int count, std::fstream* out, int nperm) {
    int const n = static_cast<int>(UsedYMatrixLabels.count);
    if (n == 0) return 1.0;
    // Without a result file the test still runs (and draws its permutations).
    std::ostream discard(nullptr);
    std::ostream& os = out != nullptr ? static_cast<std::ostream&>(*out) : discard;

    Positions pos;
    if (samples == nullptr || !match_labels(samples, count, fst.dim, pos)) {
        *_AOS_ << "   Mantel::do_mantel_test(...): error while checking matrices, Label(s) not found" << std::endl;
        *_AOS_ << "                                check the labels defined in the " << std::endl;
        *_AOS_ << "                                DistMatMantel and UsedYMatrixLabels sections" << std::endl;
        os << "  Error while checking matrices, Label(s) not found\n";
        os << "  check the labels defined in the\n";
        os << "  DistMatMantel and UsedYMatrixLabels sections" << std::endl;
        return 1.0;
    }

    if (profile.RunSettings != nullptr) {
        settings& s = *profile.RunSettings;
        bool const groups = count > 0 && samples[0] != nullptr && samples[0]->pooledGroupSample;
        print_js_aux_entry(s, 2, groups ? "_gr_mantel" : "_pop_mantel", "Mantel test");
        print_js_doc_entry(s, 2, groups ? "_gr_dm_correl" : "_pop_dm_correl", "Matrix correlation");
    }

    std::string const rule(79, '=');
    os << rule << std::endl;
    os << "== MATRIX CORRELATION ANALYSIS (MANTEL TESTS)" << std::endl;
    os << rule << std::endl << std::endl;

    bool const custom = YMatrix == "custom";
    os << (custom ? "Labels of Y matrix rows={" : "Labels of population samples={") << std::endl;
    for (int k = 0; k < n; ++k) os << "   \"" << UsedYMatrixLabels.data[k] << "\"" << std::endl;
    os << "}" << std::endl;

    int const least = MatrixNumber == 2 ? 3 : MatrixNumber == 3 ? 4 : 0;
    if (n < least) {
        os << "The minimum size of matrices is " << least << " in order to perform a Mantel test" << std::endl;
        os << "Computations were not performed..." << std::endl;
        return 1.0;
    }
    os << "\nList of matrices:\n";
    if (MatrixNumber == 2 || MatrixNumber == 3) run_tests(os, pos, fst, nperm);
    return 1.0;
}

void Mantel::run_tests(std::ostream& os, Positions const& pos, TriMat& fst, int nperm) {
    int const n = static_cast<int>(pos.x.size());
    bool const partial = MatrixNumber == 3;
    RectMat Y(n, n);
    RectMat W1(n, n);
    RectMat W2(partial ? n : 0, partial ? n : 0);
    for (int i = 0; i < n; ++i) {
        std::size_t const si = static_cast<std::size_t>(i);
        for (int j = 0; j < n; ++j) {
            std::size_t const sj = static_cast<std::size_t>(j);
            W1(i, j) = X1(pos.x[si], pos.x[sj]);
            if (partial) W2(i, j) = X2(pos.x[si], pos.x[sj]);
            Y(i, j) = FstMatr_funct(pos.y[si], pos.y[sj], fst);
        }
    }

    print_labelled_matrix(os, "  X1={", W1);
    if (partial) print_labelled_matrix(os, "  X2={", W2);
    std::string const yHead = std::string("  Y (") + YMatrix.c_str() + ")={";
    print_labelled_matrix(os, yHead.c_str(), Y);

    if (partial) {
        compute_correlation(Y, W1, W2);
        find_undefined(Y, W1, &W2);
        print_correlations(os);
        test_correlation(Y, W1, W2, nperm);
    } else {
        compute_correlation(Y, W1);
        find_undefined(Y, W1, nullptr);
        print_correlations(os);
        test_correlation(Y, W1, nperm);
    }
    print_p_values(os);
}

void Mantel::find_undefined(RectMat const& Y, RectMat const& X1m, RectMat const* X2m) {
    std::string why;
    auto because = [&why](char const* reason) { why += (why.empty() ? "" : ", ") + std::string(reason); };
    bool const constY = constant_matrix(Y);
    bool const constX1 = constant_matrix(X1m);
    bool const constX2 = X2m != nullptr && constant_matrix(*X2m);
    if (constY) because("Y is constant");
    if (constX1) because("X1 is constant");
    if (constX2) because("X2 is constant");
    undefined_ = {};
    undefined_[0] = constY || constX1 || !std::isfinite(rY1);
    if (X2m != nullptr) {
        undefined_[1] = constY || constX2 || !std::isfinite(rY2);
        bool const sameX = !constX1 && !constX2 && collinear(r12);
        if (sameX) because("X1 and X2 are collinear");
        // A plain correlation of 1 leaves nothing for the partial one.
        bool const yX1 = !undefined_[0] && collinear(rY1);
        bool const yX2 = !undefined_[1] && collinear(rY2);
        if (yX2) because("Y and X2 are collinear");
        if (yX1) because("Y and X1 are collinear");
        bool const either = undefined_[0] || undefined_[1] || constX1 || constX2 || sameX;
        undefined_[2] = either || yX2 || !std::isfinite(rY1_2);
        undefined_[3] = either || yX1 || !std::isfinite(rY2_1);
    }
    char const* const names[] = {"rY1", "rY2", "rY1_2", "rY2_1"};
    std::string which;
    for (std::size_t k = 0; k < undefined_.size(); ++k)
        if (undefined_[k]) which += (which.empty() ? "" : ", ") + std::string(names[k]);
    if (which.empty()) return;
    if (why.empty()) because("a correlation is not a number");
    E.error(WARNING, ("Mantel::do_mantel_test() (" + why + ": no P value for " + which + ")").c_str(),
            Msg::m105_numerical_error);
}

void Mantel::compute_correlation(RectMat& Y, RectMat& X1m) { simple_correlation(*this, Y, X1m); }

void Mantel::compute_correlation(RectMat& Y, RectMat& X1m, RectMat& X2m) {
    partial_correlation(*this, Y, X1m, X2m, CollinearRule::Divide);
}

void Mantel::test_correlation(RectMat& Y, RectMat& X1m, int const& nperm) {
    if (nperm < 1) return;
    *_AOS_ << "\nStarting " << nperm << " permutations ...\n" << std::flush;
    std::clock_t const start = std::clock();
    double const observed = mantel_z(Y, X1m);
    simple_permutations(*this, Y, X1m, nperm, observed);
    *_AOS_ << "\ndone in " << elapsed_ms_since(start) << "ms" << std::flush;
}

void Mantel::test_correlation(RectMat& Y, RectMat& X1m, RectMat& X2m, int const& nperm) {
    if (nperm < 1) return;
    *_AOS_ << "\nStarting " << nperm << " permutations ...\n" << std::flush;
    std::clock_t const start = std::clock();
    partial_permutations(*this, Y, X1m, X2m, nperm, CollinearRule::Divide);
    *_AOS_ << "\ndone in " << elapsed_ms_since(start) << "ms" << std::flush;
}

void Mantel::print_correlations(std::ostream& os) {
    set_six_decimals(os);
    if (MatrixNumber == 2) {
        os << "\nMean value Y                       : " << meanY;
        os << "\nSums of squares Y                  : " << SSY;
        os << "\nMean value  X1                     : " << meanX1;
        os << "\nSums of squares X1                 : " << SSX1;
        os << "\nZY1                                : " << ZY1;
        os << "\nSum of products (SP(Y,X1))         : " << SPY1;
        os << "\n\nRegression coefficient (bY1)     : " << bY1;
        os << "\n\nCorrelation coefficient (rY1)    : " << rY1;
        os << "\n\nDetermination of Y by X1(%)      : " << R2;
        os << "\n" << std::endl;
    } else if (MatrixNumber == 3) {
        os << "\nMean value Y                      : " << meanY;
        os << "\nSums of squares Y                 : " << SSY;
        os << "\nMean value  X1                    : " << meanX1;
        os << "\nSums of squares X1                : " << SSX1;
        os << "\nMean value  X2                    : " << meanX2;
        os << "\nSums of squares X2                : " << SSX2;
        os << "\nZY1                               : " << ZY1;
        os << "\nZY2                               : " << ZY2;
        os << "\nZ12                               : " << Z12;
        os << "\nSum of products (SP(Y,X1))        : " << SPY1;
        os << "\nSum of products (SP(Y,X2))        : " << SPY2;
        // The label has always read X1,X1; the value is SP(X1,X2).
        os << "\nSum of products (SP(X1,X1))       : " << SP12;
        os << "\n\nRegression coefficient (bY1)      : " << bY1;
        os << "\nRegression coefficient (bY2)      : " << bY2;
        os << "\nPartial regression  (bY1_2)       : " << bY1_2;
        os << "\nPartial regression  (bY2_1)       : " << bY2_1;
        os << "\n\nCorrelation coefficient (rY1)     : " << rY1;
        os << "\nCorrelation coefficient (rY2)     : " << rY2;
        os << "\nCorrelation coefficient (r12)     : " << r12;
        os << "\nPartial correlation  (rY1_2)      : " << rY1_2;
        os << "\nPartial correlation  (rY2_1)      : " << rY2_1;
        os << "\n\nDetermination of Y by X1(%)       : " << beta1 * beta2 * r12 + beta1 * beta1;
        os << "\nDetermination of Y by X2(%)       : " << beta2 * beta1 * r12 + beta2 * beta2;
        os << "\nTotal determination of Y (%)      : " << R2;
        os << "\nUnexplained variance of Y (%)     : " << unexplained;
        os << "\n" << std::endl;
    }
}

void Mantel::print_p_values(std::ostream& os) {
    if (NbPermutations == 0 || (MatrixNumber != 2 && MatrixNumber != 3)) return;
    // Nothing to show when no tested correlation is defined.
    if (undefined_[0] && (MatrixNumber == 2 || (undefined_[1] && undefined_[2] && undefined_[3]))) return;
    set_six_decimals(os);
    os << "\n\nSignificance testing (" << NbPermutations << " permutations for Mantel test)"
       << "\n====================";
    if (!undefined_[0]) print_significance_block(os, kBlockRY1, P_rY1, smaller_rY1, equal_rY1, larger_rY1);
    if (MatrixNumber == 3) {
        if (!undefined_[1]) print_significance_block(os, kBlockRY2, P_rY2, smaller_rY2, equal_rY2, larger_rY2);
        if (!undefined_[2])
            print_significance_block(os, kBlockRY1_2, P_rY1_2, smaller_rY1_2, equal_rY1_2, larger_rY1_2);
        if (!undefined_[3])
            print_significance_block(os, kBlockRY2_1, P_rY2_1, smaller_rY2_1, equal_rY2_1, larger_rY2_1);
    }
    os << "\n" << std::endl;
}

}  // namespace quintle
