// Classes of identical haplotypes: definitions at distance exactly 0 in the
// haplotype distance matrix. The frequency of every class in every sample
// (the section "Haplotype frequency distribution among the samples"), and
// the merging of a sample's entries that belong to one class. The matrix is
// always read at the definitions' distance-matrix indexes, so that a given
// matrix bound by label, in any row order, gives the classes of its rows.

#include <algorithm>
#include <cstdio>
#include <iomanip>
#include <ostream>
#include <string>
#include <vector>

#include "core/Errors.h"
#include "core/xml.h"
#include "data/HaploDef.h"
#include "data/Haplo_DB.h"
#include "data/Population.h"
#include "project/DistMat.h"
#include "project/Samples.h"

namespace quintle {

namespace {

// The row of a definition in the matrix, or -1 when it has none there.
int row_of(HaploDef const* h, DistMat const& d) {
    if (h == nullptr) return -1;
    int const idx = h->matrixIndex;
    if (idx < 0 || (d.constantMode == 0 && idx >= d.dim)) return -1;
    return idx;
}

bool identical(DistMat const& d, int a, int b) { return a >= 0 && b >= 0 && d(a, b) == 0.0; }

// One frequency table (absolute or relative): head, then one block per
// class, the class's members one a line and its frequencies on the last.
struct ClassTable {
    std::vector<std::vector<long>> const& classes;  // list positions of the members, class by class
    std::vector<double> const& freq;                // class c, sample s at c * S + s
    Haplo_DB const& list;
    Samples const& set;
    int idWidth;
    int nameWidth;
};

void write_table(std::ostream& out, ClassTable const& t, char const* tagName, bool dashesFirst, bool relative,
                 int* classCounter) {
    long const S = t.set.Populations.count;
    long const total = (t.nameWidth + 5) * S + (t.idWidth + 10);
    std::string const dashes(static_cast<std::size_t>(std::max(0L, total)), '-');
    std::string const blanks(static_cast<std::size_t>(std::max(0L, total)), ' ');
    TXmlTag tag(tagName);
    tag.attributeName = "samp";
    tag.attributeValue = "whatever";
    if (xmlOutput) out << tag.open() << "\n";
    if (dashesFirst) out << dashes << "\n";
    out << std::setw(t.idWidth + 10) << "Haplotype:";
    for (long s = 0; s < S; ++s) out << std::setw(t.nameWidth + 5) << t.set.Populations.data[s]->name;
    out << "\n";
    out << std::setw(t.idWidth + 10) << "          ";
    for (long s = 0; s < S; ++s) {
        char size[32];
        std::snprintf(size, sizeof size, "(%d)", static_cast<int>(t.set.Populations.data[s]->SampleSize));
        out << std::setw(t.nameWidth + 5) << size;
    }
    out << "\n" << dashes << "\n";
    if (classCounter != nullptr) *classCounter = 0;
    for (std::size_t c = 0; c < t.classes.size(); ++c) {
        std::vector<long> const& members = t.classes[c];
        for (std::size_t m = 0; m < members.size(); ++m) {
            out << std::setw(t.idWidth) << t.list.haplotypes.data[members[m]]->id << "          ";
            if (m + 1 < members.size()) {
                out << "\n";
                continue;
            }
            for (long s = 0; s < S; ++s) {
                if (relative) out << std::setprecision(3);
                out << std::setw(t.nameWidth + 2) << t.freq[c * static_cast<std::size_t>(S) + static_cast<std::size_t>(s)]
                    << "   ";
            }
            out << "\n" << blanks << "\n";
        }
        if (classCounter != nullptr) ++*classCounter;
    }
    if (xmlOutput) out << tag.close() << "\n";
}

}  // namespace

void Samples::print_out_haplo_cl(std::fstream* out, DistMat const& d, Haplo_DB* list) {
    if (out == nullptr || list == nullptr) return;
    long const n = list->haplotypes.count;
    if (d.constantMode == 0 && d.dim != n) {
        E.error(ERROR, " Samples::print_out_haplo_cl()", Msg::m135_hapl_list_dist_mat_mismatch);
        return;
    }
    HaploDef* const* defs = list->haplotypes.data;

    // Classes: each opened by the first definition not yet placed, joined by
    // the later-unplaced definitions at distance 0 from that first member.
    std::vector<std::vector<long>> classes;
    std::vector<char> used(static_cast<std::size_t>(n), 0);
    for (long i = 0; i < n; ++i) {
        if (used[static_cast<std::size_t>(i)] || defs[i] == nullptr) continue;
        used[static_cast<std::size_t>(i)] = 1;
        classes.push_back({i});
        int const ri = row_of(defs[i], d);
        for (long j = 0; j < n; ++j) {
            if (used[static_cast<std::size_t>(j)] || defs[j] == nullptr || !identical(d, ri, row_of(defs[j], d)))
                continue;
            used[static_cast<std::size_t>(j)] = 1;
            classes.back().push_back(j);
        }
    }

    long const S = Populations.count;
    std::vector<double> freq(classes.size() * static_cast<std::size_t>(S), 0.0);
    for (std::size_t c = 0; c < classes.size(); ++c) {
        int const first = row_of(defs[classes[c].front()], d);
        for (long s = 0; s < S; ++s) {
            PHaploDefList const& entries = Populations.data[s]->haplotypes;
            double sum = 0.0;
            for (long e = 0; e < entries.count; ++e) {
                PHaploDef const* entry = entries.data[e];
                if (entry != nullptr && identical(d, row_of(entry->haplotype, d), first)) sum += entry->count;
            }
            freq[c * static_cast<std::size_t>(S) + static_cast<std::size_t>(s)] = sum;
        }
    }

    int idWidth = 0;
    for (long i = 0; i < n; ++i)
        if (defs[i] != nullptr) idWidth = std::max(idWidth, defs[i]->id.length());
    int nameWidth = 0;
    for (long s = 0; s < S; ++s) nameWidth = std::max(nameWidth, Populations.data[s]->name.length());

    std::ostream& os = *out;
    os << "\n\nHaplotype frequency distribution among the samples:\n"
       << "===================================================\n\n"
       << "\nHaplotype list" << "\n==============\n";
    os << std::right;
    os << "Haplotype id" << std::setw(7) << " " << std::setw(11) << " " << "Haplotype definition\n";
    os << "------------" << std::setw(7) << " " << std::setw(11) << " " << "--------------------\n";
    for (std::vector<long> const& members : classes) {
        for (std::size_t m = 0; m < members.size(); ++m) {
            HaploDef const* h = defs[members[m]];
            os << "   " << h->id;
            if (m + 1 == members.size()) os << std::setw(27 - h->id.length()) << " " << h->data;
            os << "\n";
        }
    }
    os << "\n\n" << "\nHaplotype frequencies in populations" << "\n====================================\n\n";

    ClassTable const table{classes, freq, *list, *this, idWidth, nameWidth};
    write_table(os, table, "absHapFreq", true, false, &NbHaplotypes);

    for (long s = 0; s < S; ++s) {
        double sum = 0.0;
        for (std::size_t c = 0; c < classes.size(); ++c) sum += freq[c * static_cast<std::size_t>(S) + static_cast<std::size_t>(s)];
        if (sum > 0.0)
            for (std::size_t c = 0; c < classes.size(); ++c) freq[c * static_cast<std::size_t>(S) + static_cast<std::size_t>(s)] /= sum;
    }
    os << "\n\nRelative frequencies:\n\n";
    write_table(os, table, "relHapFreq", false, true, nullptr);
}

int Samples::IdentifyIdenticalHaplotypes(std::fstream* /*out*/, DistMat const& d, Haplo_DB* /*list*/, int* classes) {
    long const S = Populations.count;
    if (classes == nullptr) return static_cast<int>(S);
    for (long s = 0; s < S; ++s) {
        Population* pop = Populations.data[s];
        if (pop == nullptr) continue;
        PHaploDefList& entries = pop->haplotypes;
        for (long a = 0; a < entries.count; ++a) {
            PHaploDef* ea = entries.data[a];
            int const ra = ea != nullptr ? row_of(ea->haplotype, d) : -1;
            if (ra < 0) continue;
            for (long b = a + 1; b < entries.count; ++b) {
                PHaploDef* eb = entries.data[b];
                int const rb = eb != nullptr ? row_of(eb->haplotype, d) : -1;
                if (rb < 0 || classes[ra] != classes[rb] || d(ra, rb) != 0.0) continue;
                ea->count += eb->count;
                eb->count = 0;
                // Two entries of one definition: its count already holds both.
                if (ea->haplotype != eb->haplotype) {
                    ea->haplotype->count += eb->haplotype->count;
                    eb->haplotype->count = 0;
                }
            }
        }
        pop->NbHaplotypeEntriesRead = static_cast<int>(entries.count);
        for (long e = 0; e < entries.count;) {
            if (entries.data[e] != nullptr && entries.data[e]->count == 0)
                entries.Detach(static_cast<int>(e));
            else
                ++e;
        }
        pop->NbHaplotypeEntries = static_cast<int>(entries.count);
    }
    return static_cast<int>(S);
}

}  // namespace quintle
