// Scan for loci under selection from the joint distribution of FST and
// heterozygosity.
//
// INTERIM STAND-IN: runs no scan yet; the genetic-structure work replaces
// this file with the scan itself.

#include "project/Project.h"

namespace quintle {

void Project::detectSelectedLociFromFSTHetComparison(bool /*hierarchical*/) {}

}  // namespace quintle
