#include "TilePixels.h"

#include <QPainter>

#include <algorithm>
#include <cstdint>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

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

#if defined(__x86_64__) || defined(__i386__)
#define VARROW_PIXELS_SSSE3 1

// Sixteen pixels at a time with byte shuffles, where the processor has them
// (every x86-64 made since 2008): narrowing was an eighth of a worker's time
// on a fast service, most of it in the scalar shifts above.
__attribute__((target("ssse3"))) void WidenRowSsse3(const uchar* from, QRgb* to, int count) {
    const __m128i opaque = _mm_set1_epi32(static_cast<int>(0xff000000u));
    // R, G, B bytes of four pixels into B, G, R, X words.
    const __m128i spread = _mm_setr_epi8(2, 1, 0, -1, 5, 4, 3, -1, 8, 7, 6, -1, 11, 10, 9, -1);
    int i = 0;
    for (; i + 16 <= count; i += 16, from += 48) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 16));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 32));
        const __m128i p[4] = {a, _mm_alignr_epi8(b, a, 12), _mm_alignr_epi8(c, b, 8),
                              _mm_srli_si128(c, 4)};
        for (int k = 0; k < 4; ++k)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i + 4 * k),
                             _mm_or_si128(_mm_shuffle_epi8(p[k], spread), opaque));
    }
    WidenRow(from, to + i, count - i);
}

// stream: the 48-byte groups go past the processor's caches, for pixels that
// are not read again soon (a tile stored in the cache); to must then be
// 16-byte aligned.
__attribute__((target("ssse3"))) void NarrowRowSsse3(const QRgb* from, uchar* to, int count,
                                                     bool stream) {
    // Bytes B, G, R, X of pixels into R, G, B bytes at each 16-byte output's place.
    const __m128i s0 = _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
    const __m128i s1a = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 2, 1, 0, 6);
    const __m128i s1b = _mm_setr_epi8(5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m128i s2a = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, 2, 1, 0, 6, 5, 4, 10, 9);
    const __m128i s2b = _mm_setr_epi8(8, 14, 13, 12, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m128i s3 = _mm_setr_epi8(-1, -1, -1, -1, 2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12);
    int i = 0;
    for (; i + 16 <= count; i += 16, to += 48) {
        const auto* in = reinterpret_cast<const __m128i*>(from + i);
        const __m128i a = _mm_loadu_si128(in), b = _mm_loadu_si128(in + 1);
        const __m128i c = _mm_loadu_si128(in + 2), d = _mm_loadu_si128(in + 3);
        const __m128i out[3] = {
            _mm_or_si128(_mm_shuffle_epi8(a, s0), _mm_shuffle_epi8(b, s1a)),
            _mm_or_si128(_mm_shuffle_epi8(b, s1b), _mm_shuffle_epi8(c, s2a)),
            _mm_or_si128(_mm_shuffle_epi8(c, s2b), _mm_shuffle_epi8(d, s3))};
        auto* o = reinterpret_cast<__m128i*>(to);
        for (int k = 0; k < 3; ++k) {
            if (stream)
                _mm_stream_si128(o + k, out[k]);
            else
                _mm_storeu_si128(o + k, out[k]);
        }
    }
    if (stream) _mm_sfence(); // before the slot is handed to another thread
    NarrowRow(from + i, to, count - i);
}

bool HasSsse3() {
    static const bool has = __builtin_cpu_supports("ssse3");
    return has;
}
#endif

void Widen(const uchar* from, QRgb* to, int count) {
#ifdef VARROW_PIXELS_SSSE3
    if (HasSsse3()) return WidenRowSsse3(from, to, count);
#endif
    WidenRow(from, to, count);
}

void Narrow(const QRgb* from, uchar* to, int count, bool stream) {
#ifdef VARROW_PIXELS_SSSE3
    if (HasSsse3())
        return NarrowRowSsse3(from, to, count,
                              stream && reinterpret_cast<std::uintptr_t>(to) % 16 == 0);
#endif
    (void)stream;
    NarrowRow(from, to, count);
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
    if (tile.isNull()) return; // nothing to draw, and no format to convert it from
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
            Widen(from + 3 * skip, to, right - left);
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
    // A 200-pixel tile has no padding either way: one run over all its pixels.
    if (fromLine == 4 * qsizetype(width) && toLine == 3 * qsizetype(width)) {
        Narrow(reinterpret_cast<const QRgb*>(fromBits), toBits, width * height, true);
        return;
    }
    for (int y = 0; y < height; ++y)
        Narrow(reinterpret_cast<const QRgb*>(fromBits + y * fromLine), toBits + y * toLine, width,
               false);
}

} // namespace varrow
