#include "MeasureTool.h"

#include "MapCanvas.h"
#include "PointMath.h"

#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <mutex>

namespace varrow {

namespace {

constexpr double DegreesPerRadian = 57.295779513082320877;

// Pixels of the line from a to b as the program draws lines: the start pixel
// drawn and the end pixel not (a polyline does not draw a vertex twice), one
// pixel per step along the longer axis, across it the pixel nearest the true
// line, halves away from the start. Only pixels inside clip are produced, so
// a vertex dragged far off the map costs no more than the map is wide.
void LinePixels(QPoint a, QPoint b, const QRect& clip, std::vector<QPoint>& out) {
    const std::int64_t dx = std::int64_t{b.x()} - a.x();
    const std::int64_t dy = std::int64_t{b.y()} - a.y();
    const std::int64_t adx = dx < 0 ? -dx : dx;
    const std::int64_t ady = dy < 0 ? -dy : dy;
    const bool alongX = adx >= ady;
    const std::int64_t steps = alongX ? adx : ady;
    if (steps == 0) return;
    const std::int64_t major = alongX ? adx : ady;
    const std::int64_t minor = alongX ? ady : adx;
    const int majorSign = (alongX ? dx : dy) < 0 ? -1 : 1;
    const int minorSign = (alongX ? dy : dx) < 0 ? -1 : 1;
    const std::int64_t start = alongX ? a.x() : a.y();
    const std::int64_t across = alongX ? a.y() : a.x();
    const std::int64_t low = alongX ? clip.left() : clip.top();
    const std::int64_t high = alongX ? clip.right() : clip.bottom();
    // Steps whose major coordinate lies inside the clip.
    std::int64_t first = majorSign > 0 ? low - start : start - high;
    std::int64_t last = majorSign > 0 ? high - start : start - low;
    first = std::max<std::int64_t>(first, 0);
    last = std::min<std::int64_t>(last, steps - 1);
    for (std::int64_t i = first; i <= last; ++i) {
        const std::int64_t m = start + majorSign * i;
        const std::int64_t n = across + minorSign * ((2 * i * minor + major) / (2 * major));
        const QPoint p = alongX ? QPoint(static_cast<int>(m), static_cast<int>(n))
                                : QPoint(static_cast<int>(n), static_cast<int>(m));
        if (clip.contains(p)) out.push_back(p);
    }
}

class TFigurePainter {
public:
    TFigurePainter(QImage& picture, int selected)
        : m_painter(&picture), m_clip(picture.rect()), m_selected(selected) {
        m_painter.setRenderHint(QPainter::Antialiasing, false);
        // Copy mode: what is drawn replaces the map's pixels.
        m_painter.setCompositionMode(QPainter::CompositionMode_Source);
    }

    void BandLine(QPoint a, QPoint b) {
        const QPoint d =
            std::abs(std::int64_t{b.y()} - a.y()) > std::abs(std::int64_t{b.x()} - a.x())
                ? QPoint(1, 0)
                : QPoint(0, 1);
        for (const TBandStroke& stroke : TMeasureTool::BandStyle) {
            if (stroke.Style == TPenStyle::Clear) continue;
            const QPoint offset(d.x() * stroke.Side, d.y() * stroke.Side);
            m_pixels.clear();
            LinePixels(PointPlus(a, offset), PointPlus(b, offset), m_clip, m_pixels);
            if (m_pixels.empty()) continue;
            m_painter.setPen(QPen(QColor(stroke.Colour), 1));
            m_painter.drawPoints(m_pixels.data(), static_cast<int>(m_pixels.size()));
        }
    }

