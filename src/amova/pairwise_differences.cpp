// Comparisons of pairs of samples, the distances beside FST: mean pairwise
// differences within and between samples with their P values, the (delta
// mu) squared distance from the mean allele sizes, the coancestry, Slatkin
// and M tables derived from FST, and the end of the call with the Mantel
// tests on the FST matrix.

#include <algorithm>
#include <climits>
#include <cstdint>
#include <fstream>
#include <iomanip>
#include <ostream>
#include <string>

#include "amova/pairwise_kernels.h"
#include "amova/pairwise_pass.h"
#include "core/References.h"
#include "core/TriMat.h"
#include "data/Population.h"
#include "mantel/Mantel.h"
#include "popstats/PopGenetics.h"
#include "run/ProfileSettings.h"
#include "run/glbobj.h"
#include "run/settings.h"
#include "run/task_bits.h"

namespace quintle {

namespace {

// The cell of a table derived from FST, in width w; `inf` is the text of an
// infinite value, w characters wide.
void print_cell(std::ostream& out, int w, DerivedCell const& cell, std::string const& inf) {
    switch (cell.kind) {
        case DerivedCell::Infinite: out << inf; break;
        case DerivedCell::ZeroText: out << std::setw(w) << "0"; break;
        case DerivedCell::Number: out << std::setw(w) << std::setprecision(5) << cell.value; break;
    }
}

// The same value on a batch stream: "inf", or the number (0 for the text "0").
void batch_cell(std::ostream* os, DerivedCell const& cell) {
    if (os == nullptr) return;
    if (cell.kind == DerivedCell::Infinite)
        *os << "inf\t";
    else
        *os << cell.value << "\t";
}

void newline(std::ostream* os) {
    if (os != nullptr) *os << "\n";
}

// "1" in width `first`, then 2 .. last in width `rest`, and a line end.
void column_numbers(std::ostream& out, int first, int rest, int last) {
    out << std::setw(first) << 1;
    for (int j = 2; j <= last; ++j) out << std::setw(rest) << j;
    out << "\n";
}

std::string inf_text(int w) { return std::string(static_cast<std::size_t>(w > 3 ? w - 3 : 0), ' ') + "inf"; }

// A table derived from FST under its column numbers: row i holds the cells
// of columns 1 .. i (through the diagonal when `diagonal`), each also
// written to `batch` when that is not null.
void derived_table(std::ostream& out, int w, int n, TriMat const& fst, bool diagonal, DerivedCell (*cell_of)(double),
                   std::string const& inf, std::ostream* batch) {
    column_numbers(out, 2 * w + 2, w, n);
    for (int i = 0; i < n; ++i) {
        out << std::setw(w + 2) << i + 1;
        int const end = diagonal ? i + 1 : i;
        for (int j = 0; j < end; ++j) {
            DerivedCell const cell = cell_of(fst(i, j));
            print_cell(out, w, cell, inf);
            batch_cell(batch, cell);
        }
        out << "\n";
    }
}

}  // namespace

// --- in the loop over pairs -----------------------------------------------------------

void PairwisePass::prepare_delta_mu(int k) {
    if (auto* p = dynamic_cast<PopGenetics*>(by_id_[k])) p->computeMeanAlleleSizes();
}

void PairwisePass::compute_delta_mu(int i, int j) {
    auto const* a = dynamic_cast<PopGenetics const*>(by_id_[i]);
    auto const* b = dynamic_cast<PopGenetics const*>(by_id_[j]);
    double const* ma = a != nullptr ? a->locusMeanAlleleSize.data : nullptr;
    double const* mb = b != nullptr ? b->locusMeanAlleleSize.data : nullptr;
    long const La = a != nullptr && ma != nullptr ? a->locusMeanAlleleSize.count : 0;
    long const Lb = b != nullptr && mb != nullptr ? b->locusMeanAlleleSize.count : 0;
    delta_mu_(i, j) = delta_mu_squared(ma, La, mb, Lb);
}

// --- the report -------------------------------------------------------------------------

void PairwisePass::print_differences(std::ostream& out) {
    bool const batch = _PAIRWISE_DIST_ != 0;
    if (s_.PrintMissIntermatchs != 0) {
        out << "\n\n" << pairwise_rule('-', 39) << "\n" << "Population average pairwise differences" << "\n"
            << pairwise_rule('-', 40) << "\n"
            << "\nAbove diagonal    : Average number of pairwise differences between populations (PiXY)"
            << "\nDiagonal elements : Average number of pairwise differences within population (PiX)"
            << "\nBelow diagonal    : Corrected average pairwise difference (PiXY-(PiX+PiY)/2)\n\n";
        if (s_.ComputeConventionalFST == 0 && s_.ComputeDistanceMatrixAMOVA != 0) {
            out << "Distance method: ";
            if (char const* name = distance_method_name(engine_.data_type(), s_.DistanceMethodAMOVA))
                out << name << "\n";
        } else if (s_.ComputeConventionalFST != 0) {
            out << "Computing conventional F-Statistics from haplotype frequencies\n";
        }
        pairwise_open_tag(out, "pairwiseDifferenceMatrix");
        column_numbers(out, 24, 11, n_);
        for (int i = 0; i < n_; ++i) {
            out << std::setw(13) << i + 1;
            for (int j = 0; j < n_; ++j) {
                out << std::setw(11) << std::setprecision(5) << diffs_(i, j);
                if (batch && ofs_pairw_diffs != nullptr) *ofs_pairw_diffs << diffs_(i, j) << "\t";
            }
            if (batch) newline(ofs_pairw_diffs);
            out << "\n";
        }
        pairwise_close_tag(out, "pairwiseDifferenceMatrix");

        if (test_) {
            struct Table {
                char const* title;
                int rule, first, label, cell;
                TriMat const* values;
            };
            Table const tables[] = {{"PXY P value", 11, 26, 14, 12, &pixy_p_},
                                    {"Corrected PXY P value", 21, 28, 15, 13, &corr_p_}};
            for (Table const& t : tables) {
                std::string const rule = pairwise_rule('-', t.rule);
                out << "\n\n" << rule << "\n" << t.title << "\n" << rule << "\n\n";
                column_numbers(out, t.first, t.cell, n_ - 1);
                for (int i = 0; i < n_; ++i) {
                    if (i > 0) out << std::setw(t.label) << i + 1;
                    for (int j = 0; j < i; ++j) {
                        double const P = (*t.values)(i, j);
                        out << std::setw(t.cell) << std::setprecision(5) << P;
                        if (batch && ofs_pairw_diffs != nullptr) *ofs_pairw_diffs << P << "\t";
                    }
                    out << "\n";
                    if (batch) newline(ofs_pairw_diffs);
                }
            }
        }
    }
    if (batch) newline(ofs_pairw_diffs);
}

void PairwisePass::print_delta_mu(std::ostream& out, int w) {
    std::string const rule = pairwise_rule('-', 57);
    out << "\n\n" << rule << "\n" << "Delta mu-square distance between all pairs of populations" << "\n" << rule
        << "\n\n";
    column_numbers(out, 2 * w + 12, w + 5, n_);
    for (int i = 0; i < n_; ++i) {
        out << std::setw(w + 7) << i + 1;
        for (int j = 0; j <= i; ++j) {
            double const d = delta_mu_(i, j);
            out << std::setw(w + 5) << std::setprecision(5) << d;
        }
        out << "\n";
    }
}

void PairwisePass::print_coancestry(std::ostream& out, int w) {
    bool const batch = _PAIRWISE_DIST_ != 0;
    if (s_.PrintConcestryCoeff != 0 && s_.PrintFstVals != 0) {
        std::string const rule = pairwise_rule('-', 51);
        std::string const inf = inf_text(w);
        out << "\n" << rule << "\n" << "Matrix of coancestry coefficients as t/M=-ln(1-FST)\n"
            << "(M=N for haploid data, M=2N for diploid data)" << "\n" << rule << "\n" << "\n";
        References(out, my_string("Coancestry_1983"));
        pairwise_open_tag(out, "coancestryCoefficients");
        derived_table(out, w, n_, fst_, true, coancestry_cell, inf, batch ? ofs_concest : nullptr);
        pairwise_close_tag(out, "coancestryCoefficients");
    }
    if (batch) newline(ofs_concest);
}

void PairwisePass::print_slatkin(std::ostream& out, int w) {
    bool const batch = _PAIRWISE_DIST_ != 0;
    if (s_.PrintSlatkinsDist == 0 || s_.PrintFstVals == 0) {
        if (batch) {
            newline(ofs_slatkins);
            newline(ofs_NM_vals);
        }
        return;
    }
    std::string const inf = inf_text(w);
    std::string const rule52 = pairwise_rule('-', 52);
    out << "\n\n" << rule52 << "\n" << "Matrix of Slatkin linearized FSTs as t/M=FST/(1-FST)\n"
        << "(M=N for haploid data, M=2N for diploid data)" << "\n" << rule52 << "\n" << "\n";
    References(out, my_string("LinearizedFST_1991"));
    pairwise_open_tag(out, "slatkinFst");
    derived_table(out, w, n_, fst_, true, slatkin_cell, inf, batch ? ofs_slatkins : nullptr);
    if (batch) newline(ofs_slatkins);
    pairwise_close_tag(out, "slatkinFst");

    std::string const rule66 = pairwise_rule('-', 66);
    out << "\n\n" << rule66 << "\n" << "Matrix of M values (M=Nm for haploid data, M=2Nm for diploid data)" << "\n"
        << rule66 << "\n" << "\n";
    derived_table(out, w, n_, fst_, false, m_value_cell, inf, batch ? ofs_NM_vals : nullptr);
    out << "\n";
    if (batch) newline(ofs_NM_vals);
}

// --- the end of the call ------------------------------------------------------------------

void PairwisePass::finish_report() {
    *_AOS_ << "\nAll FST distances have been computed and written to file\n" << std::endl;
    end_of_call();
}

void PairwisePass::end_of_call() {
    std::fstream* out = s_.ResultFile;
    if (out != nullptr) *out << "\n";
    // A set without samples has nothing to test.
    if ((s_.TaskNumber & task_mantel) != 0 && n_ > 0) {
        std::int64_t const asked = s_.NumPermMantel;
        int const permutations =
            static_cast<int>(std::clamp<std::int64_t>(asked, INT_MIN, INT_MAX));
        if (engine_.mantel != nullptr) engine_.mantel->do_mantel_test(fst_, by_id_.data(), n_, out, permutations);
    }
}

}  // namespace quintle
