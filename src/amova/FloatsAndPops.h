#pragma once

// The record of one permutation of samples among groups: the statistic it
// gave and the ids of the samples in the order the permutation left them.
// The group of each id is implicit: the first members-of-group-0 ids belong
// to group 0, the next run to group 1, and so on.

#include <vector>

#include "core/MY_TIArrayAsVector.h"

namespace quintle {

class Population;

class FloatsAndPops {
public:
    double value = 0.0;
    std::vector<int> pops;  // sample ids, owned
    int count = 0;          // number of ids

    // Copies the ids of the first `count` samples of `samples`, then value.
    FloatsAndPops(double const& value, int count, Population** samples);
    FloatsAndPops(FloatsAndPops const& other) = default;
    FloatsAndPops& operator=(FloatsAndPops const& other);
};

template <>
struct ArrayOrder<FloatsAndPops> {
    static bool before(FloatsAndPops const& a, FloatsAndPops const& b) { return a.value < b.value; }
};

// Ascending by value: the smallest record goes to slot 0, the others are
// heap-sorted behind it (records of equal value in no defined order).
void sort_by_value(MY_TIArrayAsVector<FloatsAndPops>& records);

}  // namespace quintle
