#include "tiles/TileBuffers.h"
#include "tiles/TilePixels.h"
#include "tiles/WorkerThreads.h"

#include <QPainter>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <atomic>
#include <system_error>
#include <thread>

using namespace varrow;

namespace {

QImage Noise(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    QRandomGenerator random(7);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, 0xff000000u | (random.generate() & 0xffffffu));
    return image;
}

// The painter's drawing of the tile, and a frame pixel by pixel (the
// painter's own rectangle leaves out a corner when it is clipped).
QImage Painted(const QImage& canvas, const QImage& tile, QPoint at, bool outline) {
    QImage out = canvas.copy();
    QPainter(&out).drawImage(at, tile);
    if (!outline) return out;
    const QRect frame(at, tile.size());
    for (int y = frame.top(); y <= frame.bottom(); ++y)
        for (int x = frame.left(); x <= frame.right(); ++x) {
            const bool edge = x == frame.left() || x == frame.right() || y == frame.top() ||
                              y == frame.bottom();
            if (edge && out.rect().contains(x, y)) out.setPixel(x, y, qRgb(0, 0, 0));
        }
    return out;
}

} // namespace

TEST(TilePixels, NarrowingAndWideningKeepEveryPixelWhereverTheTileLies) {
    // 203 columns: the rows do not split into whole groups of pixels and are
    // done one by one; 200: a tile with no padding, done in one run.
    for (const int width : {203, 200}) {
        SCOPED_TRACE(testing::Message() << "width " << width);
        const QImage tile = Noise(width, 200);
        QImage narrow;
        NarrowTile(tile, narrow);
        ASSERT_EQ(narrow.format(), QImage::Format_RGB888);
        EXPECT_EQ(narrow, tile.convertToFormat(QImage::Format_RGB888));

        QImage canvas(500, 420, QImage::Format_RGB32);
        canvas.fill(qRgb(10, 200, 30));
        const QPoint places[] = {{0, 0}, {100, 50}, {-150, -20}, {400, 300}, {-203, 0}, {600, 10}};
        for (const QPoint at : places) {
            for (const bool outline : {false, true}) {
                SCOPED_TRACE(testing::Message() << at.x() << "," << at.y() << " outline "
                                                << outline);
                const QImage expected = Painted(canvas, tile, at, outline);
                QImage wide = canvas.copy(), widened = canvas.copy();
                DrawTilePixels(tile, wide, TPoint{at.x(), at.y()}, outline);
                DrawTilePixels(narrow, widened, TPoint{at.x(), at.y()}, outline);
                EXPECT_EQ(wide, expected);
                EXPECT_EQ(widened, expected);
            }
        }
    }
    // A tile that never came leaves the mosaic as it was.
    QImage canvas(300, 300, QImage::Format_RGB32);
    canvas.fill(qRgb(1, 2, 3));
    const QImage before = canvas.copy();
    DrawTilePixels(QImage(), canvas, TPoint{50, 50}, true);
    EXPECT_EQ(canvas, before);
}

TEST(TilePixels, TileMemoryIsReusedOnceATileIsLetGo) {
    QImage first = NewTileImage();
    ASSERT_EQ(first.size(), QSize(TileSize, TileSize));
    ASSERT_EQ(first.format(), QImage::Format_RGB32);
    const uchar* memory = first.constBits();
    first.fill(Qt::red);
    EXPECT_EQ(first.constBits(), memory); // written in place, not copied
    QImage copy = first;                  // a copy keeps the memory in use
    first = QImage();
    EXPECT_NE(NewTileImage().constBits(), memory);
    copy = QImage();
    EXPECT_EQ(NewTileImage().constBits(), memory);
}

TEST(WorkerThreads, ThreadsAreKeptForLaterJobsAndStopRunsWhatWasQueued) {
    TWorkerThreads threads;
    std::atomic<int> ran{0};
    for (int round = 0; round < 50; ++round) {
        const int before = ran.load();
        threads.Run([&] { ++ran; });
        while (ran.load() == before) std::this_thread::yield();
    }
    // One job at a time needed one thread, maybe two while the first
    // was finishing its previous job.
    EXPECT_LE(threads.ThreadCount(), 2);

    std::atomic<bool> release{false};
    for (int i = 0; i < 6; ++i)
        threads.Run([&] {
            while (!release.load()) std::this_thread::yield();
            ++ran;
        });
    EXPECT_GE(threads.ThreadCount(), 6); // six jobs at once: a thread each
    release.store(true);
    threads.Stop();
    EXPECT_EQ(ran.load(), 56);
    EXPECT_THROW(threads.Run([] {}), std::system_error);
}
