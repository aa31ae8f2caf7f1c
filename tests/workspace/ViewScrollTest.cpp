#include "workspace/ViewScroll.h"

#include <gtest/gtest.h>

namespace varrow {
namespace {

TEST(ViewScroll, TheMiddleOfTheWindowStaysOnTheSamePointOfTheMap) {
    // A map wider than the window: the point at the middle keeps its fraction.
    EXPECT_EQ(ScrollKeepingCentre(100, 400, 1000, 2000), 2 * 300 - 200);
    // Narrower than the window, the map sits at the left: the middle of an
    // 800-pixel window is pixel 400 of a 600-pixel map, two thirds of it,
    // not its middle.
    EXPECT_EQ(ScrollKeepingCentre(0, 800, 600, 1302), 868 - 400);
    // Past the map's end the end stays; no scroll before the start.
    EXPECT_EQ(ScrollKeepingCentre(0, 800, 300, 900), 900 - 400);
    EXPECT_EQ(ScrollKeepingCentre(0, 800, 2000, 1000), 0);
    EXPECT_EQ(ScrollKeepingCentre(50, 400, 0, 1000), 0);
}

} // namespace
} // namespace varrow
