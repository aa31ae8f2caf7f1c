#include "Reproject.h"

#include "TileSource.h"
#include "geo/Georef.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace varrow {

namespace {

constexpr int Tile = MercatorTileSize;

// The source tiles copied side by side, with a pixel lookup that holds
// positions to its edges.
struct TComposite {
    std::vector<std::uint32_t> Pixels;
    int Width = 0;
    int Height = 0;
    double OriginX = 0; // world pixel of the composite's left edge
    double OriginY = 0;
};

TComposite Compose(const TSourceTileRange& range, const std::vector<QImage>& tiles) {
    if (static_cast<int>(tiles.size()) != range.Count())
        throw std::invalid_argument("Reprojection: the source tiles do not match their range");
    TComposite c;
    c.Width = range.Columns() * Tile;
    c.Height = range.Rows() * Tile;
    c.OriginX = double(range.X0) * Tile;
    c.OriginY = double(range.Y0) * Tile;
    c.Pixels.assign(static_cast<std::size_t>(c.Width) * c.Height, 0xffffffffu);
    for (int j = 0; j < range.Rows(); ++j) {
        for (int i = 0; i < range.Columns(); ++i) {
            QImage tile = tiles[static_cast<std::size_t>(j * range.Columns() + i)];
            if (tile.isNull()) continue;
            if (tile.size() != QSize(Tile, Tile))
                throw std::invalid_argument("Reprojection: a source tile is not 256 × 256");
            if (tile.format() != QImage::Format_RGB32 && tile.format() != QImage::Format_ARGB32)
                tile = tile.convertToFormat(QImage::Format_RGB32);
            for (int r = 0; r < Tile; ++r) {
                std::uint32_t* out = &c.Pixels[static_cast<std::size_t>(j * Tile + r) * c.Width +
                                               static_cast<std::size_t>(i) * Tile];
                std::memcpy(out, tile.constScanLine(r), Tile * sizeof(std::uint32_t));
            }
        }
    }
    return c;
}

// Bilinear tap at composite position (x, y) (pixel centres at .5), added to
// acc with 16 bits of fraction.
inline void AddBilinear(const TComposite& c, double x, double y, std::uint32_t acc[3]) {
    const double sx = std::clamp(x - 0.5, 0.0, double(c.Width - 1));
    const double sy = std::clamp(y - 0.5, 0.0, double(c.Height - 1));
    const int ix = static_cast<int>(sx), iy = static_cast<int>(sy);
    const auto wx = static_cast<std::uint32_t>((sx - ix) * 256.0 + 0.5);
    const auto wy = static_cast<std::uint32_t>((sy - iy) * 256.0 + 0.5);
    const int ix1 = std::min(ix + 1, c.Width - 1), iy1 = std::min(iy + 1, c.Height - 1);
    const std::uint32_t* row0 = &c.Pixels[static_cast<std::size_t>(iy) * c.Width];
    const std::uint32_t* row1 = &c.Pixels[static_cast<std::size_t>(iy1) * c.Width];
    const std::uint32_t p00 = row0[ix], p01 = row0[ix1], p10 = row1[ix], p11 = row1[ix1];
    const std::uint32_t w00 = (256 - wx) * (256 - wy), w01 = wx * (256 - wy);
    const std::uint32_t w10 = (256 - wx) * wy, w11 = wx * wy;
    for (int k = 0; k < 3; ++k) {
        const int shift = 16 - 8 * k; // red, green, blue
        acc[k] += ((p00 >> shift) & 0xffu) * w00 + ((p01 >> shift) & 0xffu) * w01 +
                  ((p10 >> shift) & 0xffu) * w10 + ((p11 >> shift) & 0xffu) * w11;
    }
}

} // namespace

int TSourceTileRange::WrappedColumn(int x) const {
    const int n = 1 << Zoom;
    const int w = x % n;
    return w < 0 ? w + n : w;
}

