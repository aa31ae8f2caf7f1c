#pragma once

// The synthetic world the tiles show. Everything here is a function of a point
// on the globe (never of a tile or a zone), which is what makes neighbouring
// tiles, scales and zones agree.
//
// Detail comes from a ladder of noise octaves with wavelengths 0.75 m · 2^k.
// A tile only evaluates the octaves it can show: octaves shorter than 2.5 px
// are left out (their spread is accounted for where a threshold would
// otherwise flicker), octaves of 6 to 48 px are evaluated per pixel, and
// longer ones on a coarse grid of nodes that the raster interpolates between.

#include <array>

namespace varrow::demo {

// Earth-centred position on a sphere of the earth's mean radius, metres.
struct SurfacePoint {
    double X = 0, Y = 0, Z = 0;
};

SurfacePoint SurfaceFromGeographic(double latitudeDeg, double longitudeDeg);

// Octaves 0..ReliefOctaves-1 are shared by elevation, woods, lakes and texture.
constexpr int ReliefOctaves = 20;
double OctaveWavelength(int k);

// Rivers come in four sizes, from trunk rivers to brooks.
constexpr int RiverLevels = 4;

struct RiverLevel {
    double Wavelength;  // metres, of the noise whose zero line is the river
    double ShownUpTo;   // coarsest scale (m/px) that draws this level
    double Width;       // metres of water
    double ValleyWidth; // metres, e-folding half width of the valley
    double ValleyDepth; // metres the valley floor is cut down
};
const RiverLevel& RiverLevelOf(int level);

// Roads: two networks of highways running different ways, local roads and
// tracks, long and nearly straight.
constexpr int RoadLevels = 4;

struct RoadLevel {
    double Wavelength; // metres, of the noise whose zero line is the road
    double ShownUpTo;  // coarsest scale (m/px) that draws this level
    double Width;      // metres of road surface
};
const RoadLevel& RoadLevelOf(int level);

// Which octaves a tile at a given scale draws, and how.
struct ScalePlan {
    double Scale = 1;       // metres per pixel
    int FirstFine = 0;      // first octave evaluated per pixel
    int FirstCoarse = 0;    // first octave evaluated on the node grid
    double WoodsSpread = 0; // standard deviation of the woods octaves left out
    double LakeSpread = 0;  // the same for the lake field
    std::array<bool, RiverLevels> RiverShown{};
    std::array<bool, RoadLevels> RoadShown{};
};
ScalePlan PlanForScale(double scale);

constexpr int FineOctaveCount = 4;

// Fields sampled at the nodes of the coarse grid.
enum CoarseField : int {
    CoarseElevation, // metres: continent plus the coarse part of the relief
    CoarseMountains, // 0..1, how mountainous the region is
    CoarseLand,      // 0..1, how much relief the land carries (low near coasts)
    CoarseMoisture,  // 0..1, dry to wet
    CoarseWoods,     // woods field before the fine part
    CoarseLakes,     // lake field before the fine part
    CoarseRiver0,    // RiverLevels river noises (zero line = river)
    CoarseRiverMask0 = CoarseRiver0 + RiverLevels, // > 0 where the river runs
    CoarseRoad0 = CoarseRiverMask0 + RiverLevels,  // RoadLevels road noises
    CoarseFieldCount = CoarseRoad0 + RoadLevels
};

void SampleCoarse(const SurfacePoint& p, const ScalePlan& plan, float* out);

// Per-pixel octave i (0..FineOctaveCount-1, finest first) at a point; its
// wavelength is 6 * 2^i pixels.
float SampleFine(const SurfacePoint& p, const ScalePlan& plan, int i);

// Elevation contribution of the per-pixel octaves (metres), given the
// region's mountain and land factors.
float FineRelief(const ScalePlan& plan, const float* octaves, float mountains, float land);
// Contributions of the per-pixel octaves to the woods and lake fields.
float FineWoods(const ScalePlan& plan, const float* octaves);
float FineLakes(const ScalePlan& plan, const float* octaves);

// Where the land turns white, by latitude.
float SnowLine(double latitudeDeg);

} // namespace varrow::demo
