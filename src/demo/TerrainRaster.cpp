#include "TerrainRaster.h"

#include "Lanes.h"
#include "TerrainWork.h"
#include "geo/WebMercator.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <mutex>
#include <thread>

namespace varrow::demo {

namespace {

// Scratch of a few megabytes per raster, shared by all threads and kept only
// for as many rasters as run at once on the processor's cores: kept per
// thread, the tile loader's fourteen threads held fourteen sets of it.
struct TWorkPool {
    std::mutex Lock;
    std::vector<std::unique_ptr<TerrainRaster::Work>> Free;
};

TWorkPool& Pool() {
    static TWorkPool* pool = new TWorkPool; // never destroyed: rasters may outlive main
    return *pool;
}

std::size_t KeptWork() {
    return std::max(2u, std::thread::hardware_concurrency());
}

// Grows a buffer to at least n values; what it held is left for the caller
// to overwrite.
float* Sized(std::vector<float>& v, int n) {
    if (v.size() < static_cast<std::size_t>(n)) v.resize(static_cast<std::size_t>(n));
    return v.data();
}

float* Zeroed(std::vector<float>& v, int n) {
    float* p = Sized(v, n);
    std::fill(p, p + n, 0.0f);
    return p;
}

// The tile pixel, in (-CoarsestStep, 0], that the coarsest lattice of the
// grid has a point on.
int AnchorOf(std::int64_t gridPixel) {
    const auto m = static_cast<int>(((gridPixel % CoarsestStep) + CoarsestStep) % CoarsestStep);
    return -m;
}

// Film grain: hashed values on the grid's pixel lattice, every other pixel,
// smoothed between. Finer than any landscape octave, so it need not agree
// across scales; on the lattice it agrees across tile edges. Added, halved,
// to the pixel lattice's grain field (border left out).
void AddFilmGrain(const RasterFrame& frame, const Lattice& pixels, std::vector<float>& lattice,
                  float* grain) {
    const int size = frame.Size;
    const int points = size / 2 + 1;
    const int pitch = (points + 7) & ~7;
    float* l = Sized(lattice, points * pitch);
    ForLanes([&](auto lanes) {
        using F = typename decltype(lanes)::Type;
        using I = IntOf<F>;
        const I column = static_cast<std::int32_t>(frame.GrainColumn) + LaneIndex<F>();
        for (int j = 0; j < points; ++j) {
            const I row = I{} + static_cast<std::int32_t>(frame.GrainRow - j);
            for (int i = 0; i < points; i += Width<F>) {
                const auto h = HashLatticeLanes<F>(column + i, row, I{}, frame.GrainSeed);
                Store(&l[j * pitch + i], UnitFromHashLanes(h) * 1.4f - 0.7f);
            }
        }
    });
    // Even pixel columns sit on the lattice, odd ones halfway; odd pixel rows
    // sit on lattice row (r + 1) / 2, even ones halfway between r / 2 and the next.
    for (int r = 0; r < size; ++r) {
        const float* p0 = &l[((r & 1) ? (r + 1) / 2 : r / 2) * pitch];
        const float* p1 = (r & 1) ? p0 : p0 + pitch;
        float* out = grain + static_cast<std::size_t>(r + 1) * pixels.Pitch + 1;
        for (int c = 0; c < size; c += 2) {
            const int i = c / 2;
            const float left = 0.5f * (p0[i] + p1[i]), right = 0.5f * (p0[i + 1] + p1[i + 1]);
            out[c] += left;
            out[c + 1] += 0.5f * (left + right);
        }
    }
}

} // namespace

RasterFrame UtmFrame(const TileAddress& a) {
    RasterFrame frame;
    frame.Size = TilePixels;
    frame.Scale = ScaleOfCode(a.ScaleCode);
    const double s = frame.Scale;
    const double west = TilePixels * static_cast<double>(a.X) * s;
    const double north = TilePixels * (static_cast<double>(a.Y) + 1.0) * s;
    const int zone = a.Zone;
    frame.Geographic = [=](double u, double v) {
        return UtmToGeographic(zone, NorthAmerican1983, north - v * s, west + u * s);
    };
    frame.Column = static_cast<std::int64_t>(a.X) * TilePixels;
    frame.Row = -(static_cast<std::int64_t>(a.Y) + 1) * TilePixels;
    frame.GrainSeed = static_cast<std::uint32_t>(a.Zone * 64 + a.ScaleCode);
    // Lattice column of the tile's west pixel and lattice row just north of
    // its north pixel; the zone's pixel rows count northward.
    frame.GrainColumn = static_cast<std::int64_t>(a.X) * (TilePixels / 2);
    frame.GrainRow = (static_cast<std::int64_t>(a.Y) + 1) * (TilePixels / 2);
    return frame;
}

RasterFrame MercatorFrame(int zoom, int x, int y) {
    RasterFrame frame;
    frame.Size = MercatorTileSize;
    const double x0 = static_cast<double>(x) * MercatorTileSize;
    const double y0 = static_cast<double>(y) * MercatorTileSize;
    double lat = 0, lon = 0;
    MercatorToGeographic({x0 + MercatorTileSize / 2.0, y0 + MercatorTileSize / 2.0}, zoom, lat,
                         lon);
    frame.Scale = MercatorGroundResolution(lat, zoom);
    frame.Geographic = [=](double u, double v) {
        TGeoPosition g;
        MercatorToGeographic({x0 + u, y0 + v}, zoom, g.Latitude, g.Longitude);
        return g;
    };
    frame.Column = static_cast<std::int64_t>(x) * MercatorTileSize;
    frame.Row = static_cast<std::int64_t>(y) * MercatorTileSize;
    // Mercator rows count south; the lattice's rows count north.
    frame.GrainSeed = static_cast<std::uint32_t>(0x6d657263u + static_cast<std::uint32_t>(zoom));
    frame.GrainColumn = static_cast<std::int64_t>(x) * (MercatorTileSize / 2);
    frame.GrainRow = -static_cast<std::int64_t>(y) * (MercatorTileSize / 2);
    return frame;
}

TerrainRaster::TerrainRaster(const RasterFrame& frame)
    : m_size(frame.Size), m_plan(PlanForScale(frame.Scale)) {
    {
        TWorkPool& pool = Pool();
        std::lock_guard<std::mutex> guard(pool.Lock);
        if (!pool.Free.empty()) {
            m_work = std::move(pool.Free.back());
            pool.Free.pop_back();
        }
    }
    if (!m_work) m_work = std::make_unique<Work>();
    Work& w = *m_work;
    w.AnchorX = AnchorOf(frame.Column);
    w.AnchorY = AnchorOf(frame.Row);
    // The pixels with their border, then each coarser lattice. The step-2
    // lattice has one more point all round, for slopes by central differences.
    w.Lattices[0] =
        MakeLattice(1, -1 - w.AnchorX, m_size - w.AnchorX, -1 - w.AnchorY, m_size - w.AnchorY);
    const Lattice two = CoarserLattice(w.Lattices[0]);
    w.Lattices[1] = MakeLattice(2, two.I0 - 1, two.I0 + two.W, two.J0 - 1, two.J0 + two.H);
    for (int level = 2; level < LatticeLevels; ++level)
        w.Lattices[level] = CoarserLattice(w.Lattices[level - 1]);
    // The coarsest lattice's points are projected exactly and the finer ones
    // interpolated, which needs them no more than about 1.5 % of the earth's
    // radius apart (a metre off at 100 km); but at least 16 px, or a
    // whole-world tile would project thousands of points.
    w.Top = 4;
    while (w.Top + 1 < LatticeLevels && (2 << w.Top) * frame.Scale <= 100000.0)
        ++w.Top;

    SumLayers(frame);
    CutValleys();
    RefineToPixels(frame.Texture);
    if (frame.Texture || w.Alpine)
        AddFilmGrain(frame, w.PixelLattice(), w.Noise, w.Pixels[PixelGrain].data());
}

TerrainRaster::~TerrainRaster() {
    TWorkPool& pool = Pool();
    std::lock_guard<std::mutex> guard(pool.Lock);
    if (pool.Free.size() < KeptWork()) pool.Free.push_back(std::move(m_work));
}

namespace {

// Noise of a layer at every point of a lattice, row by row so that the rows'
// padding is left out; with `gradient`, its gradient too.
void LayerNoise(const LayerPlan& layer, const SurfacePoint& centre, const Lattice& l,
                const std::array<float*, 3>& offsets, float* noise,
                std::array<std::vector<float>, 3>* gradient) {
    const NoiseFrame frame = FrameOf(layer, centre);
    const int n = (l.W + 7) & ~7; // within the pitch
    for (int j = 0; j < l.H; ++j) {
        const std::size_t row = static_cast<std::size_t>(j) * l.Pitch;
        float* g[3] = {};
        if (gradient)
            for (int a = 0; a < 3; ++a)
                g[a] = (*gradient)[a].data() + row;
        SimplexAt(frame, offsets[0] + row, offsets[1] + row, offsets[2] + row, n, noise + row,
                  gradient ? g : nullptr);
    }
}

// Central differences along i (step 1) or j (step Pitch), per lattice step,
// times `times`, added to out or (add false) put there; the outermost points,
// which are not interpolated from, get none.
template <class F>
VARROW_LANES void Differences(const Lattice& l, const float* v, std::ptrdiff_t step, float* out,
                              float times = 1.0f, bool add = false) {
    constexpr int N = Width<F>;
    const F half = Splat<F>(0.5f * times);
    for (int j = 0; j < l.H; ++j) {
        float* o = out + static_cast<std::size_t>(j) * l.Pitch;
        if (j == 0 || j + 1 == l.H) {
            if (!add) std::fill(o, o + l.Pitch, 0.0f);
            continue;
        }
        const float* r = v + static_cast<std::size_t>(j) * l.Pitch;
        for (int i = 0; i < l.W; i += N) {
            const F d = half * (Load<F>(r + i + step) - Load<F>(r + i - step));
            Store(o + i, add ? Load<F>(o + i) + d : d);
        }
        if (add) continue;
        o[0] = 0.0f;
        std::fill(o + l.W - 1, o + l.Pitch, 0.0f);
    }
}

} // namespace

void TerrainRaster::SumLayers(const RasterFrame& frame) {
    ForLanes([&](auto lanes) { SumLayersWith<typename decltype(lanes)::Type>(frame); });
}

template <class F> VARROW_LANES void TerrainRaster::SumLayersWith(const RasterFrame& frame) {
    constexpr int N = Width<F>;
    Work& w = *m_work;
    {
        const TGeoPosition g = frame.Geographic(m_size / 2.0, m_size / 2.0);
        w.Centre = SurfaceFromGeographic(g.Latitude, g.Longitude);
    }
    const Lattice& top = w.Lattices[w.Top];
    const int topStep = top.Step;
    std::array<float*, FieldCount> sums{};
    for (int f = 0; f < FieldCount; ++f)
        if (m_plan.Used[f]) sums[f] = Zeroed(w.Sums[w.Top][f], top.Count());
    std::array<float*, 3> offsets{};
    for (int a = 0; a < 3; ++a)
        offsets[a] = Zeroed(w.Offsets[w.Top][a], top.Count());
    std::array<bool, FieldCount> content{};
    content[FieldMoisture] = content[FieldSnowLine] = true;
    for (int j = 0; j < top.H; ++j) {
        for (int i = 0; i < top.W; ++i) {
            const double u = w.AnchorX + topStep * (top.I0 + i) + 0.5;
            const double v = w.AnchorY + topStep * (top.J0 + j) + 0.5;
            const TGeoPosition g = frame.Geographic(u, v);
            const SurfacePoint p = SurfaceFromGeographic(g.Latitude, g.Longitude);
            const int k = j * top.Pitch + i;
            offsets[0][k] = static_cast<float>(p.X - w.Centre.X);
            offsets[1][k] = static_cast<float>(p.Y - w.Centre.Y);
            offsets[2][k] = static_cast<float>(p.Z - w.Centre.Z);
            float latitude[FieldCount] = {};
            AddLatitudeTerms(p, latitude);
            sums[FieldMoisture][k] += latitude[FieldMoisture];
            sums[FieldSnowLine][k] += latitude[FieldSnowLine];
        }
    }

    for (int level = w.Top; level >= 1; --level) {
        const Lattice& l = w.Lattices[level];
        const int count = l.Count();
        if (level < w.Top) {
            const Lattice& c = w.Lattices[level + 1];
            for (int a = 0; a < 3; ++a) {
                offsets[a] = Sized(w.Offsets[level][a], count);
                Refine(c, w.Offsets[level + 1][a].data(), l, offsets[a], w.Scratch);
            }
            for (int f = 0; f < FieldCount; ++f) {
                if (!m_plan.Used[f]) continue;
                sums[f] = Sized(w.Sums[level][f], count);
                // Fields no layer has added to yet stay zero, below.
                if (!content[f]) continue;
                const SlopeFix* fix = level + 1 <= SlopeLevels ? &w.Slopes[level + 1][f] : nullptr;
                const bool fixed = fix && fix->Used;
                Refine(c, w.Sums[level + 1][f].data(), l, sums[f], w.Scratch,
                       fixed ? fix->I.data() : nullptr, fixed ? fix->J.data() : nullptr);
            }
        }
        // On the finest lattices the true slopes of the relief, woods, lakes
        // and (for the aerials) the finest texture are kept, less those
        // Catmull-Rom will take from their sums, for the interpolation onto the
        // next (see Refine): here the slopes of what the sums hold so far,
        // which do not change. Without, tree crowns come out blurred.
        const bool fine = level <= SlopeLevels;
        std::array<bool, FieldCount> fixed{};
        if (fine) {
            for (int a = 0; a < 3; ++a) {
                Differences<F>(l, offsets[a], 1, Sized(w.StepI[a], count));
                Differences<F>(l, offsets[a], l.Pitch, Sized(w.StepJ[a], count));
                Sized(w.Gradient[a], count);
            }
            for (const int f :
                 {FieldRidged, FieldRolling, FieldWoods, FieldLakes, FieldCrowns, FieldGrain}) {
                SlopeFix& fix = w.Slopes[level][f];
                fix.Used = false;
                if (!frame.Texture && (f == FieldCrowns || f == FieldGrain)) continue;
                for (int k = 0; k < m_plan.LayerCount && !fix.Used; ++k)
                    for (int t = 0; t < m_plan.Layers[k].TermCount; ++t)
                        fix.Used |= m_plan.Layers[k].Step == l.Step &&
                                    m_plan.Layers[k].Terms[t].Target == f;
                fixed[f] = fix.Used;
                if (!fix.Used) continue;
                if (!content[f]) {
                    std::fill_n(sums[f], count, 0.0f);
                    content[f] = true;
                }
                Differences<F>(l, sums[f], 1, Sized(fix.I, count));
                Differences<F>(l, sums[f], l.Pitch, Sized(fix.J, count));
            }
        }
        float* noise = Sized(w.Noise, count);
        for (int k = 0; k < m_plan.LayerCount; ++k) {
            const LayerPlan& layer = m_plan.Layers[k];
            if (std::min(layer.Step, topStep) != l.Step) continue;
            // The terms this tile wants, and whether any needs the slopes.
            struct Target {
                float* Sum;
                float *FixI, *FixJ;
                float Linear, Ridged;
            };
            std::array<Target, 7> targets{};
            int count0 = 0;
            bool slopes = false, ridged = false;
            for (int t = 0; t < layer.TermCount; ++t) {
                const Term& term = layer.Terms[t];
                if (!frame.Texture && (term.Target == FieldCrowns || term.Target == FieldClumps))
                    continue;
                if (!content[term.Target]) {
                    std::fill_n(sums[term.Target], count, 0.0f);
                    content[term.Target] = true;
                }
                SlopeFix& fix = w.Slopes[std::min(level, SlopeLevels)][term.Target];
                const bool f = fixed[term.Target];
                targets[count0++] = {sums[term.Target], f ? fix.I.data() : nullptr,
                                     f ? fix.J.data() : nullptr, term.Linear, term.Ridged};
                slopes |= f;
                ridged |= term.Ridged != 0;
            }
            LayerNoise(layer, w.Centre, l, offsets, noise, slopes ? &w.Gradient : nullptr);
            for (int i = 0; i < count; i += N) {
                const F n = Load<F>(noise + i);
                F ridgeSlope = Splat<F>(0.0f);
                const F ridge = ridged ? RidgeTerm(n, &ridgeSlope) : Splat<F>(0.0f);
                // The noise's slope along i and j: its gradient along the
                // offsets' change per step.
                F ni = Splat<F>(0.0f), nj = Splat<F>(0.0f);
                if (slopes) {
                    for (int a = 0; a < 3; ++a) {
                        const F g = Load<F>(w.Gradient[a].data() + i);
                        ni += g * Load<F>(w.StepI[a].data() + i);
                        nj += g * Load<F>(w.StepJ[a].data() + i);
                    }
                }
                for (int t = 0; t < count0; ++t) {
                    const Target& target = targets[t];
                    Store(target.Sum + i,
                          Load<F>(target.Sum + i) + target.Linear * n + target.Ridged * ridge);
                    if (!target.FixI) continue;
                    const F dv = target.Linear + target.Ridged * ridgeSlope;
                    Store(target.FixI + i, Load<F>(target.FixI + i) + dv * ni);
                    Store(target.FixJ + i, Load<F>(target.FixJ + i) + dv * nj);
                }
            }
        }
        if (level == 1)
            for (int f = 0; f < FieldCount; ++f)
                if (m_plan.Used[f] && !content[f]) std::fill_n(sums[f], count, 0.0f);
        if (!fine) continue;
        for (int f = 0; f < FieldCount; ++f) {
            if (!fixed[f]) continue;
            SlopeFix& fix = w.Slopes[level][f];
            Differences<F>(l, sums[f], 1, fix.I.data(), -1.0f, true);
            Differences<F>(l, sums[f], l.Pitch, fix.J.data(), -1.0f, true);
        }
    }
}

void TerrainRaster::CutValleys() {
    ForLanes([&](auto lanes) { CutValleysWith<typename decltype(lanes)::Type>(); });
}

template <class F> VARROW_LANES void TerrainRaster::CutValleysWith() {
    using I = IntOf<F>;
    constexpr int N = Width<F>;
    Work& w = *m_work;
    const Lattice& l = w.Lattices[1];
    const int n = l.Count();
    const auto s = static_cast<float>(m_plan.Scale);
    std::array<const float*, FieldCount> sums{};
    for (int f = 0; f < FieldCount; ++f)
        if (m_plan.Used[f]) sums[f] = w.Sums[1][f].data();
    float* uncut = Sized(w.Uncut, n);
    float* mountains = Sized(w.Mountains, n);
    float* land = Sized(w.Land, n);
    GroundAt(sums.data(), n, uncut, mountains, land, Sized(w.Moisture, n));
    float* carve = Zeroed(w.Carve, n);

    // The slope of a zero line's noise per pixel, by central differences;
    // the outermost points have none and are not interpolated from.
    const auto slopes = [&](const float* value, ZeroLine& z, float minSlope) {
        float* sx = Sized(z.SlopeX, n);
        float* sy = Sized(z.SlopeY, n);
        // Per pixel: two lattice steps are four pixels.
        Differences<F>(l, value, 1, sx, 0.5f);
        Differences<F>(l, value, l.Pitch, sy, 0.5f);
        float* nearest = Sized(z.RowNearest, l.H);
        const I lane = LaneIndex<F>();
        for (int j = 0; j < l.H; ++j) {
            const F far = Splat<F>(std::numeric_limits<float>::max());
            F least = far;
            const int row = j * l.Pitch;
            for (int i = 0; i < l.W && j >= 1 && j + 1 < l.H; i += N) {
                const int k = row + i;
                const I inner = (lane + i >= 1) & (lane + i < l.W - 1);
                const F gx = Load<F>(sx + k), gy = Load<F>(sy + k);
                const F d =
                    Abs(Load<F>(value + k)) / Max(Sqrt(gx * gx + gy * gy), Splat<F>(minSlope));
                const F weight = z.Weight.empty() ? Splat<F>(1.0f) : Load<F>(z.Weight.data() + k);
                least = Min(least, Select(inner & (weight > 0.0f), d, far));
            }
            nearest[j] = Least(least);
        }
    };

    // Rivers: the zero lines of the river noises, where their masks allow.
    // Distance to the line is |n| / |grad n|; valleys are cut along it.
    for (int level = 0; level < RiverLevels; ++level) {
        ZeroLine& z = w.Rivers[level];
        z.Shown = m_plan.RiverShown[level];
        if (!z.Shown) continue;
        const RiverLevel& rl = RiverLevelOf(level);
        const float* value = z.Value = sums[FieldRiver0 + level];
        const float* mask = sums[FieldRiverMask0 + level];
        float* weight = Sized(z.Weight, n);
        F most = Splat<F>(0.0f);
        for (int k = 0; k < n; k += N) {
            const F wf = Smoothstep(-0.2f, 0.25f, Load<F>(mask + k));
            Store(weight + k, wf);
            most = Max(most, wf);
        }
        // The mask may keep the level out of the whole tile.
        z.Shown = Greatest(most) > 0.0f;
        if (!z.Shown) continue;
        const float minSlope = static_cast<float>(0.8 * m_plan.Scale / rl.Wavelength);
        slopes(value, z, minSlope);
        const float metres = s / static_cast<float>(rl.ValleyWidth);
        const auto depth = static_cast<float>(rl.ValleyDepth);
        for (int k = 0; k < n; k += N) {
            const F wf = Load<F>(weight + k);
            const F sx = Load<F>(z.SlopeX.data() + k), sy = Load<F>(z.SlopeY.data() + k);
            const F dpx =
                Abs(Load<F>(value + k)) / Max(Sqrt(sx * sx + sy * sy), Splat<F>(minSlope));
            // A bell-shaped valley profile, zero from three widths out; a
            // polynomial rather than exp(-q^2), which showed in profiles.
            const F q = dpx * metres;
            const F b = Max(1.0f - q * q * (1.0f / 9.0f), Splat<F>(0.0f));
            Store(carve + k, Load<F>(carve + k) + depth * (b * b) * (b * b) * wf);
        }
    }
    for (int level = 0; level < RoadLevels; ++level) {
        ZeroLine& z = w.Roads[level];
        z.Shown = m_plan.RoadShown[level];
        z.Weight.clear();
        if (!z.Shown) continue;
        z.Value = sums[FieldRoad0 + level];
        slopes(z.Value, z, static_cast<float>(0.5 * m_plan.Scale / RoadLevelOf(level).Wavelength));
    }

    // Whether the rows need the elevation before the valleys were cut (lakes
    // and beaches keep clear of the sea), and the lake field: it is lake
    // above 0.6 + 0.3 mountains, blurred by its slope and by the spread of
    // octaves left out.
    {
        F lowest = Splat<F>(std::numeric_limits<float>::max());
        F above = Splat<F>(-std::numeric_limits<float>::max()), steepest = Splat<F>(0.0f);
        const float* lakes = sums[FieldLakes];
        float* slopeI = Sized(w.Noise, n);
        float* slopeJ = Sized(w.Across, n);
        if (lakes) {
            Differences<F>(l, lakes, 1, slopeI);
            Differences<F>(l, lakes, l.Pitch, slopeJ);
        }
        for (int k = 0; k < n; k += N) {
            lowest = Min(lowest, Load<F>(uncut + k));
            if (!lakes) continue;
            above = Max(above, Load<F>(lakes + k) - (0.6f + 0.3f * Load<F>(mountains + k)));
            steepest = Max(steepest, Abs(Load<F>(slopeI + k)) + Abs(Load<F>(slopeJ + k)));
        }
        w.Coastal = Least(lowest) < 25.0f;
        F highest = Splat<F>(-std::numeric_limits<float>::max());
        for (int k = 0; k < n; k += N)
            highest = Max(highest, Load<F>(uncut + k) - Load<F>(sums[FieldSnowLine] + k));
        // Tree line 900 m below the snow line, its edge 300 m below that.
        w.Alpine = Greatest(highest) > -1400.0f;
        // Per pixel, with room for the interpolation between lattice points.
        const float g = 1.5f * 0.5f * Greatest(steepest);
        const float reach =
            0.5f * std::max(g, 2.0f * static_cast<float>(m_plan.LakeSpread)) + 0.9f * g + 0.05f;
        w.Lakes = lakes && Greatest(above) + reach > 0.0f;
    }

    // Valleys stop just above sea level rather than letting the sea in. The
    // slope fixes of the relief go with the elevation, except on the flat
    // floors that stop.
    float* cut = Sized(w.Cut, n);
    const SlopeFix& ridged = w.Slopes[1][FieldRidged];
    const SlopeFix& rolling = w.Slopes[1][FieldRolling];
    const bool fixed = ridged.Used && rolling.Used;
    w.CutSlopes.Used = w.UncutSlopes.Used = fixed;
    float* fix[4] = {};
    if (fixed) {
        fix[0] = Sized(w.UncutSlopes.I, n), fix[1] = Sized(w.UncutSlopes.J, n);
        fix[2] = Sized(w.CutSlopes.I, n), fix[3] = Sized(w.CutSlopes.J, n);
    }
    for (int k = 0; k < n; k += N) {
        const F h = Load<F>(uncut + k);
        const F lowered = h - Load<F>(carve + k);
        const F floor = Min(h, Splat<F>(1.0f));
        const I stops = (h > 0.0f) & (lowered < floor);
        Store(cut + k, Select(h > 0.0f, Max(lowered, floor), h));
        if (!fixed) continue;
        const F weight = Load<F>(land + k), m = Load<F>(mountains + k);
        const F i = weight * (m * Load<F>(ridged.I.data() + k) + Load<F>(rolling.I.data() + k));
        const F j = weight * (m * Load<F>(ridged.J.data() + k) + Load<F>(rolling.J.data() + k));
        const I flat = stops & (h >= 1.0f);
        Store(fix[0] + k, i);
        Store(fix[1] + k, j);
        Store(fix[2] + k, Select(flat, Splat<F>(0.0f), i));
        Store(fix[3] + k, Select(flat, Splat<F>(0.0f), j));
    }
}

void TerrainRaster::RefineToPixels(bool texture) {
    Work& w = *m_work;
    const Lattice& two = w.Lattices[1];
    const Lattice& pixels = w.Lattices[0];
    const auto refine = [&](int field, const float* from, const SlopeFix* fix = nullptr) {
        float* out = Sized(w.Pixels[field], pixels.Count());
        if (!from) {
            std::fill_n(out, pixels.Count(), 0.0f);
            return;
        }
        const bool fixed = fix && fix->Used;
        Refine(two, from, pixels, out, w.Scratch, fixed ? fix->I.data() : nullptr,
               fixed ? fix->J.data() : nullptr);
    };
    const auto sum = [&](int f) { return m_plan.Used[f] ? w.Sums[1][f].data() : nullptr; };
    refine(PixelElevation, w.Cut.data(), &w.CutSlopes);
    if (w.Coastal) refine(PixelUncut, w.Uncut.data(), &w.UncutSlopes);
    if (w.Lakes) refine(PixelLakes, sum(FieldLakes), &w.Slopes[1][FieldLakes]);
    refine(PixelWoods, sum(FieldWoods), &w.Slopes[1][FieldWoods]);
    // Grain: the aerials' texture, and the ragged edge of the snow.
    if (texture || w.Alpine) refine(PixelGrain, sum(FieldGrain), &w.Slopes[1][FieldGrain]);
    refine(PixelCrowns, texture ? sum(FieldCrowns) : nullptr, &w.Slopes[1][FieldCrowns]);
    refine(PixelClumps, texture ? sum(FieldClumps) : nullptr);
}

float TerrainRaster::Elevation(int c, int r) const {
    return *m_work->PixelAt(PixelElevation, c, r);
}

} // namespace varrow::demo
