#include "BitCursor.h"

#include <QPainter>

namespace varrow {

namespace {

// A colour no index map uses, so nothing of the pictures could be mistaken for it.
const QRgb Background = qRgb(255, 0, 255);

bool OnBar(int x, int y) {
    constexpr int Low = TBitCursor::Size / 2 - 1; // the two middle rows and columns
    constexpr int High = TBitCursor::Size / 2;
    constexpr int Last = TBitCursor::Size - 2; // the bars stop one pixel short of the edge
    const bool vertical = x >= Low && x <= High && y >= 1 && y <= Last;
    const bool horizontal = y >= Low && y <= High && x >= 1 && x <= Last;
    return vertical || horizontal;
}

} // namespace

TBitCursor::TBitCursor() : m_bitmap(Size, Size, QImage::Format_RGB32) {
    m_bitmap.fill(Background);
    for (int y = 0; y < Size; ++y) {
        for (int x = 0; x < Size; ++x) {
            if (OnBar(x, y)) {
                m_bitmap.setPixel(x, y, qRgb(255, 255, 255));
                continue;
            }
            bool next = false;
            for (int dy = -1; dy <= 1 && !next; ++dy)
                for (int dx = -1; dx <= 1 && !next; ++dx)
                    next = OnBar(x + dx, y + dy);
            if (next) m_bitmap.setPixel(x, y, qRgb(0, 0, 0));
        }
    }
    m_masked = m_bitmap.convertToFormat(QImage::Format_ARGB32);
    const QRgb transparent = TransparentColour();
    for (int y = 0; y < Size; ++y)
        for (int x = 0; x < Size; ++x)
            if (m_bitmap.pixel(x, y) == transparent) m_masked.setPixel(x, y, qRgba(0, 0, 0, 0));
    m_masked = m_masked.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QRect TBitCursor::Rect() const {
    return {m_point.x() - Size / 2, m_point.y() - Size / 2, Size, Size};
}

void TBitCursor::ShowMarker(QImage& canvas, int x, int y) {
    HideMarker(canvas);
    m_point = QPoint(x, y);
    const QRect r = Rect();
    // copy() fills what lies outside the canvas; HideMarker writes only the inside back.
    m_saved = canvas.copy(r);
    QPainter painter(&canvas);
    painter.drawImage(r.topLeft(), m_masked);
    m_shown = true;
}

void TBitCursor::HideMarker(QImage& canvas) {
    if (!m_shown) return;
    m_shown = false;
    if (m_saved.isNull()) return;
    QPainter painter(&canvas);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(Rect().topLeft(), m_saved);
}

} // namespace varrow
