#pragma once

// Every file the program writes goes to a temporary file beside its target,
// which replaces the target only once it is complete: a crash or a full disk
// never leaves half a file and never costs the user the file that was there
// before. Failures are raised with the system's reason ("No space left on
// device").

#include <QByteArray>
#include <QIODevice>
#include <QString>

#include <functional>
#include <stdexcept>

namespace varrow {

class EFileWriteError : public std::runtime_error {
public:
    // what(): "Cannot write "<file>": <reason>".
    EFileWriteError(const QString& fileName, const QString& reason);
    // For errors that name no file (an encoder's own complaint).
    explicit EFileWriteError(const std::string& message);
    explicit EFileWriteError(const char* message) : EFileWriteError(std::string(message)) {}

    const QString& FileName() const { return m_fileName; }
    const QString& Reason() const { return m_reason; }

private:
    QString m_fileName;
    QString m_reason;
};

// Runs write on the temporary file and renames it over fileName when write
// returns. An exception from write leaves the target as it was.
void WriteFileAtomically(const QString& fileName, const std::function<void(QIODevice&)>& write);
void WriteFileAtomically(const QString& fileName, const QByteArray& data);

// Writes all bytes or raises EFileWriteError naming the device's file and error.
void WriteBytes(QIODevice& device, const char* data, qint64 size);
inline void WriteBytes(QIODevice& device, const QByteArray& bytes) {
    WriteBytes(device, bytes.constData(), bytes.size());
}

// Raises EFileWriteError for device with the given reason (the device's error when empty).
[[noreturn]] void RaiseWriteError(QIODevice& device, const QString& reason = QString());

} // namespace varrow
