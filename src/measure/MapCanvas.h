#pragma once

// The map as drawn: the mosaic and its background copy. The loader draws the
// tiles into the picture, the grid overlay and the measuring tool draw over
// them, and the background copy (taken when a load completes, grid included)
// is what wipes the measuring figure again. Every write reports the rectangle
// it changed, so that a window repaints only that part: the picture of a
// 75 × 75 map is 15,000 pixels square.
//
// The background copy is kept block by block, and a block is copied only when
// something is about to draw over it: a figure on a 900 MB map costs the
// blocks it covers, not a second 900 MB and the seconds a copy of it takes.
//
// Rectangles are QRects of the pixels they cover: QRect(left, top, right -
// left, bottom - top) for a rectangle whose right and bottom edges are
// exclusive. An empty or inverted rectangle covers nothing.

#include <QImage>
#include <QRect>

#include <functional>
#include <mutex>
#include <vector>

namespace varrow {

class TMapCanvas {
public:
    using TChangedEvent = std::function<void(const QRect& rect)>;

    TMapCanvas() = default;
    TMapCanvas(const TMapCanvas&) = delete;
    TMapCanvas& operator=(const TMapCanvas&) = delete;

    const QImage& Picture() const { return m_picture; }
    // For those who draw into the picture (loader, overlays, measuring tool):
    // they report what they drew with Changed. Surface keeps the background
    // of area before it is drawn over; Picture keeps the whole of it.
    QImage& Surface(const QRect& area);
    QImage& Picture() { return Surface(m_picture.rect()); }
    // The background copy as one picture: the picture itself where nothing
    // was drawn over it (a full copy once anything was, so for checks only);
    // null when none was taken.
    QImage Background() const;
    bool HasBackground() const { return m_hasBackground; }
    bool IsNull() const { return m_picture.isNull(); }

    // A cleared (white) picture of width by height pixels, without a
    // background copy. Reuses the pixels when the size stays; throws
    // std::bad_alloc when the memory cannot be had.
    void Reset(int width, int height);

    // The background copy becomes the picture as it is now. It shares the
    // picture's pixels until one of them is written.
    void SaveBackground();
    // The whole picture returns to the background copy.
    void RestoreBackground();
    // The pixels of r return to the background copy; parts outside the
    // picture are ignored, an empty r copies nothing.
    void RestoreRect(const QRect& r);
    // Forgets the background copy (a new picture is on its way).
    void DropBackground();

    // Reports that the pixels of r (clipped to the picture) changed.
    void Changed(const QRect& r) const;
    TChangedEvent OnChanged;

    // Held by whatever draws into the picture; re-entrant.
    std::recursive_mutex& Lock() { return m_lock; }

private:
    static constexpr int BlockSize = 256;
    QRect BlockRect(int index) const;
    int BlockColumns() const;

    QImage m_picture;
    bool m_hasBackground = false;
    // The background of each block that was drawn over since it was taken;
    // null where the picture still is the background.
    std::vector<QImage> m_saved;
    std::recursive_mutex m_lock;
};

} // namespace varrow
