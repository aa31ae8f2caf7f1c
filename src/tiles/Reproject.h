#pragma once

// One UTM tile of the program's grid made from the web-Mercator tiles of a
// map service: where every pixel of the UTM tile lies in the source, which
// source tiles that takes, and the resampling. The exact transform (UTM to
// geographic to web Mercator) is computed on a coarse control grid and
// interpolated between, which keeps a tile's arithmetic to a few hundred
// exact transforms.

#include "TileLibrary.h"
#include "geo/WebMercator.h"

#include <QImage>

#include <vector>

namespace varrow {

// Source tiles at one zoom: columns X0..X1 as the UTM tile meets them (they
// may run past the antimeridian; WrappedColumn gives the service's column),
// rows Y0..Y1 within the world.
struct TSourceTileRange {
    int Zoom = 0;
    int X0 = 0, X1 = -1;
    int Y0 = 0, Y1 = -1;

    int Columns() const { return X1 - X0 + 1; }
    int Rows() const { return Y1 - Y0 + 1; }
    int Count() const { return Columns() > 0 && Rows() > 0 ? Columns() * Rows() : 0; }
    int WrappedColumn(int x) const;
};

class TReprojection {
public:
    // Control points every gridStep target pixels (a divisor of 200).
    static constexpr int DefaultGridStep = 20;
    // The source is averaged over a target pixel's footprint when its pixels
    // are more than this many times finer.
    static constexpr double AveragingRatio = 1.5;

    // location: the tile's theme, scale, column, row and zone. The zoom is
    // the coarsest whose pixels are at least as fine as the scale at the
    // tile's centre, at most maxZoom.
    TReprojection(const TTileLocation& location, int maxZoom, int gridStep = DefaultGridStep);

    int Zoom() const { return m_range.Zoom; }
    // Target pixel size over source pixel size (above 1: the source is finer).
    double Ratio() const { return m_ratio; }
    const TSourceTileRange& SourceTiles() const { return m_range; }

    // Source position (world pixels at Zoom) of the target point u pixels east
    // and v pixels south of the tile's north-west corner; the centre of pixel
    // (c, r) is (c + 0.5, r + 0.5). Interpolated from the control grid, and
    // exactly.
    TMercatorPixel Interpolated(double u, double v) const;
    TMercatorPixel Exact(double u, double v) const;

    // Fills bitmap (200 × 200, Format_RGB32) from the source tiles of
    // SourceTiles(), rows north to south and west to east within a row, each
    // 256 × 256; a null image stands for a tile the service does not have
    // and comes out white.
    void Render(const std::vector<QImage>& tiles, QImage& bitmap) const;

private:
    TMercatorPixel Node(int i, int j) const { return m_nodes[j * m_nodesPerSide + i]; }

    TTileLocation m_location;
    int m_step;
    int m_nodesPerSide;
    std::vector<TMercatorPixel> m_nodes; // row-major, north row first
    TSourceTileRange m_range;
    double m_ratio = 1.0;
};

// The picture in grey, as the Aerial theme shows photographs.
void ConvertToGrey(QImage& bitmap);

} // namespace varrow
