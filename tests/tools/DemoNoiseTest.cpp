// The demo landscape's building blocks: noise evaluated many points at a time
// and the nested lattices it is summed on.

#include "demo/Lattice.h"
#include "demo/Noise.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

using namespace varrow::demo;

namespace {

// A layer's lattice coordinates as the landscape makes them: scaled, and for
// rivers and roads stretched along an axis.
struct Layer {
    double M[3][3];
    double Offset[3];
};

Layer Stretched(double wavelength, const double axis[3], double keep) {
    Layer l{};
    for (int r = 0; r < 3; ++r) {
        l.Offset[r] = 12.5 + 31.0 * r;
        for (int c = 0; c < 3; ++c)
            l.M[r][c] = ((r == c ? 1.0 : 0.0) - (1.0 - keep) * axis[r] * axis[c]) / wavelength;
    }
    return l;
}

double Exact(const Layer& l, const double centre[3], const double d[3], std::uint32_t seed) {
    double x[3];
    for (int r = 0; r < 3; ++r) {
        x[r] = l.Offset[r];
        for (int c = 0; c < 3; ++c)
            x[r] += l.M[r][c] * (centre[c] + d[c]);
    }
    return Simplex3(x[0], x[1], x[2], seed);
}

} // namespace

TEST(DemoNoise, ManyPointsAtOnceAreTheScalarNoiseWithItsGradient) {
    // A point on the globe far from any lattice origin, layers short and long,
    // round and stretched; an odd count leaves a partial vector.
    const double centre[3] = {-1234567.8, -4987654.3, 3701234.5};
    const double axis[3] = {0.62, -0.55, 0.56};
    for (const Layer& layer : {Stretched(6.0, axis, 1.0), Stretched(1.7e5, axis, 0.5)}) {
        const NoiseFrame frame = MakeNoiseFrame(layer.M, layer.Offset, centre, 77);
        const int n = 1001;
        // Points over a tile: up to ten wavelengths or 50 km from its centre.
        const double extent = std::min(10.0 / layer.M[2][2], 50000.0) / 100.0;
        std::vector<float> dx(n + 8), dy(n + 8), dz(n + 8), value(n + 8);
        std::vector<float> gx(n + 8), gy(n + 8), gz(n + 8);
        for (int i = 0; i < n; ++i) {
            dx[i] = static_cast<float>(extent * ((i * 37) % 200 - 100));
            dy[i] = static_cast<float>(extent * ((i * 91) % 200 - 100));
            dz[i] = static_cast<float>(extent * ((i * 53) % 200 - 100) * 0.3);
        }
        float* gradient[3] = {gx.data(), gy.data(), gz.data()};
        SimplexAt(frame, dx.data(), dy.data(), dz.data(), n, value.data(), gradient);
        double worstValue = 0, worstSlope = 0;
        for (int i = 0; i < n; ++i) {
            const double d[3] = {dx[i], dy[i], dz[i]};
            worstValue = std::max(worstValue, std::fabs(Exact(layer, centre, d, 77) - value[i]));
            // The gradient per metre, against central differences a
            // thousandth of a wavelength apart.
            const double h = 0.001 / layer.M[2][2];
            const float* g[3] = {gx.data(), gy.data(), gz.data()};
            for (int a = 0; a < 3; ++a) {
                double up[3] = {d[0], d[1], d[2]}, down[3] = {d[0], d[1], d[2]};
                up[a] += h, down[a] -= h;
                const double slope =
                    (Exact(layer, centre, up, 77) - Exact(layer, centre, down, 77)) / (2 * h);
                worstSlope = std::max(worstSlope, std::fabs(slope - g[a][i]) * h * 1000);
            }
        }
        EXPECT_LT(worstValue, 1e-4);
        EXPECT_LT(worstSlope, 2e-3); // of the noise's change over a wavelength
    }
}

namespace {

// A cubic in the fine lattice's indices, which Catmull-Rom halfway values and
// Hermite's with true slopes reproduce exactly.
double Cubic(double i, double j) {
    return 0.002 * i * i * i - 0.01 * i * i * j + 0.3 * i * j - 0.5 * j + 0.0007 * j * j * j + 4;
}

std::vector<float> Sample(const Lattice& l, double scale) {
    std::vector<float> v(static_cast<std::size_t>(l.Count()));
    for (int j = l.J0; j < l.J0 + l.H; ++j)
        for (int i = l.I0; i < l.I0 + l.W; ++i)
            v[l.Index(i, j)] = static_cast<float>(Cubic(scale * i, scale * j));
    return v;
}

} // namespace

