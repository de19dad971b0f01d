// Linked-loci histogram of the phased linkage test: for each polymorphic
// locus, the number (and share) of other loci in significant disequilibrium
// with it, by classes of minor-allele count so that loci with rare alleles
// can be set apart. Written to the result stream, to the histogram file
// (rewritten with each sample, so it keeps the last one) and to the batch
// file of linkage indices.

#include <algorithm>
#include <fstream>
#include <iomanip>
#include <ostream>
#include <string>
#include <vector>

#include "core/Errors.h"
#include "core/messages.h"
#include "core/TriMat.h"
#include "data/HaploDef.h"
#include "haplo/table_counts.h"
#include "popstats/PopGenetics.h"
#include "run/glbobj.h"
#include "run/settings.h"

namespace quintle {

namespace {

// One minor-allele class: loci at or above it, and per locus the number of
// significant partners within the class.
struct HistoClass {
    std::vector<int> linked;
    int members = 0;
};

HistoClass histo_class(int c, std::vector<int> const& minor, TriMat& pvalues, double level) {
    int const n = static_cast<int>(minor.size());
    HistoClass h;
    h.linked.assign(static_cast<std::size_t>(n), 0);
    for (int i = 0; i < n; ++i) {
        if (minor[static_cast<std::size_t>(i)] < c) continue;
        ++h.members;
        for (int j = 0; j < i; ++j) {
            if (minor[static_cast<std::size_t>(j)] < c) continue;
            if (pvalues(i, j) < level) {
                ++h.linked[static_cast<std::size_t>(i)];
                ++h.linked[static_cast<std::size_t>(j)];
            }
        }
    }
    return h;
}

std::string dashes(int lead, int per, int n) {
    return std::string(static_cast<std::size_t>(lead), '-') +
           std::string(static_cast<std::size_t>(per) * static_cast<std::size_t>(n), '-');
}

void numbers_table(std::ostream& R, std::ostream& F, std::ostream* B, int const* loci, std::vector<int> const& minor,
                   int C, TriMat& pvalues, double level) {
    int const n = static_cast<int>(minor.size());
    R << "\nNumber of linked loci per polymorphic locus (significance level=" << std::setprecision(4) << level << "):\n"
      << dashes(27, 5, n) << "\n";
    if (B) *B << "\t\t\t";
    R << "y\\Locus: ";
    F << "y\\Locus: ";
    for (int k = 0; k < n; ++k) {
        R << std::setw(5) << loci[k];
        F << "\t" << loci[k];
        if (B) *B << loci[k] << "\t";
    }
    if (B) *B << "\n";
    R << std::setw(13) << "   No. of Loci";
    F << "\t   No. of Loci\n";
    R << "\n" << dashes(29, 5, n) << "\n";
    for (int c = 1; c <= C; ++c) {
        HistoClass const h = histo_class(c, minor, pvalues, level);
        R << std::setw(6) << c << std::setw(3) << " ";
        if (B) *B << level << "\t" << c << "\t" << h.members << "\t";
        F << c;
        for (int k = 0; k < n; ++k) {
            if (minor[static_cast<std::size_t>(k)] < c) {
                R << std::setw(5) << "*";
                F << "\t-1";
                if (B) *B << "-1\t";
            } else {
                int const v = h.linked[static_cast<std::size_t>(k)];
                R << std::setw(5) << v;
                F << "\t" << v;
                if (B) *B << v << "\t";
            }
        }
        if (B) *B << "\n";
        R << "  " << std::setw(11) << h.members;
        F << "\t" << h.members << "\n";
        R << "\n" << dashes(29, 5, n) << "\n";
    }
    R << "\n\n\n";
    F << "\n\n\n";
}

void percentages_table(std::ostream& R, std::ostream& F, int const* loci, std::vector<int> const& minor, int C,
                       TriMat& pvalues, double level) {
    int const n = static_cast<int>(minor.size());
    R << "\nPercentage of linked loci per locus (significance level=" << std::setprecision(4) << level << "):\n"
      << dashes(27, 8, n) << "\n";
    R << "y\\Locus: ";
    F << "y\\Locus: ";
    for (int k = 0; k < n; ++k) {
        R << std::setw(8) << loci[k];
        F << "\t" << loci[k];
    }
    R << std::setw(13) << "   No. of Loci";
    F << "\t   No. of Loci\n";
    R << "\n" << dashes(29, 8, n) << "\n";
    for (int c = 1; c <= C; ++c) {
        HistoClass const h = histo_class(c, minor, pvalues, level);
        // A class of one locus still divides by one.
        int const m = std::max(h.members, 2);
        R << std::setw(6) << c << std::setw(3) << " ";
        F << c;
        for (int k = 0; k < n; ++k) {
            if (minor[static_cast<std::size_t>(k)] < c) {
                R << std::setw(8) << "*";
                F << "\t-1";
            } else {
                double const pct = h.linked[static_cast<std::size_t>(k)] / static_cast<double>(m - 1) * 100.0;
                R << std::fixed << std::setprecision(1) << std::setw(8) << pct;
                F << "\t" << pct;
            }
        }
        R << "  " << std::setw(11) << m;
        F << "\t" << m << "\n";
        R << "\n" << dashes(29, 8, n) << "\n";
        R << std::setprecision(13);
    }
}

}  // namespace

void PopGenetics::init_all_min_allele(int const& n, int* loci, int* minorCounts) {
    char const missing = profile.MissingData;
    for (int k = 0; k < n; ++k) {
        int const locus = loci[k];
        AlleleNumbering alleles;
        std::vector<double> sums;
        for (long i = 0; i < haplotypes.count; ++i) {
            PHaploDef const* e = haplotypes.data[i];
            if (e == nullptr || e->haplotype == nullptr) continue;
            if (locus < 0 || locus >= e->haplotype->alleles.count) {
                E.error(ERROR, "PopGenetics::init_all_min_allele()", Msg::m60_invalid_contingency_index);
                return;
            }
            TAllele const* a = e->haplotype->alleles.data[locus];
            if (is_missing_allele(a, missing)) continue;
            auto const pos = static_cast<std::size_t>(alleles.number(a));
            if (pos == sums.size()) sums.push_back(0.0);
            sums[pos] += e->count;
        }
        double first = 0.0, second = 0.0;
        for (double v : sums) {
            if (v > first) {
                second = first;
                first = v;
            } else if (v > second) {
                second = v;
            }
        }
        minorCounts[k] = static_cast<int>(second);
    }
}

void PopGenetics::print_ld_histo(int n, int* loci, TriMat& pvalues, settings& s, std::fstream& out) {
    if (n < 0) n = 0;
    std::ofstream F(s.LDHistoFileName.c_str(), std::ios::out | std::ios::trunc);
    std::vector<int> minor(static_cast<std::size_t>(n), 0);
    init_all_min_allele(n, loci, minor.data());
    int const largest = n > 0 ? *std::max_element(minor.begin(), minor.end()) : 0;
    int const C = std::min(5, largest);
    double const level = s.SignificanceLevelLD;
    std::ostream* B = _LINKAGE_DISEQUILIBRIUM_ != 0 && ofs_link_dis != nullptr ? ofs_link_dis : nullptr;

    numbers_table(out, F, B, loci, minor, C, pvalues, level);
    percentages_table(out, F, loci, minor, C, pvalues, level);
    out << "\n\nRemark: All these results can be found in the file: " << s.LDHistoFileName << "\n\n";
}

}  // namespace quintle
