#include "workspace/Readouts.h"

#include <gtest/gtest.h>

namespace varrow {
namespace {

const QLocale English(QLocale::English, QLocale::UnitedStates);

TEST(FormatDms, ShowsTheSignAlsoWhenTheDegreesAreZero) {
    EXPECT_EQ(FormatDms(-0.5), QString::fromUtf8("-0°30'00\""));
    EXPECT_EQ(FormatDms(0.5), QString::fromUtf8("0°30'00\""));
    EXPECT_EQ(FormatDms(0.0), QString::fromUtf8("0°00'00\""));
}

TEST(FormatDms, DropsTheMillisecondsAfterRoundingToThem) {
    EXPECT_EQ(FormatDms(-107.0494046), QString::fromUtf8("-107°02'57\""));
    // 29.988 seconds of arc: truncated, not rounded up to 30.
    EXPECT_EQ(FormatDms(29.988 / 3600.0), QString::fromUtf8("0°00'29\""));
    // A hair under one minute rounds to whole milliseconds first and so carries.
    EXPECT_EQ(FormatDms(1.0 / 60.0 - 1e-10), QString::fromUtf8("0°01'00\""));
    EXPECT_EQ(FormatDms(179.999999999), QString::fromUtf8("180°00'00\""));
}

TEST(FormatGrouped, UsesTheLocalesSeparators) {
    EXPECT_EQ(FormatGrouped(3584000.4, 0, English), "3,584,000");
    EXPECT_EQ(FormatGrouped(-107.04946, 4, English), "-107.0495");
    const QLocale german(QLocale::German, QLocale::Germany);
    EXPECT_EQ(FormatGrouped(3584000, 0, german), "3.584.000");
    EXPECT_EQ(FormatGrouped(-107.04946, 4, german), "-107,0495");
    // Grouping stays on even for a locale that leaves it off by default.
    EXPECT_EQ(FormatGrouped(1234567, 0, QLocale::c()), "1,234,567");
}

TEST(MouseReadouts, FillEveryField) {
    TMapPosition p;
    p.Zone = 13;
    p.Easting = 358400.2;
    p.Northing = 3635199.7;
    p.Longitude = -0.5;
    p.Latitude = 32.82345;
    const TMouseReadouts r = MouseReadouts(p, English);
    EXPECT_EQ(r.Easting, "358,400");
    EXPECT_EQ(r.Northing, "3,635,200");
    EXPECT_EQ(r.Zone, "13");
    EXPECT_EQ(r.Longitude, "-0.5000");
    EXPECT_EQ(r.Latitude, "32.8235");
    EXPECT_EQ(r.Longitude2, QString::fromUtf8("-0°30'00\""));
    EXPECT_EQ(r.Latitude2, QString::fromUtf8("32°49'24\""));
}

TEST(SizeReadouts, PixelsTilesAndWholeMegabytes) {
    const TSizeReadouts small = SizeReadouts(3, 3);
    EXPECT_EQ(small.PixelSize, "600 X 600");
    EXPECT_EQ(small.TileCount, "9");
    EXPECT_EQ(small.Memory, "1 meg");
    const TSizeReadouts large = SizeReadouts(75, 75);
    EXPECT_EQ(large.PixelSize, "15000 X 15000");
    EXPECT_EQ(large.TileCount, "5625");
    EXPECT_EQ(large.Memory, "858 meg");
    EXPECT_EQ(SizeReadouts(1, 1).Memory, "0 meg");
    EXPECT_EQ(SizeReadouts(10, 2).PixelSize, "2000 X 400");
}

} // namespace
} // namespace varrow
