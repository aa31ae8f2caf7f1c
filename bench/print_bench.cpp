// Cost of printing a large map: building the pages, shrinking them for the preview and
// printing them to a PDF file, with the memory each step adds to the mosaic's own. The
// program holds a tile cache beside the mosaic while it prints, so the benchmark holds one
// of the same size, and the peak is set against 1.15 times the two together.
//
// varrow-bench-print [--side 15000] [--method actual|fit|manual:F|scale:N] [--info on|off]
//                    [--dpi 300] [--tiles 500] [--pdf FILE] [--no-pdf]
//
// Run under /usr/bin/time -v for the peak resident size as the system sees it.

#include "print/PrintOutput.h"

#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPainter>

#include <sys/resource.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

using namespace varrow;

namespace {

// Resident and peak resident size of this process, MiB.
double Mib(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string key = std::string(field) + ":";
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0) return std::stod(line.substr(key.size())) / 1024.0;
    return 0;
}

void Report(const char* step, const QElapsedTimer& clock, double base) {
    std::printf("%-28s %8.2f s   resident %7.0f MiB (+%5.0f)   peak %7.0f MiB (+%5.0f)\n", step,
                double(clock.nsecsElapsed()) / 1e9, Mib("VmRSS"), Mib("VmRSS") - base, Mib("VmHWM"),
                Mib("VmHWM") - base);
}

// A mosaic with detail everywhere, so that no page is blank and compression has work.
QImage Mosaic(int side) {
    QImage image(side, side, QImage::Format_RGB32);
    for (int y = 0; y < side; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < side; ++x)
            row[x] = qRgb((x / 7) % 200 + 20, (y / 5) % 200 + 30, ((x ^ y) & 63) + 100);
    }
    return image;
}

// What the tile cache holds at its fullest: tiles of 200 × 200 at 24 bits.
std::vector<QImage> TileCache(int tiles) {
    std::vector<QImage> cache;
    for (int i = 0; i < tiles; ++i) {
        cache.emplace_back(200, 200, QImage::Format_RGB888);
        cache.back().fill(QColor(i % 256, 90, 160));
    }
    return cache;
}

double PeakMib() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0; // KiB on Linux
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({"side", "Mosaic side in pixels.", "pixels", "15000"});
    parser.addOption({"method", "actual, fit, manual:F or scale:N.", "method", "actual"});
    parser.addOption({"info", "Map information on or off.", "on|off"});
    parser.addOption({"dpi", "Printer pixels per inch.", "dpi", "300"});
    parser.addOption({"tiles", "Tiles of 200 x 200 held as the tile cache.", "count", "500"});
    parser.addOption(
        {"pdf", "PDF file to print to.", "file", QDir::temp().filePath("varrow-bench.pdf")});
    parser.addOption({"no-pdf", "Build the pages only."});
    parser.process(app);

    TPrintSettings settings;
    QString error;
    if (!ParsePrintOption("--print-method", parser.value("method"), settings, error) ||
        !ParsePrintOption("--dpi", parser.value("dpi"), settings, error) ||
        (parser.isSet("info") &&
         !ParsePrintOption("--print-info", parser.value("info"), settings, error))) {
        std::fprintf(stderr, "varrow-bench-print: %s\n", qPrintable(error));
        return 2;
    }
    const int side = parser.value("side").toInt();

    QElapsedTimer clock;
    clock.start();
    const QImage mosaic = Mosaic(side);
    const std::vector<QImage> cache = TileCache(parser.value("tiles").toInt());
    Report("mosaic and tile cache", clock, 0);
    const double base = Mib("VmRSS");
    double held = double(mosaic.sizeInBytes());
    for (const QImage& tile : cache)
        held += double(tile.sizeInBytes());
    const double mosaicMib = double(mosaic.sizeInBytes()) / 1048576.0;
    const double ceiling = 1.15 * held / 1048576.0;

    TPrintMapInfo info;
    info.MetresPerPixel = 4;
    info.Zone = 13;
    info.LowerLeftEasting = 307200;
    info.LowerLeftNorthing = 3584000;
    info.UpperRightEasting = 307200 + 4.0 * side;
    info.UpperRightNorthing = 3584000 + 4.0 * side;
    info.Theme = "Topo";
    info.TileSource = "bench";

    const QPageLayout layout = PageLayoutOf(settings);
    TPrintPreviewModel pages;
    SetPdfSheet(pages, settings);
    TPrintLayout print(pages);
    print.Settings() = settings;
    print.SetMapSource({[&]() -> const QImage& { return mosaic; }, [&] { return info; }});

    clock.restart();
    print.BuildPrintPages();
    int pictures = 0;
    for (int i = 0; i < pages.Count(); ++i)
        pictures += pages.Pages(i).Picture().IsNull() ? 0 : 1;
    std::printf("%d pages in %d columns, %d with pictures; %s Ft/Inch, %s\n", pages.Count(),
                pages.Columns(), pictures, qPrintable(print.Readouts().FeetPerInch),
                qPrintable(print.Readouts().Ratio));
    Report("build pages", clock, base);

    // What the preview does at its first paint: each sheet in a cell of 90 pixels.
    clock.restart();
    pages.SetViewSize(90 * pages.Columns());
    pages.ArrangePages();
    QImage cell(pages.Cells().empty() ? QSize(1, 1) : pages.Cells()[0].size(),
                QImage::Format_RGB32);
    QPainter painter(&cell);
    for (int i = 0; i < pages.Count(); ++i)
        pages.Pages(i).Draw(painter, cell.rect(), print.Decoration(), i + 1, pages.Count());
    painter.end();
    Report("preview sheets", clock, base);

    if (parser.isSet("no-pdf")) return 0;
    const QString pdf = parser.value("pdf");
    clock.restart();
    int steps = 0;
    try {
        PrintPagesToPdf(pages, print.Decoration(), layout, settings.Dpi, pdf,
                        [&](int) { return ++steps, true; });
    } catch (const std::exception& e) {
        std::fprintf(stderr, "varrow-bench-print: %s\n", e.what());
        return 1;
    }
    Report("print to PDF", clock, base);
    std::printf("%s: %.1f MiB\n", qPrintable(pdf), double(QFileInfo(pdf).size()) / 1048576.0);
    const double peak = PeakMib();
    std::printf("mosaic %.0f MiB, with tile cache %.0f MiB; peak %.0f MiB, ceiling %.0f MiB: %s\n",
                mosaicMib, held / 1048576.0, peak, ceiling, peak <= ceiling ? "under" : "OVER");
    return 0;
}
