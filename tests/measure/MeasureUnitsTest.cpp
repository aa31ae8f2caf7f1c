#include "measure/MeasureUnits.h"

#include <gtest/gtest.h>

namespace varrow {
namespace {

const QLocale English(QLocale::English, QLocale::UnitedStates);
const QLocale German(QLocale::German, QLocale::Germany);

TEST(MeasureUnits, CaptionsAreTheProgramsOwn) {
    EXPECT_EQ(LengthUnitCaptions(),
              QStringList({"Pixles", "Meters", "kMeters", "Feet", "Yards", "Miles"}));
    EXPECT_EQ(AreaUnitCaptions(), QStringList({"Pixels", "Meters", "Hectres", "kMeters", "Feet",
                                               "Yards", "Acres", "Miles"}));
    EXPECT_EQ(LengthUnitCaptions().at(DefaultLengthUnit), "Miles");
    EXPECT_EQ(AreaUnitCaptions().at(DefaultAreaUnit), "Miles");
}

TEST(MeasureUnits, FixedDecimalsRoundHalvesAwayFromZero) {
    EXPECT_EQ(FormatFixed(0.25, 1, English), "0.3");
    EXPECT_EQ(FormatFixed(0.125, 2, English), "0.13");
    EXPECT_EQ(FormatFixed(2.5, 0, English), "3");
    EXPECT_EQ(FormatFixed(-2.5, 0, English), "-3");
    // 0.35 is stored a hair below the half and stays below it at 18 digits.
    EXPECT_EQ(FormatFixed(0.35, 1, English), "0.3");
    EXPECT_EQ(FormatFixed(999.96, 1, English), "1000.0");
    EXPECT_EQ(FormatFixed(-0.04, 1, English), "0.0");
    EXPECT_EQ(FormatFixed(0.0, 2, English), "0.00");
    EXPECT_EQ(FormatFixed(1e-20, 2, English), "0.00");
    EXPECT_EQ(FormatFixed(1234567.891, 2, English), "1234567.89");
    EXPECT_EQ(FormatFixed(1e20, 1, English), "100000000000000000000.0");
    EXPECT_EQ(FormatFixed(1234567.891, 2, German), "1234567,89");
}

TEST(MeasureUnits, EveryLengthUnitOfTwoKilometres) {
    const char* expected[] = {"2000.0Px", "2000.0M", "2.00kM", "6561.7Ft", "2187.23Yd", "1.24Mi"};
    for (int i = 0; i < LengthUnitCount; ++i)
        EXPECT_EQ(FormatLength(2000.0, i, English), expected[i]);
    EXPECT_EQ(FormatLength(0.25, 1, English), "0.3M");
    // 1005 / 1000 lies below 1.005, 1005 · 0.001 above it.
    EXPECT_EQ(FormatLength(1005.0, 2, English), "1.00kM");
    EXPECT_EQ(FormatLength(1.0, LengthUnitCount, English), "");
}

TEST(MeasureUnits, EveryAreaUnitOfFourHectares) {
    const char* expected[] = {"40000.0Px^2",  "40000.0M^2",  "4.0Hectare", "0.04kM^2",
                              "430556.4Ft^2", "47839.6Yd^2", "9.9Acres",   "0.02Mi^2"};
    for (int i = 0; i < AreaUnitCount; ++i)
        EXPECT_EQ(FormatArea(40000.0, i, English), expected[i]);
    EXPECT_EQ(FormatArea(0.25, 1, English), "0.3M^2");
    EXPECT_EQ(FormatArea(1.0, -1, English), "");
}

TEST(MeasureUnits, AzimuthHasOneDecimalAndTheDegreeSign) {
    EXPECT_EQ(FormatAzimuth(237.44, English), QString::fromUtf8("237.4°"));
    EXPECT_EQ(FormatAzimuth(90.0, German), QString::fromUtf8("90,0°"));
}

} // namespace
} // namespace varrow
