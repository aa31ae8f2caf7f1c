#pragma once

// A page's picture kept as the part of the map it shows rather than as pixels. At 300 per
// inch a letter page of a 15,000-pixel map is 23 MB, and the 31 pages a print fills would
// hold 0.7 GB beside the map; the pixels are made from the map when they are wanted instead,
// a band of rows at a time when the page is printed.

#include "PageResample.h"

#include <QImage>

#include <functional>
#include <stdexcept>

namespace varrow {

// A page that cannot be made or printed, with the message to show.
class EPrintError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Rows of a page picture, with rows of its neighbours above and below.
struct TPageBand {
    QImage Image; // Format_RGB32
    QPoint At;    // page pixel of its top-left corner
    QRect Own;    // page pixels of the rows that are the band's own
};

class TPagePicture {
public:
    // Bands hold at most this many pixels: 4 MB of Format_RGB32, which the PDF writer turns
    // into about three times that while it compresses them.
    static constexpr int BandPixels = 1 << 20;
    // The rows of a band start a multiple of this many rows below the picture's top where
    // they can, on the edge of the blocks of 16 × 16 pixels a JPEG of the whole picture would
    // have: the PDF writer makes JPEG of each band, and so they get the blocks of the whole.
    static constexpr int JpegBlock = 16;

    TPagePicture() = default;
    // source (map pixels, clipped to the map) of map stretched onto area (page pixels) by mode.
    // The map is read whenever pixels are made: it must outlive the picture.
    TPagePicture(const QImage& map, const QRectF& source, const QRect& area, TStretch mode);

    bool IsNull() const { return m_kept.isEmpty(); }
    // Where the picture lies on the page, page pixels.
    QRect Area() const { return m_kept.translated(m_origin); }
    // Another for every picture made, as QImage::cacheKey is for pixels.
    quint64 Key() const { return m_key; }
    // Keeps the part of the picture inside r (page pixels) with the pixels it had.
    void Crop(const QRect& r);

    // Calls draw with the picture in bands from top to bottom, whose own rows meet without a
    // gap; but for the first each also holds above rows of the one before, and but for the
    // last below rows of the one after. A band has at most BandPixels unless a single row is
    // wider. Stops and answers false when draw does.
    bool ForEachBand(const std::function<bool(const TPageBand& band)>& draw, int above = 0,
                     int below = 0) const;
    // All of the picture (Format_RGB888, Area's size; null when there is none).
    QImage Render() const;
    // The picture shrunk to size by picking the nearest pixel (Format_RGB888), reading only
    // the rows picked.
    QImage Sample(const QSize& size) const;

private:
    TStretcher Stretcher() const;

    const QImage* m_map = nullptr;
    QRectF m_source;
    QPoint m_origin; // page pixel of the stretched source's top-left corner
    QSize m_size;    // the stretched source
    QRect m_kept;    // the part of it on the page, relative to m_origin
    TStretch m_mode = TStretch::Plain;
    quint64 m_key = 0;
};

} // namespace varrow
