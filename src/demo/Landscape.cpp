#include "Landscape.h"

#include "Lanes.h"

#include <algorithm>
#include <cmath>

namespace varrow::demo {

namespace {

constexpr double Pi = 3.14159265358979323846;
constexpr double EarthRadius = 6371000.0;
constexpr double BaseWavelength = 0.75;
// Standard deviation of Simplex3; used to widen thresholds for left-out octaves.
constexpr double NoiseSpread = 0.42;

// One noise layer: its wavelength, seed and a lattice offset that keeps the
// layers from sharing lattice points.
struct Layer {
    double Wavelength;
    std::uint32_t Seed;
    double Ox, Oy, Oz;
};

Layer MakeLayer(double wavelength, std::uint32_t seed) {
    return {wavelength, seed, UnitFromHash(HashLattice(1, 0, 0, seed)) * 97.0,
            UnitFromHash(HashLattice(0, 1, 0, seed)) * 97.0,
            UnitFromHash(HashLattice(0, 0, 1, seed)) * 97.0};
}

struct WeightedLayer {
    Layer L;
    double Weight;
};

// The world's fixed noise layers.
struct World {
    std::array<Layer, ReliefOctaves> Relief;
    std::array<double, ReliefOctaves> Amplitude; // metres
    std::array<double, ReliefOctaves> WoodsWeight;
    std::array<double, ReliefOctaves> LakeWeight;
    std::array<WeightedLayer, 5> Continent;
    std::array<WeightedLayer, 2> Mountains;
    std::array<WeightedLayer, 3> Moisture;
    std::array<WeightedLayer, 3> Woods;
    std::array<WeightedLayer, 2> Lakes;
    std::array<std::array<WeightedLayer, 3>, RiverLevels> Rivers;
    std::array<Layer, RiverLevels> RiverMasks;
    std::array<std::array<WeightedLayer, 2>, RoadLevels> Roads;
    std::array<RoadLevel, RoadLevels> RoadKinds;
    // Rivers and roads are the zero lines of noise stretched along an axis:
    // round noise gives curly loops, stretched noise long winding courses, and
    // strongly stretched noise nearly straight ones.
    double RoadAxes[RoadLevels][3] = {
        {0.0, 0.6, 0.8}, {0.8, 0.0, -0.6}, {-0.48, 0.8, 0.36}, {0.6, 0.64, -0.48}};
    double RiverAxes[RiverLevels][3] = {
        {0.62, -0.55, 0.56}, {-0.27, 0.89, 0.37}, {0.80, 0.45, -0.40}, {0.10, -0.35, 0.93}};
    std::array<RiverLevel, RiverLevels> Levels;

