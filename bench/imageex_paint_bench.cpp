// Paint cost of the map image control: the visible part of a 75 x 75 tile
// mosaic (15,000 x 15,000 pixels) against a 3 x 3 one, at several
// magnifications, for a whole-view repaint, one arriving tile and one drag
// step. A repaint must cost what the window shows, not what the mosaic holds.
//
// varrow-bench-imageex [--view 1000x750] [--rounds 30]

#include "measure/gui/ImageEx.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>

#include <cstdio>
#include <functional>

namespace {

QImage Mosaic(int side) {
    QImage image(side, side, QImage::Format_RGB32);
    // Tile-like content: a gradient per 200-pixel tile, so nothing compresses or repeats.
    for (int y = 0; y < side; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < side; ++x)
            line[x] = qRgb((x * 3 + y) & 255, (y * 5 + x / 200) & 255, (x ^ y) & 255);
    }
    return image;
}

double Milliseconds(int rounds, const std::function<void()>& step) {
    step(); // warm up
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < rounds; ++i)
        step();
    return static_cast<double>(clock.nsecsElapsed()) / 1e6 / rounds;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({"view", "Size of the map window.", "WxH", "1000x750"});
    parser.addOption({"rounds", "Repaints per figure.", "n", "30"});
    parser.process(app);
    const QStringList view = parser.value("view").split('x');
    const QSize viewSize(view.value(0).toInt(), view.value(1).toInt());
    const int rounds = parser.value("rounds").toInt();

    std::printf("map window %dx%d, mean of %d repaints, milliseconds\n", viewSize.width(),
                viewSize.height(), rounds);
    std::printf("%-10s %6s %12s %10s %10s\n", "mosaic", "zoom", "whole view", "one tile",
                "drag step");
    for (const int tiles : {3, 75}) {
        QImage mosaic = Mosaic(tiles * 200);
        QScrollArea scroll;
        auto* image = new varrow::TImageEx;
        image->SetPicture(&mosaic);
        scroll.setWidget(image);
        scroll.resize(viewSize + QSize(2, 2));
        scroll.show();
        QApplication::processEvents();
        for (const double zoom : {0.1, 0.5, 1.0, 2.0, 4.0}) {
            if (zoom == 1.0)
                image->SetAutoSize(true);
            else
                image->SetMagnification(zoom);
            QApplication::processEvents();
            // Look at the middle of the map.
            scroll.horizontalScrollBar()->setValue(scroll.horizontalScrollBar()->maximum() / 2);
            scroll.verticalScrollBar()->setValue(scroll.verticalScrollBar()->maximum() / 2);
            QApplication::processEvents();
            const QRect visible = image->visibleRegion().boundingRect();
            const double whole = Milliseconds(rounds, [&] { image->repaint(visible); });
            // A tile arriving in the middle of the view.
            const QPoint middle = image->ControlToPicture(visible.center());
            const QRect tile(middle.x() / 200 * 200, middle.y() / 200 * 200, 200, 200);
            const double one = Milliseconds(rounds, [&] {
                image->PictureChanged(tile);
                QApplication::processEvents();
            });
            int step = 0;
            const double drag = Milliseconds(rounds, [&] {
                ++step;
                image->SetShift(QPoint(step % 50, step % 30));
                image->repaint(visible);
            });
            image->SetShift(QPoint());
            std::printf("%-10s %6.1f %12.2f %10.2f %10.2f\n",
                        QStringLiteral("%1x%1").arg(tiles * 200).toLatin1().constData(), zoom,
                        whole, one, drag);
        }
        image->SetPicture(nullptr);
    }
    return 0;
}
