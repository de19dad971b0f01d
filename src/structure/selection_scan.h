#pragma once

// What the driver of the scan for loci under selection (detectSelectedLoci.cpp)
// and its null-distribution stage (selection_null.cpp) hand each other.

#include <fstream>
#include <ostream>

#include "core/MY_TArrayAsVector.h"

namespace quintle {

class Project;
class Samples;
class Structure;

// Simulated loci: FST and heterozygosity between populations, pair by pair,
// with the range of the heterozygosities.
struct NullDistribution {
    MY_TArrayAsVector<double> fst{1, 0};
    MY_TArrayAsVector<double> het{1, 0};
    double minHet = 10000.0;
    double maxHet = -10.0;
    double maxHetAbove = 0.0;  // decides whether an observed value lies above the range
    bool pValues = false;      // simulated or read: the P values and tables follow
    bool stopped = false;      // the stop flag was met
    bool refused = false;      // nothing to simulate and nothing read: the scan cannot be performed
};

// The stage's inputs. While it runs, the project's current sample set is an
// empty scratch set and its current structure a copy of `tested`.
struct NullInputs {
    double fst = 0.0;                // target mean FST
    double fct = 0.0;                // target mean FCT (two groups or more)
    Samples* observed = nullptr;     // the project's own samples: the templates
    Structure* tested = nullptr;     // the tested structure over them
    std::fstream* muted = nullptr;   // where the re-entered driver writes
    std::ostream* result = nullptr;  // the result file and the log, for refusals
    std::ostream* log = nullptr;
};

// Simulates (or reads) the null distribution, or in export mode writes the
// simulated data sets; see selection_null.cpp.
NullDistribution simulate_null_distribution(Project& project, NullInputs const& in);

}  // namespace quintle
