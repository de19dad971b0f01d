// Private substitution sites: the sites at which exactly one DNA sample of the
// set shows a transition or a transversion.

#include <cstddef>
#include <vector>

#include "datatypes/PopulDNA.h"
#include "popstats/PopGenetics.h"
#include "project/Samples.h"

namespace quintle {
namespace {

bool nonzero_at(std::vector<int> const& v, long i) {
    return i < static_cast<long>(v.size()) && v[static_cast<std::size_t>(i)] != 0;
}

}  // namespace

void Samples::computeNumPrivateSubstSitesPerPop(settings&) {
    if (dataType != DNA || Populations.count < 1) return;
    auto const* first = dynamic_cast<PopulDNA const*>(Populations[0]);
    if (first == nullptr || first->transitionWeight == 0.0) return;

    long const n = Populations.count;
    std::vector<PopulDNA*> dna(static_cast<std::size_t>(n), nullptr);
    for (long i = 0; i < n; ++i) {
        dna[static_cast<std::size_t>(i)] = dynamic_cast<PopulDNA*>(Populations[i]);
        if (auto* p = dynamic_cast<PopGenetics*>(Populations[i])) p->numPrivateSubstSites = 0;
    }

    auto const& sites = PopGenetics::globalSubstPolymSites;
    for (long site = 0; site < sites.count; ++site) {
        if (!sites[site]) continue;
        PopulDNA* only = nullptr;
        int varying = 0;
        for (PopulDNA* p : dna) {
            if (p == nullptr) continue;
            if (nonzero_at(p->transitionAtSite, site) || nonzero_at(p->transversionAtSite, site)) {
                ++varying;
                only = p;
                if (varying > 1) break;
            }
        }
        if (varying == 1) ++only->numPrivateSubstSites;
    }
}

}  // namespace quintle
