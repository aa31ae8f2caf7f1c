#pragma once

// The working arrays of a TerrainRaster, shared by the files that fill them.
// A raster takes a set from a pool the threads share and gives it back when
// it is destroyed: a tile needs a few megabytes of them, and fresh
// allocations showed up as page faults in profiles.

#include "TerrainRaster.h"

#include <array>
#include <vector>

namespace varrow::demo {

// Lattice levels: the pixels, then steps 2, 4, .. CoarsestStep.
constexpr int LatticeLevels = 8;
static_assert(1 << (LatticeLevels - 1) == CoarsestStep);

// What the rows are made from, refined to every pixel (with a border of one).
enum PixelField : int {
    PixelElevation, // with the valleys cut
    PixelUncut,     // before
    PixelLakes,
    PixelWoods,
    PixelCrowns,
    PixelClumps,
    PixelGrain,
    PixelFieldCount
};

// A river or road: the noise whose zero line it is, on the step-2 lattice,
// with its slope per pixel and (rivers) the weight of its mask.
struct ZeroLine {
    bool Shown = false;
    const float* Value = nullptr; // the field's sums
    std::vector<float> SlopeX, SlopeY, Weight;
    // Per lattice row, the fewest pixels from any point to the line.
    std::vector<float> RowNearest;
};

// The arrays of a GroundRow that are not fields of the pixel lattice.
enum RowArray : int {
    RowSlopeEast,
    RowSlopeNorth,
    RowWater,
    RowRiver,
    RowShore,
    RowHighway,
    RowRoad,
    RowTrack,
    RowForest,
    RowFarm,
    RowRock,
    RowSnow,
    RowSand,
    RowPlotTone,
    RowPlotEdge,
    RowPlotRows,
    RowBuilding,
    RowRoof,
    // Smooth fields, linear between the step-2 lattice's points.
    RowMoisture,
    RowMountains,
    RowSnowLine,
    // Scratch for interpolated zero lines and plot positions.
    RowScratch0,
    RowArrayCount = RowScratch0 + 4
};

// What a field's true slopes on a lattice add to those Catmull-Rom makes of it
// (see Refine), per lattice step along i and j.
struct SlopeFix {
    bool Used = false;
    std::vector<float> I, J;
};

// The levels whose layers' true slopes are kept: steps 2 and 4.
constexpr int SlopeLevels = 2;

struct TerrainRaster::Work {
    std::array<Lattice, LatticeLevels> Lattices;
    int Top = 1;                  // the coarsest level in use
    int AnchorX = 0, AnchorY = 0; // tile pixel of the coarsest lattice's point (0, 0)
    SurfacePoint Centre;          // at the middle of the tile
    // Metres from Centre to each lattice point.
    std::array<std::array<std::vector<float>, 3>, LatticeLevels> Offsets;
    // Field sums on each lattice but the pixels'.
    std::array<std::array<std::vector<float>, FieldCount>, LatticeLevels> Sums;
    std::vector<float> Noise, Across;
    std::array<std::vector<float>, 3> Gradient;
    RefineScratch Scratch;
    // On the lattices of steps 2 and 4: the offsets' change per step along i
    // and j, and the slopes the layers there add to each field.
    std::array<std::vector<float>, 3> StepI, StepJ;
    std::array<std::array<SlopeFix, FieldCount>, SlopeLevels + 1> Slopes;
    // The ground on the step-2 lattice.
    std::vector<float> Uncut, Cut, Mountains, Land, Moisture, Carve;
    SlopeFix CutSlopes, UncutSlopes;
    // Whether any of the tile is near sea level (before the valleys were
    // cut), can be lake or lake shore, or is near the tree line.
    bool Coastal = true, Lakes = true, Alpine = true;
    std::array<ZeroLine, RiverLevels> Rivers;
    std::array<ZeroLine, RoadLevels> Roads;
    std::array<std::vector<float>, PixelFieldCount> Pixels;
    std::array<std::vector<float>, RowArrayCount> Rows;
    GroundRow Row{};

    const Lattice& PixelLattice() const { return Lattices[0]; }
    // The pixel field at tile pixel (c, r), c and r from -1 to Size.
    const float* PixelAt(int field, int c, int r) const {
        return &Pixels[field][static_cast<std::size_t>(r + 1) * Lattices[0].Pitch + (c + 1)];
    }
};

} // namespace varrow::demo
