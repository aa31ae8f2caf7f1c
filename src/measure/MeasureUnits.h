#pragma once

// Length constants of the program, from the international foot of 0.3048 m,
// the units the measuring readouts offer and the readouts' number format.

#include <QLocale>
#include <QString>
#include <QStringList>

#include <array>

namespace varrow {

constexpr double FootInMetres = 0.3048;
constexpr double FeetPerMetre = 1.0 / FootInMetres;    // 3.2808398950131233
constexpr double InchesPerMetre = 12.0 / FootInMetres; // 39.370078740157480

// A readout unit: the value shown is the measured value (pixels for the
// pixel unit, metres or square metres otherwise) · Multiplier / Divisor.
// Units given by division divide, so that 2000 m read exactly 2.00 km.
struct TMeasureUnit {
    const char* Caption;
    double Multiplier;
    double Divisor;
    int Decimals;
    const char* Suffix;
};

constexpr int PixelUnit = 0; // choice 0 of both tables measures in pixels
constexpr int LengthUnitCount = 6;
constexpr int AreaUnitCount = 8;
constexpr int DefaultLengthUnit = 5; // miles
constexpr int DefaultAreaUnit = 7;   // square miles

// The captions are the program's own, spelling included.
inline constexpr std::array<TMeasureUnit, LengthUnitCount> LengthUnits = {{
    {"Pixles", 1.0, 1.0, 1, "Px"},
    {"Meters", 1.0, 1.0, 1, "M"},
    {"kMeters", 1.0, 1000.0, 2, "kM"},
    {"Feet", FeetPerMetre, 1.0, 1, "Ft"},
    {"Yards", 1.09361329834, 1.0, 2, "Yd"},
    // 1/1609.334, the program's mile.
    {"Miles", 0.00062137505328291082, 1.0, 2, "Mi"},
}};

inline constexpr std::array<TMeasureUnit, AreaUnitCount> AreaUnits = {{
    {"Pixels", 1.0, 1.0, 1, "Px^2"},
    {"Meters", 1.0, 1.0, 1, "M^2"},
    {"Hectres", 1.0, 10000.0, 1, "Hectare"},
    {"kMeters", 1.0, 1000000.0, 2, "kM^2"},
    {"Feet", 10.7639104167, 1.0, 1, "Ft^2"},
    {"Yards", 1.1959900463060938, 1.0, 1, "Yd^2"},
    // The survey acre, 1/4046.87260987.
    {"Acres", 0.00024710439304688753, 1.0, 1, "Acres"},
    // 1/2589955.923556.
    {"Miles", 3.8610695684234026e-7, 1.0, 2, "Mi^2"},
}};

QStringList LengthUnitCaptions();
QStringList AreaUnitCaptions();

// Fixed decimals, rounded half away from zero on the value's 18-significant-
// digit decimal form (0.25 at one decimal reads 0.3), the locale's decimal
// separator, no thousands separators.
QString FormatFixed(double value, int decimals, const QLocale& locale = QLocale());

// value in the unit's base (pixels for choice 0, metres or square metres
// otherwise), converted and followed by the suffix: "2.00kM". An unknown
// choice gives an empty text.
QString FormatLength(double value, int choice, const QLocale& locale = QLocale());
QString FormatArea(double value, int choice, const QLocale& locale = QLocale());
// One decimal and the degree sign: "237.4°".
QString FormatAzimuth(double degrees, const QLocale& locale = QLocale());

} // namespace varrow
