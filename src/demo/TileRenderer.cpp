#include "TileRenderer.h"

#include "TerrainRaster.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace varrow::demo {

namespace {

struct Rgb {
    float R = 0, G = 0, B = 0;
};

Rgb Mix(const Rgb& a, const Rgb& b, float t) {
    return {a.R + (b.R - a.R) * t, a.G + (b.G - a.G) * t, a.B + (b.B - a.B) * t};
}

Rgb Scaled(const Rgb& a, float f) {
    return {a.R * f, a.G * f, a.B * f};
}

QRgb ToPixel(const Rgb& c) {
    const auto ch = [](float v) { return static_cast<int>(std::clamp(v + 0.5f, 0.0f, 255.0f)); };
    return qRgb(ch(c.R), ch(c.G), ch(c.B));
}

float Smoothstep(float a, float b, float x) {
    const float t = std::clamp((x - a) / (b - a), 0.0f, 1.0f);
    return t * t * (3 - 2 * t);
}

struct Stop {
    float Elevation;
    Rgb Colour;
};

// Hypsometric tints, lowland green to snowy summits.
constexpr Stop Hypsometric[] = {
    {0, {160, 204, 150}},    {150, {182, 214, 158}},  {400, {208, 224, 170}},
    {800, {234, 232, 182}},  {1300, {234, 216, 160}}, {1900, {216, 188, 138}},
    {2600, {194, 160, 122}}, {3300, {176, 156, 146}}, {4000, {236, 236, 236}}};

Rgb HypsometricTint(float h) {
    constexpr int n = sizeof(Hypsometric) / sizeof(Hypsometric[0]);
    if (h <= Hypsometric[0].Elevation) return Hypsometric[0].Colour;
    for (int i = 1; i < n; ++i)
        if (h < Hypsometric[i].Elevation)
            return Mix(Hypsometric[i - 1].Colour, Hypsometric[i].Colour,
                       (h - Hypsometric[i - 1].Elevation) /
                           (Hypsometric[i].Elevation - Hypsometric[i - 1].Elevation));
    return Hypsometric[n - 1].Colour;
}

// Crop colours a plot may take, picked by its tone.
constexpr Rgb Crops[] = {{86, 118, 50},  {124, 148, 74},  {176, 164, 108},
                         {130, 104, 74}, {158, 150, 104}, {100, 130, 60}};

Rgb CropColour(float tone) {
    constexpr int n = sizeof(Crops) / sizeof(Crops[0]);
    const float x = std::clamp(tone, 0.0f, 0.9999f) * (n - 1);
    const int i = static_cast<int>(x);
    // Plots are flat colours; blend only for the averaged tone of zoomed-out farmland.
    return Mix(Crops[i], Crops[std::min(i + 1, n - 1)], x - static_cast<float>(i));
}

// Relief shading: light from the north-west, 45 degrees up. 1 on flat ground.
float HillShade(const TerrainRaster& t, int c, int r, float exaggeration) {
    const float gx = t.SlopeEast(c, r) * exaggeration;
    const float gy = t.SlopeNorth(c, r) * exaggeration;
    const float lit = (0.5f * gx - 0.5f * gy + 0.70710678f) / std::sqrt(1.0f + gx * gx + gy * gy);
    return std::max(lit, 0.0f) / 0.70710678f;
}

// Zoomed out, slopes are averaged over large pixels and relief looks flat.
float Exaggeration(double scale) {
    return static_cast<float>(std::clamp(1.0 + 0.4 * std::log2(scale), 1.0, 4.5));
}

// Weight of octave i in a texture band around a wavelength in metres.
float BandWeight(const TerrainRaster& t, int i, double centre) {
    const double d = std::log2(t.OctaveWavelengthAt(i) / centre);
    return static_cast<float>(std::exp(-d * d));
}

void PaintTopo(const TerrainRaster& t, QImage& image) {
    const double s = t.Scale();
    const float ex = Exaggeration(s);
    const auto ci = static_cast<float>(ContourInterval(s));
    const Rgb water{150, 196, 232}, shore{64, 122, 190}, river{64, 124, 204};
    const Rgb contour{150, 98, 56}, snow{242, 246, 250};
    const Rgb highway{204, 40, 30}, road{236, 130, 30}, track{70, 66, 62}, building{48, 44, 40};
    for (int r = 0; r < t.Size(); ++r) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(r));
        for (int c = 0; c < t.Size(); ++c) {
            const float h = t.Elevation(c, r);
            Rgb col = HypsometricTint(h);
            col = Mix(col, {col.R * 0.80f, col.G * 0.93f, col.B * 0.76f}, t.Forest(c, r));
            col = Mix(col, Mix(col, {206, 200, 194}, 0.5f), t.Rock(c, r));
            col = Mix(col, snow, t.Snow(c, r));
            const float shade =
                std::clamp(1.0f + 0.5f * (HillShade(t, c, r, ex) - 1.0f), 0.55f, 1.2f);
            col = Scaled(col, shade);

            // Contours: distance to the nearest level over the local gradient.
            const float gradPx =
                std::hypot(t.SlopeEast(c, r), t.SlopeNorth(c, r)) * static_cast<float>(s);
            if (gradPx > 1e-6f) {
                const float level = std::round(h / ci);
                const bool index = static_cast<long>(level) % 5 == 0;
                const float dpx = std::fabs(h - level * ci) / gradPx;
                const float spacing = ci / gradPx;
                const float half = index ? 0.6f : 0.3f;
                float a = std::clamp(half + 0.5f - dpx, 0.0f, 1.0f) * (index ? 0.85f : 0.55f);
                a *= index ? Smoothstep(1.0f, 2.5f, spacing * 5) : Smoothstep(1.8f, 4.0f, spacing);
                col = Mix(col, contour, a);
            }

            col = Mix(col, water, t.Water(c, r));
            col = Mix(col, shore, t.Shore(c, r));
            col = Mix(col, river, t.River(c, r));
            col = Mix(col, track, t.Road(3, c, r));
            col = Mix(col, road, t.Road(2, c, r));
            col = Mix(col, highway, std::max(t.Road(0, c, r), t.Road(1, c, r)));
            col = Mix(col, building, t.Building(c, r));
            line[c] = ToPixel(col);
        }
    }
}

