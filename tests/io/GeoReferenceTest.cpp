// World files, .prj and GeoTIFF tags, read back by the programs a user would
// place the map with (GDAL, libtiff's tiffdump).

#include "io/GeoReference.h"
#include "io/MapImageFile.h"

#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace varrow {
namespace {

QString Output(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(30000)) return QString();
    return QString::fromLocal8Bit(p.readAllStandardOutput());
}

QByteArray Get(const QString& fileName) {
    QFile f(fileName);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QImage Map(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(qRgb(120, 160, 90));
    return image;
}

TEST(GeoReference, WorldFileNumbersNameTheCentreOfTheTopLeftPixel) {
    // 4 m pixels, corner at 400,000 E and a top edge at 3,602,400 N.
    EXPECT_EQ(WorldFileText({4.0, 400000.0, 3602400.0, 13}),
              "4\r\n0\r\n0\r\n-4\r\n400002\r\n3602398\r\n");
    // A quarter metre, south of the equator, an offset corner.
    EXPECT_EQ(WorldFileText({0.25, 123456.75, 7000050.5, -33}),
              "0.25\r\n0\r\n0\r\n-0.25\r\n123456.875\r\n7000050.375\r\n");
    EXPECT_EQ(WorldFileText({512.0, 307200.0, 3891200.0, 13}),
              "512\r\n0\r\n0\r\n-512\r\n307456\r\n3890944\r\n");
}

TEST(GeoReference, FileNamesAndSystemsFollowTheFormatAndZone) {
    EXPECT_EQ(WorldFileName("/m/map.png"), "/m/map.pgw");
    EXPECT_EQ(WorldFileName("/m/map.JPG"), "/m/map.jgw");
    EXPECT_EQ(WorldFileName("/m/map.jpeg"), "/m/map.jgw");
    EXPECT_EQ(WorldFileName("map.tif"), "map.tfw");
    EXPECT_EQ(WorldFileName("map.tiff"), "map.tfw");
    EXPECT_EQ(WorldFileName("map.bmp"), "map.bpw");
    EXPECT_EQ(WorldFileName("map.gif"), "map.gfw");
    EXPECT_EQ(WorldFileName("map.pcx"), "map.pxw");
    EXPECT_EQ(WorldFileName("map.lbm"), "map.lmw");
    EXPECT_EQ(ProjectionFileName("a/map.png"), "a/map.prj");

    EXPECT_EQ(EpsgCode(1), 26901);
    EXPECT_EQ(EpsgCode(13), 26913);
    EXPECT_EQ(EpsgCode(23), 26923);
    EXPECT_EQ(EpsgCode(24), 32624);
    EXPECT_EQ(EpsgCode(-13), 32713);
    EXPECT_EQ(ProjectionName(13), "NAD83 / UTM zone 13N");
    EXPECT_EQ(ProjectionName(-19), "WGS 84 / UTM zone 19S");
}

// The corners GDAL reads, and the EPSG code of the system it finds.
struct TPlaced {
    int Epsg = 0;
    double West = 0, North = 0, East = 0, South = 0;
};

TPlaced Gdal(const QString& file) {
    TPlaced placed;
    const QJsonObject info = QJsonDocument::fromJson(Output("gdalinfo", {"-json", file}).toUtf8()).object();
    const QJsonObject corners = info["cornerCoordinates"].toObject();
    placed.West = corners["upperLeft"].toArray()[0].toDouble();
    placed.North = corners["upperLeft"].toArray()[1].toDouble();
    placed.East = corners["lowerRight"].toArray()[0].toDouble();
    placed.South = corners["lowerRight"].toArray()[1].toDouble();
    const QString wkt = info["coordinateSystem"].toObject()["wkt"].toString();
    const qsizetype id = wkt.lastIndexOf(QStringLiteral("ID[\"EPSG\","));
    if (id >= 0) placed.Epsg = wkt.mid(id + 10).section(QLatin1Char(']'), 0, 0).toInt();
    return placed;
}

TEST(GeoReference, AGisPlacesEverySavedFormatWhereTheMapLies) {
    if (QStandardPaths::findExecutable("gdalinfo").isEmpty())
        GTEST_FAIL() << "install the package gdal-bin";
    QTemporaryDir dir;
    const QImage map = Map(600, 400);
    const struct Case {
        TGeoReference Geo;
        int Epsg;
    } cases[] = {{{4.0, 400000.0, 3601600.0, 13}, 26913}, {{16.0, 512000.0, 7000000.0, -20}, 32720}};
    for (const Case& c : cases) {
        for (const char* name : {"map.tif", "map.png", "map.jpg", "map.bmp"}) {
            SCOPED_TRACE(std::string(name) + " zone " + std::to_string(c.Geo.Zone));
            const QString file = dir.filePath(QString::fromLatin1(name));
            SaveMapImage(map, file, &c.Geo);
            const TPlaced placed = Gdal(file);
            EXPECT_EQ(placed.Epsg, c.Epsg);
            EXPECT_NEAR(placed.West, c.Geo.West, 0.01);
            EXPECT_NEAR(placed.North, c.Geo.North, 0.01);
            EXPECT_NEAR(placed.East, c.Geo.West + 600 * c.Geo.PixelSize, 0.01);
            EXPECT_NEAR(placed.South, c.Geo.North - 400 * c.Geo.PixelSize, 0.01);
            EXPECT_TRUE(Get(ProjectionFileName(file)).contains(QByteArray::number(c.Epsg)));
        }
    }
}

TEST(GeoReference, TiffTagsOnlyWhenAskedAndThePlainLayoutUntouched) {
    if (QStandardPaths::findExecutable("tiffdump").isEmpty())
        GTEST_FAIL() << "install the package libtiff-tools";
    QTemporaryDir dir;
    const QImage map = Map(200, 200);
    SaveMapImage(map, dir.filePath("plain.tif"));
    const TGeoReference geo{2.0, 300000.0, 3500400.0, 14};
    SaveMapImage(map, dir.filePath("placed.tif"), &geo);
    const QByteArray plain = Get(dir.filePath("plain.tif"));
    const QByteArray placed = Get(dir.filePath("placed.tif"));
    // The pixels and the header are the same; the placed file only adds tags.
    EXPECT_EQ(placed.left(36 + 200 * 200 * 3), plain.left(36 + 200 * 200 * 3));
    EXPECT_FALSE(QFile::exists(dir.filePath("plain.tfw")));
    const QString dump = Output("tiffdump", {dir.filePath("placed.tif")});
    EXPECT_TRUE(dump.contains("33550 (0x830e) DOUBLE (12) 3<2 2 0>")) << dump.toStdString();
    EXPECT_TRUE(dump.contains("33922 (0x8482) DOUBLE (12) 6<0 0 0 300000 3.5004e+06 0>"))
        << dump.toStdString();
    EXPECT_TRUE(dump.contains("3072 0 1 26914")) << dump.toStdString();
    EXPECT_FALSE(Output("tiffdump", {dir.filePath("plain.tif")}).contains("33550"));
}

} // namespace
} // namespace varrow

