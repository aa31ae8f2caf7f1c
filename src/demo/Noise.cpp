#include "Noise.h"

#include "Lanes.h"

namespace varrow::demo {

namespace {

constexpr std::uint32_t HashI = 0x8da6b343u, HashJ = 0xd8163841u, HashK = 0xcb1ab31fu;

// HashLattice's finaliser.
VARROW_LANES U4 Finalise(U4 h) {
    h ^= h >> 16;
    h *= 0x7feb352du;
    h ^= h >> 15;
    h *= 0x846ca68bu;
    h ^= h >> 16;
    return h;
}

// A corner's gradient vector comes from the hash bits, since a table cannot
// be indexed four ways at once: detail::Grad's entries 0-7 and 12-13 pair x
// with y or z, 8-11 pair y with z, and 14-15 are -y with +z or -z.
struct HashBits {
    I4 UIsX, VIsY; // the gradient pairs x or y (u) with y or z (v)
    U4 SignU, SignV;
};

VARROW_LANES HashBits BitsOf(U4 h) {
    const U4 g = h & 15u;
    const I4 twelve = (I4)((g & 14u) == 12u);
    const U4 high = (U4)(g >= 14u);
    const U4 bit0 = (g & 1u) << 31, bit1 = (g & 2u) << 30;
    return {(I4)(g < 8u) | twelve, (I4)(g < 4u) | twelve, (high & 0x80000000u) | (~high & bit0),
            (high & bit0) | (~high & bit1)};
}

// detail::Corner, adding the corner's part of the gradient when asked.
template <bool WithGradient>
VARROW_LANES F4 Corner(F4 x, F4 y, F4 z, U4 h, F4* grad) {
    const HashBits b = BitsOf(h);
    const F4 t = Max(0.5f - x * x - y * y - z * z, Splat(0.0f));
    const F4 t2 = t * t;
    if constexpr (WithGradient) {
        const F4 zero = Splat(0.0f);
        const F4 u = (F4)((U4)Splat(1.0f) ^ b.SignU), v = (F4)((U4)Splat(1.0f) ^ b.SignV);
        const F4 gx = Select(b.UIsX, u, zero);
        const F4 gy = Select(b.UIsX, zero, u) + Select(b.VIsY, v, zero);
        const F4 gz = Select(b.VIsY, zero, v);
        const F4 dot = gx * x + gy * y + gz * z;
        // d/dr of t^4 (g . r) with t = 0.5 - r . r.
        const F4 k = -8.0f * t2 * t * dot;
        grad[0] += t2 * t2 * gx + k * x;
        grad[1] += t2 * t2 * gy + k * y;
        grad[2] += t2 * t2 * gz + k * z;
        return t2 * t2 * dot;
    } else {
        const F4 u = Select(b.UIsX, x, y), v = Select(b.VIsY, y, z);
        return t2 * t2 * ((F4)((U4)u ^ b.SignU) + (F4)((U4)v ^ b.SignV));
    }
}

VARROW_LANES F4 Bits(I4 mask, float v) {
    return (F4)(mask & (I4)Splat(v));
}

} // namespace

NoiseFrame MakeNoiseFrame(const double matrix[3][3], const double offset[3],
                          const double centre[3], std::uint32_t seed) {
    NoiseFrame f;
    f.Seed = seed;
    double x[3];
    for (int r = 0; r < 3; ++r) {
        x[r] = offset[r];
        for (int c = 0; c < 3; ++c) {
            x[r] += matrix[r][c] * centre[c];
            f.M[r][c] = static_cast<float>(matrix[r][c]);
        }
    }
    // The lattice point is taken in skewed space and unskewed, so that the
    // simplex cells seen from it are those of the whole lattice.
    const double s = (x[0] + x[1] + x[2]) / 3.0;
    double cell[3];
    for (int a = 0; a < 3; ++a)
        cell[a] = FastFloor(x[a] + s);
    const double t = (cell[0] + cell[1] + cell[2]) / 6.0;
    for (int a = 0; a < 3; ++a) {
        f.Cell[a] = static_cast<std::int32_t>(cell[a]);
        f.Frac[a] = static_cast<float>(x[a] - (cell[a] - t));
    }
    return f;
}

namespace {

template <bool WithGradient>
void SimplexRun(const NoiseFrame& f, const float* dx, const float* dy, const float* dz, int n,
                float* out, float* const* gradient) {
    constexpr float G3 = 1.0f / 6.0f;
    // Off-globe tiles can carry wild points; keep them where floats still
    // convert to integers.
    constexpr float Far = 1.0e6f;
    const U4 ci = U4{} + HashI, cj = U4{} + HashJ, ck = U4{} + HashK;
    const U4 cellI = (U4{} + static_cast<std::uint32_t>(f.Cell[0])) * HashI;
    const U4 cellJ = (U4{} + static_cast<std::uint32_t>(f.Cell[1])) * HashJ;
    const U4 cellK = (U4{} + static_cast<std::uint32_t>(f.Cell[2])) * HashK;
    for (int i = 0; i < n; i += 4) {
        const F4 px = Load4(dx + i), py = Load4(dy + i), pz = Load4(dz + i);
        const F4 x = Clamp(f.M[0][0] * px + f.M[0][1] * py + f.M[0][2] * pz + f.Frac[0], -Far, Far);
        const F4 y = Clamp(f.M[1][0] * px + f.M[1][1] * py + f.M[1][2] * pz + f.Frac[1], -Far, Far);
        const F4 z = Clamp(f.M[2][0] * px + f.M[2][1] * py + f.M[2][2] * pz + f.Frac[2], -Far, Far);

        const F4 s = (x + y + z) * (1.0f / 3.0f);
        const F4 fi = Floor(x + s), fj = Floor(y + s), fk = Floor(z + s);
        const F4 t = (fi + fj + fk) * G3;
        const F4 x0 = x - fi + t, y0 = y - fj + t, z0 = z - fk + t;

        // The simplex's second and third corners from the order of x0, y0, z0.
        const I4 xy = x0 >= y0, xz = x0 >= z0, yz = y0 >= z0;
        const I4 i1 = xy & xz, j1 = ~xy & yz, k1 = ~(xz | yz);
        const I4 i2 = xy | xz, j2 = ~xy | yz, k2 = ~(xz & yz);
        const F4 x1 = x0 - Bits(i1, 1.0f) + G3, y1 = y0 - Bits(j1, 1.0f) + G3,
                 z1 = z0 - Bits(k1, 1.0f) + G3;
        const F4 x2 = x0 - Bits(i2, 1.0f) + 2 * G3, y2 = y0 - Bits(j2, 1.0f) + 2 * G3,
                 z2 = z0 - Bits(k2, 1.0f) + 2 * G3;
        const F4 x3 = x0 - 1.0f + 3 * G3, y3 = y0 - 1.0f + 3 * G3, z3 = z0 - 1.0f + 3 * G3;

        // HashLattice of the four corners: the products of the lattice
        // indices are summed from the cell's and the corner offsets'.
        const U4 hi = cellI + (U4)__builtin_convertvector(fi, I4) * HashI;
        const U4 hj = cellJ + (U4)__builtin_convertvector(fj, I4) * HashJ;
        const U4 hk = cellK + (U4)__builtin_convertvector(fk, I4) * HashK;
        const U4 seed = U4{} + f.Seed;
        const U4 h0 = Finalise(seed ^ hi ^ hj ^ hk);
        const U4 h1 = Finalise(seed ^ (hi + ((U4)i1 & ci)) ^ (hj + ((U4)j1 & cj)) ^
                               (hk + ((U4)k1 & ck)));
        const U4 h2 = Finalise(seed ^ (hi + ((U4)i2 & ci)) ^ (hj + ((U4)j2 & cj)) ^
                               (hk + ((U4)k2 & ck)));
        const U4 h3 = Finalise(seed ^ (hi + ci) ^ (hj + cj) ^ (hk + ck));

        F4 g[3] = {Splat(0.0f), Splat(0.0f), Splat(0.0f)};
        const F4 v = Corner<WithGradient>(x0, y0, z0, h0, g) +
                     Corner<WithGradient>(x1, y1, z1, h1, g) +
                     Corner<WithGradient>(x2, y2, z2, h2, g) +
                     Corner<WithGradient>(x3, y3, z3, h3, g);
        Store4(out + i, 83.0f * v);
        if constexpr (WithGradient) {
            // From lattice units to metres of offset: the transpose of M.
            for (int a = 0; a < 3; ++a)
                Store4(gradient[a] + i,
                       83.0f * (f.M[0][a] * g[0] + f.M[1][a] * g[1] + f.M[2][a] * g[2]));
        }
    }
}

} // namespace

void SimplexAt(const NoiseFrame& f, const float* dx, const float* dy, const float* dz, int n,
               float* out, float* const* gradient) {
    if (gradient)
        SimplexRun<true>(f, dx, dy, dz, n, out, gradient);
    else
        SimplexRun<false>(f, dx, dy, dz, n, out, nullptr);
}

} // namespace varrow::demo
