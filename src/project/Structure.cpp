#include "project/Structure.h"

#include "core/Errors.h"

namespace quintle {

Structure::Structure(Structure const& other) : ProfileSettings() {
    if (this != &other) *this = other;
}

void Structure::build_group_arrays() {
    int const n = NbGroups > 0 ? NbGroups : 0;
    GroupSizes = std::make_unique<int[]>(static_cast<std::size_t>(n));
    Groups = std::make_unique<PopulationGroup[]>(static_cast<std::size_t>(n));
    for (int g = 0; g < n; ++g) Groups[g].owns = false;
}

void Structure::reset() {
    // The group arrays never own their members: freeing them leaves every
    // sample alive.
    Groups.reset();
    GroupSizes.reset();
    NbSamplesInGroups = 0;
    NbGroups = 0;
}

Structure& Structure::operator=(Structure const& other) {
    if (this == &other) return *this;
    ProfileSettings::operator=(other);
    StructureName = other.StructureName;
    NbSamplesInGroups = other.NbSamplesInGroups;
    bool const otherBuilt = other.Groups && other.GroupSizes;
    bool const built = Groups && GroupSizes;
    if (NbGroups != other.NbGroups || built != otherBuilt) {
        Groups.reset();
        GroupSizes.reset();
        NbGroups = other.NbGroups;
        if (otherBuilt) build_group_arrays();
    }
    if (!otherBuilt) return *this;
    for (int g = 0; g < NbGroups; ++g) {
        GroupSizes[g] = other.GroupSizes[g];
        Groups[g].owns = false;
        Groups[g] = other.Groups[g];  // borrowing target: shares the pointers
    }
    return *this;
}

bool Structure::has_population(Population const* p) const {
    if (NbGroups < 1 || !Groups || !GroupSizes) return false;
    for (int g = 0; g < NbGroups; ++g) {
        PopulationGroup const& group = Groups[g];
        long const n = GroupSizes[g] < group.count ? GroupSizes[g] : group.count;
        for (long k = 0; k < n; ++k)
            if (group.data[k] == p) return true;
    }
    return false;
}

void Structure::print_structure(std::ostream& os) {
    os << "\n=================================================================";
    os << "\n  AMOVA ANALYSIS";
    os << "\n=================================================================\n\n";
    os << "\n---------------------------\n";
    os << "Genetic structure to test :\n";
    os << "---------------------------\n\n";
    os << "No. of Groups = " << NbGroups << "\n\n";
    os << *this;
    os << "---------------------------\n" << std::endl;
}

std::ostream& operator<<(std::ostream& os, Structure& s) {
    if (s.NbGroups == 0) return os;
    os << "\n\t[[Structure]]\n\n";
    os << "\t\tStructureName = " << '"' << s.StructureName << '"' << "\n";
    os << "\t\tNbGroups = " << s.NbGroups << "\n";
    if (!s.Groups) return os;
    for (int g = 0; g < s.NbGroups; ++g) {
        os << "\t#Group" << g + 1 << "\n";
        os << "\t\tGroup={\n\t\t";
        PopulationGroup const& group = s.Groups[g];
        for (long k = 0; k < group.count; ++k)
            if (Population const* p = group.data[k]) os << '"' << p->name << '"' << "\n\t\t";
        os << "}\n" << std::endl;
    }
    return os;
}

}  // namespace quintle
