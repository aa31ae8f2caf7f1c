// GIF files read back by ImageMagick and compared with the picture that was encoded.

#include "io/GifWriter.h"
#include "support/ImageCompare.h"
#include "io/AtomicFile.h"

#include <QPainter>
#include <QProcess>

#include <gtest/gtest.h>

#include <cmath>
#include <thread>
#include <vector>

using namespace varrow;
using varrow::test::MeanError;

namespace {

// ImageMagick's reading of a GIF given on standard input, and what identify says about it.
QImage ReadBack(const QByteArray& gif, QString* description = nullptr) {
    QProcess p;
    p.start("convert", {"gif:-", "ppm:-"});
    p.write(gif);
    p.closeWriteChannel();
    EXPECT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    const QImage image = QImage::fromData(p.readAllStandardOutput(), "PPM");
    if (description) {
        QProcess id;
        id.start("identify", {"-format", "%m %k", "gif:-"});
        id.write(gif);
        id.closeWriteChannel();
        id.waitForFinished(60000);
        *description = QString::fromUtf8(id.readAllStandardOutput());
    }
    return image.convertToFormat(QImage::Format_RGB32);
}

// A map-like picture: smooth shading in thousands of colours, with lines and lettering.
QImage Terrain(int width, int height, int seed) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const double v =
                std::sin((x + seed) * 0.05) * std::cos(y * 0.03) + 0.3 * std::sin((x + y) * 0.2);
            image.setPixel(x, y,
                           qRgb(static_cast<int>(110 + 60 * v),
                                static_cast<int>(140 + 50 * v) + x % 7,
                                static_cast<int>(90 + 30 * std::cos(x * 0.01 + y * 0.02))));
        }
    QPainter painter(&image);
    painter.setPen(QColor(200, 30, 30));
    painter.drawLine(0, 0, width, height);
    painter.drawText(20, 40, "Dallas 1234");
    return image;
}

TEST(GifWriter, PicturesOfFewColoursComeBackExactly) {
    for (int colours : {1, 2, 3, 129, 256}) {
        QImage image(67, 45, QImage::Format_RGB32); // odd sizes on purpose
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const int c = (x + 67 * y) % colours;
                image.setPixel(x, y, qRgb(c, (c * 7) % 256, 255 - c));
            }
        QString description;
        const QImage back = ReadBack(EncodeGif(image), &description);
        ASSERT_EQ(back.size(), image.size()) << colours;
        EXPECT_EQ(back, image) << colours;
        EXPECT_EQ(description, QString("GIF %1").arg(colours));
    }
    // Formats other than the mosaic's are read correctly too.
    const QImage rgb888 = Terrain(50, 30, 0)
                              .convertToFormat(QImage::Format_Indexed8)
                              .convertToFormat(QImage::Format_RGB888);
    EXPECT_EQ(ReadBack(EncodeGif(rgb888)), rgb888.convertToFormat(QImage::Format_RGB32));
}

TEST(GifWriter, ManyColoursAreQuantisedCloselyNotToAFixedPalette) {
    const QImage terrain = Terrain(600, 600, 0);
    QString description;
    const QImage back = ReadBack(EncodeGif(terrain), &description);
    ASSERT_EQ(back.size(), terrain.size());
    // Qt's own conversion to 8 bits errs by more than 12 levels on average here.
    EXPECT_LT(MeanError(back, terrain), 2.5);
    EXPECT_TRUE(description.startsWith("GIF ")) << description.toStdString();
    EXPECT_GT(description.section(' ', 1).toInt(), 200);
}

TEST(GifWriter, EncodesOnManyThreadsAtOnce) {
    std::vector<QImage> tiles;
    std::vector<QByteArray> expected;
    for (int i = 0; i < 8; ++i) {
        tiles.push_back(Terrain(200, 200, 40 * i));
        expected.push_back(EncodeGif(tiles.back()));
    }
    std::vector<QByteArray> results(tiles.size() * 4);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < results.size(); ++t)
        threads.emplace_back([&, t] { results[t] = EncodeGif(tiles[t % tiles.size()]); });
    for (std::thread& thread : threads)
        thread.join();
    for (std::size_t t = 0; t < results.size(); ++t)
        EXPECT_EQ(results[t], expected[t % tiles.size()]) << t;
}

TEST(GifWriter, RefusesWhatAGifCannotHold) {
    EXPECT_THROW(EncodeGif(QImage()), EFileWriteError);
    EXPECT_THROW(EncodeGif(QImage(70000, 1, QImage::Format_RGB32)), EFileWriteError);
}

} // namespace