TReprojection::TReprojection(const TTileLocation& location, int maxZoom, int gridStep)
    : m_location(location), m_step(gridStep) {
    if (gridStep <= 0 || TileSize % gridStep != 0)
        throw std::invalid_argument("Reprojection: the control grid must divide the tile");
    m_nodesPerSide = TileSize / m_step + 1;

    const double s = location.Scale;
    const double centreE = (TileSize * double(location.Tile.X) + TileSize / 2.0) * s;
    const double centreN = (TileSize * double(location.Tile.Y) + TileSize / 2.0) * s;
    const TGeoPosition centre = UtmToGeographic(location.Zone, NorthAmerican1983, centreN, centreE);
    m_range.Zoom = MercatorZoomForScale(centre.Latitude, s, maxZoom);

    m_nodes.resize(static_cast<std::size_t>(m_nodesPerSide) * m_nodesPerSide);
    double minX = 1e300, maxX = -1e300, minY = 1e300, maxY = -1e300;
    for (int j = 0; j < m_nodesPerSide; ++j) {
        for (int i = 0; i < m_nodesPerSide; ++i) {
            const TMercatorPixel p = Exact(i * m_step, j * m_step);
            // Far off its zone a UTM grid no longer maps to the globe.
            if (!std::isfinite(p.X) || !std::isfinite(p.Y))
                throw TTileError("This tile lies too far from its zone to be on the globe.");
            m_nodes[static_cast<std::size_t>(j * m_nodesPerSide + i)] = p;
            minX = std::min(minX, p.X), maxX = std::max(maxX, p.X);
            minY = std::min(minY, p.Y), maxY = std::max(maxY, p.Y);
        }
    }
    // A target pixel at ratio r touches about r / 2 source pixels beyond
    // its centre, and a bilinear tap one more.
    const TMercatorPixel c = Interpolated(TileSize / 2.0, TileSize / 2.0);
    const TMercatorPixel e = Interpolated(TileSize / 2.0 + 1.0, TileSize / 2.0);
    const TMercatorPixel n = Interpolated(TileSize / 2.0, TileSize / 2.0 + 1.0);
    m_ratio = std::sqrt(std::fabs((e.X - c.X) * (n.Y - c.Y) - (e.Y - c.Y) * (n.X - c.X)));
    const double margin = 1.0 + m_ratio / 2.0;
    const int rows = 1 << m_range.Zoom;
    m_range.X0 = static_cast<int>(std::floor((minX - margin) / Tile));
    m_range.X1 = static_cast<int>(std::floor((maxX + margin) / Tile));
    m_range.Y0 = std::clamp(static_cast<int>(std::floor((minY - margin) / Tile)), 0, rows - 1);
    m_range.Y1 = std::clamp(static_cast<int>(std::floor((maxY + margin) / Tile)), 0, rows - 1);
}

TMercatorPixel TReprojection::Exact(double u, double v) const {
    const double s = m_location.Scale;
    const double easting = TileSize * double(m_location.Tile.X) * s + u * s;
    const double northing = TileSize * (double(m_location.Tile.Y) + 1.0) * s - v * s;
    const TGeoPosition g = UtmToGeographic(m_location.Zone, NorthAmerican1983, northing, easting);
    return GeographicToMercator(g.Latitude, g.Longitude, m_range.Zoom);
}

TMercatorPixel TReprojection::Interpolated(double u, double v) const {
    const int last = m_nodesPerSide - 2;
    const int i = std::clamp(static_cast<int>(std::floor(u / m_step)), 0, last);
    const int j = std::clamp(static_cast<int>(std::floor(v / m_step)), 0, last);
    const double tu = u / m_step - i, tv = v / m_step - j;
    const TMercatorPixel a = Node(i, j), b = Node(i + 1, j);
    const TMercatorPixel c = Node(i, j + 1), d = Node(i + 1, j + 1);
    const auto mix = [&](double pa, double pb, double pc, double pd) {
        const double top = pa + (pb - pa) * tu;
        const double bottom = pc + (pd - pc) * tu;
        return top + (bottom - top) * tv;
    };
    return {mix(a.X, b.X, c.X, d.X), mix(a.Y, b.Y, c.Y, d.Y)};
}

