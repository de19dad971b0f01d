#pragma once
// The bits of settings::TaskNumber: one per analysis a run may perform.
// Settings files store the sum of the bits, so the values are fixed.

#include <cstdint>

namespace quintle {

inline constexpr std::int64_t task_standard_diversity = 0x1;
inline constexpr std::int64_t task_molecular_diversity = 0x2;
inline constexpr std::int64_t task_mismatch = 0x4;
inline constexpr std::int64_t task_haplotype_frequencies = 0x8;
inline constexpr std::int64_t task_linkage = 0x10;
inline constexpr std::int64_t task_hardy_weinberg = 0x20;
inline constexpr std::int64_t task_tajima = 0x40;
inline constexpr std::int64_t task_ewens_watterson = 0x80;
inline constexpr std::int64_t task_chakraborty = 0x100;
inline constexpr std::int64_t task_amova = 0x200;
inline constexpr std::int64_t task_pairwise_fst = 0x400;
inline constexpr std::int64_t task_pairwise_distances = 0x800;
inline constexpr std::int64_t task_amova_permutations = 0x1000;
inline constexpr std::int64_t task_exact_differentiation = 0x2000;
inline constexpr std::int64_t task_fu_fs = 0x4000;
inline constexpr std::int64_t task_assignment = 0x8000;
inline constexpr std::int64_t task_mantel = 0x10000;

// The analyses run on each sample on its own (the first nine bits and Fu's
// Fs); any of them opens the sample's header and the summary tables.
inline constexpr std::int64_t tasks_within_samples = 0x41FF;
// The analyses that compare samples: AMOVA, pairwise FST, exact test of
// differentiation and Mantel test.
inline constexpr std::int64_t tasks_between_samples = 0x12600;

}  // namespace quintle
