#include "ImageEx.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include <cmath>

namespace varrow {

namespace {
// Smooth scaling samples a pixel's neighbours; painting a little more of the
// source than is exposed keeps separately painted parts from showing seams.
constexpr int SampleMargin = 2;
} // namespace

TImageEx::TImageEx(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    // Every exposed pixel is painted, so Qt need not clear it first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(Qt::SizeAllCursor);
}

void TImageEx::SetPicture(const QImage* picture) {
    m_picture = picture;
    PictureReset();
}

QSize TImageEx::PictureSize() const {
    return m_picture != nullptr ? m_picture->size() : QSize(0, 0);
}

void TImageEx::SetAutoSize(bool on) {
    m_autoSize = on;
    if (on) m_magnification = 1.0;
    FitSize();
}

void TImageEx::SetMagnification(double factor) {
    m_autoSize = false;
    m_magnification = factor;
    FitSize();
}

void TImageEx::FitSize() {
    const QSize p = PictureSize();
    const QSize s = m_autoSize ? p
                               : QSize(static_cast<int>(p.width() * m_magnification),
                                       static_cast<int>(p.height() * m_magnification));
    if (s != size()) resize(s);
    update();
}

void TImageEx::PictureReset() {
    m_shift = QPoint();
    FitSize();
}

void TImageEx::PictureChanged(const QRect& pictureRect) {
    update(PictureToControl(pictureRect.translated(m_shift)));
}

QSize TImageEx::sizeHint() const {
    return size();
}

double TImageEx::ScaleX() const {
    const int w = PictureSize().width();
    return w > 0 ? static_cast<double>(width()) / w : 1.0;
}

double TImageEx::ScaleY() const {
    const int h = PictureSize().height();
    return h > 0 ? static_cast<double>(height()) / h : 1.0;
}

QPointF TImageEx::ControlToPictureF(QPointF point) const {
    return {point.x() / ScaleX(), point.y() / ScaleY()};
}

QPoint TImageEx::ControlToPicture(QPoint point) const {
    const QPointF p = ControlToPictureF(point);
    // Ties to even, as all pixel arithmetic of the map.
    return {static_cast<int>(std::nearbyint(p.x())), static_cast<int>(std::nearbyint(p.y()))};
}

QRect TImageEx::PictureToControl(const QRect& pictureRect) const {
    if (pictureRect.isEmpty()) return {};
    const double sx = ScaleX();
    const double sy = ScaleY();
    // Outward to whole control pixels, plus what smoothing reaches.
    const int margin = sx < 1.0 || sy < 1.0 ? 1 : 0;
    const int left = static_cast<int>(std::floor(pictureRect.left() * sx)) - margin;
    const int top = static_cast<int>(std::floor(pictureRect.top() * sy)) - margin;
    const int right = static_cast<int>(std::ceil((pictureRect.right() + 1) * sx)) + margin;
    const int bottom = static_cast<int>(std::ceil((pictureRect.bottom() + 1) * sy)) + margin;
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)).intersected(rect());
}

void TImageEx::SetShift(QPoint offset) {
    if (offset == m_shift) return;
    m_shift = offset;
    // Everything visible moves; only the visible part is repainted.
    update();
}

void TImageEx::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const QRect exposed = event->rect();
    if (m_picture == nullptr || m_picture->isNull()) {
        painter.fillRect(exposed, Qt::white);
        return;
    }
    const double sx = ScaleX();
    const double sy = ScaleY();
    const QPointF shift(m_shift.x() * sx, m_shift.y() * sy);

    // The exposed rectangle in picture pixels, with the margin smoothing needs.
    const QRectF wanted = QRectF(exposed).translated(-shift);
    QRect source(QPoint(static_cast<int>(std::floor(wanted.left() / sx)) - SampleMargin,
                        static_cast<int>(std::floor(wanted.top() / sy)) - SampleMargin),
                 QPoint(static_cast<int>(std::ceil(wanted.right() / sx)) + SampleMargin,
                        static_cast<int>(std::ceil(wanted.bottom() / sy)) + SampleMargin));
    source = source.intersected(m_picture->rect());

    const QRectF target(source.left() * sx + shift.x(), source.top() * sy + shift.y(),
                        source.width() * sx, source.height() * sy);
    // While dragging, white shows where the shifted picture leaves nothing;
    // otherwise the picture covers the whole control.
    if (!m_shift.isNull()) painter.fillRect(exposed, Qt::white);
    if (source.isEmpty()) return;
    const bool reduced = sx < 1.0 || sy < 1.0;
    painter.setRenderHint(QPainter::SmoothPixmapTransform, reduced);
    painter.drawImage(target, *m_picture, QRectF(source));
}

void TImageEx::mousePressEvent(QMouseEvent* event) {
    emit mouseDown(event->button(), event->buttons(), event->modifiers(),
                   event->position().toPoint(), false);
}

void TImageEx::mouseDoubleClickEvent(QMouseEvent* event) {
    emit mouseDown(event->button(), event->buttons(), event->modifiers(),
                   event->position().toPoint(), true);
}

void TImageEx::mouseMoveEvent(QMouseEvent* event) {
    emit mouseMove(event->buttons(), event->modifiers(), event->position().toPoint());
}

void TImageEx::mouseReleaseEvent(QMouseEvent* event) {
    emit mouseUp(event->button(), event->modifiers(), event->position().toPoint());
}

} // namespace varrow
