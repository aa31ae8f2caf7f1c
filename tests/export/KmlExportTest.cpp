// KMZ archives as other programs read them: Info-ZIP's unzip, Python's zipfile and GDAL.

#include "export/KmlExport.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QLocale>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace varrow;

namespace {

struct TRun {
    int Code = -1;
    QString Out;
};

TRun RunTool(const QString& program, const QStringList& args) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForFinished(60000)) return {-1, program + QStringLiteral(" did not run")};
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAll())};
}

QByteArray Entry(const QString& archive, const QString& name) {
    QProcess p;
    p.start(QStringLiteral("unzip"), {QStringLiteral("-p"), archive, name});
    p.waitForFinished(60000);
    return p.readAllStandardOutput();
}

// Dallas at 16 m per pixel, 3 × 3 tiles, and a picture with something to see in it.
TMapViewState Dallas() {
    TMapViewState view;
    view.Zone = 14;
    view.Easting = 704000.0;
    view.Northing = 3627200.0;
    view.Scale = 16.0;
    return view;
}

QImage Picture(QSize size) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(200, 220, 180));
    QPainter p(&image);
    p.fillRect(QRect(QPoint(0, 0), size / 2), QColor(40, 90, 160));
    p.setPen(QPen(Qt::red, 3));
    p.drawLine(0, size.height() - 1, size.width() - 1, 0);
    return image;
}

void ExpectReadersAgree(const QString& archive) {
    const TRun unzip = RunTool(QStringLiteral("unzip"), {QStringLiteral("-t"), archive});
    EXPECT_EQ(unzip.Code, 0) << unzip.Out.toStdString();
    const TRun python =
        RunTool(QStringLiteral("python3"), {QStringLiteral("-m"), QStringLiteral("zipfile"),
                                        QStringLiteral("-t"), archive});
    EXPECT_EQ(python.Code, 0) << python.Out.toStdString();
}

// GDAL's corners, "Upper Left (-96.9, 32.8)" and so on, as longitude and latitude.
QPointF GdalCorner(const QString& info, const char* corner) {
    const QRegularExpression pattern(QString::fromLatin1(corner) +
                                     QStringLiteral(R"(\s*\(\s*([-0-9.]+),\s*([-0-9.]+)\))"));
    const QRegularExpressionMatch m = pattern.match(info);
    return m.hasMatch() ? QPointF(m.captured(1).toDouble(), m.captured(2).toDouble())
                        : QPointF(1e9, 1e9);
}

class KmlExport : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    void TearDown() override { QLocale::setDefault(QLocale::c()); }
    QString Path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }

    QTemporaryDir dir;
    TMapViewState view = Dallas();
    QImage mosaic = Picture(view.MosaicSize());
};

TEST_F(KmlExport, DallasArchiveHoldsTheFolderTheImageAndTheDocumentInThatOrder) {
    for (const char* name : {"Dallas.kmz", "Dallas.kml"}) {
        const QString archive = Path(name);
        WriteKmzFile(archive, mosaic, view);
        ExpectReadersAgree(archive);
        const TRun list = RunTool(QStringLiteral("unzip"), {QStringLiteral("-Z1"), archive});
        EXPECT_EQ(list.Out.split('\n', Qt::SkipEmptyParts),
                  (QStringList{"files/", "files/Dallas.jpg", "doc.kml"}))
            << name;
        const TRun info = RunTool(QStringLiteral("unzip"), {QStringLiteral("-Z"), archive});
        EXPECT_TRUE(info.Out.contains(QRegularExpression(R"(files/\s*$)",
                                                         QRegularExpression::MultilineOption)));
        EXPECT_EQ(QDir(dir.path()).entryList({"*.kmz", "*.kml"}).size(),
                  QString::fromLatin1(name).endsWith("kmz") ? 1 : 2); // nothing left beside the archive
    }
    const QByteArray kml = Entry(Path("Dallas.kml"), QStringLiteral("doc.kml"));
    const TOverlayInfo box = ComputeOverlayBounds(view, mosaic.size());
    const QByteArray expected =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
        "<kml xmlns=\"http://earth.google.com/kml/2.0\">\r\n"
        "  <GroundOverlay>\r\n"
        "    <name>Dallas Map</name>\r\n"
        "    <visibility>1</visibility>\r\n"
        "    <Icon>\r\n"
        "      <href>files/Dallas.jpg</href>\r\n"
        "      <viewBoundScale>0.75</viewBoundScale>\r\n"
        "    </Icon>\r\n"
        "    <LatLonBox>\r\n"
        "      <north>" + KmlNumber(box.North).toLatin1() + "</north>\r\n"
        "      <south>" + KmlNumber(box.South).toLatin1() + "</south>\r\n"
        "      <east>" + KmlNumber(box.East).toLatin1() + "</east>\r\n"
        "      <west>" + KmlNumber(box.West).toLatin1() + "</west>\r\n"
        "      <rotation>0</rotation>\r\n"
        "    </LatLonBox>\r\n"
        "  </GroundOverlay>\r\n"
        "</kml>\r\n";
    EXPECT_EQ(kml, expected);
    EXPECT_NEAR(box.West, -96.83, 0.02);
    EXPECT_NEAR(box.North, 32.85, 0.02);
    EXPECT_GT(box.East, box.West);
    EXPECT_LT(box.South, box.North);

    // The image: the mosaic as a baseline (SOF0) three-component JPEG of the same size.
    const QByteArray jpeg = Entry(Path("Dallas.kmz"), QStringLiteral("files/Dallas.jpg"));
    EXPECT_TRUE(jpeg.contains("\xff\xc0")) << "baseline";
    EXPECT_FALSE(jpeg.contains("\xff\xc2")) << "not progressive";
    const QImage decoded = QImage::fromData(jpeg, "JPEG");
    ASSERT_EQ(decoded.size(), mosaic.size());
    EXPECT_FALSE(decoded.isGrayscale());
    EXPECT_LT(qAbs(qRed(decoded.pixel(450, 450)) - 200), 12);
    EXPECT_LT(qAbs(qBlue(decoded.pixel(100, 100)) - 160), 12);
}

