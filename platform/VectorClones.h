#pragma once
// HVK32_VECTOR_CLONES before a function builds it twice where the processor allows it, for
// AVX2 and for the baseline, and picks one when the program starts. The clones compute alike
// (AVX2 brings no fused multiply-add), so results do not depend on the machine. Loops meant
// for it keep their arrays apart with __restrict, so the compiler may use gathers.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__linux__)
#define HVK32_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define HVK32_VECTOR_CLONES
#endif
