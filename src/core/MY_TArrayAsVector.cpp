#include "core/MY_TArrayAsVector.h"

#include "core/Errors.h"

namespace quintle {

void arrayMemoryFailure(char const* function) {
    E.error(MEMORY, my_string(function), Msg::m0_not_enough_memory);
    // Without an open log the report returns quietly; the run ends all the
    // same rather than going on with an array that lacks its slots.
    throw static_cast<ExceptionType>(0);
}

}  // namespace quintle
