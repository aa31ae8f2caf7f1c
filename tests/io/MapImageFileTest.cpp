// Saved map images, read back by other programs: libtiff's tiffinfo/tiffdump, ImageMagick,
// netpbm's pcxtoppm and ilbmtoppm. Pixels are compared with the mosaic that was written.

#include "io/MapImageFile.h"
#include "support/ImageCompare.h"
#include "io/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <vector>
#include <sys/resource.h>
#include <unistd.h>

using namespace varrow;
using varrow::test::MeanError;

namespace {

struct TRun {
    int Code = -1;
    QByteArray Out;
    QString Err;
};

TRun RunTool(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(120000)) return {};
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
            QString::fromUtf8(p.readAllStandardError())};
}

// A decoded picture from a tool that writes PPM to its standard output.
QImage Decoded(const QString& program, const QStringList& args) {
    const TRun run = RunTool(program, args);
    EXPECT_EQ(run.Code, 0) << program.toStdString() << ": " << run.Err.toStdString();
    return QImage::fromData(run.Out, "PPM").convertToFormat(QImage::Format_RGB32);
}

QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Gradients, flat areas (long runs) and bright values (192 and up) side by side.
QImage TrueColourMosaic(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y,
                           x < width / 3 ? qRgb(200, 30, 250)
                                         : qRgb(x % 256, (y * 7) % 256, (x * y) % 256));
    return image;
}

// 200 colours in bands: an 8-bit format can hold it exactly.
QImage FewColourMosaic(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int c = (x / 3 + y / 5) % 200;
            image.setPixel(x, y, qRgb(c, 255 - c, (c * 37) % 256));
        }
    return image;
}

// Count of pixels that differ, alpha aside.
int Differences(const QImage& a, const QImage& b) {
    if (a.size() != b.size()) return -1;
    int count = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            count += (a.pixel(x, y) & 0xffffffu) != (b.pixel(x, y) & 0xffffffu);
    return count;
}

quint32 Le32(const QByteArray& b, qsizetype at) {
    return qFromLittleEndian<quint32>(b.constData() + at);
}
quint16 Le16(const QByteArray& b, qsizetype at) {
    return qFromLittleEndian<quint16>(b.constData() + at);
}
quint32 Be32(const QByteArray& b, qsizetype at) {
    return qFromBigEndian<quint32>(b.constData() + at);
}

class MapImageFile : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString File(const QString& name) const { return dir.filePath(name); }
    QTemporaryDir dir;
};

TEST_F(MapImageFile, TiffLayoutAndPixelsAsOtherProgramsReadThem) {
    const QString path = File("map.tif");
    const QImage mosaic = TrueColourMosaic(600, 600);
    SaveMapImage(mosaic, path);
    const QByteArray bytes = ReadFile(path);
    ASSERT_EQ(bytes.size(), 1080222); // 12 bytes less than with an extra-samples entry
    EXPECT_EQ(bytes.left(4), QByteArray("II*\0", 4));
    EXPECT_EQ(Le32(bytes, 4), 1080036u);
    EXPECT_EQ(bytes.mid(28, 8), "Quenlock");
    EXPECT_EQ(Le16(bytes, 1080036), 15);
    for (int i = 0; i < 15; ++i)
        EXPECT_NE(Le16(bytes, 1080038 + 12 * i), 338) << i;

    const TRun info = RunTool("tiffinfo", {path});
    EXPECT_EQ(info.Code, 0);
    EXPECT_TRUE(info.Out.contains("Samples/Pixel: 3"));
    EXPECT_FALSE(info.Out.contains("Extra Samples"));
    EXPECT_TRUE(RunTool("tiffdump", {path}).Out.contains("Directory 0: offset 1080036"));
    EXPECT_EQ(RunTool("identify", {"-format", "%[channels] %wx%h", path}).Out, "srgb 600x600");
    EXPECT_EQ(Differences(Decoded("convert", {path, "ppm:-"}), mosaic), 0);

    // Odd width: the directory lands on an odd offset right after the pixels.
    const QImage odd = TrueColourMosaic(601, 37);
    SaveMapImage(odd, File("odd.TIFF"));
    EXPECT_TRUE(RunTool("tiffdump", {File("odd.TIFF")}).Out.contains("Directory 0: offset 66747"));
    EXPECT_EQ(Differences(Decoded("convert", {File("odd.TIFF"), "ppm:-"}), odd), 0);
}

