#include "measure/MapCanvas.h"

#include <QPainter>

#include <gtest/gtest.h>

#include <vector>

namespace varrow {
namespace {

// A picture in which every pixel differs from its neighbours.
void Paint(QImage& image) {
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb(x % 256, y % 256, (x * 7 + y * 13) % 256));
}

struct Map {
    TMapCanvas canvas;
    std::vector<QRect> changed;
    Map() {
        canvas.OnChanged = [this](const QRect& r) { changed.push_back(r); };
        canvas.Reset(600, 400);
        Paint(canvas.Picture());
        changed.clear();
    }
};

TEST(MapCanvas, ResetGivesAWhitePictureWithoutBackgroundAndReportsItAll) {
    TMapCanvas canvas;
    std::vector<QRect> changed;
    canvas.OnChanged = [&](const QRect& r) { changed.push_back(r); };
    canvas.Reset(400, 200);
    EXPECT_EQ(canvas.Picture().size(), QSize(400, 200));
    EXPECT_EQ(canvas.Picture().format(), QImage::Format_RGB32);
    EXPECT_EQ(canvas.Picture().pixel(399, 199), qRgb(255, 255, 255));
    EXPECT_TRUE(canvas.Background().isNull());
    EXPECT_EQ(changed, std::vector<QRect>{QRect(0, 0, 400, 200)});
    // The same size again keeps the pixels' memory and clears them.
    const uchar* bits = canvas.Picture().constBits();
    canvas.Picture().fill(Qt::red);
    canvas.SaveBackground();
    canvas.Reset(400, 200);
    EXPECT_EQ(canvas.Picture().constBits(), bits);
    EXPECT_EQ(canvas.Picture().pixel(0, 0), qRgb(255, 255, 255));
    EXPECT_TRUE(canvas.Background().isNull());
}

TEST(MapCanvas, ALargePictureOutlivesTheCanvasInItsCopiesAndWritesNeverReachThem) {
    // 2,900 pixels square is over 32 MB: a mapping of its own.
    TMapCanvas canvas;
    canvas.Reset(2900, 2900);
    ASSERT_FALSE(canvas.IsNull());
    EXPECT_EQ(canvas.Picture().pixel(2899, 2899), qRgb(255, 255, 255));
    canvas.Picture().setPixel(10, 20, qRgb(1, 2, 3));
    const QImage copy = canvas.Picture(); // as a save or a print holds it
    // Drawing now writes into fresh pixels, not the copy's.
    canvas.Picture().setPixel(10, 20, qRgb(4, 5, 6));
    EXPECT_EQ(copy.pixel(10, 20), qRgb(1, 2, 3));
    // A new size lets the canvas's pixels go; the copy's stay readable.
    canvas.Reset(3000, 2950);
    EXPECT_EQ(canvas.Picture().pixel(10, 20), qRgb(255, 255, 255));
    EXPECT_EQ(copy.pixel(10, 20), qRgb(1, 2, 3));
    EXPECT_EQ(copy.pixel(2899, 2899), qRgb(255, 255, 255));
}

TEST(MapCanvas, TheBackgroundCostsNothingUntilSomethingDrawsOverIt) {
    Map m;
    m.canvas.SaveBackground();
    const TMapCanvas& shown = m.canvas;
    EXPECT_EQ(m.canvas.Background().constBits(), shown.Picture().constBits());

    // A figure drawn through the surface of its own area: the rest of the
    // map is not copied, and the background still reads as it was.
    const QImage original = shown.Picture().copy();
    {
        QPainter p(&m.canvas.Surface(QRect(500, 300, 20, 20)));
        p.fillRect(QRect(500, 300, 20, 20), Qt::green);
    }
    EXPECT_EQ(shown.Picture().pixel(510, 310), qRgb(0, 255, 0));
    EXPECT_EQ(m.canvas.Background(), original);
    m.canvas.RestoreRect(QRect(505, 305, 10, 10));
    EXPECT_EQ(shown.Picture().pixel(510, 310), original.pixel(510, 310));
    EXPECT_EQ(shown.Picture().pixel(501, 301), qRgb(0, 255, 0));
    m.canvas.RestoreBackground();
    EXPECT_EQ(shown.Picture(), original);
    // A block restored whole is the background again, at no cost.
    EXPECT_EQ(m.canvas.Background().constBits(), shown.Picture().constBits());
}

TEST(MapCanvas, BackgroundCopySurvivesDrawingAnywhere) {
    Map m;
    m.canvas.SaveBackground();

    const QImage original = m.canvas.Picture().copy();
    {
        QPainter p(&m.canvas.Picture());
        p.fillRect(QRect(100, 100, 300, 200), Qt::red);
    }
    EXPECT_EQ(m.canvas.Background(), original);

    // Exclusive right and bottom edges: (150, 120) .. (200, 140).
    m.canvas.RestoreRect(QRect(150, 120, 50, 20));
    const QImage& p = m.canvas.Picture();
    EXPECT_EQ(p.pixel(150, 120), original.pixel(150, 120));
    EXPECT_EQ(p.pixel(199, 139), original.pixel(199, 139));
    EXPECT_EQ(p.pixel(200, 139), qRgb(255, 0, 0));
    EXPECT_EQ(p.pixel(150, 140), qRgb(255, 0, 0));
    EXPECT_EQ(m.changed, std::vector<QRect>{QRect(150, 120, 50, 20)});

    // An inverted rectangle copies nothing; one reaching outside is clipped.
    m.changed.clear();
    m.canvas.RestoreRect(QRect(QPoint(300, 250), QPoint(250, 200)));
    EXPECT_EQ(p.pixel(260, 220), qRgb(255, 0, 0));
    EXPECT_TRUE(m.changed.empty());
    m.canvas.RestoreRect(QRect(350, 250, 1000, 1000));
    EXPECT_EQ(p.pixel(399, 299), original.pixel(399, 299));
    EXPECT_EQ(p.pixel(349, 299), qRgb(255, 0, 0));
    EXPECT_EQ(m.changed.back(), QRect(350, 250, 250, 150));

    m.canvas.RestoreBackground();
    EXPECT_EQ(m.canvas.Picture(), original);
    EXPECT_EQ(m.changed.back(), QRect(0, 0, 600, 400));
}

TEST(MapCanvas, WithoutABackgroundNothingIsRestored) {
    Map m;
    {
        QPainter p(&m.canvas.Picture());
        p.fillRect(QRect(0, 0, 10, 10), Qt::red);
    }
    m.canvas.RestoreRect(QRect(0, 0, 10, 10));
    m.canvas.RestoreBackground();
    EXPECT_EQ(m.canvas.Picture().pixel(5, 5), qRgb(255, 0, 0));
    EXPECT_TRUE(m.changed.empty());
}

TEST(MapCanvas, ChangesAreReportedClippedToThePicture) {
    Map m;
    m.canvas.Changed(QRect(-50, -50, 100, 100)); // a ring tile reaching outside
    m.canvas.Changed(QRect(700, 0, 200, 200));   // wholly outside
    EXPECT_EQ(m.changed, std::vector<QRect>{QRect(0, 0, 50, 50)});
}

} // namespace
} // namespace varrow
