#include "datatypes/allele_data.h"

#include <algorithm>
#include <cstdint>
#include <iomanip>
#include <optional>
#include <unordered_map>

#include "data/HaploDef.h"
#include "data/TAllele.h"
#include "datatypes/class_pair_sum.h"
#include "popstats/PopGenetics.h"
#include "run/settings.h"

namespace quintle {

int evaluate_allele_polymorphism(PopGenetics& p, settings const& s) {
    p.allowedMissingLevel = s.AllowedLevelOfMissingData;
    if (p.profile.GenotypicData != 0 && p.profile.GameticPhase == 0 && p.fromPhenotypes == 0)
        p.compare_phenotypes();
    else
        p.compare_haplotypes();
    return 1;
}

bool allele_is_missing(TAllele const* a, char missing) {
    return a != nullptr && a->name.length() == 1 && a->name.c_str()[0] == missing;
}

int first_entry_loci(PHaploDefList const& list) {
    if (list.count < 1 || list.data[0] == nullptr || list.data[0]->haplotype == nullptr) return 0;
    return static_cast<int>(list.data[0]->haplotype->alleles.count);
}

std::vector<int> usable_loci(std::vector<int> const& usableSite, int loci) {
    std::vector<int> out;
    out.reserve(static_cast<std::size_t>(loci > 0 ? loci : 0));
    for (int l = 0; l < loci; ++l) {
        const auto u = static_cast<std::size_t>(l);
        if (usableSite.empty() || (u < usableSite.size() && usableSite[u] != 0)) out.push_back(l);
    }
    return out;
}

TAllele const* allele_at(PHaploDef const* e, int l) {
    if (e == nullptr || e->haplotype == nullptr || l < 0 || l >= e->haplotype->alleles.count) return nullptr;
    return e->haplotype->alleles.data[l];
}

std::vector<PHaploDef const*> list_entries(PHaploDefList const& list) {
    return std::vector<PHaploDef const*>(list.data, list.data + std::max(list.count, 0L));
}

int allele_row_classes(PHaploDefList const& list, std::vector<int> const& loci, std::vector<int>& classOf) {
    // Entries by a hash of their allele pointers, compared pointer by
    // pointer with the first entry of each class of that hash: no copy of
    // the rows is kept. Only the loci where some entry differs from the
    // first one can tell entries apart, and in a long sequence they are few:
    // the hash and the comparisons read those alone.
    struct Row {
        TAllele* const* data = nullptr;
        long count = 0;
        TAllele const* at(int l) const { return l < count ? data[l] : nullptr; }
    };
    auto row_of = [](PHaploDef const* e) {
        Row r;
        if (e != nullptr && e->haplotype != nullptr) {
            r.data = e->haplotype->alleles.data;
            r.count = r.data != nullptr ? e->haplotype->alleles.count : 0;
        }
        return r;
    };
    const long n = std::max(list.count, 0L);
    std::vector<int> telling;
    {
        std::vector<unsigned char> differs(loci.size(), 0);
        Row const first = row_of(n > 0 ? list.data[0] : nullptr);
        std::unordered_map<TAllele* const*, long> read;  // rows read, with their length
        read.emplace(first.data, first.count);
        for (long i = 1; i < n; ++i) {
            Row const r = row_of(list.data[i]);
            // A row shared with an entry read before differs where that one did.
            if (auto const [it, added] = read.try_emplace(r.data, r.count); !added && it->second == r.count) continue;
            for (std::size_t k = 0; k < loci.size(); ++k) differs[k] |= r.at(loci[k]) != first.at(loci[k]) ? 1 : 0;
        }
        for (std::size_t k = 0; k < loci.size(); ++k)
            if (differs[k] != 0) telling.push_back(loci[k]);
    }
    auto hash = [&telling](Row const& r) {
        std::uint64_t h = 1469598103934665603ULL;
        for (int l : telling) {
            h ^= reinterpret_cast<std::uintptr_t>(r.at(l));
            h *= 1099511628211ULL;
        }
        return h;
    };
    auto alike = [&telling](Row const& a, Row const& b) {
        // Definitions of the same text share one row.
        if (a.data == b.data && a.count == b.count) return true;
        for (int l : telling)
            if (a.at(l) != b.at(l)) return false;
        return true;
    };
    std::unordered_map<std::uint64_t, std::vector<long>> firsts;  // hash -> first entries of its classes
    classOf.assign(static_cast<std::size_t>(n), 0);
    int classes = 0;
    for (long i = 0; i < n; ++i) {
        Row const e = row_of(list.data[i]);
        std::vector<long>& candidates = firsts[hash(e)];
        long match = -1;
        for (long f : candidates)
            if (alike(row_of(list.data[f]), e)) {
                match = f;
                break;
            }
        if (match < 0) {
            candidates.push_back(i);
            classOf[static_cast<std::size_t>(i)] = classes++;
        } else {
            classOf[static_cast<std::size_t>(i)] = classOf[static_cast<std::size_t>(match)];
        }
    }
    return classes;
}

double weighted_pair_sum(PHaploDefList const& list, RectMat const& d) {
    if (std::optional<double> const exact = exact_class_pair_sum(list, d)) return *exact;
    double S = 0.0;
    for (int i = 1; i < list.count; ++i) {
        PHaploDef const* hi = list.data[i];
        if (hi == nullptr) continue;
        for (int j = 0; j < i; ++j) {
            PHaploDef const* hj = list.data[j];
            if (hj == nullptr) continue;
            const std::int64_t pairs = static_cast<std::int64_t>(hi->count) * hj->count;
            S += static_cast<double>(pairs) * d(i, j);
        }
    }
    return S;
}

void write_inter_haplotypic_matrix(std::ostream& out, RectMat const& d, int n) {
    out << "\nInter-haplotypic distance matrix:\n\n";
    out.setf(std::ios::fixed, std::ios::floatfield);
    out.setf(std::ios::showpoint);
    out.setf(std::ios::right, std::ios::adjustfield);
    out.precision(4);
    for (int r = 0; r < n; ++r) {
        for (int c = 0; c < r; ++c) out << std::setw(8) << d(r, c);
        out << std::setw(8) << " ";
        for (int c = r + 1; c < n; ++c) out << std::setw(8) << d(r, c);
        out << "\n";
        out.flush();
    }
}

}  // namespace quintle
