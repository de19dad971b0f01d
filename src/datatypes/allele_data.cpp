#include "datatypes/allele_data.h"

#include <algorithm>
#include <cstring>
#include <iomanip>
#include <optional>
#include <string>
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
    const std::size_t width = loci.size() * sizeof(TAllele const*);
    std::string key(width, '\0');
    std::unordered_map<std::string, int> first;
    classOf.assign(static_cast<std::size_t>(std::max(list.count, 0L)), 0);
    for (long i = 0; i < list.count; ++i) {
        for (std::size_t k = 0; k < loci.size(); ++k) {
            TAllele const* a = allele_at(list.data[i], loci[k]);
            std::memcpy(key.data() + k * sizeof a, &a, sizeof a);
        }
        auto const [it, added] = first.try_emplace(key, static_cast<int>(first.size()));
        classOf[static_cast<std::size_t>(i)] = it->second;
    }
    return static_cast<int>(first.size());
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
