// The ground of a TerrainRaster row by row, four pixels at a time: water,
// shores, land cover, farm plots, rivers and roads.

#include "Lanes.h"
#include "TerrainRaster.h"
#include "TerrainWork.h"

#include <algorithm>
#include <cmath>

namespace varrow::demo {

namespace {

float* Sized(std::vector<float>& v, int n) {
    if (v.size() < static_cast<std::size_t>(n)) v.resize(static_cast<std::size_t>(n));
    return v.data();
}

F4 Hypot(F4 x, F4 y) {
    return Sqrt(x * x + y * y);
}

// a where lane of v is 0, b where 1, c where 2.
template <typename V>
V Pick(I4 v0, I4 v1, V a, V b, V c) {
    return (V)((v0 & (I4)a) | (~v0 & ((v1 & (I4)b) | (~v1 & (I4)c))));
}

F4 UnitFromHash4(U4 h) {
    return __builtin_convertvector(h >> 8, F4) * (1.0f / 16777216.0f);
}

U4 HashLattice4(I4 i, I4 j, I4 k, std::uint32_t seed) {
    U4 h = (U4)i * 0x8da6b343u ^ (U4)j * 0xd8163841u ^ (U4)k * 0xcb1ab31fu ^ seed;
    h ^= h >> 16;
    h *= 0x7feb352du;
    h ^= h >> 15;
    h *= 0x846ca68bu;
    h ^= h >> 16;
    return h;
}

// sin(2 pi t), to a thousandth: enough for crop rows.
F4 SinTurns(F4 t) {
    const F4 x = t - Floor(t) - 0.5f;
    F4 y = 8.0f * x - 16.0f * x * Abs(x);
    y = 0.225f * (y * Abs(y) - y) + y;
    return -y;
}

// Distance in pixels to the zero line of a noise n with slope g per pixel,
// the slope held to at least minSlope so that flat stretches do not come out near.
F4 PixelsToLine(F4 n, F4 gx, F4 gy, float minSlope) {
    return Abs(n) / Max(Hypot(gx, gy), Splat(minSlope));
}

// Farm plots: cells of a rotated 3D lattice cut by the globe's surface. Of its
// three axes the one closest to the vertical is ignored, so plots are
// parallelograms with straight edges that do not line up with north.
struct Plots {
    static constexpr double Size = 360.0;     // metres
    static constexpr double RowPeriod = 5.0;  // metres between crop rows
    static constexpr float EdgeHalfWidth = 2.5f;
    static constexpr float Axes[3][3] = {
        {0.8047f, 0.3106f, -0.5059f}, {-0.1826f, 0.9365f, 0.2993f}, {0.5667f, -0.1627f, 0.8077f}};

    // Per axis, for the tile's centre: the position along it in metres, and
    // in plots, half plots and crop rows as a whole lattice index and the
    // fraction past it.
    float Along[3];
    std::int32_t Cell[3], HalfCell[3];
    float CellFrac[3], HalfFrac[3], RowFrac[3];
    float Scale, Visible, RowVisible;

    Plots(const SurfacePoint& centre, double scale) {
        for (int a = 0; a < 3; ++a) {
            const double q = Axes[a][0] * centre.X + Axes[a][1] * centre.Y + Axes[a][2] * centre.Z;
            Along[a] = static_cast<float>(q);
            const auto split = [&](double x, std::int32_t& whole, float& frac) {
                const double f = std::floor(x);
                whole = static_cast<std::int32_t>(f);
                frac = static_cast<float>(x - f);
            };
            std::int32_t rows;
            split(q / Size, Cell[a], CellFrac[a]);
            split(2 * q / Size, HalfCell[a], HalfFrac[a]);
            split(q / RowPeriod, rows, RowFrac[a]);
        }
        Scale = static_cast<float>(scale);
        const double t = std::clamp((Size / scale - 2.0) / 4.0, 0.0, 1.0);
        Visible = static_cast<float>(t * t * (3 - 2 * t));
        RowVisible = std::clamp(static_cast<float>((RowPeriod / scale - 2.5) / 2.5), 0.0f, 1.0f);
    }