TEST_F(MapImageFile, PcxRunsAndHeader) {
    // One row: red is 100 × 5 then 200, green 101 × 16, blue counts 0..100.
    QImage image(101, 2, QImage::Format_RGB32);
    for (int x = 0; x < 101; ++x) {
        image.setPixel(x, 0, qRgb(x < 100 ? 5 : 200, 16, x));
        image.setPixel(x, 1, qRgb(0, 0, 0));
    }
    image.setDotsPerMeterX(3937); // 100 dpi
    image.setDotsPerMeterY(2835); // 72 dpi
    const QString path = File("runs.pcx");
    SaveMapImage(image, path);
    const QByteArray bytes = ReadFile(path);
    ASSERT_GE(bytes.size(), 128);
    EXPECT_EQ(bytes.left(4), QByteArray("\x0a\x05\x01\x08", 4));
    EXPECT_EQ(Le16(bytes, 8), 100);  // x maximum
    EXPECT_EQ(Le16(bytes, 10), 1);   // y maximum
    EXPECT_EQ(Le16(bytes, 12), 100); // dpi
    EXPECT_EQ(Le16(bytes, 14), 72);
    EXPECT_EQ(bytes[65], 3);         // planes
    EXPECT_EQ(Le16(bytes, 66), 101); // bytes per line: odd, as wide as the picture
    EXPECT_EQ(Le16(bytes, 68), 1);
    EXPECT_EQ(Le16(bytes, 70), 101);
    EXPECT_EQ(Le16(bytes, 72), 2);

    QByteArray expected("\xff\x05\xe5\x05\xc1\xc8" // 63 + 37 fives, then 193 200
                        "\xff\x10\xe6\x10",
                        10); // 63 + 38, never into the next plane
    for (int x = 0; x <= 100; ++x)
        expected.append(static_cast<char>(x));
    expected.append("\xff\x00\xe6\x00\xff\x00\xe6\x00\xff\x00\xe6\x00", 12);
    EXPECT_EQ(bytes.mid(128), expected);

    EXPECT_EQ(Differences(Decoded("pcxtoppm", {path}), image), 0);
    const QImage mosaic = TrueColourMosaic(601, 37);
    SaveMapImage(mosaic, File("map.pcx"));
    EXPECT_EQ(Differences(Decoded("pcxtoppm", {File("map.pcx")}), mosaic), 0);
    EXPECT_EQ(Differences(Decoded("convert", {File("map.pcx"), "ppm:-"}), mosaic), 0);
}

TEST_F(MapImageFile, LbmChunksAndPixels) {
    const QString path = File("map.lbm");
    const QImage few = FewColourMosaic(600, 600);
    SaveMapImage(few, path);
    const QByteArray bytes = ReadFile(path);
    ASSERT_EQ(bytes.size(), 8 + 4 + 28 + 776 + 8 + 360000);
    EXPECT_EQ(bytes.left(4), "FORM");
    EXPECT_EQ(Be32(bytes, 4), static_cast<quint32>(bytes.size() - 8));
    EXPECT_EQ(bytes.mid(8, 8), "PBM BMHD");
    EXPECT_EQ(Be32(bytes, 16), 20u);
    EXPECT_EQ(bytes.mid(20, 20), QByteArray("\x02\x58\x02\x58\0\0\0\0\x08\0\0\0\0\xff\x01\x01"
                                            "\x02\x58\x02\x58",
                                            20));
    EXPECT_EQ(bytes.mid(40, 4), "CMAP");
    EXPECT_EQ(Be32(bytes, 44), 768u);
    EXPECT_EQ(bytes.mid(816, 4), "BODY");
    EXPECT_EQ(Be32(bytes, 820), 360000u);
    EXPECT_EQ(Differences(Decoded("ilbmtoppm", {path}), few), 0);

    // Many colours go through the quantiser. A BODY of odd length gets its IFF pad byte.
    const QImage many = TrueColourMosaic(601, 37);
    SaveMapImage(many, File("odd.LBM"));
    const QByteArray odd = ReadFile(File("odd.LBM"));
    EXPECT_EQ(odd.size(), 824 + 601 * 37 + 1);
    EXPECT_EQ(Be32(odd, 4), static_cast<quint32>(odd.size() - 8));
    EXPECT_EQ(Be32(odd, 820), 601u * 37u);
    const TRun run = RunTool("ilbmtoppm", {File("odd.LBM")});
    EXPECT_FALSE(run.Err.contains("premature")) << run.Err.toStdString();
    const QImage decoded = QImage::fromData(run.Out, "PPM").convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(decoded.size(), many.size());
    EXPECT_LT(MeanError(decoded, many), 8.0);
}

