// SSE2 code in both x86 builds: the baseline of x86_64; on i686 (whose baseline is
// scalar) functions marked KORVANE_SSE2 are compiled for SSE2 one at a time and
// called only where the processor has it, so the rest of the build stays i686.
#pragma once

#if defined(__x86_64__) || defined(__i386__)
#include <emmintrin.h>
#define KORVANE_SSE2_CONVERTERS 1
#if defined(__SSE2__)
#define KORVANE_SSE2
#else
#define KORVANE_SSE2 __attribute__((target("sse2")))
#endif
#endif
