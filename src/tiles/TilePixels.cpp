#include "TilePixels.h"

#include <QPainter>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace varrow {

namespace {

// Four pixels at a time as three 32-bit words each way: byte stores cost
// several times more, and this runs for every tile stored or drawn from the
// cache. RGB888 is bytes R, G, B; a QRgb 0xAARRGGBB.
inline std::uint32_t Load32(const uchar* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

inline void Store32(uchar* p, std::uint32_t v) {
    std::memcpy(p, &v, 4);
}

void WidenRow(const uchar* from, QRgb* to, int count) {
    int i = 0;
    for (; i + 4 <= count; i += 4, from += 12) {
        const std::uint32_t w0 = Load32(from), w1 = Load32(from + 4), w2 = Load32(from + 8);
        const std::uint32_t q[4] = {w0 & 0xffffffu, (w0 >> 24) | ((w1 & 0xffffu) << 8),
                                    (w1 >> 16) | ((w2 & 0xffu) << 16), w2 >> 8};
        for (int k = 0; k < 4; ++k) // q is 0x00BBGGRR
            to[i + k] = 0xff000000u | ((q[k] & 0xffu) << 16) | (q[k] & 0xff00u) |
                        ((q[k] >> 16) & 0xffu);
    }
    for (; i < count; ++i, from += 3)
        to[i] = qRgb(from[0], from[1], from[2]);
}

void NarrowRow(const QRgb* from, uchar* to, int count) {
    int i = 0;
    for (; i + 4 <= count; i += 4, to += 12) {
        std::uint32_t q[4];
        for (int k = 0; k < 4; ++k) // to 0x00BBGGRR, bytes R, G, B in memory
            q[k] = ((from[i + k] >> 16) & 0xffu) | (from[i + k] & 0xff00u) |
                   ((from[i + k] & 0xffu) << 16);
        Store32(to, q[0] | (q[1] << 24));
        Store32(to + 4, (q[1] >> 8) | (q[2] << 16));
        Store32(to + 8, (q[2] >> 16) | (q[3] << 8));
    }
    for (; i < count; ++i, to += 3) {
        to[0] = static_cast<uchar>(qRed(from[i]));
        to[1] = static_cast<uchar>(qGreen(from[i]));
        to[2] = static_cast<uchar>(qBlue(from[i]));
    }
}

bool OpaqueArgb(const QImage& image) {
    const QImage::Format f = image.format();
    return f == QImage::Format_RGB32 || f == QImage::Format_ARGB32 ||
           f == QImage::Format_ARGB32_Premultiplied;
}

QRgb* Row(QImage& canvas, uchar* bits, int y) {
    return reinterpret_cast<QRgb*>(bits + static_cast<qsizetype>(y) * canvas.bytesPerLine());
}

void DrawFrame(QImage& canvas, TPoint position, int width, int height) {
    const QRgb black = qRgb(0, 0, 0);
    uchar* bits = canvas.bits();
    const int left = std::max(position.X, 0);
    const int right = std::min(position.X + width - 1, canvas.width() - 1);
    const int top = std::max(position.Y, 0);
    const int bottom = std::min(position.Y + height - 1, canvas.height() - 1);
    if (left > right || top > bottom) return;
    for (int y : {position.Y, position.Y + height - 1}) {
        if (y < 0 || y >= canvas.height()) continue;
        QRgb* row = Row(canvas, bits, y);
        std::fill(row + left, row + right + 1, black);
    }
    for (int x : {position.X, position.X + width - 1}) {
        if (x < 0 || x >= canvas.width()) continue;
        for (int y = top; y <= bottom; ++y)
            Row(canvas, bits, y)[x] = black;
    }
}

} // namespace

void DrawTilePixels(const QImage& tile, QImage& canvas, TPoint position, bool outline) {
    if (!OpaqueArgb(canvas)) {
        // Not a mosaic: the painter knows every format.
        QPainter painter(&canvas);
        painter.drawImage(position.X, position.Y, tile);
        if (outline) {
            painter.setBrush(Qt::NoBrush);
            painter.setPen(QPen(Qt::black, 0));
            painter.drawRect(position.X, position.Y, tile.width() - 1, tile.height() - 1);
        }
        return;
    }
    if (tile.format() != QImage::Format_RGB32 && tile.format() != QImage::Format_RGB888) {
        DrawTilePixels(tile.convertToFormat(QImage::Format_RGB32), canvas, position, outline);
        return;
    }
    const int left = std::max(position.X, 0);
    const int right = std::min(position.X + tile.width(), canvas.width());
    const int top = std::max(position.Y, 0);
    const int bottom = std::min(position.Y + tile.height(), canvas.height());
    const bool wide = tile.format() == QImage::Format_RGB32;
    uchar* bits = left < right && top < bottom ? canvas.bits() : nullptr;
    for (int y = top; y < bottom && bits; ++y) {
        const uchar* from = tile.constScanLine(y - position.Y);
        QRgb* to = Row(canvas, bits, y) + left;
        const int skip = left - position.X;
        if (wide)
            std::memcpy(to, reinterpret_cast<const QRgb*>(from) + skip,
                        sizeof(QRgb) * static_cast<size_t>(right - left));
        else
            WidenRow(from + 3 * skip, to, right - left);
    }
    if (outline) DrawFrame(canvas, position, tile.width(), tile.height());
}

void NarrowTile(const QImage& tile, QImage& narrow) {
    if (tile.format() != QImage::Format_RGB32) {
        narrow = tile.convertToFormat(QImage::Format_RGB888);
        return;
    }
    if (narrow.size() != tile.size() || narrow.format() != QImage::Format_RGB888)
        narrow = QImage(tile.size(), QImage::Format_RGB888);
    const int width = tile.width(), height = tile.height();
    const qsizetype fromLine = tile.bytesPerLine(), toLine = narrow.bytesPerLine();
    const uchar* fromBits = tile.constBits();
    uchar* toBits = narrow.bits();
    for (int y = 0; y < height; ++y)
        NarrowRow(reinterpret_cast<const QRgb*>(fromBits + y * fromLine), toBits + y * toLine,
                  width);
}

} // namespace varrow
