#include "TileRenderer.h"

#include "Lanes.h"
#include "TerrainRaster.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <array>
#include <cmath>

namespace varrow::demo {

namespace {

struct Rgb {
    float R = 0, G = 0, B = 0;
};

// Four pixels' colours.
struct Rgb4 {
    F4 R, G, B;

    Rgb4() = default;
    Rgb4(F4 r, F4 g, F4 b) : R(r), G(g), B(b) {}
    Rgb4(const Rgb& c) : R(Splat(c.R)), G(Splat(c.G)), B(Splat(c.B)) {}
};

Rgb4 Blend(const Rgb4& a, const Rgb4& b, F4 t) {
    return {Mix(a.R, b.R, t), Mix(a.G, b.G, t), Mix(a.B, b.B, t)};
}

Rgb4 Scaled(const Rgb4& a, F4 f) {
    return {a.R * f, a.G * f, a.B * f};
}

// Four pixels into a scanline.
void StorePixels(QRgb* line, const Rgb4& c) {
    const auto channel = [](F4 v) { return __builtin_convertvector(Clamp(v + 0.5f, 0.0f, 255.0f), I4); };
    const I4 argb = static_cast<std::int32_t>(0xff000000u) | (channel(c.R) << 16) |
                    (channel(c.G) << 8) | channel(c.B);
    std::memcpy(line, &argb, sizeof argb);
}

struct Stop {
    float At;
    Rgb Colour;
};

// A colour ramp through stops in rising order, as a sum of clamped ramps so
// that four pixels can be looked up at once.
template <std::size_t N>
Rgb4 Ramp(const std::array<Stop, N>& stops, F4 x) {
    Rgb4 c(stops[0].Colour);
    for (std::size_t i = 1; i < N; ++i) {
        const F4 t = Clamp01((x - stops[i - 1].At) * (1.0f / (stops[i].At - stops[i - 1].At)));
        const Rgb& a = stops[i - 1].Colour;
        const Rgb& b = stops[i].Colour;
        c.R += t * (b.R - a.R), c.G += t * (b.G - a.G), c.B += t * (b.B - a.B);
    }
    return c;
}

// Hypsometric tints, lowland green to snowy summits.
constexpr std::array<Stop, 9> Hypsometric = {{{0, {160, 204, 150}},
                                              {150, {182, 214, 158}},
                                              {400, {208, 224, 170}},
                                              {800, {234, 232, 182}},
                                              {1300, {234, 216, 160}},
                                              {1900, {216, 188, 138}},
                                              {2600, {194, 160, 122}},
                                              {3300, {176, 156, 146}},
                                              {4000, {236, 236, 236}}}};

// Crop colours a plot may take, picked by its tone; plots are flat colours,
// blended only for the averaged tone of zoomed-out farmland.
constexpr std::array<Stop, 6> Crops = {{{0.0f, {86, 118, 50}},
                                        {0.2f, {124, 148, 74}},
                                        {0.4f, {176, 164, 108}},
                                        {0.6f, {130, 104, 74}},
                                        {0.8f, {158, 150, 104}},
                                        {1.0f, {100, 130, 60}}}};

// Relief shading: light from the north-west, 45 degrees up. 1 on flat ground.
F4 HillShade(F4 slopeEast, F4 slopeNorth, float exaggeration) {
    const F4 gx = slopeEast * exaggeration, gy = slopeNorth * exaggeration;
    const F4 lit = (0.5f * gx - 0.5f * gy + 0.70710678f) / Sqrt(1.0f + gx * gx + gy * gy);
    return Max(lit, Splat(0.0f)) * (1.0f / 0.70710678f);
}

// Zoomed out, slopes are averaged over large pixels and relief looks flat.
float Exaggeration(double scale) {
    return static_cast<float>(std::clamp(1.0 + 0.4 * std::log2(scale), 1.0, 4.5));
}

void PaintTopo(TerrainRaster& t, QImage& image) {
    const auto s = static_cast<float>(t.Scale());
    const float ex = Exaggeration(s);
    const auto ci = static_cast<float>(ContourInterval(s));
    const Rgb4 water(Rgb{150, 196, 232}), shore(Rgb{64, 122, 190}), river(Rgb{64, 124, 204});
    const Rgb4 contour(Rgb{150, 98, 56}), snow(Rgb{242, 246, 250}), rock(Rgb{206, 200, 194});
    const Rgb4 highway(Rgb{204, 40, 30}), road(Rgb{236, 130, 30}), track(Rgb{70, 66, 62}),
        building(Rgb{48, 44, 40});
    for (int r = 0; r < t.Size(); ++r) {
        const GroundRow& g = t.Row(r);
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(r));
        for (int c = 0; c < t.Size(); c += 4) {
            const F4 h = Load4(g.Elevation + c);
            Rgb4 col = Ramp(Hypsometric, h);
            const F4 forest = Load4(g.Forest + c);
            col = {col.R * (1.0f - 0.20f * forest), col.G * (1.0f - 0.07f * forest),
                   col.B * (1.0f - 0.24f * forest)};
            col = Blend(col, rock, 0.5f * Load4(g.Rock + c));
            col = Blend(col, snow, Load4(g.Snow + c));
            const F4 east = Load4(g.SlopeEast + c), north = Load4(g.SlopeNorth + c);
            col = Scaled(col, Clamp(0.5f + 0.5f * HillShade(east, north, ex), 0.55f, 1.2f));

            // Contours: distance to the nearest level over the local gradient.
            const F4 gradPx = Max(Sqrt(east * east + north * north) * s, Splat(1e-6f));
            const F4 level = Floor(h / ci + 0.5f);
            const I4 index = Abs(level - 5.0f * Floor(level / 5.0f)) < 0.5f;
            const F4 dpx = Abs(h - level * ci) / gradPx;
            const F4 spacing = ci / gradPx;
            const F4 minor = Clamp01(0.8f - dpx) * 0.55f * Smoothstep(1.8f, 4.0f, spacing);
            const F4 major = Clamp01(1.1f - dpx) * 0.85f * Smoothstep(1.0f, 2.5f, spacing * 5.0f);
            col = Blend(col, contour, Select(index, major, minor));

            col = Blend(col, water, Load4(g.Water + c));
            col = Blend(col, shore, Load4(g.Shore + c));
            col = Blend(col, river, Load4(g.River + c));
            col = Blend(col, track, Load4(g.Track + c));
            col = Blend(col, road, Load4(g.Road + c));
            col = Blend(col, highway, Load4(g.Highway + c));
            col = Blend(col, building, Load4(g.Building + c));
            StorePixels(line + c, col);
        }
    }
}

// The ground as a colour photograph; grey aerials are made from it.
Rgb4 PhotoColour(const GroundRow& g, int c, float ex) {
    const F4 grain = Load4(g.Grain + c);
    const F4 crowns = Load4(g.Crowns + c);
    const F4 clumps = Load4(g.Clumps + c);

    // Open land by climate: desert, steppe, meadow; patches of drier and
    // greener ground within.
    const F4 wet = Clamp01(Load4(g.Moisture + c) + 0.12f * clumps);
    Rgb4 col = Blend(Blend(Rgb4(Rgb{204, 182, 142}), Rgb4(Rgb{162, 150, 98}), Smoothstep(0.2f, 0.45f, wet)),
                   Rgb4(Rgb{100, 132, 62}), Smoothstep(0.45f, 0.7f, wet));
    col = Scaled(col, 1.0f + 0.08f * clumps + 0.07f * grain);

    const F4 farm = Load4(g.Farm + c);
    if (AnyPositive(farm)) {
        Rgb4 crop = Ramp(Crops, Min(Load4(g.PlotTone + c), Splat(0.9999f)));
        crop = Scaled(crop, 1.0f + 0.05f * Load4(g.PlotRows + c) + 0.05f * grain + 0.04f * clumps);
        crop = Blend(crop, Rgb4(Rgb{176, 168, 140}), Load4(g.PlotEdge + c) * 0.8f);
        col = Blend(col, crop, farm);
    }
    col = Blend(col, Rgb4(Rgb{214, 200, 164}), Load4(g.Sand + c));

    const F4 forest = Load4(g.Forest + c);
    if (AnyPositive(forest)) {
        // Tree crowns: bright tops, dark gaps.
        const F4 canopy = Clamp(0.82f + 0.5f * crowns + 0.25f * clumps + 0.08f * grain, 0.35f, 1.35f);
        const Rgb4 trees = Scaled(
            Blend(Rgb4(Rgb{44, 70, 40}), Rgb4(Rgb{78, 98, 52}), Smoothstep(-0.4f, 0.4f, clumps)), canopy);
        col = Blend(col, trees, forest);
    }
    col = Blend(col, Scaled(Rgb4(Rgb{146, 138, 126}), 1.0f + 0.18f * grain + 0.1f * clumps),
              Load4(g.Rock + c));
    col = Blend(col, Scaled(Rgb4(Rgb{236, 240, 246}), 1.0f + 0.03f * grain), Load4(g.Snow + c));

    col = Blend(col, Scaled(Rgb4(Rgb{186, 172, 142}), 1.0f + 0.06f * grain), Load4(g.Track + c));
    col = Blend(col, Scaled(Rgb4(Rgb{156, 152, 144}), 1.0f + 0.04f * grain), Load4(g.Road + c));
    col = Blend(col, Scaled(Rgb4(Rgb{104, 104, 106}), 1.0f + 0.03f * grain), Load4(g.Highway + c));
    const F4 building = Load4(g.Building + c);
    if (AnyPositive(building)) {
        const F4 roof = Load4(g.Roof + c);
        const I4 red = roof < 0.5f;
        const Rgb4 tiles(Select(red, Splat(150), Splat(128)), Select(red, Splat(84), Splat(128)),
                         Select(red, Splat(62), Splat(132)));
        col = Blend(col, Scaled(tiles, 0.85f + 0.3f * roof), building);
    }

    // Strong relief light, as in a morning photograph.
    const F4 shade = HillShade(Load4(g.SlopeEast + c), Load4(g.SlopeNorth + c), ex);
    col = Scaled(col, Clamp(0.42f + 0.58f * shade, 0.2f, 1.35f));

    col = Blend(col, Scaled(Rgb4(Rgb{46, 72, 78}), 1.0f + 0.08f * grain), Load4(g.River + c));
    const F4 w = Load4(g.Water + c);
    if (AnyPositive(w)) {
        // Shallows near the shore are lighter.
        const F4 depth = Smoothstep(-2.0f, -40.0f, Load4(g.Elevation + c));
        const Rgb4 sea = Scaled(Blend(Rgb4(Rgb{56, 88, 90}), Rgb4(Rgb{24, 46, 62}), depth),
                                1.0f + 0.05f * clumps + 0.03f * grain);
        col = Blend(col, sea, w);
    }
    // A light rim where water meets land.
    col = Blend(col, Blend(col, Rgb4(Rgb{150, 150, 130}), Splat(0.35f)), Load4(g.Shore + c));
    return col;
}

// Panchromatic film response.
const std::array<float, 256>& FilmResponse() {
    static const std::array<float, 256> film = [] {
        std::array<float, 256> f{};
        for (int i = 0; i < 256; ++i)
            f[i] = 255.0f * std::pow(static_cast<float>(i) / 255.0f, 0.85f);
        return f;
    }();
    return film;
}

void PaintAerial(TerrainRaster& t, QImage& image, bool colour) {
    const float ex = Exaggeration(t.Scale());
    const std::array<float, 256>& film = FilmResponse();
    for (int r = 0; r < t.Size(); ++r) {
        const GroundRow& g = t.Row(r);
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(r));
        for (int c = 0; c < t.Size(); c += 4) {
            const Rgb4 col = PhotoColour(g, c, ex);
            if (colour) {
                // A little haze lifts the shadows, as film does.
                StorePixels(line + c,
                            {col.R * 0.92f + 10.0f, col.G * 0.92f + 12.0f, col.B * 0.92f + 16.0f});
                continue;
            }
            // Panchromatic film: greens dark, bare ground bright.
            const I4 y = __builtin_convertvector(
                Clamp(0.36f * col.R + 0.44f * col.G + 0.20f * col.B, 0.0f, 255.0f), I4);
            const F4 v{film[y[0]], film[y[1]], film[y[2]], film[y[3]]};
            StorePixels(line + c, {v, v, v});
        }
    }
}