    World() {
        for (int k = 0; k < ReliefOctaves; ++k) {
            const double w = OctaveWavelength(k);
            Relief[k] = MakeLayer(w, 0x51ed2701u + 977u * static_cast<std::uint32_t>(k));
            // Relief grows with wavelength, slower than in proportion so that
            // hills stand out at every scale; below 3 km it fades faster so
            // that close-ups show smooth ground rather than gravel.
            Amplitude[k] = w >= 3000.0 ? 1500.0 * std::pow(w / 393216.0, 0.7)
                                       : 49.0 * std::pow(w / 3000.0, 1.1);
            WoodsWeight[k] = (w >= 300.0 && w <= 25000.0) ? 0.14 : 0.0;
            LakeWeight[k] = (w >= 3000.0 && w <= 25000.0) ? -0.05 : 0.0;
        }
        const auto layer = [](double w, std::uint32_t seed, double weight) {
            return WeightedLayer{MakeLayer(w, seed), weight};
        };
        // Seeds picked so that the index maps' United States is mostly land.
        Continent = {layer(6.0e6, 2584, 1.0), layer(3.0e6, 2585, 0.55), layer(1.5e6, 2586, 0.3),
                     layer(7.5e5, 2587, 0.17), layer(3.75e5, 2588, 0.1)};
        Mountains = {layer(1.4e6, 21, 1.0), layer(6.0e5, 22, 0.5)};
        Moisture = {layer(2.5e6, 31, 1.0), layer(9.0e5, 32, 0.5), layer(3.5e5, 33, 0.25)};
        Woods = {layer(1.6e5, 41, 0.5), layer(8.0e4, 42, 0.35), layer(4.0e4, 43, 0.25)};
        Lakes = {layer(4.0e4, 51, 0.6), layer(2.0e4, 52, 0.4)};
        Levels = {RiverLevel{7.0e5, 512.0, 300.0, 12000.0, 100.0},
                  RiverLevel{2.0e5, 512.0, 90.0, 5000.0, 45.0},
                  RiverLevel{5.0e4, 512.0, 24.0, 1500.0, 18.0},
                  RiverLevel{1.2e4, 64.0, 7.0, 400.0, 6.0}};
        for (int i = 0; i < RiverLevels; ++i) {
            const double w = Levels[i].Wavelength;
            const auto seed = 61u + 10u * static_cast<std::uint32_t>(i);
            Rivers[i] = {layer(w, seed, 1.0), layer(w / 2.5, seed + 1, 0.35),
                         layer(w / 6, seed + 2, 0.12)};
            RiverMasks[i] = MakeLayer(w * 1.5, seed + 3);
        }
        RoadKinds = {RoadLevel{2.0e5, 512.0, 14.0}, RoadLevel{2.0e5, 512.0, 14.0},
                     RoadLevel{1.6e4, 64.0, 7.0}, RoadLevel{3.0e3, 8.0, 3.5}};
        for (int i = 0; i < RoadLevels; ++i) {
            const double w = RoadKinds[i].Wavelength;
            const auto seed = 131u + 10u * static_cast<std::uint32_t>(i);
            Roads[i] = {layer(w, seed, 1.0), layer(w / 3, seed + 1, 0.12)};
        }
    }
};

const World& TheWorld() {
    static const World world;
    return world;
}

// Own layers shorter than 36 px were left out when the world was sampled on a
// 10 px grid; keeping the rule keeps the world as it was.
bool OnGrid(double wavelength, double scale) {
    return wavelength >= 36.0 * scale;
}

// Points per wavelength on the lattice a layer is sampled on. Short layers
// need six to show their shape, given their true slopes (which the two finest
// lattices take, see TerrainRaster); the relief ten from 40 px so that hill
// shading shows no trace of the lattice. Its long octaves carry hundreds of
// metres and ridges far sharper than the noise: they need forty, or an error
// of a few tenths of a percent moves contours on flat ground. The rest
// (woods, lakes, rivers, roads) only set edges, and ten do for the longest.
int StepFor(double wavelengthPixels, bool relief) {
    const double points = !relief                    ? (wavelengthPixels < 100.0 ? 6.0 : 10.0)
                          : wavelengthPixels < 40.0  ? 6.0
                          : wavelengthPixels < 100.0 ? 10.0
                                                     : 40.0;
    int step = 2;
    while (step < CoarsestStep && 2 * step <= wavelengthPixels / points)
        step *= 2;
    return step;
}

// Collects a tile's layers.
struct PlanBuilder {
    ScalePlan& Plan;

    LayerPlan& Add(const Layer& l, const double* axis = nullptr, double keep = 1,
                   bool relief = false) {
        LayerPlan& p = Plan.Layers[Plan.LayerCount++];
        p.Wavelength = l.Wavelength;
        p.Seed = l.Seed;
        p.Offset[0] = l.Ox, p.Offset[1] = l.Oy, p.Offset[2] = l.Oz;
        p.Axis = axis;
        p.Keep = keep;
        p.Step = StepFor(l.Wavelength / Plan.Scale, relief);
        return p;
    }

