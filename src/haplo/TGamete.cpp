#include "haplo/TGamete.h"

#include <climits>

namespace quintle {

int allele_size(char const* name) {
    if (name == nullptr) return 0;
    long long v = 0;
    for (char const* c = name; *c >= '0' && *c <= '9'; ++c) {
        v = v * 10 + (*c - '0');
        if (v > INT_MAX) return INT_MAX;
    }
    return static_cast<int>(v);
}

}  // namespace quintle
