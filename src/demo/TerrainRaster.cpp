#include "TerrainRaster.h"

#include "Lanes.h"
#include "TerrainWork.h"
#include "geo/WebMercator.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace varrow::demo {

namespace {

std::vector<std::unique_ptr<TerrainRaster::Work>>& Pool() {
    thread_local std::vector<std::unique_ptr<TerrainRaster::Work>> pool;
    return pool;
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
    const std::uint32_t seed = frame.GrainSeed;
    float* l = Sized(lattice, points * points);
    for (int j = 0; j < points; ++j) {
        const auto row = static_cast<std::int32_t>(frame.GrainRow - j);
        for (int i = 0; i < points; ++i)
            l[j * points + i] =
                static_cast<float>(UnitFromHash(HashLattice(
                    static_cast<std::int32_t>(frame.GrainColumn + i), row, 0, seed))) *
                    1.4f -
                0.7f;
    }
    // Even pixel columns sit on the lattice, odd ones halfway; odd pixel rows
    // sit on lattice row (r + 1) / 2, even ones halfway between r / 2 and the next.
    for (int r = 0; r < size; ++r) {
        const float* p0 = &l[((r & 1) ? (r + 1) / 2 : r / 2) * points];
        const float* p1 = (r & 1) ? p0 : p0 + points;
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
    std::vector<std::unique_ptr<Work>>& pool = Pool();
    if (pool.empty()) {
        m_work = std::make_unique<Work>();
    } else {
        m_work = std::move(pool.back());
        pool.pop_back();
    }
    Work& w = *m_work;
    w.AnchorX = AnchorOf(frame.Column);
    w.AnchorY = AnchorOf(frame.Row);
    // The pixels with their border, then each coarser lattice. The step-2
    // lattice has one more point all round, for slopes by central differences.
    w.Lattices[0] = MakeLattice(1, -1 - w.AnchorX, m_size - w.AnchorX, -1 - w.AnchorY,
                                m_size - w.AnchorY);
    const Lattice two = CoarserLattice(w.Lattices[0]);
    w.Lattices[1] = MakeLattice(2, two.I0 - 1, two.I0 + two.W, two.J0 - 1, two.J0 + two.H);
    for (int level = 2; level < LatticeLevels; ++level)
        w.Lattices[level] = CoarserLattice(w.Lattices[level - 1]);
    // The coarsest lattice's points are projected exactly and the finer ones
    // interpolated, which needs them no more than about 1 % of the earth's
    // radius apart; but at least 16 px, or a whole-world tile would project
    // thousands of points.
    w.Top = 4;
    while (w.Top + 1 < LatticeLevels && (2 << w.Top) * frame.Scale <= 64000.0)
        ++w.Top;

    SumLayers(frame);
    CutValleys();
    RefineToPixels();
    AddFilmGrain(frame, w.PixelLattice(), w.Noise, w.Pixels[PixelGrain].data());
}

TerrainRaster::~TerrainRaster() {
    Pool().push_back(std::move(m_work));
}

namespace {

// Noise of a layer at every point of a lattice, row by row so that the rows'
// padding is left out; with `gradient`, its gradient too.
void LayerNoise(const LayerPlan& layer, const SurfacePoint& centre, const Lattice& l,
                const std::array<float*, 3>& offsets, float* noise,
                std::array<std::vector<float>, 3>* gradient) {
    const NoiseFrame frame = FrameOf(layer, centre);
    const int n = (l.W + 3) & ~3;
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

// Central differences along i (step 1) or j (step Pitch), per lattice step;
// the outermost points, which are not interpolated from, get none.
void Differences(const Lattice& l, const float* v, std::ptrdiff_t step, float* out) {
    std::fill(out, out + l.Count(), 0.0f);
    for (int j = 1; j + 1 < l.H; ++j) {
        const std::size_t row = static_cast<std::size_t>(j) * l.Pitch;
        for (int i = 1; i + 1 < l.W; i += 4) {
            const std::size_t k = row + static_cast<std::size_t>(i);
            Store4(out + k, 0.5f * (Load4(v + k + step) - Load4(v + k - step)));
        }
    }
}

} // namespace

void TerrainRaster::SumLayers(const RasterFrame& frame) {
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
                const SlopeFix* fix =
                    level + 1 <= SlopeLevels ? &w.Slopes[level + 1][f] : nullptr;
                const bool fixed = fix && fix->Used;
                Refine(c, w.Sums[level + 1][f].data(), l, sums[f], w.Scratch,
                       fixed ? fix->I.data() : nullptr, fixed ? fix->J.data() : nullptr);
            }
        }
        // On the finest lattices the layers' own parts are kept apart, with
        // their true slopes, for the interpolation onto the next.
        const bool fine = level <= SlopeLevels;
        std::array<float*, FieldCount> own = sums;
        if (fine) {
            for (int a = 0; a < 3; ++a) {
                Differences(l, offsets[a], 1, Sized(w.StepI[a], count));
                Differences(l, offsets[a], l.Pitch, Sized(w.StepJ[a], count));
                Sized(w.Gradient[a], count);
            }
            for (int f = 0; f < FieldCount; ++f) {
                SlopeFix& fix = w.Slopes[level][f];
                fix.Used = false;
                own[f] = nullptr;
                for (int k = 0; k < m_plan.LayerCount && !fix.Used; ++k)
                    for (int t = 0; t < m_plan.Layers[k].TermCount; ++t)
                        fix.Used |= m_plan.Layers[k].Step == l.Step &&
                                    m_plan.Layers[k].Terms[t].Target == f;
                if (!fix.Used) continue;
                own[f] = Zeroed(w.Own[f], count);
                Zeroed(fix.I, count);
                Zeroed(fix.J, count);
            }
        }
        float* noise = Sized(w.Noise, count);
        for (int k = 0; k < m_plan.LayerCount; ++k) {
            const LayerPlan& layer = m_plan.Layers[k];
            if (std::min(layer.Step, topStep) != l.Step) continue;
            LayerNoise(layer, w.Centre, l, offsets, noise, fine ? &w.Gradient : nullptr);
            if (fine) {
                // The noise's slope along i and j: its gradient along the
                // offsets' change per step.
                for (int i = 0; i < count; i += 4) {
                    F4 ni = Splat(0.0f), nj = Splat(0.0f);
                    for (int a = 0; a < 3; ++a) {
                        const F4 g = Load4(w.Gradient[a].data() + i);
                        ni += g * Load4(w.StepI[a].data() + i);
                        nj += g * Load4(w.StepJ[a].data() + i);
                    }
                    Store4(w.Gradient[0].data() + i, ni);
                    Store4(w.Gradient[1].data() + i, nj);
                }
            }
            for (int t = 0; t < layer.TermCount; ++t) {
                const Term& term = layer.Terms[t];
                float* s = own[term.Target];
                float* fixI = fine ? w.Slopes[level][term.Target].I.data() : nullptr;
                float* fixJ = fine ? w.Slopes[level][term.Target].J.data() : nullptr;
                for (int i = 0; i < count; i += 4) {
                    const F4 n = Load4(noise + i);
                    F4 ridgeSlope = Splat(0.0f);
                    F4 v = term.Linear * n;
                    if (term.Ridged != 0) v += term.Ridged * RidgeTerm(n, &ridgeSlope);
                    Store4(s + i, Load4(s + i) + v);
                    if (!fine) continue;
                    const F4 dv = term.Linear + term.Ridged * ridgeSlope;
                    Store4(fixI + i, Load4(fixI + i) + dv * Load4(w.Gradient[0].data() + i));
                    Store4(fixJ + i, Load4(fixJ + i) + dv * Load4(w.Gradient[1].data() + i));
                }
            }
        }
        if (!fine) continue;
        // What the true slopes add to those of the central differences.
        std::vector<float>& diff = w.Noise;
        for (int f = 0; f < FieldCount; ++f) {
            SlopeFix& fix = w.Slopes[level][f];
            if (!fix.Used) continue;
            for (const bool alongI : {true, false}) {
                Differences(l, own[f], alongI ? 1 : l.Pitch, diff.data());
                float* s = alongI ? fix.I.data() : fix.J.data();
                for (int i = 0; i < count; i += 4)
                    Store4(s + i, Load4(s + i) - Load4(diff.data() + i));
            }
            for (int i = 0; i < count; i += 4)
                Store4(sums[f] + i, Load4(sums[f] + i) + Load4(own[f] + i));
        }
    }
}

