#pragma once

// The phasing sample of genotypic data (individuals and their gametes). Only
// its existence matters to the sample objects that own one; the phasing
// itself joins later.

namespace quintle {

class TGenotSample {
public:
    TGenotSample() = default;
    TGenotSample(TGenotSample const&) = delete;
    TGenotSample& operator=(TGenotSample const&) = delete;
};

}  // namespace quintle