    void AddTerm(LayerPlan& p, int target, double linear, double ridged = 0) {
        p.Terms[p.TermCount++] = {target, static_cast<float>(linear), static_cast<float>(ridged)};
        Plan.Used[target] = true;
    }

    template <std::size_t N>
    void AddSum(const std::array<WeightedLayer, N>& layers, int target, double factor = 1,
                const double* axis = nullptr, double keep = 1) {
        for (const WeightedLayer& l : layers)
            if (OnGrid(l.L.Wavelength, Plan.Scale))
                AddTerm(Add(l.L, axis, keep), target, factor * l.Weight);
    }
};

template <std::size_t N>
double MissingSpread(const std::array<WeightedLayer, N>& layers, double scale) {
    double v = 0;
    for (const WeightedLayer& l : layers)
        if (!OnGrid(l.L.Wavelength, scale)) v += l.Weight * l.Weight;
    return v;
}

} // namespace

SurfacePoint SurfaceFromGeographic(double latitudeDeg, double longitudeDeg) {
    if (!std::isfinite(latitudeDeg) || !std::isfinite(longitudeDeg)) return {EarthRadius, 0, 0};
    const double phi = latitudeDeg * Pi / 180.0;
    const double lam = longitudeDeg * Pi / 180.0;
    const double c = std::cos(phi);
    return {EarthRadius * c * std::cos(lam), EarthRadius * c * std::sin(lam),
            EarthRadius * std::sin(phi)};
}

double LatitudeOf(const SurfacePoint& p) {
    return std::asin(std::clamp(p.Z / EarthRadius, -1.0, 1.0)) * 180.0 / Pi;
}

double OctaveWavelength(int k) {
    return std::ldexp(BaseWavelength, k);
}

const RiverLevel& RiverLevelOf(int level) {
    return TheWorld().Levels[level];
}

const RoadLevel& RoadLevelOf(int level) {
    return TheWorld().RoadKinds[level];
}

ScalePlan PlanForScale(double scale) {
    const World& w = TheWorld();
    ScalePlan plan;
    plan.Scale = scale;
    const int e = static_cast<int>(std::lround(std::log2(scale)));
    plan.FirstFine = std::clamp(e + 3, 0, ReliefOctaves);
    double woods = MissingSpread(w.Woods, scale);
    double lakes = MissingSpread(w.Lakes, scale);
    for (int k = 0; k < plan.FirstFine; ++k) {
        woods += w.WoodsWeight[k] * w.WoodsWeight[k];
        lakes += w.LakeWeight[k] * w.LakeWeight[k];
    }
    plan.WoodsSpread = std::sqrt(woods) * NoiseSpread;
    plan.LakeSpread = std::sqrt(lakes) * NoiseSpread;
    for (int i = 0; i < RiverLevels; ++i)
        plan.RiverShown[i] = scale <= w.Levels[i].ShownUpTo;
    for (int i = 0; i < RoadLevels; ++i)
        plan.RoadShown[i] = scale <= w.RoadKinds[i].ShownUpTo;

    PlanBuilder b{plan};
    // Relief: mountains weight the ridged relief, so the relief is
    // mountains * Ridged + Rolling with both summed on their own.
    for (int k = plan.FirstFine; k < ReliefOctaves; ++k) {
        LayerPlan& p = b.Add(w.Relief[k], nullptr, 1, true);
        const double a = w.Amplitude[k];
        b.AddTerm(p, FieldRidged, 0.2 * a, 2.2 * a);
        b.AddTerm(p, FieldRolling, 0.45 * a);
        if (w.WoodsWeight[k] != 0) b.AddTerm(p, FieldWoods, w.WoodsWeight[k]);
        if (w.LakeWeight[k] != 0) b.AddTerm(p, FieldLakes, w.LakeWeight[k]);
        const int i = k - plan.FirstFine;
        if (i < FineOctaveCount) {
            // Texture bands around 6 m (crowns) and 60 m (clumps).
            const double crowns = std::log2(w.Relief[k].Wavelength / 6.0);
            const double clumps = std::log2(w.Relief[k].Wavelength / 60.0);
            // Far from a band the weight vanishes, and so, at coarse scales,
            // does the field.
            for (const auto& [field, d] : {std::pair{FieldCrowns, crowns}, {FieldClumps, clumps}})
                if (std::exp(-d * d) > 1e-3) b.AddTerm(p, field, std::exp(-d * d));
            if (i < 2) b.AddTerm(p, FieldGrain, i == 0 ? 0.3 : 0.2);
        }
    }
    b.AddSum(w.Continent, FieldContinent);
    b.AddSum(w.Mountains, FieldMountains);
    b.AddSum(w.Moisture, FieldMoisture, 0.45);
    b.AddSum(w.Woods, FieldWoods);
    b.AddSum(w.Lakes, FieldLakes);
    for (int i = 0; i < RiverLevels; ++i) {
        if (!plan.RiverShown[i]) continue;
        b.AddSum(w.Rivers[i], FieldRiver0 + i, 1, w.RiverAxes[i], 0.5);
        b.AddTerm(b.Add(w.RiverMasks[i]), FieldRiverMask0 + i, 1);
    }
    for (int i = 0; i < RoadLevels; ++i)
        if (plan.RoadShown[i]) b.AddSum(w.Roads[i], FieldRoad0 + i, 1, w.RoadAxes[i], 0.15);
    // The ground is made from these whether or not a layer adds to them (at a
    // whole-world zoom none of the continents' layers is long enough).
    for (const int f :
         {FieldContinent, FieldMountains, FieldMoisture, FieldSnowLine, FieldRidged, FieldRolling})
        plan.Used[f] = true;
    return plan;
}

NoiseFrame FrameOf(const LayerPlan& l, const SurfacePoint& centre) {
    double m[3][3] = {};
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            const double stretch = l.Axis ? (1.0 - l.Keep) * l.Axis[r] * l.Axis[c] : 0.0;
            m[r][c] = ((r == c ? 1.0 : 0.0) - stretch) / l.Wavelength;
        }
    }
    const double c[3] = {centre.X, centre.Y, centre.Z};
    return MakeNoiseFrame(m, l.Offset, c, l.Seed);
}

