#pragma once

#include <QIcon>

#include <functional>

class QPainter;

namespace varrow {

// An icon drawn at run time, so that it stays sharp at every screen
// resolution: draw paints on a 16 × 16 square, scaled to each size.
QIcon DrawnIcon(const std::function<void(QPainter&)>& draw);

// A plain arrow pointing at the given compass bearing (0 = up, 90 = right).
QIcon ArrowIcon(double bearingDegrees, const QColor& colour = QColor(40, 40, 40));

} // namespace varrow
