// Between-sample analyses of one pass: AMOVA, pairwise distances, exact
// tests of differentiation and Mantel tests.
//
// INTERIM STAND-IN: runs none of them yet; the genetic-structure work
// replaces this file with the driver itself.

#include "project/Project.h"

namespace quintle {

void Project::GenStructCalculations(std::fstream* /*result*/) {}

}  // namespace quintle
