// varrow-render run as a user would: a real process against a real tile service.

#include "support/TileServerProcess.h"
#include "tiles/NetLib.h"
#include "tiles/TileLibrary.h"

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace varrow;
using varrow::test::TileServerProcess;

namespace {

struct RenderRun {
    int Status = -1;
    QString Out, Err;
};

RenderRun Render(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral(VARROW_RENDER_EXECUTABLE), args);
    RenderRun r;
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.Status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.Out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.Err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

QImage FetchTile(const QString& base, TTileTheme theme, double scale, int x, int y, int zone) {
    TTileLocation loc;
    loc.Theme = theme;
    loc.Scale = scale;
    loc.Tile = {x, y};
    loc.Zone = zone;
    TIdHTTPEx http;
    QImage tile;
    http.GetBitmap(BuildTileUrl(loc, base), tile);
    return tile.convertToFormat(QImage::Format_RGB32);
}

// Counts the pixels of the map that differ from the tile whose top-left
// corner lies at (left, top) in map pixels, over the part that is on the map.
int DifferingPixels(const QImage& map, const QImage& tile, int left, int top) {
    int differing = 0;
    for (int ty = 0; ty < tile.height(); ++ty)
        for (int tx = 0; tx < tile.width(); ++tx) {
            const int mx = left + tx, my = top + ty;
            if (mx < 0 || my < 0 || mx >= map.width() || my >= map.height())
                continue;
            if (map.pixel(mx, my) != tile.pixel(tx, ty))
                ++differing;
        }
    return differing;
}

class RenderTest : public ::testing::Test {
protected:
    void SetUp() override {
        qputenv("VARROW_HOME", home.path().toLocal8Bit());
        ASSERT_TRUE(server.start()) << server.error().toStdString();
    }
    QString Output(const QString& name) const { return dir.filePath(name); }

    QTemporaryDir home, dir;
    TileServerProcess server{{"--format", "png"}};
};

} // namespace

TEST_F(RenderTest, MapMatchesTheServedTilesPixelForPixel) {
    struct Case {
        const char* name;
        double easting, northing;
        int zone;
        double scale;
    } cases[] = {
        {"whole tiles", 307200.0, 3584000.0, 13, 512.0},
        // Offset (50, 120): tiles shift 50 px west and 120 px south.
        {"offset", 307200.0 + 50 * 4.0, 3584000.0 + 120 * 4.0, 13, 4.0},
        // Columns 8..10 at 512 m/px: the last two come from zone 14.
        {"zone edge", 8 * 102400.0, 3584000.0, 13, 512.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString out = Output(QStringLiteral("map.png"));
        const RenderRun run =
            Render({"--service", server.baseUrl(), "--utm",
                    QStringLiteral("%1,%2,%3").arg(c.zone).arg(c.easting, 0, 'f', 1).arg(c.northing, 0, 'f', 1),
                    "--scale", QString::number(c.scale), "--tiles", "3x3", "--quiet", "-o", out});
        ASSERT_EQ(run.Status, 0) << run.Err.toStdString();
        const QImage map = QImage(out).convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(map.size(), QSize(600, 600));

        TPoint corner, offset;
        TileFromUtm(c.easting, c.northing, c.scale, corner, offset);
        for (int j = -1; j <= 3; ++j)
            for (int i = -1; i <= 3; ++i) {
                std::int32_t column = corner.X + i, zone = c.zone;
                WrapTileColumn(column, zone, c.scale);
                const QImage tile =
                    FetchTile(server.baseUrl(), TTileTheme::Topo, c.scale, column, corner.Y + j, zone);
                const int left = 200 * i - offset.X;
                const int top = 200 * (3 - 1 - j) + offset.Y;
                EXPECT_EQ(DifferingPixels(map, tile, left, top), 0)
                    << "tile " << i << "," << j << " (column " << column << " zone " << zone << ")";
            }
    }
}

TEST_F(RenderTest, CentreAndFormatsFollowTheArguments) {
    const QString jpeg = Output(QStringLiteral("dallas.JPG"));
    const RenderRun run = Render({"--service", server.baseUrl(), "--center", "32.78,-96.80", "--scale",
                                  "4", "--tiles", "2x1", "--theme", "color-aerial", "-o", jpeg});
    ASSERT_EQ(run.Status, 0) << run.Err.toStdString();
    EXPECT_TRUE(run.Out.contains(QStringLiteral("12 tiles"))) << run.Out.toStdString();
    QFile file(jpeg);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.read(3).startsWith("\xFF\xD8\xFF")); // JPEG, chosen by the extension
    EXPECT_EQ(QImage(jpeg).size(), QSize(400, 200));
}

TEST_F(RenderTest, LostTilesStillWriteTheMapButFail) {
    const QString out = Output(QStringLiteral("lost.png"));
    // Every request of this base address fails.
    const QString failing = server.baseUrl() + QStringLiteral("/fault=500");
    RenderRun run = Render({"--service", failing, "--tiles", "1x1", "-o", out});
    EXPECT_EQ(run.Status, 3);
    EXPECT_TRUE(run.Err.contains(QStringLiteral("could not be fetched"))) << run.Err.toStdString();
    EXPECT_TRUE(run.Out.contains(QStringLiteral("9 lost"))) << run.Out.toStdString();
    EXPECT_EQ(QImage(out).size(), QSize(200, 200));

    run = Render({"--service", failing, "--tiles", "1x1", "--allow-lost", "--quiet", "-o", out});
    EXPECT_EQ(run.Status, 0);
}