// Texture bands of a tile: tree crowns and clumps of vegetation.
struct Bands {
    float Crowns[FineOctaveCount];
    float Clumps[FineOctaveCount];
};

Bands BandsOf(const TerrainRaster& t) {
    Bands b;
    for (int i = 0; i < FineOctaveCount; ++i) {
        b.Crowns[i] = BandWeight(t, i, 6.0);
        b.Clumps[i] = BandWeight(t, i, 60.0);
    }
    return b;
}

// The ground as a colour photograph; grey aerials are made from it.
Rgb PhotoColour(const TerrainRaster& t, const Bands& bands, int c, int r, float ex) {
    const float* oct = t.Octaves(c, r);
    const float grain = 0.5f * t.Grain(c, r) + 0.3f * oct[0] + 0.2f * oct[1];
    float crowns = 0, clumps = 0;
    for (int i = 0; i < FineOctaveCount; ++i) {
        crowns += bands.Crowns[i] * oct[i];
        clumps += bands.Clumps[i] * oct[i];
    }
    const float moisture = t.Moisture(c, r);

    // Open land by climate: desert, steppe, meadow.
    // Open land by climate: desert, steppe, meadow; patches of drier and
    // greener ground within.
    const float wet = std::clamp(moisture + 0.12f * clumps, 0.0f, 1.0f);
    Rgb col = wet < 0.45f ? Mix({204, 182, 142}, {162, 150, 98}, Smoothstep(0.2f, 0.45f, wet))
                          : Mix({162, 150, 98}, {100, 132, 62}, Smoothstep(0.45f, 0.7f, wet));
    col = Scaled(col, 1.0f + 0.08f * clumps + 0.07f * grain);

    const float farm = t.Farm(c, r);
    if (farm > 0) {
        Rgb crop = CropColour(t.PlotTone(c, r));
        crop = Scaled(crop, 1.0f + 0.05f * t.PlotRows(c, r) + 0.05f * grain + 0.04f * clumps);
        crop = Mix(crop, {176, 168, 140}, t.PlotEdge(c, r) * 0.8f);
        col = Mix(col, crop, farm);
    }
    const float sand = t.Sand(c, r);
    if (sand > 0) col = Mix(col, {214, 200, 164}, sand);

    const float forest = t.Forest(c, r);
    if (forest > 0) {
        // Tree crowns: bright tops, dark gaps.
        const float canopy =
            std::clamp(0.82f + 0.5f * crowns + 0.25f * clumps + 0.08f * grain, 0.35f, 1.35f);
        const Rgb trees =
            Scaled(Mix({44, 70, 40}, {78, 98, 52}, Smoothstep(-0.4f, 0.4f, clumps)), canopy);
        col = Mix(col, trees, forest);
    }
    const float rock = t.Rock(c, r);
    if (rock > 0)
        col = Mix(col, Scaled({146, 138, 126}, 1.0f + 0.18f * grain + 0.1f * clumps), rock);
    const float snow = t.Snow(c, r);
    if (snow > 0) col = Mix(col, Scaled({236, 240, 246}, 1.0f + 0.03f * grain), snow);

    col = Mix(col, Scaled({186, 172, 142}, 1.0f + 0.06f * grain), t.Road(3, c, r));
    col = Mix(col, Scaled({156, 152, 144}, 1.0f + 0.04f * grain), t.Road(2, c, r));
    col = Mix(col, Scaled({104, 104, 106}, 1.0f + 0.03f * grain),
              std::max(t.Road(0, c, r), t.Road(1, c, r)));
    const float building = t.Building(c, r);
    if (building > 0) {
        const float roof = t.Roof(c, r);
        const Rgb tiles = roof < 0.5f ? Rgb{150, 84, 62} : Rgb{128, 128, 132};
        col = Mix(col, Scaled(tiles, 0.85f + 0.3f * roof), building);
    }

    // Strong relief light, as in a morning photograph.
    col = Scaled(col, std::clamp(0.42f + 0.58f * HillShade(t, c, r, ex), 0.2f, 1.35f));

    const Rgb riverWater{46, 72, 78};
    col = Mix(col, Scaled(riverWater, 1.0f + 0.08f * grain), t.River(c, r));
    const float w = t.Water(c, r);
    if (w > 0) {
        // Shallows near the shore are lighter.
        const Rgb deep{24, 46, 62}, shallow{56, 88, 90};
        const float depth = Smoothstep(-2.0f, -40.0f, t.Elevation(c, r));
        const Rgb sea = Scaled(Mix(shallow, deep, depth), 1.0f + 0.05f * clumps + 0.03f * grain);
        col = Mix(col, sea, w);
    }
    // A light rim where water meets land.
    col = Mix(col, Mix(col, {150, 150, 130}, 0.35f), t.Shore(c, r));
    return col;
}