void AddLatitudeTerms(const SurfacePoint& p, float* fields) {
    // Wet tropics, dry horse latitudes, wet mid-latitudes, all broken up by noise.
    const double latitude = LatitudeOf(p) * Pi / 180.0;
    fields[FieldMoisture] +=
        static_cast<float>(0.12 * std::cos(latitude * 6.0) - 0.08 * std::cos(latitude * 2.0));
    // Where the land turns white.
    const double c = std::cos(latitude);
    fields[FieldSnowLine] += static_cast<float>(700.0 + 4300.0 * c * c);
}

void GroundAt(const float* const* sums, int n, float* elevation, float* mountains, float* land,
              float* moisture) {
    ForLanes([&](auto lanes) {
        using F = typename decltype(lanes)::Type;
        for (int i = 0; i < n; i += Width<F>) {
            // Continents: sea below zero, a gently rising interior above.
            const F c = Load<F>(sums[FieldContinent] + i) + 0.10f;
            const F base = c * Select(c > 0.0f, Splat<F>(1500.0f), Splat<F>(5000.0f));
            const F l = 0.15f + 0.85f * Smoothstep(0.0f, 0.25f, c);
            const F m = Smoothstep(0.0f, 0.45f, Load<F>(sums[FieldMountains] + i));
            const F relief = m * Load<F>(sums[FieldRidged] + i) + Load<F>(sums[FieldRolling] + i);
            Store(elevation + i, base + l * relief);
            Store(mountains + i, m);
            Store(land + i, l);
            Store(moisture + i, Clamp01(0.5f + Load<F>(sums[FieldMoisture] + i)));
        }
    });
}

} // namespace varrow::demo
