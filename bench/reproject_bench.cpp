// Reprojection of web-Mercator tiles into UTM tiles, measured without any
// service (the source tiles are painted in-process beforehand):
//   1. CPU time per reprojected tile on one core, once its source tiles are
//      decoded, for maps whose source is finer than 1.5 times (averaged over
//      each pixel's footprint) and for those where it is not;
//   2. the control grid's positional error against the exact transform of
//      every pixel, and what the exact transforms would cost instead;
//   3. the mean difference of reprojected demo tiles from the demo tiles drawn
//      directly, by place and scale, near zone edges too.
//
// varrow-bench-reproject [--repeat 200]

#include "support/ReprojectCompare.h"

#include <QGuiApplication>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

using namespace varrow;
using namespace varrow::test;

namespace {

double ThreadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1000.0 + double(t.tv_nsec) / 1e6;
}

struct TPlace {
    const char* Name;
    double Latitude, Longitude;
    int Zone;
};

const TPlace Places[] = {{"Florida 28 N", 28.0, -81.5, 0},
                         {"Colorado 39.5 N", 39.5, -105.5, 0},
                         {"Alaska 64 N", 64.0, -147.0, 0},
                         {"Hawaii 19.7 N", 19.7, -155.5, 0},
                         {"zone 13 past its edge", 39.5, -101.8, 13},
                         {"zone 14 before its edge", 39.5, -102.2, 14}};
const double Scales[] = {512.0, 64.0, 8.0, 1.0, 0.25};

void CpuPerTile(int repeat) {
    std::printf("1. CPU per reprojected tile (one core, source tiles decoded)\n");
    std::vector<double> averaged, plain;
    for (const TPlace& p : Places)
        for (const double scale : Scales) {
            const TTileLocation location =
                TileAt(p.Latitude, p.Longitude, scale, TTileTheme::ColorAerial, p.Zone);
            const TReprojection plan(location, 22);
            const std::vector<QImage> tiles = PaintSourceTiles(plan, location.Theme);
            QImage bitmap;
            plan.Render(tiles, bitmap); // warm
            const double start = ThreadCpuMs();
            for (int k = 0; k < repeat; ++k)
                plan.Render(tiles, bitmap);
            const double perTile = (ThreadCpuMs() - start) / repeat;
            (plan.Ratio() > TReprojection::AveragingRatio ? averaged : plain).push_back(perTile);
        }
    const auto show = [](const char* what, const std::vector<double>& v) {
        if (v.empty()) return;
        double sum = 0;
        for (double x : v)
            sum += x;
        std::printf("   %-44s %2zu tiles: mean %.2f ms, worst %.2f ms\n", what, v.size(),
                    sum / double(v.size()), *std::max_element(v.begin(), v.end()));
    };
    show("source 1.5-2x finer (2 x 2 samples a pixel)", averaged);
    show("source up to 1.5x finer (1 sample a pixel)", plain);
}

void GridError() {
    std::printf("\n2. Control grid against the exact transform of every pixel (source pixels)\n");
    std::printf("   %-24s", "place");
    for (const int step : {10, 20, 25, 40})
        std::printf("  step %2d", step);
    std::printf("\n");
    for (const TPlace& p : {Places[0], Places[2], TPlace{"Alaska 71 N", 71.0, -156.0, 0}}) {
        for (const double scale : {512.0, 64.0}) {
            const TTileLocation location =
                TileAt(p.Latitude, p.Longitude, scale, TTileTheme::Topo, p.Zone);
            char label[64];
            std::snprintf(label, sizeof label, "%s, %g m", p.Name, scale);
            std::printf("   %-24s", label);
            for (const int step : {10, 20, 25, 40})
                std::printf("  %7.4f", ControlGridError(TReprojection(location, 22, step)));
            std::printf("\n");
        }
    }
    const TReprojection plan(TileAt(39.5, -105.5, 64.0, TTileTheme::Topo), 22);
    const double start = ThreadCpuMs();
    double sink = 0;
    for (int r = 0; r < TileSize; ++r)
        for (int c = 0; c < TileSize; ++c)
            sink += plan.Exact(c + 0.5, r + 0.5).X;
    std::printf("   exact transforms of all 40000 pixels of a tile: %.2f ms (grid step %d: %d "
                "transforms)%s\n",
                ThreadCpuMs() - start, TReprojection::DefaultGridStep,
                (TileSize / TReprojection::DefaultGridStep + 1) *
                    (TileSize / TReprojection::DefaultGridStep + 1),
                sink == 0 ? " " : "");
}

void Differences() {
    std::printf("\n3. Reprojected against direct demo tiles: mean difference, levels per channel"
                "\n   (Topo / Color Aerial; in brackets both shrunk to a quarter; zoom, ratio)\n");
    for (const TPlace& p : Places) {
        for (const double scale : Scales) {
            const TReprojectedTile topo =
                ReprojectDemoTile(TileAt(p.Latitude, p.Longitude, scale, TTileTheme::Topo, p.Zone));
            const TReprojectedTile colour = ReprojectDemoTile(
                TileAt(p.Latitude, p.Longitude, scale, TTileTheme::ColorAerial, p.Zone));
            std::printf("   %-24s %6.2f m  %5.2f / %5.2f  [%4.2f / %4.2f]  z%-2d %.2f%s\n", p.Name,
                        scale, topo.Mean, colour.Mean, topo.Blurred, colour.Blurred, topo.Zoom,
                        topo.Ratio,
                        topo.ShiftX || topo.ShiftY || colour.ShiftX || colour.ShiftY
                            ? "  (best match shifted)"
                            : "");
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv); // the direct tiles' labels need fonts
    const QStringList args = app.arguments();
    const qsizetype at = args.indexOf(QStringLiteral("--repeat"));
    const int repeat = at > 0 && at + 1 < args.size() ? args[at + 1].toInt() : 200;
    CpuPerTile(std::max(1, repeat));
    GridError();
    Differences();
    return 0;
}
