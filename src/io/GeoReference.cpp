#include "io/GeoReference.h"

#include "io/AtomicFile.h"

#include <QFileInfo>
#include <QLocale>

#include <cstdlib>

namespace varrow {

namespace {

bool IsNad83(int zone) { return zone >= 1 && zone <= 23; }

// Numbers in files other programs read: a point, no grouping, every digit
// a double needs to come back exactly.
QString Number(double value) { return QLocale::c().toString(value, 'g', 17); }

QString GeographicWkt(bool nad83) {
    return nad83 ? QStringLiteral(
                       "GEOGCS[\"NAD83\",DATUM[\"North_American_Datum_1983\","
                       "SPHEROID[\"GRS 1980\",6378137,298.257222101,AUTHORITY[\"EPSG\",\"7019\"]],"
                       "AUTHORITY[\"EPSG\",\"6269\"]],PRIMEM[\"Greenwich\",0,"
                       "AUTHORITY[\"EPSG\",\"8901\"]],UNIT[\"degree\",0.0174532925199433,"
                       "AUTHORITY[\"EPSG\",\"9122\"]],AUTHORITY[\"EPSG\",\"4269\"]]")
                 : QStringLiteral(
                       "GEOGCS[\"WGS 84\",DATUM[\"WGS_1984\","
                       "SPHEROID[\"WGS 84\",6378137,298.257223563,AUTHORITY[\"EPSG\",\"7030\"]],"
                       "AUTHORITY[\"EPSG\",\"6326\"]],PRIMEM[\"Greenwich\",0,"
                       "AUTHORITY[\"EPSG\",\"8901\"]],UNIT[\"degree\",0.0174532925199433,"
                       "AUTHORITY[\"EPSG\",\"9122\"]],AUTHORITY[\"EPSG\",\"4326\"]]");
}

} // namespace

int EpsgCode(int zone) {
    const int n = std::abs(zone);
    if (IsNad83(zone)) return 26900 + n;
    return (zone < 0 ? 32700 : 32600) + n;
}

QString ProjectionName(int zone) {
    const QString hemisphere = zone < 0 ? QStringLiteral("S") : QStringLiteral("N");
    return QStringLiteral("%1 / UTM zone %2%3")
        .arg(IsNad83(zone) ? QStringLiteral("NAD83") : QStringLiteral("WGS 84"))
        .arg(std::abs(zone))
        .arg(hemisphere);
}

QString ProjectionWkt(int zone) {
    const int centralMeridian = 6 * std::abs(zone) - 183;
    return QStringLiteral(
               "PROJCS[\"%1\",%2,PROJECTION[\"Transverse_Mercator\"],"
               "PARAMETER[\"latitude_of_origin\",0],PARAMETER[\"central_meridian\",%3],"
               "PARAMETER[\"scale_factor\",0.9996],PARAMETER[\"false_easting\",500000],"
               "PARAMETER[\"false_northing\",%4],UNIT[\"metre\",1,AUTHORITY[\"EPSG\",\"9001\"]],"
               "AXIS[\"Easting\",EAST],AXIS[\"Northing\",NORTH],AUTHORITY[\"EPSG\",\"%5\"]]")
        .arg(ProjectionName(zone), GeographicWkt(IsNad83(zone)))
        .arg(centralMeridian)
        .arg(zone < 0 ? 10000000 : 0)
        .arg(EpsgCode(zone));
}

QString WorldFileText(const TGeoReference& geo) {
    const double s = geo.PixelSize;
    // The lines name the centre of the top-left pixel, not its corner.
    const QString lines[] = {Number(s), QStringLiteral("0"), QStringLiteral("0"), Number(-s),
                             Number(geo.West + s / 2), Number(geo.North - s / 2)};
    QString text;
    for (const QString& line : lines)
        text += line + QStringLiteral("\r\n");
    return text;
}

QString WorldFileName(const QString& imageFile) {
    const QFileInfo info(imageFile);
    const QString extension = info.suffix();
    if (extension.isEmpty()) return QString();
    const QString world =
        QString(extension.front()) + QString(extension.back()) + QStringLiteral("w");
    return imageFile.left(imageFile.size() - extension.size()) + world.toLower();
}

QString ProjectionFileName(const QString& imageFile) {
    const QFileInfo info(imageFile);
    if (info.suffix().isEmpty()) return imageFile + QStringLiteral(".prj");
    return imageFile.left(imageFile.size() - info.suffix().size()) + QStringLiteral("prj");
}

void WriteWorldFiles(const QString& imageFile, const TGeoReference& geo) {
    QString world = WorldFileName(imageFile);
    if (world.isEmpty()) world = imageFile + QStringLiteral(".wld");
    WriteFileAtomically(world, WorldFileText(geo).toLatin1());
    WriteFileAtomically(ProjectionFileName(imageFile), ProjectionWkt(geo.Zone).toLatin1());
    // GDAL, and the programs built on it, read the system of a PNG, JPEG or
    // BMP from the image's auxiliary file rather than from the .prj.
    QString wkt = ProjectionWkt(geo.Zone);
    wkt.replace(QLatin1Char('"'), QStringLiteral("&quot;"));
    const QString aux = QStringLiteral("<PAMDataset>\n  <SRS>%1</SRS>\n</PAMDataset>\n").arg(wkt);
    WriteFileAtomically(AuxiliaryFileName(imageFile), aux.toLatin1());
}

QString AuxiliaryFileName(const QString& imageFile) { return imageFile + QStringLiteral(".aux.xml"); }

} // namespace varrow