TEST(DemoLattice, RefinedValuesFollowACubicWhateverTheOrigin) {
    // Origins of either parity, on both sides of zero: the coarse lattice has
    // to hold every point the fine one is interpolated from.
    for (const int i0 : {-7, -4, 0, 3})
        for (const int j0 : {-5, -2, 1, 6}) {
            SCOPED_TRACE(testing::Message() << "origin " << i0 << ", " << j0);
            const Lattice fine = MakeLattice(1, i0, i0 + 45, j0, j0 + 38);
            const Lattice coarse = CoarserLattice(fine);
            ASSERT_EQ(coarse.Step, 2);
            const std::vector<float> in = Sample(coarse, 2.0);
            std::vector<float> out(static_cast<std::size_t>(fine.Count()));
            RefineScratch scratch;
            Refine(coarse, in.data(), fine, out.data(), scratch);
            // The same with slopes that add nothing: zero corrections.
            std::vector<float> zero(in.size(), 0.0f), withZero(out.size());
            Refine(coarse, in.data(), fine, withZero.data(), scratch, zero.data(), zero.data());
            double worst = 0;
            for (int j = fine.J0; j < fine.J0 + fine.H; ++j)
                for (int i = fine.I0; i < fine.I0 + fine.W; ++i) {
                    worst = std::max(worst, std::fabs(out[fine.Index(i, j)] - Cubic(i, j)));
                    EXPECT_EQ(out[fine.Index(i, j)], withZero[fine.Index(i, j)]);
                }
            EXPECT_LT(worst, 2e-3);
        }
}

TEST(DemoLattice, TrueSlopesMendWhatCatmullRomMakesOfShortWaves) {
    // A wave three coarse points long: Catmull-Rom's slopes from neighbours
    // are far off, Hermite's with the true ones much closer.
    const Lattice fine = MakeLattice(1, -3, 60, -1, 50);
    const Lattice coarse = CoarserLattice(fine);
    const double k = 2 * 3.14159265358979 / 6.0; // per fine step
    const auto wave = [&](double i, double j) { return std::sin(k * i) * std::cos(0.7 * k * j); };
    std::vector<float> in(static_cast<std::size_t>(coarse.Count()));
    std::vector<float> slopeI(in.size(), 0.0f), slopeJ(in.size(), 0.0f);
    for (int j = coarse.J0; j < coarse.J0 + coarse.H; ++j)
        for (int i = coarse.I0; i < coarse.I0 + coarse.W; ++i)
            in[coarse.Index(i, j)] = static_cast<float>(wave(2.0 * i, 2.0 * j));
    for (int j = coarse.J0 + 1; j + 1 < coarse.J0 + coarse.H; ++j)
        for (int i = coarse.I0 + 1; i + 1 < coarse.I0 + coarse.W; ++i) {
            const int c = coarse.Index(i, j);
            const double x = 2.0 * i, y = 2.0 * j;
            // Per coarse step, less the central differences Catmull-Rom uses.
            const double trueI = 2 * k * std::cos(k * x) * std::cos(0.7 * k * y);
            const double trueJ = -2 * 0.7 * k * std::sin(k * x) * std::sin(0.7 * k * y);
            slopeI[c] = static_cast<float>(trueI - 0.5 * (in[c + 1] - in[c - 1]));
            slopeJ[c] =
                static_cast<float>(trueJ - 0.5 * (in[c + coarse.Pitch] - in[c - coarse.Pitch]));
        }
    std::vector<float> plain(static_cast<std::size_t>(fine.Count())), hermite(plain.size());
    RefineScratch scratch;
    Refine(coarse, in.data(), fine, plain.data(), scratch);
    Refine(coarse, in.data(), fine, hermite.data(), scratch, slopeI.data(), slopeJ.data());
    double plainError = 0, hermiteError = 0;
    for (int j = fine.J0; j < fine.J0 + fine.H; ++j)
        for (int i = fine.I0; i < fine.I0 + fine.W; ++i) {
            const double w = wave(i, j);
            plainError += std::pow(plain[fine.Index(i, j)] - w, 2);
            hermiteError += std::pow(hermite[fine.Index(i, j)] - w, 2);
        }
    EXPECT_LT(hermiteError, 0.1 * plainError);
}

TEST(DemoLattice, LinearRowsFollowAPlane) {
    const Lattice pixels = MakeLattice(1, -9, 212, -6, 209);
    const Lattice coarse = CoarserLattice(pixels);
    std::vector<float> in(static_cast<std::size_t>(coarse.Count()));
    for (int j = coarse.J0; j < coarse.J0 + coarse.H; ++j)
        for (int i = coarse.I0; i < coarse.I0 + coarse.W; ++i)
            in[coarse.Index(i, j)] = static_cast<float>(0.25 * 2 * i - 0.125 * 2 * j + 3);
    std::vector<float> row(256 + 16);
    for (const int r : {-5, -2, 0, 7, 100, 201})
        for (const int c0 : {-8, -3, 0, 5}) {
            LinearRow(coarse, in.data(), r, c0, 200, row.data());
            for (int x = 0; x < 200; ++x)
                ASSERT_NEAR(row[x], 0.25 * (c0 + x) - 0.125 * r + 3, 1e-4)
                    << "row " << r << " from " << c0 << ", pixel " << x;
        }
}
