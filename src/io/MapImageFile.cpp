#include "io/MapImageFile.h"

#include "io/GeoReference.h"
#include "io/GifWriter.h"
#include "io/PngWriter.h"
#include "io/AtomicFile.h"
#include "io/MapImageWriters.h"

#include <QFileDevice>
#include <QFileInfo>
#include <QImageWriter>

namespace varrow {

namespace {

// Passes what Qt's encoders write on to the file and tells the progress of
// it against the size the file is expected to reach; a cancel fails the
// encoder's next write.
class TProgressDevice : public QIODevice {
public:
    TProgressDevice(QIODevice& target, qint64 expected, const TSaveProgress& progress)
        : m_target(target), m_expected(qMax<qint64>(1, expected)), m_progress(progress) {
        open(QIODevice::WriteOnly);
    }
    bool Cancelled() const { return m_cancelled; }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override {
        if (m_cancelled) return -1;
        const qint64 written = m_target.write(data, size);
        if (written < 0) {
            setErrorString(m_target.errorString());
            return written;
        }
        m_written += written;
        const int percent = static_cast<int>(qMin<qint64>(99, 100 * m_written / m_expected));
        if (percent != m_percent) {
            m_percent = percent;
            m_cancelled = !m_progress(percent);
        }
        return written;
    }

private:
    QIODevice& m_target;
    qint64 m_expected;
    const TSaveProgress& m_progress;
    qint64 m_written = 0;
    int m_percent = -1;
    bool m_cancelled = false;
};

// What the encoders make of a map, in bytes per pixel, for the progress.
double ExpectedBytesPerPixel(const char* format) {
    if (qstrcmp(format, "jpeg") == 0) return 0.35;
    return 3.0;
}

void WritePlainWithQt(const QImage& image, QIODevice& out, const char* format,
                      const QString& comment) {
    QImageWriter writer(&out, format);
    if (qstrcmp(format, "jpeg") == 0) {
        writer.setQuality(90);
        writer.setProgressiveScanWrite(false);
        if (!comment.isEmpty()) writer.setText(QStringLiteral("Source"), comment); // a COM marker
    }
    if (writer.write(image)) return;
    const auto* file = qobject_cast<QFileDevice*>(&out);
    if (file && file->error() != QFileDevice::NoError) RaiseWriteError(out);
    RaiseWriteError(out, writer.errorString());
}

void WriteWithQt(const QImage& image, QIODevice& out, const char* format,
                 const TSaveProgress* progress, const QString& comment = QString()) {
    if (progress == nullptr || !*progress) {
        WritePlainWithQt(image, out, format, comment);
        return;
    }
    const auto expected = static_cast<qint64>(double(image.width()) * image.height() *
                                              ExpectedBytesPerPixel(format));
    TProgressDevice counted(out, expected, *progress);
    try {
        WritePlainWithQt(image, counted, format, comment);
    } catch (const EFileWriteError&) {
        if (counted.Cancelled()) throw ESaveCancelled();
        // The file's own reason (a full disk) rather than the encoder's.
        const auto* file = qobject_cast<QFileDevice*>(&out);
        if (file && file->error() != QFileDevice::NoError) RaiseWriteError(out);
        throw;
    }
    if (counted.Cancelled()) throw ESaveCancelled();
}

void WriteWithQt(const QImage& image, const QString& fileName, const char* format,
                 const TSaveProgress* progress, const QString& comment = QString()) {
    WriteFileAtomically(fileName,
                        [&](QIODevice& out) { WriteWithQt(image, out, format, progress, comment); });
}

} // namespace

void WriteJpeg(const QImage& image, QIODevice& device, const TSaveProgress* progress) {
    WriteWithQt(image, device, "jpeg", progress);
}

void WriteTransparentPng(const QImage& image, QIODevice& device, const TSaveProgress* progress) {
    WriteWithQt(image, device, "png", progress);
}

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

void SaveMapImage(const QImage& mosaic, const QString& fileName, const TSaveOptions& options) {
    if (mosaic.isNull()) throw EFileWriteError("There is no map image to save");
    const TGeoReference* geo = options.Geo != nullptr && options.Geo->IsValid() ? options.Geo : nullptr;
    const TSaveProgress* progress = options.Progress;
    const QString& credit = options.Attribution;
    switch (MapImageFormatOf(fileName)) {
    case TMapImageFormat::Jpeg:
        WriteWithQt(mosaic, fileName, "jpeg", progress, credit);
        break;
    case TMapImageFormat::Tiff:
        WriteTiffFile(mosaic, fileName, geo, progress, credit);
        break;
    case TMapImageFormat::Gif:
        WriteFileAtomically(fileName, [&](QIODevice& out) { WriteGif(mosaic, out, progress); });
        break;
    case TMapImageFormat::Png:
        WriteFileAtomically(fileName,
                            [&](QIODevice& out) { WritePng(mosaic, out, progress, credit); });
        break;
    case TMapImageFormat::Pcx:
        WritePcxFile(mosaic, fileName, progress);
        break;
    case TMapImageFormat::Lbm:
        WriteLbmFile(mosaic, fileName, progress);
        break;
    case TMapImageFormat::Bmp:
        WriteWithQt(mosaic, fileName, "bmp", progress);
        break;
    }
    if (geo) WriteWorldFiles(fileName, *geo);
}

} // namespace varrow
