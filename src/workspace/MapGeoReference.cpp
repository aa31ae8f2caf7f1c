#include "MapGeoReference.h"

#include "workspace/UserDefaults.h"

namespace varrow {

namespace {
const QString SettingsSection = QStringLiteral("Settings");
const QString WorldFilesKey = QStringLiteral("WriteWorldFiles");
} // namespace

TGeoReference GeoReferenceOf(const TMapViewState& loaded, QSize mosaicSize) {
    TGeoReference geo;
    geo.PixelSize = loaded.Scale;
    geo.West = loaded.Easting;
    geo.North = loaded.Northing + mosaicSize.height() * loaded.Scale;
    geo.Zone = loaded.Zone;
    return geo;
}

QString ZoneEdgeWarning(const TMapViewState& loaded, QSize mosaicSize) {
    const double east = loaded.Easting + mosaicSize.width() * loaded.Scale;
    QString side;
    int other = 0;
    if (east > ZoneSpan) {
        side = QStringLiteral("east");
        other = EastZoneOf(loaded.Zone);
    } else if (loaded.Easting < 0) {
        side = QStringLiteral("west");
        other = WestZoneOf(loaded.Zone);
    } else {
        return QString();
    }
    return QStringLiteral("The %1 part of this map is in zone %2: the world file describes zone %3 "
                          "only")
        .arg(side)
        .arg(other)
        .arg(loaded.Zone);
}

bool ReadWriteWorldFiles() {
    return ReadIniInteger(UserDefaultsPath(), SettingsSection, WorldFilesKey, 0) != 0;
}

void StoreWriteWorldFiles(bool on) {
    WriteIniInteger(UserDefaultsPath(), SettingsSection, WorldFilesKey, on ? 1 : 0);
}

} // namespace varrow
