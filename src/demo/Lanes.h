#pragma once

// Several floats at a time, written with the GCC and Clang vector extensions.
// Most of a tile's work is the same arithmetic on every pixel of a row or
// every point of a lattice; doing four or eight at once is what keeps a tile
// within its time budget.
//
// The loops are templates over the vector type: F4 (four lanes, SSE2 on
// x86-64, NEON on ARM, plain code elsewhere) and, where the processor has AVX2,
// F8 (eight lanes; see ForLanes). Both do the same arithmetic in the same
// order, without fused multiply-adds, so tiles do not depend on the machine.

#include "Noise.h"

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Small vector functions must be inlined: a call passes its vectors through
// memory. The eight-lane ones are compiled as AVX2 only where they are
// inlined into an AVX2 function, so their by-value vectors never reach a call.
#define VARROW_LANES inline __attribute__((always_inline))
#pragma GCC diagnostic ignored "-Wpsabi"

namespace varrow::demo {

using F4 = float __attribute__((vector_size(16)));
using I4 = std::int32_t __attribute__((vector_size(16)));
using U4 = std::uint32_t __attribute__((vector_size(16)));
using F8 = float __attribute__((vector_size(32)));
using I8 = std::int32_t __attribute__((vector_size(32)));
using U8 = std::uint32_t __attribute__((vector_size(32)));

// The integer vectors that go with a float vector, and the lane count.
template <class F> struct LanesOf;
template <> struct LanesOf<F4> {
    using I = I4;
    using U = U4;
    static constexpr int N = 4;
};
template <> struct LanesOf<F8> {
    using I = I8;
    using U = U8;
    static constexpr int N = 8;
};
template <class F> using IntOf = typename LanesOf<F>::I;
template <class F> using UintOf = typename LanesOf<F>::U;
template <class F> constexpr int Width = LanesOf<F>::N;

template <class F> VARROW_LANES F Splat(float v) {
    return F{} + v;
}

template <class F> VARROW_LANES F Load(const float* p) {
    F v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <class V> VARROW_LANES void Store(float* p, V v) {
    std::memcpy(p, &v, sizeof v);
}

// n values (a multiple of the lane count) set to v.
template <class F> VARROW_LANES void Fill(float* p, int n, float v) {
    for (int i = 0; i < n; i += Width<F>)
        Store(p + i, Splat<F>(v));
}

// Conversions, one overload per width: GCC takes no dependent types in
// __builtin_convertvector.
VARROW_LANES I4 ToInt(F4 x) {
    return __builtin_convertvector(x, I4);
}
VARROW_LANES I8 ToInt(F8 x) {
    return __builtin_convertvector(x, I8);
}
VARROW_LANES F4 ToFloat(I4 x) {
    return __builtin_convertvector(x, F4);
}
VARROW_LANES F8 ToFloat(I8 x) {
    return __builtin_convertvector(x, F8);
}

// a where the mask lane is all ones, b where it is zero.
template <class F, class I> VARROW_LANES F Select(I mask, F a, F b) {
    return (F)((mask & (I)a) | (~mask & (I)b));
}

// The halves of eight lanes, for what only four-lane instructions do.
VARROW_LANES F4 Low(F8 x) {
    return __builtin_shufflevector(x, x, 0, 1, 2, 3);
}
VARROW_LANES F4 High(F8 x) {
    return __builtin_shufflevector(x, x, 4, 5, 6, 7);
}
VARROW_LANES F8 Join(F4 a, F4 b) {
    return __builtin_shufflevector(a, b, 0, 1, 2, 3, 4, 5, 6, 7);
}

VARROW_LANES F4 Min(F4 a, F4 b) {
#if defined(__SSE2__)
    return _mm_min_ps(a, b);
#else
    return Select(a < b, a, b);
#endif
}
// The conditional, not Select's bit operations, is what GCC makes one
// instruction of.
VARROW_LANES F8 Min(F8 a, F8 b) {
    return a < b ? a : b;
}

VARROW_LANES F4 Max(F4 a, F4 b) {
#if defined(__SSE2__)
    return _mm_max_ps(a, b);
#else
    return Select(a > b, a, b);
#endif
}
VARROW_LANES F8 Max(F8 a, F8 b) {
    return a > b ? a : b;
}

VARROW_LANES F4 Sqrt(F4 x) {
#if defined(__SSE2__)
    return _mm_sqrt_ps(x);
#else
    return F4{__builtin_sqrtf(x[0]), __builtin_sqrtf(x[1]), __builtin_sqrtf(x[2]),
              __builtin_sqrtf(x[3])};
#endif
}
VARROW_LANES F8 Sqrt(F8 x) {
    return Join(Sqrt(Low(x)), Sqrt(High(x)));
}

VARROW_LANES bool Any(I4 mask) {
#if defined(__SSE2__)
    return _mm_movemask_ps((__m128)mask) != 0;
#else
    return (mask[0] | mask[1] | mask[2] | mask[3]) != 0;
#endif
}
VARROW_LANES bool Any(I8 mask) {
    return Any((I4)(Low((F8)mask)) | (I4)(High((F8)mask)));
}

template <class F> VARROW_LANES F Clamp(F x, float lo, float hi) {
    return Min(Max(x, Splat<F>(lo)), Splat<F>(hi));
}

template <class F> VARROW_LANES F Clamp01(F x) {
    return Clamp(x, 0.0f, 1.0f);
}

template <class F> VARROW_LANES F Abs(F x) {
    return (F)((IntOf<F>)x & 0x7fffffff);
}

// For |x| < 2^31.
template <class F> VARROW_LANES F Floor(F x) {
    const F f = ToFloat(ToInt(x));
    return f - (F)((IntOf<F>)(f > x) & (IntOf<F>)Splat<F>(1.0f));
}

template <class F> VARROW_LANES F Mix(F a, F b, F t) {
    return a + (b - a) * t;
}

// Hermite step from a to b; inv is 1 / (b - a), which callers often have.
template <class F> VARROW_LANES F SmoothstepInv(float a, float inv, F x) {
    const F t = Clamp01((x - a) * inv);
    return t * t * (3.0f - 2.0f * t);
}

template <class F> VARROW_LANES F Smoothstep(float a, float b, F x) {
    return SmoothstepInv(a, 1.0f / (b - a), x);
}

// Smoothstep with edges that vary per lane.
template <class F> VARROW_LANES F Smoothstep(F a, F b, F x) {
    const F t = Clamp01((x - a) / (b - a));
    return t * t * (3.0f - 2.0f * t);
}

template <class F> VARROW_LANES bool AnyPositive(F x) {
    return Any(x > 0.0f);
}

// 0, 1, 2, .. in the lanes.
template <class F> VARROW_LANES IntOf<F> LaneIndex() {
    IntOf<F> i{};
    for (int k = 0; k < Width<F>; ++k)
        i[k] = k;
    return i;
}

// The least and the greatest lane.
template <class F> VARROW_LANES float Least(F x) {
    float v = x[0];
    for (int k = 1; k < Width<F>; ++k)
        v = x[k] < v ? x[k] : v;
    return v;
}
template <class F> VARROW_LANES float Greatest(F x) {
    float v = x[0];
    for (int k = 1; k < Width<F>; ++k)
        v = x[k] > v ? x[k] : v;
    return v;
}

// HashLattice and UnitFromHash of Noise.h in several lanes at once. The
// top 24 bits of a hash convert as signed integers, which is one instruction
// where unsigned ones are several.
template <class F>
VARROW_LANES UintOf<F> HashLatticeLanes(IntOf<F> i, IntOf<F> j, IntOf<F> k, std::uint32_t seed) {
    using U = UintOf<F>;
    return FinaliseHash<U>((U)i * 0x8da6b343u ^ (U)j * 0xd8163841u ^ (U)k * 0xcb1ab31fu ^ seed);
}

VARROW_LANES F4 UnitFromHashLanes(U4 h) {
    return ToFloat((I4)(h >> 8)) * (1.0f / 16777216.0f);
}
VARROW_LANES F8 UnitFromHashLanes(U8 h) {
    return ToFloat((I8)(h >> 8)) * (1.0f / 16777216.0f);
}

// What ForLanes hands its work: the vector type, as an empty tag so that no
// vector is passed by value outside the AVX2 copy.
template <class F> struct LaneType { using Type = F; };

// Runs work(LaneType<F4>{}) or, where the processor has AVX2,
// work(LaneType<F8>{}) compiled for it: `work` is a generic lambda that takes
// its vector type from its argument's. Everything it calls in its own file is
// inlined into the AVX2 copy; functions of other files pick their width
// themselves.
template <class Work>
#if defined(__x86_64__) && defined(__GNUC__)
__attribute__((target("avx2"), flatten))
#endif
void WithEightLanes(Work& work) {
    work(LaneType<F8>{});
}

// Whether ForLanes uses eight lanes: the processor has AVX2 and they are not
// turned off (tests compare the two).
bool HasEightLanes();
void AllowEightLanes(bool allow);

template <class Work> void ForLanes(Work&& work) {
    if (HasEightLanes())
        WithEightLanes(work);
    else
        work(LaneType<F4>{});
}

} // namespace varrow::demo
