// The allele vectors of the project's haplotype definitions.

#include "data/HaploDef.h"
#include "project/Project.h"
#include "project/Samples.h"

namespace quintle {

void Project::build_all_vectors(TAlleleDB& db) {
    // The count is taken once: building vectors never adds definitions.
    HaploDef::build_haplovects(haplotypes.haplotypes.data, haplotypes.haplotypes.count, &db,
                               samples->locusSeparator, 0, 0.1);
}

}  // namespace quintle
