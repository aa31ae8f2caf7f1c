#pragma once

// Seeded 3D simplex noise. The landscape lives on the surface of a sphere, so a
// 3D noise sampled there has no seams at zone edges, at the date line or at the
// poles. Lattice corners are hashed instead of looked up in a permutation table,
// so no pattern repeats within the range of coordinates a tile can produce.

#include <cmath>
#include <cstdint>

namespace varrow::demo {

// The lattice hash's mixing of its sum; U is std::uint32_t or a vector of
// them, so the scalar and the vector hashes stay the same hash.
template <class U> inline __attribute__((always_inline)) U FinaliseHash(U h) {
    h ^= h >> 16;
    h *= 0x7feb352du;
    h ^= h >> 15;
    h *= 0x846ca68bu;
    h ^= h >> 16;
    return h;
}

inline std::uint32_t HashLattice(std::int32_t i, std::int32_t j, std::int32_t k,
                                 std::uint32_t seed) {
    std::uint32_t h = seed;
    h ^= static_cast<std::uint32_t>(i) * 0x8da6b343u;
    h ^= static_cast<std::uint32_t>(j) * 0xd8163841u;
    h ^= static_cast<std::uint32_t>(k) * 0xcb1ab31fu;
    return FinaliseHash(h);
}

// A uniform value in [0, 1) from a hash.
inline double UnitFromHash(std::uint32_t h) {
    return (h >> 8) * (1.0 / 16777216.0);
}

// std::floor is a library call on baseline x86-64; this is not. For |v| < 2^62.
inline double FastFloor(double v) {
    const auto f = static_cast<double>(static_cast<std::int64_t>(v));
    return f > v ? f - 1.0 : f;
}

namespace detail {

// The twelve cube-edge gradients, padded to sixteen so a mask picks one.
constexpr float Grad[16][3] = {
    {1, 1, 0}, {-1, 1, 0}, {1, -1, 0}, {-1, -1, 0}, {1, 0, 1}, {-1, 0, 1}, {1, 0, -1}, {-1, 0, -1},
    {0, 1, 1}, {0, -1, 1}, {0, 1, -1}, {0, -1, -1}, {1, 1, 0}, {-1, 1, 0}, {0, -1, 1}, {0, -1, -1}};

// Branch-free: which side of the falloff a corner lands on is random, and
// mispredicted branches cost more than the arithmetic.
inline float Corner(float x, float y, float z, std::uint32_t h) {
    // A radius of 0.5, not the often quoted 0.6: with 0.6 a corner's kernel
    // reaches past the simplices that list it and the noise jumps at cell
    // boundaries, which relief shading shows as scratches.
    float t = 0.5f - x * x - y * y - z * z;
    t = t > 0.0f ? t : 0.0f;
    const float* g = Grad[h & 15u];
    t *= t;
    return t * t * (g[0] * x + g[1] * y + g[2] * z);
}

} // namespace detail

// Simplex noise in about [-1, 1], smooth, zero on every lattice point. The
// cell is found in double precision (coordinates reach 10^7), the rest in float.
inline double Simplex3(double x, double y, double z, std::uint32_t seed) {
    constexpr double F3 = 1.0 / 3.0;
    constexpr float G3 = 1.0f / 6.0f;
    const double s = (x + y + z) * F3;
    const double fi = FastFloor(x + s);
    const double fj = FastFloor(y + s);
    const double fk = FastFloor(z + s);
    const double t = (fi + fj + fk) * (1.0 / 6.0);
    const auto x0 = static_cast<float>(x - fi + t);
    const auto y0 = static_cast<float>(y - fj + t);
    const auto z0 = static_cast<float>(z - fk + t);
    const auto i = static_cast<std::int32_t>(fi);
    const auto j = static_cast<std::int32_t>(fj);
    const auto k = static_cast<std::int32_t>(fk);

    // The simplex's second and third corners from the order of x0, y0, z0.
    const int xy = x0 >= y0, xz = x0 >= z0, yz = y0 >= z0;
    const int i1 = xy & xz, j1 = (xy ^ 1) & yz, k1 = (xz | yz) ^ 1;
    const int i2 = xy | xz, j2 = (xy ^ 1) | yz, k2 = (xz & yz) ^ 1;

    const float x1 = x0 - static_cast<float>(i1) + G3, y1 = y0 - static_cast<float>(j1) + G3,
                z1 = z0 - static_cast<float>(k1) + G3;
    const float x2 = x0 - static_cast<float>(i2) + 2 * G3,
                y2 = y0 - static_cast<float>(j2) + 2 * G3,
                z2 = z0 - static_cast<float>(k2) + 2 * G3;
    const float x3 = x0 - 1 + 3 * G3, y3 = y0 - 1 + 3 * G3, z3 = z0 - 1 + 3 * G3;

    const float n = detail::Corner(x0, y0, z0, HashLattice(i, j, k, seed)) +
                    detail::Corner(x1, y1, z1, HashLattice(i + i1, j + j1, k + k1, seed)) +
                    detail::Corner(x2, y2, z2, HashLattice(i + i2, j + j2, k + k2, seed)) +
                    detail::Corner(x3, y3, z3, HashLattice(i + 1, j + 1, k + 1, seed));
    return 83.0 * n;
}

// A noise layer over one tile. A point d metres from the tile's centre has
// lattice coordinates M d + Frac relative to the lattice point Cell; keeping
// the coordinates relative to a point near the tile keeps them small enough
// for floats, which is what lets several points be done at once.
struct NoiseFrame {
    float M[3][3] = {};
    float Frac[3] = {};
    std::int32_t Cell[3] = {};
    std::uint32_t Seed = 0;
};

// The frame for lattice coordinates matrix * p + offset (matrix row-major)
// of points p near centre.
NoiseFrame MakeNoiseFrame(const double matrix[3][3], const double offset[3], const double centre[3],
                          std::uint32_t seed);

// Simplex3 of the frame's layer at n points given as offsets from the
// tile's centre (dx, dy, dz). Reads and writes n rounded up to a multiple of
// eight values. With `gradient`, also the noise's gradient per metre of
// offset, in gradient[0..2].
void SimplexAt(const NoiseFrame& frame, const float* dx, const float* dy, const float* dz, int n,
               float* out, float* const* gradient = nullptr);

} // namespace varrow::demo
