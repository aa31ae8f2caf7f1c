#include "KmlWarp.h"

#include "geo/Georef.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace varrow {

namespace {

constexpr int ControlStep = 16; // overlay pixels between exact points

QRgb Bilinear(const QImage& image, double x, double y) {
    // Pixel centres lie at half-integer positions.
    const double fx = x - 0.5, fy = y - 0.5;
    const int x0 = static_cast<int>(std::floor(fx)), y0 = static_cast<int>(std::floor(fy));
    const double tx = fx - x0, ty = fy - y0;
    const int w = image.width(), h = image.height();
    auto at = [&](int px, int py) {
        px = std::clamp(px, 0, w - 1);
        py = std::clamp(py, 0, h - 1);
        return reinterpret_cast<const QRgb*>(image.constScanLine(py))[px];
    };
    const QRgb a = at(x0, y0), b = at(x0 + 1, y0), c = at(x0, y0 + 1), d = at(x0 + 1, y0 + 1);
    auto mix = [&](int (*channel)(QRgb)) {
        const double top = channel(a) * (1 - tx) + channel(b) * tx;
        const double bottom = channel(c) * (1 - tx) + channel(d) * tx;
        return static_cast<int>(std::lround(top * (1 - ty) + bottom * ty));
    };
    return qRgb(mix(&qRed), mix(&qGreen), mix(&qBlue));
}

} // namespace

TLatLongWarp::TLatLongWarp(const TMapViewState& loadedView, QSize mosaicSize)
    : m_view(loadedView), m_mosaic(mosaicSize) {
    const double w = mosaicSize.width(), h = mosaicSize.height();
    const double s = m_view.Scale;
    auto geo = [&](double x, double y) {
        return UtmToGeographic(m_view.Zone, NorthAmerican1983, m_view.Northing + (h - y) * s,
                               m_view.Easting + x * s);
    };
    // The extremes lie on the map's edges: walk them.
    double west = 1e9, east = -1e9, south = 1e9, north = -1e9;
    const int steps = 64;
    for (int i = 0; i <= steps; ++i) {
        const double t = double(i) / steps;
        for (const QPointF p : {QPointF(t * w, 0), QPointF(t * w, h), QPointF(0, t * h),
                                QPointF(w, t * h)}) {
            const TGeoPosition g = geo(p.x(), p.y());
            west = std::min(west, g.Longitude);
            east = std::max(east, g.Longitude);
            south = std::min(south, g.Latitude);
            north = std::max(north, g.Latitude);
        }
    }
    m_box.West = west;
    m_box.East = east;
    m_box.North = north;
    m_box.South = south;
    // About one mosaic pixel per overlay pixel, measured at the map's middle.
    const TGeoPosition c = geo(w / 2, h / 2);
    const TGeoPosition cx = geo(w / 2 + 1, h / 2);
    const TGeoPosition cy = geo(w / 2, h / 2 - 1);
    const double pixelLon = std::hypot(cx.Longitude - c.Longitude, cx.Latitude - c.Latitude);
    const double pixelLat = std::hypot(cy.Latitude - c.Latitude, cy.Longitude - c.Longitude);
    m_size = QSize(std::max(1, static_cast<int>(std::ceil((east - west) / pixelLon))),
                   std::max(1, static_cast<int>(std::ceil((north - south) / pixelLat))));
    m_dLon = (east - west) / m_size.width();
    m_dLat = (north - south) / m_size.height();
}

QPointF TLatLongWarp::MosaicPointOf(double column, double row) const {
    const double lon = m_box.West + (column + 0.5) * m_dLon;
    const double lat = m_box.North - (row + 0.5) * m_dLat;
    const TUtmPosition u = GeographicToUtmInZone(m_view.Zone, NorthAmerican1983, lat, lon);
    return {(u.Easting - m_view.Easting) / m_view.Scale,
            m_mosaic.height() - (u.Northing - m_view.Northing) / m_view.Scale};
}

QPointF TLatLongWarp::OverlayPointOf(QPointF mosaic) const {
    const TGeoPosition g =
        UtmToGeographic(m_view.Zone, NorthAmerican1983,
                        m_view.Northing + (m_mosaic.height() - mosaic.y()) * m_view.Scale,
                        m_view.Easting + mosaic.x() * m_view.Scale);
    return {(g.Longitude - m_box.West) / m_dLon, (m_box.North - g.Latitude) / m_dLat};
}

QImage TLatLongWarp::Warp(const QImage& mosaic, const TSaveProgress* progress) const {
    QImage out(m_size, QImage::Format_ARGB32);
    if (out.isNull() || mosaic.isNull()) return out;
    const int cols = (m_size.width() + ControlStep - 1) / ControlStep + 1;
    const int rows = (m_size.height() + ControlStep - 1) / ControlStep + 1;
    // One row of exact points at a time, above and below the band being drawn.
    std::vector<QPointF> above(static_cast<size_t>(cols)), below(static_cast<size_t>(cols));
    auto exactRow = [&](int r, std::vector<QPointF>& points) {
        for (int c = 0; c < cols; ++c)
            points[static_cast<size_t>(c)] = MosaicPointOf(c * ControlStep, r * ControlStep);
    };
    exactRow(0, above);
    const QRectF inside(0, 0, mosaic.width(), mosaic.height());
    for (int r = 0; r + 1 < rows; ++r) {
        if (progress && *progress && !(*progress)(100 * r / rows)) throw ESaveCancelled();
        exactRow(r + 1, below);
        for (int y = r * ControlStep; y < std::min(m_size.height(), (r + 1) * ControlStep); ++y) {
            const double ty = double(y - r * ControlStep) / ControlStep;
            auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
            for (int x = 0; x < m_size.width(); ++x) {
                const int c = x / ControlStep;
                const double tx = double(x - c * ControlStep) / ControlStep;
                const QPointF p = (above[c] * (1 - tx) + above[c + 1] * tx) * (1 - ty) +
                                  (below[c] * (1 - tx) + below[c + 1] * tx) * ty;
                line[x] = inside.contains(p) ? Bilinear(mosaic, p.x(), p.y()) : 0u;
            }
        }
        above.swap(below);
    }
    return out;
}

} // namespace varrow
