// KMZ archives as other programs read them: Info-ZIP's unzip, Python's zipfile and GDAL.

#include "export/KmlExport.h"

#include "export/KmzPeers.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QLocale>
#include <QPainter>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

using namespace varrow;
using namespace varrow::test;

namespace {

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
        ExpectPeersRead(archive, mosaic.size(), ComputeOverlayBounds(view, mosaic.size()));
        const TToolRun list = RunTool(QStringLiteral("unzip"), {QStringLiteral("-Z1"), archive});
        EXPECT_EQ(list.Out.split('\n', Qt::SkipEmptyParts),
                  (QStringList{"files/", "files/Dallas.jpg", "doc.kml"}))
            << name;
        const TToolRun info = RunTool(QStringLiteral("unzip"), {QStringLiteral("-Z"), archive});
        EXPECT_TRUE(info.Out.contains(
            QRegularExpression(R"(files/\s*$)", QRegularExpression::MultilineOption)));
        // Nothing is left beside the archive.
        const int archives = QString::fromLatin1(name).endsWith("kmz") ? 1 : 2;
        EXPECT_EQ(QDir(dir.path()).entryList({"*.kmz", "*.kml"}).size(), archives);
    }
    const QByteArray kml = Unzipped(Path("Dallas.kml"), QStringLiteral("doc.kml"));
    const TOverlayInfo box = ComputeOverlayBounds(view, mosaic.size());
    auto number = [](double value) { return KmlNumber(value).toLatin1(); };
    const QByteArrayList lines = {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>",
                                  "<kml xmlns=\"http://earth.google.com/kml/2.0\">",
                                  "  <GroundOverlay>",
                                  "    <name>Dallas Map</name>",
                                  "    <visibility>1</visibility>",
                                  "    <Icon>",
                                  "      <href>files/Dallas.jpg</href>",
                                  "      <viewBoundScale>0.75</viewBoundScale>",
                                  "    </Icon>",
                                  "    <LatLonBox>",
                                  "      <north>" + number(box.North) + "</north>",
                                  "      <south>" + number(box.South) + "</south>",
                                  "      <east>" + number(box.East) + "</east>",
                                  "      <west>" + number(box.West) + "</west>",
                                  "      <rotation>0</rotation>",
                                  "    </LatLonBox>",
                                  "  </GroundOverlay>",
                                  "</kml>"};
    EXPECT_EQ(kml, lines.join("\r\n") + "\r\n");
    EXPECT_NEAR(box.West, -96.83, 0.02);
    EXPECT_NEAR(box.North, 32.85, 0.02);
    EXPECT_GT(box.East, box.West);
    EXPECT_LT(box.South, box.North);

    // The image: the mosaic as a baseline (SOF0) three-component JPEG of the same size.
    const QByteArray jpeg = Unzipped(Path("Dallas.kmz"), QStringLiteral("files/Dallas.jpg"));
    EXPECT_TRUE(jpeg.contains("\xff\xc0")) << "baseline";
    EXPECT_FALSE(jpeg.contains("\xff\xc2")) << "not progressive";
    const QImage decoded = QImage::fromData(jpeg, "JPEG");
    ASSERT_EQ(decoded.size(), mosaic.size());
    EXPECT_FALSE(decoded.isGrayscale());
    EXPECT_LT(qAbs(qRed(decoded.pixel(450, 450)) - 200), 12);
    EXPECT_LT(qAbs(qBlue(decoded.pixel(100, 100)) - 160), 12);
}

// A name with a blank and points of its own is still found by every reader.
TEST_F(KmlExport, OtherNamesAreFoundByTheReadersToo) {
    const QString archive = Path("Fort Worth 2.0.kmz");
    WriteKmzFile(archive, mosaic, view);
    ExpectPeersRead(archive, mosaic.size(), ComputeOverlayBounds(view, mosaic.size()));
    EXPECT_TRUE(Unzipped(archive, QStringLiteral("doc.kml"))
                    .contains("<href>files/Fort Worth 2.0.jpg</href>"));
}

TEST_F(KmlExport, NumbersKeepTheirPointUnderADecimalComma) {
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QString archive = Path("Komma.kmz");
    WriteKmzFile(archive, mosaic, view);
    const QByteArray kml = Unzipped(archive, QStringLiteral("doc.kml"));
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
    ExpectPeersRead(archive, mosaic.size(), ComputeOverlayBounds(view, mosaic.size()));
    EXPECT_LT(QFileInfo(archive).size(), 1 << 20);

    const QByteArray before = Unzipped(archive, QStringLiteral("doc.kml"));
    EXPECT_THROW(WriteKmzFile(archive, QImage(), view), std::runtime_error);
    EXPECT_THROW(WriteKmzFile(Path("missing/Dallas.kmz"), mosaic, view), std::runtime_error);
    EXPECT_EQ(Unzipped(archive, QStringLiteral("doc.kml")), before);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1);

    // Either way of placing the map reports its progress in order, and a
    // cancel at any point leaves the old archive alone.
    for (const bool exact : {false, true}) {
        SCOPED_TRACE(exact ? "placed exactly" : "corners");
        std::vector<int> heard;
        const TSaveProgress listen = [&](int percent) {
            heard.push_back(percent);
            return true;
        };
        WriteKmzFile(archive, mosaic, view, exact, &listen);
        ASSERT_FALSE(heard.empty());
        EXPECT_TRUE(std::is_sorted(heard.begin(), heard.end()));
        EXPECT_LE(heard.back(), 100);
        const QByteArray kept = Unzipped(archive, QStringLiteral("doc.kml"));
        const size_t stopAt = heard.size() / 2;
        size_t told = 0;
        const TSaveProgress cancel = [&](int) { return ++told <= stopAt; };
        EXPECT_THROW(WriteKmzFile(archive, mosaic, view, exact, &cancel), ESaveCancelled);
        EXPECT_EQ(Unzipped(archive, QStringLiteral("doc.kml")), kept);
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1);
    }
}

TEST(KmzBounds, AMapAcrossThe180thMeridianKeepsItsBoxNarrow) {
    TMapViewState chukotka;
    chukotka.Zone = 60;
    chukotka.Easting = 600000.0; // the zone's edge is some 150 km east of here
    chukotka.Northing = 7000000.0;
    const TOverlayInfo box = ComputeOverlayBounds(chukotka, chukotka.MosaicSize());
    EXPECT_GT(box.West, 175.0);
    EXPECT_GT(box.East, 180.0);
    EXPECT_LT(box.East - box.West, 10.0);
}

TEST(KmzNames, BaseNameDropsFolderAndLastExtension) {
    EXPECT_EQ(KmzBaseName(QStringLiteral("/maps/Dallas.kmz")), QStringLiteral("Dallas"));
    EXPECT_EQ(KmzBaseName(QStringLiteral("maps.old/Fort.Worth.kml")), QStringLiteral("Fort.Worth"));
    EXPECT_EQ(KmzBaseName(QStringLiteral("Waco")), QStringLiteral("Waco"));
    EXPECT_EQ(KmzBaseName(QStringLiteral("/maps/.kmz")), QString());
}

} // namespace
