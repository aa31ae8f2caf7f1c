#pragma once

// What the ground of one tile is, pixel by pixel: elevation, water, rivers and
// land cover. The themes only decide how to colour it.

#include "Landscape.h"
#include "TileAddress.h"
#include "geo/Georef.h"

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

namespace varrow::demo {

// Where the pixels of a square raster lie on the globe.
struct RasterFrame {
    int Size = TilePixels; // pixels per side
    double Scale = 1.0;    // ground metres per pixel
    // The position of a point u pixels east and v pixels south of the
    // raster's north-west corner.
    std::function<TGeoPosition(double u, double v)> Geographic;
    // Film grain sits on a lattice of every other pixel of the raster's
    // grid: the lattice column of the west edge, the lattice row of the north
    // edge (rows counting north), and a seed per grid.
    std::int64_t GrainColumn = 0;
    std::int64_t GrainRow = 0;
    std::uint32_t GrainSeed = 0;
};

// A tile of a UTM zone's tile grid, and a 256 × 256 web-Mercator tile.
RasterFrame UtmFrame(const TileAddress& address);
RasterFrame MercatorFrame(int zoom, int x, int y);

class TerrainRaster {
public:
    explicit TerrainRaster(const RasterFrame& frame);
    explicit TerrainRaster(const TileAddress& address) : TerrainRaster(UtmFrame(address)) {}

    int Size() const { return m_size; }
    double Scale() const { return m_plan.Scale; }
    const ScalePlan& Plan() const { return m_plan; }

    // Elevation carries one pixel of border so that slopes at the tile edge
    // see the neighbouring tile's ground: c, r from -1 to Size (border
    // included); metres.
    float Elevation(int c, int r) const { return m_elevation[Index(c, r)]; }
    // The rest for c, r in 0..Size-1.
    float SlopeEast(int c, int r) const;                             // dh/dEasting
    float SlopeNorth(int c, int r) const;                            // dh/dNorthing
    float Water(int c, int r) const { return m_water[Inner(c, r)]; } // sea and lakes, 0..1
    float River(int c, int r) const { return m_river[Inner(c, r)]; } // 0..1
    float Shore(int c, int r) const { return m_shore[Inner(c, r)]; } // shore line, 0..1
    // Road surface of a level (0 highways, 1 local roads, 2 tracks), 0..1.
    float Road(int level, int c, int r) const { return m_road[level][Inner(c, r)]; }
    float Forest(int c, int r) const { return m_forest[Inner(c, r)]; }
    float Farm(int c, int r) const { return m_farm[Inner(c, r)]; }
    float Rock(int c, int r) const { return m_rock[Inner(c, r)]; }
    float Snow(int c, int r) const { return m_snow[Inner(c, r)]; }
    float Sand(int c, int r) const { return m_sand[Inner(c, r)]; }
    float Moisture(int c, int r) const { return m_moisture[Inner(c, r)]; }
    // Farm plots: a tone per plot in 0..1 (0.5 where plots are too small to
    // see or there is no farmland), the plot edges (tracks) 0..1 and a
    // crop-row pattern in -1..1.
    float PlotTone(int c, int r) const { return m_plotTone[Inner(c, r)]; }
    float PlotEdge(int c, int r) const { return m_plotEdge[Inner(c, r)]; }
    float PlotRows(int c, int r) const { return m_plotRows[Inner(c, r)]; }
    // Farm buildings, 0..1, and the tone of their roofs.
    float Building(int c, int r) const { return m_building[Inner(c, r)]; }
    float Roof(int c, int r) const { return m_roof[Inner(c, r)]; }
    // Pixel-sized grain, about -1..1.
    float Grain(int c, int r) const { return m_grain[Inner(c, r)]; }
    // The per-pixel noise octaves, finest first, about -1..1.
    const float* Octaves(int c, int r) const { return &m_octaves[Inner(c, r) * FineOctaveCount]; }
    // Octave i's wavelength in metres.
    double OctaveWavelengthAt(int i) const { return OctaveWavelength(m_plan.FirstFine + i); }

private:
    int Index(int c, int r) const { return (r + 1) * m_span + (c + 1); }
    int Inner(int c, int r) const { return r * m_size + c; }

    int m_size;
    int m_span; // m_size + 2
    ScalePlan m_plan;
    std::vector<float> m_elevation; // m_span x m_span
    std::vector<float> m_water, m_river, m_shore, m_forest, m_farm, m_rock, m_snow, m_sand,
        m_moisture;
    std::vector<float> m_plotTone, m_plotEdge, m_plotRows, m_building, m_roof;
    std::vector<float> m_octaves, m_grain;
    std::array<std::vector<float>, RoadLevels> m_road;
};

} // namespace varrow::demo
