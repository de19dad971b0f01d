// AMOVA of each polymorphic locus on its own.
//
// INTERIM STAND-IN: no per-locus analysis is run yet and nothing is written;
// the project's settings and data are left as they are.

#include "project/Project.h"

namespace quintle {

void Project::LocusByLocusAMOVA(std::fstream* /*out*/) {}

}  // namespace quintle
