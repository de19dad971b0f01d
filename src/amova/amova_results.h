#pragma once

// Stand-in for the result record of one AMOVA, holding only what the engine
// itself writes (the design type) until the full record is written.

#include <cstdint>

namespace quintle {

class amova_results {
public:
    std::int32_t locus = 0;  // 0-based locus of a locus-by-locus record
    std::int32_t type = 0;   // design type 1..9, set after the design has run
};

}  // namespace quintle
