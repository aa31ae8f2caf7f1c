#include "GridOverlay.h"

#include "workspace/GridLabels.h"
#include "workspace/UtmGrid.h"

#include <QLineF>
#include <QPainter>
#include <QPen>

#include <cmath>

namespace varrow {

const QColor GridColourA(255, 0, 0);
const QColor GridColourB(0, 0, 255);

namespace {

constexpr double Spacings[] = {0.125, 0.25, 0.5, 1.0}; // the latitude/longitude items
constexpr double DefaultSpacing = 0.125;

// n dotted strokes along line, each one pixel right of and below the one before.
void DrawStrokes(QPainter& painter, const QLineF& line, const QColor& a, const QColor& b, int n) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setBackgroundMode(Qt::OpaqueMode);
    QPen pen;
    pen.setWidth(1);
    pen.setCapStyle(Qt::FlatCap);
    // Three pixels of each colour: long enough to tell the colours apart,
    // short enough to keep the line from hiding the map beneath it.
    pen.setDashPattern({3.0, 3.0});
    for (int i = 0; i < n; ++i) {
        const bool odd = (i % 2) != 0;
        pen.setColor(odd ? a : b);
        painter.setPen(pen);
        painter.setBackground(odd ? b : a);
        painter.drawLine(line.translated(i, i));
    }
    painter.restore();
}

// The line through p and q, lengthened past both ends so that it crosses the
// whole mosaic. The ends come from the corner latitudes and longitudes, and
// where the grid north of the map is not true north they fall short of the
// mosaic's edge; the map must not show a grid line stopping short of it.
QLineF Across(QPoint p, QPoint q, const QSize& mosaic) {
    const QLineF line(p, q);
    const double length = line.length();
    if (length == 0.0) return line;
    const QPointF reach = (line.p2() - line.p1()) * ((mosaic.width() + mosaic.height()) / length);
    return {line.p1() - reach, line.p2() + reach};
}

// Labels for where a meridian meets the top and bottom edges (a parallel the
// left and right ones), when it does within the map.
void LabelWhereItMeets(const QLineF& line, const QSize& map, const QString& text, bool meridian,
                       std::vector<TGridLabel>& labels) {
    const QPointF d = line.p2() - line.p1();
    if (meridian ? d.y() == 0.0 : d.x() == 0.0) return;
    const std::pair<double, TMapEdge> edges[] = {
        meridian ? std::pair{0.0, TMapEdge::Top} : std::pair{0.0, TMapEdge::Left},
        meridian ? std::pair{double(map.height()), TMapEdge::Bottom}
                 : std::pair{double(map.width()), TMapEdge::Right}};
    for (const auto& [edge, side] : edges) {
        const double t = meridian ? (edge - line.p1().y()) / d.y() : (edge - line.p1().x()) / d.x();
        const double at = meridian ? line.p1().x() + t * d.x() : line.p1().y() + t * d.y();
        if (at >= 0 && at < (meridian ? map.width() : map.height()))
            labels.push_back({text, side, at});
    }
}

bool OnTheGlobe(const TMapPosition& p) {
    // Also false for NaN, which would never end the loops below.
    return std::fabs(p.Longitude) <= 180.0 && std::fabs(p.Latitude) <= 90.0;
}

} // namespace

QStringList GridTypeCaptions() {
    return {QStringLiteral("7.5 Minute"), QStringLiteral("15 Minute"), QStringLiteral("30 Minute"),
            QStringLiteral("1 Degree"), QStringLiteral("Tiles"), QStringLiteral("UTM")};
}

double GridSpacing(int gridItem) {
    if (gridItem < 0 || gridItem >= static_cast<int>(std::size(Spacings))) return DefaultSpacing;
    return Spacings[gridItem];
}

int GridLineWidth(int scaleItem) {
    switch (scaleItem) {
    case 0:
    case 1:
        return 1;
    case 2:
        return 2;
    default:
        return 3;
    }
}

bool WantsTileOutlines(bool showGrid, int gridItem) {
    return showGrid && gridItem == static_cast<int>(TGridType::Tiles);
}

bool WantsLatLongGrid(bool showGrid, int gridItem) {
    return showGrid && gridItem != static_cast<int>(TGridType::Tiles) &&
           gridItem != static_cast<int>(TGridType::Utm);
}

bool WantsUtmGrid(bool showGrid, int gridItem) {
    return showGrid && gridItem == static_cast<int>(TGridType::Utm);
}

bool DrawGridOverlay(QImage& mosaic, const TMapViewState& view, const TGridOptions& options) {
    if (mosaic.isNull()) return false;
    if (options.UtmGrid()) {
        DrawUtmGrid(mosaic, view);
        return true;
    }
    if (!options.LatLongGrid()) return false;
    DrawLatLongGrid(mosaic, view, GridSpacing(static_cast<int>(options.Type)),
                    GridLineWidth(ScaleIndexOf(view.Scale)));
    return true;
}

double FirstGridValue(double value, double spacing) {
    const double k = std::trunc(std::fabs(value) / spacing);
    double m = spacing * k;
    const double q = value / spacing;
    if (q - std::trunc(q) != 0.0) m += spacing;
    return std::copysign(m, value);
}

void DrawGridLine(QPainter& painter, int x1, int y1, int x2, int y2, const QColor& a,
                  const QColor& b, int n) {
    DrawStrokes(painter, QLineF(x1, y1, x2, y2), a, b, n);
}

void DrawLatLongGrid(QImage& mosaic, const TMapViewState& view, double spacing, int lineWidth) {
    if (mosaic.isNull() || !(spacing >= GridSpacing(0))) return;
    const int height = mosaic.height();
    const TMapPosition topLeft = view.PixelToPosition(0, 0, height);
    const TMapPosition bottomRight = view.PixelToPosition(mosaic.width(), height, height);
    if (!OnTheGlobe(topLeft) || !OnTheGlobe(bottomRight)) return;
    // A map across the date line reads 179 degrees at its west edge and -179
    // at its east edge; its meridians cannot be counted from one to the other.
    if (topLeft.Longitude > bottomRight.Longitude) return;

    QPainter painter(&mosaic);
    std::vector<TGridLabel> labels;
    // At least one line of each kind, even when it lies outside the mosaic.
    double g = FirstGridValue(topLeft.Longitude, spacing);
    do {
        const QPoint p = view.PositionToPixel(topLeft.Latitude, g, height);
        const QPoint q = view.PositionToPixel(bottomRight.Latitude, g, height);
        const QLineF line = Across(p, q, mosaic.size());
        DrawStrokes(painter, line, GridColourA, GridColourB, lineWidth);
        LabelWhereItMeets(line, mosaic.size(), DegreesMinutesLabel(g, false), true, labels);
        g += spacing;
    } while (!(g > bottomRight.Longitude));

    double h = FirstGridValue(bottomRight.Latitude, spacing);
    do {
        const QPoint p = view.PositionToPixel(h, topLeft.Longitude, height);
        const QPoint q = view.PositionToPixel(h, bottomRight.Longitude, height);
        const QLineF line = Across(p, q, mosaic.size());
        DrawStrokes(painter, line, GridColourA, GridColourB, lineWidth);
        LabelWhereItMeets(line, mosaic.size(), DegreesMinutesLabel(h, true), false, labels);
        h += spacing;
    } while (!(h > topLeft.Latitude));
    DrawGridLabels(painter, mosaic.size(), labels);
}

} // namespace varrow
