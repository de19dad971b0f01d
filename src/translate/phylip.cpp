#include "translate/imp_exp.h"

namespace quintle {

void imp_exp::read_phylip() {}
void imp_exp::write_phylip() {}

}  // namespace quintle