TEST_F(RenderTest, BadArgumentsAndUnwritableOutput) {
    struct Case {
        QStringList args;
        const char* mentions;
    } cases[] = {
        {{"--scale", "3", "-o", "x.png"}, "0.25"},
        {{"--tiles", "76x3", "-o", "x.png"}, "76x3"},
        {{"--theme", "satellite", "-o", "x.png"}, "color-aerial"},
        {{"--utm", "13,abc,5", "-o", "x.png"}, "13,abc,5"},
        {{"--center", "95,10", "-o", "x.png"}, "95,10"},
        {{"--speed", "fast", "-o", "x.png"}, "dialup"},
        {{"--tiles", "3x3"}, "-o FILE"},
        {{"--bogus", "-o", "x.png"}, "--bogus"},
        {{"--grid", "5", "-o", "x.png"}, "tiles"},
        {{"--service", "ftp://127.0.0.1:1", "-o", "x.png"}, "ftp://127.0.0.1:1"},
        {{"--print", "x.pdf", "--print-method", "scale:0"}, "scale:"},
    };
    for (const Case& c : cases) {
        const RenderRun run = Render(c.args);
        EXPECT_EQ(run.Status, 2) << c.args.join(' ').toStdString();
        EXPECT_TRUE(run.Err.contains(QString::fromLatin1(c.mentions))) << run.Err.toStdString();
    }
    const RenderRun run = Render({"--service", server.baseUrl(), "--tiles", "1x1", "-o",
                                  dir.filePath(QStringLiteral("missing/folder/map.png"))});
    EXPECT_EQ(run.Status, 4);
    EXPECT_TRUE(run.Err.contains(QStringLiteral("cannot write"))) << run.Err.toStdString();
}

TEST_F(RenderTest, PrintsTheMapAtATrueScaleIntoOnePdf) {
    // 3 × 3 tiles at 4 m per pixel are 2,400 m: at 1:24,000 that is 0.1 m of
    // paper, 3.937 inches.
    const QString pdf = Output(QStringLiteral("map.pdf"));
    const QString png = Output(QStringLiteral("map.png"));
    const RenderRun run = Render({"--service", server.baseUrl(), "--scale", "4", "--tiles", "3x3",
                                  "--print", pdf, "--print-method", "scale:24000", "-o", png,
                                  "--quiet"});
    ASSERT_EQ(run.Status, 0) << run.Err.toStdString();
    EXPECT_EQ(QImage(png).size(), QSize(600, 600));
    QProcess images;
    images.start(QStringLiteral("pdfimages"), {"-list", pdf});
    ASSERT_TRUE(images.waitForFinished(20000)) << "install the package poppler-utils";
    const QStringList lines = QString::fromLocal8Bit(images.readAllStandardOutput()).split('\n');
    ASSERT_GE(lines.size(), 3) << lines.join('\n').toStdString();
    const QStringList image = lines[2].split(' ', Qt::SkipEmptyParts);
    ASSERT_GE(image.size(), 14);
    const double inches = image[3].toDouble() / image[12].toDouble();
    EXPECT_NEAR(inches, 3.937, 0.01) << lines[2].toStdString();
}

TEST_F(RenderTest, BuildsASavedPositionAndWritesItsKmz) {
    // The user's list, as the program writes it.
    const QString list = Output(QStringLiteral("positions.xml"));
    QFile file(list);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("<PositionList Version=\"1.0\"><PosList Count=\"2\">"
               "<Position Index=\"0\"><Name><String>Mesa</String></Name>"
               "<Theme><Integer>1</Integer></Theme><Scale><Float>64</Float></Scale>"
               "<Tile><Point>24,280</Point></Tile><Offset><Point>0,0</Point></Offset>"
               "<Zone><Integer>13</Integer></Zone></Position>"
               "<Position Index=\"1\"><Name><String>Dallas</String></Name>"
               "<Theme><Integer>2</Integer></Theme><Scale><Float>16</Float></Scale>"
               "<Tile><Point>216,1138</Point></Tile><Offset><Point>10,20</Point></Offset>"
               "<Zone><Integer>14</Integer></Zone></Position></PosList></PositionList>");
    file.close();

    const QString kmz = Output(QStringLiteral("Dallas.kmz"));
    const QString png = Output(QStringLiteral("dallas.png"));
    RenderRun run = Render({"--service", server.baseUrl(), "--positions", list, "--position",
                            "Dallas", "--tiles", "2x2", "--kmz", kmz, "-o", png, "--quiet"});
    ASSERT_EQ(run.Status, 0) << run.Err.toStdString();
    // The same map as asked for by its place.
    const QString direct = Output(QStringLiteral("direct.png"));
    run = Render({"--service", server.baseUrl(), "--utm", "14,691360,3641920", "--scale", "16",
                  "--theme", "color-aerial", "--tiles", "2x2", "-o", direct, "--quiet"});
    ASSERT_EQ(run.Status, 0) << run.Err.toStdString();
    EXPECT_EQ(QImage(png), QImage(direct));

    QProcess unzip;
    unzip.start(QStringLiteral("unzip"), {"-Z1", kmz});
    ASSERT_TRUE(unzip.waitForFinished(10000));
    EXPECT_EQ(QString::fromLatin1(unzip.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts),
              QStringList({"files/", "files/Dallas.jpg", "doc.kml"}));

    // A name the list does not hold: the names it does hold are told.
    run = Render({"--positions", list, "--position", "Denver", "-o", png});
    EXPECT_EQ(run.Status, 2);
    EXPECT_TRUE(run.Err.contains("Mesa") && run.Err.contains("Dallas")) << run.Err.toStdString();
}
