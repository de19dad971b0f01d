#pragma once

// Citations of the published methods, written into the result file below an
// analysis's results. Constructing a References object writes one citation
// in the form chosen by xmlOutput; the object itself holds nothing.

#include <ostream>

#include "core/my_string.h"

namespace quintle {

class References {
public:
    // One item of a list of citations: part 0 the first, 1 a middle one, 2
    // the last. In XML the "data" element is closed before the first item
    // and reopened after the last; any other part writes nothing in XML.
    References(std::ostream& out, my_string const& key, int part);
    // A single citation preceded by "Reference: ".
    References(std::ostream& out, my_string const& key);

    // Text stored under `key` (exact, case-sensitive match); empty when the
    // table holds no such key.
    static my_string get_reference(my_string key);
};

}  // namespace quintle
