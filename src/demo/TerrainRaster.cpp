#include "TerrainRaster.h"

#include "Noise.h"
#include "geo/WebMercator.h"

#include <algorithm>
#include <cmath>

namespace varrow::demo {

namespace {

// Coarse fields (wavelengths of 96 px and more) are sampled every NodeStep
// pixels and interpolated with
// Catmull-Rom splines, whose slopes are continuous: plain bilinear
// interpolation shows up as facets in the hill shading.
constexpr int NodeStep = 10;
constexpr int NodeLead = 2; // nodes before pixel 0
// The interpolated grid reaches two pixels past the tile so that slopes of the
// one-pixel border are central differences too.
constexpr int GridBorder = 2;

// Fields interpolated besides the landscape's own: the snow line.
constexpr int SnowField = CoarseFieldCount;
constexpr int FieldCount = CoarseFieldCount + 1;

float Smoothstep(float a, float b, float x) {
    const float t = std::clamp((x - a) / (b - a), 0.0f, 1.0f);
    return t * t * (3 - 2 * t);
}

struct Tap {
    int Node;       // first of the four lattice points
    float W[4];     // Catmull-Rom weights
    int LinearNode; // left lattice point for linear interpolation
    double T;       // fraction between LinearNode and the next
};

// Pixel-centre coordinate u (pixels from the tile's west or north edge) to the
// taps of a lattice with a point every `step` pixels, NodeLead of them before 0.
Tap TapAt(double u, int step) {
    const double x = u / step + NodeLead;
    const double j = FastFloor(x);
    const auto t = static_cast<float>(x - j);
    const float t2 = t * t, t3 = t2 * t;
    Tap tap;
    tap.Node = static_cast<int>(j) - 1;
    tap.W[0] = 0.5f * (-t3 + 2 * t2 - t);
    tap.W[1] = 0.5f * (3 * t3 - 5 * t2 + 2);
    tap.W[2] = 0.5f * (-3 * t3 + 4 * t2 + t);
    tap.W[3] = 0.5f * (t3 - t2);
    tap.LinearNode = static_cast<int>(j);
    tap.T = x - j;
    return tap;
}

// Lattice points needed to interpolate pixel centres up to `lastPixel`.
int LatticeCount(int lastPixel, int step) {
    return (lastPixel + 1) / step + NodeLead + 3;
}

// Separable Catmull-Rom from a count x count lattice (row-major) onto an
// n x n pixel grid whose taps are given, rows first.
void Interpolate(const float* lattice, int count, const Tap* taps, int n,
                 std::vector<float>& across, float* out) {
    across.resize(static_cast<std::size_t>(count) * n);
    for (int j = 0; j < count; ++j) {
        const float* row = lattice + j * count;
        float* a = &across[static_cast<std::size_t>(j) * n];
        for (int g = 0; g < n; ++g) {
            const Tap& t = taps[g];
            const float* v = row + t.Node;
            a[g] = t.W[0] * v[0] + t.W[1] * v[1] + t.W[2] * v[2] + t.W[3] * v[3];
        }
    }
    for (int gr = 0; gr < n; ++gr) {
        const Tap& t = taps[gr];
        const float* a0 = &across[static_cast<std::size_t>(t.Node) * n];
        const float* a1 = a0 + n;
        const float* a2 = a1 + n;
        const float* a3 = a2 + n;
        float* o = out + static_cast<std::size_t>(gr) * n;
        for (int g = 0; g < n; ++g)
            o[g] = t.W[0] * a0[g] + t.W[1] * a1[g] + t.W[2] * a2[g] + t.W[3] * a3[g];
    }
}

struct PlotPattern {
    float Tone = 0, Edge = 0, Rows = 0;
    float Building = 0; // coverage of the plot's farmstead, 0..1
    float Roof = 0;     // roof tone, 0..1
};

// Farm plots: cells of a rotated 3D lattice cut by the globe's surface. Of its
// three axes the one closest to the vertical is ignored, so plots are
// parallelograms with straight edges that do not line up with north.
PlotPattern PlotsAt(const SurfacePoint& p, double scale) {
    constexpr double PlotSize = 360.0; // metres
    constexpr double RowPeriod = 5.0;  // metres between crop rows
    constexpr double EdgeHalfWidth = 2.5;
    constexpr double Axes[3][3] = {
        {0.8047, 0.3106, -0.5059}, {-0.1826, 0.9365, 0.2993}, {0.5667, -0.1627, 0.8077}};
    double q[3];
    int vertical = 0;
    double most = -1;
    for (int a = 0; a < 3; ++a) {
        q[a] = Axes[a][0] * p.X + Axes[a][1] * p.Y + Axes[a][2] * p.Z;
        if (std::fabs(q[a]) > most) most = std::fabs(q[a]), vertical = a;
    }
    const int a0 = (vertical + 1) % 3, a1 = (vertical + 2) % 3;
    std::int32_t cell[2];
    double edge = 1e9;
    for (int k = 0; k < 2; ++k) {
        const double x = q[k == 0 ? a0 : a1] / PlotSize;
        const double f = FastFloor(x);
        cell[k] = static_cast<std::int32_t>(f);
        edge = std::min(edge, std::min(x - f, f + 1 - x) * PlotSize);
    }
    const std::uint32_t h = HashLattice(cell[0], cell[1], vertical, 0x9e3779b9u);
    // Some plots are split in two, along one edge direction or the other.
    const int splitAxis = (h & 0x20000u) ? a0 : a1;
    double tone = UnitFromHash(h);
    if (h & 0x10000u) {
        const double x = 2 * q[splitAxis] / PlotSize;
        const double f = FastFloor(x);
        edge = std::min(edge, std::min(x - f, f + 1 - x) * PlotSize / 2);
        if (static_cast<std::int64_t>(f) & 1) tone = UnitFromHash(h * 0x2545f491u + 7u);
    }
    PlotPattern out;
    // One plot in five has a farmstead: a rectangle somewhere inside it.
    if ((h >> 24) % 5 == 0) {
        const std::uint32_t b = h * 0x9e3779b1u + 0x7f4a7c15u;
        const double cx = (cell[0] + 0.25 + 0.5 * UnitFromHash(b)) * PlotSize;
        const double cy = (cell[1] + 0.25 + 0.5 * UnitFromHash(b * 0x2545f491u)) * PlotSize;
        const double hx = 6.0 + 5.0 * UnitFromHash(b ^ 0x5bd1e995u);
        const double hy = 5.0 + 3.0 * UnitFromHash(b ^ 0x1b873593u);
        const double dx = std::fabs(q[a0] - cx) - hx, dy = std::fabs(q[a1] - cy) - hy;
        out.Building = static_cast<float>(std::clamp(0.5 - std::max(dx, dy) / scale, 0.0, 1.0));
        out.Roof = static_cast<float>(UnitFromHash(b ^ 0xcc9e2d51u));
    }
    out.Tone = static_cast<float>(tone);
    out.Edge =
        static_cast<float>(std::clamp((EdgeHalfWidth + 0.5 * scale - edge) / scale, 0.0, 1.0));
    const double rowVisible = std::clamp((RowPeriod / scale - 2.5) / 2.5, 0.0, 1.0);
    if (rowVisible > 0) {
        const int rowAxis = (h & 0x40000u) ? a0 : a1;
        out.Rows =
            static_cast<float>(rowVisible * std::sin(q[rowAxis] * (6.283185307 / RowPeriod)));
    }
    return out;
}

// Working buffers, kept per thread: a tile needs a few megabytes of them and
// fresh allocations showed up as page faults in profiles.
struct Scratch {
    std::vector<float> Nodes, Fields, Across, Lattice, Octaves, Lakes, Woods, Carve, RiverCover,
        Uncut;
    std::vector<double> NodePoints, Points;
};

Scratch& ThreadScratch() {
    thread_local Scratch scratch;
    return scratch;
}

// Film grain: hashed values on the grid's pixel lattice, every other pixel,
// smoothed between. Finer than any landscape octave, so it need not agree
// across scales; on the lattice it agrees across tile edges.
void MakeGrain(const RasterFrame& frame, std::vector<float>& lattice, std::vector<float>& grain) {
    const int size = frame.Size;
    const int Points = size / 2 + 1;
    const std::uint32_t seed = frame.GrainSeed;
    const std::int64_t column0 = frame.GrainColumn;
    const std::int64_t row0 = frame.GrainRow;
    lattice.resize(static_cast<std::size_t>(Points) * Points);
    for (int j = 0; j < Points; ++j)
        for (int i = 0; i < Points; ++i)
            lattice[j * Points + i] =
                static_cast<float>(
                    UnitFromHash(HashLattice(static_cast<std::int32_t>(column0 + i),
                                             static_cast<std::int32_t>(row0 - j), 0, seed))) *
                    2.8f -
                1.4f;
    // Even pixel columns sit on the lattice, odd ones halfway; odd pixel rows
    // sit on lattice row (r + 1) / 2, even ones halfway between r / 2 and the next.
    grain.resize(static_cast<std::size_t>(size) * size);
    for (int r = 0; r < size; ++r) {
        const int j = r / 2;
        const float ty = (r & 1) ? 0.0f : 0.5f;
        const int j0 = (r & 1) ? (r + 1) / 2 : j;
        for (int c = 0; c < size; ++c) {
            const int i = c / 2;
            const float tx = (c & 1) ? 0.5f : 0.0f;
            const float* p0 = &lattice[j0 * Points + i];
            const float* p1 = ty > 0 ? p0 + Points : p0;
            const float top = p0[0] + (p0[1] - p0[0]) * tx;
            const float bottom = p1[0] + (p1[1] - p1[0]) * tx;
            grain[static_cast<std::size_t>(r) * size + c] = top + (bottom - top) * ty;
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
    // Mercator rows count south; the lattice's rows count north.
    frame.GrainSeed = static_cast<std::uint32_t>(0x6d657263u + static_cast<std::uint32_t>(zoom));
    frame.GrainColumn = static_cast<std::int64_t>(x) * (MercatorTileSize / 2);
    frame.GrainRow = -static_cast<std::int64_t>(y) * (MercatorTileSize / 2);
    return frame;
}

TerrainRaster::TerrainRaster(const RasterFrame& frame)
    : m_size(frame.Size), m_span(frame.Size + 2), m_plan(PlanForScale(frame.Scale)) {
    const double s = m_plan.Scale;
    const int Size = m_size;
    const int Span = m_span;
    const int NodeCount = Size / NodeStep + 2 * NodeLead + 2;
    const int Grid = Size + 2 * GridBorder;

    Scratch& scratch = ThreadScratch();

    // 1. The coarse node grid: geographic position and coarse fields.
    std::vector<float>& nodes = scratch.Nodes;
    nodes.resize(static_cast<std::size_t>(FieldCount) * NodeCount * NodeCount);
    std::vector<double>& nodePoints = scratch.NodePoints;
    nodePoints.resize(3 * NodeCount * NodeCount);
    float sample[FieldCount];
    for (int j = 0; j < NodeCount; ++j) {
        for (int i = 0; i < NodeCount; ++i) {
            const TGeoPosition g =
                frame.Geographic(NodeStep * (i - NodeLead), NodeStep * (j - NodeLead));
            const SurfacePoint p = SurfaceFromGeographic(g.Latitude, g.Longitude);
            SampleCoarse(p, m_plan, sample);
            sample[SnowField] = SnowLine(std::isfinite(g.Latitude) ? g.Latitude : 0.0);
            for (int f = 0; f < FieldCount; ++f)
                nodes[(static_cast<std::size_t>(f) * NodeCount + j) * NodeCount + i] = sample[f];
            double* np = &nodePoints[3 * (j * NodeCount + i)];
            np[0] = p.X, np[1] = p.Y, np[2] = p.Z;
        }
    }

    // 2. Interpolate the coarse fields onto the pixel grid.
    std::vector<Tap> taps(static_cast<std::size_t>(Grid));
    for (int g = 0; g < Grid; ++g)
        taps[g] = TapAt(g - GridBorder + 0.5, NodeStep);
    std::vector<float>& fields = scratch.Fields;
    fields.resize(static_cast<std::size_t>(FieldCount) * Grid * Grid);
    for (int f = 0; f < FieldCount; ++f) {
        if (f >= CoarseRiver0 && f < CoarseRiverMask0 + RiverLevels &&
            !m_plan.RiverShown[(f - CoarseRiver0) % RiverLevels])
            continue;
        if (f >= CoarseRoad0 && f < CoarseRoad0 + RoadLevels && !m_plan.RoadShown[f - CoarseRoad0])
            continue;
        Interpolate(&nodes[static_cast<std::size_t>(f) * NodeCount * NodeCount], NodeCount,
                    taps.data(), Grid, scratch.Across,
                    &fields[static_cast<std::size_t>(f) * Grid * Grid]);
    }
    const auto field = [&](int f, int c, int r) {
        return fields[(static_cast<std::size_t>(f) * Grid + (r + GridBorder)) * Grid +
                      (c + GridBorder)];
    };
    // Distance in pixels from (c, r) to the zero line of field f: the value over the slope,
    // the slope held to at least minGrad so that flat stretches do not come out near.
    const auto pixelsToZeroLine = [&](int f, int c, int r, float minGrad) {
        const float n = field(f, c, r);
        const float gx = 0.5f * (field(f, c + 1, r) - field(f, c - 1, r));
        const float gy = 0.5f * (field(f, c, r + 1) - field(f, c, r - 1));
        return std::fabs(n) / std::max(std::sqrt(gx * gx + gy * gy), minGrad);
    };

    // Surface points, linear between nodes: the projection is smooth enough
    // that this is exact to a small fraction of a pixel.
    const auto pointFromTaps = [&](const Tap& tc, const Tap& tr) {
        const double* p00 = &nodePoints[3 * (tr.LinearNode * NodeCount + tc.LinearNode)];
        const double* p01 = p00 + 3;
        const double* p10 = p00 + 3 * NodeCount;
        const double* p11 = p10 + 3;
        double out[3];
        for (int d = 0; d < 3; ++d) {
            const double top = p00[d] + (p01[d] - p00[d]) * tc.T;
            const double bottom = p10[d] + (p11[d] - p10[d]) * tc.T;
            out[d] = top + (bottom - top) * tr.T;
        }
        return SurfacePoint{out[0], out[1], out[2]};
    };
    const auto pointAt = [&](double u, double v) {
        return pointFromTaps(TapAt(u, NodeStep), TapAt(v, NodeStep));
    };
    std::vector<double>& points = scratch.Points;
    points.resize(3 * Span * Span);
    for (int r = -1; r <= Size; ++r) {
        for (int c = -1; c <= Size; ++c) {
            const SurfacePoint p = pointFromTaps(taps[c + GridBorder], taps[r + GridBorder]);
            double* out = &points[3 * Index(c, r)];
            out[0] = p.X, out[1] = p.Y, out[2] = p.Z;
        }
    }

    // 3. Fine octaves. The 6 px octave is sampled per pixel; the 12, 24 and
    // 48 px ones every 2, 2 and 4 px and interpolated, which costs a fraction
    // of per-pixel sampling and is exact enough for their small relief.
    std::vector<float>& octaves = scratch.Octaves;
    octaves.resize(static_cast<std::size_t>(FineOctaveCount) * Span * Span);
    for (int o = 0; o < FineOctaveCount; ++o) {
        float* out = &octaves[static_cast<std::size_t>(o) * Span * Span];
        const int step = o == 0 ? 1 : o < 3 ? 2 : 4;
        if (step == 1) {
            for (int i = 0; i < Span * Span; ++i)
                out[i] =
                    SampleFine({points[3 * i], points[3 * i + 1], points[3 * i + 2]}, m_plan, o);
            continue;
        }
        const int count = LatticeCount(Size, step);
        std::vector<float>& lattice = scratch.Lattice;
        lattice.resize(static_cast<std::size_t>(count) * count);
        for (int j = 0; j < count; ++j)
            for (int i = 0; i < count; ++i)
                lattice[static_cast<std::size_t>(j) * count + i] =
                    SampleFine(pointAt(step * (i - NodeLead), step * (j - NodeLead)), m_plan, o);
        std::vector<Tap> octaveTaps(static_cast<std::size_t>(Span));
        for (int g = 0; g < Span; ++g)
            octaveTaps[g] = TapAt(g - 0.5, step);
        Interpolate(lattice.data(), count, octaveTaps.data(), Span, scratch.Across, out);
    }

    m_elevation.assign(Span * Span, 0.0f);
    m_octaves.assign(static_cast<std::size_t>(Size) * Size * FineOctaveCount, 0.0f);
    std::vector<float>& lakes = scratch.Lakes;
    std::vector<float>& woods = scratch.Woods;
    lakes.resize(Span * Span);
    woods.resize(Span * Span);
    for (int r = -1; r <= Size; ++r) {
        for (int c = -1; c <= Size; ++c) {
            const int i = Index(c, r);
            float oct[FineOctaveCount];
            for (int o = 0; o < FineOctaveCount; ++o)
                oct[o] = octaves[static_cast<std::size_t>(o) * Span * Span + i];
            m_elevation[i] =
                field(CoarseElevation, c, r) +
                FineRelief(m_plan, oct, field(CoarseMountains, c, r), field(CoarseLand, c, r));
            woods[i] = field(CoarseWoods, c, r) + FineWoods(m_plan, oct);
            lakes[i] = field(CoarseLakes, c, r) + FineLakes(m_plan, oct);
            if (c >= 0 && c < Size && r >= 0 && r < Size)
                std::copy(oct, oct + FineOctaveCount, &m_octaves[Inner(c, r) * FineOctaveCount]);
        }
    }

    // 4. Rivers: the zero lines of the river noises, where their masks allow.
    // Distance to the line is |n| / |grad n|; valleys are cut along it.
    std::vector<float>& carve = scratch.Carve;
    std::vector<float>& riverCover = scratch.RiverCover;
    carve.assign(Span * Span, 0.0f);
    riverCover.assign(Span * Span, 0.0f);
    // Thinnest line drawn per level, half width in pixels, and its strength:
    // maps draw rivers wider than they are when zoomed out.
    constexpr float MinHalf[RiverLevels] = {0.85f, 0.6f, 0.45f, 0.4f};
    constexpr float MinAlpha[RiverLevels] = {1.0f, 0.9f, 0.6f, 0.55f};
    for (int level = 0; level < RiverLevels; ++level) {
        if (!m_plan.RiverShown[level]) continue;
        const RiverLevel& rl = RiverLevelOf(level);
        const float minGrad = static_cast<float>(0.8 * s / rl.Wavelength);
        for (int r = -1; r <= Size; ++r) {
            for (int c = -1; c <= Size; ++c) {
                const float wf = Smoothstep(-0.2f, 0.25f, field(CoarseRiverMask0 + level, c, r));
                if (wf <= 0) continue;
                const float dpx = pixelsToZeroLine(CoarseRiver0 + level, c, r, minGrad);
                const float dm = dpx * static_cast<float>(s);
                const float q = dm / static_cast<float>(rl.ValleyWidth);
                const int i = Index(c, r);
                // A bell-shaped valley profile, zero from three widths out; a
                // polynomial rather than exp(-q^2), which showed in profiles.
                if (q < 3.0f) {
                    const float w = 1.0f - q * q * (1.0f / 9.0f);
                    carve[i] += static_cast<float>(rl.ValleyDepth) * (w * w) * (w * w) * wf;
                }
                const float half = static_cast<float>(0.5 * rl.Width / s) * wf;
                const float drawn = std::max(half, MinHalf[level] * wf);
                const float alpha = half >= MinHalf[level] ? 1.0f : MinAlpha[level];
                const float cover = std::clamp(drawn + 0.5f - dpx, 0.0f, 1.0f) * alpha;
                riverCover[i] = std::max(riverCover[i], cover);
            }
        }
    }
    std::vector<float>& uncut = scratch.Uncut;
    uncut = m_elevation;
    for (int i = 0; i < Span * Span; ++i) {
        const float h = m_elevation[i];
        // Valleys stop just above sea level rather than letting the sea in.
        if (h > 0) m_elevation[i] = std::max(h - carve[i], std::min(h, 1.0f));
    }

    // 5. Water and land cover for the tile's own pixels.
    m_water.assign(Size * Size, 0.0f);
    m_river.assign(Size * Size, 0.0f);
    m_shore.assign(Size * Size, 0.0f);
    m_forest.assign(Size * Size, 0.0f);
    m_farm.assign(Size * Size, 0.0f);
    m_rock.assign(Size * Size, 0.0f);
    m_snow.assign(Size * Size, 0.0f);
    m_sand.assign(Size * Size, 0.0f);
    m_moisture.assign(Size * Size, 0.0f);
    m_plotTone.assign(Size * Size, 0.5f);
    m_plotEdge.assign(Size * Size, 0.0f);
    m_plotRows.assign(Size * Size, 0.0f);
    m_building.assign(Size * Size, 0.0f);
    m_roof.assign(Size * Size, 0.0f);
    MakeGrain(frame, scratch.Lattice, m_grain);
    const auto sf = static_cast<float>(s);
    const float plotVisible = Smoothstep(2.0f, 6.0f, 360.0f / sf);
    for (int r = 0; r < Size; ++r) {
        for (int c = 0; c < Size; ++c) {
            const int i = Index(c, r), o = Inner(c, r);
            const float h = m_elevation[i];
            // Slopes per pixel give anti-aliased shore lines.
            const float hx = 0.5f * (m_elevation[Index(c + 1, r)] - m_elevation[Index(c - 1, r)]);
            const float hy = 0.5f * (m_elevation[Index(c, r - 1)] - m_elevation[Index(c, r + 1)]);
            const float slope = std::sqrt(hx * hx + hy * hy) / sf;
            const float hGrad = std::max(std::sqrt(hx * hx + hy * hy), 0.05f);
            const float sea = std::clamp(0.5f - h / hGrad, 0.0f, 1.0f);

            const float mountains = field(CoarseMountains, c, r);
            const float lakeLevel = 0.6f + 0.3f * mountains;
            const float lx = 0.5f * (lakes[Index(c + 1, r)] - lakes[Index(c - 1, r)]);
            const float ly = 0.5f * (lakes[Index(c, r - 1)] - lakes[Index(c, r + 1)]);
            const float lakeEdge = std::max(std::sqrt(lx * lx + ly * ly),
                                            2.0f * static_cast<float>(m_plan.LakeSpread)) +
                                   1e-4f;
            const float lake =
                Smoothstep(lakeLevel - 0.5f * lakeEdge, lakeLevel + 0.5f * lakeEdge, lakes[i]) *
                Smoothstep(2.0f, 20.0f, uncut[i]);
            const float water = 1.0f - (1.0f - sea) * (1.0f - lake);
            m_water[o] = water;
            m_river[o] = riverCover[i] * (1.0f - water);
            // Shore lines: a pixel-wide line along the coast and the lake
            // edges, only where the edge is sharp enough to draw.
            const float lakeGrad = std::sqrt(lx * lx + ly * ly) + 1e-6f;
            const float lakeShore =
                std::clamp(0.9f - std::fabs(lakes[i] - lakeLevel) / lakeGrad, 0.0f, 1.0f) *
                std::clamp(1.5f * lakeGrad / lakeEdge, 0.0f, 1.0f) *
                Smoothstep(2.0f, 20.0f, uncut[i]);
            const float seaShore = std::clamp(0.9f - std::fabs(h) / hGrad, 0.0f, 1.0f);
            m_shore[o] = std::max(lakeShore, seaShore);

            const float* oct = &m_octaves[o * FineOctaveCount];
            const float grain = 0.5f * m_grain[o] + 0.3f * oct[0] + 0.2f * oct[1];
            const float snowLine = field(SnowField, c, r);
            const float treeLine = snowLine - 900.0f;
            const float moisture = field(CoarseMoisture, c, r);
            m_moisture[o] = moisture;
            const float steep = Smoothstep(0.55f, 0.95f, slope);
            m_snow[o] = Smoothstep(-120.0f, 120.0f, h + 150.0f * grain - snowLine) *
                        (1.0f - Smoothstep(0.9f, 1.4f, slope));
            m_rock[o] = std::max(steep, 0.8f * Smoothstep(treeLine, treeLine + 500.0f, h));

            const float woodsLevel = 0.2f - 0.7f * (moisture - 0.5f);
            const float woodsEdge = std::max(0.02f, 1.5f * static_cast<float>(m_plan.WoodsSpread));
            const float forest =
                Smoothstep(woodsLevel - woodsEdge, woodsLevel + woodsEdge, woods[i]) *
                (1.0f - m_rock[o]) * (1.0f - Smoothstep(treeLine - 300.0f, treeLine, h)) *
                Smoothstep(0.2f, 0.35f, moisture);
            m_forest[o] = forest * (1.0f - water);
            // Farmland where it is wet enough, not too high or steep and not
            // wooded; the product of those is sharpened so plots are crisp.
            const float suitable =
                Smoothstep(0.28f, 0.42f, moisture) * (1.0f - Smoothstep(1200.0f, 2200.0f, h)) *
                (1.0f - Smoothstep(0.05f, 0.14f, slope)) * (1.0f - forest) *
                (1.0f - Smoothstep(woodsLevel - 0.35f, woodsLevel - 0.1f, woods[i]));
            const float farm = Smoothstep(0.3f, 0.45f, suitable) * (1.0f - water);
            m_farm[o] = farm;
            m_sand[o] = (1.0f - Smoothstep(1.5f, 4.0f, uncut[i])) * (1.0f - forest);

            if (farm > 0.01f && plotVisible > 0) {
                const double* pp = &points[3 * i];
                const PlotPattern plot = PlotsAt({pp[0], pp[1], pp[2]}, s);
                m_plotTone[o] = 0.5f + (plot.Tone - 0.5f) * plotVisible;
                m_plotEdge[o] = plot.Edge * plotVisible;
                m_plotRows[o] = plot.Rows;
                m_building[o] = plot.Building * farm;
                m_roof[o] = plot.Roof;
            }
        }
    }

    // 6. Roads: the zero lines of the road noises, on dry land that is not too
    // steep. Like rivers they are drawn at least about a pixel wide.
    constexpr float RoadMinHalf[RoadLevels] = {1.0f, 1.0f, 0.6f, 0.4f};
    constexpr float RoadMinAlpha[RoadLevels] = {1.0f, 1.0f, 0.8f, 0.6f};
    for (int level = 0; level < RoadLevels; ++level) {
        std::vector<float>& cover = m_road[level];
        cover.assign(Size * Size, 0.0f);
        if (!m_plan.RoadShown[level]) continue;
        const RoadLevel& rl = RoadLevelOf(level);
        const float minGrad = static_cast<float>(0.5 * s / rl.Wavelength);
        const float half = static_cast<float>(0.5 * rl.Width / s);
        const float drawn = std::max(half, RoadMinHalf[level]);
        const float alpha = half >= RoadMinHalf[level] ? 1.0f : RoadMinAlpha[level];
        for (int r = 0; r < Size; ++r) {
            for (int c = 0; c < Size; ++c) {
                const float dpx = pixelsToZeroLine(CoarseRoad0 + level, c, r, minGrad);
                if (dpx >= drawn + 0.5f) continue;
                const int o = Inner(c, r);
                const float steep = Smoothstep(0.2f, 0.4f,
                                               std::sqrt(SlopeEast(c, r) * SlopeEast(c, r) +
                                                         SlopeNorth(c, r) * SlopeNorth(c, r)));
                cover[o] = std::clamp(drawn + 0.5f - dpx, 0.0f, 1.0f) * alpha *
                           (1.0f - m_water[o]) * (1.0f - steep) * (1.0f - m_snow[o]);
            }
        }
    }
}

float TerrainRaster::SlopeEast(int c, int r) const {
    return (Elevation(c + 1, r) - Elevation(c - 1, r)) / static_cast<float>(2 * m_plan.Scale);
}

float TerrainRaster::SlopeNorth(int c, int r) const {
    return (Elevation(c, r - 1) - Elevation(c, r + 1)) / static_cast<float>(2 * m_plan.Scale);
}

} // namespace varrow::demo
