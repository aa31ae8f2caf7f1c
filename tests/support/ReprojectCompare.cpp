#include "ReprojectCompare.h"

#include "demo/TileRenderer.h"
#include "geo/Georef.h"
#include "support/ImageCompare.h"

#include <cmath>
#include <cstdlib>
#include <limits>

namespace varrow::test {

namespace {

// Mean difference of a's inner pixels from b's shifted by (dx, dy).
double ShiftedError(const QImage& a, const QImage& b, int dx, int dy) {
    constexpr int Border = 10;
    double sum = 0;
    for (int y = Border; y < a.height() - Border; ++y)
        for (int x = Border; x < a.width() - Border; ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x + dx, y + dy);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) +
                   std::abs(qBlue(p) - qBlue(q));
        }
    return sum / (3.0 * (a.width() - 2 * Border) * (a.height() - 2 * Border));
}

QImage Shrunk(const QImage& image) {
    return image.convertToFormat(QImage::Format_RGB32)
        .scaled(image.width() / 4, image.height() / 4, Qt::IgnoreAspectRatio,
                Qt::SmoothTransformation);
}

} // namespace

TTileLocation TileAt(double latitude, double longitude, double scale, TTileTheme theme, int zone) {
    const TUtmPosition u =
        zone == 0 ? GeographicToUtm(NorthAmerican1983, latitude, longitude)
                  : GeographicToUtmInZone(zone, NorthAmerican1983, latitude, longitude);
    TTileLocation location;
    location.Theme = theme;
    location.Scale = scale;
    location.Zone = u.Zone;
    TPoint offset;
    TileFromUtm(u.Easting, u.Northing, scale, location.Tile, offset);
    return location;
}

std::vector<QImage> PaintSourceTiles(const TReprojection& plan, TTileTheme theme) {
    const TSourceTileRange& r = plan.SourceTiles();
    // The fixture's layers: topo, and the imagery that both aerial themes use.
    const int layer = theme == TTileTheme::Topo ? ThemeCode(TTileTheme::Topo)
                                                : ThemeCode(TTileTheme::ColorAerial);
    std::vector<QImage> tiles;
    for (int y = r.Y0; y <= r.Y1; ++y)
        for (int x = r.X0; x <= r.X1; ++x)
            tiles.push_back(demo::RenderMercatorTile(layer, r.Zoom, r.WrappedColumn(x), y));
    return tiles;
}

TReprojectedTile ReprojectDemoTile(const TTileLocation& location, int maxZoom) {
    const TReprojection plan(location, maxZoom);
    TReprojectedTile t;
    t.Zoom = plan.Zoom();
    t.Ratio = plan.Ratio();
    plan.Render(PaintSourceTiles(plan, location.Theme), t.Reprojected);
    const demo::TileAddress address{ThemeCode(location.Theme), ScaleCode(location.Scale),
                                    location.Tile.X, location.Tile.Y, location.Zone};
    t.Direct = demo::RenderTile(address, {false, false});
    t.Mean = MeanError(t.Reprojected, t.Direct);
    t.Blurred = MeanError(Shrunk(t.Reprojected), Shrunk(t.Direct));
    double best = std::numeric_limits<double>::max();
    for (int dy = -2; dy <= 2; ++dy)
        for (int dx = -2; dx <= 2; ++dx) {
            const double e = ShiftedError(t.Reprojected, t.Direct, dx, dy);
            if (e < best) best = e, t.ShiftX = dx, t.ShiftY = dy;
        }
    return t;
}

double ControlGridError(const TReprojection& plan) {
    double worst = 0;
    for (int r = 0; r < TileSize; ++r)
        for (int c = 0; c < TileSize; ++c) {
            const TMercatorPixel e = plan.Exact(c + 0.5, r + 0.5);
            const TMercatorPixel i = plan.Interpolated(c + 0.5, r + 0.5);
            worst = std::max(worst, std::hypot(e.X - i.X, e.Y - i.Y));
        }
    return worst;
}

} // namespace varrow::test
