#include "Landscape.h"

#include "Noise.h"

#include <algorithm>
#include <cmath>

namespace varrow::demo {

namespace {

constexpr double Pi = 3.14159265358979323846;
constexpr double EarthRadius = 6371000.0;
constexpr double BaseWavelength = 0.75;
// Standard deviation of Simplex3; used to widen thresholds for left-out octaves.
constexpr double NoiseSpread = 0.42;
// Mean of Ridge() over the noise, so that leaving out fine octaves does not
// shift the elevation of a region between scales.
constexpr double RidgeMean = 0.37;

// Ridged noise with the crest rounded off: a sharp crease would be aliased by
// the node grid into a zig-zag.
double Ridge(double n) {
    const double r = 1.0 - std::sqrt(n * n + 0.04);
    return r * r;
}

double Smoothstep(double a, double b, double x) {
    const double t = std::clamp((x - a) / (b - a), 0.0, 1.0);
    return t * t * (3 - 2 * t);
}

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

double Sample(const Layer& l, const SurfacePoint& p) {
    const double f = 1.0 / l.Wavelength;
    return Simplex3(p.X * f + l.Ox, p.Y * f + l.Oy, p.Z * f + l.Oz, l.Seed);
}

// Rivers and roads are the zero lines of noise stretched along an axis: round
// noise gives curly loops, stretched noise long winding courses, and strongly
// stretched noise nearly straight ones.
SurfacePoint Stretched(const SurfacePoint& p, const double* axis, double keep) {
    const double along = (p.X * axis[0] + p.Y * axis[1] + p.Z * axis[2]) * (1.0 - keep);
    return {p.X - along * axis[0], p.Y - along * axis[1], p.Z - along * axis[2]};
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

double ReliefTerm(const World& w, int k, double n, double mountains) {
    return w.Amplitude[k] *
           (mountains * 2.2 * (Ridge(n) - RidgeMean) + (0.45 + 0.2 * mountains) * n);
}

// Own layers are sampled on the node grid (a node every 10 px); one shorter
// than four node spacings would alias there, so it is left out.
bool OnGrid(double wavelength, double scale) {
    return wavelength >= 36.0 * scale;
}

double SumLayers(const WeightedLayer* begin, const WeightedLayer* end, const SurfacePoint& p,
                 double scale) {
    double s = 0;
    for (const WeightedLayer* l = begin; l != end; ++l)
        if (OnGrid(l->L.Wavelength, scale)) s += l->Weight * Sample(l->L, p);
    return s;
}

template <std::size_t N>
double SumLayers(const std::array<WeightedLayer, N>& layers, const SurfacePoint& p, double scale) {
    return SumLayers(layers.data(), layers.data() + N, p, scale);
}

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
    plan.FirstCoarse = std::clamp(e + 7, 0, ReliefOctaves);
    double woods = MissingSpread(w.Woods, scale);
    double lakes = MissingSpread(w.Lakes, scale);
    for (int k = 0; k < plan.FirstFine; ++k) {
        woods += w.WoodsWeight[k] * w.WoodsWeight[k];
        lakes += w.LakeWeight[k] * w.LakeWeight[k];
    }
    plan.WoodsSpread = std::sqrt(woods) * NoiseSpread;
    plan.LakeSpread = std::sqrt(lakes) * NoiseSpread;
    for (int i = 0; i < RiverLevels; ++i) {
        plan.RiverShown[i] = scale <= w.Levels[i].ShownUpTo;
    }
    for (int i = 0; i < RoadLevels; ++i)
        plan.RoadShown[i] = scale <= w.RoadKinds[i].ShownUpTo;
    return plan;
}

void SampleCoarse(const SurfacePoint& p, const ScalePlan& plan, float* out) {
    const World& w = TheWorld();
    const double s = plan.Scale;

    // Continents: sea below zero, a gently rising interior above.
    const double c = SumLayers(w.Continent, p, s) + 0.10;
    const double base = c > 0 ? 1500.0 * c : 5000.0 * c;
    const double land = 0.15 + 0.85 * Smoothstep(0.0, 0.25, c);
    const double mountains = Smoothstep(0.0, 0.45, SumLayers(w.Mountains, p, s));

    double relief = 0, woods = SumLayers(w.Woods, p, s), lakes = SumLayers(w.Lakes, p, s);
    for (int k = plan.FirstCoarse; k < ReliefOctaves; ++k) {
        const double n = Sample(w.Relief[k], p);
        relief += ReliefTerm(w, k, n, mountains);
        woods += w.WoodsWeight[k] * n;
        lakes += w.LakeWeight[k] * n;
    }
    // Wet tropics, dry horse latitudes, wet mid-latitudes, all broken up by noise.
    const double latitude = std::asin(std::clamp(p.Z / EarthRadius, -1.0, 1.0));
    const double moisture = 0.5 + 0.45 * SumLayers(w.Moisture, p, s) +
                            0.12 * std::cos(latitude * 6.0) - 0.08 * std::cos(latitude * 2.0);

    out[CoarseElevation] = static_cast<float>(base + land * relief);
    out[CoarseMountains] = static_cast<float>(mountains);
    out[CoarseLand] = static_cast<float>(land);
    out[CoarseMoisture] = static_cast<float>(std::clamp(moisture, 0.0, 1.0));
    out[CoarseWoods] = static_cast<float>(woods);
    out[CoarseLakes] = static_cast<float>(lakes);
    for (int i = 0; i < RiverLevels; ++i) {
        if (!plan.RiverShown[i]) {
            out[CoarseRiver0 + i] = 1.0f;
            out[CoarseRiverMask0 + i] = -1.0f;
            continue;
        }
        out[CoarseRiver0 + i] =
            static_cast<float>(SumLayers(w.Rivers[i], Stretched(p, w.RiverAxes[i], 0.5), s));
        out[CoarseRiverMask0 + i] = static_cast<float>(Sample(w.RiverMasks[i], p));
    }
    for (int i = 0; i < RoadLevels; ++i)
        out[CoarseRoad0 + i] =
            plan.RoadShown[i]
                ? static_cast<float>(SumLayers(w.Roads[i], Stretched(p, w.RoadAxes[i], 0.15), s))
                : 1.0f;
}

float SampleFine(const SurfacePoint& p, const ScalePlan& plan, int i) {
    const int k = plan.FirstFine + i;
    return k < plan.FirstCoarse ? static_cast<float>(Sample(TheWorld().Relief[k], p)) : 0.0f;
}

float FineRelief(const ScalePlan& plan, const float* octaves, float mountains, float land) {
    const World& w = TheWorld();
    double relief = 0;
    for (int i = 0; i < FineOctaveCount && plan.FirstFine + i < plan.FirstCoarse; ++i)
        relief += ReliefTerm(w, plan.FirstFine + i, octaves[i], mountains);
    return static_cast<float>(land * relief);
}

namespace {

// The fine octaves that the plan computes, each with its weight from weights.
float FineWeighted(const ScalePlan& plan, const float* octaves,
                   const std::array<double, ReliefOctaves>& weights) {
    double v = 0;
    for (int i = 0; i < FineOctaveCount && plan.FirstFine + i < plan.FirstCoarse; ++i)
        v += weights[plan.FirstFine + i] * octaves[i];
    return static_cast<float>(v);
}

} // namespace

float FineWoods(const ScalePlan& plan, const float* octaves) {
    return FineWeighted(plan, octaves, TheWorld().WoodsWeight);
}

float FineLakes(const ScalePlan& plan, const float* octaves) {
    return FineWeighted(plan, octaves, TheWorld().LakeWeight);
}

float SnowLine(double latitudeDeg) {
    const double c = std::cos(latitudeDeg * Pi / 180.0);
    return static_cast<float>(700.0 + 4300.0 * c * c);
}

} // namespace varrow::demo
