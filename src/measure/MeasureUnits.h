#pragma once

// Length constants of the program, from the international foot of 0.3048 m.

namespace varrow {

constexpr double FootInMetres = 0.3048;
constexpr double FeetPerMetre = 1.0 / FootInMetres;    // 3.2808398950131233
constexpr double InchesPerMetre = 12.0 / FootInMetres; // 39.370078740157480

} // namespace varrow
