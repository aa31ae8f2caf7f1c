#pragma once

// Output of saved map images: the picture goes to a temporary file beside the target, which
// replaces the target only once it is complete, so a full disk never costs the user the map
// saved there before. Failures are raised with the system's message.

#include <QIODevice>
#include <QString>

#include <functional>
#include <stdexcept>

namespace varrow {

class EImageFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Runs write on the temporary file and renames it over fileName when write returns.
void WriteFileReplacing(const QString& fileName, const std::function<void(QIODevice&)>& write);

// Writes all bytes or raises EImageFileError naming the device's file and error.
void WriteBytes(QIODevice& device, const char* data, qint64 size);
inline void WriteBytes(QIODevice& device, const QByteArray& bytes) {
    WriteBytes(device, bytes.constData(), bytes.size());
}

// Raises EImageFileError for device with the given reason (the device's error when empty).
[[noreturn]] void RaiseWriteError(QIODevice& device, const QString& reason = QString());

} // namespace varrow
