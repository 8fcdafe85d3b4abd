// The loops that carry a time step are compiled twice, for baseline x86-64
// and for AVX2, and the program takes the AVX2 copy when the processor has
// it (chosen once when the program is loaded). AVX2 alone brings no fused
// multiply-add, so the two copies perform the same roundings and give the
// same results bit for bit; the build stays portable. Elsewhere (other
// processors, other compilers) the functions are compiled once as usual.
#pragma once

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define FIAMMA_WIDE __attribute__((target_clones("avx2", "default")))
#else
#define FIAMMA_WIDE
#endif
