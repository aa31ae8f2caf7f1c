#include "TileRenderer.h"

#include "Lanes.h"
#include "TerrainRaster.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <array>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace varrow::demo {

namespace {

struct Rgb {
    float R = 0, G = 0, B = 0;
};

// A vector of pixels' colours.
template <class F> struct Rgbs {
    F R, G, B;

    Rgbs() = default;
    Rgbs(F r, F g, F b) : R(r), G(g), B(b) {}
    Rgbs(const Rgb& c) : R(Splat<F>(c.R)), G(Splat<F>(c.G)), B(Splat<F>(c.B)) {}
};

template <class F> VARROW_LANES Rgbs<F> Blend(const Rgbs<F>& a, const Rgbs<F>& b, F t) {
    return {Mix(a.R, b.R, t), Mix(a.G, b.G, t), Mix(a.B, b.B, t)};
}

template <class F> VARROW_LANES Rgbs<F> Scaled(const Rgbs<F>& a, F f) {
    return {a.R * f, a.G * f, a.B * f};
}

// A vector of pixels into a scanline.
template <class F> VARROW_LANES void StorePixels(QRgb* line, const Rgbs<F>& c) {
    const auto channel = [](F v) { return ToInt(Clamp(v + 0.5f, 0.0f, 255.0f)); };
    const IntOf<F> argb = static_cast<std::int32_t>(0xff000000u) | (channel(c.R) << 16) |
                          (channel(c.G) << 8) | channel(c.B);
    std::memcpy(line, &argb, sizeof argb);
}

struct Stop {
    float At;
    Rgb Colour;
};

// A colour ramp through stops in rising order, as a sum of clamped ramps so
// that a vector of pixels can be looked up at once; only the stretches
// between the least and the greatest of them are summed.
template <std::size_t N, class F> VARROW_LANES Rgbs<F> Ramp(const std::array<Stop, N>& stops, F x) {
    const float lo = Least(x), hi = Greatest(x);
    std::size_t i = 1;
    while (i + 1 < N && stops[i].At <= lo)
        ++i;
    Rgbs<F> c(stops[i - 1].Colour);
    for (; i < N; ++i) {
        const F t = Clamp01((x - stops[i - 1].At) * (1.0f / (stops[i].At - stops[i - 1].At)));
        const Rgb& a = stops[i - 1].Colour;
        const Rgb& b = stops[i].Colour;
        c.R += t * (b.R - a.R), c.G += t * (b.G - a.G), c.B += t * (b.B - a.B);
        if (stops[i].At >= hi) break;
    }
    return c;
}

// Blends towards b where t is above zero: most layers cover little of a tile.
template <class F> VARROW_LANES void Cover(Rgbs<F>& col, const Rgbs<F>& b, F t) {
    if (AnyPositive(t)) col = Blend(col, b, t);
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
template <class F> VARROW_LANES F HillShade(F slopeEast, F slopeNorth, float exaggeration) {
    const F gx = slopeEast * exaggeration, gy = slopeNorth * exaggeration;
    const F lit = (0.5f * gx - 0.5f * gy + 0.70710678f) / Sqrt(1.0f + gx * gx + gy * gy);
    return Max(lit, Splat<F>(0.0f)) * (1.0f / 0.70710678f);
}

// Zoomed out, slopes are averaged over large pixels and relief looks flat.
float Exaggeration(double scale) {
    return static_cast<float>(std::clamp(1.0 + 0.4 * std::log2(scale), 1.0, 4.5));
}

template <class F> VARROW_LANES void PaintTopoWith(TerrainRaster& t, QImage& image) {
    using Colour = Rgbs<F>;
    const auto s = static_cast<float>(t.Scale());
    const float ex = Exaggeration(s);
    const auto ci = static_cast<float>(ContourInterval(s));
    const Colour water(Rgb{150, 196, 232}), shore(Rgb{64, 122, 190}), river(Rgb{64, 124, 204});
    const Colour contour(Rgb{150, 98, 56}), snow(Rgb{242, 246, 250}), rock(Rgb{206, 200, 194});
    const Colour highway(Rgb{204, 40, 30}), road(Rgb{236, 130, 30}), track(Rgb{70, 66, 62}),
        building(Rgb{48, 44, 40});
    for (int r = 0; r < t.Size(); ++r) {
        const GroundRow& g = t.Row(r);
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(r));
        for (int c = 0; c < t.Size(); c += Width<F>) {
            const F h = Load<F>(g.Elevation + c);
            Colour col = Ramp(Hypsometric, h);
            const F forest = Load<F>(g.Forest + c);
            col = {col.R * (1.0f - 0.20f * forest), col.G * (1.0f - 0.07f * forest),
                   col.B * (1.0f - 0.24f * forest)};
            Cover(col, rock, 0.5f * Load<F>(g.Rock + c));
            Cover(col, snow, Load<F>(g.Snow + c));
            const F east = Load<F>(g.SlopeEast + c), north = Load<F>(g.SlopeNorth + c);
            col = Scaled(col, Clamp(0.5f + 0.5f * HillShade(east, north, ex), 0.55f, 1.2f));

            // Contours: distance to the nearest level over the local gradient.
            const F perPixel = 1.0f / Max(Sqrt(east * east + north * north) * s, Splat<F>(1e-6f));
            const F level = Floor(h * (1.0f / ci) + 0.5f);
            const IntOf<F> index = Abs(level - 5.0f * Floor(level * 0.2f + 0.1f)) < 0.5f;
            const F dpx = Abs(h - level * ci) * perPixel;
            const F spacing = ci * perPixel;
            const F minor = Clamp01(0.8f - dpx) * 0.55f * Smoothstep(1.8f, 4.0f, spacing);
            const F major = Clamp01(1.1f - dpx) * 0.85f * Smoothstep(1.0f, 2.5f, spacing * 5.0f);
            Cover(col, contour, Select(index, major, minor));

            Cover(col, water, Load<F>(g.Water + c));
            Cover(col, shore, Load<F>(g.Shore + c));
            Cover(col, river, Load<F>(g.River + c));
            Cover(col, track, Load<F>(g.Track + c));
            Cover(col, road, Load<F>(g.Road + c));
            Cover(col, highway, Load<F>(g.Highway + c));
            Cover(col, building, Load<F>(g.Building + c));
            StorePixels(line + c, col);
        }
    }
}

// The ground as a colour photograph; grey aerials are made from it.
template <class F> VARROW_LANES Rgbs<F> PhotoColour(const GroundRow& g, int c, float ex) {
    using Colour = Rgbs<F>;
    const F grain = Load<F>(g.Grain + c);
    const F crowns = Load<F>(g.Crowns + c);
    const F clumps = Load<F>(g.Clumps + c);

    // Open land by climate: desert, steppe, meadow; patches of drier and
    // greener ground within.
    const F wet = Clamp01(Load<F>(g.Moisture + c) + 0.12f * clumps);
    Colour col = Blend(
        Blend(Colour(Rgb{204, 182, 142}), Colour(Rgb{162, 150, 98}), Smoothstep(0.2f, 0.45f, wet)),
        Colour(Rgb{100, 132, 62}), Smoothstep(0.45f, 0.7f, wet));
    col = Scaled(col, 1.0f + 0.08f * clumps + 0.07f * grain);

    const F farm = Load<F>(g.Farm + c);
    if (AnyPositive(farm)) {
        Colour crop = Ramp(Crops, Min(Load<F>(g.PlotTone + c), Splat<F>(0.9999f)));
        crop =
            Scaled(crop, 1.0f + 0.05f * Load<F>(g.PlotRows + c) + 0.05f * grain + 0.04f * clumps);
        crop = Blend(crop, Colour(Rgb{176, 168, 140}), Load<F>(g.PlotEdge + c) * 0.8f);
        col = Blend(col, crop, farm);
    }
    Cover(col, Colour(Rgb{214, 200, 164}), Load<F>(g.Sand + c));

    const F forest = Load<F>(g.Forest + c);
    if (AnyPositive(forest)) {
        // Tree crowns: bright tops, dark gaps.
        const F canopy =
            Clamp(0.82f + 0.5f * crowns + 0.25f * clumps + 0.08f * grain, 0.35f, 1.35f);
        const Colour trees = Scaled(Blend(Colour(Rgb{44, 70, 40}), Colour(Rgb{78, 98, 52}),
                                          Smoothstep(-0.4f, 0.4f, clumps)),
                                    canopy);
        col = Blend(col, trees, forest);
    }
    // Surfaces with a little of the grain in them.
    const auto surface = [&](const Rgb& colour, F grainy, const float* cover) {
        const F t = Load<F>(cover + c);
        if (AnyPositive(t)) col = Blend(col, Scaled(Colour(colour), 1.0f + grainy), t);
    };
    surface({146, 138, 126}, 0.18f * grain + 0.1f * clumps, g.Rock);
    surface({236, 240, 246}, 0.03f * grain, g.Snow);
    surface({186, 172, 142}, 0.06f * grain, g.Track);
    surface({156, 152, 144}, 0.04f * grain, g.Road);
    surface({104, 104, 106}, 0.03f * grain, g.Highway);
    const F building = Load<F>(g.Building + c);
    if (AnyPositive(building)) {
        const F roof = Load<F>(g.Roof + c);
        const IntOf<F> red = roof < 0.5f;
        const Colour tiles(Select(red, Splat<F>(150), Splat<F>(128)),
                           Select(red, Splat<F>(84), Splat<F>(128)),
                           Select(red, Splat<F>(62), Splat<F>(132)));
        col = Blend(col, Scaled(tiles, 0.85f + 0.3f * roof), building);
    }

    // Strong relief light, as in a morning photograph.
    const F shade = HillShade(Load<F>(g.SlopeEast + c), Load<F>(g.SlopeNorth + c), ex);
    col = Scaled(col, Clamp(0.42f + 0.58f * shade, 0.2f, 1.35f));

    surface({46, 72, 78}, 0.08f * grain, g.River);
    const F w = Load<F>(g.Water + c);
    if (AnyPositive(w)) {
        // Shallows near the shore are lighter.
        const F depth = Smoothstep(-2.0f, -40.0f, Load<F>(g.Elevation + c));
        const Colour sea = Scaled(Blend(Colour(Rgb{56, 88, 90}), Colour(Rgb{24, 46, 62}), depth),
                                  1.0f + 0.05f * clumps + 0.03f * grain);
        col = Blend(col, sea, w);
    }
    // A light rim where water meets land.
    Cover(col, Blend(col, Colour(Rgb{150, 150, 130}), Splat<F>(0.35f)), Load<F>(g.Shore + c));
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

template <class F> VARROW_LANES void PaintAerialWith(TerrainRaster& t, QImage& image, bool colour) {
    const float ex = Exaggeration(t.Scale());
    const std::array<float, 256>& film = FilmResponse();
    for (int r = 0; r < t.Size(); ++r) {
        const GroundRow& g = t.Row(r);
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(r));
        for (int c = 0; c < t.Size(); c += Width<F>) {
            const Rgbs<F> col = PhotoColour<F>(g, c, ex);
            if (colour) {
                // A little haze lifts the shadows, as film does.
                StorePixels(line + c, Rgbs<F>{col.R * 0.92f + 10.0f, col.G * 0.92f + 12.0f,
                                              col.B * 0.92f + 16.0f});
                continue;
            }
            // Panchromatic film: greens dark, bare ground bright.
            const IntOf<F> y =
                ToInt(Clamp(0.36f * col.R + 0.44f * col.G + 0.20f * col.B, 0.0f, 255.0f));
            F v;
            for (int k = 0; k < Width<F>; ++k)
                v[k] = film[y[k]];
            StorePixels(line + c, Rgbs<F>{v, v, v});
        }
    }
}

void PaintTopo(TerrainRaster& t, QImage& image) {
    ForLanes([&](auto lanes) { PaintTopoWith<typename decltype(lanes)::Type>(t, image); });
}

void PaintAerial(TerrainRaster& t, QImage& image, bool colour) {
    ForLanes(
        [&](auto lanes) { PaintAerialWith<typename decltype(lanes)::Type>(t, image, colour); });
}

// colour (non-premultiplied) over the opaque pixels of a line, with the
// arithmetic of the raster painter's source-over, so the pixels are the ones
// a painter would give. A painter hands a one-pixel column (200 spans) to its
// thread pool in pieces and waits for them: several thread switches per line
// for a few hundred pixel blends.
class TLineBlend {
public:
    explicit TLineBlend(const QColor& colour)
        : Source(qPremultiply(colour.rgba())), Keep(255u - qAlpha(Source)) {}
    void operator()(QRgb& pixel) const { pixel = Source + ByteMul(pixel, Keep); }

private:
    static QRgb ByteMul(QRgb x, uint a) {
        uint t = (x & 0xff00ffu) * a;
        t = ((t + ((t >> 8) & 0xff00ffu) + 0x800080u) >> 8) & 0xff00ffu;
        x = ((x >> 8) & 0xff00ffu) * a;
        x = (x + ((x >> 8) & 0xff00ffu) + 0x800080u) & 0xff00ff00u;
        return x | t;
    }
    QRgb Source;
    uint Keep;
};

// Grid lines: a line at a multiple of the spacing belongs to the pixel whose
// half-open ground span holds it, so no line is drawn twice at a tile edge.
void PaintGrid(const TileAddress& a, QImage& image, const QColor& colour, const QColor& minor) {
    const double s = ScaleOfCode(a.ScaleCode);
    const double g = GridSpacing(s);
    const double west = TilePixels * static_cast<double>(a.X) * s;
    const double north = TilePixels * (static_cast<double>(a.Y) + 1.0) * s;
    const TLineBlend major(colour), fine(minor);
    const auto pick = [&](double k) -> const TLineBlend& {
        return std::fmod(std::fabs(k * g), 1000.0) < 0.5 ? major : fine;
    };
    uchar* bits = image.bits();
    const qsizetype line = image.bytesPerLine();
    const auto pixel = [bits, line](int c, int r) -> QRgb& {
        return reinterpret_cast<QRgb*>(bits + r * line)[c];
    };
    // Columns first, then rows over them, as the painter drew them.
    for (int c = 0; c < TilePixels; ++c) {
        const double e0 = west + c * s;
        const double k = std::ceil(e0 / g);
        if (k * g >= e0 + s) continue;
        const TLineBlend& blend = pick(k);
        for (int r = 0; r < TilePixels; ++r)
            blend(pixel(c, r));
    }
    for (int r = 0; r < TilePixels; ++r) {
        const double n0 = north - (r + 1) * s;
        const double k = std::ceil(n0 / g);
        if (k * g >= n0 + s) continue;
        const TLineBlend& blend = pick(k);
        for (int c = 0; c < TilePixels; ++c)
            blend(pixel(c, r));
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

// Painting is all processor: more tiles at once than cores only adds their
// scratch memory (a few MB each), not speed. Whoever asks for more, the
// loader's workers or a service's request threads, waits here its turn.
class TPaintGate {
public:
    TPaintGate() : Free(static_cast<int>(std::max(2u, std::thread::hardware_concurrency()))) {}
    void Enter() {
        std::unique_lock<std::mutex> lock(Lock);
        Wake.wait(lock, [this] { return Free > 0; });
        --Free;
    }
    void Leave() {
        {
            std::lock_guard<std::mutex> guard(Lock);
            ++Free;
        }
        Wake.notify_one();
    }

private:
    std::mutex Lock;
    std::condition_variable Wake;
    int Free;
};

class TPaintPass {
public:
    TPaintPass() { Gate().Enter(); }
    ~TPaintPass() { Gate().Leave(); }
    TPaintPass(const TPaintPass&) = delete;
    TPaintPass& operator=(const TPaintPass&) = delete;

private:
    static TPaintGate& Gate() {
        static TPaintGate* gate = new TPaintGate; // never destroyed: painting may go on at exit
        return *gate;
    }
};

// The landscape alone, in the theme's colours.
QImage PaintLandscape(RasterFrame frame, Theme theme) {
    const TPaintPass pass;
    const bool aerial = theme == Theme::Aerial || theme == Theme::ColorAerial;
    frame.Texture = aerial;
    TerrainRaster terrain(frame);
    QImage image(terrain.Size(), terrain.Size(), QImage::Format_RGB32);
    if (aerial)
        PaintAerial(terrain, image, theme == Theme::ColorAerial);
    else
        PaintTopo(terrain, image);
    return image;
}

} // namespace

QImage RenderTile(const TileAddress& address, const RenderLayers& layers) {
    const auto theme = static_cast<Theme>(address.Theme);
    QImage image = PaintLandscape(UtmFrame(address), theme);
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
    if (!layers.Label) return image;
    QPainter p(&image);
    PaintAddress(address, p, !aerial);
    p.end();
    return image;
}

QImage RenderMercatorTile(int theme, int zoom, int x, int y) {
    const auto kind = static_cast<Theme>(theme);
    return PaintLandscape(MercatorFrame(zoom, x, y), IsThemeCode(theme) ? kind : Theme::Topo);
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
