#include "WebImageLoader.h"

#include "JpegDecoder.h"

#include <QBuffer>
#include <QImageReader>

#include <array>
#include <cstring>

namespace varrow {

namespace {

struct TSignature {
    TWebImageKind Kind;
    const char* Bytes;
    size_t Length;
};

constexpr std::array<TSignature, 4> Signatures = {{
    {TWebImageKind::Bmp, "BM", 2},
    {TWebImageKind::Gif, "GIF8", 4},
    {TWebImageKind::Jpeg, "\xFF\xD8\xFF", 3},
    {TWebImageKind::Png, "\x89PNG\r\n\x1A\n", 8},
}};

const char* QtFormatOf(TWebImageKind kind) {
    switch (kind) {
    case TWebImageKind::Bmp:
        return "BMP";
    case TWebImageKind::Gif:
        return "GIF";
    case TWebImageKind::Jpeg:
        return "JPEG";
    case TWebImageKind::Png:
        return "PNG";
    case TWebImageKind::Unknown:
        break;
    }
    return nullptr;
}

} // namespace

TWebImageKind ImageKindFromSignature(const QByteArray& head) {
    for (const TSignature& signature : Signatures)
        if (static_cast<size_t>(head.size()) >= signature.Length &&
            std::memcmp(head.constData(), signature.Bytes, signature.Length) == 0)
            return signature.Kind;
    return TWebImageKind::Unknown;
}

QString UrlExtension(const QString& url) {
    const qsizetype dot = url.lastIndexOf(QLatin1Char('.'));
    if (dot < 0) return QString();
    const QString tail = url.mid(dot + 1);
    if (tail.contains(QLatin1Char('\\')) || tail.contains(QLatin1Char(':'))) return QString();
    return tail.toLower();
}

TWebImageKind ImageKindFromExtension(const QString& extension) {
    if (extension == QLatin1String("bmp")) return TWebImageKind::Bmp;
    if (extension == QLatin1String("gif")) return TWebImageKind::Gif;
    if (extension == QLatin1String("jpg") || extension == QLatin1String("jpeg"))
        return TWebImageKind::Jpeg;
    if (extension == QLatin1String("png")) return TWebImageKind::Png;
    return TWebImageKind::Unknown;
}

namespace {

[[noreturn]] void WrongSize(QSize found, QSize required) {
    throw TImageError(QStringLiteral("Tile is %1 × %2 pixels, not %3 × %4")
                          .arg(found.width())
                          .arg(found.height())
                          .arg(required.width())
                          .arg(required.height())
                          .toStdString());
}

} // namespace

void DecodeImage(const QByteArray& body, const QString& url, QImage& bitmap, QSize required) {
    if (body.size() < SignatureLength) throw TImageError("Stream read error");
    TWebImageKind kind = ImageKindFromSignature(body.left(SignatureLength));
    if (kind == TWebImageKind::Unknown) {
        const QString extension = UrlExtension(url);
        kind = ImageKindFromExtension(extension);
        if (kind == TWebImageKind::Unknown)
            throw TImageError(
                (QStringLiteral("Unsupport Image Type: ") + extension).toUtf8().toStdString());
    }
    if (kind == TWebImageKind::Jpeg) {
        QSize size;
        switch (DecodeJpeg(body, required, bitmap, size)) {
        case TJpegResult::Decoded:
            return;
        case TJpegResult::WrongSize:
            WrongSize(size, required);
        case TJpegResult::Failed:
            throw TImageError("Cannot decode the JPEG image.");
        case TJpegResult::Unsupported:
            break; // CMYK and the like: Qt's reader converts them
        }
    }
    const char* format = QtFormatOf(kind);
    QBuffer buffer;
    buffer.setData(body);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    // A small body can hold a huge picture: its size is known before its pixels.
    const QSize announced = reader.size();
    if (required.isValid() && announced.isValid() && announced != required)
        WrongSize(announced, required);
    QImage decoded;
    if (!reader.read(&decoded))
        throw TImageError(
            QStringLiteral("Cannot decode the %1 image.").arg(QLatin1String(format)).toStdString());
    if (required.isValid() && decoded.size() != required) WrongSize(decoded.size(), required);
    // Palette GIFs, grey PNGs and 24-bit BMPs all end up in the mosaic's format.
    QImage converted = decoded.convertToFormat(QImage::Format_RGB32);
    if (converted.isNull()) throw TImageError("Not enough memory to convert the image.");
    bitmap = std::move(converted);
}

} // namespace varrow
