// CPU cost of painting demo landscape tiles on one core: a block of distinct
// UTM tiles at each of the twelve scales in each theme, around the program's
// default view (zone 13, 307200 E, 3584000 N), then web-Mercator tiles over
// the same ground. Every tile is new, so nothing is served from a cache.
//
// varrow-bench-demo [--block 10] [--repeat 1] [--lanes 4]
//   block x block tiles per scale and theme; with --repeat, each tile's time
//   is the least of that many renders, which keeps other work on a busy
//   machine out of the figures; --lanes 4 keeps to four vector lanes, as on a
//   processor without AVX2.

#include "demo/Lanes.h"
#include "demo/TileRenderer.h"

#include <QGuiApplication>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

using namespace varrow::demo;

namespace {

double ThreadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1000.0 + double(t.tv_nsec) / 1e6;
}

struct Figures {
    double Mean = 0, Worst = 0;
};

// Times each call of paint(i, j) for i, j < block; the checksum keeps the
// images from being optimised away.
template <typename Paint> Figures Measure(int block, int repeat, Paint paint, unsigned& checksum) {
    Figures f;
    double total = 0;
    for (int j = 0; j < block; ++j)
        for (int i = 0; i < block; ++i) {
            double ms = 1e9;
            for (int k = 0; k < repeat; ++k) {
                const double start = ThreadCpuMs();
                const QImage image = paint(i, j);
                ms = std::min(ms, ThreadCpuMs() - start);
                checksum += image.pixel(i % image.width(), j % image.height());
            }
            total += ms;
            f.Worst = std::max(f.Worst, ms);
        }
    f.Mean = total / (block * block);
    return f;
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    int block = 10, repeat = 1;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--block") == 0) block = std::max(1, std::atoi(argv[i + 1]));
        if (std::strcmp(argv[i], "--repeat") == 0) repeat = std::max(1, std::atoi(argv[i + 1]));
        if (std::strcmp(argv[i], "--lanes") == 0) AllowEightLanes(std::atoi(argv[i + 1]) == 8);
    }
    std::printf("%d vector lanes\n", HasEightLanes() ? 8 : 4);

    const struct {
        int Code;
        const char* Name;
    } themes[] = {{2, "Topo"}, {1, "Aerial"}, {4, "Color Aerial"}};
    unsigned checksum = 0;
    RenderTile({2, 19, 3, 35, 13}); // fonts and the world's tables, once

    std::printf("UTM tiles, %d x %d per scale and theme, CPU ms per tile (mean / worst)\n", block,
                block);
    std::printf("%6s %8s", "scale", "m/px");
    for (const auto& t : themes)
        std::printf(" %20s", t.Name);
    std::printf("\n");
    double overallWorst = 0, overallSum = 0;
    int rows = 0;
    for (int code = MaxScaleCode; code >= MinScaleCode; --code) {
        const double tileMetres = TilePixels * ScaleOfCode(code);
        const int x0 = static_cast<int>(307200.0 / tileMetres);
        const int y0 = static_cast<int>(3584000.0 / tileMetres);
        std::printf("%6d %8g", code, ScaleOfCode(code));
        for (const auto& t : themes) {
            const Figures f = Measure(
                block, repeat,
                [&](int i, int j) {
                    return RenderTile({t.Code, code, x0 + i, y0 + j, 13});
                },
                checksum);
            std::printf("       %6.2f / %6.2f", f.Mean, f.Worst);
            overallWorst = std::max(overallWorst, f.Worst);
            overallSum += f.Mean;
            ++rows;
        }
        std::printf("\n");
        std::fflush(stdout);
    }
    std::printf("mean over scales and themes %.2f ms, worst tile %.2f ms\n\n", overallSum / rows,
                overallWorst);

    // Web-Mercator tiles near 32.4 N 106.9 W, from zoom 6 to 18.
    std::printf("web-Mercator 256 x 256 tiles, %d x %d per zoom, CPU ms per tile (mean / worst)\n",
                block, block);
    std::printf("%6s %20s %20s\n", "zoom", "Topo", "Color Aerial");
    for (int zoom = 6; zoom <= 18; zoom += 2) {
        const double n = std::ldexp(1.0, zoom);
        const auto x0 = static_cast<int>((-106.9 + 180.0) / 360.0 * n);
        const double lat = 32.4 * 3.14159265358979 / 180.0;
        const auto y0 = static_cast<int>(
            (1.0 - std::log(std::tan(lat) + 1.0 / std::cos(lat)) / 3.14159265358979) / 2.0 * n);
        std::printf("%6d", zoom);
        for (const int theme : {2, 4}) {
            const Figures f = Measure(
                block, repeat,
                [&](int i, int j) { return RenderMercatorTile(theme, zoom, x0 + i, y0 + j); },
                checksum);
            std::printf("       %6.2f / %6.2f", f.Mean, f.Worst);
        }
        std::printf("\n");
        std::fflush(stdout);
    }
    std::printf("(checksum %08x)\n", checksum);
    return 0;
}
