#pragma once

// The count-weighted sum of pairwise distances of a sample whose distance
// matrix is held by classes of alike rows (one class per distinct text),
// formed pair of classes by pair of classes instead of pair of entries by
// pair of entries.

#include <optional>

#include "core/RectMat.h"
#include "data/Population.h"

namespace quintle {

// Sum over the pairs of entries i > j of the list of
// count_i x count_j x d(i, j) (below the diagonal), for a matrix in class
// mode. Given only when it is exact, and so the very double that any
// entry-by-entry sum of these terms gives in any order: every class value a
// whole number and the sum of the terms' magnitudes below 2^52. Empty for a
// plain matrix, for one with fewer rows than the list, and when the sum
// would not be exact; the caller then sums entry by entry.
std::optional<double> exact_class_pair_sum(PHaploDefList const& list, RectMat const& d);

}  // namespace quintle