void PaintAerial(const TerrainRaster& t, QImage& image, bool colour) {
    const float ex = Exaggeration(t.Scale());
    const Bands bands = BandsOf(t);
    // Panchromatic film response, as a table.
    float film[256];
    for (int i = 0; i < 256; ++i)
        film[i] = 255.0f * std::pow(static_cast<float>(i) / 255.0f, 0.85f);
    for (int r = 0; r < t.Size(); ++r) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(r));
        for (int c = 0; c < t.Size(); ++c) {
            const Rgb col = PhotoColour(t, bands, c, r, ex);
            if (colour) {
                // A little haze lifts the shadows, as film does.
                line[c] = ToPixel({col.R * 0.92f + 10, col.G * 0.92f + 12, col.B * 0.92f + 16});
            } else {
                // Panchromatic film: greens dark, bare ground bright.
                const float y = film[static_cast<int>(
                    std::clamp(0.36f * col.R + 0.44f * col.G + 0.20f * col.B, 0.0f, 255.0f))];
                line[c] = ToPixel({y, y, y});
            }
        }
    }
}

// Grid lines: a line at a multiple of the spacing belongs to the pixel whose
// half-open ground span holds it, so no line is drawn twice at a tile edge.
void PaintGrid(const TileAddress& a, QImage& image, const QColor& colour, const QColor& minor) {
    const double s = ScaleOfCode(a.ScaleCode);
    const double g = GridSpacing(s);
    const double west = TilePixels * static_cast<double>(a.X) * s;
    const double north = TilePixels * (static_cast<double>(a.Y) + 1.0) * s;
    QPainter p(&image);
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

void PaintAddress(const TileAddress& a, QImage& image, bool darkText) {
    QPainter p(&image);
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
QImage PaintLandscape(const TerrainRaster& terrain, Theme theme) {
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
    const bool aerial = theme == Theme::Aerial || theme == Theme::ColorAerial;
    if (layers.Grid) {
        if (aerial)
            PaintGrid(
                address, image,
                theme == Theme::Aerial ? QColor(255, 255, 255, 110) : QColor(255, 236, 150, 120),
                theme == Theme::Aerial ? QColor(255, 255, 255, 60) : QColor(255, 236, 150, 60));
        else
            PaintGrid(address, image, QColor(30, 50, 140, 130), QColor(30, 50, 140, 60));
    }
    if (layers.Label) PaintAddress(address, image, !aerial);
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
