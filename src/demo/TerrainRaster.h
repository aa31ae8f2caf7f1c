#pragma once

// What the ground of one tile is, pixel by pixel: elevation, water, rivers and
// land cover. The themes only decide how to colour it.
//
// The noise layers are summed on nested lattices (Lattice.h), each layer on
// the coarsest that still has several points per wavelength, and the sums are
// refined down to the pixels. The ground itself is worked out a row at a
// time, when the painter asks for it.

#include "Landscape.h"
#include "Lattice.h"
#include "TileAddress.h"
#include "geo/Georef.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace varrow::demo {

// Where the pixels of a square raster lie on the globe.
struct RasterFrame {
    int Size = TilePixels; // pixels per side, a multiple of eight
    double Scale = 1.0;    // ground metres per pixel
    // The position of a point u pixels east and v pixels south of the
    // raster's north-west corner.
    std::function<TGeoPosition(double u, double v)> Geographic;
    // The raster's place in the pixel grid it is cut from (the zone's, or
    // the Mercator world's): the grid column of its west column and the grid
    // row of its north row, rows counting south. The lattices are anchored
    // on that grid.
    std::int64_t Column = 0;
    std::int64_t Row = 0;
    // Film grain sits on a lattice of every other pixel of the raster's
    // grid: the lattice column of the west edge, the lattice row of the north
    // edge (rows counting north), and a seed per grid.
    std::int64_t GrainColumn = 0;
    std::int64_t GrainRow = 0;
    std::uint32_t GrainSeed = 0;
    // Whether the texture of tree crowns and clumps is wanted (the aerial
    // themes); without, those rows are zero.
    bool Texture = true;
};

// A tile of a UTM zone's tile grid, and a 256 × 256 web-Mercator tile.
RasterFrame UtmFrame(const TileAddress& address);
RasterFrame MercatorFrame(int zoom, int x, int y);

// The ground along one row of pixels, Size values each.
struct GroundRow {
    const float* Elevation;  // metres
    const float* SlopeEast;  // dh/dEasting
    const float* SlopeNorth; // dh/dNorthing
    const float* Water;      // sea and lakes, 0..1
    const float* River;      // 0..1
    const float* Shore;      // shore line, 0..1
    // Road surface, 0..1: highways, local roads and tracks.
    const float* Highway;
    const float* Road;
    const float* Track;
    const float* Forest;
    const float* Farm;
    const float* Rock;
    const float* Snow;
    const float* Sand;
    const float* Moisture;
    // Farm plots: a tone per plot in 0..1 (0.5 where plots are too small to
    // see or there is no farmland), the plot edges (tracks) 0..1 and a
    // crop-row pattern in -1..1.
    const float* PlotTone;
    const float* PlotEdge;
    const float* PlotRows;
    // Farm buildings, 0..1, and the tone of their roofs.
    const float* Building;
    const float* Roof;
    // Texture, about -1..1: grain of the ground (pixel-sized film grain and
    // the finest octaves), tree crowns and clumps of vegetation.
    const float* Grain;
    const float* Crowns;
    const float* Clumps;
};

class TerrainRaster {
public:
    explicit TerrainRaster(const RasterFrame& frame);
    explicit TerrainRaster(const TileAddress& address) : TerrainRaster(UtmFrame(address)) {}
    ~TerrainRaster();
    TerrainRaster(const TerrainRaster&) = delete;
    TerrainRaster& operator=(const TerrainRaster&) = delete;

    int Size() const { return m_size; }
    double Scale() const { return m_plan.Scale; }
    const ScalePlan& Plan() const { return m_plan; }

    // Elevation carries one pixel of border so that slopes at the tile edge
    // see the neighbouring tile's ground: c, r from -1 to Size; metres.
    float Elevation(int c, int r) const;

    // The ground of row r, 0..Size-1; valid until the next call.
    const GroundRow& Row(int r);

    struct Work;

private:
    void SumLayers(const RasterFrame& frame);
    void CutValleys();
    // The same for a vector type (see Lanes.h).
    template <class F> void SumLayersWith(const RasterFrame& frame);
    template <class F> void CutValleysWith();
    template <class F> void RowWith(int r);
    void RefineToPixels(bool texture);

    int m_size;
    ScalePlan m_plan;
    std::unique_ptr<Work> m_work; // lattices and rows, from a pool
};

} // namespace varrow::demo
