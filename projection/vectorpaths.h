// The vector instructions of the remap's passes: SSE2 wherever the target has
// it, and the AVX2 and AVX-512 paths built for every x86 target and chosen at
// run time (PLANO_WIDE_VECTORS).
#pragma once

#ifdef __SSE2__
#include <emmintrin.h>
#endif
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
// GCC 12 takes the AVX-512 intrinsics' undefined pass-through operands for
// uninitialised variables.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop
#define PLANO_WIDE_VECTORS 1
#endif
