#pragma once

// Nested lattices of points over a tile: a lattice with points every Step
// pixels holds every other point of the lattice with half its step, down to
// the pixels themselves (step 1). All are anchored on the pixel grid of the
// zone (or of the Mercator world), not on the tile, so neighbouring tiles
// sample the same points and interpolate the same values at their edges.
//
// A point's indices (i, j) put it at the centre of tile pixel
// (AnchorX + Step i, AnchorY + Step j); the anchors are the tile's offset from
// the coarsest lattice and are shared by every level.

#include <vector>

namespace varrow::demo {

struct Lattice {
    int Step = 1;
    int I0 = 0, J0 = 0; // indices of the first column and row
    int W = 0, H = 0;   // points per row, rows
    int Pitch = 0;      // floats from one row to the next: W rounded up, with slack

    int Count() const { return Pitch * H; }
    int Index(int i, int j) const { return (j - J0) * Pitch + (i - I0); }
};

// A lattice over indices i0..i1, j0..j1.
Lattice MakeLattice(int step, int i0, int i1, int j0, int j1);

// The lattice with twice fine's step that interpolates every point of fine.
Lattice CoarserLattice(const Lattice& fine);

// Working space for Refine.
struct RefineScratch {
    std::vector<float> Across, AcrossSlopes;
};

// Values at fine's points from those at coarse's (coarse being
// CoarserLattice(fine) or larger): points shared with coarse are copied, the
// others interpolated with Catmull-Rom splines, whose slopes are continuous:
// plain linear interpolation shows as facets in the hill shading.
//
// Catmull-Rom takes the slope at a point from its neighbours, which is poor
// for detail with only a few points per wavelength. Where the true slopes are
// known, slopeI and slopeJ give what they add to that (per coarse step, along
// i and j), and the interpolation becomes Hermite's with the true slopes.
void Refine(const Lattice& coarse, const float* in, const Lattice& fine, float* out,
            RefineScratch& scratch, const float* slopeI = nullptr, const float* slopeJ = nullptr);

// Linear interpolation of a step-2 lattice along row r of the pixels
// (indices of the step-1 lattice), columns c0 .. c0 + n - 1.
void LinearRow(const Lattice& coarse, const float* in, int r, int c0, int n, float* out);

} // namespace varrow::demo
