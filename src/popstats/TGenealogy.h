#pragma once

// A tree with a building routine of its own that grows a standard
// coalescent and applies a bottleneck. The simulations use TTree directly;
// this routine is kept for its interface and stops at its end.

#include <ostream>

#include "popstats/TTree.h"

namespace quintle {

class TGenealogy : public TTree {
public:
    // Builds a coalescent of n genes and stretches it older than `time` by
    // `factor`, reporting on the log stream; then waits for one character of
    // standard input and returns 0. The stream and the first double are not
    // used.
    int build_genealogy(std::ostream& os, int n, double unused, double time, double factor);
};

}  // namespace quintle
