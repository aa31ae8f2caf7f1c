#include "MapCanvas.h"

#include <QPainter>

#include <new>

namespace varrow {

void TMapCanvas::Reset(int width, int height) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    m_background = QImage();
    if (m_picture.width() != width || m_picture.height() != height ||
        m_picture.format() != QImage::Format_RGB32) {
        m_picture = QImage(); // the old pixels go before the new ones are asked for
        QImage picture(width, height, QImage::Format_RGB32);
        if (picture.isNull()) throw std::bad_alloc();
        m_picture = std::move(picture);
    }
    m_picture.fill(Qt::white);
    Changed(m_picture.rect());
}

void TMapCanvas::SaveBackground() {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    m_background = m_picture;
}

void TMapCanvas::RestoreBackground() {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    if (m_background.isNull() || m_background.size() != m_picture.size()) return;
    m_picture = m_background;
    Changed(m_picture.rect());
}

void TMapCanvas::RestoreRect(const QRect& r) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    if (m_background.isNull() || r.isEmpty()) return;
    const QRect area = r.intersected(m_picture.rect()).intersected(m_background.rect());
    if (area.isEmpty()) return;
    {
        QPainter painter(&m_picture);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(area.topLeft(), m_background, area);
    }
    Changed(area);
}

void TMapCanvas::Changed(const QRect& r) const {
    const QRect visible = r.intersected(m_picture.rect());
    if (!visible.isEmpty() && OnChanged) OnChanged(visible);
}

} // namespace varrow