namespace varrow {
namespace {

TEST(MapImageCredit, TheSourcesCreditIsInTheFilesThatHaveAPlaceForIt) {
    QTemporaryDir dir;
    const QImage map = Map(200, 100);
    const QString credit = QStringLiteral("USGS The National Map");
    const TGeoReference geo{4.0, 400000.0, 3600400.0, 13};
    SaveMapImage(map, dir.filePath("m.png"), TSaveOptions{nullptr, nullptr, credit});
    SaveMapImage(map, dir.filePath("m.jpg"), TSaveOptions{nullptr, nullptr, credit});
    SaveMapImage(map, dir.filePath("placed.tif"), TSaveOptions{&geo, nullptr, credit});
    SaveMapImage(map, dir.filePath("plain.tif"), TSaveOptions{nullptr, nullptr, credit});
    EXPECT_TRUE(Output("identify", {"-verbose", dir.filePath("m.png")}).contains("Source: " + credit));
    EXPECT_TRUE(Output("identify", {"-format", "%c", dir.filePath("m.jpg")}).contains(credit));
    EXPECT_TRUE(Output("tiffinfo", {dir.filePath("placed.tif")}).contains("Artist: " + credit));
    // The plain TIFF keeps its fixed layout.
    EXPECT_FALSE(Output("tiffinfo", {dir.filePath("plain.tif")}).contains("Artist"));
    QFile plain(dir.filePath("plain.tif"));
    ASSERT_TRUE(plain.open(QIODevice::ReadOnly));
    EXPECT_EQ(plain.size(), 36 + 200 * 100 * 3 + 2 + 12 * 15 + 4);
}

} // namespace
} // namespace varrow
