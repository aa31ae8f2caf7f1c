#pragma once

// Where a saved map lies, for the programs that place it: the world file beside
// the image, its .prj, and the GeoTIFF keys. Varrow's maps are aligned to the
// UTM grid of their zone, so one pixel size and one corner say it all.

#include <QString>

namespace varrow {

struct TGeoReference {
    double PixelSize = 0.0; // metres per pixel, along both axes
    double West = 0.0;      // easting of the map's left edge
    double North = 0.0;     // northing of the map's top edge
    int Zone = 0;           // UTM zone, negative south of the equator

    bool IsValid() const { return PixelSize > 0.0 && Zone != 0 && Zone >= -60 && Zone <= 60; }
};

// The EPSG code of the projected system: NAD83 / UTM for northern zones 1 to
// 23 (26901 ... 26923), WGS 84 / UTM north (326NN) or south (327NN) elsewhere.
int EpsgCode(int zone);
// "NAD83 / UTM zone 13N", "WGS 84 / UTM zone 13S".
QString ProjectionName(int zone);
// The system as WKT, as the .prj file holds it.
QString ProjectionWkt(int zone);

// The six lines of a world file: pixel size, two rotation terms of 0, minus
// the pixel size, and the centre of the top-left pixel.
QString WorldFileText(const TGeoReference& geo);
// "map.pgw" for "map.png": the first and last letters of the extension and "w";
// empty for a name without an extension.
QString WorldFileName(const QString& imageFile);
QString ProjectionFileName(const QString& imageFile);
// "map.png.aux.xml": the system in the auxiliary file GDAL reads.
QString AuxiliaryFileName(const QString& imageFile);

// Writes the three beside the image, each written beside and renamed; raises
// EFileWriteError on failure.
void WriteWorldFiles(const QString& imageFile, const TGeoReference& geo);

} // namespace varrow
