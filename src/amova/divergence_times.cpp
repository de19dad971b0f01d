// Comparisons of pairs of samples, divergence times with unequal sizes: the
// divergence time tau, the size ratio k and the ancestral theta0 of each
// pair, solved from its mean differences within and between the samples,
// tested with the permutations of the FST test, and their tables.

#include <iomanip>
#include <ostream>
#include <string>

#include "amova/TSolveDivTimes.h"
#include "amova/pairwise_pass.h"
#include "core/References.h"
#include "run/glbobj.h"

namespace quintle {

namespace {

constexpr char const* kNote = "\nAn * denotes the cases where the estimation of divergence time did not converge\n";

void to_tau_stream(double value) {
    if (ofs_tau_uneq != nullptr) *ofs_tau_uneq << value << "\t";
}

void tau_stream_line_end() {
    if (ofs_tau_uneq != nullptr) *ofs_tau_uneq << "\n";
}

}  // namespace

void PairwisePass::estimate_divergence(int i, int j) {
    double const a = diffs_(i, i);
    double const b = diffs_(j, j);
    double const c = diffs_(i, j);
    not_converged_(i, j) = 0.0;
    // Without differences within or between there is nothing to estimate.
    if (a == 0.0 || b == 0.0 || c == 0.0) return;
    TSolveDivTimes solver(a, b, c);
    int const failed = solver.solve(50);
    tau_(i, j) = static_cast<double>(solver.tau);
    k_(i, j) = static_cast<double>(solver.k);
    theta0_(i, j) = static_cast<double>(solver.theta0);
    not_converged_(i, j) = failed != 0 ? 1.0 : 0.0;
}

void PairwisePass::permuted_divergence(int i, int j, double pixA, double pixB, double pixy,
                                       DivergenceCounts& counts) {
    if (pixA == 0.0 || pixB == 0.0 || pixy == 0.0) return;
    TSolveDivTimes solver(pixA, pixB, pixy);
    // A permutation without a converged estimate counts nowhere.
    if (solver.solve(20) != 0) return;
    ++counts.success;
    if (static_cast<double>(solver.tau) >= tau_(i, j)) ++counts.tau;
    if (static_cast<double>(solver.k) >= k_(i, j)) ++counts.k;
    if (static_cast<double>(solver.theta0) >= theta0_(i, j)) ++counts.theta0;
}

void PairwisePass::divergence_p_values(int i, int j, DivergenceCounts const& counts) {
    double const success = static_cast<double>(counts.success);
    tau_p_(i, j) = counts.success > 0 ? static_cast<double>(counts.tau) / success : 0.0;
    k_p_(i, j) = counts.success > 0 ? static_cast<double>(counts.k) / success : 0.0;
    theta0_p_(i, j) = counts.success > 0 ? static_cast<double>(counts.theta0) / success : 0.0;
}

void PairwisePass::print_divergence_estimates(std::ostream& out, int w, TriMat const& m, bool tauTable) const {
    bool const batch = _PAIRWISE_DIST_ != 0;
    out << std::setw(2 * w + 2) << 1;
    for (int j = 2; j <= n_; ++j) out << std::setw(w) << j;
    out << "\n";
    for (int i = 0; i < n_; ++i) {
        out << std::setw(w + 2) << i + 1;
        for (int j = 0; j <= i; ++j) {
            out << std::setw(w) << std::setprecision(5) << m(i, j)
                << (not_converged_(i, j) == 1.0 ? "         *" : "         ");
            if (batch) to_tau_stream(m(i, j));
        }
        out << "\n";
        // The tau table ends its batch line once, the others every row.
        if (batch && !tauTable) tau_stream_line_end();
    }
    if (batch && tauTable) tau_stream_line_end();
}

void PairwisePass::print_divergence_p_values(std::ostream& out, int w, TriMat const& m) const {
    bool const batch = _PAIRWISE_DIST_ != 0;
    out << std::setw(2 * w + 2) << 1;
    for (int j = 2; j <= n_ - 1; ++j) out << std::setw(w) << j;
    out << "\n";
    for (int i = 0; i < n_; ++i) {
        if (i > 0) out << std::setw(w + 2) << i + 1;
        for (int j = 0; j < i; ++j) {
            out << std::setw(w) << std::setprecision(5) << m(i, j);
            if (batch) to_tau_stream(m(i, j));
        }
        out << "\n";
        if (batch) tau_stream_line_end();
    }
}

void PairwisePass::print_divergence(std::ostream& out, int w) {
    std::string const rule60 = pairwise_rule('-', 60);
    std::string const rule12 = pairwise_rule('-', 12);

    out << "\n\n" << rule60 << "\n" << "Divergence times allowing for unequal population sizes (tau)" << "\n" << rule60
        << "\n\n";
    References(out, my_string("UnequalSizes_2000"));
    pairwise_open_tag(out, "tauMatrix");
    std::string const rule10 = pairwise_rule('-', 10);
    out << "\n\n" << rule10 << "\n" << "tau values" << "\n" << rule10 << "\n\n";
    print_divergence_estimates(out, w, tau_, true);
    out << kNote;
    pairwise_close_tag(out, "tauMatrix");
    if (test_) {
        out << "\n\n" << rule12 << "\n" << "tau P values" << "\n" << rule12 << "\n\n";
        print_divergence_p_values(out, w, tau_p_);
    }

    out << "\n\n" << rule60 << "\n" << "Unequal population sizes (k)" << "\n" << rule60 << "\n\n";
    print_divergence_estimates(out, w, k_, false);
    out << kNote;
    if (test_) {
        out << "\n\n" << rule12 << "\n" << "k P values" << "\n" << rule12 << "\n\n";
        print_divergence_p_values(out, w, k_p_);
    }

    out << "\n\n" << rule60 << "\n" << "Ancestral population sizes (theta0)" << "\n" << rule60 << "\n\n";
    pairwise_open_tag(out, "ancestralPopSize");
    print_divergence_estimates(out, w, theta0_, false);
    pairwise_close_tag(out, "ancestralPopSize");
    out << kNote;
    if (test_) {
        std::string const rule15 = pairwise_rule('-', 15);
        out << "\n\n" << rule15 << "\n" << "theta0 P values" << "\n" << rule15 << "\n\n";
        print_divergence_p_values(out, w, theta0_p_);
    }
}

}  // namespace quintle