// Grid lines: a line at a multiple of the spacing belongs to the pixel whose
// half-open ground span holds it, so no line is drawn twice at a tile edge.
void PaintGrid(const TileAddress& a, QPainter& p, const QColor& colour, const QColor& minor) {
    const double s = ScaleOfCode(a.ScaleCode);
    const double g = GridSpacing(s);
    const double west = TilePixels * static_cast<double>(a.X) * s;
    const double north = TilePixels * (static_cast<double>(a.Y) + 1.0) * s;
    const auto pick = [&](double k) {
        return std::fmod(std::fabs(k * g), 1000.0) < 0.5 ? colour : minor;
    };
    for (int c = 0; c < TilePixels; ++c) {
        const double e0 = west + c * s;
        const double k = std::ceil(e0 / g);
        if (k * g < e0 + s) p.fillRect(c, 0, 1, TilePixels, pick(k));
    }
    for (int r = 0; r < TilePixels; ++r) {
        const double n0 = north - (r + 1) * s;
        const double k = std::ceil(n0 / g);
        if (k * g < n0 + s) p.fillRect(0, r, TilePixels, 1, pick(k));
    }
}

void PaintAddress(const TileAddress& a, QPainter& p, bool darkText) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(9);
    p.setFont(font);
    const QString text = QStringLiteral("x%1 y%2 z%3 s%4 t%5")
                             .arg(a.X)
                             .arg(a.Y)
                             .arg(a.Zone)
                             .arg(a.ScaleCode)
                             .arg(a.Theme);
    const QFontMetrics fm(font);
    const QRect box(2, 2, fm.horizontalAdvance(text) + 6, fm.height() + 2);
    p.fillRect(box, darkText ? QColor(255, 255, 255, 150) : QColor(0, 0, 0, 120));
    p.setPen(darkText ? QColor(40, 40, 40) : QColor(245, 245, 245));
    p.drawText(box, Qt::AlignCenter, text);
}

} // namespace

