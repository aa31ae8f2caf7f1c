#include "positions/SavedPositions.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <stdexcept>

namespace varrow {

QString CutPositionName(const QString& name) {
    if (name.size() <= MaxPositionNameLength) return name;
    qsizetype n = MaxPositionNameLength;
    if (name.at(n - 1).isHighSurrogate()) --n;
    return name.left(n);
}

bool PositionCorner(const TTileLocation& location, TGeoPosition& corner) {
    if (!IsValidZone(location.Zone)) return false;
    double easting = 0.0;
    double northing = 0.0;
    UtmFromTile(location.Tile, location.Offset, location.Scale, easting, northing);
    corner = UtmToGeographic(location.Zone, NorthAmerican1983, northing, easting);
    return true;
}

TTileLocation FindSavedPosition(const QString& name, const QString& fileName) {
    const QString shown = QDir::toNativeSeparators(fileName);
    if (!QFileInfo::exists(fileName))
        throw std::runtime_error(QStringLiteral("There are no saved positions: %1 does not exist")
                                     .arg(shown)
                                     .toStdString());
    TPosList list;
    QString problem;
    try {
        problem = ReadPositionFile(list, fileName);
    } catch (const std::exception& e) {
        // The positions read before the fault are still worth looking through.
        problem = QString::fromUtf8(e.what());
    }
    QStringList names;
    for (const TTileLocation& location : list) {
        if (location.Name == name) return location;
        names << QLatin1Char('"') + location.Name + QLatin1Char('"');
    }
    QString message = QStringLiteral("No saved position is named \"%1\" in %2").arg(name, shown);
    message += names.isEmpty()
                   ? QStringLiteral("; it holds none")
                   : QStringLiteral("; it holds %1").arg(names.join(QStringLiteral(", ")));
    if (!problem.isEmpty()) message += QStringLiteral(" (read only in part: %1)").arg(problem);
    throw std::runtime_error(message.toStdString());
}

} // namespace varrow
