// Looking a saved position up by name, as varrow-render --position does, and where one lies.

#include "positions/SavedPositions.h"

#include "support/ErrorOf.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace varrow;
using varrow::test::ErrorOf;

namespace {

TTileLocation Named(const char* name, int tileX) {
    TTileLocation r;
    r.Name = QString::fromUtf8(name);
    r.Scale = 16.0;
    r.Tile = {tileX, 1133};
    r.Zone = 14;
    return r;
}

TEST(SavedPositions, FindsTheFirstPositionOfThatNameOrSaysWhatThereIs) {
    QTemporaryDir dir;
    const QString file = dir.filePath("list.xml");
    EXPECT_NE(ErrorOf([&] { FindSavedPosition("Dallas", file); }).find("does not exist"),
              std::string::npos);
    ASSERT_TRUE(
        WritePositionFile({Named("Dallas", 220), Named("Waco", 230), Named("Dallas", 240)}, file));
    EXPECT_EQ(FindSavedPosition("Dallas", file).Tile.X, 220);
    EXPECT_EQ(FindSavedPosition("Waco", file).Tile.X, 230);
    const std::string error = ErrorOf([&] { FindSavedPosition("dallas", file); });
    EXPECT_NE(error.find("No saved position is named \"dallas\""), std::string::npos) << error;
    EXPECT_NE(error.find("\"Dallas\", \"Waco\", \"Dallas\""), std::string::npos) << error;
}

TEST(SavedPositions, CornerIsTheLowerLeftOfTheMapAndNamesKeepWholeCharacters) {
    TGeoPosition corner;
    TTileLocation dallas = Named("Dallas", 220);
    dallas.Offset = {100, 50};
    ASSERT_TRUE(PositionCorner(dallas, corner));
    const TGeoPosition expected =
        UtmToGeographic(14, NorthAmerican1983, (200.0 * 1133 + 50) * 16, (200.0 * 220 + 100) * 16);
    EXPECT_DOUBLE_EQ(corner.Longitude, expected.Longitude);
    EXPECT_DOUBLE_EQ(corner.Latitude, expected.Latitude);
    dallas.Zone = 0;
    EXPECT_FALSE(PositionCorner(dallas, corner));

    EXPECT_EQ(CutPositionName(QString(300, 'x')).size(), 255);
    const QString clef = QString(254, 'x') + QString::fromUtf8("\xF0\x9D\x84\x9E"); // 256 units
    EXPECT_EQ(CutPositionName(clef), QString(254, 'x'));
}

} // namespace
