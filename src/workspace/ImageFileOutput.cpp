#include "workspace/ImageFileOutput.h"

#include <QDir>
#include <QFileDevice>
#include <QSaveFile>

namespace varrow {

namespace {

QString Quoted(const QString& fileName) {
    return QLatin1Char('"') + QDir::toNativeSeparators(fileName) + QLatin1Char('"');
}

} // namespace

void RaiseWriteError(QIODevice& device, const QString& reason) {
    auto* file = qobject_cast<QFileDevice*>(&device);
    // A buffered file reports a failed write as "Unknown error"; trying the flush again
    // brings back the system's message ("No space left on device").
    if (file && reason.isEmpty()) file->flush();
    const QString why = reason.isEmpty() ? device.errorString() : reason;
    const QString what =
        file ? QStringLiteral("Cannot write %1: %2").arg(Quoted(file->fileName()), why)
             : QStringLiteral("Cannot write the image: %1").arg(why);
    throw EImageFileError(what.toStdString());
}

void WriteBytes(QIODevice& device, const char* data, qint64 size) {
    if (device.write(data, size) != size) RaiseWriteError(device);
}

void WriteFileReplacing(const QString& fileName, const std::function<void(QIODevice&)>& write) {
    QSaveFile file(fileName);
    // Never fall back to writing the target in place: that is what the temporary file avoids.
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly))
        throw EImageFileError(QStringLiteral("Cannot create %1: %2")
                                  .arg(Quoted(fileName), file.errorString())
                                  .toStdString());
    write(file); // an exception leaves the target alone; QSaveFile drops the temporary file
    // Flushed here, not by commit(): closing the file would clear the system's message.
    if (!file.flush() || file.error() != QFileDevice::NoError) RaiseWriteError(file);
    if (!file.commit()) RaiseWriteError(file);
}

} // namespace varrow
