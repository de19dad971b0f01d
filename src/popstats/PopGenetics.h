#pragma once

// Within-population statistics. For now only the project-wide allele database
// lives here; the statistics themselves join later.

#include "data/TAlleleDB.h"

namespace quintle {

class PopGenetics {
public:
    // The allele database shared by every sample of the project being run.
    static inline TAlleleDB globalAllelicDB;
};

}  // namespace quintle
