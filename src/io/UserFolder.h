#pragma once

// The per-user folder that holds "Varrow.ini" and "VarrowPosList.xml".
// Header-only: every module that writes the user's files reads it.

#include <QDir>
#include <QStandardPaths>
#include <QString>

namespace varrow {

// $VARROW_HOME when set, otherwise the platform's per-user configuration
// folder of the application. Created when missing; a folder that cannot be
// created shows up later as a failure to write the file.
inline QString UserFolder() {
    QString folder = qEnvironmentVariable("VARROW_HOME");
    if (folder.isEmpty())
        folder = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    QDir().mkpath(folder);
    return QDir::cleanPath(folder);
}

inline QString UserFilePath(const QString& fileName) {
    return UserFolder() + QLatin1Char('/') + fileName;
}

} // namespace varrow
