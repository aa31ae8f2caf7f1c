// Cost of the measuring tool's edits on large and small mosaics: a press on a
// vertex, a drag step of one vertex and a Ctrl+drag step of the whole figure,
// for a 10-vertex figure on a 75 x 75 tile mosaic (15,000 x 15,000 pixels)
// and on a 3 x 3 one (600 x 600), with an 11 x 11 one (2,200 pixels) that
// holds the larger figure whole. An edit restores the figure's old extent
// and draws it again: it must cost what the figure covers, not what the
// mosaic holds.
//
// varrow-bench-measure [--rounds 101]

#include "measure/MapCanvas.h"
#include "measure/MeasureTool.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

using varrow::TMapCanvas;
using varrow::TMeasureTool;
using varrow::TShiftState;

void FillMosaic(QImage& image) {
    // Tile-like content, so that nothing is uniform.
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            line[x] = qRgb((x * 3 + y) & 255, (y * 5 + x / 200) & 255, (x ^ y) & 255);
    }
}

// Ten vertices on a star around the mosaic's centre, span pixels across.
TMeasureTool Star(QPoint centre, int span) {
    TMeasureTool tool;
    tool.XScale = tool.YScale = 1.0;
    for (int i = 0; i < 10; ++i) {
        const double angle = i * 2.0 * 3.14159265358979 / 10.0;
        const double radius = (i % 2 == 0 ? 0.5 : 0.3) * span;
        tool.AddPoint(centre.x() + static_cast<int>(std::lround(radius * std::sin(angle))),
                      centre.y() - static_cast<int>(std::lround(radius * std::cos(angle))));
    }
    return tool;
}

double MedianMicroseconds(int rounds, const std::function<void(int)>& step) {
    std::vector<double> times;
    times.reserve(static_cast<std::size_t>(rounds));
    step(-1); // warm up
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer clock;
        clock.start();
        step(i);
        times.push_back(static_cast<double>(clock.nsecsElapsed()) / 1000.0);
    }
    std::nth_element(times.begin(), times.begin() + rounds / 2, times.end());
    return times[static_cast<std::size_t>(rounds / 2)];
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({"rounds", "Steps per figure.", "n", "101"});
    parser.process(app);
    const int rounds = std::max(1, parser.value("rounds").toInt());

    const TShiftState left{true, false, false, false};
    const TShiftState ctrlLeft{true, false, false, true};
    std::printf("10-vertex figure, median of %d steps, microseconds\n", rounds);
    std::printf("%-12s %6s %12s %10s %10s %10s\n", "mosaic", "span", "first press", "press",
                "drag step", "ctrl drag");
    for (const int tiles : {3, 11, 75}) {
        TMapCanvas canvas;
        canvas.Reset(tiles * 200, tiles * 200);
        FillMosaic(canvas.Picture());
        const QPoint centre(tiles * 100, tiles * 100);
        for (const int span : {550, 2000}) {
            // The background copy shares the picture's pixels until the
            // first edit writes them: that press pays for one copy of the map.
            canvas.SaveBackground();
            TMeasureTool tool = Star(centre, span);
            QElapsedTimer clock;
            clock.start();
            tool.MouseDown(tool.Points[0].x(), tool.Points[0].y(), canvas, left);
            const double first = static_cast<double>(clock.nsecsElapsed()) / 1000.0;

            const QPoint v0 = tool.Points[0];
            const double press = MedianMicroseconds(
                rounds, [&](int) { tool.MouseDown(v0.x(), v0.y(), canvas, left); });
            const double drag = MedianMicroseconds(
                rounds, [&](int i) { tool.MouseMove(v0.x() + (i & 1), v0.y(), canvas, left); });
            const double ctrl = MedianMicroseconds(rounds, [&](int i) {
                tool.MouseMove(v0.x() + (i & 1), v0.y() + (i & 2) / 2, canvas, ctrlLeft);
            });
            tool.Erase(canvas);
            std::printf("%-12s %6d %12.0f %10.0f %10.0f %10.0f\n",
                        QStringLiteral("%1x%1").arg(tiles * 200).toLatin1().constData(), span,
                        first, press, drag, ctrl);
        }
    }
    return 0;
}
