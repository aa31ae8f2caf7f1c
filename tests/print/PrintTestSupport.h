#pragma once

// Printers and maps for the printing tests.

#include "print/PageInfo.h"
#include "print/PrinterMetrics.h"

#include <QImage>

namespace varrow::test {

// Letter paper with the printable areas of the examples: 4800 × 6360 at 600 pixels per inch,
// 2400 × 3180 at 300.
inline TPrinterMetrics Letter600() {
    return MakeMetrics(5100, 6600, 4800, 6360, 150, 120, 600, 600);
}
inline TPrinterMetrics Letter300() {
    return MakeMetrics(2550, 3300, 2400, 3180, 75, 60, 300, 300);
}
// A small printer whose pixels are screen pixels at 96 per inch: pages of 200 × 300.
inline TPrinterMetrics Small96() {
    return MakeMetrics(220, 330, 200, 300, 10, 15, 96, 96);
}

// A map in which neighbouring pixels differ and none is white.
inline QImage MapPattern(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x)
            row[x] = qRgb(x % 250, y % 250, (x * 7 + y * 13) % 250);
    }
    return image;
}

// A 600 × 600 map at 4 m per pixel from 307,200 E, 3,584,000 N in zone 13.
inline TPrintMapInfo InfoAt4Metres() {
    TPrintMapInfo info;
    info.MetresPerPixel = 4;
    info.Zone = 13;
    info.LowerLeftEasting = 307200;
    info.LowerLeftNorthing = 3584000;
    info.UpperRightEasting = 309600;
    info.UpperRightNorthing = 3586400;
    info.Theme = QStringLiteral("Topo");
    info.TileSource = QStringLiteral("demo landscape");
    return info;
}

} // namespace varrow::test
