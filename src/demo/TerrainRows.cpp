// The ground of a TerrainRaster row by row, a vector of pixels at a time: water,
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

template <class F> VARROW_LANES F Hypot(F x, F y) {
    return Sqrt(x * x + y * y);
}

// a where lane of v is 0, b where 1, c where 2.
template <class V, class I> VARROW_LANES V Pick(I v0, I v1, V a, V b, V c) {
    return (V)((v0 & (I)a) | (~v0 & ((v1 & (I)b) | (~v1 & (I)c))));
}

// The same where the axis is the same in all lanes (axis 0, 1 or 2), by lane
// where it is not (axis -1).
template <class V, class I> VARROW_LANES V PickAxis(int axis, I v0, I v1, V a, V b, V c) {
    if (axis >= 0) return axis == 0 ? a : axis == 1 ? b : c;
    return Pick(v0, v1, a, b, c);
}

// sin(2 pi t), to a thousandth: enough for crop rows.
template <class F> VARROW_LANES F SinTurns(F t) {
    const F x = t - Floor(t) - 0.5f;
    F y = 8.0f * x - 16.0f * x * Abs(x);
    y = 0.225f * (y * Abs(y) - y) + y;
    return -y;
}

// Distance in pixels to the zero line of a noise n with slope g per pixel,
// the slope held to at least minSlope so that flat stretches do not come out near.
template <class F> VARROW_LANES F PixelsToLine(F n, F gx, F gy, float minSlope) {
    return Abs(n) / Max(Hypot(gx, gy), Splat<F>(minSlope));
}

// Farm plots: cells of a rotated 3D lattice cut by the globe's surface. Of its
// three axes the one closest to the vertical is ignored, so plots are
// parallelograms with straight edges that do not line up with north.
struct Plots {
    static constexpr double Size = 360.0;    // metres
    static constexpr double RowPeriod = 5.0; // metres between crop rows
    static constexpr float EdgeHalfWidth = 2.5f;
    static constexpr float Axes[3][3] = {
        {0.8047f, 0.3106f, -0.5059f}, {-0.1826f, 0.9365f, 0.2993f}, {0.5667f, -0.1627f, 0.8077f}};

    // Per axis, for the tile's centre: the position along it in metres, and
    // in plots, half plots and crop rows as a whole lattice index and the
    // fraction past it.
    float Along[3];
    std::int32_t Cell[3], HalfCell[3];
    float CellFrac[3], HalfFrac[3], RowFrac[3];
    float Scale, InvScale, Visible, RowVisible;
    // The axis closest to the vertical all over the tile, or -1 where it
    // changes within.
    int Vertical = -1;

    Plots(const SurfacePoint& centre, double scale, int size) {
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
        for (int a = 0; a < 3; ++a) {
            const float other =
                std::max(std::fabs(Along[(a + 1) % 3]), std::fabs(Along[(a + 2) % 3]));
            // No point of the tile is further than its size from the centre.
            if (std::fabs(Along[a]) - other > 2.0 * size * scale) Vertical = a;
        }
        Scale = static_cast<float>(scale);
        InvScale = static_cast<float>(1.0 / scale);
        const double t = std::clamp((Size / scale - 2.0) / 4.0, 0.0, 1.0);
        Visible = static_cast<float>(t * t * (3 - 2 * t));
        RowVisible = std::clamp(static_cast<float>((RowPeriod / scale - 2.5) / 2.5), 0.0f, 1.0f);
    }

