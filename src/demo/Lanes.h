#pragma once

// Four floats at a time, written with the GCC and Clang vector extensions
// (SSE2 on x86-64, NEON on ARM, plain code elsewhere). Most of a tile's work
// is the same arithmetic on every pixel of a row or every point of a lattice;
// doing four at once is what keeps a tile within its time budget.

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Small vector functions must be inlined: a call passes its vectors through
// memory, and GCC does not always inline them in the larger loops.
#define VARROW_LANES inline __attribute__((always_inline))

namespace varrow::demo {

using F4 = float __attribute__((vector_size(16)));
using I4 = std::int32_t __attribute__((vector_size(16)));
using U4 = std::uint32_t __attribute__((vector_size(16)));

VARROW_LANES F4 Splat(float v) {
    return F4{v, v, v, v};
}

VARROW_LANES F4 Load4(const float* p) {
    F4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

VARROW_LANES void Store4(float* p, F4 v) {
    std::memcpy(p, &v, sizeof v);
}

// a where the mask lane is all ones, b where it is zero.
VARROW_LANES F4 Select(I4 mask, F4 a, F4 b) {
    return (F4)((mask & (I4)a) | (~mask & (I4)b));
}

VARROW_LANES F4 Min(F4 a, F4 b) {
#if defined(__SSE2__)
    return _mm_min_ps(a, b);
#else
    return Select(a < b, a, b);
#endif
}

VARROW_LANES F4 Max(F4 a, F4 b) {
#if defined(__SSE2__)
    return _mm_max_ps(a, b);
#else
    return Select(a > b, a, b);
#endif
}

VARROW_LANES F4 Clamp(F4 x, float lo, float hi) {
    return Min(Max(x, Splat(lo)), Splat(hi));
}

VARROW_LANES F4 Clamp01(F4 x) {
    return Clamp(x, 0.0f, 1.0f);
}

VARROW_LANES F4 Abs(F4 x) {
    return (F4)((I4)x & 0x7fffffff);
}

VARROW_LANES F4 Sqrt(F4 x) {
#if defined(__SSE2__)
    return _mm_sqrt_ps(x);
#else
    return F4{__builtin_sqrtf(x[0]), __builtin_sqrtf(x[1]), __builtin_sqrtf(x[2]),
              __builtin_sqrtf(x[3])};
#endif
}

// For |x| < 2^31.
VARROW_LANES F4 Floor(F4 x) {
    const F4 f = __builtin_convertvector(__builtin_convertvector(x, I4), F4);
    return f - (F4)((I4)(f > x) & (I4)Splat(1.0f));
}

VARROW_LANES F4 Mix(F4 a, F4 b, F4 t) {
    return a + (b - a) * t;
}

// Hermite step from a to b; inv is 1 / (b - a), which callers often have.
VARROW_LANES F4 SmoothstepInv(float a, float inv, F4 x) {
    const F4 t = Clamp01((x - a) * inv);
    return t * t * (3.0f - 2.0f * t);
}

VARROW_LANES F4 Smoothstep(float a, float b, F4 x) {
    return SmoothstepInv(a, 1.0f / (b - a), x);
}

// Smoothstep with edges that vary per lane.
VARROW_LANES F4 Smoothstep(F4 a, F4 b, F4 x) {
    const F4 t = Clamp01((x - a) / (b - a));
    return t * t * (3.0f - 2.0f * t);
}

VARROW_LANES bool AnyPositive(F4 x) {
    const I4 m = x > 0.0f;
    return (m[0] | m[1] | m[2] | m[3]) != 0;
}

} // namespace varrow::demo