    // The plots at four pixels d metres from the centre, where farm > 0.
    void At(const F4 d[3], F4 farm, float* tone, float* edgeOut, float* rowsOut, float* building,
            float* roof) const {
        F4 q[3], x[3], half[3];
        for (int a = 0; a < 3; ++a) {
            q[a] = Axes[a][0] * d[0] + Axes[a][1] * d[1] + Axes[a][2] * d[2];
            x[a] = CellFrac[a] + q[a] * static_cast<float>(1.0 / Size);
            half[a] = HalfFrac[a] + q[a] * static_cast<float>(2.0 / Size);
        }
        const F4 m0 = Abs(Along[0] + q[0]), m1 = Abs(Along[1] + q[1]), m2 = Abs(Along[2] + q[2]);
        const I4 v0 = (m0 >= m1) & (m0 >= m2), v1 = ~v0 & (m1 >= m2);
        const I4 vertical = Pick(v0, v1, I4{} + 0, I4{} + 1, I4{} + 2);
        const I4 cellA = I4{} + Cell[0], cellB = I4{} + Cell[1], cellC = I4{} + Cell[2];
        // The two axes in the ground: the next and the one after the vertical.
        const F4 x0 = Pick(v0, v1, x[1], x[2], x[0]), x1 = Pick(v0, v1, x[2], x[0], x[1]);
        const F4 f0 = Floor(x0), f1 = Floor(x1);
        const I4 cell0 = Pick(v0, v1, cellB, cellC, cellA) + __builtin_convertvector(f0, I4);
        const I4 cell1 = Pick(v0, v1, cellC, cellA, cellB) + __builtin_convertvector(f1, I4);
        F4 edge = Min(Min(x0 - f0, f0 + 1.0f - x0), Min(x1 - f1, f1 + 1.0f - x1)) *
                  static_cast<float>(Size);
        const U4 h = HashLattice4(cell0, cell1, vertical, 0x9e3779b9u);
        F4 t = UnitFromHash4(h);

        // Some plots are split in two, along one edge direction or the other.
        const I4 alongFirst = (I4)((h & 0x20000u) != 0u);
        const I4 s0 = Pick(v0, v1, I4{} + 1, I4{} + 2, I4{} + 0);
        const I4 s1 = Pick(v0, v1, I4{} + 2, I4{} + 0, I4{} + 1);
        const I4 split = (alongFirst & s0) | (~alongFirst & s1);
        const I4 w0 = split == 0, w1 = split == 1;
        const F4 hx = Pick(w0, w1, half[0], half[1], half[2]);
        const F4 hf = Floor(hx);
        const I4 halfCell = Pick(w0, w1, I4{} + HalfCell[0], I4{} + HalfCell[1],
                                 I4{} + HalfCell[2]) +
                            __builtin_convertvector(hf, I4);
        const I4 split2 = (I4)((h & 0x10000u) != 0u);
        const F4 halfEdge = Min(hx - hf, hf + 1.0f - hx) * static_cast<float>(Size / 2);
        edge = Select(split2, Min(edge, halfEdge), edge);
        t = Select(split2 & ((halfCell & 1) != 0), UnitFromHash4(h * 0x2545f491u + 7u), t);

        // One plot in five has a farmstead: a rectangle somewhere inside it.
        const U4 top = h >> 24;
        const I4 farmstead = (I4)(top - 5u * ((top * 205u) >> 10) == 0u);
        const U4 b = h * 0x9e3779b1u + 0x7f4a7c15u;
        const F4 cx = f0 + 0.25f + 0.5f * UnitFromHash4(b);
        const F4 cy = f1 + 0.25f + 0.5f * UnitFromHash4(b * 0x2545f491u);
        const F4 dx = Abs(x0 - cx) * static_cast<float>(Size) - (6.0f + 5.0f * UnitFromHash4(b ^ 0x5bd1e995u));
        const F4 dy = Abs(x1 - cy) * static_cast<float>(Size) - (5.0f + 3.0f * UnitFromHash4(b ^ 0x1b873593u));
        const F4 house = Clamp01(0.5f - Max(dx, dy) / Scale);

        const I4 has = farm > 0.01f;
        Store4(tone, Select(has, 0.5f + (t - 0.5f) * Visible, Splat(0.5f)));
        const F4 e = Clamp01((EdgeHalfWidth + 0.5f * Scale - edge) / Scale) * Visible;
        Store4(edgeOut, Select(has, e, Splat(0.0f)));
        Store4(building, Select(has & farmstead, house * farm, Splat(0.0f)));
        Store4(roof, Select(has & farmstead, UnitFromHash4(b ^ 0xcc9e2d51u), Splat(0.0f)));
        F4 rows = Splat(0.0f);
        if (RowVisible > 0) {
            const I4 r0 = (I4)((h & 0x40000u) != 0u);
            const I4 ra = (r0 & s0) | (~r0 & s1);
            const I4 ra0 = ra == 0, ra1 = ra == 1;
            const F4 phase = Pick(ra0, ra1, RowFrac[0] + q[0] * static_cast<float>(1.0 / RowPeriod),
                                  RowFrac[1] + q[1] * static_cast<float>(1.0 / RowPeriod),
                                  RowFrac[2] + q[2] * static_cast<float>(1.0 / RowPeriod));
            rows = Select(has, RowVisible * SinTurns(phase), rows);
        }
        Store4(rowsOut, rows);
    }
};

} // namespace

const GroundRow& TerrainRaster::Row(int r) {
    Work& w = *m_work;
    const int n = m_size;
    const auto s = static_cast<float>(m_plan.Scale);
    std::array<float*, RowArrayCount> out{};
    for (int a = 0; a < RowArrayCount; ++a)
        out[a] = Sized(w.Rows[a], n + 4);
    const auto pixels = [&](int field, int dr) { return w.PixelAt(field, 0, r + dr); };
    const float *e0 = pixels(PixelElevation, -1), *e1 = pixels(PixelElevation, 0),
                *e2 = pixels(PixelElevation, 1);
    const float *k0 = pixels(PixelLakes, -1), *k1 = pixels(PixelLakes, 0),
                *k2 = pixels(PixelLakes, 1);
    const float* uncut = pixels(PixelUncut, 0);
    const float* woods = pixels(PixelWoods, 0);
    const float* mountains = pixels(PixelMountains, 0);
    const float* moisture = pixels(PixelMoisture, 0);
    const float* snowLine = pixels(PixelSnowLine, 0);
    const float* grain = pixels(PixelGrain, 0);
    const float lakeSpread = 2.0f * static_cast<float>(m_plan.LakeSpread);
    const float woodsEdge = std::max(0.02f, 1.5f * static_cast<float>(m_plan.WoodsSpread));
    const float invWoodsEdge = 1.0f / (2.0f * woodsEdge);

    // 1. Water and land cover.
    for (int c = 0; c < n; c += 4) {
        const F4 h = Load4(e1 + c);
        // Slopes per pixel give anti-aliased shore lines.
        const F4 hx = 0.5f * (Load4(e1 + c + 1) - Load4(e1 + c - 1));
        const F4 hy = 0.5f * (Load4(e0 + c) - Load4(e2 + c));
        Store4(out[RowSlopeEast] + c, hx / s);
        Store4(out[RowSlopeNorth] + c, hy / s);
        const F4 hLength = Hypot(hx, hy);
        const F4 slope = hLength / s;
        const F4 hGrad = Max(hLength, Splat(0.05f));
        const F4 sea = Clamp01(0.5f - h / hGrad);

        const F4 lakes = Load4(k1 + c);
        const F4 lakeLevel = 0.6f + 0.3f * Load4(mountains + c);
        const F4 lakeGrad =
            Hypot(0.5f * (Load4(k1 + c + 1) - Load4(k1 + c - 1)), 0.5f * (Load4(k0 + c) - Load4(k2 + c)));
        const F4 lakeEdge = Max(lakeGrad, Splat(lakeSpread)) + 1e-4f;
        const F4 u = Load4(uncut + c);
        const F4 inland = Smoothstep(2.0f, 20.0f, u);
        const F4 lake =
            Smoothstep(lakeLevel - 0.5f * lakeEdge, lakeLevel + 0.5f * lakeEdge, lakes) * inland;
        const F4 water = 1.0f - (1.0f - sea) * (1.0f - lake);
        Store4(out[RowWater] + c, water);
        // Shore lines: a pixel-wide line along the coast and the lake
        // edges, only where the edge is sharp enough to draw.
        const F4 lakeShore = Clamp01(0.9f - Abs(lakes - lakeLevel) / (lakeGrad + 1e-6f)) *
                             Clamp01(1.5f * lakeGrad / lakeEdge) * inland;
        const F4 seaShore = Clamp01(0.9f - Abs(h) / hGrad);
        Store4(out[RowShore] + c, Max(lakeShore, seaShore));

        const F4 g = Load4(grain + c);
        const F4 snowAt = Load4(snowLine + c);
        const F4 aboveTrees = h - (snowAt - 900.0f); // metres above the tree line
        const F4 m = Load4(moisture + c);
        const F4 steep = Smoothstep(0.55f, 0.95f, slope);
        const F4 snow = Smoothstep(-120.0f, 120.0f, h + 150.0f * g - snowAt) *
                        (1.0f - Smoothstep(0.9f, 1.4f, slope));
        Store4(out[RowSnow] + c, snow);
        const F4 rock = Max(steep, 0.8f * Smoothstep(0.0f, 500.0f, aboveTrees));
        Store4(out[RowRock] + c, rock);

        // Woods where the woods field is above a level set by moisture.
        const F4 woodsAbove = Load4(woods + c) - (0.2f - 0.7f * (m - 0.5f));
        const F4 forest = SmoothstepInv(-woodsEdge, invWoodsEdge, woodsAbove) * (1.0f - rock) *
                          (1.0f - Smoothstep(-300.0f, 0.0f, aboveTrees)) *
                          Smoothstep(0.2f, 0.35f, m);
        Store4(out[RowForest] + c, forest * (1.0f - water));
        // Farmland where it is wet enough, not too high or steep and not
        // wooded; the product of those is sharpened so plots are crisp.
        const F4 suitable = Smoothstep(0.28f, 0.42f, m) * (1.0f - Smoothstep(1200.0f, 2200.0f, h)) *
                            (1.0f - Smoothstep(0.05f, 0.14f, slope)) * (1.0f - forest) *
                            (1.0f - Smoothstep(-0.35f, -0.1f, woodsAbove));
        Store4(out[RowFarm] + c, Smoothstep(0.3f, 0.45f, suitable) * (1.0f - water));
        Store4(out[RowSand] + c, (1.0f - Smoothstep(1.5f, 4.0f, u)) * (1.0f - forest));
    }

    const Lattice& two = w.Lattices[1];
    const int row = r - w.AnchorY, column = -w.AnchorX; // pixel lattice indices of (0, r)
    const int twoRow = ((row - (row & 1)) / 2) - two.J0;
    const auto near = [&](const ZeroLine& z, float reach) {
        return std::min(z.RowNearest[twoRow], z.RowNearest[twoRow + 1]) < reach + 2.0f;
    };
    float* lineValue = out[RowScratch0];
    float* lineX = out[RowScratch0 + 1];
    float* lineY = out[RowScratch0 + 2];
    float* lineWeight = out[RowScratch0 + 3];
    const auto interpolate = [&](const ZeroLine& z) {
        LinearRow(two, z.Value, row, column, n, lineValue);
        LinearRow(two, z.SlopeX.data(), row, column, n, lineX);
        LinearRow(two, z.SlopeY.data(), row, column, n, lineY);
        if (!z.Weight.empty()) LinearRow(two, z.Weight.data(), row, column, n, lineWeight);
    };

    // 2. Rivers, drawn at least about a pixel wide: maps draw rivers wider
    // than they are when zoomed out. Thinnest half width per level in pixels
    // and its strength.
    constexpr float MinHalf[RiverLevels] = {0.85f, 0.6f, 0.45f, 0.4f};
    constexpr float MinAlpha[RiverLevels] = {1.0f, 0.9f, 0.6f, 0.55f};
    float* river = out[RowRiver];
    std::fill(river, river + n, 0.0f);
    for (int level = 0; level < RiverLevels; ++level) {
        const ZeroLine& z = w.Rivers[level];
        const auto width = static_cast<float>(0.5 * RiverLevelOf(level).Width / m_plan.Scale);
        if (!z.Shown || !near(z, std::max(width, MinHalf[level]) + 0.5f)) continue;
        interpolate(z);
        const auto minSlope = static_cast<float>(0.8 * m_plan.Scale / RiverLevelOf(level).Wavelength);
        for (int c = 0; c < n; c += 4) {
            const F4 wf = Load4(lineWeight + c);
            const F4 dpx = PixelsToLine(Load4(lineValue + c), Load4(lineX + c), Load4(lineY + c), minSlope);
            const F4 half = width * wf;
            const F4 drawn = Max(half, MinHalf[level] * wf);
            const F4 alpha = Select(half >= MinHalf[level], Splat(1.0f), Splat(MinAlpha[level]));
            const F4 cover = Clamp01(drawn + 0.5f - dpx) * alpha;
            Store4(river + c, Max(Load4(river + c), Select(wf > 0.0f, cover, Splat(0.0f))));
        }
    }
    for (int c = 0; c < n; c += 4)
        Store4(river + c, Load4(river + c) * (1.0f - Load4(out[RowWater] + c)));

    // 3. Farm plots, where there is farmland and they are large enough to see.
    float* farm = out[RowFarm];
    std::fill(out[RowPlotTone], out[RowPlotTone] + n, 0.5f);
    for (const int a : {RowPlotEdge, RowPlotRows, RowBuilding, RowRoof})
        std::fill(out[a], out[a] + n, 0.0f);
    const Plots plots(w.Centre, m_plan.Scale);
    bool farmland = false;
    for (int c = 0; c < n && !farmland; c += 4)
        farmland = AnyPositive(Load4(farm + c) - 0.01f);
    if (farmland && plots.Visible > 0) {
        for (int a = 0; a < 3; ++a)
            LinearRow(two, w.Offsets[1][a].data(), row, column, n, out[RowScratch0 + a]);
        for (int c = 0; c < n; c += 4) {
            const F4 f = Load4(farm + c);
            if (!AnyPositive(f - 0.01f)) continue;
            const F4 d[3] = {Load4(lineValue + c), Load4(lineX + c), Load4(lineY + c)};
            plots.At(d, f, out[RowPlotTone] + c, out[RowPlotEdge] + c, out[RowPlotRows] + c,
                     out[RowBuilding] + c, out[RowRoof] + c);
        }
    }

    // 4. Roads: the zero lines of the road noises, on dry land that is not too
    // steep. Like rivers they are drawn at least about a pixel wide.
    constexpr float RoadMinHalf[RoadLevels] = {1.0f, 1.0f, 0.6f, 0.4f};
    constexpr float RoadMinAlpha[RoadLevels] = {1.0f, 1.0f, 0.8f, 0.6f};
    for (const int a : {RowHighway, RowRoad, RowTrack})
        std::fill(out[a], out[a] + n, 0.0f);
    for (int level = 0; level < RoadLevels; ++level) {
        const ZeroLine& z = w.Roads[level];
        const RoadLevel& rl = RoadLevelOf(level);
        const auto half = static_cast<float>(0.5 * rl.Width / m_plan.Scale);
        const float drawn = std::max(half, RoadMinHalf[level]);
        if (!z.Shown || !near(z, drawn + 0.5f)) continue;
        interpolate(z);
        const float alpha = half >= RoadMinHalf[level] ? 1.0f : RoadMinAlpha[level];
        const auto minSlope = static_cast<float>(0.5 * m_plan.Scale / rl.Wavelength);
        float* cover = out[level <= 1 ? RowHighway : level == 2 ? RowRoad : RowTrack];
        for (int c = 0; c < n; c += 4) {
            const F4 dpx = PixelsToLine(Load4(lineValue + c), Load4(lineX + c), Load4(lineY + c), minSlope);
            const F4 slope = Hypot(Load4(out[RowSlopeEast] + c), Load4(out[RowSlopeNorth] + c));
            const F4 v = Clamp01(drawn + 0.5f - dpx) * alpha * (1.0f - Load4(out[RowWater] + c)) *
                         (1.0f - Smoothstep(0.2f, 0.4f, slope)) * (1.0f - Load4(out[RowSnow] + c));
            Store4(cover + c, Max(Load4(cover + c), v));
        }
    }

    GroundRow& g = w.Row;
    g.Elevation = e1;
    g.SlopeEast = out[RowSlopeEast];
    g.SlopeNorth = out[RowSlopeNorth];
    g.Water = out[RowWater];
    g.River = river;
    g.Shore = out[RowShore];
    g.Highway = out[RowHighway];
    g.Road = out[RowRoad];
    g.Track = out[RowTrack];
    g.Forest = out[RowForest];
    g.Farm = farm;
    g.Rock = out[RowRock];
    g.Snow = out[RowSnow];
    g.Sand = out[RowSand];
    g.Moisture = moisture;
    g.PlotTone = out[RowPlotTone];
    g.PlotEdge = out[RowPlotEdge];
    g.PlotRows = out[RowPlotRows];
    g.Building = out[RowBuilding];
    g.Roof = out[RowRoof];
    g.Grain = grain;
    g.Crowns = pixels(PixelCrowns, 0);
    g.Clumps = pixels(PixelClumps, 0);
    return g;
}

} // namespace varrow::demo
