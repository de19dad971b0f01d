#pragma once

// What the processor offers beyond the baseline the program is built for,
// found the first time a kernel needs to know and kept for the run: from
// the C library's record of the processor where it keeps one, otherwise
// from the identification instructions. The compiler's own detection
// (`__builtin_cpu_supports`, `target_clones`) runs at every start of the
// program whether or not a kernel is ever used, and each of its many
// identification instructions costs a trip to the hypervisor on a virtual
// machine.

namespace quintle::cpu {

// The population count instruction.
bool has_popcnt();
// 256-bit integer vectors (AVX2), with the system saving their registers.
bool has_avx2();
// AVX2 with the 512-bit foundation, VL and DQ subsets and the vector
// population count (AVX-512 VPOPCNTDQ), with the system saving their registers.
bool has_avx512_popcount();

}  // namespace quintle::cpu