    // The plots at a vector of pixels d metres from the centre, where farm > 0.
    template <class F>
    VARROW_LANES void At(const F d[3], F farm, float* tone, float* edgeOut, float* rowsOut,
                         float* building, float* roof) const {
        using I = IntOf<F>;
        using U = UintOf<F>;
        F q[3], x[3], half[3];
        for (int a = 0; a < 3; ++a) {
            q[a] = Axes[a][0] * d[0] + Axes[a][1] * d[1] + Axes[a][2] * d[2];
            x[a] = CellFrac[a] + q[a] * static_cast<float>(1.0 / Size);
            half[a] = HalfFrac[a] + q[a] * static_cast<float>(2.0 / Size);
        }
        I v0 = I{} - (Vertical == 0), v1 = I{} - (Vertical == 1);
        if (Vertical < 0) {
            const F m0 = Abs(Along[0] + q[0]), m1 = Abs(Along[1] + q[1]), m2 = Abs(Along[2] + q[2]);
            v0 = (m0 >= m1) & (m0 >= m2);
            v1 = ~v0 & (m1 >= m2);
        }
        // The axis with lanes of v0 set takes a, of v1 b, and of neither c.
        const auto pick = [&](auto a, auto b, auto c) {
            return PickAxis(Vertical, v0, v1, a, b, c);
        };
        const I vertical = pick(I{} + 0, I{} + 1, I{} + 2);
        const I cellA = I{} + Cell[0], cellB = I{} + Cell[1], cellC = I{} + Cell[2];
        // The two axes in the ground: the next and the one after the vertical.
        const F x0 = pick(x[1], x[2], x[0]), x1 = pick(x[2], x[0], x[1]);
        const F f0 = Floor(x0), f1 = Floor(x1);
        const I cell0 = pick(cellB, cellC, cellA) + ToInt(f0);
        const I cell1 = pick(cellC, cellA, cellB) + ToInt(f1);
        F edge = Min(Min(x0 - f0, f0 + 1.0f - x0), Min(x1 - f1, f1 + 1.0f - x1)) *
                 static_cast<float>(Size);
        const U h = HashLatticeLanes<F>(cell0, cell1, vertical, 0x9e3779b9u);
        F t = UnitFromHashLanes(h);

        // Some plots are split in two, along one edge direction or the other.
        const I alongFirst = (I)((h & 0x20000u) != 0u);
        const I s0 = pick(I{} + 1, I{} + 2, I{} + 0);
        const I s1 = pick(I{} + 2, I{} + 0, I{} + 1);
        const I split = (alongFirst & s0) | (~alongFirst & s1);
        const I w0 = split == 0, w1 = split == 1;
        const F hx = Pick(w0, w1, half[0], half[1], half[2]);
        const F hf = Floor(hx);
        const I halfCell =
            Pick(w0, w1, I{} + HalfCell[0], I{} + HalfCell[1], I{} + HalfCell[2]) + ToInt(hf);
        const I split2 = (I)((h & 0x10000u) != 0u);
        const F halfEdge = Min(hx - hf, hf + 1.0f - hx) * static_cast<float>(Size / 2);
        edge = Select(split2, Min(edge, halfEdge), edge);
        const I otherHalf = split2 & ((halfCell & 1) != 0);
        if (Any(otherHalf)) t = Select(otherHalf, UnitFromHashLanes(h * 0x2545f491u + 7u), t);

        const I has = farm > 0.01f;
        Store(tone, Select(has, 0.5f + (t - 0.5f) * Visible, Splat<F>(0.5f)));
        const F e = Clamp01((EdgeHalfWidth + 0.5f * Scale - edge) * InvScale) * Visible;
        Store(edgeOut, Select(has, e, Splat<F>(0.0f)));

        // One plot in five has a farmstead: a rectangle somewhere inside it.
        const U top = h >> 24;
        const I farmstead = has & (I)(top - 5u * ((top * 205u) >> 10) == 0u);
        F house = Splat<F>(0.0f), roofTone = Splat<F>(0.0f);
        if (Any(farmstead)) {
            const U b = h * 0x9e3779b1u + 0x7f4a7c15u;
            const F cx = f0 + 0.25f + 0.5f * UnitFromHashLanes(b);
            const F cy = f1 + 0.25f + 0.5f * UnitFromHashLanes(b * 0x2545f491u);
            const F dx = Abs(x0 - cx) * static_cast<float>(Size) -
                         (6.0f + 5.0f * UnitFromHashLanes(b ^ 0x5bd1e995u));
            const F dy = Abs(x1 - cy) * static_cast<float>(Size) -
                         (5.0f + 3.0f * UnitFromHashLanes(b ^ 0x1b873593u));
            house = Select(farmstead, Clamp01(0.5f - Max(dx, dy) * InvScale) * farm, house);
            roofTone = Select(farmstead, UnitFromHashLanes(b ^ 0xcc9e2d51u), roofTone);
        }
        Store(building, house);
        Store(roof, roofTone);
        F rows = Splat<F>(0.0f);
        if (RowVisible > 0) {
            const I r0 = (I)((h & 0x40000u) != 0u);
            const I ra = (r0 & s0) | (~r0 & s1);
            const I ra0 = ra == 0, ra1 = ra == 1;
            const F phase = Pick(ra0, ra1, RowFrac[0] + q[0] * static_cast<float>(1.0 / RowPeriod),
                                 RowFrac[1] + q[1] * static_cast<float>(1.0 / RowPeriod),
                                 RowFrac[2] + q[2] * static_cast<float>(1.0 / RowPeriod));
            rows = Select(has, RowVisible * SinTurns(phase), rows);
        }
        Store(rowsOut, rows);
    }
};

} // namespace

