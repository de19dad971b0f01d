// The pooled pair of the group pass: one sample per group of the project's
// structure holding the data of all the group's samples, and a flat
// structure whose single group holds these pooled samples, so that every
// analysis of the pass treats the groups as populations.

#include <memory>
#include <string>

#include "datatypes/population_factory.h"
#include "project/Project.h"
#include "project/Samples.h"
#include "project/Structure.h"

namespace quintle {

void Project::poolSamplesInGroups(Samples const& source, Structure const& structure, Samples& pooled,
                                  Structure& flat) {
    int const n = structure.NbGroups > 0 ? structure.NbGroups : 0;
    flat.GroupSizes = std::make_unique<int[]>(1);
    flat.Groups = std::make_unique<PopulationGroup[]>(1);
    // The flat group borrows the pooled samples: `pooled` owns them.
    flat.Groups[0].owns = false;

    long const first = pooled.Populations.count;
    for (int g = 1; g <= n; ++g) {
        Population blank;
        blank.name = ("Group" + std::to_string(g)).c_str();
        blank.id = g - 1;
        blank.profile = static_cast<ProfileSettings const&>(source);
        blank.pooledGroupSample = true;
        pooled.Populations.Add(make_sample(source.dataType, blank).release());
    }
    pooled.set_data_context(source.dataType, source.locusSeparator);

    if (structure.Groups) {
        for (int g = 0; g < n; ++g) {
            PopulationGroup const& members = structure.Groups[g];
            Population* target = pooled.Populations.data[first + g];
            for (long k = 0; k < members.count; ++k)
                if (Population const* member = members.data[k]) *target += *member;
        }
    }

    // The pooled phenotypes become pseudo-haplotypes now: the driver of the
    // pass must not convert them again.
    if (GenotypicData != 0) {
        pooled.phen_to_gam(&haplotypes, this, &options);
        phen_converted = 1;
    }

    for (int g = 0; g < n; ++g) flat.Groups[0].Add(pooled.Populations.data[first + g]);
    flat.NbGroups = 1;
    flat.StructureName = "Pooled flat structure";
    flat.NbSamplesInGroups = n;
    flat.GroupSizes[0] = n;
}

}  // namespace quintle
