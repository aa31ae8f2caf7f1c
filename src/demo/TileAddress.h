#pragma once

// The five numbers that name a tile of the service.

#include <cmath>

namespace varrow::demo {

struct TileAddress {
    int Theme = 2;      // 1 Aerial, 2 Topo, 4 Color Aerial
    int ScaleCode = 19; // log2(metres per pixel) + 10, 8..19
    int X = 0;          // column, eastward
    int Y = 0;          // row, northward
    int Zone = 13;      // UTM zone, negative in the southern hemisphere

    friend bool operator==(const TileAddress& a, const TileAddress& b) {
        return a.Theme == b.Theme && a.ScaleCode == b.ScaleCode && a.X == b.X && a.Y == b.Y &&
               a.Zone == b.Zone;
    }
};

enum class Theme { Aerial = 1, Topo = 2, ColorAerial = 4 };

constexpr int TilePixels = 200;
constexpr int MinScaleCode = 8;
constexpr int MaxScaleCode = 19;

inline double ScaleOfCode(int scaleCode) {
    return std::ldexp(1.0, scaleCode - 10);
}

inline bool IsThemeCode(int t) {
    return t == 1 || t == 2 || t == 4;
}

} // namespace varrow::demo