const GroundRow& TerrainRaster::Row(int r) {
    ForLanes([&](auto lanes) { RowWith<typename decltype(lanes)::Type>(r); });
    return m_work->Row;
}

template <class F> VARROW_LANES void TerrainRaster::RowWith(int r) {
    constexpr int N = Width<F>;
    Work& w = *m_work;
    const int n = m_size;
    const auto s = static_cast<float>(m_plan.Scale);
    std::array<float*, RowArrayCount> out{};
    for (int a = 0; a < RowArrayCount; ++a)
        out[a] = Sized(w.Rows[a], n + 16); // LinearRow writes up to 16 at a time
    const auto pixels = [&](int field, int dr) { return w.PixelAt(field, 0, r + dr); };
    const float *e0 = pixels(PixelElevation, -1), *e1 = pixels(PixelElevation, 0),
                *e2 = pixels(PixelElevation, 1);
    const float *k0 = pixels(PixelLakes, -1), *k1 = pixels(PixelLakes, 0),
                *k2 = pixels(PixelLakes, 1);
    const float* uncut = pixels(PixelUncut, 0);
    const float* woods = pixels(PixelWoods, 0);
    // Moisture, mountains and the snow line change over many pixels: linear
    // between lattice points does.
    const Lattice& two = w.Lattices[1];
    const int row = r - w.AnchorY, column = -w.AnchorX; // pixel lattice indices of (0, r)
    float* moisture = out[RowMoisture];
    float* mountains = out[RowMountains];
    float* snowLine = out[RowSnowLine];
    LinearRow(two, w.Moisture.data(), row, column, n, moisture);
    if (w.Lakes) LinearRow(two, w.Mountains.data(), row, column, n, mountains);
    if (w.Alpine) LinearRow(two, w.Sums[1][FieldSnowLine].data(), row, column, n, snowLine);
    const float* grain = pixels(PixelGrain, 0);
    const float lakeSpread = 2.0f * static_cast<float>(m_plan.LakeSpread);
    const float woodsEdge = std::max(0.02f, 1.5f * static_cast<float>(m_plan.WoodsSpread));
    const float invWoodsEdge = 1.0f / (2.0f * woodsEdge);

    // 1. Water and land cover. Most of a tile is far from the sea, lakes and
    // the tree line; a vector of pixels at a time is let off what cannot reach it.
    const float invScale = 1.0f / s;
    const F zero = Splat<F>(0.0f), one = Splat<F>(1.0f);
    for (int c = 0; c < n; c += N) {
        const F h = Load<F>(e1 + c);
        const F hx = 0.5f * (Load<F>(e1 + c + 1) - Load<F>(e1 + c - 1));
        const F hy = 0.5f * (Load<F>(e0 + c) - Load<F>(e2 + c));
        Store(out[RowSlopeEast] + c, hx * invScale);
        Store(out[RowSlopeNorth] + c, hy * invScale);
        const F hLength = Hypot(hx, hy);
        const F slope = hLength * invScale;

        // Near sea level (before the valleys were cut), lakes give way to
        // the sea and beaches begin.
        F inland = one, beach = zero;
        if (w.Coastal) {
            const F u = Load<F>(uncut + c);
            inland = Smoothstep(2.0f, 20.0f, u);
            beach = 1.0f - Smoothstep(1.5f, 4.0f, u);
        }
        // Slopes per pixel give anti-aliased shore lines.
        F sea = zero, shore = zero;
        const F hGrad = Max(hLength, Splat<F>(0.05f));
        if (AnyPositive(0.9f * hGrad - h)) {
            const F level = h / hGrad;
            sea = Clamp01(0.5f - level);
            shore = Clamp01(0.9f - Abs(level));
        }
        F lake = zero;
        if (w.Lakes) {
            const F lakes = Load<F>(k1 + c);
            const F lakeLevel = 0.6f + 0.3f * Load<F>(mountains + c);
            const F lakeGrad = Hypot(0.5f * (Load<F>(k1 + c + 1) - Load<F>(k1 + c - 1)),
                                     0.5f * (Load<F>(k0 + c) - Load<F>(k2 + c)));
            const F lakeEdge = Max(lakeGrad, Splat<F>(lakeSpread)) + 1e-4f;
            if (AnyPositive(lakes - lakeLevel + Max(0.5f * lakeEdge, 0.9f * lakeGrad))) {
                lake = Smoothstep(lakeLevel - 0.5f * lakeEdge, lakeLevel + 0.5f * lakeEdge, lakes) *
                       inland;
                // Shore lines: a pixel-wide line along the coast and the lake
                // edges, only where the edge is sharp enough to draw.
                const F lakeShore = Clamp01(0.9f - Abs(lakes - lakeLevel) / (lakeGrad + 1e-6f)) *
                                    Clamp01(1.5f * lakeGrad / lakeEdge) * inland;
                shore = Max(shore, lakeShore);
            }
        }
        const F water = 1.0f - (1.0f - sea) * (1.0f - lake);
        Store(out[RowWater] + c, water);
        Store(out[RowShore] + c, shore);

        // Snow above the snow line, bare rock on steep slopes and above the
        // tree line, 900 m below it.
        F snow = zero, alpine = zero, treeLine = zero;
        if (w.Alpine && AnyPositive(h - Load<F>(snowLine + c) + 1300.0f)) {
            const F snowAt = Load<F>(snowLine + c);
            const F aboveTrees = h - (snowAt - 900.0f);
            snow = Smoothstep(-120.0f, 120.0f, h + 150.0f * Load<F>(grain + c) - snowAt) *
                   (1.0f - Smoothstep(0.9f, 1.4f, slope));
            alpine = 0.8f * Smoothstep(0.0f, 500.0f, aboveTrees);
            treeLine = Smoothstep(-300.0f, 0.0f, aboveTrees);
        }
        Store(out[RowSnow] + c, snow);
        const F rock = Max(Smoothstep(0.55f, 0.95f, slope), alpine);
        Store(out[RowRock] + c, rock);

        // Woods where the woods field is above a level set by moisture.
        const F m = Load<F>(moisture + c);
        const F woodsAbove = Load<F>(woods + c) - (0.2f - 0.7f * (m - 0.5f));
        const F forest = SmoothstepInv(-woodsEdge, invWoodsEdge, woodsAbove) * (1.0f - rock) *
                         (1.0f - treeLine) * Smoothstep(0.2f, 0.35f, m);
        Store(out[RowForest] + c, forest * (1.0f - water));
        // Farmland where it is wet enough, not too high or steep and not
        // wooded; the product of those is sharpened so plots are crisp.
        const F suitable = Smoothstep(0.28f, 0.42f, m) * (1.0f - Smoothstep(1200.0f, 2200.0f, h)) *
                           (1.0f - Smoothstep(0.05f, 0.14f, slope)) * (1.0f - forest) *
                           (1.0f - Smoothstep(-0.35f, -0.1f, woodsAbove));
        Store(out[RowFarm] + c, Smoothstep(0.3f, 0.45f, suitable) * (1.0f - water));
        Store(out[RowSand] + c, beach * (1.0f - forest));
    }

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
    Fill<F>(river, n, 0.0f);
    for (int level = 0; level < RiverLevels; ++level) {
        const ZeroLine& z = w.Rivers[level];
        const auto width = static_cast<float>(0.5 * RiverLevelOf(level).Width / m_plan.Scale);
        if (!z.Shown || !near(z, std::max(width, MinHalf[level]) + 0.5f)) continue;
        interpolate(z);
        const auto minSlope =
            static_cast<float>(0.8 * m_plan.Scale / RiverLevelOf(level).Wavelength);
        for (int c = 0; c < n; c += N) {
            const F wf = Load<F>(lineWeight + c);
            const F dpx = PixelsToLine(Load<F>(lineValue + c), Load<F>(lineX + c),
                                       Load<F>(lineY + c), minSlope);
            const F half = width * wf;
            const F drawn = Max(half, MinHalf[level] * wf);
            const F alpha =
                Select(half >= MinHalf[level], Splat<F>(1.0f), Splat<F>(MinAlpha[level]));
            const F cover = Clamp01(drawn + 0.5f - dpx) * alpha;
            Store(river + c, Max(Load<F>(river + c), Select(wf > 0.0f, cover, Splat<F>(0.0f))));
        }
    }
    for (int c = 0; c < n; c += N)
        Store(river + c, Load<F>(river + c) * (1.0f - Load<F>(out[RowWater] + c)));

    // 3. Farm plots, where there is farmland and they are large enough to see.
    float* farm = out[RowFarm];
    Fill<F>(out[RowPlotTone], n, 0.5f);
    for (const int a : {RowPlotEdge, RowPlotRows, RowBuilding, RowRoof})
        Fill<F>(out[a], n, 0.0f);
    const Plots plots(w.Centre, m_plan.Scale, m_size);
    bool farmland = false;
    for (int c = 0; c < n && !farmland; c += N)
        farmland = AnyPositive(Load<F>(farm + c) - 0.01f);
    if (farmland && plots.Visible > 0) {
        for (int a = 0; a < 3; ++a)
            LinearRow(two, w.Offsets[1][a].data(), row, column, n, out[RowScratch0 + a]);
        for (int c = 0; c < n; c += N) {
            const F f = Load<F>(farm + c);
            if (!AnyPositive(f - 0.01f)) continue;
            const F d[3] = {Load<F>(lineValue + c), Load<F>(lineX + c), Load<F>(lineY + c)};
            plots.At<F>(d, f, out[RowPlotTone] + c, out[RowPlotEdge] + c, out[RowPlotRows] + c,
                        out[RowBuilding] + c, out[RowRoof] + c);
        }
    }

    // 4. Roads: the zero lines of the road noises, on dry land that is not too
    // steep. Like rivers they are drawn at least about a pixel wide.
    constexpr float RoadMinHalf[RoadLevels] = {1.0f, 1.0f, 0.6f, 0.4f};
    constexpr float RoadMinAlpha[RoadLevels] = {1.0f, 1.0f, 0.8f, 0.6f};
    for (const int a : {RowHighway, RowRoad, RowTrack})
        Fill<F>(out[a], n, 0.0f);
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
        for (int c = 0; c < n; c += N) {
            const F dpx = PixelsToLine(Load<F>(lineValue + c), Load<F>(lineX + c),
                                       Load<F>(lineY + c), minSlope);
            const F slope = Hypot(Load<F>(out[RowSlopeEast] + c), Load<F>(out[RowSlopeNorth] + c));
            const F v = Clamp01(drawn + 0.5f - dpx) * alpha * (1.0f - Load<F>(out[RowWater] + c)) *
                        (1.0f - Smoothstep(0.2f, 0.4f, slope)) * (1.0f - Load<F>(out[RowSnow] + c));
            Store(cover + c, Max(Load<F>(cover + c), v));
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
}

} // namespace varrow::demo
