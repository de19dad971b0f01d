#include "core/cpu_features.h"

// g++ only: the header uses C's _Bool, which clang's C++ does not know; clang
// builds (the fuzzers) ask the processor themselves, below.
#if defined(__x86_64__) && defined(__has_include) && !defined(__clang__)
#if __has_include(<sys/platform/x86.h>)
// The C library has identified the processor when the program started, and
// tells what it found without asking the processor again.
#include <sys/platform/x86.h>
#define QUINTLE_X86_LIBC_FEATURES 1
#endif
#endif
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__)) && !defined(QUINTLE_X86_LIBC_FEATURES)
#include <cpuid.h>
#define QUINTLE_X86_CPUID 1
#endif

namespace quintle::cpu {

namespace {

struct Features {
    bool popcnt = false;
    bool avx2 = false;
    bool avx512_popcount = false;
};

#ifdef QUINTLE_X86_CPUID
// The register states the system saves on a task switch (XCR0).
unsigned long long saved_states() {
    unsigned lo = 0;
    unsigned hi = 0;
    __asm__("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
    return (static_cast<unsigned long long>(hi) << 32) | lo;
}
#endif

Features detect() {
    Features f;
#if defined(QUINTLE_X86_LIBC_FEATURES)
    // Active: present, and its registers saved by the system.
    f.popcnt = CPU_FEATURE_ACTIVE(POPCNT);
    f.avx2 = CPU_FEATURE_ACTIVE(AVX2);
    f.avx512_popcount = f.avx2 && CPU_FEATURE_ACTIVE(AVX512F) && CPU_FEATURE_ACTIVE(AVX512VL) &&
                        CPU_FEATURE_ACTIVE(AVX512DQ) && CPU_FEATURE_ACTIVE(AVX512_VPOPCNTDQ);
#elif defined(QUINTLE_X86_CPUID)
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (__get_cpuid(1, &a, &b, &c, &d) == 0) return f;
    f.popcnt = (c & bit_POPCNT) != 0;
    bool const osxsave = (c & bit_OSXSAVE) != 0;
    bool const avx = (c & bit_AVX) != 0;
    if (!osxsave || !avx) return f;
    unsigned long long const states = saved_states();
    bool const ymm_saved = (states & 0x6) == 0x6;                 // SSE and AVX state
    bool const zmm_saved = ymm_saved && (states & 0xE0) == 0xE0;  // opmask, upper ZMM, high ZMM
    if (!ymm_saved) return f;
    if (__get_cpuid_count(7, 0, &a, &b, &c, &d) == 0) return f;
    f.avx2 = (b & bit_AVX2) != 0;
    f.avx512_popcount = f.avx2 && zmm_saved && (b & bit_AVX512F) != 0 && (b & bit_AVX512VL) != 0 &&
                        (b & bit_AVX512DQ) != 0 && (c & bit_AVX512VPOPCNTDQ) != 0;
#endif
    return f;
}

Features const& features() {
    static Features const f = detect();
    return f;
}

}  // namespace

bool has_popcnt() { return features().popcnt; }
bool has_avx2() { return features().avx2; }
bool has_avx512_popcount() { return features().avx512_popcount; }

}  // namespace quintle::cpu
