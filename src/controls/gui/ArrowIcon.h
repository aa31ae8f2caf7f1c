#pragma once

#include <QIcon>

namespace varrow {

// A plain arrow pointing at the given compass bearing (0 = up, 90 = right),
// drawn at run time so that it stays sharp at every screen resolution.
QIcon ArrowIcon(double bearingDegrees, const QColor& colour = QColor(40, 40, 40));

} // namespace varrow
