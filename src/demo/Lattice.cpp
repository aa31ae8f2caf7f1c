#include "Lattice.h"

#include "Lanes.h"

#include <array>
#include <cassert>
#include <cstring>

namespace varrow::demo {

namespace {

int FloorHalf(int f) {
    return (f - (f & 1)) / 2;
}

int CeilHalf(int f) {
    return -FloorHalf(-f);
}

// Rows of working space. Rows are worked a vector at a time and some lanes
// past a row's end are read; kept per thread, they always hold numbers.
std::array<float, 1024>& Row(int i) {
    thread_local std::array<std::array<float, 1024>, 2> rows{};
    return rows[i];
}

// Catmull-Rom halfway between b and c.
template <class F> VARROW_LANES F Halfway(F a, F b, F c, F d) {
    return (9.0f * (b + c) - a - d) * (1.0f / 16.0f);
}

// The lanes of a and b taken in turns: the first half, and the second.
VARROW_LANES F4 ZipLow(F4 a, F4 b) {
    return __builtin_shufflevector(a, b, 0, 4, 1, 5);
}
VARROW_LANES F4 ZipHigh(F4 a, F4 b) {
    return __builtin_shufflevector(a, b, 2, 6, 3, 7);
}
VARROW_LANES F8 ZipLow(F8 a, F8 b) {
    return __builtin_shufflevector(a, b, 0, 8, 1, 9, 2, 10, 3, 11);
}
VARROW_LANES F8 ZipHigh(F8 a, F8 b) {
    return __builtin_shufflevector(a, b, 4, 12, 5, 13, 6, 14, 7, 15);
}

// A fine row from a coarse one: the points on the coarse lattice and the
// values halfway after each, from coarse point k on. When the row starts
// halfway, the halfway value comes first. Writes n rounded up to twice the
// lane count.
template <class F>
VARROW_LANES void Interleave(const float* on, const float* halfway, int k, bool startsHalfway,
                             int n, float* out) {
    const float* first = startsHalfway ? halfway + k : on + k;
    const float* second = startsHalfway ? on + k + 1 : halfway + k;
    constexpr int N = Width<F>;
    for (int x = 0; x < n; x += 2 * N) {
        const F a = Load<F>(first + x / 2), b = Load<F>(second + x / 2);
        Store(out + x, ZipLow(a, b));
        Store(out + x + N, ZipHigh(a, b));
    }
}

template <class F>
VARROW_LANES void RefineWith(const Lattice& coarse, const float* in, const Lattice& fine,
                             float* out, RefineScratch& scratch, const float* slopeI,
                             const float* slopeJ) {
    constexpr int N = Width<F>;
    const bool slopes = slopeI != nullptr;
    // 1. Each coarse row onto the fine columns; with slopes, also the j
    // slopes, halfway as their mean. Rows are written two vectors at a time,
    // a little past the pitch.
    const auto rows = static_cast<std::size_t>(coarse.H) * fine.Pitch + 2 * N;
    if (scratch.Across.size() < rows) scratch.Across.resize(rows);
    if (slopes && scratch.AcrossSlopes.size() < rows) scratch.AcrossSlopes.resize(rows);
    std::array<float, 1024>& halfway = Row(0);
    std::array<float, 1024>& slopeHalfway = Row(1);
    assert(coarse.Pitch + 2 * N <= static_cast<int>(halfway.size()));
    const bool startsHalfway = (fine.I0 & 1) != 0;
    const int k0 = FloorHalf(fine.I0) - coarse.I0;
    for (int j = 0; j < coarse.H; ++j) {
        const std::size_t row = static_cast<std::size_t>(j) * coarse.Pitch;
        const float* c = in + row;
        for (int k = 1; k + 2 < coarse.W; k += N) {
            F v =
                Halfway(Load<F>(c + k - 1), Load<F>(c + k), Load<F>(c + k + 1), Load<F>(c + k + 2));
            // Hermite halfway is Catmull-Rom's plus an eighth of the slope difference.
            if (slopes) v += 0.125f * (Load<F>(slopeI + row + k) - Load<F>(slopeI + row + k + 1));
            Store(&halfway[k], v);
        }
        float* across = &scratch.Across[static_cast<std::size_t>(j) * fine.Pitch];
        Interleave<F>(c, halfway.data(), k0, startsHalfway, fine.W, across);
        if (!slopes) continue;
        const float* sj = slopeJ + row;
        for (int k = 0; k + 1 < coarse.W; k += N)
            Store(&slopeHalfway[k], 0.5f * (Load<F>(sj + k) + Load<F>(sj + k + 1)));
        Interleave<F>(sj, slopeHalfway.data(), k0, startsHalfway, fine.W,
                      &scratch.AcrossSlopes[static_cast<std::size_t>(j) * fine.Pitch]);
    }
    // 2. The fine rows from those.
    for (int y = 0; y < fine.H; ++y) {
        const int f = fine.J0 + y;
        float* o = out + static_cast<std::size_t>(y) * fine.Pitch;
        if ((f & 1) == 0) {
            const float* a =
                &scratch.Across[static_cast<std::size_t>(f / 2 - coarse.J0) * fine.Pitch];
            std::memcpy(o, a, sizeof(float) * static_cast<std::size_t>(fine.Pitch));
            continue;
        }
        const std::size_t k1 = static_cast<std::size_t>(FloorHalf(f) - coarse.J0) * fine.Pitch;
        const float* a1 = &scratch.Across[k1];
        const float* a0 = a1 - fine.Pitch;
        const float* a2 = a1 + fine.Pitch;
        const float* a3 = a2 + fine.Pitch;
        // The row's points, not all of its padding.
        const int width = (fine.W + 7) & ~7;
        for (int x = 0; x < width; x += N)
            Store(o + x,
                  Halfway(Load<F>(a0 + x), Load<F>(a1 + x), Load<F>(a2 + x), Load<F>(a3 + x)));
        if (!slopes) continue;
        const float* s1 = &scratch.AcrossSlopes[k1];
        const float* s2 = s1 + fine.Pitch;
        for (int x = 0; x < width; x += N)
            Store(o + x, Load<F>(o + x) + 0.125f * (Load<F>(s1 + x) - Load<F>(s2 + x)));
    }
}

} // namespace

Lattice MakeLattice(int step, int i0, int i1, int j0, int j1) {
    Lattice l;
    l.Step = step;
    l.I0 = i0, l.J0 = j0;
    l.W = i1 - i0 + 1, l.H = j1 - j0 + 1;
    // Rows are worked up to eight values at a time, and the halfway values
    // read up to seven past the last point.
    l.Pitch = (l.W + 14) & ~7;
    return l;
}

Lattice CoarserLattice(const Lattice& f) {
    return MakeLattice(2 * f.Step, FloorHalf(f.I0) - 1, CeilHalf(f.I0 + f.W - 1) + 1,
                       FloorHalf(f.J0) - 1, CeilHalf(f.J0 + f.H - 1) + 1);
}

void Refine(const Lattice& coarse, const float* in, const Lattice& fine, float* out,
            RefineScratch& scratch, const float* slopeI, const float* slopeJ) {
    assert(coarse.Step == 2 * fine.Step);
    ForLanes([&](auto lanes) {
        RefineWith<typename decltype(lanes)::Type>(coarse, in, fine, out, scratch, slopeI, slopeJ);
    });
}

void LinearRow(const Lattice& coarse, const float* in, int r, int c0, int n, float* out) {
    assert(coarse.Step == 2);
    ForLanes([&](auto lanes) {
        using F = typename decltype(lanes)::Type;
        constexpr int N = Width<F>;
        std::array<float, 1024>& row = Row(0);
        assert(coarse.Pitch + 2 * N <= static_cast<int>(row.size()));
        const float* a = in + static_cast<std::size_t>(FloorHalf(r) - coarse.J0) * coarse.Pitch;
        if (r & 1) {
            const float* b = a + coarse.Pitch;
            for (int k = 0; k < coarse.W; k += N)
                Store(&row[k], 0.5f * (Load<F>(a + k) + Load<F>(b + k)));
            a = row.data();
        }
        std::array<float, 1024>& halfway = Row(1);
        const int k0 = FloorHalf(c0) - coarse.I0;
        for (int k = k0; k <= k0 + (n + 1) / 2; k += N)
            Store(&halfway[k], 0.5f * (Load<F>(a + k) + Load<F>(a + k + 1)));
        Interleave<F>(a, halfway.data(), k0, (c0 & 1) != 0, n, out);
    });
}

} // namespace varrow::demo
