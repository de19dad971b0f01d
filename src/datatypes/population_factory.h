#pragma once

// Builds a sample object of the class that a data type selects: DNA gives
// PopulDNA, RFLP PopulRFLP, MICROSAT PopulMicrosat, and STANDARD, FREQUENCY
// or any other code PopulStandard. Sample builders hand the object to an
// owning sample array (release()), which deletes it through the virtual
// destructor. The sample's dataType is the one asked for; a copy keeps the
// plain sample's separator.

#include <memory>

#include "popstats/PopGenetics.h"

namespace quintle {

// An empty sample of that data type.
std::unique_ptr<PopGenetics> make_sample(int dataType);

// A sample of that data type holding a copy of the plain sample's data.
std::unique_ptr<PopGenetics> make_sample(int dataType, Population const& data);

}  // namespace quintle