double GridSpacing(double scale) {
    // The finest of 100 m, 1 km, 10 km, 100 km whose lines stay 60 px apart.
    for (double g : {100.0, 1000.0, 10000.0, 100000.0})
        if (g / scale >= 60.0) return g;
    return 1000000.0;
}

double ContourInterval(double scale) {
    // Close enough to read the ground, far enough not to crowd steep slopes.
    for (double ci : {1.0, 2.0, 5.0, 10.0, 20.0, 25.0, 50.0, 100.0, 200.0, 250.0})
        if (ci >= 1.25 * scale) return ci;
    return 500.0;
}

namespace {

// The landscape alone, in the theme's colours.
QImage PaintLandscape(TerrainRaster&& terrain, Theme theme) {
    QImage image(terrain.Size(), terrain.Size(), QImage::Format_RGB32);
    if (theme == Theme::Aerial || theme == Theme::ColorAerial)
        PaintAerial(terrain, image, theme == Theme::ColorAerial);
    else
        PaintTopo(terrain, image);
    return image;
}

} // namespace

QImage RenderTile(const TileAddress& address, const RenderLayers& layers) {
    const auto theme = static_cast<Theme>(address.Theme);
    QImage image = PaintLandscape(TerrainRaster(address), theme);
    if (!layers.Grid && !layers.Label) return image;
    const bool aerial = theme == Theme::Aerial || theme == Theme::ColorAerial;
    QPainter p(&image);
    if (layers.Grid) {
        if (aerial)
            PaintGrid(
                address, p,
                theme == Theme::Aerial ? QColor(255, 255, 255, 110) : QColor(255, 236, 150, 120),
                theme == Theme::Aerial ? QColor(255, 255, 255, 60) : QColor(255, 236, 150, 60));
        else
            PaintGrid(address, p, QColor(30, 50, 140, 130), QColor(30, 50, 140, 60));
    }
    if (layers.Label) PaintAddress(address, p, !aerial);
    p.end();
    return image;
}