// Only the extension, in any case, chooses the format.
TEST_F(MapImageFile, ExtensionChoosesTheFormat) {
    const QImage mosaic = TrueColourMosaic(200, 200);
    EXPECT_EQ(MapImageFormatOf("a/b.c/map"), TMapImageFormat::Bmp);
    EXPECT_EQ(MapImageFormatOf("map.Jpeg"), TMapImageFormat::Jpeg);

    QImage smooth(200, 200, QImage::Format_RGB32);
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 200; ++x)
            smooth.setPixel(x, y, qRgb(x, y, (x + y) / 2));
    SaveMapImage(smooth, File("map.JPG"));
    EXPECT_EQ(
        RunTool("identify", {"-format", "%m %Q %[interlace] %[channels]", File("map.JPG")}).Out,
        "JPEG 90 None srgb");
    EXPECT_LT(MeanError(Decoded("convert", {File("map.JPG"), "ppm:-"}), smooth), 1.5);

    SaveMapImage(mosaic, File("map.Png"));
    const QByteArray png = ReadFile(File("map.Png"));
    EXPECT_EQ(png.mid(1, 3), "PNG");
    EXPECT_EQ(png[24], 8); // bits per sample
    EXPECT_EQ(png[25], 2); // RGB, no alpha, no palette: 24 bits per pixel
    EXPECT_EQ(Differences(Decoded("convert", {File("map.Png"), "ppm:-"}), mosaic), 0);

    SaveMapImage(mosaic, File("map.gif"));
    EXPECT_EQ(ReadFile(File("map.gif")).left(3), "GIF");

    for (const char* name : {"map", "map.xyz", "map.bmp"}) {
        SaveMapImage(mosaic, File(name));
        EXPECT_EQ(ReadFile(File(name)).left(2), "BM") << name;
        EXPECT_EQ(Differences(Decoded("convert", {File(name), "ppm:-"}), mosaic), 0) << name;
    }
}

TEST_F(MapImageFile, WriteFailuresRaiseAndKeepTheOldFile) {
    const QImage mosaic = TrueColourMosaic(600, 600);
    try {
        SaveMapImage(mosaic, File("missing/map.tif"));
        FAIL() << "no error";
    } catch (const EFileWriteError& e) {
        EXPECT_NE(std::string(e.what()).find("map.tif"), std::string::npos) << e.what();
    }
    if (geteuid() != 0) { // root writes into any folder
        ASSERT_TRUE(QDir().mkdir(File("locked")));
        QFile::setPermissions(File("locked"), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        EXPECT_THROW(SaveMapImage(mosaic, File("locked/map.tif")), EFileWriteError);
        QFile::setPermissions(File("locked"), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                  QFileDevice::ExeOwner);
    }

    // A full disk, played by a file size limit.
    std::signal(SIGXFSZ, SIG_IGN);
    for (const char* name :
         {"old.tif", "old.pcx", "old.lbm", "old.gif", "old.png", "old.jpg", "old"}) {
        const QString path = File(name);
        const QImage small = TrueColourMosaic(20, 20);
        SaveMapImage(small, path);
        const QByteArray before = ReadFile(path);

        rlimit old{};
        getrlimit(RLIMIT_FSIZE, &old);
        rlimit limited = old;
        limited.rlim_cur = 20000;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
        try {
            SaveMapImage(mosaic, path);
            ADD_FAILURE() << name << ": no error";
        } catch (const EFileWriteError& e) {
            EXPECT_NE(std::string(e.what()).find("File too large"), std::string::npos) << e.what();
        }
        setrlimit(RLIMIT_FSIZE, &old);
        EXPECT_EQ(ReadFile(path), before) << name;
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 7); // no temporary files left
}

} // namespace

namespace varrow {
namespace {

TEST(MapImageFileProgress, EveryFormatTellsItsProgressAndACancelLeavesTheOldFile) {
    QTemporaryDir dir;
    QImage map(1200, 1000, QImage::Format_RGB32);
    for (int y = 0; y < map.height(); ++y)
        for (int x = 0; x < map.width(); ++x)
            map.setPixel(x, y, qRgb((x * 7) & 255, (y * 3) & 255, (x ^ y) & 255));
    for (const char* name : {"m.jpg", "m.png", "m.bmp", "m.tif", "m.gif", "m.pcx", "m.lbm"}) {
        SCOPED_TRACE(name);
        const QString file = dir.filePath(QString::fromLatin1(name));
        std::vector<int> seen;
        const TSaveProgress all = [&](int percent) {
            seen.push_back(percent);
            return true;
        };
        SaveMapImage(map, file, nullptr, &all);
        ASSERT_FALSE(seen.empty());
        EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
        EXPECT_LE(seen.back(), 100);
        const QByteArray before = [&] {
            QFile f(file);
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }();

        // Cancelled a quarter of the way: the file saved before stays whole.
        const TSaveProgress stop = [](int percent) { return percent < 25; };
        EXPECT_THROW(SaveMapImage(map.mirrored(), file, nullptr, &stop), ESaveCancelled);
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), before);
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 7) << "no temporary files left";
}

} // namespace
} // namespace varrow
