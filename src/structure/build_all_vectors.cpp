// The allele vectors of the project's haplotype definitions.

#include "data/HaploDef.h"
#include "project/Project.h"

namespace quintle {

void Project::build_all_vectors(TAlleleDB& db) {
    // The count is taken once: building vectors never adds definitions.
    long const n = haplotypes.haplotypes.count;
    for (long i = 0; i < n; ++i)
        if (HaploDef* h = haplotypes.haplotypes.data[i]) h->build_haplovect(&db, ProfileSettings::LocusSeparator, 0, 0.1);
}

}  // namespace quintle
