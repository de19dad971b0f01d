#include "translate/imp_exp.h"

#include "translate/text_lines.h"

namespace quintle {

void imp_exp::read_biosys() {}
void imp_exp::write_biosys() {}
bool imp_exp::read_format1(std::string const&, BiosysLayout&) { return false; }
bool imp_exp::read_format2(std::string const&, BiosysLayout&) { return false; }
bool imp_exp::read_format3(std::string const&, BiosysLayout&) { return false; }
bool imp_exp::read_format(std::string const&, int, BiosysLayout&) { return false; }
void imp_exp::read_biosys_records(TextLines&, int, BiosysLayout const&) {}
void imp_exp::read_biosys_counts(TextLines&, int, int, int, BiosysLayout const&) {}

}  // namespace quintle
