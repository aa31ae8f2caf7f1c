#pragma once

// JPEG tiles decoded by libjpeg straight into the mosaic's 32-bit pixel
// layout: a tile is then drawn by copying rows, with no conversion on the
// user-interface thread and no detour through Qt's image plug-ins.

#include <QByteArray>
#include <QImage>
#include <QSize>

namespace varrow {

enum class TJpegResult {
    Decoded,     // image holds the picture, Format_RGB32
    WrongSize,   // the header announces another size than required; size holds it
    Unsupported, // a colour space this path leaves to Qt (CMYK, YCCK)
    Failed,      // not a JPEG libjpeg can read
};

// With a valid required size, a picture of another size is refused from its
// header, before any pixel is decoded.
TJpegResult DecodeJpeg(const QByteArray& body, QSize required, QImage& image, QSize& size);

} // namespace varrow
