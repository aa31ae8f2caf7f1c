#include "Noise.h"

#include "Lanes.h"

#include <atomic>

namespace varrow::demo {

namespace {

constexpr std::uint32_t HashI = 0x8da6b343u, HashJ = 0xd8163841u, HashK = 0xcb1ab31fu;

template <class F> VARROW_LANES F Bits(IntOf<F> mask, float v) {
    return (F)(mask & (IntOf<F>)Splat<F>(v));
}

// detail::Corner, adding the corner's share of the gradient when asked. The
// gradient vector comes from the hash bits, since a table cannot be indexed in
// several lanes at once: detail::Grad's entries 0-7 and 12-13 pair x with y or
// z, 8-11 pair y with z, and 14-15 are -y with +z or -z.
template <bool WithGradient, class F> VARROW_LANES F Corner(F x, F y, F z, UintOf<F> h, F* grad) {
    using I = IntOf<F>;
    using U = UintOf<F>;
    const U g = h & 15u;
    const I twelve = (I)((g & 14u) == 12u);
    const U high = (U)(g >= 14u);
    const U bit0 = (g & 1u) << 31, bit1 = (g & 2u) << 30;
    const I uIsX = (I)(g < 8u) | twelve, vIsY = (I)(g < 4u) | twelve;
    const U signU = (high & 0x80000000u) | (~high & bit0);
    const U signV = (high & bit0) | (~high & bit1);
    const F t = Max(0.5f - x * x - y * y - z * z, Splat<F>(0.0f));
    const F t2 = t * t;
    if constexpr (WithGradient) {
        const F zero = Splat<F>(0.0f);
        const F u = (F)((U)Splat<F>(1.0f) ^ signU), v = (F)((U)Splat<F>(1.0f) ^ signV);
        const F gx = Select(uIsX, u, zero);
        const F gy = Select(uIsX, zero, u) + Select(vIsY, v, zero);
        const F gz = Select(vIsY, zero, v);
        const F dot = gx * x + gy * y + gz * z;
        // d/dr of t^4 (g . r) with t = 0.5 - r . r.
        const F k = -8.0f * t2 * t * dot;
        grad[0] += t2 * t2 * gx + k * x;
        grad[1] += t2 * t2 * gy + k * y;
        grad[2] += t2 * t2 * gz + k * z;
        return t2 * t2 * dot;
    } else {
        const F u = Select(uIsX, x, y), v = Select(vIsY, y, z);
        return t2 * t2 * ((F)((U)u ^ signU) + (F)((U)v ^ signV));
    }
}

template <bool WithGradient, class F>
VARROW_LANES void Simplex(const NoiseFrame& f, const float* dx, const float* dy, const float* dz,
                          int n, float* out, float* const* gradient) {
    using I = IntOf<F>;
    using U = UintOf<F>;
    constexpr float G3 = 1.0f / 6.0f;
    // Off-globe tiles can carry wild points; keep them where floats still
    // convert to integers.
    constexpr float Far = 1.0e6f;
    const U ci = U{} + HashI, cj = U{} + HashJ, ck = U{} + HashK;
    const U cellI = (U{} + static_cast<std::uint32_t>(f.Cell[0])) * HashI;
    const U cellJ = (U{} + static_cast<std::uint32_t>(f.Cell[1])) * HashJ;
    const U cellK = (U{} + static_cast<std::uint32_t>(f.Cell[2])) * HashK;
    const U seed = U{} + f.Seed;
    for (int i = 0; i < n; i += Width<F>) {
        const F px = Load<F>(dx + i), py = Load<F>(dy + i), pz = Load<F>(dz + i);
        const F x = Clamp(f.M[0][0] * px + f.M[0][1] * py + f.M[0][2] * pz + f.Frac[0], -Far, Far);
        const F y = Clamp(f.M[1][0] * px + f.M[1][1] * py + f.M[1][2] * pz + f.Frac[1], -Far, Far);
        const F z = Clamp(f.M[2][0] * px + f.M[2][1] * py + f.M[2][2] * pz + f.Frac[2], -Far, Far);

        const F s = (x + y + z) * (1.0f / 3.0f);
        const F fi = Floor(x + s), fj = Floor(y + s), fk = Floor(z + s);
        const F t = (fi + fj + fk) * G3;
        const F x0 = x - fi + t, y0 = y - fj + t, z0 = z - fk + t;

        // The simplex's second and third corners from the order of x0, y0, z0.
        const I xy = x0 >= y0, xz = x0 >= z0, yz = y0 >= z0;
        const I i1 = xy & xz, j1 = ~xy & yz, k1 = ~(xz | yz);
        const I i2 = xy | xz, j2 = ~xy | yz, k2 = ~(xz & yz);
        const F x1 = x0 - Bits<F>(i1, 1.0f) + G3, y1 = y0 - Bits<F>(j1, 1.0f) + G3,
                z1 = z0 - Bits<F>(k1, 1.0f) + G3;
        const F x2 = x0 - Bits<F>(i2, 1.0f) + 2 * G3, y2 = y0 - Bits<F>(j2, 1.0f) + 2 * G3,
                z2 = z0 - Bits<F>(k2, 1.0f) + 2 * G3;
        const F x3 = x0 - 1.0f + 3 * G3, y3 = y0 - 1.0f + 3 * G3, z3 = z0 - 1.0f + 3 * G3;

        // HashLattice of the four corners: the products of the lattice
        // indices are summed from the cell's and the corner offsets'.
        const U hi = cellI + (U)ToInt(fi) * HashI;
        const U hj = cellJ + (U)ToInt(fj) * HashJ;
        const U hk = cellK + (U)ToInt(fk) * HashK;
        const U h0 = FinaliseHash(seed ^ hi ^ hj ^ hk);
        const U h1 =
            FinaliseHash(seed ^ (hi + ((U)i1 & ci)) ^ (hj + ((U)j1 & cj)) ^ (hk + ((U)k1 & ck)));
        const U h2 =
            FinaliseHash(seed ^ (hi + ((U)i2 & ci)) ^ (hj + ((U)j2 & cj)) ^ (hk + ((U)k2 & ck)));
        const U h3 = FinaliseHash(seed ^ (hi + ci) ^ (hj + cj) ^ (hk + ck));

        F g[3] = {Splat<F>(0.0f), Splat<F>(0.0f), Splat<F>(0.0f)};
        const F v =
            Corner<WithGradient>(x0, y0, z0, h0, g) + Corner<WithGradient>(x1, y1, z1, h1, g) +
            Corner<WithGradient>(x2, y2, z2, h2, g) + Corner<WithGradient>(x3, y3, z3, h3, g);
        Store(out + i, 83.0f * v);
        if constexpr (WithGradient) {
            // From lattice units to metres of offset: the transpose of M.
            for (int a = 0; a < 3; ++a)
                Store(gradient[a] + i,
                      83.0f * (f.M[0][a] * g[0] + f.M[1][a] * g[1] + f.M[2][a] * g[2]));
        }
    }
}

} // namespace

NoiseFrame MakeNoiseFrame(const double matrix[3][3], const double offset[3], const double centre[3],
                          std::uint32_t seed) {
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
std::atomic<bool> eightLanesAllowed{true};
} // namespace

bool HasEightLanes() {
#if defined(__x86_64__) && defined(__GNUC__)
    static const bool avx2 = __builtin_cpu_supports("avx2");
    return avx2 && eightLanesAllowed.load(std::memory_order_relaxed);
#else
    return false;
#endif
}

void AllowEightLanes(bool allow) {
    eightLanesAllowed = allow;
}

void SimplexAt(const NoiseFrame& f, const float* dx, const float* dy, const float* dz, int n,
               float* out, float* const* gradient) {
    ForLanes([&](auto lanes) {
        using F = typename decltype(lanes)::Type;
        const int whole = (n + 7) & ~7;
        if (gradient)
            Simplex<true, F>(f, dx, dy, dz, whole, out, gradient);
        else
            Simplex<false, F>(f, dx, dy, dz, whole, out, nullptr);
    });
}

} // namespace varrow::demo
