// The sample distance outputs of the drivers: the distances of
// conventional FST written to the sample's ".dis" file, and the printed
// inter-haplotypic distance matrix, list of haplotypes and minimum spanning
// tree of the result file.

#include "popstats/sample_distance_matrices.h"

#include <algorithm>
#include <ctime>
#include <iomanip>
#include <memory>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/Errors.h"
#include "core/public.h"
#include "core/timing.h"
#include "core/xml.h"
#include "mantel/network_report.h"
#include "popstats/PopGenetics.h"
#include "run/ProfileSettings.h"
#include "run/settings.h"

namespace quintle {

namespace {

constexpr char kConventionalName[] = "PopGenetics::compute_dist_mat_for_conventional_FST()";
constexpr char kPrintName[] = "PopGenetics::print_out_dist_mat()";

std::ostream& fixed(std::ostream& os, int decimals) {
    os.setf(std::ios::fixed, std::ios::floatfield);
    os.setf(std::ios::showpoint);
    os.setf(std::ios::right, std::ios::adjustfield);
    os.precision(decimals);
    return os;
}

bool is_missing(TAllele const* a, char missing) {
    return a != nullptr && a->name.length() == 1 && a->name.c_str()[0] == missing;
}

my_string const& otu_id(PHaploDefList const& list, int k) {
    static my_string const none;
    PHaploDef const* e = k >= 0 && k < list.count ? list.data[k] : nullptr;
    return e != nullptr && e->haplotype != nullptr ? e->haplotype->id : none;
}

void open_section(std::ostream& out, char const* name, my_string const& sampleName) {
    if (!xmlOutput) return;
    TXmlTag tag(name);
    tag.attributeName = "pop";
    tag.attributeValue = sampleName;
    out << tag.open() << "\n";
}

void close_section(std::ostream& out, char const* name) {
    if (xmlOutput) out << TXmlTag(name).close() << "\n";
}

}  // namespace

double allele_list_distance(HaploDef const& a, HaploDef const& b, int loci, std::vector<int> const& usable,
                            char missing) {
    const int shared = std::min({loci, static_cast<int>(a.alleles.count), static_cast<int>(b.alleles.count)});
    for (int l = 0; l < shared; ++l) {
        if (!usable.empty() && (static_cast<std::size_t>(l) >= usable.size() || usable[static_cast<std::size_t>(l)] == 0))
            continue;
        TAllele const* x = a.alleles.data[l];
        TAllele const* y = b.alleles.data[l];
        if (x != y && !is_missing(x, missing) && !is_missing(y, missing)) return 1.0;
    }
    return 0.0;
}

void write_conventional_distances(std::ostream& out, RectMat const& d, int n) {
    fixed(out, 4);
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < i; ++j) out << std::setw(8) << d(i, j);
        out << std::setw(8) << " ";
        for (int j = i + 1; j < n; ++j) out << std::setw(8) << d(i, j);
        out << "\n";
    }
}

void conventional_classes(std::vector<HaploDef const*> const& rows, int loci, std::vector<int>& classOf,
                          std::vector<HaploDef const*>& firstOf) {
    // allele_list_distance reads a definition's first min(loci, count)
    // alleles: definitions with the same ones are alike.
    auto key = [loci](HaploDef const* h) {
        std::string k;
        if (h == nullptr) return k;
        const int shared = std::min(loci, static_cast<int>(h->alleles.count));
        k.assign(1, 'h');
        k.append(reinterpret_cast<char const*>(h->alleles.data), static_cast<std::size_t>(std::max(shared, 0)) *
                                                                    sizeof(TAllele*));
        return k;
    };
    std::unordered_map<std::string, int> index;
    classOf.assign(rows.size(), 0);
    firstOf.clear();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        auto const [it, added] = index.try_emplace(key(rows[i]), static_cast<int>(firstOf.size()));
        if (added) firstOf.push_back(rows[i]);
        classOf[i] = it->second;
    }
}

int haplotype_column_width(PHaploDefList const& list) {
    int w = 8;
    for (long k = 0; k < list.count; ++k) w = std::max(w, otu_id(list, static_cast<int>(k)).length() + 4);
    return w;
}

