#include "io/AtomicFile.h"

#include <QDir>
#include <QFileDevice>
#include <QSaveFile>

namespace varrow {

namespace {

QString Quoted(const QString& fileName) {
    return QLatin1Char('"') + QDir::toNativeSeparators(fileName) + QLatin1Char('"');
}

// The temporary file's name is QSaveFile's own; the user knows the target.
QString TargetName(QIODevice& device) {
    if (auto* save = qobject_cast<QSaveFile*>(&device)) return save->fileName();
    if (auto* file = qobject_cast<QFileDevice*>(&device)) return file->fileName();
    return QString();
}

} // namespace

EFileWriteError::EFileWriteError(const QString& fileName, const QString& reason)
    : std::runtime_error(
          (fileName.isEmpty() ? QStringLiteral("Cannot write the file: %1").arg(reason)
                              : QStringLiteral("Cannot write %1: %2").arg(Quoted(fileName), reason))
              .toStdString()),
      m_fileName(fileName), m_reason(reason) {}

EFileWriteError::EFileWriteError(const std::string& message)
    : std::runtime_error(message), m_reason(QString::fromStdString(message)) {}

void RaiseWriteError(QIODevice& device, const QString& reason) {
    auto* file = qobject_cast<QFileDevice*>(&device);
    // A buffered file reports a failed write as "Unknown error"; trying the
    // flush again brings back the system's message ("No space left on device").
    if (file && reason.isEmpty()) file->flush();
    throw EFileWriteError(TargetName(device), reason.isEmpty() ? device.errorString() : reason);
}

void WriteBytes(QIODevice& device, const char* data, qint64 size) {
    if (device.write(data, size) != size) RaiseWriteError(device);
}

void WriteFileAtomically(const QString& fileName, const std::function<void(QIODevice&)>& write) {
    QSaveFile file(fileName);
    // Never fall back to writing the target in place: that is what the temporary file avoids.
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly)) throw EFileWriteError(fileName, file.errorString());
    write(file); // an exception leaves the target alone; QSaveFile drops the temporary file
    // Flushed here, not by commit(): closing the file would clear the system's message.
    if (!file.flush() || file.error() != QFileDevice::NoError) RaiseWriteError(file);
    if (!file.commit()) RaiseWriteError(file);
}

void WriteFileAtomically(const QString& fileName, const QByteArray& data) {
    WriteFileAtomically(fileName, [&](QIODevice& out) { WriteBytes(out, data); });
}

} // namespace varrow
