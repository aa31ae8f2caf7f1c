// Saving a 75 x 75 map (15,000 x 15,000 pixels) in every format, beside the
// programs people would otherwise use on the same pixels: cjpeg -quality 90
// for JPEG and pnmtopng for PNG. Also the process's peak memory against the
// mosaic's own size.
//
// varrow-bench-save [--tiles 75] [--formats jpg,png,tif,bmp,pcx,gif,lbm] [--dir /tmp]

#include "demo/TileRenderer.h"
#include "io/MapImageFile.h"

#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>
#include <sys/resource.h>

using namespace varrow;

namespace {

double PeakMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

// A map of distinct demo tiles at 16 m per pixel, rendered on every core: a
// map of repeated tiles would flatter the encoders that search far back.
QImage Mosaic(int tiles) {
    QImage mosaic(tiles * 200, tiles * 200, QImage::Format_RGB32);
    std::atomic<int> next{0};
    auto work = [&] {
        for (int i; (i = next.fetch_add(1)) < tiles * tiles;) {
            const int x = i % tiles, y = i / tiles;
            const QImage tile = demo::RenderTile({2, 14, 100 + x, 1300 + tiles - 1 - y, 13})
                                    .convertToFormat(QImage::Format_RGB32);
            for (int r = 0; r < 200; ++r)
                std::memcpy(mosaic.scanLine(y * 200 + r) + x * 200 * 4, tile.constScanLine(r),
                            200 * 4);
        }
    };
    std::vector<std::thread> threads;
    for (unsigned t = 0; t < std::max(1u, std::thread::hardware_concurrency()); ++t)
        threads.emplace_back(work);
    for (std::thread& t : threads)
        t.join();
    return mosaic;
}

double Seconds(const std::function<void()>& run) {
    QElapsedTimer clock;
    clock.start();
    run();
    return double(clock.nsecsElapsed()) / 1e9;
}

double External(const QString& program, const QStringList& args, const QString& input,
                const QString& output) {
    QProcess p;
    p.setStandardInputFile(input);
    p.setStandardOutputFile(output);
    return Seconds([&] {
        p.start(program, args);
        p.waitForFinished(-1);
    });
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOption({"tiles", "Tiles each way.", "n", "75"});
    parser.addOption({"formats", "Formats to save.", "list", "jpg,png,tif,bmp,pcx,gif,lbm"});
    parser.addOption({"dir", "Where the files go.", "dir", "/tmp"});
    parser.process(app);
    const int tiles = parser.value("tiles").toInt();
    const QString dir = parser.value("dir");

    const QImage mosaic = Mosaic(tiles);
    const double mosaicMb = double(mosaic.sizeInBytes()) / (1024.0 * 1024.0);
    std::printf("%d x %d tiles, %d x %d pixels, mosaic %.0f MB, peak so far %.0f MB\n", tiles,
                tiles, mosaic.width(), mosaic.height(), mosaicMb, PeakMegabytes());

    // The anchors read the same pixels from a PPM file.
    const QString ppm = dir + "/varrow-bench.ppm";
    if (parser.value("formats").contains("jpg") || parser.value("formats").contains("png")) {
        QFile out(ppm);
        out.open(QIODevice::WriteOnly);
        out.write(QStringLiteral("P6\n%1 %2\n255\n").arg(mosaic.width()).arg(mosaic.height()).toLatin1());
        std::vector<char> row(static_cast<size_t>(mosaic.width()) * 3);
        for (int y = 0; y < mosaic.height(); ++y) {
            const auto* line = reinterpret_cast<const QRgb*>(mosaic.constScanLine(y));
            for (int x = 0; x < mosaic.width(); ++x) {
                row[3 * x] = static_cast<char>(qRed(line[x]));
                row[3 * x + 1] = static_cast<char>(qGreen(line[x]));
                row[3 * x + 2] = static_cast<char>(qBlue(line[x]));
            }
            out.write(row.data(), static_cast<qint64>(row.size()));
        }
    }

    for (const QString& format : parser.value("formats").split(',')) {
        const QString file = dir + "/varrow-bench." + format;
        const double s = Seconds([&] { SaveMapImage(mosaic, file); });
        std::printf("%-4s varrow %7.2f s  %8.1f MB", qPrintable(format), s,
                    double(QFileInfo(file).size()) / 1e6);
        if (format == "jpg") {
            const double anchor = External("cjpeg", {"-quality", "90"}, ppm, dir + "/anchor.jpg");
            std::printf("   cjpeg -quality 90 %7.2f s  ratio %.2f", anchor, s / anchor);
        } else if (format == "png") {
            const double anchor = External("pnmtopng", {}, ppm, dir + "/anchor.png");
            std::printf("   pnmtopng %7.2f s %8.1f MB  ratio %.2f", anchor,
                        double(QFileInfo(dir + "/anchor.png").size()) / 1e6, s / anchor);
        }
        std::printf("   peak %.0f MB (%.2f x mosaic)\n", PeakMegabytes(), PeakMegabytes() / mosaicMb);
        QFile::remove(file);
    }
    QFile::remove(ppm);
    QFile::remove(dir + "/anchor.jpg");
    QFile::remove(dir + "/anchor.png");
    return 0;
}
