#include "io/MapImageFile.h"

#include "io/GeoReference.h"
#include "io/GifWriter.h"
#include "io/AtomicFile.h"
#include "io/MapImageWriters.h"

#include <QFileDevice>
#include <QFileInfo>
#include <QImageWriter>

namespace varrow {

namespace {

void WriteWithQt(const QImage& image, QIODevice& out, const char* format) {
    QImageWriter writer(&out, format);
    if (qstrcmp(format, "jpeg") == 0) {
        writer.setQuality(90);
        writer.setProgressiveScanWrite(false);
    } else if (qstrcmp(format, "png") == 0) {
        // The fastest deflate level: a 15,000-pixel map is saved in a third
        // of the time pnmtopng takes, for a file about a tenth larger.
        writer.setQuality(80);
    }
    if (writer.write(image)) return;
    const auto* file = qobject_cast<QFileDevice*>(&out);
    if (file && file->error() != QFileDevice::NoError) RaiseWriteError(out);
    RaiseWriteError(out, writer.errorString());
}

void WriteWithQt(const QImage& image, const QString& fileName, const char* format) {
    WriteFileAtomically(fileName, [&](QIODevice& out) { WriteWithQt(image, out, format); });
}

} // namespace

void WriteJpeg(const QImage& image, QIODevice& device) { WriteWithQt(image, device, "jpeg"); }

TMapImageFormat MapImageFormatOf(const QString& fileName) {
    const QString extension = QFileInfo(fileName).suffix().toLower();
    if (extension == QLatin1String("jpg") || extension == QLatin1String("jpeg"))
        return TMapImageFormat::Jpeg;
    if (extension == QLatin1String("tif") || extension == QLatin1String("tiff"))
        return TMapImageFormat::Tiff;
    if (extension == QLatin1String("gif")) return TMapImageFormat::Gif;
    if (extension == QLatin1String("png")) return TMapImageFormat::Png;
    if (extension == QLatin1String("pcx")) return TMapImageFormat::Pcx;
    if (extension == QLatin1String("lbm")) return TMapImageFormat::Lbm;
    return TMapImageFormat::Bmp;
}

void SaveMapImage(const QImage& mosaic, const QString& fileName, const TGeoReference* geo) {
    if (mosaic.isNull()) throw EFileWriteError("There is no map image to save");
    if (geo != nullptr && !geo->IsValid()) geo = nullptr;
    switch (MapImageFormatOf(fileName)) {
    case TMapImageFormat::Jpeg:
        WriteWithQt(mosaic, fileName, "jpeg");
        break;
    case TMapImageFormat::Tiff:
        WriteTiffFile(mosaic, fileName, geo);
        break;
    case TMapImageFormat::Gif:
        WriteFileAtomically(fileName, [&](QIODevice& out) { WriteGif(mosaic, out); });
        break;
    case TMapImageFormat::Png:
        WriteWithQt(mosaic, fileName, "png");
        break;
    case TMapImageFormat::Pcx:
        WritePcxFile(mosaic, fileName);
        break;
    case TMapImageFormat::Lbm:
        WriteLbmFile(mosaic, fileName);
        break;
    case TMapImageFormat::Bmp:
        WriteWithQt(mosaic, fileName, "bmp");
        break;
    }
    if (geo) WriteWorldFiles(fileName, *geo);
}

} // namespace varrow
