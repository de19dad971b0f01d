// The pooled pair of the group pass: one sample per group of the project's
// structure holding the data of all the group's samples, and a flat
// structure whose single group holds these pooled samples.
//
// INTERIM: the pooling as the project run needs it; the genetic-structure
// work may replace this file.

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
    flat.Groups[0].owns = false;

    for (int g = 1; g <= n; ++g) {
        Population blank;
        blank.name = ("Group" + std::to_string(g)).c_str();
        blank.id = g - 1;
        blank.profile = static_cast<ProfileSettings const&>(source);
        blank.pooledGroupSample = true;
        std::unique_ptr<PopGenetics> sample = make_sample(ProfileSettings::DataType, blank);
        sample->pooledGroupSample = true;
        pooled.Populations.Add(sample.release());
    }

    if (structure.Groups) {
        for (int g = 0; g < n; ++g) {
            PopulationGroup const& members = structure.Groups[g];
            Population* target = pooled.Populations.data[g];
            for (long k = 0; k < members.count; ++k)
                if (Population const* member = members.data[k]) *target += *member;
        }
    }

    if (GenotypicData != 0) {
        pooled.phen_to_gam(&haplotypes, this, &options);
        phen_converted = 1;
    }

    for (int g = 0; g < n; ++g) flat.Groups[0].Add(pooled.Populations.data[g]);
    flat.NbGroups = 1;
    flat.StructureName = "Pooled flat structure";
    flat.NbSamplesInGroups = n;
    flat.GroupSizes[0] = n;
}

}  // namespace quintle
