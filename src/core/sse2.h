// SSE2 is the baseline of both x86 builds: the 32-bit one is compiled with -msse2 and
// SSE floating point, so both compute alike.
#pragma once

#include <emmintrin.h>

#if !defined(__SSE2__)
#error "This program is built for processors with SSE2 (-msse2 in the 32-bit build)"
#endif
