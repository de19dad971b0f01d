#include "datatypes/population_factory.h"

#include "datatypes/PopulDNA.h"
#include "datatypes/PopulMicrosat.h"
#include "datatypes/PopulRFLP.h"
#include "datatypes/PopulStandard.h"
#include "run/ProfileSettings.h"

namespace quintle {

namespace {

template <class... Data>
std::unique_ptr<PopGenetics> build(int dataType, Data const&... data) {
    std::unique_ptr<PopGenetics> sample;
    switch (dataType) {
        case DNA: sample = std::make_unique<PopulDNA>(data...); break;
        case RFLP: sample = std::make_unique<PopulRFLP>(data...); break;
        case MICROSAT: sample = std::make_unique<PopulMicrosat>(data...); break;
        default: sample = std::make_unique<PopulStandard>(data...); break;  // STANDARD, FREQUENCY, any other
    }
    sample->dataType = static_cast<TDataType>(dataType);
    return sample;
}

}  // namespace

std::unique_ptr<PopGenetics> make_sample(int dataType) { return build(dataType); }

std::unique_ptr<PopGenetics> make_sample(int dataType, Population const& data) { return build(dataType, data); }

}  // namespace quintle
