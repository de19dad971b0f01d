#pragma once

// The text of a haplotype-list entry, empty for an entry without a
// definition: what the sequence and RFLP comparisons read.

#include "data/HaploDef.h"
#include "data/Population.h"

namespace quintle {

inline char const* text_of(PHaploDef const* entry) {
    if (entry == nullptr || entry->haplotype == nullptr) return "";
    return entry->haplotype->data.c_str();
}

inline int length_of(PHaploDef const* entry) {
    if (entry == nullptr || entry->haplotype == nullptr) return 0;
    return entry->haplotype->data.length();
}

}  // namespace quintle