void TReprojection::Render(const std::vector<QImage>& tiles, QImage& bitmap) const {
    const TComposite composite = Compose(m_range, tiles);
    if (bitmap.size() != QSize(TileSize, TileSize) || bitmap.format() != QImage::Format_RGB32)
        bitmap = QImage(TileSize, TileSize, QImage::Format_RGB32);
    if (bitmap.isNull()) throw std::bad_alloc();

    // Footprint samples per axis, and their offsets in target pixels.
    const int n = m_ratio > AveragingRatio ? static_cast<int>(std::ceil(m_ratio)) : 1;
    double offsets[8];
    const int samples = std::min(n, 8);
    for (int k = 0; k < samples; ++k)
        offsets[k] = (k + 0.5) / samples - 0.5;
    const std::uint32_t scale = 65536u * static_cast<std::uint32_t>(samples * samples);

    for (int r = 0; r < TileSize; ++r) {
        const double v = r + 0.5;
        const int j = std::min(static_cast<int>(v / m_step), m_nodesPerSide - 2);
        const double tv = v / m_step - j;
        auto* out = reinterpret_cast<QRgb*>(bitmap.scanLine(r));
        for (int i = 0; i + 1 < m_nodesPerSide; ++i) {
            // Along a row the control cell's mapping is linear.
            const TMercatorPixel a = Node(i, j), b = Node(i + 1, j);
            const TMercatorPixel c = Node(i, j + 1), d = Node(i + 1, j + 1);
            const double leftX = a.X + (c.X - a.X) * tv, leftY = a.Y + (c.Y - a.Y) * tv;
            const double rightX = b.X + (d.X - b.X) * tv, rightY = b.Y + (d.Y - b.Y) * tv;
            const double duX = (rightX - leftX) / m_step, duY = (rightY - leftY) / m_step;
            const double dvX = ((c.X - a.X) + (d.X - b.X)) / (2.0 * m_step);
            const double dvY = ((c.Y - a.Y) + (d.Y - b.Y)) / (2.0 * m_step);
            for (int col = i * m_step; col < (i + 1) * m_step; ++col) {
                const double du = col + 0.5 - i * m_step;
                const double x = leftX + duX * du - composite.OriginX;
                const double y = leftY + duY * du - composite.OriginY;
                std::uint32_t acc[3] = {0, 0, 0};
                if (samples == 1) {
                    AddBilinear(composite, x, y, acc);
                } else {
                    for (int sv = 0; sv < samples; ++sv)
                        for (int su = 0; su < samples; ++su)
                            AddBilinear(composite, x + duX * offsets[su] + dvX * offsets[sv],
                                        y + duY * offsets[su] + dvY * offsets[sv], acc);
                }
                const auto channel = [&](int k) {
                    return static_cast<int>((acc[k] + scale / 2) / scale);
                };
                out[col] = qRgb(channel(0), channel(1), channel(2));
            }
        }
    }
}

void ConvertToGrey(QImage& bitmap) {
    if (bitmap.format() != QImage::Format_RGB32)
        bitmap = bitmap.convertToFormat(QImage::Format_RGB32);
    for (int r = 0; r < bitmap.height(); ++r) {
        auto* px = reinterpret_cast<QRgb*>(bitmap.scanLine(r));
        for (int c = 0; c < bitmap.width(); ++c) {
            // Rec. 601 luma, in integers.
            const int y =
                (299 * qRed(px[c]) + 587 * qGreen(px[c]) + 114 * qBlue(px[c]) + 500) / 1000;
            px[c] = qRgb(y, y, y);
        }
    }
}

} // namespace varrow