void TerrainRaster::CutValleys() {
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
        Differences(l, value, 1, sx);
        Differences(l, value, l.Pitch, sy);
        float* nearest = Sized(z.RowNearest, l.H);
        const I4 lane{0, 1, 2, 3};
        for (int j = 0; j < l.H; ++j) {
            const F4 far = Splat(std::numeric_limits<float>::max());
            F4 least = far;
            const int row = j * l.Pitch;
            for (int i = 0; i < l.W && j >= 1 && j + 1 < l.H; i += 4) {
                const int k = row + i;
                const I4 inner = (lane + i >= 1) & (lane + i < l.W - 1);
                // Two lattice steps are four pixels.
                const F4 gx = 0.5f * Load4(sx + k), gy = 0.5f * Load4(sy + k);
                Store4(sx + k, gx);
                Store4(sy + k, gy);
                const F4 d = Abs(Load4(value + k)) / Max(Sqrt(gx * gx + gy * gy), Splat(minSlope));
                const F4 weight = z.Weight.empty() ? Splat(1.0f) : Load4(z.Weight.data() + k);
                least = Min(least, Select(inner & (weight > 0.0f), d, far));
            }
            nearest[j] = std::min(std::min(least[0], least[1]), std::min(least[2], least[3]));
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
        for (int k = 0; k < n; k += 4)
            Store4(weight + k, Smoothstep(-0.2f, 0.25f, Load4(mask + k)));
        const float minSlope = static_cast<float>(0.8 * m_plan.Scale / rl.Wavelength);
        slopes(value, z, minSlope);
        const float metres = s / static_cast<float>(rl.ValleyWidth);
        const auto depth = static_cast<float>(rl.ValleyDepth);
        for (int k = 0; k < n; k += 4) {
            const F4 wf = Load4(weight + k);
            const F4 sx = Load4(z.SlopeX.data() + k), sy = Load4(z.SlopeY.data() + k);
            const F4 dpx = Abs(Load4(value + k)) / Max(Sqrt(sx * sx + sy * sy), Splat(minSlope));
            // A bell-shaped valley profile, zero from three widths out; a
            // polynomial rather than exp(-q^2), which showed in profiles.
            const F4 q = dpx * metres;
            const F4 b = Max(1.0f - q * q * (1.0f / 9.0f), Splat(0.0f));
            Store4(carve + k, Load4(carve + k) + depth * (b * b) * (b * b) * wf);
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
    for (int k = 0; k < n; k += 4) {
        const F4 h = Load4(uncut + k);
        const F4 lowered = h - Load4(carve + k);
        const F4 floor = Min(h, Splat(1.0f));
        const I4 stops = (h > 0.0f) & (lowered < floor);
        Store4(cut + k, Select(h > 0.0f, Max(lowered, floor), h));
        if (!fixed) continue;
        const F4 weight = Load4(land + k), m = Load4(mountains + k);
        const F4 i = weight * (m * Load4(ridged.I.data() + k) + Load4(rolling.I.data() + k));
        const F4 j = weight * (m * Load4(ridged.J.data() + k) + Load4(rolling.J.data() + k));
        const I4 flat = stops & (h >= 1.0f);
        Store4(fix[0] + k, i);
        Store4(fix[1] + k, j);
        Store4(fix[2] + k, Select(flat, Splat(0.0f), i));
        Store4(fix[3] + k, Select(flat, Splat(0.0f), j));
    }
}

void TerrainRaster::RefineToPixels() {
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
    refine(PixelUncut, w.Uncut.data(), &w.UncutSlopes);
    refine(PixelMountains, w.Mountains.data());
    refine(PixelMoisture, w.Moisture.data());
    refine(PixelSnowLine, sum(FieldSnowLine));
    for (const auto& [pixel, field] : {std::pair{PixelLakes, FieldLakes}, {PixelWoods, FieldWoods},
                                       {PixelCrowns, FieldCrowns}, {PixelClumps, FieldClumps},
                                       {PixelGrain, FieldGrain}})
        refine(pixel, sum(field), &w.Slopes[1][field]);
}

float TerrainRaster::Elevation(int c, int r) const {
    return *m_work->PixelAt(PixelElevation, c, r);
}

} // namespace varrow::demo
