#include "structure/html_output.h"

namespace quintle {

bool htmlOutput = true;

}  // namespace quintle