int PopGenetics::compute_dist_mat_for_conventional_FST(std::ostream& out, settings* s) {
    if (haplotypes.count == 0) {
        E.error(ERROR, kConventionalName, Msg::m108_haplotype_list_empty);
        return 0;
    }
    if (dataType == FREQUENCY) {
        distMat = std::make_unique<RectMat>(2, 2);
        distMat->diagonalValue = 0.0;
        distMat->offDiagonalValue = 1.0;
        distMat->constantMode = 1;
        return 1;
    }
    distMat.reset();
    const int n = static_cast<int>(haplotypes.count);
    HaploDef const* first = haplotypes.data[0] != nullptr ? haplotypes.data[0]->haplotype : nullptr;
    const int loci = first != nullptr ? static_cast<int>(first->alleles.count) : 0;
    const bool byLocus = dataType != DNA && dataType != RFLP;
    // Held by classes of alike rows: for sequences one class (every pair of
    // entries at 1), for allele data one class per list of alleles.
    std::vector<HaploDef const*> rows(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        rows[static_cast<std::size_t>(i)] = haplotypes.data[i] != nullptr ? haplotypes.data[i]->haplotype : nullptr;
    std::vector<int> classOf;
    std::vector<HaploDef const*> firstOf;
    if (byLocus) {
        conventional_classes(rows, loci, classOf, firstOf);
    } else {
        classOf.assign(static_cast<std::size_t>(n), 0);
        firstOf.assign(1, rows[0]);
    }
    const int G = static_cast<int>(firstOf.size());
    try {
        distMat = std::make_unique<RectMat>(0, 0);
    } catch (std::bad_alloc const&) {
        E.error(MEMORY, kConventionalName, Msg::m0_not_enough_memory);
        return 0;
    }
    if (!distMat->make_classed(std::move(classOf), G)) return 0;
    *_AOS_ << "\t\tBeginning distance computations ...\n";
    const std::clock_t start = get_sys_clock();
    RectMat& d = *distMat;
    for (int a = 0; a < G; ++a) {
        HaploDef const* ha = firstOf[static_cast<std::size_t>(a)];
        for (int b = 0; b <= a; ++b) {
            HaploDef const* hb = firstOf[static_cast<std::size_t>(b)];
            if (!byLocus)
                d.below(a, b) = 1.0;
            else
                d.below(a, b) = ha != nullptr && hb != nullptr
                                    ? allele_list_distance(*ha, *hb, loci, usableSite, profile.MissingData)
                                    : 0.0;
        }
    }
    for (int i = 0; i < n; ++i) {
        settings::print_message();
        if (s != nullptr && s->stopFlag != 0) return 0;
    }
    *_AOS_ << "\t\tdone ! (" << elapsed_ms_since(start) << " ms)\n";
    if (out.fail()) return 1;
    *_AOS_ << "\t\tWriting matrix to file ...\n";
    const std::clock_t writing = get_sys_clock();
    write_conventional_distances(out, d, n);
    *_AOS_ << "\t\tdone ! (" << elapsed_ms_since(writing) << " ms)\n";
    return 1;
}

void PopGenetics::print_out_dist_mat(std::ostream* stream, settings& s) {
    if (stream == nullptr) return;
    std::ostream& out = *stream;
    const int n = static_cast<int>(haplotypes.count);
    const int w = haplotype_column_width(haplotypes);
    RectMat* D = distMat.get();
    // Later drivers call this unchecked: the matrix must cover the list.
    const bool usable = D != nullptr && (D->constantMode != 0 || (D->nRows >= n && D->nCols >= n));
    if (!usable) E.error(ERROR, kPrintName, Msg::m122_no_distance_matrix);

    if (usable && s.PrintHaplDistMat != 0) {
        *_AOS_ << "\t\t\tWriting matrix to file ...\n";
        out << "\nInter-haplotypic distance matrix (s.d. above diagonal):\n\n";
        open_section(out, "interHapDistMatrix", name);
        out << std::setw(w) << " ";
        for (int k = 0; k < n; ++k) out << std::setw(w) << otu_id(haplotypes, k);
        out << "\n" << std::endl;
        const bool deviations = dataType != MICROSAT && dataType != STANDARD;
        fixed(out, 4);
        for (int i = 0; i < n; ++i) {
            out << std::setw(w) << otu_id(haplotypes, i);
            for (int j = 0; j < i; ++j) out << std::setw(w) << (*D)(i, j);
            if (deviations) {
                out << std::setw(w) << " ";
                for (int j = i + 1; j < n; ++j) out << std::setw(w) << (*D)(i, j);
            }
            out << "\n";
        }
        out << "\n";
        close_section(out, "interHapDistMatrix");
    }

    out << "\nList of Haplotypes:\n\n";
    open_section(out, "interHapDistMatrixLabels", name);
    for (int k = 0; k < n; ++k) {
        PHaploDef const* e = haplotypes.data[k];
        out << std::setw(w) << otu_id(haplotypes, k) << " : ";
        if (e != nullptr && e->haplotype != nullptr) out << e->haplotype->data;
        out << std::endl;
    }
    out << "\n";
    close_section(out, "interHapDistMatrixLabels");

    if (usable && s.PrintMinSpannNetworkPop != 0) {
        // A constant matrix answers for any pair; the network reads one row
        // and column per haplotype.
        RectMat square(n, n);
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j) square(i, j) = (*D)(i, j);
        print_sample_spanning_network(out, square, haplotypes, name, w);
    }
}

}  // namespace quintle
