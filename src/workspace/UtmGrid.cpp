#include "UtmGrid.h"

#include "workspace/GridOverlay.h"

#include <QPainter>

#include <cmath>

namespace varrow {

namespace {

constexpr double Spacings[] = {100.0, 1000.0, 10000.0, 100000.0};
constexpr double LeastPixels = 40.0;

// Lines every spacing metres from start over count pixels of scale metres,
// limited to the metres [low, high).
std::vector<TUtmGridLine> Lines(double start, int count, double scale, double spacing,
                                double low, double high, bool downwards) {
    std::vector<TUtmGridLine> lines;
    const double end = start + count * scale;
    for (double m = std::ceil(start / spacing) * spacing; m < end; m += spacing) {
        if (m < low || m >= high) continue;
        // The pixel on the far side of the line: east of an easting, north
        // of a northing, as the pixel at the map's corner is.
        const int offset = static_cast<int>(std::lround((m - start) / scale));
        lines.push_back({downwards ? count - 1 - offset : offset, m});
    }
    return lines;
}

} // namespace

double UtmGridSpacing(double scale) {
    for (const double spacing : Spacings)
        if (spacing / scale >= LeastPixels) return spacing;
    return Spacings[std::size(Spacings) - 1];
}

TUtmGrid UtmGridOf(const TMapViewState& view, QSize mosaic) {
    TUtmGrid grid;
    grid.Spacing = UtmGridSpacing(view.Scale);
    grid.Eastings =
        Lines(view.Easting, mosaic.width(), view.Scale, grid.Spacing, 0.0, ZoneSpan, false);
    // Rows count downwards from the map's top; northings grow upwards.
    grid.Northings = Lines(view.Northing, mosaic.height(), view.Scale, grid.Spacing, -1e300,
                           1e300, true);
    return grid;
}

QString UtmLabel(double metres, double spacing, bool easting, bool full) {
    if (full)
        return QStringLiteral("%1m%2")
            .arg(static_cast<long long>(std::llround(metres)))
            .arg(easting ? QLatin1Char('E') : QLatin1Char('N'));
    if (spacing < 1000.0) return QString::number(metres / 1000.0, 'f', 1);
    return QString::number(static_cast<long long>(std::llround(metres / 1000.0)));
}

std::vector<TGridLabel> UtmGridLabels(const TUtmGrid& grid) {
    std::vector<TGridLabel> labels;
    // The full values first, so that they win where labels would overlap.
    for (const bool full : {true, false}) {
        for (size_t i = 0; i < grid.Eastings.size(); ++i) {
            if ((i == 0) != full) continue;
            const TUtmGridLine& line = grid.Eastings[i];
            const QString text = UtmLabel(line.Metres, grid.Spacing, true, full);
            labels.push_back({text, TMapEdge::Bottom, double(line.Pixel)});
            labels.push_back({UtmLabel(line.Metres, grid.Spacing, true, false), TMapEdge::Top,
                              double(line.Pixel)});
        }
        for (size_t i = 0; i < grid.Northings.size(); ++i) {
            if ((i == 0) != full) continue;
            const TUtmGridLine& line = grid.Northings[i];
            const QString text = UtmLabel(line.Metres, grid.Spacing, false, full);
            labels.push_back({text, TMapEdge::Left, double(line.Pixel)});
            labels.push_back({UtmLabel(line.Metres, grid.Spacing, false, false), TMapEdge::Right,
                              double(line.Pixel)});
        }
    }
    return labels;
}

void DrawUtmGrid(QImage& mosaic, const TMapViewState& view) {
    if (mosaic.isNull()) return;
    const TUtmGrid grid = UtmGridOf(view, mosaic.size());
    QPainter painter(&mosaic);
    const int w = mosaic.width(), h = mosaic.height();
    for (const TUtmGridLine& line : grid.Eastings)
        DrawGridLine(painter, line.Pixel, 0, line.Pixel, h, Qt::black, Qt::white, 1);
    for (const TUtmGridLine& line : grid.Northings)
        DrawGridLine(painter, 0, line.Pixel, w, line.Pixel, Qt::black, Qt::white, 1);
    DrawGridLabels(painter, mosaic.size(), UtmGridLabels(grid));
}

} // namespace varrow
