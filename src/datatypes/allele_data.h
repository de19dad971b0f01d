#pragma once

// What the microsatellite and standard-data samples share below their
// drivers: the polymorphism evaluation, the allele rows of the usable loci that the
// distance kernels read, the count-weighted sum of pairwise distances and the
// printed matrix.

#include <cstdint>
#include <ctime>
#include <fstream>
#include <memory>
#include <new>
#include <ostream>
#include <vector>

#include "core/Errors.h"
#include "core/RectMat.h"
#include "core/public.h"
#include "core/timing.h"
#include "data/Population.h"
#include "data/TAlleleDB.h"
#include "run/settings.h"

namespace quintle {

class PopGenetics;
class TAllele;
class settings;

// evaluate_polymorphism of both types: the allowed level of missing data,
// then the usable and polymorphic loci of the phenotypes (unphased genotypes
// not yet turned into gametes) or of the haplotype list. Always 1.
int evaluate_allele_polymorphism(PopGenetics& p, settings const& s);

// An allele is missing when its whole name is the missing-data character.
bool allele_is_missing(TAllele const* a, char missing);

// The number of loci of the sample: the length of the first entry's allele
// list, 0 for an empty list.
int first_entry_loci(PHaploDefList const& list);

// The loci among the first `loci` whose usable flag is set (every locus when
// the flags were never set), in locus order.
std::vector<int> usable_loci(std::vector<int> const& usableSite, int loci);

// The allele of entry `e` at locus `l`, or null when the entry has no such
// locus.
TAllele const* allele_at(PHaploDef const* e, int l);

// The entries of a list, in order.
std::vector<PHaploDef const*> list_entries(PHaploDefList const& list);

// Classes of the entries that have the same alleles (the same objects of
// the allele base, or none) at `loci`, numbered in order of first
// appearance: the class of each entry into classOf; their number returned.
int allele_row_classes(PHaploDefList const& list, std::vector<int> const& loci, std::vector<int>& classOf);

// Sum over pairs i > j of the list of count_i x count_j x d(i, j); counts
// multiply in 64 bits.
double weighted_pair_sum(PHaploDefList const& list, RectMat const& d);

// The matrix as compute_distance_matrix prints it: "\nInter-haplotypic
// distance matrix:\n\n", then per row the entries left of the diagonal, eight
// blanks, the entries right of it; each in fixed notation, width 8, four
// decimals.
void write_inter_haplotypic_matrix(std::ostream& out, RectMat const& d, int n);

// compute_distance_matrix of both types: the n x n matrix of the haplotype
// list (ERROR 108 from `function` for an empty list), the rows of entries
// read by `read_rows(entries, usable loci)` and each pair formed by
// `pair(rows, i, j, d)` (row i after row j). A pair it refuses (after its own
// report) leaves no matrix at all rather than a partly filled one that later
// sections would read as complete. The matrix goes to `out` when given. True
// when the matrix is complete.
//
// Entries with the same alleles at the usable loci (allele_row_classes) are
// one class: when some repeat, only the first entry of each class is read
// and the matrix is held in class mode, each pair of classes formed once,
// unless `by_classes(rows)` finds that the pairs of those rows depend on
// their order. A refusal is then that of the first pair of classes refused
// (`pair` reports the same for any pair).
template <class Sample, class ReadRows, class ByClasses, class Pair>
bool fill_allele_distance_matrix(Sample& p, std::fstream* out, settings* s, char const* function,
                                 ReadRows&& read_rows, ByClasses&& by_classes, Pair&& pair) {
    if (p.haplotypes.count < 1) {
        E.error(ERROR, function, Msg::m108_haplotype_list_empty);
        return false;
    }
    const int n = static_cast<int>(p.haplotypes.count);
    p.NbHaplotypeEntries = n;
    p.distMat.reset();
    const int L = first_entry_loci(p.haplotypes);
    try {
        p.distMat = std::make_unique<RectMat>(L > 0 ? 0 : n, L > 0 ? 0 : n);
    } catch (std::bad_alloc const&) {
        E.error(MEMORY, function, Msg::m0_not_enough_memory);
        return false;
    }
    *_AOS_ << "\t\tBeginning distance computations ...\n";
    std::clock_t start = get_sys_clock();
    p.maxPairwiseDistance = 0;

    if (L > 0) {
        std::vector<int> loci = usable_loci(p.usableSite, L);
        // Rows over shared character alleles: a site where every text holds
        // one character tells no entries apart and adds to no distance.
        if (CharacterAlleles const* c = p.alleleDB != nullptr ? p.alleleDB->characters() : nullptr)
            std::erase_if(loci, [c](int l) { return c->uniform(l); });
        RectMat& m = *p.distMat;
        auto refuse = [&p] {
            p.distMat.reset();
            p.maxPairwiseDistance = 0;
            return false;
        };
        std::vector<int> classOf;
        const int G = allele_row_classes(p.haplotypes, loci, classOf);
        bool classed = false;
        if (G < n) {
            std::vector<PHaploDef const*> firsts(static_cast<std::size_t>(G), nullptr);
            std::vector<int> entries(static_cast<std::size_t>(G), 0);
            for (int i = 0; i < n; ++i) {
                const auto c = static_cast<std::size_t>(classOf[static_cast<std::size_t>(i)]);
                if (entries[c]++ == 0) firsts[c] = p.haplotypes.data[i];
            }
            auto const rows = read_rows(firsts, loci);
            classed = by_classes(rows);
            if (classed) {
                if (!m.make_classed(std::move(classOf), G)) return refuse();
                for (int a = 0; a < G; ++a) {
                    for (int b = entries[static_cast<std::size_t>(a)] >= 2 ? a : a - 1; b >= 0; --b) {
                        double d = 0.0;
                        if (!pair(rows, a, b, d)) return refuse();
                        m.below(a, b) = d;
                        if (d > p.maxPairwiseDistance) p.maxPairwiseDistance = static_cast<int>(d);
                    }
                }
                for (int i = 0; i < n; ++i) {
                    settings::print_message();
                    if (s != nullptr && s->stopFlag != 0) return false;
                }
            }
        }
        if (!classed) {
            auto const rows = read_rows(list_entries(p.haplotypes), loci);
            m.de_allocate_matrix();
            m.nRows = m.nCols = n;
            if (m.allocate_matrix() == 0 && n > 0) {
                E.error(MEMORY, function, Msg::m0_not_enough_memory);
                return refuse();
            }
            for (int i = 0; i < n; ++i) {
                for (int j = 0; j < i; ++j) {
                    double d = 0.0;
                    if (!pair(rows, i, j, d)) return refuse();
                    m(i, j) = d;
                    if (d > p.maxPairwiseDistance) p.maxPairwiseDistance = static_cast<int>(d);
                }
                settings::print_message();
                if (s != nullptr && s->stopFlag != 0) return false;
                m(i, i) = 0.0;
            }
        }
    }
    *_AOS_ << "\t\tdone ! (" << elapsed_ms_since(start) << " ms)\n";
    if (out == nullptr) return true;

    *_AOS_ << "\t\tWriting matrix to file ...\n";
    start = get_sys_clock();
    write_inter_haplotypic_matrix(*out, *p.distMat, n);
    *_AOS_ << "\t\tdone ! (" << elapsed_ms_since(start) << " ms)\n";
    return true;
}

}  // namespace quintle
