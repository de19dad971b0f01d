// Search for identical haplotype definitions (distance exactly 0), their
// report and, when asked, their merging within the samples.
//
// INTERIM STAND-IN: finds nothing and changes nothing; the genetic-structure
// work replaces this file with the search itself.

#include "project/Project.h"

namespace quintle {

int Project::eliminate_redond_haplodef() { return 1; }

}  // namespace quintle
