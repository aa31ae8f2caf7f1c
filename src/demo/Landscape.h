#pragma once

// The synthetic world the tiles show. Everything here is a function of a point
// on the globe (never of a tile or a zone), which is what makes neighbouring
// tiles, scales and zones agree.
//
// Detail comes from a ladder of noise octaves with wavelengths 0.75 m · 2^k.
// A tile only evaluates the octaves it can show: octaves shorter than 2.5 px
// are left out (their spread is accounted for where a threshold would
// otherwise flicker). Each layer of noise is sampled on a lattice with a few
// points per wavelength, coarser for longer layers, and the lattices are
// interpolated down to the pixels (see TerrainRaster).

#include "Lanes.h"
#include "Noise.h"

#include <array>

namespace varrow::demo {

// Earth-centred position on a sphere of the earth's mean radius, metres.
struct SurfacePoint {
    double X = 0, Y = 0, Z = 0;
};

SurfacePoint SurfaceFromGeographic(double latitudeDeg, double longitudeDeg);
double LatitudeOf(const SurfacePoint& p); // degrees

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

// What the layers add up to. Each field is a plain sum over its layers, so
// that it can be summed on coarse lattices and interpolated; the ground is
// made from the sums afterwards (see GroundAt).
enum Field : int {
    FieldContinent, // continent noise
    FieldMountains, // mountain noise
    FieldMoisture,  // moisture noise, and the climate by latitude
    FieldSnowLine,  // metres, by latitude
    FieldRidged,    // relief that mountainous land has, metres
    FieldRolling,   // relief of all land, metres
    FieldWoods,     // woods where above a level set by moisture
    FieldLakes,     // lakes where above a level set by mountains
    // Texture of the finest octaves: tree crowns, clumps of vegetation and
    // the grain of the ground.
    FieldCrowns,
    FieldClumps,
    FieldGrain,
    FieldRiver0,                                 // RiverLevels river noises (zero line = river)
    FieldRiverMask0 = FieldRiver0 + RiverLevels, // > 0 where the river runs
    FieldRoad0 = FieldRiverMask0 + RiverLevels,  // RoadLevels road noises
    FieldCount = FieldRoad0 + RoadLevels
};

// Octaves whose texture the aerial themes show pixel by pixel.
constexpr int FineOctaveCount = 4;

// What a layer adds to a field: Linear n + Ridged (ridge(n) - mean ridge).
struct Term {
    int Target = 0;
    float Linear = 0;
    float Ridged = 0;
};

struct LayerPlan {
    double Wavelength = 1; // metres
    std::uint32_t Seed = 0;
    double Offset[3] = {}; // keeps the layers from sharing lattice points
    // Rivers and roads stretch their noise along an axis.
    const double* Axis = nullptr;
    double Keep = 1;
    int Step = 2; // pixels between the lattice points it is sampled on
    std::array<Term, 7> Terms{};
    int TermCount = 0;
};

// Which layers a tile at a given scale draws, and how.
struct ScalePlan {
    double Scale = 1;       // metres per pixel
    int FirstFine = 0;      // the shortest octave drawn, about 6 px
    double WoodsSpread = 0; // standard deviation of the woods octaves left out
    double LakeSpread = 0;  // the same for the lake field
    std::array<bool, RiverLevels> RiverShown{};
    std::array<bool, RoadLevels> RoadShown{};
    static constexpr int MaxLayers = 64;
    std::array<LayerPlan, MaxLayers> Layers{};
    int LayerCount = 0;
    // Whether any layer adds to a field.
    std::array<bool, FieldCount> Used{};
};
ScalePlan PlanForScale(double scale);

// The coarsest lattice a layer is sampled on, pixels between points.
constexpr int CoarsestStep = 128;

// A layer's noise frame around a tile's centre point.
NoiseFrame FrameOf(const LayerPlan& layer, const SurfacePoint& centre);

// What a term's Ridged weight multiplies: ridged noise with the crest
// rounded off (a sharp crease would be aliased by the lattices into a
// zig-zag), less its mean over the noise so that leaving out fine octaves
// does not shift the elevation of a region between scales.
template <class F> VARROW_LANES F RidgeTerm(F n, F* slope = nullptr) {
    const F root = Sqrt(n * n + 0.04f);
    const F r = 1.0f - root;
    if (slope) *slope = -2.0f * r * n / root;
    return r * r - 0.37f;
}

// Adds what latitude contributes at a point (climate, snow line) to fields.
void AddLatitudeTerms(const SurfacePoint& p, float* fields);

// The ground the field sums make at n points (a multiple of eight): sums[f]
// is field f's array. Elevation is base + land (mountains Ridged + Rolling).
void GroundAt(const float* const* sums, int n, float* elevation, float* mountains, float* land,
              float* moisture);

} // namespace varrow::demo
