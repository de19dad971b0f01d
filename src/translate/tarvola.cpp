#include "translate/imp_exp.h"

namespace quintle {

void imp_exp::read_tar_vola() {}
void imp_exp::write_tar_vola() {}

}  // namespace quintle