QImage RenderMercatorTile(int theme, int zoom, int x, int y) {
    const auto kind = static_cast<Theme>(theme);
    return PaintLandscape(TerrainRaster(MercatorFrame(zoom, x, y)),
                          IsThemeCode(theme) ? kind : Theme::Topo);
}

std::string TileAddressProblem(const TileAddress& a) {
    // Tile corners beyond this many metres from a zone's origin are not on the
    // globe any more; the projection formulas would only produce noise there.
    constexpr double MaxMetres = 2.0e7;
    if (!IsThemeCode(a.Theme))
        return "t=" + std::to_string(a.Theme) +
               ": theme must be 1 (Aerial), 2 (Topo) or 4 (Color Aerial)";
    if (a.ScaleCode < MinScaleCode || a.ScaleCode > MaxScaleCode)
        return "s=" + std::to_string(a.ScaleCode) + ": scale code must be 8 to 19";
    if (a.Zone < -61 || a.Zone > 61)
        return "z=" + std::to_string(a.Zone) + ": zone must be -61 to 61";
    const double size = TilePixels * ScaleOfCode(a.ScaleCode);
    if (std::fabs(a.X * size) > MaxMetres || std::fabs((a.X + 1.0) * size) > MaxMetres)
        return "x=" + std::to_string(a.X) + ": column is off the globe at this scale";
    if (std::fabs(a.Y * size) > MaxMetres || std::fabs((a.Y + 1.0) * size) > MaxMetres)
        return "y=" + std::to_string(a.Y) + ": row is off the globe at this scale";
    return {};
}

} // namespace varrow::demo
