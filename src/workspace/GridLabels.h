#pragma once

// The labels of the grids at the map's edges: numbers on a pale plate, so
// that they read on topographic and aerial maps alike, drawn inside the map.

#include <QPointF>
#include <QString>

#include <vector>

class QPainter;
class QSize;

namespace varrow {

enum class TMapEdge { Top, Bottom, Left, Right };

struct TGridLabel {
    QString Text;
    TMapEdge Edge = TMapEdge::Bottom;
    double At = 0.0; // x along the top or bottom edge, y along the left or right edge
};

// Draws the labels into a map of the given size; a label whose plate would
// overlap one drawn before it on the same edge is left out.
void DrawGridLabels(QPainter& painter, const QSize& map, const std::vector<TGridLabel>& labels);

// 106°52'30"W, 32°15'N: degrees and minutes, and seconds when there are any.
QString DegreesMinutesLabel(double degrees, bool latitude);

} // namespace varrow
