#include "measure/gui/ImageEx.h"

#include <QPaintEvent>
#include <QPainter>
#include <QTest>

#include <gtest/gtest.h>

namespace varrow {
namespace {

// A picture in which every pixel differs from its neighbours.
QImage Pattern(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgb(x % 256, y % 256, (x * 7 + y * 13) % 256));
    return image;
}

// Records the rectangles the control is asked to paint.
class PaintSpy : public QObject {
public:
    QRegion painted;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) painted += static_cast<QPaintEvent*>(event)->region();
        return false;
    }
};

struct Shown {
    QImage picture = Pattern(600, 400);
    TImageEx image;
    Shown() {
        image.SetPicture(&picture);
        image.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&image));
    }
};

TEST(ImageEx, ShowsThePicturePixelForPixelAtItsOwnSize) {
    Shown s;
    EXPECT_EQ(s.image.size(), QSize(600, 400));
    const QImage shown = s.image.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(shown, s.picture);
    EXPECT_EQ(s.image.ControlToPicture({123, 45}), QPoint(123, 45));
}

TEST(ImageEx, MagnifiesAndMapsPointsBackToPicturePixels) {
    Shown s;
    s.image.SetMagnification(2.0);
    EXPECT_EQ(s.image.size(), QSize(1200, 800));
    const QImage shown = s.image.grab().toImage();
    EXPECT_EQ(shown.pixel(2 * 250 + 1, 2 * 150 + 1), s.picture.pixel(250, 150));
    EXPECT_EQ(s.image.ControlToPicture({500, 300}), QPoint(250, 150));
    EXPECT_EQ(s.image.PictureToControl(QRect(200, 100, 200, 200)), QRect(400, 200, 400, 400));

    s.image.SetMagnification(0.25);
    EXPECT_EQ(s.image.size(), QSize(150, 100));
    EXPECT_EQ(s.image.ControlToPicture({100, 50}), QPoint(400, 200));
    s.image.SetAutoSize(true);
    EXPECT_EQ(s.image.size(), QSize(600, 400));
}

TEST(ImageEx, AChangedTileRepaintsOnlyItsOwnRectangle) {
    Shown s;
    s.image.SetMagnification(0.5);
    QTest::qWait(0);
    QCoreApplication::processEvents();
    PaintSpy spy;
    s.image.installEventFilter(&spy);
    s.image.PictureChanged(QRect(200, 200, 200, 200));
    QCoreApplication::processEvents();
    s.image.removeEventFilter(&spy);
    ASSERT_FALSE(spy.painted.isEmpty());
    // A reduced picture is smoothed, which reaches one pixel further.
    EXPECT_TRUE(QRegion(QRect(99, 99, 102, 101)).contains(spy.painted.boundingRect()))
        << "painted " << spy.painted.boundingRect().x() << "," << spy.painted.boundingRect().y()
        << " " << spy.painted.boundingRect().width() << "x" << spy.painted.boundingRect().height();
}

TEST(ImageEx, TheDragPreviewShiftsThePaintingNotThePicture) {
    Shown s;
    const QImage before = s.picture.copy();
    s.image.SetShift(QPoint(10, 5));
    const QImage shown = s.image.grab().toImage();
    EXPECT_EQ(shown.pixel(3, 200), qRgb(255, 255, 255));
    EXPECT_EQ(shown.pixel(300, 2), qRgb(255, 255, 255));
    EXPECT_EQ(shown.pixel(10 + 40, 5 + 30), s.picture.pixel(40, 30));
    EXPECT_EQ(s.picture, before);
    s.image.SetShift(QPoint());
    EXPECT_EQ(s.image.grab().toImage().pixel(3, 200), s.picture.pixel(3, 200));
}

} // namespace
} // namespace varrow
