#include "io/RgbScanlines.h"

namespace varrow {

TRgbScanlines::TRgbScanlines(const QImage& image, const TSaveProgress* progress, int passes)
    : Image(image), Progress(progress, image.height(), passes),
      Direct(image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_ARGB32) {}

const QRgb* TRgbScanlines::Row(int y) {
    Progress.Row();
    if (Direct) return reinterpret_cast<const QRgb*>(Image.constScanLine(y));
    // Other formats are converted a band at a time, so memory stays small whatever the size.
    if (BandTop < 0 || y < BandTop || y >= BandTop + Band.height()) {
        BandTop = y;
        const int rows = qMin(BandHeight, Image.height() - y);
        Band = Image.copy(0, y, Image.width(), rows).convertToFormat(QImage::Format_RGB32);
    }
    return reinterpret_cast<const QRgb*>(Band.constScanLine(y - BandTop));
}

} // namespace varrow
