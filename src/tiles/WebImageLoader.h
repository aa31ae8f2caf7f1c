#pragma once

// Decoding of downloaded tile images: the format is told by the body's leading
// bytes, and only when they name none by the URL's extension. The result is
// always in the mosaic's format (Format_RGB32), whatever the source.

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

#include <stdexcept>

namespace varrow {

class TImageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class TWebImageKind { Unknown, Bmp, Gif, Jpeg, Png };

// Number of leading bytes read for the signature test; a shorter body is an error.
constexpr int SignatureLength = 10;

// The kind whose signature starts head, tried in the order BMP, GIF, JPEG, PNG.
TWebImageKind ImageKindFromSignature(const QByteArray& head);
// Text after the last "." of url, lower case, provided no "\" or ":" follows
// that "."; otherwise empty.
QString UrlExtension(const QString& url);
TWebImageKind ImageKindFromExtension(const QString& extension);

// Fills bitmap (Format_RGB32) from body, or throws TImageError: "Stream read
// error" for a body shorter than SignatureLength, "Unsupport Image Type: " and
// the extension when no kind is found, or a decoding message. With a required
// size, an image of another size fails ("Tile is W × H pixels, not 200 ×
// 200"), told from the header before the pixels are decoded where the format
// allows.
void DecodeImage(const QByteArray& body, const QString& url, QImage& bitmap,
                 QSize required = QSize());

} // namespace varrow
