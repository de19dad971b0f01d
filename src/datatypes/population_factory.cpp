#include "datatypes/population_factory.h"

#include "datatypes/PopulDNA.h"
#include "datatypes/PopulMicrosat.h"
#include "datatypes/PopulRFLP.h"
#include "datatypes/PopulStandard.h"
#include "run/ProfileSettings.h"

namespace quintle {

std::unique_ptr<PopGenetics> make_sample(int dataType) {
    switch (dataType) {
        case DNA: return std::make_unique<PopulDNA>();
        case RFLP: return std::make_unique<PopulRFLP>();
        case MICROSAT: return std::make_unique<PopulMicrosat>();
        default: return std::make_unique<PopulStandard>();  // STANDARD, FREQUENCY and any other code
    }
}

std::unique_ptr<PopGenetics> make_sample(int dataType, Population const& data) {
    switch (dataType) {
        case DNA: return std::make_unique<PopulDNA>(data);
        case RFLP: return std::make_unique<PopulRFLP>(data);
        case MICROSAT: return std::make_unique<PopulMicrosat>(data);
        default: return std::make_unique<PopulStandard>(data);
    }
}

}  // namespace quintle
