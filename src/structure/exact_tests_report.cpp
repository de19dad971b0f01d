// The report of the exact tests of differentiation: not written yet.

#include "structure/DiffInterPop.h"

namespace quintle {

void DiffInterPop::make_all_tests() {}

}  // namespace quintle
