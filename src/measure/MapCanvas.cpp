#include "MapCanvas.h"

#include "PictureMemory.h"

#include <QPainter>

#include <new>

namespace varrow {

namespace {

void CopyPixels(QImage& target, QPoint at, const QImage& source, const QRect& from) {
    QPainter painter(&target);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(at, source, from);
}

} // namespace

int TMapCanvas::BlockColumns() const { return (m_picture.width() + BlockSize - 1) / BlockSize; }

QRect TMapCanvas::BlockRect(int index) const {
    const int columns = BlockColumns();
    return QRect((index % columns) * BlockSize, (index / columns) * BlockSize, BlockSize,
                 BlockSize)
        .intersected(m_picture.rect());
}

void TMapCanvas::Reset(int width, int height) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    DropBackground();
    if (m_picture.width() != width || m_picture.height() != height ||
        m_picture.format() != QImage::Format_RGB32) {
        m_picture = QImage(); // the old pixels go before the new ones are asked for
        QImage picture = NewMapPicture(width, height);
        if (picture.isNull()) throw std::bad_alloc();
        m_picture = std::move(picture);
    }
    m_picture.fill(Qt::white);
    Changed(m_picture.rect());
}

void TMapCanvas::DropBackground() {
    m_hasBackground = false;
    m_saved.clear();
}

void TMapCanvas::SaveBackground() {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    m_hasBackground = !m_picture.isNull();
    m_saved.assign(m_hasBackground ? static_cast<size_t>(BlockColumns()) *
                                         ((m_picture.height() + BlockSize - 1) / BlockSize)
                                   : 0,
                   QImage());
}

QImage& TMapCanvas::Surface(const QRect& area) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    const QRect r = area.intersected(m_picture.rect());
    if (!m_hasBackground || r.isEmpty()) return m_picture;
    const int columns = BlockColumns();
    for (int by = r.top() / BlockSize; by <= r.bottom() / BlockSize; ++by)
        for (int bx = r.left() / BlockSize; bx <= r.right() / BlockSize; ++bx) {
            QImage& saved = m_saved[static_cast<size_t>(by * columns + bx)];
            if (saved.isNull()) saved = m_picture.copy(BlockRect(by * columns + bx));
        }
    return m_picture;
}

QImage TMapCanvas::Background() const {
    if (!m_hasBackground) return QImage();
    QImage background = m_picture;
    for (size_t i = 0; i < m_saved.size(); ++i)
        if (!m_saved[i].isNull())
            CopyPixels(background, BlockRect(static_cast<int>(i)).topLeft(), m_saved[i],
                       m_saved[i].rect());
    return background;
}

void TMapCanvas::RestoreBackground() {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    if (!m_hasBackground) return;
    QRect restored;
    for (size_t i = 0; i < m_saved.size(); ++i) {
        if (m_saved[i].isNull()) continue;
        const QRect block = BlockRect(static_cast<int>(i));
        CopyPixels(m_picture, block.topLeft(), m_saved[i], m_saved[i].rect());
        m_saved[i] = QImage(); // the picture is the background there again
        restored |= block;
    }
    Changed(restored);
}

void TMapCanvas::RestoreRect(const QRect& r) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    if (r.isEmpty()) return; // also an inverted rectangle
    const QRect area = r.intersected(m_picture.rect());
    if (!m_hasBackground || area.isEmpty()) return;
    const int columns = BlockColumns();
    for (int by = area.top() / BlockSize; by <= area.bottom() / BlockSize; ++by)
        for (int bx = area.left() / BlockSize; bx <= area.right() / BlockSize; ++bx) {
            const QImage& saved = m_saved[static_cast<size_t>(by * columns + bx)];
            if (saved.isNull()) continue; // never drawn over: already the background
            const QRect block = BlockRect(by * columns + bx);
            const QRect part = area.intersected(block);
            CopyPixels(m_picture, part.topLeft(), saved, part.translated(-block.topLeft()));
        }
    Changed(area);
}

void TMapCanvas::Changed(const QRect& r) const {
    const QRect visible = r.intersected(m_picture.rect());
    if (!visible.isEmpty() && OnChanged) OnChanged(visible);
}

} // namespace varrow
