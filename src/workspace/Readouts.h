#pragma once

// Texts of the main window's readouts: the mouse position in UTM and
// geographic coordinates and the mosaic size. Kept apart from
// the window so the number formats can be checked without one.

#include "tiles/LoadStats.h"
#include "workspace/MapViewState.h"

#include <QLocale>
#include <QString>

namespace varrow {

// Degrees, minutes and whole seconds of arc, e.g. -107°02'57". The value is
// rounded to whole milliseconds of arc first; the milliseconds are then
// dropped, not rounded. The sign shows whenever the value is negative, also
// when the degrees are 0 (-0°30'00").
QString FormatDms(double degrees);

// With the locale's thousands separator and decimal point.
QString FormatGrouped(double value, int decimals, const QLocale& locale = QLocale());

struct TMouseReadouts {
    QString Easting;    // 3,584,000
    QString Northing;   // 3,584,000
    QString Zone;       // 13
    QString Longitude;  // -107.0494
    QString Latitude;   // 32.3900
    QString Longitude2; // -107°02'57"
    QString Latitude2;  // 32°23'24"
};

// All fields empty for a position that is no place (a zone that does not
// exist, a latitude or longitude that cannot be).
TMouseReadouts MouseReadouts(const TMapPosition& position, const QLocale& locale = QLocale());

struct TSizeReadouts {
    QString PixelSize; // "600 X 600"
    QString TileCount; // "9"
    QString Memory;    // "1 meg": four bytes a pixel, whole mebibytes
};

TSizeReadouts SizeReadouts(int tilesX, int tilesY);

// "408 of 484 tiles lost from http://127.0.0.1:8600: Connection refused" for
// a load that lost tiles, empty for one that did not.
QString LostTilesMessage(const TLoadStats& stats);

} // namespace varrow