    void VertexMark(QPoint v, int index) {
        constexpr int r = TMeasureTool::MarkRadius;
        m_painter.setBrush(QColor(index == m_selected ? TMeasureTool::SelectedMarkColour
                                                      : TMeasureTool::MarkColour));
        m_painter.setPen(QPen(QColor(TMeasureTool::MarkOutlineColour), 1));
        // A one-pixel outline of a w-wide rectangle covers w + 1 pixels: this
        // fills exactly the box from v - r to v + r, right and bottom excluded.
        m_painter.drawEllipse(QRect(v.x() - r, v.y() - r, 2 * r - 1, 2 * r - 1));
        m_painter.setBrush(Qt::NoBrush);
    }

private:
    QPainter m_painter;
    QRect m_clip;
    int m_selected;
    std::vector<QPoint> m_pixels;
};

} // namespace

TShiftState TShiftState::FromQt(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers) {
    TShiftState s;
    s.Left = buttons.testFlag(Qt::LeftButton);
    s.Right = buttons.testFlag(Qt::RightButton);
    s.Middle = buttons.testFlag(Qt::MiddleButton);
    s.Ctrl = modifiers.testFlag(Qt::ControlModifier);
    return s;
}

void TMeasureTool::Clear() {
    Selected = -1;
    Points.clear();
}

int TMeasureTool::AddPoint(int x, int y) {
    Points.emplace_back(x, y);
    return static_cast<int>(Points.size()) - 1;
}

void TMeasureTool::DeleteLastPoint() {
    if (!Points.empty()) Points.pop_back();
}

int TMeasureTool::HitTest(int x, int y) const {
    for (std::size_t i = 0; i < Points.size(); ++i) {
        const std::int64_t vx = Points[i].x();
        const std::int64_t vy = Points[i].y();
        if (vx - MarkRadius <= x && x < vx + MarkRadius && vy - MarkRadius <= y &&
            y < vy + MarkRadius)
            return static_cast<int>(i);
    }
    return -1;
}

QRect TMeasureTool::BoundsRect() const {
    if (Points.empty()) return {};
    int left = Points[0].x(), right = left;
    int top = Points[0].y(), bottom = top;
    for (const QPoint& p : Points) {
        left = std::min(left, p.x());
        right = std::max(right, p.x());
        top = std::min(top, p.y());
        bottom = std::max(bottom, p.y());
    }
    // QRect's bottom-right corner is inclusive: the last pixel is right + 4 - 1.
    return QRect(QPoint(left - MarkRadius, top - MarkRadius),
                 QPoint(right + MarkRadius - 1, bottom + MarkRadius - 1));
}

void TMeasureTool::Draw(QImage& picture) const {
    if (Points.empty() || picture.isNull()) return;
    TFigurePainter painter(picture, Selected);
    // Each segment is drawn over the mark of its start vertex and under the
    // mark of its end, so every vertex shows on top of the segment reaching it.
    painter.VertexMark(Points[0], 0);
    for (std::size_t i = 0; i + 1 < Points.size(); ++i) {
        painter.BandLine(Points[i], Points[i + 1]);
        painter.VertexMark(Points[i + 1], static_cast<int>(i + 1));
    }
}

void TMeasureTool::Draw(TMapCanvas& canvas) const {
    std::lock_guard<std::recursive_mutex> guard(canvas.Lock());
    Draw(canvas.Surface(BoundsRect()));
    canvas.Changed(BoundsRect());
}

void TMeasureTool::Erase(TMapCanvas& canvas) const {
    canvas.RestoreRect(BoundsRect());
}

void TMeasureTool::Redraw(TMapCanvas& canvas, const QRect& before) const {
    canvas.RestoreRect(before);
    Draw(canvas.Surface(BoundsRect()));
    canvas.Changed(before.united(BoundsRect()));
}

void TMeasureTool::MouseDown(int x, int y, TMapCanvas& canvas, TShiftState shift) {
    if (!shift.Left && !shift.Right) return;
    std::lock_guard<std::recursive_mutex> guard(canvas.Lock());
    const QRect before = BoundsRect();
    if (shift.Left) {
        // A right press while the left button is held counts as a left one.
        Selected = HitTest(x, y);
        if (Selected == -1) Selected = AddPoint(x, y);
    } else {
        DeleteLastPoint();
    }
    Redraw(canvas, before);
}

void TMeasureTool::MouseMove(int x, int y, TMapCanvas& canvas, TShiftState shift) {
    // After the right button deleted the selected vertex, Selected may name
    // nothing any more.
    if (Selected < 0 || Selected >= static_cast<int>(Points.size())) return;
    std::lock_guard<std::recursive_mutex> guard(canvas.Lock());
    const QRect before = BoundsRect();
    const QPoint to(x, y);
    if (shift.Ctrl) {
        const QPoint offset = PointMinus(to, Points[Selected]);
        for (QPoint& p : Points)
            p = PointPlus(p, offset);
    } else {
        Points[Selected] = to;
    }
    Redraw(canvas, before);
}

double TMeasureTool::Length(bool inPixels) const {
    const double sx = inPixels ? 1.0 : XScale;
    const double sy = inPixels ? 1.0 : YScale;
    double sum = 0.0;
    for (std::size_t i = 0; i + 1 < Points.size(); ++i) {
        const QPointF d = FloatMinus(ToFloatPoint(Points[i + 1]), ToFloatPoint(Points[i]));
        const double x = d.x() * sx;
        const double y = d.y() * sy;
        sum += std::sqrt(x * x + y * y);
    }
    return sum;
}

double TMeasureTool::Area(bool inPixels) const {
    if (Points.size() < 3) return 0.0;
    const double sx = inPixels ? 1.0 : XScale;
    const double sy = inPixels ? 1.0 : YScale;
    // The shoelace sum in whole square pixels is exact; scaling it once
    // afterwards keeps the area of a figure the same wherever it is dragged,
    // which scaling every product first (large, nearly cancelling terms
    // far from the map's corner) would not.
    std::int64_t twice = 0;
    for (std::size_t i = 0; i < Points.size(); ++i) {
        const QPoint& a = Points[i];
        const QPoint& b = Points[(i + 1) % Points.size()];
        twice += std::int64_t{a.x()} * b.y() - std::int64_t{b.x()} * a.y();
    }
    return std::fabs(static_cast<double>(twice) * sx * sy) / 2.0;
}

double TMeasureTool::Azimuth(int i, int j) const {
    const int count = static_cast<int>(Points.size());
    if (i < 0 || j < 0 || i >= count || j >= count) return 0.0;
    const QPointF d = FloatMinus(ToFloatPoint(Points[j]), ToFloatPoint(Points[i]));
    // -d.y() of a zero difference is -0.0: coincident points give atan2(+0,
    // -0), straight down, 180 degrees.
    const double a = std::atan2(d.x(), -d.y()) * DegreesPerRadian;
    return a < 0.0 ? a + 360.0 : a;
}

double TMeasureTool::LastAzimuth() const {
    const int count = static_cast<int>(Points.size());
    return Azimuth(count - 2, count - 1);
}

} // namespace varrow
