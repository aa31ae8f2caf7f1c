#include "ClipboardImage.h"

#include "io/PngWriter.h"

#include <QBuffer>

namespace varrow {

std::unique_ptr<QMimeData> MapClipboardData(const QImage& mosaic, const TSaveProgress* progress) {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    WritePng(mosaic, buffer, progress);
    buffer.close();
    auto data = std::make_unique<QMimeData>();
    data->setData(QStringLiteral("image/png"), png);
    data->setImageData(mosaic); // shares the mosaic's pixels; other formats from it on request
    return data;
}

} // namespace varrow
