#pragma once

// Small point and vector helpers shared by the measuring tool and the print
// preview. Integer points are mosaic or device pixels; float pairs carry
// scales and sizes between them. QPoint's own operator* rounds, so the
// scaled and divided forms here truncate toward zero instead, as every pixel
// computation of the program does.

#include <QPoint>
#include <QPointF>

#include <cmath>
#include <limits>
#include <type_traits>

namespace varrow {

static_assert(std::is_same_v<qreal, double>, "float pairs must be 64-bit floats");

// Truncates toward zero; values beyond the int range saturate instead of
// being undefined.
inline int TruncToInt(double v) {
    if (std::isnan(v)) return 0;
    if (v >= static_cast<double>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (v <= static_cast<double>(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return static_cast<int>(v);
}

inline QPoint PointPlus(QPoint p, QPoint offset) {
    return {p.x() + offset.x(), p.y() + offset.y()};
}

inline QPoint PointMinus(QPoint a, QPoint b) {
    return {a.x() - b.x(), a.y() - b.y()};
}

inline QPointF ToFloatPoint(QPoint p) {
    return {static_cast<double>(p.x()), static_cast<double>(p.y())};
}

inline QPointF MakeFloatPoint(double x, double y) {
    return {x, y};
}

inline QPointF FloatMinus(QPointF a, QPointF b) {
    return {a.x() - b.x(), a.y() - b.y()};
}

inline QPointF FloatDivide(QPointF a, QPointF b) {
    return {a.x() / b.x(), a.y() / b.y()};
}

inline QPointF FloatTimes(QPointF a, QPointF b) {
    return {a.x() * b.x(), a.y() * b.y()};
}

inline QPoint PointScaled(QPoint p, double f) {
    return {TruncToInt(p.x() * f), TruncToInt(p.y() * f)};
}

inline QPoint PointDivided(QPoint p, double f) {
    return {TruncToInt(p.x() / f), TruncToInt(p.y() / f)};
}

} // namespace varrow
