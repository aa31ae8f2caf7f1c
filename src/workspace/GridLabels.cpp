#include "GridLabels.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QSize>

#include <algorithm>
#include <cmath>

namespace varrow {

namespace {

constexpr int FontPixels = 11;
constexpr int Margin = 2; // between the plate and the map's edge
constexpr int Padding = 2;

QRectF PlateOf(const QFontMetrics& metrics, const QSize& map, const TGridLabel& label) {
    const QSizeF size(metrics.horizontalAdvance(label.Text) + 2 * Padding,
                      metrics.height() + 2 * Padding - 2);
    QPointF corner;
    switch (label.Edge) {
    case TMapEdge::Top:
        corner = QPointF(label.At - size.width() / 2, Margin);
        break;
    case TMapEdge::Bottom:
        corner = QPointF(label.At - size.width() / 2, map.height() - Margin - size.height());
        break;
    case TMapEdge::Left:
        corner = QPointF(Margin, label.At - size.height() / 2);
        break;
    case TMapEdge::Right:
        corner = QPointF(map.width() - Margin - size.width(), label.At - size.height() / 2);
        break;
    }
    // Inside the map, also for a line close to a corner.
    corner.setX(std::clamp(corner.x(), 0.0, std::max(0.0, map.width() - size.width())));
    corner.setY(std::clamp(corner.y(), 0.0, std::max(0.0, map.height() - size.height())));
    return QRectF(corner, size);
}

} // namespace

void DrawGridLabels(QPainter& painter, const QSize& map, const std::vector<TGridLabel>& labels) {
    if (labels.empty()) return;
    painter.save();
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(FontPixels);
    font.setBold(true);
    painter.setFont(font);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    const QFontMetrics metrics(font);
    std::vector<QRectF> drawn;
    for (const TGridLabel& label : labels) {
        const QRectF plate = PlateOf(metrics, map, label);
        bool overlaps = false;
        for (const QRectF& other : drawn)
            overlaps = overlaps || other.adjusted(-2, -2, 2, 2).intersects(plate);
        if (overlaps) continue;
        drawn.push_back(plate);
        painter.fillRect(plate, QColor(255, 255, 255, 215));
        painter.setPen(Qt::black);
        painter.drawText(plate, Qt::AlignCenter, label.Text);
    }
    painter.restore();
}

QString DegreesMinutesLabel(double degrees, bool latitude) {
    const QChar hemisphere = latitude ? (degrees < 0 ? QLatin1Char('S') : QLatin1Char('N'))
                                      : (degrees < 0 ? QLatin1Char('W') : QLatin1Char('E'));
    // Whole seconds: grid values are multiples of 7.5 minutes.
    const long long seconds = std::llround(std::fabs(degrees) * 3600.0);
    const long long d = seconds / 3600, m = seconds / 60 % 60, s = seconds % 60;
    QString text = QStringLiteral("%1\u00B0%2'").arg(d).arg(m, 2, 10, QLatin1Char('0'));
    if (s != 0) text += QStringLiteral("%1\"").arg(s, 2, 10, QLatin1Char('0'));
    if (seconds != 0) text += hemisphere;
    return text;
}

} // namespace varrow
