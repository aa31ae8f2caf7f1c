#include "PagePicture.h"

#include "PrinterMetrics.h"

#include <QAtomicInteger>

#include <algorithm>

namespace varrow {

namespace {

const char* const NoMemory = "There is not enough memory for the pictures of the pages.";

quint64 NextKey() {
    static QAtomicInteger<quint64> last;
    return ++last;
}

} // namespace

TPagePicture::TPagePicture(const QImage& map, const QRectF& source, const QRect& area,
                           TStretch mode)
    : m_map(&map), m_source(source.intersected(QRectF(map.rect()))), m_origin(area.topLeft()),
      m_size(area.size()), m_kept(QPoint(0, 0), area.size()), m_mode(mode), m_key(NextKey()) {
    if (m_source.isEmpty() || area.isEmpty()) m_kept = QRect();
}

void TPagePicture::Crop(const QRect& r) {
    m_kept = m_kept.intersected(r.translated(-m_origin));
}

TStretcher TPagePicture::Stretcher() const {
    static const QImage none;
    return TStretcher(m_map != nullptr ? *m_map : none, m_source, m_size, m_mode);
}

bool TPagePicture::ForEachBand(const std::function<bool(const TPageBand& band)>& draw,
                               int above, int below) const {
    if (IsNull()) return true;
    const TStretcher stretcher = Stretcher();
    int rows = std::max(1, BandPixels / m_kept.width() - above - below);
    if (rows > JpegBlock) rows -= rows % JpegBlock;
    for (int top = m_kept.top();; top += rows) {
        const QRect own(m_kept.left(), top, m_kept.width(),
                        std::min(rows, m_kept.bottom() + 1 - top));
        const QRect part = Ltrb(own.left(), std::max(m_kept.top(), top - above), own.right() + 1,
                                std::min(m_kept.bottom(), own.bottom() + below) + 1);
        // A new image for every band: the PDF writer knows images by their cache key.
        TPageBand band{QImage(part.size(), QImage::Format_RGB32), m_origin + part.topLeft(),
                       own.translated(m_origin)};
        if (band.Image.isNull()) throw EPrintError(NoMemory);
        stretcher.Draw(part, band.Image, QPoint(0, 0));
        if (!draw(band)) return false;
        if (own.bottom() == m_kept.bottom()) return true;
    }
}

QImage TPagePicture::Render() const {
    if (IsNull()) return {};
    QImage image(m_kept.size(), QImage::Format_RGB888);
    if (image.isNull()) throw EPrintError(NoMemory);
    Stretcher().Draw(m_kept, image, QPoint(0, 0));
    return image;
}

QImage TPagePicture::Sample(const QSize& size) const {
    if (IsNull() || size.isEmpty()) return {};
    QImage sampled(size, QImage::Format_RGB888);
    const TStretcher stretcher = Stretcher();
    const TStretchAxis xs = PlainAxis(0, m_kept.width(), size.width(), m_kept.width());
    const TStretchAxis ys = PlainAxis(0, m_kept.height(), size.height(), m_kept.height());
    QImage row(m_kept.width(), 1, QImage::Format_RGB888);
    int made = -1;
    for (int y = 0; y < size.height(); ++y) {
        if (ys.First[size_t(y)] != made) {
            made = ys.First[size_t(y)];
            stretcher.Draw(QRect(m_kept.left(), m_kept.top() + made, m_kept.width(), 1), row,
                           QPoint(0, 0));
        }
        const uchar* in = row.constScanLine(0);
        uchar* out = sampled.scanLine(y);
        for (int x = 0; x < size.width(); ++x, out += 3)
            std::copy_n(in + 3 * xs.First[size_t(x)], 3, out);
    }
    return sampled;
}

} // namespace varrow
