#pragma once

// Row-by-row access to a picture as 32-bit RGB pixels. The mosaic is 15,000 pixels square at
// most, close to a gigabyte; the file writers read it in place rather than converting a copy.

#include "io/SaveProgress.h"

#include <QImage>

namespace varrow {

class TRgbScanlines {
public:
    // progress, when given, hears of every row read, over passes readings of
    // the picture.
    explicit TRgbScanlines(const QImage& image, const TSaveProgress* progress = nullptr,
                           int passes = 1);

    // Row y (top row 0) as 0xffRRGGBB-style pixels; the alpha byte is to be ignored. The pointer
    // stays valid until the next call.
    const QRgb* Row(int y);

private:
    static constexpr int BandHeight = 64;

    const QImage& Image;
    TRowProgress Progress;
    bool Direct;
    QImage Band; // rows BandTop .. BandTop + Band.height() - 1, converted
    int BandTop = -1;
};

} // namespace varrow
