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

// Catmull-Rom halfway between b and c.
VARROW_LANES F4 Halfway(F4 a, F4 b, F4 c, F4 d) {
    return (9.0f * (b + c) - a - d) * (1.0f / 16.0f);
}

// A fine row from a coarse one: the points on the coarse lattice and the
// values halfway after each, from coarse point k on. When the row starts
// halfway, the halfway value comes first. Writes n rounded up to eight.
void Interleave(const float* on, const float* halfway, int k, bool startsHalfway, int n,
                float* out) {
    const float* first = startsHalfway ? halfway + k : on + k;
    const float* second = startsHalfway ? on + k + 1 : halfway + k;
    for (int x = 0; x < n; x += 8) {
        const F4 a = Load4(first + x / 2), b = Load4(second + x / 2);
        Store4(out + x, __builtin_shufflevector(a, b, 0, 4, 1, 5));
        Store4(out + x + 4, __builtin_shufflevector(a, b, 2, 6, 3, 7));
    }
}

} // namespace

Lattice MakeLattice(int step, int i0, int i1, int j0, int j1) {
    Lattice l;
    l.Step = step;
    l.I0 = i0, l.J0 = j0;
    l.W = i1 - i0 + 1, l.H = j1 - j0 + 1;
    // Rows are worked four values at a time, and the halfway values read up
    // to three past the last point.
    l.Pitch = (l.W + 6) & ~3;
    return l;
}

Lattice CoarserLattice(const Lattice& f) {
    return MakeLattice(2 * f.Step, FloorHalf(f.I0) - 1, CeilHalf(f.I0 + f.W - 1) + 1,
                       FloorHalf(f.J0) - 1, CeilHalf(f.J0 + f.H - 1) + 1);
}

void Refine(const Lattice& coarse, const float* in, const Lattice& fine, float* out,
            RefineScratch& scratch, const float* slopeI, const float* slopeJ) {
    assert(coarse.Step == 2 * fine.Step);
    const bool slopes = slopeI != nullptr;
    // 1. Each coarse row onto the fine columns; with slopes, also the j
    // slopes, halfway as their mean.
    // Rows are written eight values at a time, a little past the pitch.
    const auto rows = static_cast<std::size_t>(coarse.H) * fine.Pitch + 8;
    if (scratch.Across.size() < rows) scratch.Across.resize(rows);
    if (slopes && scratch.AcrossSlopes.size() < rows) scratch.AcrossSlopes.resize(rows);
    std::array<float, 1024> halfway{}, slopeHalfway{};
    assert(coarse.Pitch + 8 <= static_cast<int>(halfway.size()));
    const bool startsHalfway = (fine.I0 & 1) != 0;
    const int k0 = FloorHalf(fine.I0) - coarse.I0;
    const auto spread = [&](const float* c, const float* h, float* a) {
        Interleave(c, h, k0, startsHalfway, fine.W, a);
    };
    for (int j = 0; j < coarse.H; ++j) {
        const std::size_t row = static_cast<std::size_t>(j) * coarse.Pitch;
        const float* c = in + row;
        for (int k = 1; k + 2 < coarse.W; k += 4) {
            F4 v = Halfway(Load4(c + k - 1), Load4(c + k), Load4(c + k + 1), Load4(c + k + 2));
            // Hermite halfway is Catmull-Rom's plus an eighth of the slope difference.
            if (slopes) v += 0.125f * (Load4(slopeI + row + k) - Load4(slopeI + row + k + 1));
            Store4(&halfway[k], v);
        }
        spread(c, halfway.data(), &scratch.Across[static_cast<std::size_t>(j) * fine.Pitch]);
        if (!slopes) continue;
        const float* sj = slopeJ + row;
        for (int k = 0; k + 1 < coarse.W; k += 4)
            Store4(&slopeHalfway[k], 0.5f * (Load4(sj + k) + Load4(sj + k + 1)));
        spread(sj, slopeHalfway.data(),
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
        for (int x = 0; x < fine.Pitch; x += 4)
            Store4(o + x, Halfway(Load4(a0 + x), Load4(a1 + x), Load4(a2 + x), Load4(a3 + x)));
        if (!slopes) continue;
        const float* s1 = &scratch.AcrossSlopes[k1];
        const float* s2 = s1 + fine.Pitch;
        for (int x = 0; x < fine.Pitch; x += 4)
            Store4(o + x, Load4(o + x) + 0.125f * (Load4(s1 + x) - Load4(s2 + x)));
    }
}

void LinearRow(const Lattice& coarse, const float* in, int r, int c0, int n, float* out) {
    assert(coarse.Step == 2);
    std::array<float, 1024> row{};
    assert(coarse.Pitch <= static_cast<int>(row.size()));
    const float* a = in + static_cast<std::size_t>(FloorHalf(r) - coarse.J0) * coarse.Pitch;
    if (r & 1) {
        const float* b = a + coarse.Pitch;
        for (int k = 0; k < coarse.W; k += 4)
            Store4(&row[k], 0.5f * (Load4(a + k) + Load4(b + k)));
        a = row.data();
    }
    std::array<float, 1024> halfway{};
    const int k0 = FloorHalf(c0) - coarse.I0;
    for (int k = k0; k < k0 + (n + 1) / 2 + 4; k += 4)
        Store4(&halfway[k], 0.5f * (Load4(a + k) + Load4(a + k + 1)));
    Interleave(a, halfway.data(), k0, (c0 & 1) != 0, n, out);
}

} // namespace varrow::demo
