#include "translate/imp_exp.h"

namespace quintle {

void imp_exp::read_mega() {}
void imp_exp::write_mega() {}

}  // namespace quintle
