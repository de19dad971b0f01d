#pragma once
// Hand-built projects shared by the structure tests: haplotype definitions,
// diploid samples of unconverted individuals and groups of samples.

#include <memory>
#include <vector>

#include "data/HaploDef.h"
#include "data/Population.h"
#include "data/TPhenotype.h"
#include "project/Project.h"
#include "project/Samples.h"
#include "project/Structure.h"

namespace quintle::testing_support {

inline HaploDef* define(Project& p, char const* id, char const* data) {
    auto* h = new HaploDef(my_string(id));
    h->data = data;
    p.haplotypes.haplotypes.Add(h);
    return h;
}

struct Individual {
    double count;
    char const* first;
    char const* second;
};

// A sample of individuals, each of `count` copies of its two gametes; the
// caller adds it to a sample set.
inline Population* diploid_sample(char const* name, std::vector<Individual> const& individuals) {
    auto* s = new Population(my_string(name));
    for (Individual const& i : individuals) {
        auto* ph = new TPhenotype(my_string("ind"), i.count);
        ph->alleleString1 = i.first;
        ph->alleleString2 = i.second;
        s->phenotypes.add(ph);
        s->SampleSize += 2 * i.count;
    }
    return s;
}

// Groups of the project's samples given by their positions in its set.
inline void set_groups(Project& p, std::vector<std::vector<int>> const& members) {
    Structure& st = *p.structure;
    st.NbGroups = static_cast<int>(members.size());
    st.GroupSizes = std::make_unique<int[]>(members.size());
    st.Groups = std::make_unique<PopulationGroup[]>(members.size());
    st.NbSamplesInGroups = 0;
    for (std::size_t g = 0; g < members.size(); ++g) {
        st.Groups[g].owns = false;
        for (int i : members[g]) st.Groups[g].Add(p.samples->Populations.data[i]);
        st.GroupSizes[g] = static_cast<int>(members[g].size());
        st.NbSamplesInGroups += st.GroupSizes[g];
    }
}

}  // namespace quintle::testing_support