TEST_F(KmlExport, GdalFindsTheOverlayAtTheComputedCorners) {
    const QString archive = Path("Dallas.kmz");
    WriteKmzFile(archive, mosaic, view);
    const TRun gdal = RunTool(QStringLiteral("gdalinfo"), {archive});
    ASSERT_EQ(gdal.Code, 0) << gdal.Out.toStdString();
    EXPECT_TRUE(gdal.Out.contains(QStringLiteral("Size is 600, 600"))) << gdal.Out.toStdString();
    const TOverlayInfo box = ComputeOverlayBounds(view, mosaic.size());
    const QPointF upperLeft = GdalCorner(gdal.Out, "Upper Left");
    const QPointF lowerRight = GdalCorner(gdal.Out, "Lower Right");
    EXPECT_NEAR(upperLeft.x(), box.West, 1e-6) << gdal.Out.toStdString();
    EXPECT_NEAR(upperLeft.y(), box.North, 1e-6);
    EXPECT_NEAR(lowerRight.x(), box.East, 1e-6);
    EXPECT_NEAR(lowerRight.y(), box.South, 1e-6);
}

TEST_F(KmlExport, NumbersKeepTheirPointUnderADecimalComma) {
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QString archive = Path("Komma.kmz");
    WriteKmzFile(archive, mosaic, view);
    const QByteArray kml = Entry(archive, QStringLiteral("doc.kml"));
    const QRegularExpression number(QStringLiteral("<(north|south|east|west)>-?\\d+\\.\\d+<"));
    EXPECT_EQ(QString::fromUtf8(kml).count(number), 4) << kml.toStdString();
    EXPECT_FALSE(kml.contains(','));
    EXPECT_EQ(QLocale().decimalPoint(), QStringLiteral(",")) << "the user's setting stays";
    EXPECT_EQ(KmlNumber(0.000001), QStringLiteral("1E-6"));
    EXPECT_EQ(KmlNumber(-96.5), QStringLiteral("-96.5"));
    EXPECT_EQ(KmlNumber(1.0 / 3.0), QStringLiteral("0.333333333333333"));
}

TEST_F(KmlExport, AnExistingFileIsReplacedWholeOnlyByACompleteArchive) {
    const QString archive = Path("Dallas.kmz");
    QFile old(archive);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(3 << 20, 'x')); // larger than the new archive
    old.close();
    WriteKmzFile(archive, mosaic, view);
    ExpectReadersAgree(archive);
    EXPECT_LT(QFileInfo(archive).size(), 1 << 20);

    const QByteArray before = Entry(archive, QStringLiteral("doc.kml"));
    EXPECT_THROW(WriteKmzFile(archive, QImage(), view), std::runtime_error);
    EXPECT_THROW(WriteKmzFile(Path("missing/Dallas.kmz"), mosaic, view), std::runtime_error);
    EXPECT_EQ(Entry(archive, QStringLiteral("doc.kml")), before);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1);
}

TEST(KmzNames, BaseNameDropsFolderAndLastExtension) {
    EXPECT_EQ(KmzBaseName(QStringLiteral("/maps/Dallas.kmz")), QStringLiteral("Dallas"));
    EXPECT_EQ(KmzBaseName(QStringLiteral("maps.old/Fort.Worth.kml")), QStringLiteral("Fort.Worth"));
    EXPECT_EQ(KmzBaseName(QStringLiteral("Waco")), QStringLiteral("Waco"));
    EXPECT_EQ(KmzBaseName(QStringLiteral("/maps/.kmz")), QString());
}

} // namespace
